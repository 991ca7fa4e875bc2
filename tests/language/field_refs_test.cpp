// Field references FIELD{FILE}: resolution, reading by type, assignment,
// the compact six-character dates, the obscured N form, and the file-name
// variables.
#include "language/field_refs.h"

#include "core/fixed_point.h"
#include "core/status.h"
#include "language/variables.h"
#include "storage/data_file.h"
#include "storage/storage_fixture.h"

using qtest::FieldLine;
using qtest::FileLine;
using qtest::Lines;
using qtest::S;

namespace {

class FieldRefsTest : public StorageTest {
 protected:
  void SetUp() override {
    StorageTest::SetUp();
    ASSERT_EQ(Load(Lines({FileLine(1, "CLIENTS"), FieldLine(1, 5, 'A', "CODE"),
                          FieldLine(1, 6, '2', "BAL"), FieldLine(1, 6, 'F', "SINCE"),
                          FieldLine(1, 6, 'N', "QTY"), FieldLine(1, 1, 'L', "OK"),
                          FileLine(2, "ITEMS"), FieldLine(2, 3, 'A', "REF")})),
              0);
    ASSERT_LE(FileOpen(1, 0), 2);
    ASSERT_LE(FileOpen(2, 0), 2);
    SetIntegerVar(kSysCurFil, 2);
  }
  std::string Read(const char* ref) {
    TempMarkValue mark = TempMark();
    Status st = ReadFieldRef(StrFromCstr(ref));
    std::string v = st ? "<" + std::to_string(st) + ">" : S(TempTop());
    TempRelease(mark);
    return v;
  }
  int64_t ReadNumber(const char* ref) {
    TempMarkValue mark = TempMark();
    EXPECT_EQ(ReadFieldRef(StrFromCstr(ref)), 0) << ref;
    int64_t v = NumFromBytes(TempTop());
    TempRelease(mark);
    return v;
  }
  Status Assign(const char* ref, StrDesc value) {
    TempMarkValue mark = TempMark();
    Status st = AssignFieldRef(StrFromCstr(ref), value);
    TempRelease(mark);
    return st;
  }
  Status AssignNumber(const char* ref, int64_t raw) {
    TempMarkValue mark = TempMark();
    Status st = AssignFieldRef(StrFromCstr(ref), NumToBytes(raw));
    TempRelease(mark);
    return st;
  }
};

TEST_F(FieldRefsTest, Resolution) {
  struct Case {
    const char* ref;
    Status status;
    uint16_t file, field;
    char type;
  } cases[] = {
      {"CODE{CLIENTS}", 0, 1, 1, 'A'}, {"CODE{clients}", 0, 1, 1, 'A'},
      {"2{1}", 0, 1, 2, '2'},          {"REF{}", 0, 2, 1, 'A'},  // the current file
      {"{CLIENTS}", 0, 1, 0, 0},       {"QTY{1}", 0, 1, 4, 'N'},
      {"CODE{CLIENTS", 147, 0, 0, 0},  {"CODE", 147, 0, 0, 0},
      {"NOPE{1}", 147, 1, 0, 0},  // not a name, and 0 as a number
      {"CODE{3}", 161, 0, 0, 0},       {"CODE{0}", 161, 0, 0, 0},
      {"CODE{unknown}", 161, 0, 0, 0}, {"9{1}", 168, 1, 0, 0},
  };
  for (const Case& c : cases) {
    FieldRef r = ResolveFieldRef(StrFromCstr(c.ref));
    EXPECT_EQ(r.status, c.status) << c.ref;
    if (c.status == 0) {
      EXPECT_EQ(r.file, c.file) << c.ref;
      EXPECT_EQ(r.field, c.field) << c.ref;
      EXPECT_EQ(r.type, c.type) << c.ref;
    }
  }
  ResolveFieldRef(Lit("CODE{CLIENTS"));
  EXPECT_EQ(S(ErrDetailText()), "Field:CODE{CLIENTS");
  ResolveFieldRef(Lit("9{1}"));
  EXPECT_EQ(S(ErrDetailText()), "(File:1, Field:9)");
}

TEST_F(FieldRefsTest, ReadingByType) {
  ASSERT_EQ(Assign("CODE{1}", Lit("AB")), 0);
  EXPECT_EQ(Read("CODE{1}"), "AB   ");
  EXPECT_EQ(Read("{CLIENTS}"), "1");
  ASSERT_EQ(AssignNumber("BAL{1}", 1250), 0);  // 12.50 with two decimals
  EXPECT_EQ(S(RecordBuffer(1, 1)).substr(5, 6), " 12.50");
  EXPECT_EQ(ReadNumber("BAL{1}"), 1250);
  ASSERT_EQ(AssignNumber("OK{1}", 100), 0);
  EXPECT_EQ(ReadNumber("OK{1}"), 100);
  // Zero is written as a number: false, not an undecided blank.
  ASSERT_EQ(AssignNumber("OK{1}", 0), 0);
  EXPECT_EQ(S(RecordBuffer(1, 1)).substr(23, 1), "0");
  ASSERT_EQ(AssignNumber("BAL{1}", 0), 0);
  EXPECT_EQ(S(RecordBuffer(1, 1)).substr(5, 6), "  0.00");
  EXPECT_EQ(ReadNumber("QTY{1}"), 0);  // blanks read as 0
  // A numeric field takes numbers only.
  EXPECT_EQ(Assign("QTY{1}", Lit("abc")), kStTypeMismatch);
  StatusReset();
  EXPECT_EQ(AssignNumber("QTY{1}", 123456700), 168);  // 1234567 does not fit 6
  EXPECT_EQ(ErrWord(), (uint32_t{kModBufferFld} << 16) | 151);
  EXPECT_EQ(Assign("{CLIENTS}", Lit("x")), 147);
  // The assignment leaves its value as its result.
  TempMarkValue mark = TempMark();
  ASSERT_EQ(AssignFieldRef(Lit("CODE{1}"), Lit("XY")), 0);
  EXPECT_EQ(S(TempTop()), "XY");
  TempRelease(mark);
}

TEST_F(FieldRefsTest, FieldTextReadsEitherBuffer) {
  ASSERT_EQ(Add(1, {"A1"}), 0);
  ASSERT_EQ(Find(1, 1, "A1"), 0);
  ASSERT_EQ(Assign("CODE{1}", Lit("B2")), 0);
  TempMarkValue mark = TempMark();
  EXPECT_EQ(S(FieldText(1, 1, 1)), "B2   ");
  EXPECT_EQ(S(FieldText(1, 1, 2)), "A1   ");
  EXPECT_EQ(StrCheck(FieldText(1, 7, 1)), 168);
  TempRelease(mark);
}

TEST_F(FieldRefsTest, CompactDatesUnderCompat4) {
  SetIntegerVar(kSysCompat, 0x04);
  struct Case {
    const char* value;
    const char* stored;
    const char* read;
  } cases[] = {
      {"20240517", "C4 517", "20240517"},
      {"20241231", "C41231", "20241231"},
      {"19990517", "99 517", "19990517"},
      {"", "      ", "        "},
  };
  for (const Case& c : cases) {
    ASSERT_EQ(FieldStore(1, 3, StrFromCstr(c.value)), 0) << c.value;
    EXPECT_EQ(S(RecordBuffer(1, 1)).substr(11, 6), c.stored) << c.value;
    TempMarkValue mark = TempMark();
    EXPECT_EQ(S(FieldValue(1, 3)), c.read) << c.value;
    TempRelease(mark);
  }
  // Stored forms read back: a blank after the first character is a zero.
  ASSERT_EQ(FieldPutRaw(1, 3, Lit("990517")), 0);
  EXPECT_EQ(Read("SINCE{1}"), "19990517");
  SetIntegerVar(kSysCompat, 0);
  EXPECT_EQ(Read("SINCE{1}"), "990517");
}

TEST_F(FieldRefsTest, ObscuredNumbers) {
  ASSERT_EQ(FieldPutRaw(1, 4, Lit("  D0")), 0);
  TempMarkValue mark = TempMark();
  std::string constant = S(FieldValue(1, 4));
  TempRelease(mark);
  EXPECT_FALSE(constant.empty());
  ASSERT_EQ(FieldPutRaw(1, 4, StrFromCstr(("D" + constant).c_str())), 0);
  EXPECT_EQ(ReadNumber("QTY{1}"), 0);  // the constant with itself gives 0
  ASSERT_EQ(FieldPutRaw(1, 4, Lit("  12")), 0);
  EXPECT_EQ(ReadNumber("QTY{1}"), 1200);
}

TEST_F(FieldRefsTest, FileNameVariablesAndCurrentFile) {
  ASSERT_EQ(DefineFileNameVariables(), 0);
  TempMarkValue mark = TempMark();
  ASSERT_EQ(ReadVariable(Lit("items")), 0);
  EXPECT_EQ(NumFromBytes(TempTop()), 200);  // 2 as a number
  TempRelease(mark);
  EXPECT_EQ(CurrentFile(1), 1);
  EXPECT_EQ(CurrentFile(0), 2);
  EXPECT_EQ(CurrentFile(9), 2);
}

}  // namespace
