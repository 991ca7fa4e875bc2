// The stored form of values by field type and width.
#include "storage/field_format.h"

#include "core/temp_stack.h"
#include "support/runtime_fixture.h"

using qtest::S;

namespace {

class FieldFormatTest : public RuntimeTest {};

TEST_F(FieldFormatTest, StoredForms) {
  struct Case {
    char type;
    uint16_t width;
    const char* value;
    const char* stored;  // null: refused with 168
  } cases[] = {
      {'A', 5, "abc", "abc  "},
      {'A', 3, "abcdef", "abc"},
      {'P', 4, "", "    "},
      {'B', 4, "12", "12  "},
      {'C', 4, "7", "7   "},
      {'V', 3, "xyz", "   "},
      {'D', 6, "20240517", "240517"},
      {'F', 6, "19991231", "991231"},
      {'D', 8, "20240517", "20240517"},
      {'D', 8, "", "        "},
      {'F', 6, "2405", "  2405"},  // not a full date: kept right-aligned
      // Other letters: trimmed and right-aligned when they fit...
      {'N', 5, " 42 ", "   42"},
      {'N', 4, "1234", "1234"},
      {'N', 4, "abc", " abc"},
      // ...else decimals are given up (rounded half away from zero).
      {'N', 3, "12.5", " 13"},
      {'N', 4, "12.345", "12.3"},
      {'N', 4, "1234.5", "1235"},
      {'N', 4, "-1.25", "-1.3"},
      {'N', 4, "9999.5", nullptr},
      {'N', 4, "12345", nullptr},
      {'N', 4, "12345.6", nullptr},
      {'L', 1, "1", "1"},
      // Digit types: that many decimals, "." as point.
      {'2', 8, "12.5", "   12.50"},
      {'2', 8, "-5", "   -5.00"},
      {'2', 8, ".5", "    0.50"},
      {'2', 8, "1.235", "    1.24"},
      {'2', 8, "-1.235", "   -1.24"},
      {'2', 8, "-0.001", "    0.00"},
      {'2', 6, "99.995", "100.00"},
      {'2', 6, "999.999", "1000.0"},  // the whole part takes a decimal's room
      {'2', 3, "7.25", "  7"},        // width 3: no room for a point and 2 decimals
      {'2', 4, "12345", nullptr},
      {'2', 6, "", "      "},
      {'2', 6, "abc", "      "},
      {'1', 5, "3", "  3.0"},
  };
  for (const Case& c : cases) {
    TempMarkValue mark = TempMark();
    StrDesc got = FieldFormat(c.type, c.width, StrFromCstr(c.value));
    if (c.stored == nullptr) {
      EXPECT_EQ(StrCheck(got), 168) << c.type << c.width << " '" << c.value << "'";
    } else {
      EXPECT_EQ(S(got), c.stored) << c.type << c.width << " '" << c.value << "'";
    }
    TempRelease(mark);
  }
}

TEST_F(FieldFormatTest, ErrorDescriptorsPassThrough) {
  EXPECT_EQ(StrCheck(FieldFormat('A', 4, StrError(147))), 147);
}

TEST_F(FieldFormatTest, NumberTypes) {
  for (char t : std::string("NL123456789"))
    EXPECT_TRUE(FieldTypeIsNumber(t)) << t;
  for (char t : std::string("ABCDFPTV"))
    EXPECT_FALSE(FieldTypeIsNumber(t)) << t;
}

}  // namespace
