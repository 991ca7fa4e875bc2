#include "platform/clock.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

class ClockTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ClockReset();
    unsetenv("QUILLON_FAKE_NOW");
  }
  void TearDown() override {
    ClockReset();
    unsetenv("QUILLON_FAKE_NOW");
  }
};

TEST_F(ClockTest, StampsParseOrAreRefused) {
  struct Case {
    const char* stamp;
    bool ok;
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, weekday = 0;
  };
  const Case cases[] = {
      {"20240517", true, 2024, 5, 17, 0, 0, 0, 5},
      {"202405171230", true, 2024, 5, 17, 12, 30, 0, 5},
      {"20240229235959", true, 2024, 2, 29, 23, 59, 59, 4},
      {"20230229", false},      // not a leap year
      {"21000229", false},      // the calendar here knows the century rule
      {"20241301", false},      // month 13
      {"20240431", false},      // April has 30 days
      {"202405172400", false},  // hour 24
      {"2024051712", false},    // ten digits
      {"2024-05-17", false},    // separators
      {"19691231", false},      // before the epoch
      {"", false},
  };
  for (const Case& c : cases) {
    ClockDateTime dt;
    EXPECT_EQ(ClockParseStamp(c.stamp, &dt), c.ok) << c.stamp;
    if (!c.ok) continue;
    EXPECT_EQ(dt.year, c.year) << c.stamp;
    EXPECT_EQ(dt.month, c.month) << c.stamp;
    EXPECT_EQ(dt.day, c.day) << c.stamp;
    EXPECT_EQ(dt.hour, c.hour) << c.stamp;
    EXPECT_EQ(dt.minute, c.minute) << c.stamp;
    EXPECT_EQ(dt.second, c.second) << c.stamp;
    EXPECT_EQ(dt.weekday, c.weekday) << c.stamp;
  }
}

TEST_F(ClockTest, FakeNowFromTheEnvironmentIsFrozen) {
  setenv("QUILLON_FAKE_NOW", "20240517093005", 1);
  const ClockDateTime a = ClockNow();
  EXPECT_EQ(a.year, 2024);
  EXPECT_EQ(a.month, 5);
  EXPECT_EQ(a.day, 17);
  EXPECT_EQ(a.hour, 9);
  EXPECT_EQ(a.minute, 30);
  EXPECT_EQ(a.second, 5);
  EXPECT_EQ(a.millisecond, 0);
  EXPECT_EQ(a.weekday, 5);
  const int64_t unix_a = ClockUnixNow();
  ClockSleepMs(20);
  EXPECT_EQ(ClockUnixNow(), unix_a);
  const ClockDateTime back = ClockLocalFromUnix(unix_a);
  EXPECT_EQ(back.day, 17);
  EXPECT_EQ(back.hour, 9);
  EXPECT_EQ(back.second, 5);
}

TEST_F(ClockTest, ProgrammaticFakeWinsAndMalformedValuesAreIgnored) {
  setenv("QUILLON_FAKE_NOW", "20240517", 1);
  ASSERT_TRUE(ClockSetFakeNow("20000101"));
  EXPECT_EQ(ClockNow().year, 2000);
  EXPECT_FALSE(ClockSetFakeNow("2000010"));
  EXPECT_EQ(ClockNow().year, 2000);  // a refused stamp changes nothing
  ClockReset();
  EXPECT_EQ(ClockNow().year, 2024);  // the environment again
  setenv("QUILLON_FAKE_NOW", "tomorrow", 1);
  const ClockDateTime real = ClockNow();
  EXPECT_GE(real.year, 2024);  // the real clock
}

TEST_F(ClockTest, FakeMonotonicCounterAdvancesOnlyByHand) {
  ClockSetFakeMonotonic(1000);
  EXPECT_EQ(ClockMonotonicMs(), 1000u);
  ClockSleepMs(350);
  EXPECT_EQ(ClockMonotonicMs(), 1350u);
  ClockAdvanceFake(50);
  EXPECT_EQ(ClockMonotonicMs(), 1400u);
  ClockReset();
  const uint64_t a = ClockMonotonicMs();
  ClockSleepMs(5);
  EXPECT_GE(ClockMonotonicMs(), a + 5);
  ClockAdvanceFake(1000000);  // nothing while the counter is real
  EXPECT_LT(ClockMonotonicMs(), a + 1000000);
}

}  // namespace
