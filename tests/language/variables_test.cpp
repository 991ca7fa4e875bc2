#include "language/variables.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/dyn_strings.h"
#include "core/fixed_point.h"
#include "core/hook_table.h"
#include "core/mem_pool.h"
#include "core/rec_table.h"
#include "core/status.h"
#include "core/temp_stack.h"
#include "support/runtime_fixture.h"

using qtest::S;

namespace {

// A number as the evaluator hands it over: its raw fixed-point value as 8
// bytes on the TempStack (1.5 with two decimals is the raw value 150).
StrDesc Num(int64_t raw) {
  return NumToBytes(raw);
}

int64_t TopNum() {
  return NumFromBytes(TempTop());
}
std::string TopStr() {
  return S(TempTop());
}

StrDesc Name(const std::string& s) {
  return Lit(s);
}

// Number of live blocks owned by the variable table (array storage).
int ArrayBlocks() {
  int n = 0;
  for (uint16_t h = 0; h < MemTableCapacity(); ++h) {
    const MemEntryRecord* e = MemEntry(h);
    if (e && e->data && e->owner == kOwnerVarStruct) ++n;
  }
  return n;
}

uint16_t ErrModule() {
  return static_cast<uint16_t>(ErrWord() >> 16);
}
Status ErrCode() {
  return static_cast<Status>(ErrWord() & 0xFFFF);
}

class VariablesTest : public RuntimeTest {};

// --- kinds ---------------------------------------------------------------

struct KindCase {
  const char* name;
  uint8_t type;
  uint8_t kind;
};

TEST_F(VariablesTest, KindIsDecidedByTheFirstMarkInTestOrder) {
  const KindCase cases[] = {
      {"", kVarInvalid, 0},      {"A@B", kVarInvalid, 0}, {"@(", kVarInvalid, 0},
      {"A(", kVarArray, 3},      {"N#(", kVarArray, 3},   {"T$(", kVarArray, 3},
      {"X$A", kVarString, 2},    {"A#$", kVarString, 2},  {".lf$", kVarString, 2},
      {"TT#", kVarNumber, 1},    {"_#", kVarNumber, 1},   {"K", kVarInteger, 0},
      {"_STAT", kVarInteger, 0},
  };
  for (const KindCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(ClassifyName(Name(c.name)), c.type);
    VarRef ref = LookupVariable(Name(c.name));
    EXPECT_EQ(ref.type, c.type);
    EXPECT_EQ(ref.kind, c.kind);
  }
}

// --- system variables ----------------------------------------------------

struct SysCase {
  uint16_t index;
  const char* name;
  int16_t value;
};

TEST_F(VariablesTest, SystemVariablesHaveTheirFixedIndexesAndDefaults) {
  const SysCase cases[] = {
      {kSysAuxStat, "_AUXSTAT", 0}, {kSysRelRes, "_RELRES", 0},
      {kSysCurFil, "_CURFIL", 0},   {kSysCurEdFld, "_CUREDFLD", 0},
      {kSysDevHig, "_DEVHIG", 24},  {kSysDevWid, "_DEVWID", 80},
      {kSysDevLin, "_DEVLIN", 0},   {kSysDevPos, "_DEVPOS", 0},
      {kSysDevPag, "_DEVPAG", 0},   {kSysCurRow, "_CURROW", 0},
      {kSysStat, "_STAT", 0},       {kSysLastKey, "_LASTKEY", 4},
      {kSysSgn, "_SGN", 0},         {kSysUpStat, "_UPSTAT", 1},
      {kSysIer, "_IER", 0},         {kSysSysCompat, "_SYSCOMPAT", 0},
      {kSysSqlStk, "_SQLSTK", 0},   {kSysCount, "_COUNT", 0},
      {kSysHCount, "_HCOUNT", 0},   {kSysAdmStat, "_ADMSTAT", 0},
      {kSysCompat, "_COMPAT", 0},   {kSysScrStat, "_SCRSTAT", 0},
      {kSysLMax, "_LMAX", 0},       {kSysLNum, "_LNUM", 0},
      {kSysLLst, "_LLST", 0},       {kSysHNum, "_HNUM", 0},
      {kSysSafe, "_SAFE", 0},       {kSysLb, "_LB", 128},
      {kSysAux, "_AUX", 0},         {kSysKeyMap, "_KEYMAP", 0},
      {kSysSerial, "_SERIAL", 0},   {kSysTrace, "_TRACE", 1},
      {kSysPrecis, "_PRECIS", 2},   {kSysBYear, "_BYEAR", 2000},
      {kSysBkYear, "_BKYEAR", 80},  {kSysDx, "_DX", 0},
      {kSysInHnd, "_INHND", 0},     {kSysOutHnd, "_OUTHND", 0},
      {kSysDate, "_DATE", 0},       {kSysDocSt, "_DOCST", 0},
      {kSysWMaxRow, "_WMAXROW", 0}, {kSysUser01, "_USER01", 0},
      {kSysUser02, "_USER02", 0},   {kSysUser03, "_USER03", 0},
  };
  for (const SysCase& c : cases) {
    SCOPED_TRACE(c.name);
    VarRef ref = LookupVariable(Name(c.name));
    EXPECT_EQ(ref.type, kVarInteger);
    EXPECT_EQ(ref.index, c.index);
    EXPECT_EQ(IntegerVar(c.index), c.value);
  }
  EXPECT_EQ(TakeSnapshot().list_count[0], 44);

  const char* strings[] = {"_ACUM$", "_ACUMX$", "_LTEXT$"};
  for (uint16_t i = 0; i < 3; ++i) {
    SCOPED_TRACE(strings[i]);
    EXPECT_EQ(LookupVariable(Lit(strings[i])).index, i);
    EXPECT_EQ(S(StringVar(i)), "");
  }
  EXPECT_EQ(TakeSnapshot().list_count[2], 3);
  EXPECT_EQ(NumDecimals(), 2);
}

TEST_F(VariablesTest, ASecondInitialisationIsRefused) {
  EXPECT_EQ(InitVariables(), 124);
}

TEST_F(VariablesTest, PrecisDrivesTheNumberConversions) {
  ASSERT_EQ(AssignVariable(Lit("K"), Num(500)), 0);   // 5
  ASSERT_EQ(AssignVariable(Lit("N#"), Num(150)), 0);  // 1.5

  ASSERT_EQ(AssignVariable(Lit("_PRECIS"), Num(300)), 0);
  EXPECT_EQ(NumDecimals(), 3);
  EXPECT_EQ(IntegerVar(kSysPrecis), 3);
  ASSERT_EQ(ReadVariable(Lit("K")), 0);
  EXPECT_EQ(TopNum(), 5000);  // integers are scaled by the new factor
  ASSERT_EQ(ReadVariable(Lit("N#")), 0);
  EXPECT_EQ(TopNum(), 150);  // numbers keep their raw value

  ASSERT_EQ(SetIntegerVar(kSysPrecis, 0), 0);
  EXPECT_EQ(NumDecimals(), 0);
  ASSERT_EQ(SetIntegerVar(kSysPrecis, 2), 0);
  SetBits(kSysPrecis, 0x01, true);  // any store into _PRECIS counts
  EXPECT_EQ(NumDecimals(), 3);
}

// --- assignment and reading ----------------------------------------------

struct AssignCase {
  const char* name;
  int64_t value;   // raw, two decimals
  int64_t stored;  // integer value, or raw number
  int64_t read;    // raw number read back
};

TEST_F(VariablesTest, AssignmentConvertsByKindAndReadsBackAsANumber) {
  const AssignCase cases[] = {
      {"N#", 150, 150, 150},         // 1.5 stays 1.5
      {"I", 250, 3, 300},            // 2.5 rounds away from zero
      {"I", -250, -3, -300},         // -2.5 too
      {"I", 150, 2, 200},            // 1.5
      {"I", 149, 1, 100},            // 1.49
      {"I", 40, 0, 0},               // 0.4
      {"I", 50, 0, 0},               // 0.5: a zero quotient is not rounded
      {"I", -50, 0, 0},              // -0.5
      {"I", 7000000, 4464, 446400},  // 70000 keeps its low 16 bits
      {"I", -7000000, -4464, -446400},
      {"I", 3276800, -32768, -3276800},  // 32768 wraps
  };
  for (const AssignCase& c : cases) {
    SCOPED_TRACE(std::string(c.name) + " = " + std::to_string(c.value));
    TempMarkValue mark = TempMark();
    StrDesc value = Num(c.value);
    ASSERT_EQ(AssignVariable(Name(c.name), value), 0);
    // The assignment's own value stays on top, exactly one entry above the
    // caller's value.
    EXPECT_EQ(TempMark(), mark + 2);
    EXPECT_EQ(TopNum(), c.value);
    VarRef ref = LookupVariable(Name(c.name));
    ASSERT_NE(ref.index, kVarAbsent);
    if (ref.type == kVarNumber) {
      EXPECT_EQ(NumberVar(ref.index), c.stored);
    } else {
      EXPECT_EQ(IntegerVar(ref.index), c.stored);
    }
    ASSERT_EQ(ReadVariable(Name(c.name)), 0);
    EXPECT_EQ(TopNum(), c.read);
    TempRelease(mark);
  }
}

TEST_F(VariablesTest, StringsAreStoredAsGivenAndReassigned) {
  ASSERT_EQ(AssignVariable(Lit("S$"), Lit("first")), 0);
  ASSERT_EQ(AssignVariable(Lit("T$"), Lit("")), 0);
  ASSERT_EQ(AssignVariable(Lit("S$"), Lit("second value")), 0);
  EXPECT_EQ(TopStr(), "second value");
  ASSERT_EQ(ReadVariable(Lit("S$")), 0);
  EXPECT_EQ(TopStr(), "second value");
  ASSERT_EQ(ReadVariable(Lit("T$")), 0);
  EXPECT_EQ(TopStr(), "");
  // Assigning from a variable's own value (a view into the store) works.
  ASSERT_EQ(AssignVariable(Lit("U$"), StringVar(LookupVariable(Lit("S$")).index)), 0);
  ASSERT_EQ(ReadVariable(Lit("U$")), 0);
  EXPECT_EQ(TopStr(), "second value");
  EXPECT_EQ(LookupVariable(Lit("S$")).index, 3);  // after the three system strings
  EXPECT_EQ(LookupVariable(Lit("U$")).index, 5);
}

TEST_F(VariablesTest, ReadingAnAbsentNameIsNotAnError) {
  struct Case {
    const char* name;
    uint16_t length;
  } cases[] = {{"NEVER", 8}, {"NEVER#", 8}, {"NEVER$", 0}, {".other$", 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempMarkValue mark = TempMark();
    ASSERT_EQ(ReadVariable(Name(c.name)), 0);
    EXPECT_EQ(TempMark(), mark + 1);
    EXPECT_EQ(TempTop().len, c.length);
    EXPECT_EQ(NumFromBytes(TempTop()), 0);
    EXPECT_EQ(LookupVariable(Name(c.name)).index, kVarAbsent);  // reading creates nothing
    TempRelease(mark);
  }
}

TEST_F(VariablesTest, InvalidAndArrayNamesAreRefusedWithoutTouchingTheTable) {
  const char* names[] = {"A@B", "@", "", "ARR("};
  for (const char* n : names) {
    SCOPED_TRACE(n);
    ErrClear();
    VarSnapshot before = TakeSnapshot();
    StrDesc value = Num(100);
    TempMarkValue mark = TempMark();
    EXPECT_EQ(ReadVariable(Name(n)), kStSyntax);
    EXPECT_EQ(AssignVariable(Name(n), value), kStSyntax);
    EXPECT_EQ(TempMark(), mark);
    VarSnapshot after = TakeSnapshot();
    for (int k = 0; k < 4; ++k)
      EXPECT_EQ(after.list_length[k], before.list_length[k]);
    EXPECT_EQ(ErrCode(), kStSyntax);
    EXPECT_EQ(ErrModule(), kModVarNmAssign);
  }
}

TEST_F(VariablesTest, ANameHoldingTheListSeparatorIsRefused) {
  VarSnapshot before = TakeSnapshot();
  EXPECT_EQ(AssignVariable(Lit("A,B"), Num(100)), kStVarName);
  EXPECT_EQ(TakeSnapshot().list_length[0], before.list_length[0]);
  EXPECT_EQ(ErrCode(), kStVarName);
  EXPECT_EQ(ErrModule(), kModVarNmAssign);
}

TEST_F(VariablesTest, AQuoteInANameDoesNotShiftTheNamesAfterIt) {
  ASSERT_EQ(AssignVariable(Lit("Q'A$"), Lit("one")), 0);
  ASSERT_EQ(AssignVariable(Lit("QB$"), Lit("two")), 0);
  ASSERT_EQ(AssignVariable(Lit("QC$"), Lit("three")), 0);
  EXPECT_EQ(LookupVariable(Lit("Q'A$")).index, 3);
  EXPECT_EQ(LookupVariable(Lit("QB$")).index, 4);
  EXPECT_EQ(LookupVariable(Lit("QC$")).index, 5);
  ASSERT_EQ(ReadVariable(Lit("QB$")), 0);
  EXPECT_EQ(TopStr(), "two");
}

TEST_F(VariablesTest, AFailedStoreLeavesNoNameBehind) {
  // Fill the store so that a name still fits but its long value does not.
  uint32_t room = kDynTextCapacity - DynUsedText();
  std::string filler(room - 64, 'x');
  ASSERT_EQ(DynSet(20, 0, Lit(filler)), 0);
  std::string big(500, 'y');
  VarSnapshot before = TakeSnapshot();
  EXPECT_EQ(AssignVariable(Lit("BIG$"), Lit(big)), kStStrOutBound);
  EXPECT_EQ(LookupVariable(Lit("BIG$")).index, kVarAbsent);
  EXPECT_EQ(TakeSnapshot().list_length[2], before.list_length[2]);
  // A later variable still gets the next index and its own value.
  ASSERT_EQ(AssignVariable(Lit("SMALL$"), Lit("ok")), 0);
  EXPECT_EQ(LookupVariable(Lit("SMALL$")).index, 3);
  ASSERT_EQ(ReadVariable(Lit("SMALL$")), 0);
  EXPECT_EQ(TopStr(), "ok");
}

TEST_F(VariablesTest, AssignIntegerValueScalesTheInteger) {
  TempMarkValue mark = TempMark();
  ASSERT_EQ(AssignIntegerValue(Lit("clients"), 3), 0);
  EXPECT_EQ(TempMark(), mark + 1);
  EXPECT_EQ(TopNum(), 300);
  EXPECT_EQ(IntegerVar(LookupVariable(Lit("clients")).index), 3);
  ASSERT_EQ(AssignIntegerValue(Lit("T#"), -7), 0);
  EXPECT_EQ(NumberVar(LookupVariable(Lit("T#")).index), -700);
}

TEST_F(VariablesTest, DirectAccessByIndex) {
  EXPECT_EQ(IntegerVar(500), 0);
  EXPECT_EQ(NumberVar(500), 0);
  EXPECT_EQ(S(StringVar(500)), "");

  ASSERT_EQ(SetNumberVar(2, -12345), 0);
  EXPECT_EQ(NumberVar(2), -12345);
  EXPECT_EQ(NumberVar(1), 0);  // grown records are zero

  // Strings: an existing index or the next one only.
  EXPECT_EQ(SetStringVar(3, Lit("next")), 0);
  EXPECT_EQ(SetStringVar(5, Lit("gap")), kStStrOutBound);
  EXPECT_EQ(S(StringVar(3)), "next");
  EXPECT_EQ(SetStringVar(0, Lit("acum")), 0);
  ASSERT_EQ(ReadVariable(Lit("_ACUM$")), 0);
  EXPECT_EQ(TopStr(), "acum");
}

TEST_F(VariablesTest, BitsAreTestedAndChangedInPlace) {
  ASSERT_EQ(SetIntegerVar(kSysAuxStat, 0x41), 0);
  EXPECT_TRUE(TestBits(kSysAuxStat, 0x40));
  EXPECT_FALSE(TestBits(kSysAuxStat, 0x08));
  EXPECT_TRUE(SetBits(kSysAuxStat, 0x08, true));
  EXPECT_EQ(IntegerVar(kSysAuxStat), 0x49);
  EXPECT_FALSE(SetBits(kSysAuxStat, 0x48, false));
  EXPECT_EQ(IntegerVar(kSysAuxStat), 0x01);
  EXPECT_TRUE(SetBits(kSysAuxStat, 0x8000, true));  // the sign bit is a bit like any other
  EXPECT_TRUE(TestBits(kSysAuxStat, 0x8000));
}

// --- constant names --------------------------------------------------------

TEST_F(VariablesTest, ConstantNamesReadTheirTextAndCannotBeAssigned) {
  struct Case {
    const char* name;
    const char* text;
  } cases[] = {
      {".lf$", "\r\n"},   {".tab$", "\t"}, {".pchr$", "\\"},
      {".null$", ""},     {".LF$", "set"},  // constant names are case-sensitive: an ordinary
                                            // variable
      {".other$", "set"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_EQ(AssignVariable(Name(c.name), Lit("set")), 0);
    ASSERT_EQ(ReadVariable(Name(c.name)), 0);
    EXPECT_EQ(TopStr(), c.text);
  }
}

// --- the field hook -----------------------------------------------------------

struct HookLog {
  std::vector<std::string> calls;
  std::string assigned;
};
HookLog* g_log = nullptr;

// Knows the fields _FLD, _FLD#, _FLD$ and _BAD; everything else is "not mine".
StrDesc FakeFieldHook(StrDesc name, int action) {
  std::string n = S(name);
  g_log->calls.push_back(n + "/" + std::to_string(action));
  if (n == "_BAD") return StrError(kStSyntax);
  if (n != "_FLD" && n != "_FLD#" && n != "_FLD$") return StrError(kStData);
  if (action == 5) {
    g_log->assigned = S(TempTop());
    if (n == "_FLD$") {
      // The field keeps its value in the store: the texts of later items move.
      DynSet(1, 0, Lit("a field value long enough to move every later item"));
    }
    return TempTop();
  }
  if (n == "_FLD") return Lit("42");
  if (n == "_FLD#") return Lit("1.25");
  return Lit("abc");
}

class VariablesHookTest : public VariablesTest {
 protected:
  void SetUp() override {
    VariablesTest::SetUp();
    ASSERT_EQ(GetVarFieldHook(), nullptr);  // nothing left over from an earlier runtime
    g_log = &log_;
    SetVarFieldHook(FakeFieldHook);
  }
  void TearDown() override {
    VariablesTest::TearDown();
    EXPECT_EQ(GetVarFieldHook(), nullptr);
    g_log = nullptr;
  }
  HookLog log_;
};

TEST_F(VariablesHookTest, UnderscoreNamesAreReadThroughTheHookFirst) {
  struct Case {
    const char* name;
    Status status;
    int64_t number;
    const char* text;
  } cases[] = {
      {"_FLD", 0, 4200, nullptr},       // an integer field: its text times 10^P
      {"_FLD#", 0, 125, nullptr},       // a number field: parsed
      {"_FLD$", 0, 0, "abc"},           // a string field: as given
      {"_BAD", kStSyntax, 0, nullptr},  // the hook's failure is final
      {"_LASTKEY", 0, 400, nullptr},    // not a field: the table
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempMarkValue mark = TempMark();
    EXPECT_EQ(ReadVariable(Name(c.name)), c.status);
    if (c.status != 0) {
      EXPECT_EQ(TempMark(), mark);
      continue;
    }
    EXPECT_EQ(TempMark(), mark + 1);
    if (c.text) {
      EXPECT_EQ(TopStr(), c.text);
    } else {
      EXPECT_EQ(TopNum(), c.number);
    }
    TempRelease(mark);
  }
  // Other names never reach the hook.
  log_.calls.clear();
  ASSERT_EQ(ReadVariable(Lit("FLD")), 0);
  EXPECT_TRUE(log_.calls.empty());
}

TEST_F(VariablesHookTest, AssignmentsToFieldsBypassTheTable) {
  VarSnapshot before = TakeSnapshot();
  ASSERT_EQ(AssignVariable(Lit("_FLD$"), Lit("typed")), 0);
  EXPECT_EQ(log_.assigned, "typed");  // the hook found the value on top
  EXPECT_EQ(TopStr(), "typed");
  EXPECT_EQ(LookupVariable(Lit("_FLD$")).index, kVarAbsent);
  EXPECT_EQ(TakeSnapshot().list_length[2], before.list_length[2]);

  EXPECT_EQ(AssignVariable(Lit("_BAD"), Num(100)), kStSyntax);
  EXPECT_EQ(LookupVariable(Lit("_BAD")).index, kVarAbsent);

  // A name the hook does not know goes to the table.
  ASSERT_EQ(AssignVariable(Lit("_STAT"), Num(700)), 0);
  EXPECT_EQ(IntegerVar(kSysStat), 7);
  ASSERT_EQ(log_.calls.back(), "_STAT/5");
}

TEST_F(VariablesHookTest, AFieldAssignmentLeavesTheValueAsGiven) {
  ASSERT_EQ(AssignVariable(Lit("S$"), Lit("from the table")), 0);
  StrDesc view = StringVar(LookupVariable(Lit("S$")).index);  // a view into the store
  ASSERT_EQ(AssignVariable(Lit("_FLD$"), view), 0);
  EXPECT_EQ(log_.assigned, "from the table");
  EXPECT_EQ(TopStr(), "from the table");
}

TEST_F(VariablesHookTest, TheHookIsTheFieldValueSlotOfTheHookTable) {
  EXPECT_EQ(HookAs<VarFieldHook>(kHookFieldValue), &FakeFieldHook);
  SetVarFieldHook(nullptr);
  EXPECT_EQ(HookGet(kHookFieldValue), nullptr);
  // Registered the way every other hook is.
  ASSERT_EQ(HookSetAs(kHookFieldValue, &FakeFieldHook), 0);
  EXPECT_EQ(GetVarFieldHook(), &FakeFieldHook);
  ASSERT_EQ(ReadVariable(Lit("_FLD")), 0);
  EXPECT_EQ(TopNum(), 4200);
}

// --- IndirectControlVar ---------------------------------------------------

TEST_F(VariablesTest, IndirectControlVarSplitsTypeAndLength) {
  ASSERT_EQ(AssignVariable(Lit("_V7$"), Lit("N12")), 0);
  ASSERT_EQ(AssignVariable(Lit("_V9$"), Lit("")), 0);
  ASSERT_EQ(AssignVariable(Lit("_V10$"), Lit("Dxy")), 0);
  TempMarkValue mark = TempMark();

  IndirectControl a = IndirectControlVar(7);
  EXPECT_EQ(a.status, 0);
  EXPECT_EQ(a.first, 'N');
  EXPECT_EQ(a.value, 12);

  IndirectControl empty = IndirectControlVar(9);
  EXPECT_EQ(empty.status, 0);
  EXPECT_EQ(empty.first, 0);
  EXPECT_EQ(empty.value, 0);

  IndirectControl text = IndirectControlVar(10);
  EXPECT_EQ(text.first, 'D');
  EXPECT_EQ(text.value, 0);

  EXPECT_EQ(IndirectControlVar(8).status, kStVarScreenField);
  EXPECT_EQ(TempMark(), mark);
}

// --- arrays -----------------------------------------------------------------

// The subscripts of one reference, evaluated: numbers given as whole values
// (scaled here) and at most one template string.
struct Ref {
  std::vector<StrDesc> args;
  uint8_t strings = 0;
};

Ref Subs(std::initializer_list<int64_t> whole) {
  Ref r;
  for (int64_t v : whole)
    r.args.push_back(NumToBytes(v * NumScale()));
  return r;
}

Ref Template(const char* text, std::initializer_list<int64_t> whole) {
  Ref r = Subs(whole);
  r.args.insert(r.args.begin(), Lit(text));
  r.strings = 1;
  return r;
}

Status Read(const char* name, const Ref& r) {
  return ReadElement(Lit(name), r.args.data(), static_cast<uint16_t>(r.args.size()), r.strings);
}

Status Write(const char* name, const Ref& r, StrDesc value) {
  return AssignElement(Lit(name), r.args.data(), static_cast<uint16_t>(r.args.size()), r.strings,
                       value);
}

TEST_F(VariablesTest, AFirstReadCreatesTheArrayFromTheReference) {
  TempMarkValue mark = TempMark();
  Ref three = Subs({3});
  ASSERT_EQ(Read("V#(", three), 0);
  EXPECT_EQ(TempTop().len, 8);
  EXPECT_EQ(TopNum(), 0);
  EXPECT_EQ(LookupVariable(Lit("V#(")).index, 0);
  EXPECT_EQ(ArrayBlocks(), 1);

  EXPECT_EQ(Read("V#(", Subs({4})), kStDataOutBound);
  ASSERT_EQ(Write("V#(", three, NumToBytes(200)), 0);
  EXPECT_EQ(TopNum(), 200);  // the assigned value is the result
  ASSERT_EQ(Read("V#(", three), 0);
  EXPECT_EQ(TopNum(), 200);
  TempRelease(mark);
}

TEST_F(VariablesTest, OnlyTheCombinedRowMajorOffsetIsChecked) {
  ASSERT_EQ(Read("M#(", Subs({1, 2})), 0);  // 2 x 3
  ASSERT_EQ(Write("M#(", Subs({0, 5}), NumToBytes(4200)), 0);
  ASSERT_EQ(Read("M#(", Subs({1, 2})), 0);  // offset 5 as well
  EXPECT_EQ(TopNum(), 4200);
  ASSERT_EQ(Write("M#(", Subs({1, 0}), NumToBytes(100)), 0);
  ASSERT_EQ(Read("M#(", Subs({0, 3})), 0);  // offset 3
  EXPECT_EQ(TopNum(), 100);

  const std::initializer_list<int64_t> out_of_range[] = {{0, 6}, {2, 0}, {1, 3}, {1, -4}, {-1, 5}};
  for (const auto& subs : out_of_range) {
    TempMarkValue mark = TempMark();
    EXPECT_EQ(Read("M#(", Subs(subs)), kStDataOutBound);
    EXPECT_EQ(Write("M#(", Subs(subs), NumToBytes(1)), kStDataOutBound);
    TempRelease(mark);
  }
}

TEST_F(VariablesTest, SubscriptsAreRoundedAndExtraOnesIgnored) {
  ASSERT_EQ(Read("R#(", Subs({5})), 0);
  Ref two_and_half;
  two_and_half.args.push_back(NumToBytes(250));  // 2.5 → 3
  ASSERT_EQ(Write("R#(", two_and_half, NumToBytes(900)), 0);
  ASSERT_EQ(Read("R#(", Subs({3})), 0);
  EXPECT_EQ(TopNum(), 900);

  // Five subscripts: the fifth is neither a dimension nor checked.
  ASSERT_EQ(Read("F#(", Subs({1, 1, 1, 1, 99})), 0);
  ASSERT_EQ(Write("F#(", Subs({1, 1, 1, 1, 70000}), NumToBytes(300)), 0);
  ASSERT_EQ(Read("F#(", Subs({1, 1, 1, 1})), 0);
  EXPECT_EQ(TopNum(), 300);
  EXPECT_EQ(Read("F#(", Subs({2, 0, 0, 0})), kStDataOutBound);  // 16 elements
}

TEST_F(VariablesTest, StringArraysAreFilledFromTheirTemplate) {
  ASSERT_EQ(Read("T$(", Template("ABCD", {3})), 0);
  EXPECT_EQ(TopStr(), "ABCD");
  for (int64_t e = 0; e < 4; ++e) {
    ASSERT_EQ(Read("T$(", Subs({0, e})), 0);
    EXPECT_EQ(TopStr(), "ABCD");
  }
  EXPECT_EQ(Read("T$(", Subs({0, 4})), kStDataOutBound);

  ASSERT_EQ(Write("T$(", Subs({0, 2}), Lit("XY")), 0);
  EXPECT_EQ(TopStr(), "XY");
  ASSERT_EQ(Read("T$(", Subs({0, 2})), 0);
  EXPECT_EQ(TopStr(), "XYCD");  // the tail keeps its bytes
  ASSERT_EQ(Write("T$(", Subs({0, 2}), Lit("123456")), 0);
  ASSERT_EQ(Read("T$(", Subs({0, 2})), 0);
  EXPECT_EQ(TopStr(), "1234");  // cut to the width
  // The same reference again, template included, reads element 3.
  ASSERT_EQ(Read("T$(", Template("ABCD", {3})), 0);
  EXPECT_EQ(TopStr(), "ABCD");

  // A template of eight bytes is a template, not a number.
  ASSERT_EQ(Read("W$(", Template("ABCDEFGH", {1})), 0);
  EXPECT_EQ(TopStr(), "ABCDEFGH");
  ASSERT_EQ(Read("W$(", Subs({0, 1})), 0);
  EXPECT_EQ(TopStr(), "ABCDEFGH");
}

TEST_F(VariablesTest, IntegerElementsTakeTheTruncatedIntegerPart) {
  ASSERT_EQ(Read("K(", Subs({4})), 0);
  EXPECT_EQ(TopNum(), 0);
  struct Case {
    StrDesc value;
    int64_t read;
  } cases[] = {
      {NumToBytes(275), 200},         // 2.75 → 2, not rounded
      {NumToBytes(-275), -200},       // toward zero
      {NumToBytes(7000000), 446400},  // 70000 → 4464
      {Lit("short"), 0},              // shorter than 8 bytes counts as 0
  };
  for (const Case& c : cases) {
    ASSERT_EQ(Write("K(", Subs({1}), c.value), 0);
    ASSERT_EQ(Read("K(", Subs({1})), 0);
    EXPECT_EQ(TopNum(), c.read);
  }
}

TEST_F(VariablesTest, NumberElementsTakeTheValueBytes) {
  ASSERT_EQ(Read("P#(", Subs({2})), 0);
  ASSERT_EQ(Write("P#(", Subs({1}), NumToBytes(-123456789)), 0);
  ASSERT_EQ(Read("P#(", Subs({1})), 0);
  EXPECT_EQ(TopNum(), -123456789);
  ASSERT_EQ(Write("P#(", Subs({1}), Lit("")), 0);  // the empty text is the number 0
  ASSERT_EQ(Read("P#(", Subs({1})), 0);
  EXPECT_EQ(TopNum(), 0);
}

TEST_F(VariablesTest, ArraysThatCannotBeMadeAreRefused) {
  struct Case {
    const char* name;
    Ref ref;
  } cases[] = {
      {"ONE#(", Subs({0})},         // a single element
      {"NONE#(", Subs({})},         // no subscripts
      {"S$(", Subs({3})},           // a string array without a template
      {"E$(", Template("", {3})},   // an empty template
      {"NEG#(", Subs({-1})},        // no room for a negative subscript
      {"HUGE(", Subs({300, 300})},  // more elements than 16 bits count
      {"WIDE(", Subs({65535})},     // a dimension beyond 16 bits
      {"A@(", Subs({3})},           // invalid element kind
      {"A(B", Subs({3})},           // '(' not at the end
      {"(", Subs({3})},             // no element kind
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempMarkValue mark = TempMark();
    VarSnapshot before = TakeSnapshot();
    EXPECT_EQ(Read(c.name, c.ref), kStSyntax);
    EXPECT_EQ(TempMark(), mark);
    EXPECT_EQ(TakeSnapshot().list_length[3], before.list_length[3]);
    EXPECT_EQ(ArrayBlocks(), 0);
  }
}

TEST_F(VariablesTest, TheLargestSubscriptCannotMakeAnArray) {
  ASSERT_EQ(SetIntegerVar(kSysPrecis, 0), 0);  // subscripts are taken as given
  for (int64_t raw : {INT64_MAX, int64_t{0xFFFF}}) {
    SCOPED_TRACE(raw);
    Ref r;
    r.args.push_back(NumToBytes(raw));
    EXPECT_EQ(Read("MAX#(", r), kStSyntax);
    EXPECT_EQ(LookupVariable(Lit("MAX#(")).index, kVarAbsent);
  }
}

TEST_F(VariablesTest, AssigningToAnAbsentArrayIsRefused) {
  EXPECT_EQ(Write("GONE#(", Subs({1}), NumToBytes(100)), kStDimStruct);
  EXPECT_EQ(LookupVariable(Lit("GONE#(")).index, kVarAbsent);
  EXPECT_EQ(Write("NOTARRAY#", Subs({1}), NumToBytes(100)), kStSyntax);
}

TEST_F(VariablesTest, FillElementsWritesARange) {
  EXPECT_EQ(FillElements(Lit("Z#("), NumToBytes(1), 0, 0xFFFF), kStDataOutBound);
  ASSERT_EQ(Read("Z#(", Subs({9})), 0);  // ten elements
  ASSERT_EQ(FillElements(Lit("Z#("), NumToBytes(700), 2, 5), 0);
  std::vector<int64_t> got;
  for (int64_t e = 0; e < 10; ++e) {
    ASSERT_EQ(Read("Z#(", Subs({e})), 0);
    got.push_back(TopNum());
  }
  EXPECT_EQ(got, (std::vector<int64_t>{0, 0, 700, 700, 700, 0, 0, 0, 0, 0}));

  ASSERT_EQ(FillElements(Lit("Z#("), NumToBytes(100), 8, 0xFFFF), 0);  // to the last
  ASSERT_EQ(FillElements(Lit("Z#("), NumToBytes(200), 0, 300), 0);     // clipped at the end
  ASSERT_EQ(Read("Z#(", Subs({9})), 0);
  EXPECT_EQ(TopNum(), 200);

  ASSERT_EQ(Read("Y$(", Template("ab", {2})), 0);
  ASSERT_EQ(FillElements(Lit("Y$("), Lit("X"), 1, 0xFFFF), 0);
  ASSERT_EQ(Read("Y$(", Subs({0, 1})), 0);
  EXPECT_EQ(TopStr(), "Xb");
  ASSERT_EQ(Read("Y$(", Subs({0, 0})), 0);
  EXPECT_EQ(TopStr(), "ab");
}

TEST_F(VariablesTest, TheAccumulatorArray) {
  EXPECT_EQ(EnsureAccumulators(Lit("X")), 0);
  EXPECT_EQ(LookupVariable(Lit("_#(")).index, kVarAbsent);
  ASSERT_EQ(EnsureAccumulators(Lit("_#")), 0);
  ASSERT_EQ(Read("_#(", Subs({256})), 0);
  EXPECT_EQ(Read("_#(", Subs({257})), kStDataOutBound);

  ASSERT_EQ(AddToElement(Lit("_#("), 256, 500, true), 0);
  ASSERT_EQ(AddToElement(Lit("_#("), 256, 250, true), 0);
  ASSERT_EQ(Read("_#(", Subs({256})), 0);
  EXPECT_EQ(TopNum(), 750);
  ASSERT_EQ(EnsureAccumulators(Lit("_#")), 0);  // an existing array is kept
  ASSERT_EQ(Read("_#(", Subs({256})), 0);
  EXPECT_EQ(TopNum(), 750);
  ASSERT_EQ(AddToElement(Lit("_#("), 256, 100, false), 0);
  ASSERT_EQ(Read("_#(", Subs({256})), 0);
  EXPECT_EQ(TopNum(), 100);

  EXPECT_EQ(AddToElement(Lit("_#("), 257, 1, true), kStDimStruct);
  EXPECT_EQ(AddToElement(Lit("NOPE#("), 0, 1, true), kStDimStruct);
  ASSERT_EQ(Read("TXT$(", Template("ab", {2})), 0);
  EXPECT_EQ(AddToElement(Lit("TXT$("), 0, 1, true), kStDimStruct);
  EXPECT_EQ(ArrayBlocks(), 2);
}

TEST_F(VariablesTest, AccumulatorsReadBeforeTheyAreEnsuredTakeTheFirstSubscript) {
  ASSERT_EQ(Read("_#(", Subs({5})), 0);
  EXPECT_EQ(Read("_#(", Subs({6})), kStDataOutBound);
  ASSERT_EQ(EnsureAccumulators(Lit("_#")), 0);  // exists: not made again
  EXPECT_EQ(Read("_#(", Subs({6})), kStDataOutBound);
}

// --- snapshots ----------------------------------------------------------------

TEST_F(VariablesTest, RestoringASnapshotRemovesWhatWasCreatedSince) {
  ASSERT_EQ(AssignVariable(Lit("OLD$"), Lit("old")), 0);
  ASSERT_EQ(AssignVariable(Lit("OLD"), Num(100)), 0);
  ASSERT_EQ(Read("OLDA#(", Subs({2})), 0);
  VarSnapshot snap = TakeSnapshot();

  ASSERT_EQ(AssignVariable(Lit("NEW$"), Lit("new")), 0);
  ASSERT_EQ(AssignVariable(Lit("NEW#"), Num(500)), 0);
  ASSERT_EQ(AssignVariable(Lit("NEWI"), Num(300)), 0);
  ASSERT_EQ(Read("NEWA#(", Subs({3})), 0);
  ASSERT_EQ(Read("NEWB$(", Template("zz", {3})), 0);
  ASSERT_EQ(AssignVariable(Lit("OLD$"), Lit("changed")), 0);
  EXPECT_EQ(ArrayBlocks(), 3);
  uint16_t strings = DynCount(13);

  ASSERT_EQ(RestoreSnapshot(snap), 0);
  const char* gone[] = {"NEW$", "NEW#", "NEWI", "NEWA#(", "NEWB$("};
  for (const char* n : gone)
    EXPECT_EQ(LookupVariable(Name(n)).index, kVarAbsent) << n;
  ASSERT_EQ(ReadVariable(Lit("NEW$")), 0);
  EXPECT_EQ(TopStr(), "");
  EXPECT_EQ(ArrayBlocks(), 1);  // the new arrays' storage is freed
  EXPECT_EQ(RecInfo(kRecArrays, 0), 1);
  EXPECT_EQ(RecInfo(kRecIntegers, 0), snap.integer_count);
  EXPECT_EQ(RecInfo(kRecNumbers, 0), 0);
  EXPECT_EQ(DynCount(13), strings);  // the items stay, emptied
  EXPECT_EQ(S(DynGet(13, strings - 1)), "");

  // Older variables keep their current values.
  ASSERT_EQ(ReadVariable(Lit("OLD$")), 0);
  EXPECT_EQ(TopStr(), "changed");
  ASSERT_EQ(Read("OLDA#(", Subs({2})), 0);

  // A name made after the restore takes the freed place.
  ASSERT_EQ(AssignVariable(Lit("AGAIN$"), Lit("again")), 0);
  EXPECT_EQ(LookupVariable(Lit("AGAIN$")).index, snap.list_count[2]);
  ASSERT_EQ(ReadVariable(Lit("AGAIN$")), 0);
  EXPECT_EQ(TopStr(), "again");
}

TEST_F(VariablesTest, RestoringALaterSnapshotAfterAnEarlierOneFails) {
  VarSnapshot early = TakeSnapshot();
  ASSERT_EQ(AssignVariable(Lit("X1"), Num(100)), 0);
  VarSnapshot late = TakeSnapshot();
  ASSERT_EQ(RestoreSnapshot(early), 0);
  EXPECT_EQ(RestoreSnapshot(late), kStInternal);
  ASSERT_EQ(RestoreSnapshot(early), 0);  // nothing to undo
}

}  // namespace
