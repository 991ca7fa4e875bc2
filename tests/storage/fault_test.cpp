// Failing writes: a write that fails, tears, or is the last before the
// process dies, at every step of an add, a rewrite, a delete and an index
// save, must leave every record reported written readable, the operation
// either done or not done as reported, and the index rebuildable.
#include <map>

#include "core/status.h"

#include "storage/data_check.h"
#include "storage/data_file.h"
#include "storage/index_file.h"
#include "storage/record_io.h"
#include "storage_fixture.h"

namespace {

constexpr uint16_t kClients = 1;

class FaultTest : public StorageTest {
 protected:
  void SetUp() override {
    StorageTest::SetUp();
    ASSERT_EQ(Load(qtest::ClientsAndLines()), 0);
  }

  // Every live record by code, walking key 1.
  std::map<std::string, std::string> Contents() {
    std::map<std::string, std::string> all;
    for (uint16_t o = FileMove(kClients, kMoveFirst); o == 0; o = FileMove(kClients, kMoveNext)) {
      std::string rec = Current(kClients);
      all[rec.substr(0, 5)] = rec;
    }
    return all;
  }

  // Fresh files holding `count` records C000.. (name N000..).
  std::map<std::string, std::string> Build(int count) {
    FsRemove(PathOf("clients.FD"));
    FsRemove(PathOf("clients.DIR"));
    FsRemove(PathOf("clients.JNL"));
    EXPECT_LE(FileOpen(kClients, 0), 2);
    for (int i = 0; i < count; ++i) {
      char code[16], name[16];
      std::snprintf(code, sizeof code, "C%03d", i % 1000);
      std::snprintf(name, sizeof name, "N%03d", i % 1000);
      EXPECT_EQ(Add(kClients, {code, name, std::to_string(i)}), 0);
    }
    std::map<std::string, std::string> all = Contents();
    EXPECT_EQ(FileClose(kClients), 0);
    return all;
  }

  // The index, once the file is closed, agrees with the data file.
  void ExpectConsistent(const char* when) {
    CheckSummary summary;
    std::vector<std::string> faults;
    ASSERT_EQ(DataFileCheck(
                  kClients,
                  [](void* c, StrDesc m) {
                    static_cast<std::vector<std::string>*>(c)->push_back(qtest::S(m));
                  },
                  &faults, &summary),
              0);
    EXPECT_EQ(summary.faults, 0u) << when << ": " << (faults.empty() ? "" : faults[0]);
  }

  // Runs op with the k-th write failing (mode), for k = 0, 1, ... until op
  // reports success; after each try the process "dies" (nothing saved), the
  // file is reopened and `expect` judges the contents.
  template <typename Op, typename Expect>
  void EveryWriteFails(int base_records, int mode, Op op, Expect expect) {
    for (int k = 0; k < 40; ++k) {
      SCOPED_TRACE("failing write " + std::to_string(k) + ", mode " + std::to_string(mode));
      std::map<std::string, std::string> before = Build(base_records);
      ASSERT_LE(FileOpen(kClients, 0), 2);
      StorageFailWrites(k, mode);
      Status st = op();
      StorageFailWrites(-1, 0);
      DataFilesAbandon();  // the process ends here: no close, no index save
      ASSERT_LE(FileOpen(kClients, 0), 2);
      expect(before, Contents(), st == 0 || st == kOutDuplicate);
      ASSERT_EQ(FileClose(kClients), 0);
      ExpectConsistent("after the crash");
      if (st == 0) return;
    }
    FAIL() << "the operation never succeeded";
  }
};

TEST_F(FaultTest, AddIsAllOrNothing) {
  for (int mode : {kFaultStop, kFaultTear}) {
    // 64 records: the add also grows (saves) the index first.
    for (int base : {3, 64}) {
      EveryWriteFails(
          base, mode,
          [&] {
            return static_cast<Status>(Add(kClients, {"NEW", "new one", "5"}));
          },
          [&](const auto& before, const auto& after, bool done) {
            auto expected = before;
            if (done) expected["NEW  "] = std::string("NEW  ") + "new one   " + "  5.00";
            EXPECT_EQ(after, expected);
          });
    }
  }
}

TEST_F(FaultTest, AGrowthWhoseSaveFailsLosesNothing) {
  // 63 records, then two adds: the first fills the arrays, the second saves
  // the changed index before it makes room. Any write of either may fail.
  for (int mode : {kFaultStop, kFaultTear}) {
    uint16_t first = 0, second = 0;
    EveryWriteFails(
        63, mode,
        [&] {
          first = Add(kClients, {"NEW1", "one"});
          second = Add(kClients, {"NEW2", "two"});
          return static_cast<Status>(first | second);
        },
        [&](const auto& before, const auto& after, bool) {
          auto expected = before;
          if (first == 0) expected["NEW1 "] = std::string("NEW1 ") + "one       " + "      ";
          if (second == 0) expected["NEW2 "] = std::string("NEW2 ") + "two       " + "      ";
          EXPECT_EQ(after, expected);
        });
  }
}

TEST_F(FaultTest, RewriteIsAllOrNothing) {
  for (int mode : {kFaultStop, kFaultTear}) {
    EveryWriteFails(
        5, mode,
        [&] {
          EXPECT_EQ(Find(kClients, 1, "C002"), 0);
          FieldPut(kClients, 1, Lit("Z002"));  // the key changes too
          FieldPut(kClients, 2, Lit("rewritten"));
          return FileRewrite(kClients);
        },
        [&](const auto& before, const auto& after, bool done) {
          auto expected = before;
          if (done) {
            expected.erase("C002 ");
            expected["Z002 "] = std::string("Z002 ") + "rewritten " + "  2.00";
          }
          EXPECT_EQ(after, expected);
        });
  }
}

TEST_F(FaultTest, DeleteIsAllOrNothing) {
  for (int mode : {kFaultStop, kFaultTear}) {
    EveryWriteFails(
        5, mode,
        [&] {
          EXPECT_EQ(Find(kClients, 1, "C003"), 0);
          return static_cast<Status>(FileDelete(kClients, 0));
        },
        [&](const auto& before, const auto& after, bool done) {
          auto expected = before;
          if (done) expected.erase("C003 ");
          EXPECT_EQ(after, expected);
        });
  }
}

TEST_F(FaultTest, AFailedWriteLeavesTheSessionUsable) {
  // One write fails (a full disk for a moment), the session goes on.
  for (int k = 0; k < 6; ++k) {
    SCOPED_TRACE("failing write " + std::to_string(k));
    std::map<std::string, std::string> expected = Build(4);
    ASSERT_LE(FileOpen(kClients, 0), 2);
    StorageFailWrites(k, kFaultTear | kFaultOnce);
    ASSERT_EQ(Find(kClients, 1, "C001"), 0);
    ASSERT_EQ(FieldPut(kClients, 2, Lit("changed")), 0);
    if (FileRewrite(kClients) == 0)
      expected["C001 "] = std::string("C001 ") + "changed   " + "  1.00";
    if (Add(kClients, {"C100", "added"}) == 0)
      expected["C100 "] = std::string("C100 ") + "added     " + "      ";
    ASSERT_EQ(Find(kClients, 1, "C002"), 0);
    if (FileDelete(kClients, 0) == 0) expected.erase("C002 ");
    StorageFailWrites(-1, 0);
    ASSERT_EQ(Add(kClients, {"C200", "after"}), 0);
    expected["C200 "] = std::string("C200 ") + "after     " + "      ";
    EXPECT_EQ(Contents(), expected);
    ASSERT_EQ(FileClose(kClients), 0);
    ExpectConsistent("after the session");
    ASSERT_LE(FileOpen(kClients, 0), 2);
    EXPECT_EQ(Contents(), expected);
    ASSERT_EQ(FileClose(kClients), 0);
  }
}

TEST_F(FaultTest, ARewriteThatCouldNotBeUndoneIsFinishedBeforeTheNextOne) {
  // The disk goes away for a moment in the middle of a rewrite: the record
  // is torn and its old image cannot be put back, so its journal stays. A
  // later rewrite in the same session must not replace that journal before
  // the torn record is mended.
  std::map<std::string, std::string> expected = Build(4);
  ASSERT_LE(FileOpen(kClients, 0), 2);
  ASSERT_EQ(Find(kClients, 1, "C001"), 0);
  ASSERT_EQ(FieldPut(kClients, 2, Lit("changed")), 0);
  StorageFailWrites(2, kFaultTear);  // header, journal; the record torn, then nothing
  EXPECT_EQ(FileRewrite(kClients), kStWrite);
  StorageFailWrites(-1, 0);
  ASSERT_TRUE(FsExists(PathOf("clients.JNL")));
  ASSERT_EQ(Find(kClients, 1, "C002"), 0);
  ASSERT_EQ(FieldPut(kClients, 2, Lit("other")), 0);
  ASSERT_EQ(FileRewrite(kClients), 0);
  expected["C002 "] = std::string("C002 ") + "other     " + "  2.00";
  EXPECT_FALSE(FsExists(PathOf("clients.JNL")));
  EXPECT_EQ(Contents(), expected);
  ASSERT_EQ(FileClose(kClients), 0);
  ExpectConsistent("after the session");
  ASSERT_LE(FileOpen(kClients, 0), 2);
  EXPECT_EQ(Contents(), expected);
  ASSERT_EQ(FileClose(kClients), 0);
}

TEST_F(FaultTest, AFailedIndexSaveMakesTheNextOpenRebuild) {
  std::map<std::string, std::string> expected = Build(3);
  ASSERT_LE(FileOpen(kClients, 0), 2);
  ASSERT_EQ(Add(kClients, {"C050", "x"}), 0);
  expected["C050 "] = std::string("C050 ") + "x         " + "      ";
  StatusReset();
  StorageFailWrites(0, kFaultStop);
  EXPECT_EQ(FileClose(kClients), kStDiskIo);
  EXPECT_EQ(ErrWord(), (uint32_t{kModDataFile} << 16) | kStDiskIo);
  StorageFailWrites(-1, 0);
  EXPECT_FALSE(FsExists(PathOf("clients.DIR")));
  ASSERT_LE(FileOpen(kClients, 0), 2);
  EXPECT_EQ(Contents(), expected);
  ASSERT_EQ(FileClose(kClients), 0);
  ExpectConsistent("after the rebuild");
}

TEST_F(FaultTest, ALiveRecordIsNeverTakenForANewOne) {
  // A stale index copied over the current one (its free list names a record
  // that lives now): the add notices and rebuilds instead of overwriting.
  Build(3);
  ASSERT_LE(FileOpen(kClients, 0), 2);
  ASSERT_EQ(Find(kClients, 1, "C001"), 0);
  ASSERT_EQ(FileDelete(kClients, 0), 0);
  ASSERT_EQ(FileClose(kClients), 0);
  std::string stale = qtest::ReadFile(PathOf("clients.DIR"));
  ASSERT_LE(FileOpen(kClients, 0), 2);
  ASSERT_EQ(Add(kClients, {"C010", "reuses 1"}), 0);
  ASSERT_EQ(FileClose(kClients), 0);
  qtest::WriteFile(PathOf("clients.DIR"), stale);
  ASSERT_LE(FileOpen(kClients, 0), 2);
  ASSERT_EQ(Add(kClients, {"C020", "new"}), 0);
  std::map<std::string, std::string> all = Contents();
  EXPECT_EQ(all.size(), 4u);
  EXPECT_EQ(all["C010 "].substr(5, 10), "reuses 1  ");
  ASSERT_EQ(FileClose(kClients), 0);
  ExpectConsistent("after the add");
}

TEST_F(FaultTest, AStaleJournalIsDropped) {
  // A journal whose record no longer matches either image (the data file was
  // replaced since) must not be applied.
  Build(3);
  ASSERT_LE(FileOpen(kClients, 0), 2);
  ASSERT_EQ(Find(kClients, 1, "C001"), 0);
  ASSERT_EQ(FieldPut(kClients, 2, Lit("changed")), 0);
  StorageFailWrites(2, kFaultStop);  // journal written, record write fails, no way back
  EXPECT_EQ(FileRewrite(kClients), kStWrite);
  StorageFailWrites(-1, 0);
  DataFilesAbandon();
  ASSERT_TRUE(FsExists(PathOf("clients.JNL")));
  std::string data = qtest::ReadFile(PathOf("clients.FD"));
  data.replace(21 + 5, 10, "other     ");  // someone put another record there
  qtest::WriteFile(PathOf("clients.FD"), data);
  ASSERT_LE(FileOpen(kClients, 0), 2);
  EXPECT_FALSE(FsExists(PathOf("clients.JNL")));
  ASSERT_EQ(Find(kClients, 1, "C001"), 0);
  EXPECT_EQ(Field(kClients, 2), "other     ");
}

TEST_F(FaultTest, AJournalCanBeFinishedBeforeTheFileIsCopied) {
  // Reorganising copies the records of a closed file: a rewrite left torn
  // by a crash must be undone first, or the torn record would be copied.
  std::map<std::string, std::string> before = Build(3);
  ASSERT_LE(FileOpen(kClients, 0), 2);
  ASSERT_EQ(Find(kClients, 1, "C001"), 0);
  ASSERT_EQ(FieldPut(kClients, 2, Lit("changed")), 0);
  StorageFailWrites(2, kFaultTear);  // journal written, record half written, then nothing
  EXPECT_EQ(FileRewrite(kClients), kStWrite);
  StorageFailWrites(-1, 0);
  DataFilesAbandon();
  std::string torn = qtest::ReadFile(PathOf("clients.FD")).substr(21, 21);
  EXPECT_NE(torn, before["C001 "]);
  EXPECT_EQ(FileFinishJournal(kClients), 0);
  EXPECT_FALSE(FsExists(PathOf("clients.JNL")));
  EXPECT_EQ(qtest::ReadFile(PathOf("clients.FD")).substr(21, 21), before["C001 "]);
  ASSERT_LE(FileOpen(kClients, 0), 2);
  EXPECT_EQ(FileFinishJournal(kClients), kStFileOpen);
}

}  // namespace
