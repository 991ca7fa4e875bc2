// The error log: file name rules, the exact framing, failures, assertions.
#include <gtest/gtest.h>

#include <string>

#include "core/dyn_strings.h"
#include "core/log.h"
#include "core/messages.h"
#include "core/status.h"
#include "platform/clock.h"
#include "platform/fs.h"
#include "support/runtime_fixture.h"
#include "support/test_dirs.h"

using qtest::S;

namespace {

class LogTest : public RuntimeTest {
 protected:
  void SetUp() override {
    RuntimeTest::SetUp();
    dir_ = qtest::MakeTempDir("log");
    old_ = FsWorkingFolder();
    ASSERT_EQ(FsChangeFolder(dir_), FsResult::kOk);
    ASSERT_TRUE(ClockSetFakeNow("20240517093005"));
  }
  void TearDown() override {
    ClockReset();
    FsChangeFolder(old_);
    qtest::RemoveTree(dir_);
    RuntimeTest::TearDown();
  }
  std::string dir_, old_;
};

TEST_F(LogTest, NameFollowsApplicationPrefixOrOwnName) {
  DynSet(0, 2, Lit("QO0001"));
  EXPECT_EQ(S(LogFileName()), "QOlog.txt");
  DynSet(9, 10, Lit("mine.log"));
  EXPECT_EQ(S(LogFileName()), "mine.log");
}

TEST_F(LogTest, ReportIsFramedExactly) {
  DynSet(0, 2, Lit("QO0001"));
  DynSet(0, 4, Lit("ES"));
  ASSERT_EQ(LogErrorReport(Lit("abc"), Lit("")), 0);
  ASSERT_EQ(LogErrorReport(Lit("def"), Lit("")), 0);
  std::string one =
      "*****************************\r\n Date:17-05-2024 - Time:09:30:05 - User:0\r\n"
      "abc\r\n**********************\r\n\r\n";
  std::string two = one;
  two.replace(two.find("abc"), 3, "def");
  EXPECT_EQ(qtest::ReadFile(dir_ + "/QOlog.txt"), one + two) << "appended, never replaced";
}

TEST_F(LogTest, DateOrderFollowsTheLanguage) {
  struct Case {
    const char* language;
    const char* date;
  } cases[] = {
      {"ES", "17-05-2024"}, {"FR", "17-05-2024"}, {"IT", "17-05-2024"},  // day first
      {"EN", "05-17-2024"}, {"DE", "05-17-2024"}, {"", "05-17-2024"},    // month first
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.language);
    DynSet(0, 4, Lit(c.language));
    std::string file = std::string("date_") + c.language + ".txt";
    ASSERT_EQ(LogErrorReport(Lit("x"), Lit(file)), 0);
    std::string log = qtest::ReadFile(dir_ + "/" + file);
    EXPECT_NE(log.find(std::string(" Date:") + c.date + " - Time:"), std::string::npos) << log;
  }
}

TEST_F(LogTest, UnwritableLogGives164WithFileInDetail) {
  ErrDetailClear();
  EXPECT_EQ(LogErrorReport(Lit("abc"), Lit("nofolder\\x.txt")), 164);
  EXPECT_EQ(S(ErrDetailText()), "nofolder\\x.txt");
  EXPECT_FALSE(FsExists("nofolder"));
}

TEST_F(LogTest, AssertTrueHoldsQuietly) {
  int before = MsgLastBox().count;
  AssertTrue(true, Lit("never shown"));
  EXPECT_EQ(MsgLastBox().count, before);
  EXPECT_FALSE(FsExists("assertions.log"));
}

TEST_F(LogTest, FailedAssertionLogsAndAborts) {
  EXPECT_DEATH(AssertTrue(false, Lit("broken invariant")), "broken invariant");
  std::string log = qtest::ReadFile(dir_ + "/assertions.log");
  EXPECT_NE(log.find("broken invariant\r\n"), std::string::npos);
}

}  // namespace
