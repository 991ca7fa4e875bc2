// Tests of the fixed-point numbers: rounded division, text in and out,
// scaling and the 8-byte form.
#include "core/fixed_point.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "core/status.h"
#include "core/temp_stack.h"
#include "support/runtime_fixture.h"

using qtest::S;

namespace {

// Every test starts with the default 2 decimals and leaves it so.
class FixedPointTest : public RuntimeTest {
 protected:
  void SetUp() override {
    RuntimeTest::SetUp();
    NumSetDecimals(2);
  }
  void TearDown() override {
    NumSetDecimals(2);
    RuntimeTest::TearDown();
  }
};

struct DivCase {
  const char* name;
  int64_t x;
  int64_t d;
  int64_t q;
};

TEST_F(FixedPointTest, RoundDivRoundsHalfAwayFromZeroButNotAZeroQuotient) {
  const DivCase cases[] = {
      {"exact", 12, 4, 3},
      {"below_half", 13, 4, 3},
      {"exact_half", 14, 4, 4},
      {"half_up", 15, 10, 2},
      {"half_down_negative", -15, 10, -2},
      {"negative_divisor", 15, -10, -2},
      {"both_negative", -15, -10, 2},
      {"zero_divisor", 99, 0, 0},
      {"zero_quotient_not_rounded", 5, 10, 0},
      {"zero_quotient_negative", -9, 10, 0},
      {"divisor_one", 7, 1, 7},
      {"divisor_minus_one", 7, -1, -7},
      {"odd_divisor_below_half", 4, 3, 1},  // 1.33
      {"odd_divisor_above_half", 5, 3, 2},  // 1.67
      {"odd_divisor_seven", 10, 7, 1},      // 1.43
      {"odd_divisor_seven_up", 11, 7, 2},   // 1.57
      {"one_third_two_decimals", 10000, 300, 33},
      {"two_thirds_two_decimals", 20000, 300, 67},
      {"min_by_minus_one_saturates", INT64_MIN, -1, INT64_MAX},
      {"min_by_min", INT64_MIN, INT64_MIN, 1},
      {"max_by_min", INT64_MAX, INT64_MIN, 0},
      {"min_by_two", INT64_MIN, 2, INT64_MIN / 2},
      {"max_by_two", INT64_MAX, 2, INT64_MAX / 2 + 1},
      {"min_by_three", INT64_MIN, 3, -3074457345618258603},
      {"max_by_ten", INT64_MAX, 10, 922337203685477581},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(RoundDiv(c.x, c.d), c.q);
  }
}

struct FormatCase {
  const char* name;
  int64_t value;
  int decimals;
  std::string_view text;
};

TEST_F(FixedPointTest, FormatDropsTrailingZerosAndTheLeadingZero) {
  const FormatCase cases[] = {
      {"two_decimals", 12345, 2, "123.45"},
      {"whole", 12300, 2, "123"},
      {"one_zero_dropped", 12340, 2, "123.4"},
      {"small", 5, 2, ".05"},
      {"one_hundredth", 1, 2, ".01"},
      {"negative_half", -50, 2, "-.5"},
      {"negative_small", -5, 2, "-.05"},
      {"negative_whole", -100, 2, "-1"},
      {"zero_two_decimals", 0, 2, ""},
      {"zero_no_decimals", 0, 0, "0"},
      {"no_decimals", 1230, 0, "1230"},
      {"four_decimals", 10, 4, ".001"},
      {"negative_decimals_as_zero", 120, -3, "120"},
      {"max", INT64_MAX, 2, "92233720368547758.07"},
      {"min", INT64_MIN, 2, "-92233720368547758.08"},
      {"many_decimals", 7, 25, ".0000000000000000000000007"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempMarkValue m = TempMark();
    EXPECT_EQ(S(NumFormat(c.value, c.decimals)), c.text);
    EXPECT_EQ(TempMark(), m + 1);
    TempRelease(m);
  }
  EXPECT_EQ(StrCheck(NumFormat(1, 70000)), kStStringTooLong);
}

TEST_F(FixedPointTest, FormatFormsFollowTheDecimalsSetting) {
  EXPECT_EQ(S(NumFormatD(250)), "2.5");
  EXPECT_EQ(S(NumFormatInt(250)), "250");
  NumSetDecimals(3);
  EXPECT_EQ(NumDecimals(), 3);
  EXPECT_EQ(S(NumFormatD(250)), ".25");
  NumSetDecimals(-1);
  EXPECT_EQ(NumDecimals(), 0);
  EXPECT_EQ(S(NumFormatD(250)), "250");
}

struct ParseCase {
  const char* name;
  std::string_view text;
  int decimals;
  int64_t value;
};

TEST_F(FixedPointTest, ParseRoundsBeyondTheDecimals) {
  const ParseCase cases[] = {
      {"round_up", "1.235", 2, 124},
      {"round_up_negative", "-1.235", 2, -124},
      {"round_down", "1.234", 2, 123},
      {"only_first_extra_digit_counts", "1.2349999", 2, 123},
      {"whole", "12", 2, 1200},
      {"padded_fraction", "1.5", 2, 150},
      {"no_integer_part", ".5", 2, 50},
      {"trailing_point", "3.", 2, 300},
      {"blanks_and_tabs", " \t42.1 ", 2, 4210},
      {"plus_sign", "+2", 2, 200},
      {"empty", "", 2, 0},
      {"sign_only", "-", 2, 0},
      {"point_only", ".", 2, 0},
      {"text", "abc", 2, 0},
      {"stops_at_text", "12abc", 2, 1200},
      {"stops_in_fraction", "1.5x9", 2, 150},
      {"text_before_point_ends_it", "1a.5", 2, 100},
      {"half_of_smallest_unit", "0.005", 2, 1},
      {"below_half_of_smallest", "0.0049", 2, 0},
      {"zero_decimals_half", "0.5", 0, 1},
      {"zero_decimals_negative_half", "-2.5", 0, -3},
      {"four_decimals", "1.23456", 4, 12346},
      {"power_of_ten", "15D2", 2, 150000},
      {"power_of_ten_with_fraction", "1.5D2", 2, 15000},
      {"power_of_ten_rounds", "1.2345D1", 2, 1235},
      {"power_of_ten_negative", "150D-2", 2, 150},
      {"power_of_ten_zero", "7D0", 2, 700},
      {"leading_zeros_beyond_twenty_bytes", "0000000000000000000000001.5", 2, 150},
      {"long_fraction", "1.00000000000000000000000000006", 2, 100},
      {"long_fraction_rounds", "0.99999999999999999999999999", 2, 100},
      {"max", "92233720368547758.07", 2, INT64_MAX},
      {"min", "-92233720368547758.08", 2, INT64_MIN},
      {"too_big_saturates", "99999999999999999999999", 2, INT64_MAX},
      {"too_small_saturates", "-99999999999999999999999", 2, INT64_MIN},
      {"round_at_max_saturates", "92233720368547758.075", 2, INT64_MAX},
      {"big_power_saturates", "1D30000", 2, INT64_MAX},
      {"zero_with_big_power", "0D30000", 2, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempMarkValue m = TempMark();
    EXPECT_EQ(NumParseDecimals(Lit(c.text), c.decimals), c.value);
    EXPECT_EQ(TempMark(), m);
  }
  EXPECT_EQ(NumParse(Lit("1.235")), 124);
  NumSetDecimals(0);
  EXPECT_EQ(NumParse(Lit("1.5")), 2);
  EXPECT_EQ(NumParse(StrError(145)), 0);
}

TEST_F(FixedPointTest, FormatAndParseRoundTrip) {
  const int64_t values[] = {0,
                            1,
                            -1,
                            5,
                            -50,
                            99,
                            100,
                            12345,
                            -12340,
                            1000000,
                            123456789012,
                            INT64_MAX,
                            INT64_MIN,
                            INT64_MAX - 1,
                            INT64_MIN + 1};
  for (int decimals : {0, 2, 4}) {
    for (int64_t v : values) {
      SCOPED_TRACE(std::to_string(v) + " with " + std::to_string(decimals));
      TempMarkValue m = TempMark();
      EXPECT_EQ(NumParseDecimals(NumFormat(v, decimals), decimals), v);
      TempRelease(m);
    }
  }
}

TEST_F(FixedPointTest, ScaleIsSixteenBits) {
  const struct {
    int decimals;
    int64_t scale;
  } cases[] = {{0, 1}, {1, 10}, {2, 100}, {4, 10000}, {5, 34464}, {6, 16960}, {16, 0}, {40, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.decimals);
    NumSetDecimals(c.decimals);
    EXPECT_EQ(NumScale(), c.scale);
  }
}

TEST_F(FixedPointTest, ScalingUpAndDown) {
  EXPECT_EQ(NumScaleUp(12, 2), 1200);
  EXPECT_EQ(NumScaleUp(-12, 0), -12);
  EXPECT_EQ(NumScaleUp(INT64_MAX / 10, 1), INT64_MAX / 10 * 10);
  EXPECT_EQ(NumScaleUp(INT64_MAX / 10 + 1, 1), INT64_MAX);
  EXPECT_EQ(NumScaleUp(INT64_MIN / 10 - 1, 1), INT64_MIN);
  EXPECT_EQ(NumScaleUp(1, 400), INT64_MAX);
  EXPECT_EQ(NumScaleUp(0, 400), 0);
  EXPECT_EQ(NumScaleUp(1250, -2), 13);

  EXPECT_EQ(NumScaleDown(1250, 2), 13);
  EXPECT_EQ(NumScaleDown(-1250, 2), -13);
  EXPECT_EQ(NumScaleDown(1249, 2), 12);
  EXPECT_EQ(NumScaleDown(50, 2), 0);  // a zero quotient is not rounded
  EXPECT_EQ(NumScaleDown(150, 2), 2);
  EXPECT_EQ(NumScaleDown(INT64_MAX, 18), 9);
  EXPECT_EQ(NumScaleDown(INT64_MIN, 18), -9);
  EXPECT_EQ(NumScaleDown(INT64_MAX, 19), 0);
  EXPECT_EQ(NumScaleDown(7, 0), 7);
  EXPECT_EQ(NumScaleDown(7, -3), 7000);
}

TEST_F(FixedPointTest, BytesAreLittleEndian) {
  TempMarkValue m = TempMark();
  StrDesc b = NumToBytes(0x0102030405060708);
  EXPECT_EQ(TempMark(), m + 1);
  ASSERT_EQ(b.len, 8);
  EXPECT_EQ(S(b), std::string("\x08\x07\x06\x05\x04\x03\x02\x01", 8));
  for (int64_t v : {int64_t{0}, int64_t{-1}, int64_t{12345}, INT64_MIN, INT64_MAX}) {
    EXPECT_EQ(NumFromBytes(NumToBytes(v)), v);
  }
  EXPECT_EQ(NumFromBytes(Lit("")), 0);
  EXPECT_EQ(NumFromBytes(Lit("1234567")), -1);
  EXPECT_EQ(NumFromBytes(Lit("123456789")), -1);
  EXPECT_EQ(NumFromBytes(StrError(145)), -1);
}

TEST_F(FixedPointTest, IntegersScaledByTheSetting) {
  EXPECT_EQ(NumIntScaled(7), 700);
  EXPECT_EQ(NumIntScaled(-32768), -3276800);
  EXPECT_EQ(NumTextScaled(Lit("12")), 1200);
  EXPECT_EQ(NumTextScaled(Lit("si")), 100);
  EXPECT_EQ(NumTextScaled(Lit("70000")), 446400);
  NumSetDecimals(0);
  EXPECT_EQ(NumIntScaled(7), 7);
}

TEST_F(FixedPointTest, FullTempStackGives145) {
  while (TempAlloc(0, 255) == 0) {
  }
  TempMarkValue m = TempMark();
  EXPECT_EQ(StrCheck(NumFormat(5, 2)), kStOutOfMemory);
  EXPECT_EQ(StrCheck(NumToBytes(5)), kStOutOfMemory);
  EXPECT_EQ(TempMark(), m);
  EXPECT_EQ(NumParse(Lit("1.5")), 150);  // parsing needs no temporaries
}

}  // namespace
