#include "language/builtins.h"

#include <gtest/gtest.h>

#include <string>

#include "core/dyn_strings.h"
#include "core/hook_table.h"
#include "core/status.h"
#include "core/temp_stack.h"
#include "eval_test_util.h"
#include "language/evaluator.h"
#include "language/variables.h"
#include "platform/clock.h"
#include "support/runtime_fixture.h"
#include "support/test_dirs.h"

using qtest::Eval;
using qtest::S;

namespace {

class BuiltinsTest : public EvalTest {
 protected:
  void SetUp() override {
    EvalTest::SetUp();
    ASSERT_TRUE(ClockSetFakeNow("20240517123045"));
  }
  void TearDown() override {
    HookTableReset();
    SetVarFieldHook(nullptr);
    ClockReset();
    EvalTest::TearDown();
  }
};

TEST_F(BuiltinsTest, Accumulators) {
  Check({{"_#('CLS')", "n:"}});
  EXPECT_EQ(LookupVariable(Lit("_#(")).index, kVarAbsent) << "CLS must not create the array";
  Check({{"_#(5)", "n:"}, {"_#(6)", "e:168"}});  // created by the first read: six elements
}

TEST_F(BuiltinsTest, AccumulatorsByName) {
  Run("_ACUMX$='TOTAL,IVA'");
  Check({
      {"_#(1)=7", "n:7"},
      {"_#(2)=8", "n:8"},
      {"_#('IVA')", "n:7"},
      {"_#('TOTAL';2)", "n:8"},
      {"_#('NONE')", "n:"},
      {"_#('DIM';1)", "n:7"},
      {"_#(0;1)", "n:7"},
      {"_#(256)", "n:"},
      {"_#('CLS';2;1)", "n:"},
      {"_#(1)", "n:"},
      {"_#(2)", "n:8"},
      {"_#('CLS')", "n:"},
      {"_#(2)", "n:"},
      {"_#(1;'x')", "e:128"},
      {"_#()", "e:147"},
      // Bounds beyond 16 bits are not cut down to small ones, and far-off
      // indexes stay out of the array instead of wrapping round.
      {"_#(1)=5", "n:5"},
      {"_#('CLS';0;65536)", "n:"},
      {"_#(1)", "n:5"},
      {"_#('CLS';65537;1)", "n:"},
      {"_#(1)", "n:"},
      {"_#(99999999999999999999;1)", "e:168"},
      {"_#(-99999999999999999999;-99999999999999999999)", "e:168"},
  });
}

TEST_F(BuiltinsTest, LengthsAndLists) {
  Check({
      {"FN#SLEN('abc')", "n:3"},
      {"FN#SLEN('')", "n:"},
      {"FN#SLEN(12)", "e:128"},
      {"FN#SLEN('a';'b')", "e:147"},
      {"FN#PARM('x,y,z')", "n:3"},
      {"FN#PARM('x,y,z';'y')", "n:2"},
      {"FN#PARM('x,y,z';'w')", "n:"},
      {"FN#PARM('1,2,3';2)", "n:2"},
      {"FN#PARM('0,1,2';0)", "n:1"},  // the number 0 is looked up as 0
      {"FN#PARM('x,0';0;'5,6')", "n:6"},
      {"FN#PARM('a,,b';'')", "n:2"},
      {"FN#PARM('x,y,z';'y';'10,20,30')", "n:20"},
      {"FN#PARM('1-5,6-9';7;0)", "n:2"},
      {"FN#PARM('1-5,6-9';12;0)", "n:"},
      {"FN#PARM(1)", "e:128"},
      {"FN$PARM('a,b,c';2)", "s:b"},
      {"FN$PARM('a;b';2;59)", "s:b"},
      {"FN$PARM('a,b')", "s:"},
      {"FN$PARM('a,b';3)", "s:"},
      {"FN$PARM(\"a,'b,c',d\";2)", "s:'b,c'"},
      {"FN$PARM()", "s:"},
  });
}

TEST_F(BuiltinsTest, NumbersAndDatesFromText) {
  Check({
      {"FN#VALN(' 12.5 ')", "n:12.5"},
      {"FN#VALN('007')", "n:7"},
      {"FN#VALN('-3.25x')", "n:-3.25"},
      {"FN#VALN('')", "n:"},
      {"FN#VALN('20240517';'D')", "n:17"},
      {"FN#VALN('20240517';'Y')", "n:2024"},
      {"FN#VALN('20240517';'M')", "n:5"},
      {"FN#VALN('20240517';'V')", "n:20240517"},
      {"FN#VALN('20240517';'D';'20240501')", "n:16"},
      {"FN#VALN('20240131';'M';1)", "n:20240229"},
      {"FN#VALN('20240517';'Day';-17)", "n:20240430"},
      {"FN#VALN('20240517';'V';20230101)", "n:"},
      {"FN#VALN('20240517';'X')", "e:147"},
      {"FN#VALN('20240517';'d')", "e:147"},                 // the kind letters are upper case
      {"FN#VALN('20240517';'Y';4294967297)", "n:-212724"},  // still a date, not 1 year
      {"FN#VALN(5)", "e:128"},
  });
  ASSERT_EQ(DynSet(0, 0, Lit(",.'0123456789,-D',' NS','  ,NO,SI'")), 0);
  LocaleRefresh();
  Check({{"FN#VALN('1234,5')", "n:1234.5"}});
}

TEST_F(BuiltinsTest, Loops) {
  Check({
      {"FN#ACUM(I;I;1;4)", "n:10"},
      {"I", "n:5"},
      {"FN#ACUM(J;J;1;0)", "n:"},
      {"FN#ACUM('1.5';J;1;2)", "n:3"},
      {"K=0;FN#ACUM(K=K+1;K<3)", "n:6"},
      {"K=0;FN#ACUM(K=K+1;K<1;K<4)", "n:10"},
      {"FN#ACUM(1;0)", "n:"},
      {"FN#ACUM(X)", "e:147"},
      {"FN#ACUM(1;X$;1;2)", "e:147"},
      {"FN#ACUM(1+'a';I;1;2)", "e:128"},
      {"FN#ACUM((I*2);(I);(1);(3))", "n:12"},
  });
  // The 16-bit counter stops at its last value instead of wrapping round.
  Check({{"FN#ACUM(1;M;32766;32767)", "n:2"}});
}

TEST_F(BuiltinsTest, Conditionals) {
  Check({
      {"CHK#(1;10;Z=5)", "n:10"},
      {"Z", "n:"},
      {"CHK#(0;Z=5;20)", "n:20"},
      {"Z", "n:"},
      {"CHK#(0;1)", "n:"},
      {"CHK#(0;1;2;3)", "n:3"},
      {"CHK$(0;'a')", "s:"},
      {"CHK$(1;)", "s:"},
      {"CHK$(2>1;'y';'n')", "s:y"},
      {"CHK#(0;1;'x')", "e:125"},
      {"CHK#('x';1)", "e:128"},
      {"CHK$(0;'a';FN$TRIM(' b'))", "s:b"},
  });
}

TEST_F(BuiltinsTest, TextFunctions) {
  Check({
      {"FN$CHNG('a b   c';'CLEAN')", "s:a b c"},
      {"FN$CHNG('abc';'b';'XY')", "s:aXYc"},
      {"FN$CHNG('hola';'FILTER';'aeiou')", "s:oa"},
      {"FN$CHNG('Abc';'UCASE')", "s:ABC"},
      {"FN$CHNG('AbC';'LCASE')", "s:abc"},
      {"FN$CHNG('aabbcc';'FILTER';'aabb';'XY')", "s:XYcc"},
      {"FN$CHNG(\"a'a'a\";'a';'x')", "s:x'a'x"},
      {"FN$CHNG(\"a'a'a\";'a';'x';1)", "s:x'x'x"},
      {"FN$CHNG('abc';'')", "s:abc"},
      {"FN$CHNG(1;'a')", "e:128"},
      {"FN$CHNG('a')", "e:147"},
      {"FN$CHRS('ab';3)", "s:ababab"},
      {"FN$CHRS(65;2)", "s:AA"},
      {"FN$CHRS('x')", "s:x"},
      {"FN$CHRS('x';0)", "s:"},
      {"FN$CHRS('ab';40000)", "e:146"},
      {"FN$CHRS(FN$CHRS('a';256);72057594037927936)", "e:146"},  // 2^64 bytes, not 0
      {"FN$CHRS('';70000)", "s:"},
      {"fn$mids('abcdef';-2)", "s:ef"},
      {"FN$MIDS('abcdef';2;3)", "s:bcd"},
      {"FN$MIDS('abcdef';0;2)", "s:ab"},
      {"FN$MIDS('abcdef';9)", "s:"},
      {"FN$MIDS('abcdef';4;-1)", "s:def"},
      {"FN$MIDS('abc')", "e:147"},
      {"FN$MIDS(5;1)", "e:128"},
      {"FN$MIDS('abc';'x')", "e:128"},
      {"FN$TRIM('  ab  ';'LEFTTRIM')", "s:ab  "},
      {"FN$TRIM('  ab  ';'RIGHTRIM')", "s:  ab"},
      {"FN$TRIM('  ab  ')", "s:ab"},
      {"FN$TRIM('ab';'FIT')", "s:AB"},
      {"FN$TRIM(' ab';'FIT')", "s:ab"},
      {"FN$TRIM(2.50)", "s:2.5"},
      {"FN$TRIM('x';'MIDDLE')", "e:147"},
      {"FN$TRIM('ab';'fit')", "e:147"},
      {"FN$TRIM()", "e:147"},
      {"ENVELOP$('ab')", "s:'ab'"},
      {"ENVELOP$('ab';40)", "s:(ab)"},
      {"ENVELOP$('ab';37)", "s:%ab%"},
      {"ENVELOP$(1)", "e:128"},
      {"EXP$('$1_+$2_*$3_';A;B*C)", "s:A+B*C"},
      {"EXP$('x$1_x';'q')", "s:x'q'x"},
      {"EXP$(1;A)", "e:128"},
  });
}

TEST_F(BuiltinsTest, Masks) {
  Check({
      {"FN$MASK('#,###.##';1234)", "s:1,234.00"},
      {"FN$MASK('#,###.##';-5;1)", "s:   -5.00"},
      {"FN$MASK('#,###.##';'.5';1)", "s:    0.50"},
      {"FN$MASK('##.##';'123.456';1)", "s:123.5"},
      {"FN$MASK('#####.##';'12.3')", "s:   12.30"},
      {"FN$MASK('(\\\\\\)';'abc')", "s:(abc)"},
      {"FN$MASK('\\\\-\\\\';'ABCD')", "s:AB-CD"},
      {"FN$MASK('ABC';'x')", "s:ABC"},
      {"FN$MASK('###';'abc')", "s:###"},
      {"FN$MASK(1;2)", "e:128"},
  });
  ASSERT_EQ(DynSet(0, 0, Lit(",.'0123456789,-D',' NS','  ,NO,SI'")), 0);
  LocaleRefresh();
  Check({{"FN$MASK('#,###.##';1234.5)", "s:1.234,50"},
         {"FN$MASK('#,###.##';1234.5;1)", "s:1,234.50"}});
}

TEST_F(BuiltinsTest, Dates) {
  Check({
      {"FN$DATE('20240315';2)", "s:15-03-2024"},
      {"FN$DATE(20240315;1)", "s:15-03-24"},
      {"FN$DATE('20240315';3)", "s:Mar 2024"},
      {"FN$DATE('20240315';4)", "s:15 de Marzo de 2024"},
      {"FN$DATE('15/03/2024')", "s:20240315"},
      {"FN$DATE('15-03-24';2)", "s:15-03-2024"},
      {"FN$DATE('20240230';1)", "s:        "},
      {"FN$DATE('20240230';2)", "s:          "},
      {"FN$DATE()", "s:20240517"},
      {"FN$DATE('';2)", "s:17-05-2024"},
      {"FN$DATE('20240315';9)", "s:"},
      {"FN$DATE('x';'y')", "e:128"},
      {"FN$DATE('/no/such/file';128)", "s:"},
  });
  ASSERT_EQ(DynSet(0, 4, Lit("EN")), 0);
  Check({{"FN$DATE('20240315';2)", "s:03-15-2024"}, {"FN$DATE('3/15/24';0)", "s:20240315"}});
}

// Typed dates: the order of the items follows the language, except that six
// digits are always day, month and year; two-digit years pivot on _BKYEAR.
TEST_F(BuiltinsTest, TypedDatesByLanguage) {
  struct Case {
    const char* language;
    const char* typed;
    const char* parsed;
  } cases[] = {
      {"ES", "010203", "20030201"}, {"EN", "010203", "20030201"}, {"ES", "1/2/80", "19800201"},
      {"EN", "1/2/80", "19800102"}, {"ES", "1.2.79", "20790201"}, {"EN", "13/2/80", ""},
      {"ES", "0/2/80", ""},
  };
  for (const Case& c : cases) {
    ASSERT_EQ(DynSet(0, 4, Lit(c.language)), 0);
    const TempMarkValue mark = TempMark();
    EXPECT_EQ(S(DateParse(Lit(c.typed))), c.parsed) << c.language << " " << c.typed;
    TempRelease(mark);
  }
  ASSERT_EQ(DynSet(0, 4, Lit("ES")), 0);
  // A typed text that is no date stays no date: it is not taken for today.
  Check({{"FN$DATE('1/2/80';0)", "s:19800201"},
         {"FN$DATE('31/2/80';0)", "s:"},
         {"FN$DATE('31/2/80';1)", "s:        "},
         {"FN$DATE('1/2';2)", "s:          "}});
}

TEST_F(BuiltinsTest, Times) {
  Check({
      {"TIME$('12:30:45';3)", "s:12:30:45"},
      {"TIME$('12:30:45';0)", "s:1230"},
      {"TIME$('12:30:45.5';7)", "s:12:30:45.500"},
      {"TIME$('1:30';3)", "s:00:01:30"},
      {"TIME$()", "s:1230"},
      {"TIME$('';3)", "s:12:30:45"},
      {"TIME$(5)", "e:128"},
      {"TIME$('/no/such/file';131)", "s:"},
  });
}

TEST_F(BuiltinsTest, FieldsVariablesAndElementsByName) {
  Run("X$='abc';N#=1.5;V#(3);V#(2)=4");
  Check({
      {"FN$FLDS(X$)", "s:abc"},
      {"FN$FLDS(N#)", "s:1.5"},
      {"FN$FLDS(V#(1+1))", "s:4"},
      {"FN$FLDS(UNDEF$)", "e:147"},
      {"FN$FLDS(NAME{CLIENTS})", "e:161"},
      {"FN$FLDS()", "e:147"},
  });
  SetVarFieldHook([](StrDesc name, int mode) -> StrDesc {
    if (StrEq(name, "_FLD")) return mode == 2 ? StrFormat(8, "old") : StrFormat(8, "new");
    return StrError(163);
  });
  Check({{"FN$FLDS(_FLD;2)", "s:old"}, {"FN$FLDS(_FLD)", "s:new"}, {"FN$FLDS(_OTHER)", "e:147"}});
}

TEST_F(BuiltinsTest, Sorting) {
  Check({
      {"SORT$('pear,apple,fig')", "s:apple,fig  ,pear "},
      {"SORT$('pear,apple,fig';128)", "s:apple,fig,pear"},
      {"SORT$('b,a,b';1)", "s:a,b"},
      {"SORT$('b,a,c';2)", "s:c,b,a"},
      {"SORT$('ADD';'short';'x')", "e:147"},
  });
  Run("H$=SORT$('NEW';5;5)");
  Check({{"H$=SORT$('MOVE';H$;'TOP');_IER", "n:2"}, {"SORT$('KILL';H$)", "s:"}});

  // A refused duplicate skips the assignment: H$ keeps a handle that still
  // describes the unchanged list and goes on working.
  Run("H$=SORT$('NEW';3;3;1)");
  Run("H$=SORT$('ADD';H$;'x')");
  Check({{"H$=SORT$('ADD';H$;'x')", "e:5"}, {"SORT$('GET';H$)", "s:x  "}});
  Run("H$=SORT$('ADD';H$;'y')");
  Check({{"H$=SORT$('MOVE';H$;'BOTTOM');SORT$('GET';H$)", "s:y  "},
         {"H$=SORT$('MOVE';H$;'NEXT');_IER", "n:2"},
         {"SORT$('GET';H$)", "s:y  "}});
}

// The runner of hook slot 1 used by the EXEC$ tests: records its arguments
// and leaves a result in group 30.
std::string g_runner_call;
Status FakeRunner(StrDesc entry, StrDesc file, int flags) {
  g_runner_call = S(entry) + "|" + S(file) + "|" + std::to_string(flags);
  if (StrEq(entry, "FAIL")) return 132;
  if (StrEq(entry, "SILENT")) return 0;
  return DynPush(30, Lit("result"));
}

TEST_F(BuiltinsTest, ExecProceduresAndExpressionFiles) {
  ErrDetailClear();
  Check({{"EXEC$('ENTRY')", "e:148"}});
  EXPECT_EQ(S(ErrDetailText()), "EXEC$()\r\nEXEC$\r\nEXEC$('ENTRY')");

  HookSetAs(kHookProcedureRunner, FakeRunner);
  Check({{"EXEC$('E';'F.PRC')", "s:result"}});
  EXPECT_EQ(g_runner_call, "E|F.PRC|2");
  EXPECT_EQ(DynCount(30), 0);
  Check({{"EXEC$('FAIL')", "e:132"}, {"EXEC$('SILENT')", "s:"}});

  const std::string dir = qtest::MakeTempDir("exec");
  ASSERT_TRUE(qtest::WriteFile(dir + "/calc.txt", "A=2\r\nA*3\r\n"));
  ASSERT_EQ(DynSet(0, 5, Lit(dir)), 0);
  Check({{"EXEC$('calc.txt')", "s:6"}, {"A", "n:2"}, {"EXEC$('nofile.txt')", "e:164"}});
  qtest::RemoveTree(dir);
}

TEST_F(BuiltinsTest, FilesAndStreams) {
  const std::string dir = qtest::MakeTempDir("files");
  const std::string f = dir + "/f.txt";
  Check({
      {"WRITE('" + f + "';-3;'hello')", "n:"},
      {"READ$('" + f + "')", "s:hello"},
      {"READ$('" + f + "';1;3)", "s:ell"},
      {"WRITE('" + f + "';65535;'!')", "n:"},
      {"READ$('" + f + "')", "s:hello!"},
      {"FN#FLEN('" + f + "')", "n:6"},
      {"READ$('" + dir + "/none.txt')", "s:"},
      {"FN#FLEN('" + dir + "/none.txt')", "n:"},
      {"S=FILESEL('" + dir + "/g.txt';2)", "n:3"},
      {"WRITE(S;0;'abc')", "n:3"},
      {"READ$(S;0;2)", "s:ab"},
      {"READ$(S;65535;0)", "s:"},
      {"READ$(S;65535;1)", "s:c"},
      {"READ$(S;65535;0)", "s:\x1A"},
      {"FILESEL(S)", "n:"},
      {"READ$(S;0;2)", "s:"},
      {"WRITE(1;0)", "e:147"},
      {"WRITE('x';'y';'z')", "e:128"},
  });
  EXPECT_EQ(qtest::ReadFile(dir + "/g.txt"), "abc");

  // Saving variables: the named ones first, then the file's other entries.
  ASSERT_TRUE(qtest::WriteFile(dir + "/vars.dat", "OLD=1;V1=9"));
  Run("V1=5;V2$='ab'");
  Check({{"WRITE('" + dir + "/vars.dat';-2;'V1,V2$,V3=V1*2')", "n:"}, {"V3", "n:10"}});
  EXPECT_EQ(qtest::ReadFile(dir + "/vars.dat"), "V1=5;V2$='ab';V3=10;OLD=1");
  qtest::RemoveTree(dir);
}

TEST_F(BuiltinsTest, Macros) {
  Run("A#=12");
  Check({
      {"MACRO$('Total:[A#*2]')", "s:Total:24"},
      {"MACRO$('[1+1]*3';8)", "s:6"},
      {"MACRO$('[NAME]';4;'NAME=Ana')", "s:Ana"},
      {"MACRO$('[1+]')", "e:147"},
      {"MACRO$(1)", "e:128"},
  });
}

TEST_F(BuiltinsTest, EnvironmentAndStore) {
  ASSERT_EQ(DynSet(0, 1, Lit("prog /APNAME=qo0001 /DPATH='c:\\x'")), 0);
  ASSERT_EQ(DynSet(0, 2, Lit("QO0001")), 0);
  Check({
      {"ENVRON$('APNAME')", "s:QO0001"},
      {"ENVRON$('DPATH')", "s:c:\\x"},
      {"ENVRON$('NONE')", "s:"},
      {"ENVRON$('';2)", "s:QO0001"},
      {"ENVRON$(1)", "e:128"},
      {"_$(9;1;'hello')", "s:hello"},
      {"_$(9;1)", "s:hello"},
      {"_$(30;0;'a')", "s:a"},
      {"_$(30;0;'b')", "s:b"},
      {"_$(30;-1)", "s:"},
      {"_$(30;0)", "s:a"},
      {"_$(30;-5)", "s:"},
      {"_$()", "s:"},
      {"_$(9;-1)", "e:147"},
      {"_$(40;0)", "e:147"},
      {"_$(9;1;2)", "e:128"},
  });
  EXPECT_EQ(DynCount(30), 0);
  // The newest call argument, seen from inside a call: the call's own
  // arguments are taken off the stack before it acts.
  ASSERT_EQ(DynPush(kArgumentGroup, Lit("arg")), 0);
  Check({{"_$(.fnparm;0)", "s:arg"}, {"FN$TRIM(_$(.fnparm;0))", "s:arg"}});
  EXPECT_EQ(DynCount(kArgumentGroup), 1);
}

Status FakeRelation(uint16_t file, uint16_t relation, uint16_t mode, uint16_t flags, StrDesc text) {
  g_runner_call = std::to_string(file) + "|" + std::to_string(relation) + "|" +
                  std::to_string(mode) + "|" + std::to_string(flags) + "|" + S(text);
  return 2;
}

TEST_F(BuiltinsTest, DataFileFunctionsWithoutDataFiles) {
  // No dictionary: every file number is out of range.
  Check({
      {"FILEFIND('x')", "e:168"},
      {"FILELOCATE('NEXT')", "e:168"},
      {"IER()", "e:168"},
      {"FILEREL(1;2;3)", "e:168"},
      {"FILEREL(1;2)", "e:147"},
      {"FN#FLEN(1)", "e:168"},
      {"FILESEL('RESTORE')", "e:169"},
      {"KEY$()", "s:"},
  });
  HookSetAs(kHookRelation, FakeRelation);
  SetBits(kSysUpStat, 4, true);
  Check({{"FILEREL(1;2;3;4;X+1,Y)", "n:2"}});
  EXPECT_EQ(g_runner_call, "0|2|3|5|X+1,Y");
  // Without the _UPSTAT bit the relational browse is asked instead.
  SetBits(kSysUpStat, 4, false);
  Check({{"FILEREL(1;2;3;4)", "e:168"}});
}

TEST_F(BuiltinsTest, NestingFrames) {
  Run("_CURROW=5");
  Check({{"SQLCHILD(X=_CURROW;Y=_SQLSTK)", "n:"}, {"X", "n:"}, {"Y", "n:1"}, {"_CURROW", "n:5"}});
  Check({{"SQLCHILD(SQLCHILD(SQLCHILD(SQLCHILD(SQLCHILD(SQLCHILD(SQLCHILD(1)))))))", "n:"},
         {"SQLCHILD(SQLCHILD(SQLCHILD(SQLCHILD(SQLCHILD(SQLCHILD(SQLCHILD(SQLCHILD(1))))))))",
          "e:159"},
         {"_SQLSTK", "n:"}});
}

TEST_F(BuiltinsTest, ArgumentErrorsAndTheStack) {
  const uint16_t before = DynCount(kArgumentGroup);
  Check({
      {"FN$MIDS('abc';'x')", "e:128"},
      {"FN#SLEN()", "e:147"},
      {"FN$TRIM(1+'a')", "e:128"},
      {"FN$PARM('a,b,c';FN#SLEN('xy'))", "s:b"},
  });
  EXPECT_EQ(DynCount(kArgumentGroup), before);
  // At most 16 arguments are evaluated.
  Check({{"FN$PARM('a';1;44;4;5;6;7;8;9;10;11;12;13;14;15;16;Z=1)", "s:a"}, {"Z", "n:"}});

  uint16_t count = 0;
  uint16_t strings = 0;
  EXPECT_EQ(PushArguments(Lit("1+1; 'a' ,;X=3"), &count, &strings), 147);
  EXPECT_EQ(PushArguments(Lit("1+1;'a',;X=3"), &count, &strings), 0);
  EXPECT_EQ(count, 4);
  EXPECT_EQ(strings, 2);
  EXPECT_EQ(S(DynGet(kArgumentGroup, before + 2)), "\x1B");
  EXPECT_EQ(S(ArgumentValue(DynGet(kArgumentGroup, before + 2))), "");
  EXPECT_EQ(S(DynGet(kArgumentGroup, before + 1)), "a");
  DynTruncate(kArgumentGroup, before);
}

}  // namespace
