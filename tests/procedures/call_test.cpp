// CALL with arguments and LOCALVARS: parameters taken last first, the
// ArgumentStack balance, local and non-local calls, calls inside the same
// file, the types of parameters.
#include <gtest/gtest.h>

#include <string>

#include "core/dyn_strings.h"
#include "core/status.h"
#include "language/variables.h"
#include "procedures/procedure.h"
#include "procedures/procedure_fixture.h"

namespace {

class CallTest : public ProcedureTest {
 protected:
  void SetUp() override {
    ProcedureTest::SetUp();
    // Each entry copies its parameters into variables that exist before the
    // call, so that they can be read after a local call.
    Write("SUB.PRC",
          "DEF_FN TWO\nLOCALVARS A,B\nRA=A\nRB=B\nEND\n"
          "DEF_FN THREE\nLOCALVARS A,B,C\nRA=A\nRB=B\nRC=C\nEND\n"
          "DEF_FN TYPED\nLOCALVARS S$,N,M#\nRS$=S$\nRN=N\nRM#=M#\nEND\n"
          "DEF_FN KEEP\nLOCALVARS Q\nEND\n"
          "DEF_FN NONE\nRA=-1\nEND\n"
          "DEF_FN ARRAY\nLOCALVARS V(\nEND\n");
    ASSERT_EQ(Eval("RA=0;RB=0;RC=0;RN=0;RM#=0;RS$=''"), "");
  }
  bool Exists(const std::string& name) { return LookupVariable(Lit(name)).index != kVarAbsent; }
};

TEST_F(CallTest, ParametersAreTakenLastFirst) {
  EXPECT_EQ(RunText("CALL TWO,SUB.PRC (1;2)"), 0) << Detail();
  EXPECT_EQ(Eval("RA"), "1");
  EXPECT_EQ(Eval("RB"), "2");
  EXPECT_FALSE(Exists("A")) << "a call is local unless its third item is 0";
  EXPECT_EQ(DynCount(35), 0);
  EXPECT_EQ(ProcedureCount(), 0) << "the file loaded by CALL is released";
  // Expressions, and a name before the group, which is ignored.
  EXPECT_EQ(RunText("X=4\nCALL TWO,SUB.PRC ARGS(X*2,X-1)"), 0) << Detail();
  EXPECT_EQ(Eval("RA"), "8");
  EXPECT_EQ(Eval("RB"), "3");
}

TEST_F(CallTest, ArgumentStackMustBalance) {
  ErrDetailClear();
  EXPECT_EQ(RunText("CALL TWO,SUB.PRC (1;2;3)\nX=1"), 147);
  EXPECT_NE(Detail().find("LOCALVARS"), std::string::npos) << Detail();
  EXPECT_EQ(DynCount(35), 0) << "the parameter left over is taken off";
  EXPECT_EQ(RunText("CALL NONE,SUB.PRC (5)"), 147) << "an entry that takes no parameter";
  EXPECT_EQ(DynCount(35), 0);
  // Fewer arguments than parameters: the first ones get the empty value.
  EXPECT_EQ(RunText("CALL THREE,SUB.PRC (1;2)"), 0) << Detail();
  EXPECT_EQ(Eval("RA"), "");
  EXPECT_EQ(Eval("RB"), "1");
  EXPECT_EQ(Eval("RC"), "2");
  EXPECT_EQ(RunText("CALL NONE,SUB.PRC"), 0) << "no group, no arguments";
  EXPECT_EQ(Eval("RA"), "-1");
}

TEST_F(CallTest, LocalAndNotLocal) {
  EXPECT_EQ(RunText("CALL KEEP,SUB.PRC,0 (5)"), 0) << Detail();
  EXPECT_TRUE(Exists("Q")) << "third item 0: the called procedure's variables stay";
  EXPECT_EQ(Eval("Q"), "5");
  EXPECT_EQ(RunText("CALL KEEP,SUB.PRC,1-1 (6)"), 0) << "the third item is an expression";
  EXPECT_EQ(Eval("Q"), "6");
  EXPECT_EQ(RunText("CALL TWO,SUB.PRC,1 (1;2)"), 0);
  EXPECT_FALSE(Exists("A"));
}

TEST_F(CallTest, ParameterTypes) {
  EXPECT_EQ(RunText("CALL TYPED,SUB.PRC ('ab';7;1.25)"), 0) << Detail();
  EXPECT_EQ(Eval("RS$"), "ab");
  EXPECT_EQ(Eval("RN"), "7");
  EXPECT_EQ(Eval("RM#"), "1.25");
  // A value of the other type is converted for its parameter.
  EXPECT_EQ(RunText("CALL TYPED,SUB.PRC (12.5;'8';'2.5')"), 0) << Detail();
  EXPECT_EQ(Eval("RS$"), "12.5");
  EXPECT_EQ(Eval("RN"), "8");
  EXPECT_EQ(Eval("RM#"), "2.5");
  // An array name is no parameter.
  EXPECT_EQ(RunText("CALL ARRAY,SUB.PRC (1)"), 128);
}

TEST_F(CallTest, CallsInsideTheSameFile) {
  EXPECT_EQ(RunText("N=0\nCALL ADD (3)\nCALL ADD (4)\nEND\nDEF_FN ADD\nLOCALVARS K\nN=N+K"), 0)
      << Detail();
  EXPECT_EQ(Eval("N"), "7");
  EXPECT_FALSE(Exists("K"));
  ErrDetailClear();
  EXPECT_EQ(RunText("CALL NOWHERE (1)"), 147);
  EXPECT_NE(Detail().find("NOWHERE"), std::string::npos) << Detail();
  EXPECT_EQ(DynCount(35), 0);
  EXPECT_EQ(RunText("CALL TWO,NOFILE.PRC (1;2)"), 164);
  EXPECT_EQ(DynCount(35), 0);
}

TEST_F(CallTest, ParametersAreOnlyThoseOfTheCall) {
  // A run reached by EXEC$ inside another built-in's arguments: what that
  // built-in has evaluated so far waits on the ArgumentStack, and belongs to
  // it, not to the run.
  Write("X.PRC",
        "DEF_FN TAKE\nLOCALVARS P,Q$\nRP=P\nRS$=Q$\nEND\n"
        "DEF_FN OUTER\nCALL THREE,SUB.PRC (1;2)\nEND");
  ASSERT_EQ(LoadProcedure(Lit("X.PRC")), 0);
  struct Case {
    const char* expression;
    const char* value;
    const char* check;  // an expression, and its value after
    const char* checked;
  } cases[] = {
      {"FN$CHNG('abc';'b';EXEC$('TAKE'))", "ac", "RS$", ""},
      {"FN$PARM('x,y,z';FN#VALN(EXEC$('TAKE'))+2)", "y", "RP", ""},
      // A CALL inside such a run: the parameters it does not pass are empty,
      // as with nothing below them.
      {"FN$CHNG('abc';'b';EXEC$('OUTER'))", "ac", "FN$TRIM(RA)+FN$TRIM(RB)+FN$TRIM(RC)", "12"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.expression);
    ASSERT_EQ(Eval("RA=9;RP=9;RS$='old'"), "old");
    ErrDetailClear();
    EXPECT_EQ(Eval(c.expression), c.value) << Detail();
    EXPECT_EQ(Eval(c.check), c.checked);
    EXPECT_EQ(DynCount(35), 0);
  }
  EXPECT_EQ(ReleaseProcedure(0), 0);
}

TEST_F(CallTest, ArgumentErrorStopsTheCall) {
  EXPECT_EQ(RunText("CALL TWO,SUB.PRC (1;'a'-1)\nX=1"), 128);
  EXPECT_EQ(Eval("X"), "");
  EXPECT_EQ(DynCount(35), 0);
  EXPECT_EQ(ProcedureCount(), 0);
}

}  // namespace
