#include "platform/process.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

class ProcessTest : public ::testing::Test {
 protected:
  void TearDown() override {
    ProcessResetArgs();
    unsetenv("QUILLON_TEST_VAR");
  }
};

TEST_F(ProcessTest, EnvironmentValuesCrossAsWindows1252) {
  EXPECT_FALSE(ProcessHasEnv("QUILLON_TEST_VAR"));
  EXPECT_EQ(ProcessGetEnv("QUILLON_TEST_VAR"), "");
  ASSERT_TRUE(ProcessSetEnv("QUILLON_TEST_VAR", "A\xF1o"));
  EXPECT_STREQ(std::getenv("QUILLON_TEST_VAR"), "A\xC3\xB1o");  // UTF-8 outside
  EXPECT_EQ(ProcessGetEnv("QUILLON_TEST_VAR"), "A\xF1o");
  setenv("QUILLON_TEST_VAR", "\xE6\x97\xA5", 1);
  EXPECT_EQ(ProcessGetEnv("QUILLON_TEST_VAR"), "?");
  ASSERT_TRUE(ProcessSetEnv("QUILLON_TEST_VAR", ""));
  EXPECT_TRUE(ProcessHasEnv("QUILLON_TEST_VAR"));
  ASSERT_TRUE(ProcessUnsetEnv("QUILLON_TEST_VAR"));
  EXPECT_FALSE(ProcessHasEnv("QUILLON_TEST_VAR"));
  EXPECT_FALSE(ProcessSetEnv("", "x"));
  EXPECT_FALSE(ProcessSetEnv("A=B", "x"));
}

TEST_F(ProcessTest, CommandLineQuotesArgumentsSoTheyReadBackAsOneItem) {
  const char* argv[] = {"quillon", "/LANG=ES", "two words", "", "say \"hi\"", "Compa\xC3\xB1ia",
                        "/RUN=Report X,1", "/RUN='Report X,1'", "-DPATH:a b"};
  ProcessSetArgs(9, argv);
  const std::string line = ProcessCommandLine();
  const std::string self = ProcessProgramPath();
  ASSERT_FALSE(self.empty());
  EXPECT_EQ(self.find('/'), std::string::npos);  // runtime path form
  EXPECT_EQ(line, self +
                      " /LANG=ES \"two words\" \"\" say \"hi\" Compa\xF1ia /RUN=\"Report X,1\""
                      " /RUN='Report X,1' -DPATH:\"a b\"");
}

TEST_F(ProcessTest, CommandLineWithoutRecordedArgumentsComesFromTheKernel) {
  const std::string line = ProcessCommandLine();
  EXPECT_EQ(line.rfind(ProcessProgramPath(), 0), 0u) << line;
}

TEST_F(ProcessTest, DiagnosticsGoToStderrAsUtf8) {
  testing::internal::CaptureStderr();
  ProcessDiagnostic("Se\xF1or");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "Se\xC3\xB1or\n");
}

TEST_F(ProcessTest, AbortWritesItsLineAndEndsTheProcess) {
  EXPECT_DEATH(ProcessAbort("fatal: stop"), "fatal: stop");
}

}  // namespace
