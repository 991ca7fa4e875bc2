// Runs the built quillon-eval program and checks its output lines.
#include <gtest/gtest.h>

#include <string>

#include "support/run_program.h"
#include "support/test_dirs.h"

namespace {

const char kProgram[] = QUILLON_BINARY_DIR "/tools/quillon-eval/quillon-eval";

using RunResult = qtest::ProgramRun;

RunResult RunCommand(const std::string& command) { return qtest::RunShell(command); }

bool ProgramBuilt() {
  return !qtest::ReadFile(kProgram).empty();
}

TEST(QuillonEvalProgram, EvaluatesArgumentsInOneSession) {
  if (!ProgramBuilt()) GTEST_SKIP() << "quillon-eval is not built: " << kProgram;
  // Every argument in single quotes (the shell leaves them alone); string
  // literals of the language in double quotes.
  const RunResult r =
      RunCommand(std::string(kProgram) +
                 " '1/3' 'A=B=5' 'A+B' 'X$=\"a\"+.lf$+.tab$' 'A + B'"
                 " '\"ab\"+1' 'FN$TRIM(\" x \")' '\"\xC3\xB1\"' '_$(.envron;.apname)'"
                 " '2-2' 'EXEC$(\"E\")'");
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(r.out,
            "number .33\n"
            "number 5\n"
            "number 10\n"
            "string a\\r\\n\\t\n"
            "status 147 SINTAXERROR: B\n"
            "status 128 Tipos Incompatibles: \"ab\"+1\n"
            "string x\n"
            "string \xC3\xB1\n"
            "string QO0001\n"
            "number \n"
            "status 148 FEATUREREMOVED: EXEC$()\\r\\nEXEC$\\r\\nEXEC$(\"E\")\n");
}

TEST(QuillonEvalProgram, ReadsStandardInputAndTakesOptions) {
  if (!ProgramBuilt()) GTEST_SKIP() << "quillon-eval is not built: " << kProgram;
  const std::string dir = qtest::MakeTempDir("qeval");
  ASSERT_TRUE(qtest::WriteFile(dir + "/in.txt",
                               "N#=2.5\r\nN#*2\n\n_$(.envron;.apname)\nENVRON$('TRACE')\n"));
  const RunResult r =
      RunCommand(std::string(kProgram) + " /APNAME=zz99 /TRACE=8 < " + dir + "/in.txt");
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(r.out, "number 2.5\nnumber 5\nnumber \nstring ZZ99\nstring 8\n");
  qtest::RemoveTree(dir);
}

}  // namespace
