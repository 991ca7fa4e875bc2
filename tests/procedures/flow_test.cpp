// Running procedures: every flow keyword, nesting, GOSUB depth, errors and
// their line messages, entry points, local runs, results on group 30 and
// EXEC$, nested runs.
#include <gtest/gtest.h>

#include <string>

#include "core/dyn_strings.h"
#include "core/hook_table.h"
#include "core/status.h"
#include "language/variables.h"
#include "procedures/procedure.h"
#include "procedures/procedure_fixture.h"

using qtest::S;

namespace {

class FlowTest : public ProcedureTest {
 protected:
  bool Exists(const std::string& name) { return LookupVariable(Lit(name)).index != kVarAbsent; }
  std::string Results() {
    std::string out;
    for (uint16_t i = 0; i < DynCount(30); ++i)
      out += (i ? "|" : "") + S(DynGet(30, i));
    return out;
  }
};

TEST_F(FlowTest, FlowKeywords) {
  struct Case {
    const char* name;
    const char* text;
    const char* check;  // an expression
    const char* value;  // its text after the run
  } cases[] = {
      {"if true", "A=1\nB=0\nIF A==1\nB=1\nELSE\nB=2\nENDIF", "B", "1"},
      {"if false", "A=0\nB=0\nIF A==1\nB=1\nELSE\nB=2\nENDIF", "B", "2"},
      {"if_true", "B=0\nIF_TRUE 2>1\nB=5\nENDIF", "B", "5"},
      // IF_FALSE runs its block when the condition is false.
      {"if_false taken", "B=0\nIF_FALSE 1>2\nB=5\nENDIF", "B", "5"},
      {"if_false skipped", "B=0\nIF_FALSE 2>1\nB=5\nENDIF", "B", ""},
      {"do_while", "I=0\nDO_WHILE I<3\nI=I+1\nLOOP", "I", "3"},
      {"do_while never", "I=7\nDO_WHILE I<3\nI=I+1\nLOOP", "I", "7"},
      {"do_until", "I=0\nDO_UNTIL I>=4\nI=I+1\nLOOP", "I", "4"},
      {"loop_while", "I=0\nDO\nI=I+1\nLOOP_WHILE I<5", "I", "5"},
      {"loop_until", "I=0\nDO\nI=I+2\nLOOP_UNTIL I>=6", "I", "6"},
      {"nested loops", "N=0\nI=0\nDO_WHILE I<3\nJ=0\nDO_WHILE J<2\nN=N+1\nJ=J+1\nLOOP\nI=I+1\nLOOP",
       "N", "6"},
      {"goto out of a loop", "I=0\nDO\nI=I+1\nIF I==5\nGOTO OUT\nENDIF\nLOOP\n:OUT\nI=I*10", "I",
       "50"},
      {"goto backwards", "I=0\n:AGAIN\nI=I+1\nIF I<5\nGOTO AGAIN\nENDIF", "I", "5"},
      {"gosub twice", "N=0\nGOSUB ADD\nGOSUB ADD\nEND\n:ADD\nN=N+10\nRETURN", "N", "20"},
      {"nested gosub",
       "S$=''\nGOSUB A\nS$=S$+'3'\nEND\n:A\nS$=S$+'1'\nGOSUB B\nRETURN\n:B\nS$=S$+'2'\nRETURN",
       "S$", "123"},
      {"return ends", "X=1\nRETURN\nX=2", "X", "1"},
      {"end ends", "X=1\nEND\nX=2", "X", "1"},
      {"open if runs to the end", "X=0\nIF 0\nX=1", "X", ""},
      {"open else", "X=0\nIF 1\nX=1\nELSE\nX=2", "X", "1"},
      {"brackets in expression lines", "N=3\nX=[N]+1", "X", "4"},
      {"several expressions", "A=1;B=A+1,C=B+1", "C", "3"},
      {"remarks and labels", "; set X\nX=1\n# more\n:L\n/ and\nX=X+1", "X", "2"},
      {"lower-case keywords", "X=0\nif 1\nX=9\nendif", "X", "9"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_EQ(RunText(c.text), 0) << Detail();
    EXPECT_EQ(Eval(c.check), c.value);
    EXPECT_EQ(ProcedureCount(), 0) << "the file is released after its run";
  }
}

TEST_F(FlowTest, ErrorsStopAtTheirLine) {
  struct Case {
    const char* name;
    const char* text;
    Status status;
    const char* detail;
  } cases[] = {
      {"expression", "X=1\nY$='a'+1\nX=2", 128, "Line: 2 (+ remmarks):\r\n Y$='a'+1"},
      {"condition", "X=1\n; remark\n:L\nIF 1+\nX=2\nENDIF", 147, "Line: 2 (+ remmarks):\r\n 1+"},
      {"loop condition", "X=1\nDO_WHILE 'a'-'b'\nX=2\nLOOP", 147,
       "Line: 2 (+ remmarks):\r\n 'a'-'b'"},
      {"bracket piece", "X=1\nY=[1+]\nX=2", 147, "Line: 2 (+ remmarks):\r\n Y=[1+]"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ErrDetailClear();
    EXPECT_EQ(RunText(c.text), c.status);
    EXPECT_EQ(Eval("X"), "1") << "lines before the error ran, the rest did not";
    EXPECT_NE(Detail().find(c.detail), std::string::npos) << Detail();
    EXPECT_EQ(ErrWord() & 0xFFFF, c.status);
    EXPECT_EQ(ProcedureCount(), 0);
  }
}

TEST_F(FlowTest, GosubDepth) {
  // Each round nests one more GOSUB; the return stack holds 64.
  const char* text = "N=0\nGOSUB R\nEND\n:R\nN=N+1\nIF N<LIMIT\nGOSUB R\nENDIF\nRETURN";
  ASSERT_EQ(Eval("LIMIT=64"), "64");
  EXPECT_EQ(RunText(text), 0) << Detail();
  EXPECT_EQ(Eval("N"), "64");
  ASSERT_EQ(Eval("LIMIT=65"), "65");
  ErrDetailClear();
  EXPECT_EQ(RunText(text), 133);
  EXPECT_EQ(Eval("N"), "64");
  EXPECT_NE(Detail().find(Msg("0098")), std::string::npos) << Detail();
  EXPECT_NE(Detail().find("Line: 6 (+ remmarks):\r\n R"), std::string::npos) << Detail();
  EXPECT_EQ(ProcedureCount(), 0);
}

TEST_F(FlowTest, EachRunReturnsOnlyFromItsOwnGosubs) {
  // A procedure that stays loaded (as for a report): entry A ends inside its
  // subroutine, entry B returns with nothing of its own to return to.
  Write("R.PRC",
        "DEF_FN A\nGOSUB S\nX=2\nEND\n:S\nX=1\nEND\n"
        "DEF_FN B\nY=1\nRETURN\nY=2\n"
        "DEF_FN MAIN\nT$='m'\nGOSUB SUB\nT$=T$+'r'\nEND\n"
        ":SUB\nT$=T$+'s'\nI$=EXEC$('INNER')\nT$=T$+'e'\nRETURN\n"
        "DEF_FN INNER\nT$=T$+'i'\nRETURN\nT$=T$+'x'");
  ASSERT_EQ(LoadProcedure(Lit("R.PRC")), 0);
  for (int i = 0; i < kPrcReturnStack + 2; ++i)
    ASSERT_EQ(Run("A", ""), 0) << "run " << i + 1 << ": " << Detail();
  EXPECT_EQ(Eval("X"), "1");
  EXPECT_EQ(Run("B", ""), 0) << Detail();
  EXPECT_EQ(Eval("Y"), "1") << "RETURN ended B";
  EXPECT_EQ(Eval("X"), "1") << "B did not go on in A's lines";
  // An inner run of the same procedure leaves the outer run's return alone.
  EXPECT_EQ(Run("MAIN", ""), 0) << Detail();
  EXPECT_EQ(Eval("T$"), "msier");
  EXPECT_EQ(ProcedureAt(0)->return_depth, 0);
  EXPECT_EQ(ReleaseProcedure(0), 0);
}

TEST_F(FlowTest, NestedRunsAreLimited) {
  // A CALL of its own entry without end: the 64th nested run is refused.
  Write("SELF.PRC", "D=0\nCALL R\nEND\nDEF_FN R\nD=D+1\nCALL R");
  ErrDetailClear();
  EXPECT_EQ(Run("", "SELF.PRC"), 133);
  EXPECT_EQ(Eval("D"), "63") << "the outer run and 63 CALLs ran before the refusal";
  EXPECT_NE(Detail().find(Msg("0098")), std::string::npos) << Detail();
  EXPECT_EQ(DynCount(35), 0);
  EXPECT_EQ(ProcedureCount(), 0);
}

TEST_F(FlowTest, EntryPoints) {
  Write("E.PRC", "X=0\nEND\nDEF_FN ONE\nX=1\nEND\nDEF_FN TWO\nX=2\nDEF_FN THREE\nX=X*10");
  EXPECT_EQ(Run("ONE", "E.PRC"), 0);
  EXPECT_EQ(Eval("X"), "1");
  EXPECT_EQ(Run("TWO", "E.PRC"), 0) << "an entry point runs on past the next one";
  EXPECT_EQ(Eval("X"), "20");
  EXPECT_EQ(Run("", "E.PRC"), 0);
  EXPECT_EQ(Eval("X"), "");

  ErrDetailClear();
  EXPECT_EQ(Run("NONE", "E.PRC"), 147);
  EXPECT_EQ(Detail(), "NONE");
  EXPECT_EQ(ProcedureCount(), 0) << "the file loaded for the run is released";
  EXPECT_EQ(Run("", ""), 147) << "neither entry nor file";
  EXPECT_EQ(Run("ONE", ""), 147) << "no loaded procedure holds the entry";
  EXPECT_EQ(Run("", "NOFILE.PRC"), 164);
}

TEST_F(FlowTest, EntriesOfProceduresLoadedByOthers) {
  // As a report does: its procedure file stays loaded, and runs find its
  // entry points without naming the file.
  Write("REP.PRC", "DEF_FN TOTAL\nT=T+1\nEND\nDEF_FN OTHER\nT=100");
  Write("B.PRC", "DEF_FN OWN\nT=-1");
  ASSERT_EQ(LoadProcedure(Lit("REP.PRC")), 0);
  EXPECT_EQ(Run("TOTAL", ""), 0);
  EXPECT_EQ(Run("TOTAL", ""), 0);
  EXPECT_EQ(Eval("T"), "2");
  // A file that does not hold the entry: the loaded procedure that holds it
  // runs, and the file loaded for the run is the one released.
  EXPECT_EQ(Run("TOTAL", "B.PRC"), 0);
  EXPECT_EQ(Eval("T"), "3");
  ASSERT_EQ(ProcedureCount(), 1);
  EXPECT_EQ(S(ProcedureName(*ProcedureAt(0))), "REP.PRC");
  EXPECT_EQ(Run("", ""), 147) << "a run names an entry or a file";
  EXPECT_EQ(ReleaseProcedure(0), 0);
}

TEST_F(FlowTest, LocalRuns) {
  ASSERT_EQ(Eval("OLD=1"), "1");
  EXPECT_EQ(RunText("NEW1=5\nOLD=7\nNEW$='x'", kPrcLocal), 0);
  EXPECT_FALSE(Exists("NEW1")) << "variables created by a local run disappear";
  EXPECT_FALSE(Exists("NEW$"));
  EXPECT_EQ(Eval("OLD"), "7") << "older variables keep the values assigned";
  // Also when the run fails.
  EXPECT_EQ(RunText("NEW2=5\nOLD=8\nX=1/'a'", kPrcLocal), 128);
  EXPECT_FALSE(Exists("NEW2"));
  EXPECT_EQ(Eval("OLD"), "8");
  // Not local: they stay.
  EXPECT_EQ(RunText("NEW3=5"), 0);
  EXPECT_TRUE(Exists("NEW3"));
}

TEST_F(FlowTest, ResultsOnGroup30) {
  struct Case {
    const char* name;
    const char* text;
    const char* result;
  } cases[] = {
      {"number as text", "X=2*3.5\nEND", "7"},
      {"string", "S$='ab'+'cd'\nEND", "abcd"},
      {"last value", "1\n'x'\n2.25", "2.25"},
      {"the value before the end", "X=1\nIF 1\nY=4\nENDIF\nEND", "4"},
      {"none", "IF 0\nENDIF", ""},
      {"return ends", "X=9\nRETURN", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DynTruncate(30, 0);
    ASSERT_EQ(DynPush(30, Lit("older item")), 0);
    EXPECT_EQ(RunText(c.text, kPrcKeepResult), 0) << Detail();
    EXPECT_EQ(Results(), std::string("older item|") + c.result) << "exactly one result";
  }
  // A failed run leaves no result behind.
  DynTruncate(30, 0);
  Write("F.PRC", "X=1\nEND\nDEF_FN BAD\nX=2\nY=1/'a'");
  EXPECT_EQ(Run("BAD", "F.PRC", kPrcKeepResult), 128);
  EXPECT_EQ(DynCount(30), 0);
  // Without the flag no result is kept.
  EXPECT_EQ(RunText("X=1\nEND"), 0);
  EXPECT_EQ(DynCount(30), 0);
}

TEST_F(FlowTest, ExecReachesTheRunner) {
  Write("E.PRC",
        "DEF_FN DOUBLE\nR=N*2\nEND\nDEF_FN NAME\n'Ana'+' '+'Sol'\nEND\nDEF_FN BAD\nY=1/'a'");
  // Before any procedure has been prepared there is no runner.
  ErrDetailClear();
  EXPECT_EQ(Eval("EXEC$('DOUBLE';'E.PRC')"), "<error 148>");
  EXPECT_NE(Detail().find("EXEC$()"), std::string::npos) << Detail();

  // A report loads its procedure file: from then on EXEC$ reaches the runner.
  ASSERT_EQ(LoadProcedure(Lit("E.PRC")), 0);
  ASSERT_EQ(Eval("N=21"), "21");
  EXPECT_EQ(Eval("EXEC$('DOUBLE')"), "42");
  EXPECT_EQ(Eval("EXEC$('NAME')+'!'"), "Ana Sol!");
  EXPECT_EQ(Eval("FN#VALN(EXEC$('DOUBLE'))+1"), "43");
  // The runner loads further files itself, and releases them.
  Write("G.PRC", "DEF_FN G\nR$='from G'\nEND");
  EXPECT_EQ(Eval("EXEC$('G';'G.PRC')"), "from G");
  EXPECT_EQ(ProcedureCount(), 1);
  EXPECT_EQ(Eval("EXEC$('BAD')"), "<error 128>");
  EXPECT_EQ(Eval("EXEC$('MISSING')"), "<error 147>");
  EXPECT_EQ(DynCount(30), 0) << "EXEC$ takes the results it asked for";
  EXPECT_EQ(DynCount(35), 0);
  // EXEC$ runs are not local: variables made by the procedure stay.
  EXPECT_EQ(Eval("R"), "42");
}

TEST_F(FlowTest, ProcedureCallsProcedure) {
  Write("MAIN.PRC", "A=EXEC$('PART';'PART.PRC')\nB=2");
  Write("PART.PRC", "DEF_FN PART\nIF 1\nV=3\nENDIF\nEND");
  EXPECT_EQ(Run("", "MAIN.PRC"), 128) << "EXEC$ gives a string and A is an integer";
  Write("MAIN.PRC", "A$=EXEC$('PART';'PART.PRC')\nB=2");
  EXPECT_EQ(Run("", "MAIN.PRC"), 0) << Detail();
  EXPECT_EQ(Eval("A$"), "3");
  EXPECT_EQ(Eval("B"), "2") << "the outer run went on at its own position";
  EXPECT_EQ(ProcedureCount(), 0);
}

TEST_F(FlowTest, SameProcedureNestedKeepsItsPosition) {
  // EXEC$ of an entry of the procedure that is running.
  Write("S.PRC",
        "DEF_FN MAIN\nT$=''\nT$=T$+'a'\nX$=EXEC$('INNER')\nT$=T$+'c'\nEND\n"
        "DEF_FN INNER\nT$=T$+'b'\nEND");
  ASSERT_EQ(LoadProcedure(Lit("S.PRC")), 0);
  EXPECT_EQ(Run("MAIN", ""), 0) << Detail();
  EXPECT_EQ(Eval("T$"), "abc");
  EXPECT_EQ(ReleaseProcedure(0), 0);
}

}  // namespace
