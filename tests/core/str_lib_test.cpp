// Tests of the string library: search and compare, shaping, integers from
// text, and the TempStack discipline of every operation.
#include "core/str_lib.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <string_view>

#include "core/status.h"
#include "core/temp_stack.h"
#include "support/runtime_fixture.h"

using namespace std::string_view_literals;
using qtest::S;

namespace {

class StrLibTest : public RuntimeTest {};

// Fills the TempStack's mark table so that the next push fails with 145.
void ExhaustMarks() {
  while (TempAlloc(0, 255) == 0) {
  }
}

// --- search ---

struct FindCharCase {
  const char* name;
  std::string_view s;
  char ch;
  int plain;
  uint16_t from;
  uint16_t expected;
};

TEST_F(StrLibTest, FindCharHonoursQuotedSections) {
  const FindCharCase cases[] = {
      {"plain_first", "a,b,c", ',', 1, 0, 1},
      {"plain_from", "a,b,c", ',', 1, 2, 3},
      {"absent", "abc", ',', 0, 0, kNotFound},
      {"from_past_end", "a,b", ',', 0, 9, kNotFound},
      {"inside_apostrophes_skipped", "a','b,c", ',', 0, 0, 5},
      {"inside_apostrophes_plain", "a','b,c", ',', 1, 0, 2},
      {"inside_double_quotes_skipped", "\"x,y\",z", ',', 0, 0, 5},
      {"other_quote_inside_is_text", "'a\"b',\"c'd\",e", ',', 0, 0, 5},
      {"unclosed_quote_hides_rest", "a'b,c", ',', 0, 0, kNotFound},
      {"before_unclosed_quote", "a,'b,c", ',', 0, 0, 1},
      {"quote_char_never_found_quote_aware", "ab'c'", '\'', 0, 0, kNotFound},
      {"quote_char_plain", "ab'c'", '\'', 1, 0, 2},
      {"high_byte",
       "ab\xF1"
       "c",
       '\xF1', 0, 0, 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(StrFindChar(Lit(c.s), c.ch, c.plain, c.from), c.expected);
  }
}

struct FindSubCase {
  const char* name;
  std::string_view s;
  std::string_view sub;
  int plain;
  uint16_t find;
  uint16_t count;
};

TEST_F(StrLibTest, FindAndCountSubstrings) {
  const FindSubCase cases[] = {
      {"simple", "abcabc", "bc", 1, 1, 2},
      {"whole", "abc", "abc", 1, 0, 1},
      {"longer_than_text", "ab", "abc", 1, kNotFound, 0},
      {"prefix_at_end_only", "xxab", "abc", 1, kNotFound, 0},
      {"first_char_then_mismatch", "aab", "ab", 1, 1, 1},
      {"non_overlapping", "aaaa", "aa", 1, 0, 2},
      {"quoted_match_skipped", "'ab'ab", "ab", 0, 4, 1},
      {"quoted_match_plain", "'ab'ab", "ab", 1, 1, 2},
      {"empty_sub", "abc", "", 1, 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(StrFind(Lit(c.s), Lit(c.sub), c.plain), c.find);
    EXPECT_EQ(StrCount(Lit(c.s), Lit(c.sub), c.plain), c.count);
  }
  EXPECT_EQ(StrFind(Lit("abcabc"), Lit("abc"), 1, 1), 3);
}

TEST_F(StrLibTest, FindAnyAndLast) {
  StrDesc s = Lit("a,b';'c;d");  // the ';' at 4 is quoted
  EXPECT_EQ(StrFindAny(s, Lit(";,"), 0), 1);
  EXPECT_EQ(StrFindAny(s, Lit(";"), 0), 7);
  EXPECT_EQ(StrFindAny(s, Lit(";"), 1), 4);
  EXPECT_EQ(StrFindAny(s, Lit(";,"), 0, 2), 7);
  EXPECT_EQ(StrFindAny(s, Lit("xyz"), 1), kNotFound);
  EXPECT_EQ(StrFindAny(s, Lit(""), 1), kNotFound);

  StrDesc t = Lit("a,b','c");
  EXPECT_EQ(StrFindLastChar(t, ',', 0), 1);
  EXPECT_EQ(StrFindLastChar(t, ',', 1), 4);
  EXPECT_EQ(StrFindLastChar(Lit("abc"), ',', 1), kNotFound);
  EXPECT_EQ(StrFindLastChar(Lit("abc"), 'a', 0), 0);
  EXPECT_EQ(StrFindLastAny(Lit("a.b,c'.'"), Lit(".,"), 0), 3);
  EXPECT_EQ(StrFindLastAny(Lit("a.b,c'.'"), Lit(".,"), 1), 6);
}

TEST_F(StrLibTest, SearchesReportErrorDescriptorsAsNotFound) {
  StrDesc err = StrError(145);
  EXPECT_EQ(StrFindChar(err, 'a', 1), kNotFound);
  EXPECT_EQ(StrFind(err, Lit("a"), 1), kNotFound);
  EXPECT_EQ(StrFind(Lit("a"), err, 1), kNotFound);
  EXPECT_EQ(StrFindAny(Lit("a"), err, 1), kNotFound);
  EXPECT_EQ(StrFindLastChar(err, 'a', 0), kNotFound);
  EXPECT_EQ(StrCount(err, Lit("a"), 1), 0);
  EXPECT_EQ(StrFindPair(err, '[', ']', 1), 0xFFFFFFFFu);
}

struct CompareCase {
  const char* name;
  std::string_view a;
  std::string_view b;
  int expected;
};

TEST_F(StrLibTest, CompareIsBytewiseUnsignedThenByLength) {
  const CompareCase cases[] = {
      {"prefix_is_smaller", "ab", "abc", -1},
      {"first_byte_decides", "b", "abc", 1},
      {"equal", "abc", "abc", 0},
      {"both_empty", "", "", 0},
      {"empty_is_smallest", "", "a", -1},
      {"bytes_are_unsigned", "\xE9", "z", 1},
      {"case_matters", "A", "a", -1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(StrCompare(Lit(c.a), Lit(c.b)), c.expected);
    EXPECT_EQ(StrCompare(Lit(c.b), Lit(c.a)), -c.expected);
  }
}

struct PairCase {
  const char* name;
  std::string_view s;
  char open;
  char close;
  int plain;
  std::string_view inside;  // "<none>" when no pair
};

TEST_F(StrLibTest, FindPairGivesTheInnermostPair) {
  const PairCase cases[] = {
      {"simple", "a[b]c", '[', ']', 0, "b"},
      {"innermost", "x[a[bc]d]", '[', ']', 0, "bc"},
      {"empty_pair", "[]", '[', ']', 0, ""},
      {"close_without_open_passed_over", "]x[y]", '[', ']', 0, "y"},
      {"same_char_pair", "a%bc%d", '%', '%', 0, "bc"},
      {"no_close", "a[b", '[', ']', 0, "<none>"},
      {"no_open", "ab]", '[', ']', 0, "<none>"},
      {"quoted_pair_skipped", "'[a]'[b]", '[', ']', 0, "b"},
      {"quoted_pair_plain", "'[a]'[b]", '[', ']', 1, "a"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    uint32_t r = StrFindPair(Lit(c.s), c.open, c.close, c.plain);
    if (c.inside == "<none>") {
      EXPECT_EQ(r, 0xFFFFFFFFu);
      continue;
    }
    ASSERT_NE(r, 0xFFFFFFFFu);
    EXPECT_EQ(c.s.substr(r & 0xFFFF, r >> 16), c.inside);
  }
}

// --- views ---

struct SubCase {
  const char* name;
  int32_t offset;
  uint16_t count;
  std::string_view expected;
};

TEST_F(StrLibTest, SubIsAClippedView) {
  const SubCase cases[] = {
      {"last_two", -2, 0, "ef"},
      {"count_cut_at_end", 4, 10, "ef"},
      {"offset_past_end", 9, 3, ""},
      {"offset_at_end", 6, 3, ""},
      {"middle", 1, 3, "bcd"},
      {"zero_count", 2, 0, ""},
      {"negative_beyond_start", -10, 1, "abcdef"},
  };
  StrDesc s = Lit("abcdef");
  TempMarkValue depth = TempMark();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    StrDesc r = StrSub(s, c.offset, c.count);
    EXPECT_EQ(S(r), c.expected);
    EXPECT_FALSE(StrIsError(r));
    EXPECT_GE(r.ptr, s.ptr);
    EXPECT_LE(r.ptr + r.len, s.ptr + s.len);
  }
  EXPECT_EQ(TempMark(), depth);
}

struct TrimCase {
  const char* name;
  std::string_view s;
  int sides;
  std::string_view expected;
};

TEST_F(StrLibTest, TrimRemovesBlanksAndTabsBySide) {
  const TrimCase cases[] = {
      {"both", " \ta b\t ", 3, "a b"}, {"left", "  ab  ", 1, "ab  "},
      {"right", "  ab  ", 2, "  ab"},  {"none", "  ab  ", 0, "  ab  "},
      {"all_blank", " \t ", 3, ""},    {"newline_is_not_blank", "\nab\n", 3, "\nab\n"},
  };
  TempMarkValue depth = TempMark();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(S(StrTrim(Lit(c.s), c.sides)), c.expected);
  }
  EXPECT_EQ(TempMark(), depth);

  TempMarkValue m = TempMark();
  EXPECT_EQ(S(StrTrimSet(Lit("--ab-c--"), 3, Lit("-"))), "ab-c");
  EXPECT_EQ(S(StrTrimSet(Lit("0012.50"), 2, Lit("0."))), "0012.5");
  EXPECT_EQ(S(StrTrimSet(Lit("xyx"), 1, Lit("xy"))), "");
  EXPECT_EQ(TempMark(), m + 3);  // StrTrimSet pushes its result
}

struct UnquoteCase {
  const char* name;
  std::string_view s;
  std::string_view unquoted;
  std::string_view normalized;
};

TEST_F(StrLibTest, UnquoteAndNormalize) {
  const UnquoteCase cases[] = {
      {"bare_is_upper_cased", "abc", "abc", "ABC"},
      {"apostrophes", "'abc'", "abc", "abc"},
      {"double_quotes", "\"aBc\"", "aBc", "aBc"},
      {"padded_keeps_case", " abc", " abc", "abc"},
      {"padded_and_quoted", " 'a b' ", " 'a b' ", "a b"},
      {"mismatched_quotes", "'abc\"", "'abc\"", "'ABC\""},
      {"lone_quote", "'", "'", "'"},
      {"empty_quotes", "''", "", ""},
      {"empty", "", "", ""},
      {"accented_bytes_unchanged",
       "\xE1"
       "b",
       "\xE1"
       "b",
       "\xE1"
       "B"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(S(StrUnquote(Lit(c.s))), c.unquoted);
    EXPECT_EQ(S(StrNormalize(Lit(c.s))), c.normalized);
  }
}

TEST_F(StrLibTest, NormalizePushesOnlyWhenItUpperCases) {
  TempMarkValue m = TempMark();
  StrDesc view = StrNormalize(Lit(" abc "));
  EXPECT_EQ(TempMark(), m);
  EXPECT_EQ(S(view), "abc");
  StrDesc upper = StrNormalize(Lit("abc"));
  EXPECT_EQ(TempMark(), m + 1);
  EXPECT_EQ(S(upper), "ABC");
}

// --- copies ---

TEST_F(StrLibTest, CaseConvertsAsciiLettersOnly) {
  EXPECT_EQ(S(StrCase(Lit("aZ9\xE1_q"), 1)), "AZ9\xE1_Q");
  EXPECT_EQ(S(StrCase(Lit("aZ9\xC1_Q"), 0)), "az9\xC1_q");
  EXPECT_EQ(S(StrCase(Lit("AbC"), 2)), "abc");  // any value but 1 lowers
  StrDesc src = Lit("abc");
  StrDesc r = StrCase(src, 1);
  EXPECT_NE(r.ptr, src.ptr);
}

struct ReplaceCase {
  const char* name;
  std::string_view s;
  std::string_view old_text;
  std::string_view new_text;
  int plain;
  std::string_view expected;
};

TEST_F(StrLibTest, ReplaceEveryOccurrenceLeftToRight) {
  const ReplaceCase cases[] = {
      {"same_length", "a-b-c", "-", "+", 1, "a+b+c"},
      {"grows", "a-b", "-", "--", 1, "a--b"},
      {"shrinks", "a--b--", "--", "", 1, "ab"},
      {"no_overlap", "aaa", "aa", "b", 1, "ba"},
      {"no_rescan_of_new_text", "ab", "a", "aa", 1, "aab"},
      {"absent", "abc", "x", "y", 1, "abc"},
      {"empty_old_changes_nothing", "abc", "", "y", 1, "abc"},
      {"whole_text", "abc", "abc", "", 1, ""},
      {"quoted_part_kept", "a 'a' a", "a", "b", 0, "b 'a' b"},
      {"quoted_part_plain", "a 'a' a", "a", "b", 1, "b 'b' b"},
      {"single_quote_is_plain", "it's 'x'", "'", "\"", 0, "it\"s \"x\""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempMarkValue m = TempMark();
    StrDesc r = StrReplace(Lit(c.s), Lit(c.old_text), Lit(c.new_text), c.plain);
    EXPECT_EQ(S(r), c.expected);
    EXPECT_EQ(TempMark(), m + 1);
    TempRelease(m);
  }
}

TEST_F(StrLibTest, ReplaceFailureIsRecordedUnderStrConcat) {
  // 40,000 bytes with every byte doubled would exceed 65,535.
  std::string big(40000, 'x');
  StrDesc s = StrMake(big.data(), static_cast<uint16_t>(big.size()));
  TempMarkValue m = TempMark();
  StrDesc r = StrReplace(s, Lit("x"), Lit("yy"), 1);
  EXPECT_EQ(StrCheck(r), kStMemTest);
  EXPECT_EQ(TempMark(), m);
  EXPECT_EQ(ErrWord(), (uint32_t{kModStrConcat} << 16) | kStMemTest);

  ErrClear();
  ExhaustMarks();
  r = StrReplace(Lit("abc"), Lit("b"), Lit("x"), 1);
  EXPECT_EQ(StrCheck(r), kStMemTest);
  EXPECT_EQ(ErrWord(), (uint32_t{kModStrConcat} << 16) | kStMemTest);
}

TEST_F(StrLibTest, KeepTranslateAndCollapse) {
  EXPECT_EQ(S(StrKeepChars(Lit("1.234,5 EUR"), Lit("0123456789.,-"))), "1.234,5");
  EXPECT_EQ(S(StrKeepChars(Lit("abc"), Lit(""))), "");
  EXPECT_EQ(S(StrTranslate(Lit("1.234,5"), Lit(".,"), Lit(",."))), "1,234.5");
  EXPECT_EQ(S(StrTranslate(Lit("abc"), Lit("aab"), Lit("xyz"))), "xzc");  // first 'a' counts
  EXPECT_EQ(S(StrTranslate(Lit("abc"), Lit("abc"), Lit("X"))), "Xbc");    // no partner: kept

  // "ae" becomes 0xE4 and "oe" 0xF6, each piece in turn.
  EXPECT_EQ(S(StrTranslateTokens(Lit("Maenner oefter"), Lit("aeoe"), Lit("\xE4\xF6"))),
            "M\xE4nner \xF6"
            "fter");
  EXPECT_EQ(S(StrTranslateTokens(Lit("abc"), Lit("x"), Lit("yz"))), "abc");  // pieces of 0
  EXPECT_EQ(S(StrTranslateTokens(Lit("abc"), Lit("b"), Lit(""))), "abc");

  EXPECT_EQ(S(StrCollapse(Lit("a   b  'c   d'  e"), ' ', 0)), "a b 'c   d' e");
  EXPECT_EQ(S(StrCollapse(Lit("a   b  'c   d'  e"), ' ', 1)), "a b 'c d' e");
  EXPECT_EQ(S(StrCollapse(Lit(",,a,,,b,"), ',', 1)), ",a,b,");
  EXPECT_EQ(S(StrCollapse(Lit("a 'b  "), ' ', 0)), "a 'b  ");  // unclosed quote runs to the end
}

TEST_F(StrLibTest, TranslateTokensKeepsOnlyItsResult) {
  TempMarkValue m = TempMark();
  StrDesc r = StrTranslateTokens(Lit("aabbcc"), Lit("aabbcc"), Lit("xyz"));
  EXPECT_EQ(S(r), "xyz");
  EXPECT_EQ(TempMark(), m + 1);
}

TEST_F(StrLibTest, WriteAtAndOverwriteClipToTheDestination) {
  struct Case {
    const char* name;
    int32_t offset;
    std::string_view src;
    std::string_view expected;
  };
  const Case cases[] = {
      {"start", 0, "XY", "XYcdef"},
      {"clipped_at_end", 4, "XYZ", "abcdXY"},
      {"negative_from_end", -2, "XYZ", "abcdXY"},
      {"negative_not_below_zero", -10, "XY", "XYcdef"},
      {"past_end", 6, "XY", "abcdef"},
      {"empty_src", 2, "", "abcdef"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    char buf[] = "abcdef";
    StrDesc dst = StrMake(buf, 6);
    EXPECT_EQ(StrWriteAt(dst, c.offset, Lit(c.src)), 0);
    EXPECT_EQ(std::string(buf, 6), c.expected);
    StrDesc src_text = Lit("abcdef");
    StrDesc over = StrOverwrite(src_text, c.offset, Lit(c.src));
    EXPECT_EQ(S(over), c.expected);
    EXPECT_EQ(S(src_text), "abcdef");  // the argument is not touched
  }
  char buf[] = "abc";
  EXPECT_EQ(StrWriteAt(StrMake(buf, 3), 0, StrError(145)), 145);
  EXPECT_EQ(StrWriteAt(StrError(146), 0, Lit("x")), 146);
  EXPECT_EQ(std::string(buf), "abc");
}

TEST_F(StrLibTest, AppendAtMovesIntoTheCallersBuffer) {
  char buf[16] = "abc";
  StrDesc r = StrAppendAt(Lit("de"), buf, 3);
  EXPECT_EQ(r.ptr, buf);
  EXPECT_EQ(S(r), "abcde");
  r = StrAppendAt(StrDesc{buf + 1, 2}, buf, 5);  // source inside the buffer
  EXPECT_EQ(S(r), "abcdebc");
  EXPECT_EQ(StrCheck(StrAppendAt(Lit("x"), buf, 0xFFFF)), kStStringTooLong);
  EXPECT_EQ(StrCheck(StrAppendAt(Lit("x"), nullptr, 0)), kStData);
  EXPECT_EQ(StrCheck(StrAppendAt(StrError(145), buf, 0)), 145);
}

TEST_F(StrLibTest, WrapAndBrackets) {
  EXPECT_EQ(BracketPartner('('), ')');
  EXPECT_EQ(BracketPartner('<'), '>');
  EXPECT_EQ(BracketPartner('%'), '%');
  EXPECT_EQ(BracketPartner(']'), ']');
  EXPECT_EQ(S(StrWrap(Lit("a"), '[')), "[a]");
  EXPECT_EQ(S(StrWrap(Lit(""), '{')), "{}");
  EXPECT_EQ(S(StrWrap(Lit("x"), '%')), "%x%");

  EXPECT_TRUE(StrIsWrapped(Lit("(a)"), 3, '('));
  EXPECT_TRUE(StrIsWrapped(Lit("()"), 2, '('));
  EXPECT_FALSE(StrIsWrapped(Lit("("), 1, '('));
  EXPECT_FALSE(StrIsWrapped(Lit("(a)x"), 4, '('));
  EXPECT_TRUE(StrIsWrapped(Lit("(a)x"), 3, '('));
  EXPECT_FALSE(StrIsWrapped(Lit("(a"), 40, '('));  // length clipped to the text
  EXPECT_TRUE(StrIsWrapped(Lit("'a'"), 3, '\''));
  EXPECT_FALSE(StrIsWrapped(StrError(145), 3, '('));
}

TEST_F(StrLibTest, BracketedFindsTheBalancedPartner) {
  struct Case {
    const char* name;
    std::string_view s;
    char open;
    int plain;
    std::string_view expected;
  };
  const Case cases[] = {
      {"nested", "f(a(b)c)d", '(', 0, "a(b)c"},
      {"first_open_counts", "x(a)(b)", '(', 0, "a"},
      {"unbalanced", "f(a(b)c", '(', 0, ""},
      {"no_open", "abc", '(', 0, ""},
      {"same_char", "x%ab%c%", '%', 0, "ab"},
      {"same_char_unclosed", "x%ab", '%', 0, ""},
      {"quoted_close_skipped", "(a')'b)", '(', 0, "a')'b"},
      {"quoted_close_plain", "(a')'b)", '(', 1, "a'"},
      {"quote_as_bracket", "say 'hi' now", '\'', 0, "hi"},
      {"empty_inside", "a[]b", '[', 0, ""},
  };
  TempMarkValue m = TempMark();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    StrDesc r = StrBracketed(Lit(c.s), c.open, c.plain);
    EXPECT_FALSE(StrIsError(r));
    EXPECT_EQ(S(r), c.expected);
  }
  EXPECT_EQ(TempMark(), m);
}

TEST_F(StrLibTest, QuoteAndPair) {
  EXPECT_EQ(S(StrQuote(Lit("abc"), '\'')), "'abc'");
  EXPECT_EQ(S(StrQuote(Lit("it's"), '\'')), "\"it's\"");
  EXPECT_EQ(S(StrQuote(Lit("say \"x\""), '"')), "'say \"x\"'");
  EXPECT_EQ(StrCheck(StrQuote(Lit("it's \"x\""), '\'')), kStData);
  EXPECT_EQ(S(StrQuote(Lit(""), '"')), "\"\"");

  EXPECT_EQ(S(StrPair(Lit("KEY"), Lit("v"))), "KEY=v");
  EXPECT_EQ(StrCheck(StrPair(Lit(""), Lit("v"))), kStData);
  EXPECT_EQ(StrCheck(StrPair(Lit("k"), Lit(""))), kStData);
}

TEST_F(StrLibTest, CstrIsATerminatedTemporary) {
  TempMarkValue m = TempMark();
  StrDesc src = Lit("abc");
  const char* c = StrCstr(src);
  EXPECT_STREQ(c, "abc");
  EXPECT_NE(c, src.ptr);
  EXPECT_EQ(TempMark(), m + 1);
  EXPECT_STREQ(StrCstr(Lit("")), "");
  EXPECT_EQ(TempMark(), m + 2);

  TempRelease(m);
  EXPECT_STREQ(StrCstr(StrError(145)), "");
  EXPECT_EQ(TempMark(), m);
  std::string big(0xFFFF, 'x');
  EXPECT_STREQ(StrCstr(StrMake(big.data(), 0xFFFF)), "");
  EXPECT_EQ(TempMark(), m);
}

// --- integers ---

struct IntCase {
  const char* name;
  std::string_view s;
  bool yes;
  int16_t value;
};

TEST_F(StrLibTest, YesWordsAndIntegers) {
  const IntCase cases[] = {
      {"si_lower", "si", true, 1},
      {"yes_mixed", "YeS", true, 1},
      {"on", "ON", true, 1},
      {"s", "s", true, 1},
      {"no", "NO", false, 0},
      {"yes_padded_is_not_yes", " YES", false, 0},
      {"yes_longer", "YESS", false, 0},
      {"digits_then_text", "12abc", false, 12},
      {"text", "abc", false, 0},
      {"blanks_and_sign", " \t-42", false, -42},
      {"plus", "+7", false, 7},
      {"sign_alone", "-", false, 0},
      {"empty", "", false, 0},
      {"max16", "32767", false, 32767},
      {"min16", "-32768", false, -32768},
      {"low_16_bits_kept", "70000", false, 4464},
      {"negative_wraps_too", "-70000", false, -4464},
      {"many_digits_no_ub", "123456789012345678901234567890", false, static_cast<int16_t>(0x0AD2)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(StrIsYes(Lit(c.s)), c.yes);
    EXPECT_EQ(StrToInt(Lit(c.s)), c.value);
  }
  EXPECT_EQ(StrToInt(StrError(145)), 0);
  EXPECT_FALSE(StrIsYes(StrError(145)));
}

TEST_F(StrLibTest, Integers64SaturateAtTheRange) {
  EXPECT_EQ(StrToInt64(Lit("9223372036854775807")), INT64_MAX);
  EXPECT_EQ(StrToInt64(Lit("9223372036854775808")), INT64_MAX);
  EXPECT_EQ(StrToInt64(Lit("-9223372036854775808")), INT64_MIN);
  EXPECT_EQ(StrToInt64(Lit("-99999999999999999999")), INT64_MIN);
  EXPECT_EQ(StrToInt64(Lit("70000")), 70000);
  EXPECT_EQ(StrToInt64(Lit("y")), 1);
  EXPECT_EQ(IntOr(0, 5), 5);
  EXPECT_EQ(IntOr(-1, 5), -1);
  EXPECT_EQ(Max16(-3, 2), 2);
  EXPECT_EQ(Min16(-3, 2), -3);
}

// --- the TempStack contract of every string operation ---

struct OpCase {
  const char* name;
  std::function<StrDesc(StrDesc)> op;  // applied to a valid or an error argument
  int pushes;                          // entries left by a successful call
};

TEST_F(StrLibTest, OperationsPassErrorsThroughAndLeaveOnlyTheirResult) {
  StrDesc text = Lit("a,b 'c' [d]");
  const OpCase cases[] = {
      {"sub", [](StrDesc s) { return StrSub(s, 1, 2); }, 0},
      {"trim", [](StrDesc s) { return StrTrim(s, 3); }, 0},
      {"trim_set", [](StrDesc s) { return StrTrimSet(s, 3, Lit("a")); }, 1},
      {"unquote", [](StrDesc s) { return StrUnquote(s); }, 0},
      {"case", [](StrDesc s) { return StrCase(s, 1); }, 1},
      {"replace", [](StrDesc s) { return StrReplace(s, Lit(","), Lit(";;"), 0); }, 1},
      {"replace_old", [](StrDesc s) { return StrReplace(Lit("x"), s, Lit(""), 0); }, 1},
      {"keep", [](StrDesc s) { return StrKeepChars(s, Lit("ab")); }, 1},
      {"translate", [](StrDesc s) { return StrTranslate(s, Lit("a"), Lit("b")); }, 1},
      {"translate_tokens", [](StrDesc s) { return StrTranslateTokens(s, Lit("a,b "), Lit("xy")); },
       1},
      {"collapse", [](StrDesc s) { return StrCollapse(s, ' ', 0); }, 1},
      {"overwrite", [](StrDesc s) { return StrOverwrite(s, 1, Lit("zz")); }, 1},
      {"overwrite_src", [](StrDesc s) { return StrOverwrite(Lit("abc"), 1, s); }, 1},
      {"wrap", [](StrDesc s) { return StrWrap(s, '('); }, 1},
      {"bracketed", [](StrDesc s) { return StrBracketed(s, '[', 0); }, 0},
      {"quote", [](StrDesc s) { return StrQuote(s, '"'); }, 1},
      {"pair_left", [](StrDesc s) { return StrPair(s, Lit("v")); }, 1},
      {"pair_right", [](StrDesc s) { return StrPair(Lit("k"), s); }, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempMarkValue m = TempMark();
    StrDesc ok = c.op(text);
    EXPECT_FALSE(StrIsError(ok));
    EXPECT_EQ(TempMark(), m + c.pushes);
    TempRelease(m);

    StrDesc err = StrError(147);
    StrDesc r = c.op(err);
    EXPECT_EQ(r.ptr, nullptr);
    EXPECT_EQ(r.len, 147);
    EXPECT_EQ(TempMark(), m);
  }
}

TEST_F(StrLibTest, FullTempStackGives145AndLeavesTheDepth) {
  ExhaustMarks();
  TempMarkValue m = TempMark();
  EXPECT_EQ(StrCheck(StrCase(Lit("a"), 1)), kStOutOfMemory);
  EXPECT_EQ(StrCheck(StrKeepChars(Lit("a"), Lit("a"))), kStOutOfMemory);
  EXPECT_EQ(StrCheck(StrCollapse(Lit("a"), ' ', 0)), kStOutOfMemory);
  EXPECT_EQ(StrCheck(StrWrap(Lit("a"), '(')), kStOutOfMemory);
  EXPECT_EQ(StrCheck(StrPair(Lit("a"), Lit("b"))), kStOutOfMemory);
  EXPECT_EQ(StrCheck(StrTranslateTokens(Lit("ab"), Lit("a"), Lit("x"))), kStMemTest);
  EXPECT_EQ(TempMark(), m);
  // Views still work.
  EXPECT_EQ(S(StrTrim(Lit(" a "), 3)), "a");
}

}  // namespace
