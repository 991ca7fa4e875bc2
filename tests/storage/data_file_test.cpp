// Data files: the record file format, open and close, keyed reads, moves,
// add, rewrite, delete, the buffers, keys and field stores.
#include "storage/data_file.h"

#include <cstring>

#include "core/dyn_strings.h"
#include "core/status.h"
#include "language/variables.h"
#include "storage/index_file.h"
#include "storage/streams.h"
#include "storage_fixture.h"

using qtest::S;

namespace {

constexpr uint16_t kClients = 1;
constexpr uint16_t kLines = 2;

class DataFileTest : public StorageTest {
 protected:
  void SetUp() override {
    StorageTest::SetUp();
    ASSERT_EQ(Load(qtest::ClientsAndLines()), 0);
  }
  std::string DataBytes(const std::string& name = "clients.FD") {
    return qtest::ReadFile(PathOf(name));
  }
  // The record numbers of key k, in key order.
  std::vector<uint32_t> KeyOrder(uint16_t f, uint16_t k) {
    const uint32_t* e = IndexKeyEntries(f, k);
    return std::vector<uint32_t>(e, e + IndexLiveCount(f));
  }
  // Codes of the records met by moving from the first to the last.
  std::string Walk(uint16_t f, uint16_t field = 1) {
    std::string codes;
    for (uint16_t o = FileMove(f, kMoveFirst); o == 0; o = FileMove(f, kMoveNext)) {
      std::string v = Field(f, field);
      codes += v.substr(0, v.find_last_not_of(' ') + 1) + ",";
    }
    return codes;
  }
};

TEST_F(DataFileTest, OpenCreatesFilesAndPositionsOnTheFirstRecord) {
  EXPECT_EQ(FileOpen(kClients, 0), kOutEnd);  // empty file
  EXPECT_TRUE(FileIsOpen(kClients));
  EXPECT_TRUE(FsExists(PathOf("clients.FD")));
  EXPECT_TRUE(FsExists(PathOf("clients.DIR")));
  EXPECT_EQ(FileCtrl(kClients)->current_key, 1);
  EXPECT_EQ(FileCtrl(kClients)->last_outcome, kOutEnd);
  EXPECT_EQ(FileOpen(kClients, 0), 0);  // same flags: nothing happens
  ASSERT_EQ(Add(kClients, {"B", "Bea"}), 0);
  ASSERT_EQ(Add(kClients, {"A", "Ann"}), 0);
  ASSERT_EQ(FileClose(kClients), 0);
  EXPECT_FALSE(FileIsOpen(kClients));
  EXPECT_EQ(FileCtrl(kClients)->data_stream, kNoStream);
  EXPECT_EQ(FileOpen(kClients, kOpenMakeCurrent), kOutFound);
  EXPECT_EQ(IntegerVar(kSysCurFil), kClients);
  EXPECT_EQ(Field(kClients, 1), "A    ");
}

TEST_F(DataFileTest, RecordFormatIsFixedTextWithoutHeader) {
  ASSERT_LE(FileOpen(kClients, 0), 2);
  ASSERT_EQ(Add(kClients, {"C1", "Carla", "12.5"}), 0);
  ASSERT_EQ(Add(kClients, {"C2", "Dan", "-3"}), 0);
  std::string bytes = DataBytes();
  ASSERT_EQ(bytes.size(), 42u);  // two records of 21 bytes
  EXPECT_EQ(bytes.substr(0, 21), std::string("C1   ") + "Carla     " + " 12.50");
  EXPECT_EQ(bytes.substr(21, 21), std::string("C2   ") + "Dan       " + " -3.00");
  // Record n starts at n * L.
  ASSERT_EQ(FileOpen(kLines, 0), kOutEnd);
  for (int i = 0; i < 5; ++i)
    ASSERT_EQ(Add(kLines, {"O1", std::to_string(i + 1), "item"}), 0);
  EXPECT_EQ(DataBytes("lines.FD").substr(4 * 15, 15), std::string("O1  ") + "  5" + "item    ");
}

TEST_F(DataFileTest, KeyedReadsFindPrefixesAndNeighbours) {
  ASSERT_LE(FileOpen(kClients, 0), 2);
  for (const char* code : {"B20", "A10", "C30", "B25"})
    ASSERT_EQ(Add(kClients, {code, code}), 0);
  EXPECT_EQ(Find(kClients, 1, "B25"), kOutFound);
  EXPECT_EQ(Field(kClients, 1), "B25  ");
  EXPECT_EQ(Field(kClients, 1, 2), "B25  ");     // the old buffer has the copy
  EXPECT_EQ(Find(kClients, 1, "B"), kOutFound);  // a prefix: the first of them
  EXPECT_EQ(Field(kClients, 1), "B20  ");
  EXPECT_EQ(Find(kClients, 1, ""), kOutFound);  // empty value: the first record
  EXPECT_EQ(Field(kClients, 1), "A10  ");
  // Not found: positioned on the next greater key; read only with 0x02.
  EXPECT_EQ(Find(kClients, 1, "B22"), kOutNotFound);
  EXPECT_EQ(Field(kClients, 1), "A10  ");
  EXPECT_EQ(Find(kClients, 1, "B22", kReadNear), kOutNotFound);
  EXPECT_EQ(Field(kClients, 1), "B25  ");
  EXPECT_EQ(FileCtrl(kClients)->last_outcome, kOutNotFound);
  EXPECT_EQ(Find(kClients, 1, "Z"), kOutEnd);
  // With 0x01 a miss clears the buffers and puts the value in the key's fields.
  EXPECT_EQ(Find(kClients, 1, "Q77", kReadClearAssign), kOutEnd);
  EXPECT_EQ(Current(kClients), "Q77" + std::string(18, ' '));
  // By the second key.
  EXPECT_EQ(Find(kClients, 2, "C30"), kOutFound);
  EXPECT_EQ(FileCtrl(kClients)->current_key, 2);
  EXPECT_EQ(Find(kClients, 3, "x"), 168);
}

TEST_F(DataFileTest, MovesFollowTheCurrentKey) {
  ASSERT_LE(FileOpen(kClients, 0), 2);
  ASSERT_EQ(Add(kClients, {"A1", "zed"}), 0);
  ASSERT_EQ(Add(kClients, {"B1", "amy"}), 0);
  ASSERT_EQ(Add(kClients, {"C1", "max"}), 0);
  EXPECT_EQ(Walk(kClients), "A1,B1,C1,");
  ASSERT_EQ(SetCurrentKey(kClients, 2), 0);
  EXPECT_EQ(Walk(kClients), "B1,C1,A1,");
  // Past the ends.
  EXPECT_EQ(FileMove(kClients, kMoveLast), kOutFound);
  EXPECT_EQ(FileMove(kClients, kMoveNext), kOutEnd);
  EXPECT_EQ(Current(kClients), std::string(21, ' '));  // cleared
  EXPECT_EQ(FileMove(kClients, kMoveFirst), kOutFound);
  EXPECT_EQ(FileMove(kClients, kMovePrevious), kOutNotFound);
  EXPECT_EQ(FileMove(kClients, kMovePrevious | kMoveReadNear), kOutNotFound);
  EXPECT_EQ(Field(kClients, 1), "B1   ");
  // Request 0x01 only clears; any other code re-reads the current entry.
  EXPECT_EQ(FileMove(kClients, 0xF01), kOutCleared);
  EXPECT_EQ(Current(kClients), std::string(21, ' '));
  EXPECT_EQ(FileMove(kClients, 0xF00), kOutFound);
  EXPECT_EQ(Field(kClients, 1), "B1   ");
  // The request codes of the built-ins carry flag bits beside the move.
  EXPECT_EQ(FileMove(kClients, 3858), kOutFound);  // NXT
  EXPECT_EQ(Field(kClients, 1), "C1   ");
  EXPECT_EQ(FileMove(kClients, 3876), kOutFound);  // TOP
  EXPECT_EQ(Field(kClients, 1), "B1   ");
  EXPECT_EQ(FileMove(kClients, 3872), kOutFound);  // BOT
  EXPECT_EQ(Field(kClients, 1), "A1   ");
}

TEST_F(DataFileTest, SettingTheKeyKeepsTheCurrentRecord) {
  ASSERT_LE(FileOpen(kClients, 0), 2);
  ASSERT_EQ(Add(kClients, {"A1", "zed"}), 0);
  ASSERT_EQ(Add(kClients, {"B1", "amy"}), 0);
  ASSERT_EQ(Add(kClients, {"C1", "max"}), 0);
  ASSERT_EQ(Find(kClients, 1, "C1"), 0);
  ASSERT_EQ(SetCurrentKey(kClients, 2), 0);
  EXPECT_EQ(FileMove(kClients, kMoveNext), kOutFound);  // after max comes zed
  EXPECT_EQ(Field(kClients, 1), "A1   ");
  EXPECT_EQ(SetCurrentKey(kClients, 3), 168);
  EXPECT_EQ(SetCurrentKey(kClients, -1), 0);
  EXPECT_EQ(CurrentKey(kClients), 2);
}

TEST_F(DataFileTest, EqualKeysKeepTheirOrderOfAddition) {
  ASSERT_LE(FileOpen(kClients, 0), 2);
  ASSERT_EQ(Add(kClients, {"K", "first"}), 0);
  EXPECT_EQ(Add(kClients, {"K", "second"}), kOutDuplicate);
  EXPECT_EQ(Add(kClients, {"K", "third"}), kOutDuplicate);
  // The duplicate stays added and is the current record.
  EXPECT_EQ(Field(kClients, 2), "third     ");
  EXPECT_EQ(IndexLiveCount(kClients), 3u);
  EXPECT_EQ(Walk(kClients, 2), "first,second,third,");
  EXPECT_EQ(Find(kClients, 1, "K"), kOutFound);
  EXPECT_EQ(Field(kClients, 2), "first     ");
  // A line file has no duplicate check.
  ASSERT_LE(FileOpen(kLines, 0), 2);
  EXPECT_EQ(Add(kLines, {"O", "1", "a"}), 0);
  EXPECT_EQ(Add(kLines, {"O", "1", "b"}), 0);
}

TEST_F(DataFileTest, DeletedNumbersAreReused) {
  ASSERT_LE(FileOpen(kClients, 0), 2);
  for (const char* code : {"A", "B", "C", "D"})
    ASSERT_EQ(Add(kClients, {code}), 0);
  ASSERT_EQ(Find(kClients, 1, "C"), 0);
  EXPECT_EQ(FileDelete(kClients, 0), 0);
  EXPECT_EQ(Current(kClients)[0], kDeletedMark);
  EXPECT_EQ(IndexFreeCount(kClients), 1u);
  EXPECT_EQ(DataBytes()[2 * 21], kDeletedMark);  // still in its place
  EXPECT_EQ(DataBytes().substr(2 * 21 + 1, 4), "    ");
  EXPECT_EQ(Walk(kClients), "A,B,D,");
  for (uint16_t k = 1; k <= 2; ++k)
    for (uint32_t r : KeyOrder(kClients, k))
      EXPECT_NE(r, 2u);
  // The next add takes number 2: the file does not grow.
  ASSERT_EQ(Add(kClients, {"E"}), 0);
  EXPECT_EQ(IndexFreeCount(kClients), 0u);
  EXPECT_EQ(DataBytes().size(), 4u * 21);
  EXPECT_EQ(DataBytes().substr(2 * 21, 5), "E    ");
  EXPECT_EQ(Walk(kClients), "A,B,D,E,");
}

TEST_F(DataFileTest, DeleteCanMoveOnToTheNextRecord) {
  ASSERT_LE(FileOpen(kClients, 0), 2);
  for (const char* code : {"A", "B", "C"})
    ASSERT_EQ(Add(kClients, {code}), 0);
  ASSERT_EQ(Find(kClients, 1, "B"), 0);
  EXPECT_EQ(FileDelete(kClients, kReadNear), kOutNotFound);
  EXPECT_EQ(Field(kClients, 1), "C    ");
  EXPECT_EQ(FileDelete(kClients, kReadNear), kOutEnd);  // C was the last
  EXPECT_EQ(FileDelete(kClients, 0), kStInternal);      // nothing current now
}

TEST_F(DataFileTest, RewriteMovesTheRecordInTheKeysThatChanged) {
  ASSERT_LE(FileOpen(kClients, 0), 2);
  ASSERT_EQ(Add(kClients, {"A", "one"}), 0);
  ASSERT_EQ(Add(kClients, {"B", "two"}), 0);
  ASSERT_EQ(Add(kClients, {"C", "three"}), 0);
  ASSERT_EQ(Find(kClients, 1, "A"), 0);
  ASSERT_EQ(FieldPut(kClients, 1, Lit("D")), 0);
  ASSERT_EQ(FieldPut(kClients, 3, Lit("7")), 0);
  EXPECT_EQ(FileRewrite(kClients), 0);
  EXPECT_EQ(DataBytes().substr(0, 21), std::string("D    ") + "one       " + "  7.00");
  EXPECT_EQ(Walk(kClients), "B,C,D,");
  ASSERT_EQ(SetCurrentKey(kClients, 2), 0);
  EXPECT_EQ(Walk(kClients), "D,C,B,");            // the name key did not change
  EXPECT_FALSE(FsExists(PathOf("clients.JNL")));  // the journal is gone
  // An unchanged buffer writes nothing.
  ASSERT_EQ(Find(kClients, 1, "B"), 0);
  std::string before = DataBytes();
  EXPECT_EQ(FileRewrite(kClients), 0);
  EXPECT_EQ(DataBytes(), before);
}

TEST_F(DataFileTest, WritesNeedTheRecordAtThePosition) {
  ASSERT_LE(FileOpen(kClients, 0), 2);
  ASSERT_EQ(Add(kClients, {"A", "one"}), 0);
  ASSERT_EQ(Add(kClients, {"C", "three"}), 0);
  // A miss without 0x02 positions on C but leaves A's image in the buffers:
  // writing it over C would destroy C.
  ASSERT_EQ(Find(kClients, 1, "A"), 0);
  ASSERT_EQ(Find(kClients, 1, "B"), kOutNotFound);
  ASSERT_EQ(FieldPut(kClients, 2, Lit("changed")), 0);
  EXPECT_EQ(FileRewrite(kClients), kStInternal);
  EXPECT_EQ(FileDelete(kClients, 0), kStInternal);
  // A miss with 0x01 builds a new record: it is added, not written over.
  ASSERT_EQ(Find(kClients, 1, "B", kReadClearAssign), kOutNotFound);
  EXPECT_EQ(FileRewrite(kClients), kStInternal);
  EXPECT_EQ(FileAdd(kClients), 0);
  EXPECT_EQ(Walk(kClients, 2), "one,,three,");
  // A buffer that starts with ESC is not written as a live record.
  ASSERT_EQ(BufferClear(kClients, 2), 0);
  EXPECT_EQ(Current(kClients)[0], kDeletedMark);
  EXPECT_EQ(FileAdd(kClients), kStData);
}

TEST_F(DataFileTest, ReadKeyIntoKeepsKeyAndPosition) {
  ASSERT_LE(FileOpen(kClients, 0), 2);
  for (const char* code : {"A", "B", "C"})
    ASSERT_EQ(Add(kClients, {code, code}), 0);
  ASSERT_EQ(Find(kClients, 1, "B"), 0);
  EXPECT_EQ(FileReadKeyInto(kClients, 2, Lit("C"), 2), kOutFound);
  EXPECT_EQ(Field(kClients, 1, 2), "C    ");  // into the old buffer only
  EXPECT_EQ(Field(kClients, 1, 1), "B    ");
  EXPECT_EQ(FileCtrl(kClients)->current_key, 1);
  EXPECT_EQ(FileMove(kClients, kMoveNext), kOutFound);
  EXPECT_EQ(Field(kClients, 1), "C    ");
}

TEST_F(DataFileTest, KeyRangeCheckBoundsAScan) {
  ASSERT_LE(FileOpen(kClients, 0), 2);
  for (const char* code : {"AB1", "AB2", "AC1"})
    ASSERT_EQ(Add(kClients, {code}), 0);
  ASSERT_EQ(Find(kClients, 1, "AB"), 0);
  EXPECT_EQ(KeyRangeCheck(kClients, 0, Lit("AB")), 0);
  EXPECT_EQ(FileMoveWithin(kClients, kMoveNext, Lit("AB")), 0);
  EXPECT_EQ(FileMoveWithin(kClients, kMoveNext, Lit("AB")), kOutEnd);  // AC1 is past it
  EXPECT_EQ(Field(kClients, 1), "AC1  ");
  EXPECT_EQ(KeyRangeCheck(kClients, 0, Lit("")), 0);
  // Backwards (0x04): the limit is passed once the key is below the prefix.
  ASSERT_EQ(Find(kClients, 1, "AB2"), 0);
  EXPECT_EQ(FileMoveWithin(kClients, kMovePrevious, Lit("AB")), 0);
  EXPECT_EQ(KeyRangeCheck(kClients, 0x04, Lit("AC")), kOutEnd);
  EXPECT_EQ(FileMove(kClients, kMoveLast), 0);
  EXPECT_EQ(FileMove(kClients, kMoveNext), kOutEnd);
  EXPECT_EQ(KeyRangeCheck(kClients, 0, Lit("AB")), kOutEnd);  // a last outcome above 1
}

TEST_F(DataFileTest, KeyValueAndKeyAssign) {
  ASSERT_EQ(Load(qtest::Lines({qtest::FileLine(1, "T"), qtest::FieldLine(1, 3, 'A', "P"),
                               qtest::FieldLine(1, 4, 'N', "Q"), qtest::FieldLine(1, 2, 'A', "R"),
                               qtest::KeyLine(1, {{8, 2}, {1, 3}}), qtest::KeyLine(1, {{2, 5}})})),
            0);
  ASSERT_LE(FileOpen(1, 0), 2);
  ASSERT_EQ(KeyAssign(1, 1, Lit("zzabc")), 0);
  EXPECT_EQ(Current(1), "abc    zz");
  TempMarkValue mark = TempMark();
  EXPECT_EQ(S(KeyValue(1, 1, 1)), "zzabc");
  EXPECT_EQ(S(KeyValue(1, 2, 1)), "bc   ");
  TempRelease(mark);
  // A segment that starts inside a field fills the whole field.
  ASSERT_EQ(BufferClear(1, 1), 0);
  ASSERT_EQ(KeyAssign(1, 2, Lit("xy42")), 0);
  EXPECT_EQ(Current(1), "xy4      ");
  EXPECT_EQ(KeyAssign(1, 3, Lit("x")), 168);
}

TEST_F(DataFileTest, FieldStoresAndTheirFailures) {
  ASSERT_LE(FileOpen(kClients, 0), 2);
  ASSERT_EQ(BufferClear(kClients, 1), 0);
  EXPECT_EQ(FieldPut(kClients, 3, Lit("12.345")), 0);
  EXPECT_EQ(Field(kClients, 3), " 12.35");
  StatusReset();
  EXPECT_EQ(FieldPut(kClients, 3, Lit("1234567")), 168);
  EXPECT_EQ(ErrWord(), (uint32_t{kModBufferFld} << 16) | 151);
  EXPECT_EQ(Field(kClients, 3), " 12.35");  // unchanged
  EXPECT_EQ(FieldPut(kClients, 4, Lit("x")), 168);
  EXPECT_EQ(StrCheck(FieldRaw(kClients, 9, 1)), 168);
  EXPECT_EQ(S(ErrDetailText()), "(File:1, Field:9)");
  EXPECT_EQ(StrCheck(FieldRaw(5, 1, 1)), 168);
  EXPECT_EQ(FileOpen(5, 0), 168);
}

TEST_F(DataFileTest, BufferOperations) {
  ASSERT_LE(FileOpen(kClients, 0), 2);
  ASSERT_EQ(Add(kClients, {"A", "x"}), 0);
  ASSERT_EQ(Find(kClients, 1, "A"), 0);
  EXPECT_EQ(BufferChanged(kClients), 0);
  ASSERT_EQ(FieldPut(kClients, 2, Lit("y")), 0);
  EXPECT_EQ(BufferChanged(kClients), 1);
  ASSERT_EQ(BufferCopy(kClients, 2), 0);  // old to current
  EXPECT_EQ(Field(kClients, 2), "x         ");
  ASSERT_EQ(FieldPut(kClients, 2, Lit("z")), 0);
  ASSERT_EQ(BufferCopy(kClients, 1), 0);  // current to old
  EXPECT_EQ(Field(kClients, 2, 2), "z         ");
  EXPECT_EQ(BufferChanged(kClients), 0);
}

TEST_F(DataFileTest, ReadOnlyFilesRefuseWrites) {
  ASSERT_LE(FileOpen(kClients, 0), 2);
  ASSERT_EQ(Add(kClients, {"A"}), 0);
  ASSERT_EQ(FileClose(kClients), 0);
  EXPECT_EQ(FileOpen(kClients, kOpenReadOnly), 0);
  EXPECT_EQ(Add(kClients, {"B"}), kStPermission);
  ASSERT_EQ(Find(kClients, 1, "A"), 0);
  ASSERT_EQ(FieldPut(kClients, 2, Lit("x")), 0);
  EXPECT_EQ(FileRewrite(kClients), kStPermission);
  EXPECT_EQ(FileDelete(kClients, 0), kStPermission);
  // A read-only open of a missing file creates it empty.
  EXPECT_EQ(FileOpen(kLines, kOpenReadOnly), kOutEnd);
  EXPECT_TRUE(FsExists(PathOf("lines.FD")));
}

TEST_F(DataFileTest, FilesWithoutIndex) {
  ASSERT_EQ(FileOpen(kClients, kOpenNoIndex), 0);
  EXPECT_FALSE(FsExists(PathOf("clients.DIR")));
  EXPECT_EQ(Add(kClients, {"A"}), 0);
  EXPECT_EQ(Add(kClients, {"B"}), 0);
  EXPECT_EQ(Find(kClients, 1, "A"), kStIndexCmd);
  EXPECT_EQ(FileMove(kClients, kMoveFirst), kStIndexCmd);
  uint32_t count = 0;
  EXPECT_EQ(FileCount(kClients, 1, Lit(""), Lit(""), &count), 0);
  EXPECT_EQ(count, 2u);
  // A partial record counts when it is at least half a record.
  qtest::WriteFile(PathOf("clients.FD"), DataBytes() + std::string(11, 'x'));
  EXPECT_EQ(FileCount(kClients, 1, Lit(""), Lit(""), &count), 0);
  EXPECT_EQ(count, 3u);
}

TEST_F(DataFileTest, CountNeedsTheRecordLoop) {
  ASSERT_LE(FileOpen(kClients, 0), 2);
  for (const char* code : {"A1", "A2", "B1"})
    ASSERT_EQ(Add(kClients, {code}), 0);
  uint32_t count = 99;
  EXPECT_EQ(FileCount(kClients, 1, Lit("A"), Lit(""), &count), kStFileNotInit);
  EXPECT_EQ(S(ErrDetailText()), "RecordLoop");
  // With a loop installed (here: every record within the limit counts) the
  // state comes back afterwards.
  SetRecordLoop([](uint16_t f, uint16_t request, StrDesc, StrDesc limit) -> uint16_t {
    uint16_t o = (request & 0x80) ? FileMove(f, kMoveNext) : FileCtrl(f)->last_outcome;
    return o > 1 ? o : KeyRangeCheck(f, request, limit);
  });
  ASSERT_EQ(Find(kClients, 1, "B1"), 0);
  EXPECT_EQ(FileCount(kClients, 1, Lit("A"), Lit(""), &count), 0);
  EXPECT_EQ(count, 2u);
  EXPECT_EQ(Field(kClients, 1), "B1   ");
  EXPECT_EQ(FileMove(kClients, kMovePrevious), 0);
  EXPECT_EQ(Field(kClients, 1), "A2   ");
  SetRecordLoop(nullptr);
}

TEST_F(DataFileTest, UpdateAllRewritesEveryRecordOfThePrefix) {
  ASSERT_LE(FileOpen(kClients, 0), 2);
  for (const char* code : {"A1", "B1", "B2", "C1"})
    ASSERT_EQ(Add(kClients, {code, "n"}), 0);
  ASSERT_EQ(Find(kClients, 1, "C1"), 0);
  struct Ctx {
    int calls = 0;
  } ctx;
  auto mark_name = [](void* c) -> Status {
    static_cast<Ctx*>(c)->calls++;
    return FieldPut(1, 2, Lit("updated"));
  };
  EXPECT_EQ(FileUpdateAll(kClients, 1, Lit("B"), 0, &ctx, mark_name), 0);
  EXPECT_EQ(ctx.calls, 2);
  EXPECT_EQ(Field(kClients, 1), "C1   ");  // state restored
  EXPECT_EQ(Walk(kClients, 2), "n,updated,updated,n,");
  // With 0x04 a missing value is added first.
  SetIntegerVar(kSysRelRes, 0);
  ctx.calls = 0;
  EXPECT_EQ(FileUpdateAll(kClients, 1, Lit("D9"), 0x04, &ctx, mark_name), 0);
  EXPECT_EQ(ctx.calls, 1);
  EXPECT_EQ(IntegerVar(kSysRelRes), 4);
  EXPECT_EQ(Walk(kClients), "A1,B1,B2,C1,D9,");
  // A callback's failure stops the loop and is returned.
  auto fail = [](void*) -> Status { return 155; };
  EXPECT_EQ(FileUpdateAll(kClients, 1, Lit("B"), 0, nullptr, fail), 155);
}

TEST_F(DataFileTest, ReopenKeepsRecordsAndIndex) {
  ASSERT_LE(FileOpen(kClients, 0), 2);
  for (const char* code : {"B", "A"})
    ASSERT_EQ(Add(kClients, {code}), 0);
  EXPECT_EQ(FileReopen(kClients, 0), 0);
  EXPECT_EQ(Walk(kClients), "A,B,");
  EXPECT_EQ(FileReopen(kClients, 140), 140);  // a status given is passed on
  EXPECT_EQ(FileReopen(kLines, 0), kStFileNotInit);
}

TEST_F(DataFileTest, ClosingAllSavesEveryIndexAndRemovesTheLocks) {
  ASSERT_LE(FileOpen(kClients, kOpenExclusive), 2);
  ASSERT_LE(FileOpen(kLines, 0), 2);
  ASSERT_EQ(Add(kClients, {"A"}), 0);
  ASSERT_EQ(Add(kLines, {"O", "1"}), 0);
  ASSERT_EQ(Add(kLines, {"O", "2"}), 0);
  EXPECT_EQ(DataFilesCloseAll(), 0);
  EXPECT_FALSE(FileIsOpen(kClients));
  EXPECT_FALSE(FileIsOpen(kLines));
  EXPECT_FALSE(FsExists(PathOf("clients.lock")));
  for (auto [name, live] : {std::pair{"clients.DIR", 1}, std::pair{"lines.DIR", 2}}) {
    std::string index = DataBytes(name);
    ASSERT_GE(index.size(), 8u) << name;
    int32_t head[2];
    std::memcpy(head, index.data(), 8);
    EXPECT_EQ(head[0], 0) << name;
    EXPECT_EQ(head[1], live) << name;
  }
}

TEST_F(DataFileTest, RecordsTooLongForTheirBuffersAreRefused) {
  // 33 fields of 999 bytes: two images of the record do not fit the 16-bit
  // length of a text.
  std::vector<std::string> lines = {qtest::FileLine(1, "WIDE")};
  for (int i = 0; i < 33; ++i)
    lines.push_back(qtest::FieldLine(1, 999, 'A', "F" + std::to_string(i)));
  lines.push_back(qtest::FileLine(2, "SMALL"));
  lines.push_back(qtest::FieldLine(2, 3, 'A', "X"));
  std::string text;
  for (const std::string& line : lines)
    text += line + "\r\n";
  ASSERT_EQ(Load(text), 0);
  ASSERT_EQ(DictFile(1)->record_length, 33 * 999);
  EXPECT_GE(FileOpen(1, 0), 128);
  EXPECT_FALSE(FileIsOpen(1));
  EXPECT_GE(BufferClear(1, 1), 128);
  EXPECT_EQ(StrCheck(FieldRaw(1, 1, 1)), kStOutOfMemory);
  // Nothing beside the buffers was overwritten.
  EXPECT_EQ(S(DictFileName(2)), "small");
  EXPECT_EQ(S(DictFieldName(1, 33)), "F32");
  EXPECT_EQ(FileOpen(2, 0), kOutEnd);
}

TEST_F(DataFileTest, CompatibilityNames) {
  ASSERT_EQ(
      Load(qtest::Lines({qtest::FileLine(1, "LONGNAMEDFILE"), qtest::FieldLine(1, 2, 'A', "X")})),
      0);
  SetIntegerVar(kSysCompat, 0x02 | 0x08);
  ASSERT_EQ(FileOpen(1, 0), kOutEnd);
  EXPECT_TRUE(FsExists(PathOf("longname.FD")));
  EXPECT_TRUE(FsExists(PathOf("longname.NDX")));
}

TEST_F(DataFileTest, TemporaryModeUsesFreshNamesAndNoLock) {
  SetIntegerVar(kSysUpStat, 0x02 | 0x01);
  uint16_t names = DynCount(31);
  ASSERT_EQ(FileOpen(kClients, kOpenExclusive), kOutEnd);
  EXPECT_EQ(DynCount(31), names + 2);
  EXPECT_FALSE(FsExists(PathOf("clients.lock")));
  EXPECT_FALSE(FsExists(PathOf("clients.FD")));
  ASSERT_EQ(Add(kClients, {"T"}), 0);
  ASSERT_EQ(FileClose(kClients), 0);
  FsRemove(S(DynGet(31, names)));
  FsRemove(S(DynGet(31, names + 1)));
}

TEST_F(DataFileTest, RecordCountsAndWholeRecordBuffers) {
  uint32_t count = 9;
  EXPECT_EQ(FileRecordCount(kClients, &count), 0);
  EXPECT_EQ(count, 0u);  // no data file yet
  ASSERT_LE(FileOpen(kClients, 0), 2);
  ASSERT_EQ(BufferSet(kClients, 1, Lit("R1   from a copy")), 0);
  EXPECT_EQ(Current(kClients), "R1   from a copy     ");
  ASSERT_EQ(FileAdd(kClients), 0);
  ASSERT_EQ(Add(kClients, {"R2"}), 0);
  ASSERT_EQ(Find(kClients, 1, "R1"), 0);
  ASSERT_EQ(FileDelete(kClients, 0), 0);
  EXPECT_EQ(FileRecordCount(kClients, &count), 0);
  EXPECT_EQ(count, 1u);  // live records
  ASSERT_EQ(FileClose(kClients), 0);
  EXPECT_EQ(FileRecordCount(kClients, &count), 0);
  EXPECT_EQ(count, 2u);  // records of the file, deleted ones too
  EXPECT_EQ(FileRecordCount(7, &count), 168);
  TempMarkValue mark = TempMark();
  EXPECT_EQ(S(DataFileTempPath(kClients)).substr(S(DataFileTempPath(kClients)).size() - 11),
            "clients.TMP");
  TempRelease(mark);
}

}  // namespace
