// Calendar and time arithmetic: month lengths without a century rule, date
// texts, date parts, adding and differences across month ends and leap years,
// time texts in and out, and the file-modification helpers.
#include "language/calendar.h"

#include <gtest/gtest.h>
#include <utime.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>

#include "platform/clock.h"
#include "support/runtime_fixture.h"
#include "support/test_dirs.h"

namespace {

using qtest::S;

class CalendarTest : public RuntimeTest {
 protected:
  void SetUp() override {
    RuntimeTest::SetUp();
    ASSERT_TRUE(ClockSetFakeNow("20240517123045"));
  }
  void TearDown() override {
    ClockReset();
    RuntimeTest::TearDown();
  }
};

TEST_F(CalendarTest, MonthLengthHasNoCenturyRule) {
  struct Case {
    int month, year, days;
  } cases[] = {
      {1, 2023, 31},  {2, 2023, 28}, {2, 2024, 29},  {2, 1900, 29},  {2, 2100, 29},
      {2, 2000, 29},  {4, 2024, 30}, {6, 2024, 30},  {9, 2024, 30},  {11, 2024, 30},
      {12, 2024, 31}, {0, 2024, 31}, {13, 2024, 31}, {14, 2023, 31}, {-1, 2024, 31},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(MonthLength(c.month, c.year), c.days) << c.month << "/" << c.year;
  }
}

TEST_F(CalendarTest, DateTextOfValidAndInvalidNumbers) {
  struct Case {
    int32_t n;
    const char* text;
  } cases[] = {
      {20240517, "20240517"},
      {21000229, "21000229"},
      {19000229, "19000229"},
      {20240229, "20240229"},
      {99991231, "99991231"},
      {101, "00000101"},
      {20240230, ""},
      {20230229, ""},
      {20241301, ""},
      {20240500, ""},
      {20240001, ""},
      {20240431, ""},
      {0, ""},
      {-20240517, ""},
      {100000101, ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(S(DateText(c.n)), c.text) << c.n;
    EXPECT_EQ(DateIsValid(c.n), c.text[0] != '\0') << c.n;
  }
}

TEST_F(CalendarTest, TodayAndTimeOfDayComeFromTheClock) {
  EXPECT_EQ(DateToday(), 20240517);
  EXPECT_EQ(TimeOfDay(), 45045000);
  ASSERT_TRUE(ClockSetFakeNow("20241231"));
  EXPECT_EQ(DateToday(), 20241231);
  EXPECT_EQ(TimeOfDay(), 0);
}

TEST_F(CalendarTest, DatePartBySelector) {
  struct Case {
    const char* text;
    int selector;
    int32_t part;
  } cases[] = {
      {"20240517", 1, 17},   {"20240517", 2, 5},
      {"20240517", 4, 2024}, {"20240517", 15, 20240517},
      {"20240517", 0, 0},    {"20240517", 8, 0},
      {"20240517", 3, 5},                                 // month wins over day
      {"20240517", 6, 2024},                              // year wins over month
      {"20240517", 16, 0},   {"20241399", 15, 20241399},  // taken apart, not validated
      {"517", 1, 17},                                     // fields by position from the end
      {"517", 2, 5},         {"", 15, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(DatePart(Lit(c.text), c.selector), c.part) << c.text << " " << c.selector;
  }
  EXPECT_EQ(DatePart(StrError(163), 15), 0);
}

TEST_F(CalendarTest, AddingNormalisesAcrossMonthsAndYears) {
  struct Case {
    const char* date;
    int32_t amount;
    int unit;
    int32_t result;
  } cases[] = {
      {"20240131", 1, kDateMonth, 20240229},  // day clamped to the leap February
      {"20230131", 1, kDateMonth, 20230228},
      {"20241231", 2, kDateMonth, 20250303},  // month 14 counts 31 days
      {"20240531", 9, kDateMonth, 20250303},
      {"20240331", -1, kDateMonth, 20240229},
      {"20240131", -1, kDateMonth, 20231231},  // month 0 counts 31 days
      {"20240115", -13, kDateMonth, 20221215},
      {"20240115", -25, kDateMonth, 20211215},
      {"20240115", 24, kDateMonth, 20260115},
      {"20240301", -1, kDateDay, 20240229},
      {"20230301", -1, kDateDay, 20230228},
      {"21000301", -1, kDateDay, 21000229},  // no century rule
      {"20241231", 1, kDateDay, 20250101},
      {"20250101", -1, kDateDay, 20241231},
      {"20240517", 0, kDateDay, 20240517},
      {"20240517", 10000, kDateDay, 20511003},  // still an amount
      {"20240517", -366, kDateDay, 20230517},
      {"20240229", 1, kDateYear, 20250301},
      {"20240229", 4, kDateYear, 20280229},
      {"20240517", -2024, kDateYear, 517},
      {"20240230", 0, kDateWhole, 20240301},  // no change, still normalised
      {"20241301", 0, kDateDay, 20250101},
      {"20240517", 5, 8, 20240517},  // unknown unit
  };
  for (const Case& c : cases) {
    EXPECT_EQ(DateArith(Lit(c.date), c.amount, c.unit), c.result)
        << c.date << " + " << c.amount << " unit " << c.unit;
  }
}

TEST_F(CalendarTest, DifferencesBetweenDates) {
  struct Case {
    const char* date;
    int32_t other;
    int unit;
    int32_t result;
  } cases[] = {
      {"20240315", 20240301, kDateDay, 14},
      {"20250101", 20241201, kDateDay, 31},
      {"20240301", 20240401, kDateDay, -31},
      {"20240301", 20230301, kDateDay, 365},  // whole years count 365
      {"20240301", 20240201, kDateDay, 29},   // the leap February inside the year
      {"20230301", 20230201, kDateDay, 28},
      {"20240301", 20200301, kDateDay, 1460},
      {"20240517", 20240517, kDateDay, 0},
      {"20240517", 20230101, kDateMonth, 16},
      {"20230101", 20240517, kDateMonth, -16},
      {"20240517", 20200101, kDateYear, 4},
      {"20240517", 20230101, kDateWhole, 0},
      {"20240517", 20230101, 3, 0},
      {"20240517", 10001, kDateYear, 2023},  // 10,001 is read as a date
  };
  for (const Case& c : cases) {
    EXPECT_EQ(DateArith(Lit(c.date), c.other, c.unit), c.result)
        << c.date << " - " << c.other << " unit " << c.unit;
  }
}

// A plain model of adding days: one day at a time on the same calendar.
int32_t StepDays(int32_t date, int64_t days) {
  int64_t y = date / 10000, m = (date % 10000) / 100, d = date % 100;
  for (; days > 0; --days) {
    if (++d > MonthLength(static_cast<int>(m), static_cast<int>(y))) {
      d = 1;
      if (++m == 13) m = 1, ++y;
    }
  }
  for (; days < 0; ++days) {
    if (--d == 0) {
      if (--m == 0) m = 12, --y;
      d = MonthLength(static_cast<int>(m), static_cast<int>(y));
    }
  }
  return static_cast<int32_t>(y * 10000 + m * 100 + d);
}

TEST_F(CalendarTest, AddingDaysMatchesDayByDayStepping) {
  std::mt19937 rng(20240517);
  std::uniform_int_distribution<int> year(1, 9000), month(1, 12), day(1, 31);
  std::uniform_int_distribution<int32_t> amount(-40000, 10000);
  for (int i = 0; i < 400; ++i) {
    const int y = year(rng), m = month(rng);
    const int d = std::min(day(rng), MonthLength(m, y));
    const int32_t date = y * 10000 + m * 100 + d;
    const int32_t a = amount(rng);
    const std::string text = S(DateText(date));
    ASSERT_EQ(DateArith(Lit(text), a, kDateDay), StepDays(date, a)) << text << " + " << a;
  }
  // Very large amounts are reduced by whole four-year runs, not stepped.
  EXPECT_EQ(DateArith(Lit("20240517"), -1461 * 100, kDateDay), 16240517);
  EXPECT_EQ(DateArith(Lit("99990101"), -3000000, kDateDay), StepDays(99990101, -3000000));
}

TEST_F(CalendarTest, TimeParseReadsItemsFromTheRight) {
  struct Case {
    const char* text;
    int32_t ms;
  } cases[] = {
      {"12:30:45", 45045000},
      {"1:30", 90000},
      {"90", 90000},
      {"12:30:45.5", 45045500},
      {"12:30:45.05", 45045050},
      {"12:30:45.123456", 45045123},  // at most three fraction digits
      {"0:0:0", 0},
      {"23:59:59.999", 86399999},
      {"12:30.", 750000},  // an empty fraction adds nothing
      {"1230", 1230000},   // a compact form is seconds
      {"-5", -5000},
      {"1:2:3:4", 0},  // four items contribute nothing
      {"1:2:3:4.25", 250},
      {".5", 45045000},  // empty before the fraction: now
      {"", 45045000},
  };
  for (const Case& c : cases)
    EXPECT_EQ(TimeParse(Lit(c.text)), c.ms) << "'" << c.text << "'";
}

TEST_F(CalendarTest, TimeFormatByFlags) {
  struct Case {
    int32_t t;
    int flags;
    const char* text;
  } cases[] = {
      {45045500, 1, "12:30"},
      {45045500, 3, "12:30:45"},
      {45045500, 7, "12:30:45.500"},
      {45045500, 0, "1230"},
      {45045500, 2, "123045"},
      {45045500, 6, "123045.500"},
      {45045500, 4, "123045.5"},  // bit 4 without bit 2 cuts into the seconds
      {0, 7, "00:00:00.000"},
      {86399999, 7, "23:59:59.999"},
      {-1, 7, "23:59:59.999"},  // brought into the day
      {-86400000, 3, "00:00:00"},
      {90000000, 3, "25:00:00"},           // past midnight stays as hours
      {360000000 + 61000, 3, "00:01:01"},  // hours are two digits
  };
  for (const Case& c : cases) {
    EXPECT_EQ(S(TimeFormat(c.t, c.flags)), c.text) << c.t << " flags " << c.flags;
  }
}

TEST_F(CalendarTest, TimeElapsedWrapsAtMidnight) {
  EXPECT_EQ(TimeElapsed(86000000, 1000000), 1400000);
  EXPECT_EQ(TimeElapsed(1000, 5000), 4000);
  EXPECT_EQ(TimeElapsed(5000, 5000), 0);
  EXPECT_EQ(TimeElapsed(0, 86399999), 86399999);
}

TEST_F(CalendarTest, FileModificationDateAndTime) {
  const std::string dir = qtest::MakeTempDir("calendar");
  const std::string path = dir + "/stamp.txt";
  ASSERT_TRUE(qtest::WriteFile(path, "x"));
  const int64_t when = 1715949045;  // a fixed instant; its local form decides
  utimbuf times{static_cast<time_t>(when), static_cast<time_t>(when)};
  ASSERT_EQ(utime(path.c_str(), &times), 0);
  const ClockDateTime local = ClockLocalFromUnix(when);

  int32_t date = -1, time = -1;
  EXPECT_EQ(FileModDate(Lit(path), &date), 0);
  EXPECT_EQ(date, local.year * 10000 + local.month * 100 + local.day);
  EXPECT_EQ(FileModTime(Lit(path), &time), 0);
  EXPECT_EQ(time, local.hour * 3600000 + local.minute * 60000 + local.second * 1000);

  const std::string missing = dir + "/none.txt";
  EXPECT_EQ(FileModDate(Lit(missing), &date), 164);
  EXPECT_EQ(date, 0);
  EXPECT_EQ(FileModTime(Lit(missing), &time), 164);
  EXPECT_EQ(time, 0);
  qtest::RemoveTree(dir);
}

}  // namespace
