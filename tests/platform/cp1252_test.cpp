#include "platform/cp1252.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(Cp1252, EveryByteRoundTripsThroughUtf8) {
  for (int b = 0; b < 256; ++b) {
    const std::string one(1, static_cast<char>(b));
    const std::string utf8 = Cp1252ToUtf8(one);
    std::string back;
    EXPECT_TRUE(Utf8ToCp1252(utf8, &back)) << "byte " << b;
    EXPECT_EQ(back, one) << "byte " << b;
    EXPECT_EQ(Cp1252FromCodePoint(Cp1252ToCodePoint(static_cast<unsigned char>(b))), b);
  }
}

TEST(Cp1252, HighBytesMapToTheirCodePoints) {
  struct Case {
    unsigned char byte;
    uint32_t code_point;
    const char* utf8;
  };
  const Case cases[] = {
      {0x80, 0x20AC, "\xE2\x82\xAC"},  // euro sign
      {0x81, 0x0081, "\xC2\x81"},      // undefined: kept as the C1 control
      {0x8A, 0x0160, "\xC5\xA0"},      // S caron
      {0x8D, 0x008D, "\xC2\x8D"},     {0x8F, 0x008F, "\xC2\x8F"},     {0x90, 0x0090, "\xC2\x90"},
      {0x9D, 0x009D, "\xC2\x9D"},     {0x96, 0x2013, "\xE2\x80\x93"},  // en dash
      {0x9F, 0x0178, "\xC5\xB8"},                                      // Y diaeresis
      {0xA0, 0x00A0, "\xC2\xA0"},     {0xD1, 0x00D1, "\xC3\x91"},      // N tilde
      {0xF1, 0x00F1, "\xC3\xB1"},     {0xFF, 0x00FF, "\xC3\xBF"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Cp1252ToCodePoint(c.byte), c.code_point) << int(c.byte);
    EXPECT_EQ(Cp1252ToUtf8(std::string(1, static_cast<char>(c.byte))), c.utf8) << int(c.byte);
  }
  // Code points of 0x80..0x9F that the code page puts elsewhere have no byte.
  EXPECT_EQ(Cp1252FromCodePoint(0x0080), -1);
  EXPECT_EQ(Cp1252FromCodePoint(0x009F), -1);
  EXPECT_EQ(Cp1252FromCodePoint(0x20AC), 0x80);
}

TEST(Cp1252, Utf8ThatCannotBeRepresentedBecomesQuestionMarks) {
  struct Case {
    const char* utf8;
    const char* expected;
  };
  const Case cases[] = {
      {"A\xE6\x97\xA5"
       "B",
       "A?B"},                    // a CJK character
      {"\xF0\x9F\x98\x80", "?"},  // outside the basic plane
      {"\x80", "?"},              // lone continuation byte
      {"\xC3", "?"},              // truncated sequence
      {"\xC0\xAF", "??"},         // overlong encoding of '/'
      {"\xED\xA0\x80", "???"},    // a surrogate
      {"x\xC3(", "x?("},          // a lead byte followed by a non-continuation
  };
  for (const Case& c : cases) {
    std::string out;
    EXPECT_FALSE(Utf8ToCp1252(c.utf8, &out)) << c.expected;
    EXPECT_EQ(out, c.expected);
    EXPECT_EQ(Utf8ToCp1252Lossy(c.utf8), c.expected);
  }
  EXPECT_TRUE(Utf8IsValid("\xE6\x97\xA5"));
  EXPECT_FALSE(Utf8IsValid("\xC3"));
}

TEST(Cp1252, CaseFoldingCoversTheAccentedLetters) {
  struct Case {
    unsigned char lower, upper;
  };
  const Case pairs[] = {{'a', 'A'},   {'z', 'Z'},   {0xF1, 0xD1}, {0xE0, 0xC0}, {0xFE, 0xDE},
                        {0x9A, 0x8A}, {0x9C, 0x8C}, {0x9E, 0x8E}, {0xFF, 0x9F}};
  for (const Case& p : pairs) {
    EXPECT_EQ(static_cast<unsigned char>(Cp1252Upper(static_cast<char>(p.lower))), p.upper);
    EXPECT_EQ(static_cast<unsigned char>(Cp1252Lower(static_cast<char>(p.upper))), p.lower);
  }
  // Division and multiplication signs and sharp s have no case partner.
  for (int same : {0xF7, 0xD7, 0xDF, 0xB5, int('1'), int('_')}) {
    EXPECT_EQ(static_cast<unsigned char>(Cp1252Upper(static_cast<char>(same))), same) << same;
    EXPECT_EQ(static_cast<unsigned char>(Cp1252Lower(static_cast<char>(same))), same);
  }
  EXPECT_TRUE(
      Cp1252EqualNoCase("Compa\xF1"
                        "ia.dat",
                        "COMPA\xD1"
                        "IA.DAT"));
  EXPECT_FALSE(Cp1252EqualNoCase("abc", "abcd"));
}

}  // namespace
