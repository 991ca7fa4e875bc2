#include "language/evaluator.h"

#include <gtest/gtest.h>

#include <string>

#include "core/dyn_strings.h"
#include "core/fixed_point.h"
#include "core/hook_table.h"
#include "core/status.h"
#include "core/temp_stack.h"
#include "eval_test_util.h"
#include "language/variables.h"
#include "support/runtime_fixture.h"
#include "support/test_dirs.h"

using qtest::Eval;
using qtest::EvalRaw;
using qtest::S;

namespace {

TEST_F(EvalTest, RoundDivArithmetic) {
  Check({
      {"1/3", "n:.33"},
      {"2/3", "n:.67"},
      {"7/2", "n:3.5"},
      {"-7/2", "n:-3.5"},
      {"10/0", "n:"},
      {"6/-2", "n:-3"},
      {"1/-3", "n:-.33"},
      {"0.01*0.5", "n:"},
      {"0.03*0.5", "n:.02"},
      {"-0.03*0.5", "n:-.02"},
      {"1.005*1", "n:1.01"},
      {"2.5*2.5", "n:6.25"},
      {"200%15", "n:30"},
      {"200\xF7"
       "15",
       "n:170"},
      {"0.1+0.2", "n:.3"},
  });
}

TEST_F(EvalTest, PrecedenceAndAssociativity) {
  Check({
      {"2+3*4", "n:14"},    {"2*3+4", "n:10"},  {"10-4-3", "n:3"},   {"8/4/2", "n:1"},
      {"2*3|4", "n:14"},    {"5|1", "n:"},      {"4|1", "n:5"},      {"4@1", "n:5"},
      {"6&3", "n:2"},       {"2*-3+1", "n:-4"}, {"-3*2", "n:-6"},    {"(2+3)*4", "n:20"},
      {"((((7))))", "n:7"}, {"1+2>2", "n:1"},   {"1>0&&0>1", "n:"},  {"1>0||0>1", "n:1"},
      {"1@@0", "n:1"},      {"1@@1", "n:"},     {"655.36&&1", "n:"}, {"655.37&&1", "n:1"},
  });
}

TEST_F(EvalTest, RoundingOperatorFollowsPrecis) {
  Check({{"1.5!3", "n:15"}, {"1.25!1", "n:1.3"}, {"-1.25!1", "n:-1.3"}, {"0.5!0", "n:1"}});
  ASSERT_EQ(SetIntegerVar(kSysPrecis, 3), 0);
  Check({{"1234.567!0", "n:1235"}, {"12.345!1", "n:12.3"}, {"1/3", "n:.333"}});
}

TEST_F(EvalTest, ComparisonsAndPatterns) {
  Check({
      {"1==1", "n:1"},
      {"2<1", "n:"},
      {"'ab'<'abc'", "n:1"},
      {"'b'>'abc'", "n:1"},
      {"'ab'=='AB'", "n:"},
      {"'ab'<>'AB'", "n:1"},
      {"'Apple'=='AP*'", "n:1"},
      {"'Pineapple'=='*APP'", "n:1"},
      {"'Pear'=='*APP'", "n:"},
      {"'A'=='AP*'", "n:"},
      {"'x'=='*'", "n:1"},
      {"'Apple'<>'AP*'", "n:1"},
  });
  SetBits(kSysAuxStat, 0x80, true);
  Check({{"'Apple'=='AP*'", "n:"}, {"'Pineapple'=='*APP'", "n:"}, {"'AP*'=='AP*'", "n:1"}});
}

TEST_F(EvalTest, StringOperationsAndTypeErrors) {
  Check({
      {"'ab'+'cd'", "s:abcd"},
      {"'ab'-'cd'", "e:147"},
      {"'ab'*'cd'", "e:147"},
      {"'ab'+1", "e:128"},
      {"1+'ab'", "e:128"},
      {"'x'+-1", "e:147"},
      {"abc", "n:"},
      {"'abc'", "s:abc"},
      {"ab'c'", "s:AB'C'"},
  });
}

TEST_F(EvalTest, EmptyOperandsAndSeparators) {
  Check({
      {"", "n:"},
      {";", "n:"},
      {"1+", "e:147"},
      {"*2", "n:"},
      {"A;B;7", "n:7"},
      {"1,2", "n:2"},
      {"1=>2", "n:2"},
      {"()", "n:"},
  });
}

TEST_F(EvalTest, AssignmentsWithTypeAgreement) {
  Check({
      {"A=B=5", "n:5"},          {"A", "n:5"},         {"B", "n:5"},
      {"3=A", "e:147"},          {"A$='x'", "s:x"},    {"A$=1", "e:128"},
      {"N#='x'", "e:128"},       {"(A)=1", "e:147"},   {"1+A=2", "e:147"},
      {"A=", "e:147"},           {"I=2.5", "n:2.5"},   {"I", "n:3"},
      {"I=-2.5;I", "n:-3"},      {"I=0.5;I", "n:"},    {"K=70000;K", "n:4464"},
      {"N#=1.5;N#", "n:1.5"},    {"A=B=C=2+1", "n:3"}, {"C", "n:3"},
      {"X$=Y$='q'+'r'", "s:qr"}, {"X$", "s:qr"},
  });
  EXPECT_EQ(NumberVar(LookupVariable(Lit("N#")).index), 150);
}

TEST_F(EvalTest, ArrayElementsAndAccumulators) {
  Check({
      {"V#(3)", "n:"},
      {"V#(4)", "e:168"},
      {"V#(3)=2", "n:2"},
      {"V#(3)", "n:2"},
      {"V#(1+1;0)=1", "n:1"},
      {"V#(2)", "n:1"},
      {"V#(1)='x'", "e:128"},
      {"T$('ABCD';3)", "s:ABCD"},
      {"T$(0;2)='XY'", "s:XY"},
      {"T$(0;2)", "s:XYCD"},
      {"T$(0;2)=5", "e:128"},
      {"W#(1)=1", "e:149"},
      {"_#(5)=3", "n:3"},
      {"_#(5)", "n:3"},
      {"_#(256)", "n:"},
  });
}

Status CancellingRunner(StrDesc entry, StrDesc, int) {
  return StrEq(entry, "CANCEL") ? Status{kStCancelled} : Status{0};
}

TEST_F(EvalTest, SoftStatuses) {
  Check({
      {"CHK#(0;1;'x')", "e:125"},
      {"A=CHK#(0;1;'x')", "e:128"},
      {"CHK$(0;1)", "s:"},
      {"X$=CHK$(1;1)", "e:128"},
      {"CHK$(1;'a')", "s:a"},
  });
  // A cancel ends the statement without being an error: what follows is not
  // evaluated, what came before stays, the error word stays clear.
  HookSetAs(kHookProcedureRunner, CancellingRunner);
  ErrClear();
  Check({{"A=1;EXEC$('CANCEL');A=2", "e:122"},
         {"A", "n:1"},
         {"A=(EXEC$('CANCEL'));A=3", "e:122"},
         {"A", "n:1"},
         {"A=1;B=A+1;C=A+B", "n:3"}});
  EXPECT_EQ(ErrWord(), 0u);
  EXPECT_EQ(EvaluateCondition(Lit("EXEC$('CANCEL')")), kStCancelled);
  HookTableReset();
}

TEST_F(EvalTest, DecimalsSettingChangesLaterNumbersOnly) {
  Check({{"N#=1.5", "n:1.5"}, {"_COUNT", "n:"}});
  ASSERT_EQ(Eval("_PRECIS=3").substr(0, 2), "n:");
  // The stored raw value 150 now reads with three decimals.
  Check({{"N#", "n:.15"}, {"1/3", "n:.333"}, {"N#=1.5;N#", "n:1.5"}, {"0.0005*1", "n:.001"}});
  EXPECT_EQ(NumberVar(LookupVariable(Lit("N#")).index), 1500);
}

TEST_F(EvalTest, StructureConstants) {
  ASSERT_EQ(DynSet(0, 2, Lit("QO0001")), 0);
  Check({
      {".datey*2024+.datem*5+17", "n:20240517"},
      {"_$(.envron;.apname)", "s:QO0001"},
      {".fnparm+.next", "n:51"},
      {".nosuch", "e:147"},
      {".5+.25", "n:.75"},
  });
}

TEST_F(EvalTest, ErrorWordAndDetail) {
  ErrClear();
  ErrDetailClear();
  EXPECT_EQ(Eval("A=1;1+(2+'a');A=2"), "e:128");
  EXPECT_EQ(ErrWord(), (uint32_t{kModExpExec} << 16) | 128);
  EXPECT_EQ(S(ErrDetailText()), "2+'a'\r\n1+(2+'a');A=2");
  // Values assigned before the failure stay; the rest is not evaluated.
  EXPECT_EQ(Eval("A"), "n:1");

  ErrClear();
  ErrDetailClear();
  EXPECT_EQ(Eval(".nosuch*2"), "e:147");
  EXPECT_EQ(S(ErrDetailText()), ".nosuch\r\n.nosuch*2");

  // The first error stays in the word.
  EXPECT_EQ(Eval("'a'-1"), "e:128");
  EXPECT_EQ(ErrWord() & 0xFFFF, 147u);
}

TEST_F(EvalTest, EntryPoints) {
  const TempMarkValue mark = TempMark();
  EXPECT_EQ(EvaluateCondition(Lit("")), 1);
  EXPECT_EQ(EvaluateCondition(Lit("'x'")), 0);
  EXPECT_EQ(EvaluateCondition(Lit("2>1")), 1);
  EXPECT_EQ(EvaluateCondition(Lit("0.01")), 1);
  EXPECT_EQ(EvaluateCondition(Lit("1-1")), 0);
  EXPECT_EQ(EvaluateCondition(Lit("'a'+1")), 128);
  EXPECT_EQ(EvaluateCondition(Lit("CHK#(0;1;'x')")), 125);
  EXPECT_EQ(TempMark(), mark);

  EXPECT_EQ(S(EvaluateToText(Lit("1/4"))), ".25");
  EXPECT_EQ(S(EvaluateToText(Lit("2.50"))), "2.5");
  EXPECT_EQ(S(EvaluateToText(Lit("2-2"))), "");
  EXPECT_EQ(S(EvaluateToText(Lit("'a'+'b'"))), "ab");
  EXPECT_EQ(StrCheck(EvaluateToText(Lit("1+"))), 147);
  TempRelease(mark);

  EXPECT_EQ(EvaluateInteger(Lit("2.5")), 3);
  EXPECT_EQ(EvaluateInteger(Lit("-2.5")), -3);
  EXPECT_EQ(EvaluateInteger(Lit("20240517")), 20240517);
  EXPECT_EQ(EvaluateInteger(Lit("'7'")), 0);
  EXPECT_EQ(EvaluateInteger(Lit("1+")), 0);
  EXPECT_EQ(TempMark(), mark);

  EXPECT_EQ(EvaluateStatus(Lit("1+1")), 0);
  EXPECT_EQ(TempMark(), mark + 1);
  TempRelease(mark);
  EXPECT_EQ(EvaluateStatus(Lit("1+'a'")), 128);
  TempRelease(mark);

  EXPECT_EQ(S(EvaluateIfString(Lit("'a'+'b'"))), "ab");
  EXPECT_EQ(S(EvaluateIfString(Lit("1+2"))), "1+2");
  TempRelease(mark);
}

TEST_F(EvalTest, AssignFromInput) {
  // The built-in locale stops at the comma; the Spanish one reads it as the
  // decimal point.
  EXPECT_EQ(AssignFromInput(Lit("N#"), Lit("  12,5 "), false), 0);
  ASSERT_EQ(DynSet(0, 0, Lit(",.'0123456789,-D',' NS','  ,NO,SI'")), 0);
  LocaleRefresh();
  EXPECT_EQ(AssignFromInput(Lit("M#"), Lit("12,5"), false), 0);
  EXPECT_EQ(AssignFromInput(Lit("S$"), Lit("hola"), true), 0);
  EXPECT_EQ(AssignFromInput(Lit("I"), Lit("007"), false), 0);
  EXPECT_EQ(AssignFromInput(Lit("A#(2)"), Lit("3"), false), 149);
  Run("A#(2)");
  EXPECT_EQ(AssignFromInput(Lit("A#(1+1)"), Lit("3"), false), 0);
  EXPECT_EQ(AssignFromInput(Lit("S$"), Lit("1"), false), 128);
  EXPECT_EQ(AssignFromInput(Lit("N#"), Lit("x"), true), 128);
  EXPECT_EQ(AssignFromInput(Lit("A@"), Lit("1"), false), 128);
  Check({{"N#", "n:12"}, {"M#", "n:12.5"}, {"S$", "s:hola"}, {"I", "n:7"}, {"A#(2)", "n:3"}});
}

TEST_F(EvalTest, LeavesTheStackBalanced) {
  const TempMarkValue mark = TempMark();
  for (const char* e : {"1+2*3", "'a'+'b'", "A=FN$TRIM(' x ')", "1+'a'", "A + B", "V#(9)=1"}) {
    Evaluate(Lit(e));
    EXPECT_EQ(TempMark(), mark + 1) << e;
    TempRelease(mark);
  }
}

TEST_F(EvalTest, DeepNestingFailsInsteadOfOverflowing) {
  const std::string nested = std::string(200, '(') + "1" + std::string(200, ')');
  EXPECT_EQ(Eval(nested + "+1"), "n:2");
  EXPECT_EQ(Eval(std::string(3000, '(') + "1" + std::string(3000, ')')), "e:145");
  EXPECT_EQ(Eval("2*" + std::string(100, '-') + "3"), "n:6");
  EXPECT_EQ(Eval("2*" + std::string(5000, '-') + "3"), "e:145");
  std::string calls = "1";
  for (int i = 0; i < 400; ++i)
    calls = "FN#SLEN(FN$CHRS(" + calls + "))";
  EXPECT_EQ(Eval(calls), "e:145");
  EXPECT_EQ(Eval("1+1"), "n:2");
}

StrDesc ExternalDouble(StrDesc name, int32_t first) {
  if (StrEq(name, "_FAIL")) return StrError(163);
  return StrFormat(20, "%d", first * 2);
}

TEST_F(EvalTest, ExternalFunctions) {
  Check({{"_EXT(4)", "n:"}});  // no hook: the value 0
  HookSetAs(kHookExternalFunction, ExternalDouble);
  Check({{"_EXT(4.4)", "n:8"}, {"_EXT#(2)", "n:4"}, {"_EXT$(3)", "s:6"}, {"_FAIL(1)", "e:163"}});
  HookTableReset();
}

TEST_F(EvalTest, ExpressionFiles) {
  const std::string dir = qtest::MakeTempDir("evalfile");
  ASSERT_TRUE(qtest::WriteFile(dir + "/SET.DAT", "A=1\r\nB$='x'\nC=A+1\r\n"));
  ASSERT_TRUE(qtest::WriteFile(dir + "/EMPTY.DAT", ""));
  ASSERT_EQ(DynSet(0, 5, Lit(dir)), 0);
  const TempMarkValue mark = TempMark();
  EXPECT_EQ(EvaluateFile(Lit("set.dat"), true), 0);
  EXPECT_EQ(TempMark(), mark + 1);
  EXPECT_EQ(NumFromBytes(TempTop()), 200);
  TempRelease(mark);
  Check({{"A", "n:1"}, {"B$", "s:x"}, {"C", "n:2"}});
  ErrDetailClear();
  EXPECT_EQ(EvaluateFile(Lit("MISSING.DAT"), true), 164);
  EXPECT_EQ(S(ErrDetailText()), "MISSING.DAT");
  EXPECT_EQ(EvaluateFile(Lit("MISSING.DAT"), false), 0);
  EXPECT_EQ(EvaluateFile(Lit("EMPTY.DAT"), true), 164);
  ASSERT_TRUE(qtest::WriteFile(dir + "/BAD.DAT", "A=1\nB=1+'x'\nC=9\n"));
  EXPECT_EQ(EvaluateFile(Lit("BAD.DAT"), true), 128);
  TempRelease(mark);
  Check({{"C", "n:2"}});
  qtest::RemoveTree(dir);
}

}  // namespace
