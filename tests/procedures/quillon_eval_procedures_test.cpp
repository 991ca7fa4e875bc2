// quillon-eval --procedures=FILE: the procedure file is loaded before the
// first expression, so EXEC$ reaches its entry points.
#include <gtest/gtest.h>

#include <string>

#include "support/run_program.h"
#include "support/test_dirs.h"

namespace {

const char kProgram[] = QUILLON_BINARY_DIR "/tools/quillon-eval/quillon-eval";

using RunResult = qtest::ProgramRun;

RunResult RunCommand(const std::string& command) { return qtest::RunShell(command); }

class QuillonEvalProcedures : public ::testing::Test {
 protected:
  void SetUp() override {
    if (qtest::ReadFile(kProgram).empty())
      GTEST_SKIP() << "quillon-eval is not built: " << kProgram;
    dir_ = qtest::MakeTempDir("qevalprc");
    ASSERT_TRUE(
        qtest::WriteFile(dir_ + "/CALC.PRC",
                         "DEF_FN DOUBLE\r\nR=N*2\r\nEND\r\n"
                         "DEF_FN GREET\r\n'hola '+W$\r\nEND\r\n"
                         "DEF_FN LOOP\r\nI=0\r\nDO_WHILE I<10\r\nI=I+1\r\nLOOP\r\nEND\r\n"));
  }
  void TearDown() override { qtest::RemoveTree(dir_); }
  std::string dir_;
};

TEST_F(QuillonEvalProcedures, ExecReachesTheLoadedProcedures) {
  const RunResult r = RunCommand("cd " + dir_ + " && " + kProgram +
                                 " --procedures=CALC.PRC 'N=21' 'EXEC$(\"DOUBLE\")' 'R'"
                                 " 'W$=\"mundo\"' 'EXEC$(\"GREET\")' 'EXEC$(\"LOOP\")'");
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(r.out,
            "number 21\n"
            "string 42\n"
            "number 42\n"
            "string mundo\n"
            "string hola mundo\n"
            "string 10\n");
}

TEST_F(QuillonEvalProcedures, UnknownEntryAndMissingFile) {
  RunResult r =
      RunCommand(std::string(kProgram) + " --procedures=" + dir_ + "/CALC.PRC 'EXEC$(\"NOPE\")'");
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(r.out.rfind("status 147 SINTAXERROR: NOPE", 0), 0u) << r.out;
  r = RunCommand(std::string(kProgram) + " --procedures=" + dir_ + "/NONE.PRC '1' 2>/dev/null");
  EXPECT_EQ(r.exit_code, 164);
  EXPECT_EQ(r.out, "") << "no expression is evaluated";
}

TEST(QuillonEvalWithoutProcedures, ExecHasNoRunner) {
  if (qtest::ReadFile(kProgram).empty()) GTEST_SKIP() << "quillon-eval is not built";
  const RunResult r = RunCommand(std::string(kProgram) + " 'EXEC$(\"DOUBLE\";\"CALC.PRC\")'");
  EXPECT_EQ(r.out.rfind("status 148 FEATUREREMOVED: EXEC$()", 0), 0u) << r.out;
}

}  // namespace
