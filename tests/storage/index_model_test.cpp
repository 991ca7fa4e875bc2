// The sorted indexes checked against a plain model through random sequences
// of add, delete, rewrite and search (fixed seeds), with reopenings on the
// way; and the index file's capacity rule and save protocol.
#include <algorithm>
#include <map>
#include <random>

#include "storage/data_check.h"
#include "storage/data_file.h"
#include "storage/index_file.h"
#include "storage_fixture.h"

using qtest::FieldLine;
using qtest::FileLine;
using qtest::KeyLine;
using qtest::Lines;

namespace {

// One file: K1 A3, K2 A2, P A5 (L = 10). Key 1 is K1; key 2 is K2 then K1.
std::string ModelDictionary() {
  return Lines({FileLine(1, "MODEL"), FieldLine(1, 3, 'A', "K1"), FieldLine(1, 2, 'A', "K2"),
                FieldLine(1, 5, 'A', "P"), KeyLine(1, {{1, 3}}), KeyLine(1, {{4, 2}, {1, 3}})});
}

struct ModelRecord {
  std::string bytes;            // the record as stored (10 bytes)
  uint64_t seq[3] = {0, 0, 0};  // per key: when it took its place among equals
};

// The reference: live records by number, the free list, and per key the
// order that follows from (key value, seq).
struct Model {
  std::map<uint32_t, ModelRecord> live;
  std::vector<uint32_t> free;
  uint64_t clock = 0;
  uint32_t next = 0;  // records in the data file

  static std::string Key(const std::string& rec, int k) {
    return k == 1 ? rec.substr(0, 3) : rec.substr(3, 2) + rec.substr(0, 3);
  }
  std::vector<uint32_t> Order(int k) const {
    std::vector<uint32_t> order;
    for (const auto& [r, rec] : live)
      order.push_back(r);
    std::sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) {
      const ModelRecord& x = live.at(a);
      const ModelRecord& y = live.at(b);
      std::string kx = Key(x.bytes, k), ky = Key(y.bytes, k);
      return kx != ky ? kx < ky : x.seq[k] < y.seq[k];
    });
    return order;
  }
  uint32_t Add(const std::string& rec) {
    uint32_t r;
    if (!free.empty()) {
      r = free.back();
      free.pop_back();
    } else {
      r = next++;
    }
    live[r] = ModelRecord{rec, {0, ++clock, ++clock}};
    return r;
  }
};

class IndexModelTest : public StorageTest {
 protected:
  void SetUp() override {
    StorageTest::SetUp();
    ASSERT_EQ(Load(ModelDictionary()), 0);
    ASSERT_LE(FileOpen(1, 0), 2);
  }

  void ExpectSame(const Model& m, const char* when) {
    ASSERT_EQ(IndexLiveCount(1), m.live.size()) << when;
    ASSERT_EQ(IndexFreeCount(1), m.free.size()) << when;
    for (int k = 1; k <= 2; ++k) {
      const uint32_t* e = IndexKeyEntries(1, static_cast<uint16_t>(k));
      std::vector<uint32_t> got(e, e + IndexLiveCount(1));
      ASSERT_EQ(got, m.Order(k)) << when << ", key " << k;
    }
    const uint32_t* fe = IndexFreeEntries(1);
    ASSERT_EQ(std::vector<uint32_t>(fe, fe + IndexFreeCount(1)), m.free) << when;
  }

  // Positions the file on entry p of key k's order (by moves).
  void GoTo(uint16_t k, size_t p) {
    ASSERT_EQ(SetCurrentKey(1, k), 0);
    ASSERT_EQ(FileMove(1, kMoveFirst), 0);
    for (size_t i = 0; i < p; ++i)
      ASSERT_EQ(FileMove(1, kMoveNext), 0);
  }
};

std::string RandomRecord(std::mt19937& rng) {
  static const char letters[] = "ABCDE";
  std::string rec;
  rec += letters[rng() % 5];
  rec += static_cast<char>('0' + rng() % 4);
  rec += letters[rng() % 2];
  rec += letters[rng() % 3];
  rec += letters[rng() % 3];
  for (int i = 0; i < 5; ++i)
    rec += static_cast<char>('a' + rng() % 26);
  return rec;
}

void PutRecord(const std::string& rec) {
  ASSERT_EQ(FieldPut(1, 1, StrMake(rec.data(), 3)), 0);
  ASSERT_EQ(FieldPut(1, 2, StrMake(rec.data() + 3, 2)), 0);
  ASSERT_EQ(FieldPut(1, 3, StrMake(rec.data() + 5, 5)), 0);
}

TEST_F(IndexModelTest, RandomSequencesAgreeWithTheModel) {
  for (uint32_t seed : {1u, 7u, 2024u}) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    ASSERT_EQ(FileClose(1), 0);
    FsRemove(PathOf("model.FD"));
    FsRemove(PathOf("model.DIR"));
    ASSERT_EQ(FileOpen(1, 0), kOutEnd);
    std::mt19937 rng(seed);
    Model m;
    for (int step = 0; step < 500; ++step) {
      int op = static_cast<int>(rng() % 100);
      uint16_t key = static_cast<uint16_t>(1 + rng() % 2);
      if (op < 55 || m.live.empty()) {
        std::string rec = RandomRecord(rng);
        ASSERT_EQ(SetCurrentKey(1, key), 0);
        ASSERT_EQ(BufferClear(1, 1), 0);
        PutRecord(rec);
        bool duplicate = false;
        for (const auto& [r, have] : m.live)
          duplicate |= Model::Key(have.bytes, key) == Model::Key(rec, key);
        uint32_t r = m.Add(rec);
        ASSERT_EQ(FileAdd(1), duplicate ? kOutDuplicate : 0) << "step " << step;
        ASSERT_EQ(Current(1), rec);
        (void)r;
      } else if (op < 70) {
        std::vector<uint32_t> order = m.Order(key);
        size_t p = rng() % order.size();
        GoTo(key, p);
        ASSERT_EQ(Current(1), m.live[order[p]].bytes);
        ASSERT_EQ(FileDelete(1, 0), 0) << "step " << step;
        m.live.erase(order[p]);
        m.free.push_back(order[p]);
      } else if (op < 85) {
        std::vector<uint32_t> order = m.Order(key);
        size_t p = rng() % order.size();
        GoTo(key, p);
        ModelRecord& rec = m.live[order[p]];
        std::string changed = RandomRecord(rng);
        if (rng() % 3 == 0) changed.replace(0, 3, rec.bytes.substr(0, 3));  // key 1 kept
        PutRecord(changed);
        ASSERT_EQ(FileRewrite(1), 0) << "step " << step;
        for (int k = 1; k <= 2; ++k)
          if (Model::Key(changed, k) != Model::Key(rec.bytes, k)) rec.seq[k] = ++m.clock;
        rec.bytes = changed;
        ASSERT_EQ(Current(1), changed);
      } else if (op < 98) {
        std::string target = RandomRecord(rng);
        std::string value = Model::Key(target, key).substr(0, rng() % 6);
        std::vector<uint32_t> order = m.Order(key);
        size_t p = 0;
        while (p < order.size() &&
               Model::Key(m.live[order[p]].bytes, key).substr(0, value.size()) < value)
          ++p;
        uint16_t expected =
            p == order.size() ? kOutEnd
            : Model::Key(m.live[order[p]].bytes, key).compare(0, value.size(), value) == 0
                ? kOutFound
                : kOutNotFound;
        ASSERT_EQ(Find(1, key, value, kReadNear), expected)
            << "step " << step << " '" << value << "'";
        if (expected != kOutEnd) {
          ASSERT_EQ(Current(1), m.live[order[p]].bytes);
        }
      } else {
        ASSERT_EQ(FileClose(1), 0);
        ASSERT_LE(FileOpen(1, 0), 2);
      }
      ExpectSame(m, ("step " + std::to_string(step)).c_str());
    }
    ASSERT_EQ(FileClose(1), 0);
    CheckSummary summary;
    ASSERT_EQ(DataFileCheck(1, nullptr, nullptr, &summary), 0);
    EXPECT_EQ(summary.faults, 0u);
    EXPECT_EQ(summary.live, m.live.size());
    ASSERT_LE(FileOpen(1, 0), 2);
    ExpectSame(m, "after the last reopen");
  }
}

TEST_F(IndexModelTest, ArraysGrowBySixtyFourAfterASave) {
  EXPECT_EQ(IndexCapacity(1), 64u);
  std::mt19937 rng(5);
  for (int i = 0; i < 64; ++i) {
    ASSERT_EQ(BufferClear(1, 1), 0);
    PutRecord(RandomRecord(rng));
    ASSERT_LE(FileAdd(1), 6);
  }
  EXPECT_EQ(IndexCapacity(1), 64u);
  // While the index differs from its file, the header on disk says empty.
  std::string disk = qtest::ReadFile(PathOf("model.DIR"));
  ASSERT_GE(disk.size(), 8u);
  EXPECT_EQ(disk.substr(0, 8), std::string(8, '\0'));
  // The 65th addition saves the index first, then makes room for 128.
  ASSERT_EQ(BufferClear(1, 1), 0);
  PutRecord(RandomRecord(rng));
  ASSERT_LE(FileAdd(1), 6);
  EXPECT_EQ(IndexCapacity(1), 128u);
  disk = qtest::ReadFile(PathOf("model.DIR"));
  ASSERT_EQ(disk.size(), 8u + 2 * 64 * 4);  // the 64 entries of both keys
  const uint32_t* e = IndexKeyEntries(1, 2);
  std::vector<uint32_t> saved(64);
  std::memcpy(saved.data(), disk.data() + 8 + 64 * 4, 64 * 4);
  std::vector<uint32_t> now(e, e + 65);
  now.erase(std::find(now.begin(), now.end(), 64u));  // the 65th is not saved yet
  EXPECT_EQ(saved, now);
  // Closing writes the header last.
  ASSERT_EQ(FileClose(1), 0);
  disk = qtest::ReadFile(PathOf("model.DIR"));
  int32_t head[2];
  std::memcpy(head, disk.data(), 8);
  EXPECT_EQ(head[0], 0);
  EXPECT_EQ(head[1], 65);
}

TEST_F(IndexModelTest, AnIndexThatDisagreesIsRebuiltFromTheDataFile) {
  for (const char* rec : {"C00AAccccc", "A00AAaaaaa", "B00AAbbbbb"}) {
    ASSERT_EQ(BufferClear(1, 1), 0);
    PutRecord(rec);
    ASSERT_EQ(FileAdd(1), 0);
  }
  ASSERT_EQ(FileMove(1, kMoveLast), 0);
  ASSERT_EQ(FileDelete(1, 0), 0);
  ASSERT_EQ(FileClose(1), 0);
  std::string good = qtest::ReadFile(PathOf("model.DIR"));
  struct Case {
    const char* what;
    std::string index;
  } cases[] = {
      {"a missing index", ""},
      {"an index shorter than its header", good.substr(0, 12)},
      {"a header of an interrupted session", std::string(8, '\0') + good.substr(8)},
      {"counts that do not add up",
       std::string("\x00\x00\x00\x00\x03\x00\x00\x00", 8) + good.substr(8)},
      {"a number held twice",
       [&] {
         std::string bad = good;
         std::memcpy(&bad[8 + 4], &bad[8 + 8], 4);  // key 1's first two entries alike
         return bad;
       }()},
  };
  for (const Case& c : cases) {
    qtest::WriteFile(PathOf("model.DIR"), c.index);
    ASSERT_EQ(FileOpen(1, 0), 0) << c.what;
    EXPECT_EQ(IndexLiveCount(1), 2u) << c.what;
    EXPECT_EQ(IndexFreeCount(1), 1u) << c.what;
    EXPECT_EQ(Current(1), "A00AAaaaaa") << c.what;
    ASSERT_EQ(FileMove(1, kMoveNext), 0);
    EXPECT_EQ(Current(1), "B00AAbbbbb") << c.what;
    ASSERT_EQ(FileClose(1), 0);
    CheckSummary summary;
    ASSERT_EQ(DataFileCheck(1, nullptr, nullptr, &summary), 0);
    EXPECT_EQ(summary.faults, 0u) << c.what;
  }
}

TEST_F(IndexModelTest, CheckReportsEachKindOfFault) {
  for (const char* rec : {"A00AAaaaaa", "B00AAbbbbb", "C00AAccccc"}) {
    ASSERT_EQ(BufferClear(1, 1), 0);
    PutRecord(rec);
    ASSERT_EQ(FileAdd(1), 0);
  }
  ASSERT_EQ(Find(1, 1, "B"), 0);
  ASSERT_EQ(FileDelete(1, 0), 0);
  ASSERT_EQ(FileClose(1), 0);
  std::string good = qtest::ReadFile(PathOf("model.DIR"));
  std::string data = qtest::ReadFile(PathOf("model.FD"));
  auto entry = [](std::string& s, size_t i, uint32_t v) { std::memcpy(&s[8 + 4 * i], &v, 4); };
  // Layout: F=1, N=2; free [1]; key 1 [0, 2]; key 2 [0, 2].
  struct Case {
    const char* what;
    std::string index, data;
    const char* message;
  } cases[] = {
      {"swapped order",
       [&] {
         std::string s = good;
         entry(s, 1, 2);
         entry(s, 2, 0);
         return s;
       }(),
       data, "key 1: record 0 is out of order after record 2"},
      {"free number of a live record",
       [&] {
         std::string s = good;
         entry(s, 0, 0);
         return s;
       }(),
       data, "free number 0 names a live record"},
      {"a deleted record in a key", good,
       [&] {
         std::string d = data;
         d[20] = 27;
         return d;
       }(),
       "key 1: record 2 is deleted in the data file"},
      {"an empty index", std::string(8, '\0'), data,
       "the index is empty but the data file holds 3 records"},
  };
  for (const Case& c : cases) {
    qtest::WriteFile(PathOf("model.DIR"), c.index);
    qtest::WriteFile(PathOf("model.FD"), c.data);
    std::vector<std::string> messages;
    CheckSummary summary;
    ASSERT_EQ(DataFileCheck(
                  1,
                  [](void* ctx, StrDesc m) {
                    static_cast<std::vector<std::string>*>(ctx)->push_back(qtest::S(m));
                  },
                  &messages, &summary),
              0)
        << c.what;
    EXPECT_GT(summary.faults, 0u) << c.what;
    bool seen = false;
    for (const std::string& m : messages)
      seen |= m.find(c.message) == 0;
    EXPECT_TRUE(seen) << c.what << ": " << (messages.empty() ? "" : messages[0]);
  }
  // A partial record at the end is noted, not counted as a fault.
  qtest::WriteFile(PathOf("model.DIR"), good);
  qtest::WriteFile(PathOf("model.FD"), data + "xy");
  CheckSummary summary;
  ASSERT_EQ(DataFileCheck(1, nullptr, nullptr, &summary), 0);
  EXPECT_EQ(summary.faults, 0u);
  EXPECT_EQ(summary.partial, 2u);
}

}  // namespace
