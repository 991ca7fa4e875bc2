// Tests of token lists, ranges, key=value texts, arrays kept inside strings
// and bounded text buffers.
#include "core/token_list.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <string_view>

#include "core/status.h"
#include "core/str_lib.h"
#include "core/temp_stack.h"
#include "support/runtime_fixture.h"

using namespace std::string_view_literals;
using qtest::S;

namespace {

class TokenListTest : public RuntimeTest {};

constexpr std::string_view kYesWords = "YES,SI,Y,S,ON";

// --- items ---

struct CountCase {
  const char* name;
  std::string_view s;
  uint16_t count;
};

TEST_F(TokenListTest, CountCountsSeparatorsOutsideQuotes) {
  const CountCase cases[] = {
      {"empty", "", 0},
      {"one", "a", 1},
      {"trailing_separator", "a,b,", 3},
      {"lone_separator", ",", 2},
      {"quoted_separator", "a,'b,c',d", 3},
      {"double_quoted_separator", "\"a,b\"", 1},
      {"unclosed_quote", "a,'b,c", 2},
      {"blank_item", " ", 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(ListCount(Lit(c.s), ','), c.count);
  }
  EXPECT_EQ(ListCount(StrError(145), ','), 0);
  std::string all(0xFFFF, ',');
  EXPECT_EQ(ListCount(StrMake(all.data(), 0xFFFF), ','), 0xFFFF);  // 65,536 items, clipped
}

struct ItemCase {
  const char* name;
  std::string_view s;
  char sep;
  uint16_t n;
  std::string_view item;
};

TEST_F(TokenListTest, ItemIsAViewOfTheNthItem) {
  const ItemCase cases[] = {
      {"first", "a,b,c", ',', 1, "a"},
      {"last", "a,b,c", ',', 3, "c"},
      {"zero", "a,b,c", ',', 0, ""},
      {"beyond", "a,b,c", ',', 4, ""},
      {"quotes_kept", "a,'b,c',d", ',', 2, "'b,c'"},
      {"after_quoted", "a,'b,c',d", ',', 3, "d"},
      {"empty_middle", "a,,c", ',', 2, ""},
      {"trailing_empty", "a,b,", ',', 3, ""},
      {"other_separator", "x:y:z", ':', 2, "y"},
      {"comma_is_text_with_other_sep", "a,b:c", ':', 1, "a,b"},
      {"nul_separator", "ab\0cd"sv, '\0', 2, "cd"},
      {"empty_text", "", ',', 1, ""},
  };
  TempMarkValue m = TempMark();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    StrDesc s = Lit(c.s);
    StrDesc item = ListItem(s, c.sep, c.n);
    EXPECT_FALSE(StrIsError(item));
    EXPECT_EQ(S(item), c.item);
    EXPECT_GE(item.ptr, s.ptr);
    EXPECT_LE(item.ptr + item.len, s.ptr + s.len);
  }
  EXPECT_EQ(TempMark(), m);
  EXPECT_EQ(StrCheck(ListItem(StrError(147), ',', 1)), 147);
}

TEST_F(TokenListTest, FindIsExactAndCaseSensitive) {
  struct Case {
    const char* name;
    std::string_view list;
    std::string_view word;
    uint16_t pos;
  };
  const Case cases[] = {
      {"s_is_fourth", kYesWords, "S", 4},
      {"si_is_second", kYesWords, "SI", 2},
      {"lower_case_absent", kYesWords, "si", 0},
      {"prefix_is_not_equal", kYesWords, "YE", 0},
      {"first", kYesWords, "YES", 1},
      {"last", kYesWords, "ON", 5},
      {"word_longer_than_list", "A", "ABC", 0},
      {"empty_item", "a,,b", "", 2},
      {"quoted_item_as_written", "a,'b,c'", "'b,c'", 2},
      {"first_of_repeats", "x,y,x", "x", 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(ListFind(Lit(c.list), Lit(c.word), ','), c.pos);
  }
  EXPECT_EQ(ListFind(StrError(145), Lit("a"), ','), 0);
}

TEST_F(TokenListTest, ItemIntNormalizesFirst) {
  StrDesc s = Lit(" 12 ,'7',si,abc, -3x,70000");
  TempMarkValue m = TempMark();
  EXPECT_EQ(ListItemInt(s, ',', 1), 12);
  EXPECT_EQ(ListItemInt(s, ',', 2), 7);
  EXPECT_EQ(ListItemInt(s, ',', 3), 1);
  EXPECT_EQ(ListItemInt(s, ',', 4), 0);
  EXPECT_EQ(ListItemInt(s, ',', 5), -3);
  EXPECT_EQ(ListItemInt(s, ',', 6), 4464);
  EXPECT_EQ(ListItemInt(s, ',', 9), 0);
  EXPECT_EQ(TempMark(), m);
}

struct EditCase {
  const char* name;
  std::string_view s;
  uint16_t n;
  std::string_view expected;
};

TEST_F(TokenListTest, SetItemReplacesAppendsOrExtends) {
  const EditCase cases[] = {
      {"extend_with_empty_items", "a,b", 4, "a,b,,x"},
      {"append_with_zero", "a,b", 0, "a,b,x"},
      {"append_next", "a,b", 3, "a,b,x"},
      {"replace_first", "a,b,c", 1, "x,b,c"},
      {"replace_middle", "a,bb,c", 2, "a,x,c"},
      {"replace_last", "a,b,c", 3, "a,b,x"},
      {"replace_quoted", "a,'b,c',d", 2, "a,x,d"},
      {"replace_empty_item", "a,,c", 2, "a,x,c"},
      {"empty_text_item_one", "", 1, "x"},
      {"empty_text_item_three", "", 3, ",,x"},
      {"empty_text_append", "", 0, "x"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempMarkValue m = TempMark();
    EXPECT_EQ(S(ListSetItem(Lit(c.s), ',', c.n, Lit("x"))), c.expected);
    EXPECT_EQ(TempMark(), m + 1);
    TempRelease(m);
  }
  EXPECT_EQ(S(ListSetItem(Lit("a;b"), ';', 2, Lit(""))), "a;");
  EXPECT_EQ(StrCheck(ListSetItem(StrError(145), ',', 1, Lit("x"))), 145);
  EXPECT_EQ(StrCheck(ListSetItem(Lit("a"), ',', 1, StrError(146))), 146);
  // 65,535 separators cannot be added to a text.
  EXPECT_EQ(StrCheck(ListSetItem(Lit("a"), ',', 0xFFFF, Lit("x"))), kStStringTooLong);
}

TEST_F(TokenListTest, RemoveItemTakesOneSeparatorWithIt) {
  const EditCase cases[] = {
      {"first", "a,b,c", 1, "b,c"},      {"middle", "a,b,c", 2, "a,c"},
      {"last", "a,b,c", 3, "a,b"},       {"only", "abc", 1, ""},
      {"beyond", "a,b", 3, "a,b"},       {"zero", "a,b", 0, "a,b"},
      {"quoted", "a,'b,c',d", 2, "a,d"}, {"trailing_empty", "a,b,", 3, "a,b"},
      {"leading_empty", ",b", 1, "b"},   {"empty_text", "", 1, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempMarkValue m = TempMark();
    EXPECT_EQ(S(ListRemoveItem(Lit(c.s), ',', c.n)), c.expected);
    EXPECT_EQ(TempMark(), m + 1);
    TempRelease(m);
  }
  EXPECT_EQ(StrCheck(ListRemoveItem(StrError(147), ',', 1)), 147);
}

TEST_F(TokenListTest, ItemLengthOfUnquotedItems) {
  StrDesc s = Lit("ab,'cdef',g");
  EXPECT_EQ(ListItemLength(s, ',', false), 4);  // cdef without its quotes
  EXPECT_EQ(ListItemLength(s, ',', true), 1);
  EXPECT_EQ(ListItemLength(Lit("abc"), ',', true), 3);
  EXPECT_EQ(ListItemLength(Lit("a,,b"), ',', true), 0);
  EXPECT_EQ(ListItemLength(Lit(""), ',', false), 0);
  EXPECT_EQ(ListItemLength(Lit(""), ',', true), 0);
}

TEST_F(TokenListTest, UnionAndDifference) {
  struct Case {
    const char* name;
    std::string_view a;
    char sep_a;
    std::string_view b;
    char sep_b;
    std::string_view uni;
    std::string_view diff;
  };
  const Case cases[] = {
      {"overlap", "a,b", ',', "b,c,d", ',', "a,b,c,d", "c,d"},
      {"no_overlap", "a", ',', "x", ',', "a,x", "x"},
      {"all_present", "a,b", ',', "b,a", ',', "a,b", ""},
      {"empty_a", "", ',', "x,y", ',', "x,y", "x,y"},
      {"empty_b", "a,b", ',', "", ',', "a,b", ""},
      {"mixed_separators", "a;b", ';', "b,c", ',', "a;b;c", "c"},
      {"case_sensitive", "A", ',', "a", ',', "A,a", "a"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempMarkValue m = TempMark();
    EXPECT_EQ(S(ListUnion(Lit(c.a), c.sep_a, Lit(c.b), c.sep_b)), c.uni);
    EXPECT_EQ(S(ListDifference(Lit(c.a), c.sep_a, Lit(c.b), c.sep_b)), c.diff);
    EXPECT_EQ(TempMark(), m + 2);
    TempRelease(m);
  }
  EXPECT_EQ(StrCheck(ListUnion(StrError(145), ',', Lit("a"), ',')), 145);
  EXPECT_EQ(StrCheck(ListDifference(Lit("a"), ',', StrError(146), ',')), 146);
}

TEST_F(TokenListTest, SplitMakesOneArrayOfViews) {
  StrDesc s = Lit("a,'b,c',,d");
  TempMarkValue m = TempMark();
  StrDesc array = ListSplit(s, ',');
  ASSERT_FALSE(StrIsError(array));
  EXPECT_EQ(TempMark(), m + 1);
  uint16_t count = ListCount(s, ',');
  ASSERT_EQ(count, 4);
  EXPECT_EQ(array.len, count * sizeof(StrDesc));
  const char* expected[] = {"a", "'b,c'", "", "d"};
  for (uint16_t n = 1; n <= count; ++n) {
    StrDesc item = ArrayItem(array, count, n);
    EXPECT_EQ(S(item), expected[n - 1]) << n;
    EXPECT_GE(item.ptr, s.ptr);  // a view into s
  }
  EXPECT_EQ(S(ArrayItem(array, count, 0)), "");
  EXPECT_EQ(S(ArrayItem(array, count, 5)), "");
  EXPECT_EQ(S(ArrayItem(array, 9, 5)), "");  // count larger than the array

  EXPECT_EQ(ListSplit(Lit(""), ',').len, 0);
  std::string many(5000, ',');
  EXPECT_EQ(StrCheck(ListSplit(StrMake(many.data(), 5000), ',')), kStStringTooLong);
}

TEST_F(TokenListTest, Ranges) {
  struct Case {
    const char* name;
    std::string_view range;
    int64_t value;
    bool inside;
  };
  const Case cases[] = {
      {"low_bound", "10-20", 10, true},
      {"high_bound", "10-20", 20, true},
      {"below", "10-20", 9, false},
      {"above", "10-20", 21, false},
      {"single_value", "7", 7, true},
      {"single_value_other", "7", 8, false},
      {"first_and_last_items", "1-5-9", 8, true},
      {"sixty_four_bit", "5000000000-6000000000", 5500000000, true},
      {"blanks", " 1 - 3 ", 2, true},
      {"empty_contains_nothing", "", 0, false},
      {"yes_word_is_not_one", "Y", 1, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(RangeContains(Lit(c.range), c.value), c.inside);
  }
  StrDesc list = Lit("1-9,10-19,15-30,40");
  EXPECT_EQ(RangeListFind(list, 5), 1);
  EXPECT_EQ(RangeListFind(list, 15), 2);
  EXPECT_EQ(RangeListFind(list, 25), 3);
  EXPECT_EQ(RangeListFind(list, 40), 4);
  EXPECT_EQ(RangeListFind(list, 35), 0);
  EXPECT_EQ(RangeListFind(Lit("1-2,,3-4"), 0), 0);
  EXPECT_EQ(RangeListFind(StrError(145), 1), 0);
}

// --- key=value texts ---

struct KvCase {
  const char* name;
  std::string_view text;
  std::string_view key;
  int flags;
  std::string_view value;  // "<none>" when not found
};

TEST_F(TokenListTest, KvFindAndGet) {
  const KvCase cases[] = {
      {"normalized_upper", "/APNAME=qo0001", "APNAME", 3, "QO0001"},
      {"key_after_letter_ignored", "XAPNAME=1", "APNAME", 3, "<none>"},
      {"after_letter_then_real", "XA=1 A=2", "A", 0, "2"},
      {"at_start", "A=1", "A", 0, "1"},
      {"after_colon", "X:1:A=2", "A", 0, "2"},
      {"after_ampersand", "X=1&A=2", "A", 0, "2"},
      {"value_ends_at_blank", "/A=1 /B=2", "A", 0, "1"},
      {"value_ends_at_slash", "/A=1/B=2", "A", 0, "1"},
      {"colon_wins_over_equals", "A=1 A:2", "A", 0, "2"},
      {"colon_value", "LANG:ES", "LANG", 0, "ES"},
      {"quoted_value_kept_whole", "/T='a b/c' /U=1", "T", 0, "'a b/c'"},
      {"quoted_value_unquoted", "/T='a b/c' /U=1", "T", 1, "a b/c"},
      {"quoted_value_normalized_keeps_case", "/T='ab' ", "T", 3, "ab"},
      {"key_inside_quotes_skipped", "/X='A=1' /A=2", "A", 0, "2"},
      {"case_matters", "/apname=x", "APNAME", 0, "<none>"},
      {"empty_value", "/A= /B=1", "A", 0, ""},
      {"value_to_end", "/A=xyz", "A", 0, "xyz"},
      {"key_not_followed_by_mark", "/AB=1", "A", 0, "<none>"},
      {"nul_blocks", "X=1\0A=a b:c\0B=2"sv, "A", 4, "a b:c"},
      {"nul_blocks_need_nul_before", "X=1 A=2"sv, "A", 4, "<none>"},
      {"nul_blocks_ignore_quotes", "X='\0A=1\0"sv, "A", 4, "1"},
      {"empty_key", "=1", "", 0, "<none>"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    StrDesc text = Lit(c.text);
    uint32_t r = KvFind(text, Lit(c.key), c.flags);
    if (c.value == "<none>") {
      EXPECT_EQ(r & 0xFFFF, kNotFound);
      TempMarkValue m = TempMark();
      StrDesc v = KvGet(text, Lit(c.key), c.flags);
      EXPECT_FALSE(StrIsError(v));
      EXPECT_EQ(v.len, 0);
      EXPECT_EQ(TempMark(), m);
      if ((c.flags & 4) == 0) {  // KvPush searches in the normal mode
        EXPECT_EQ(KvPush(text, Lit(c.key)), kStNoData);
        EXPECT_EQ(TempMark(), m);
      }
      continue;
    }
    ASSERT_NE(r & 0xFFFF, kNotFound);
    StrDesc v = KvGet(text, Lit(c.key), c.flags);
    EXPECT_EQ(S(v), c.value);
  }
}

TEST_F(TokenListTest, KvGetFlagsSelectTheShaping) {
  StrDesc text = Lit("/A=' x' /B=abc");
  EXPECT_EQ(S(KvGet(text, Lit("A"), 0)), "' x'");
  EXPECT_EQ(S(KvGet(text, Lit("A"), 2)), "' x'");
  EXPECT_EQ(S(KvGet(text, Lit("A"), 1)), " x");
  EXPECT_EQ(S(KvGet(text, Lit("A"), 3)), " x");
  EXPECT_EQ(S(KvGet(text, Lit("B"), 3)), "ABC");
  TempMarkValue m = TempMark();
  KvGet(text, Lit("B"), 1);
  EXPECT_EQ(TempMark(), m);  // a view
  KvGet(text, Lit("B"), 3);
  EXPECT_EQ(TempMark(), m + 1);  // the upper-cased copy
  TempRelease(m);
  EXPECT_EQ(StrCheck(KvGet(StrError(147), Lit("A"), 3)), 147);
  EXPECT_EQ(StrCheck(KvGet(text, StrError(146), 3)), 146);
}

TEST_F(TokenListTest, KvPushPushesTheValue) {
  StrDesc text = Lit("/T='a b' /P%='x' /N=5");
  TempMarkValue m = TempMark();
  EXPECT_EQ(KvPush(text, Lit("T")), 0);
  EXPECT_EQ(TempMark(), m + 1);
  EXPECT_EQ(S(TempTop()), "a b");
  EXPECT_EQ(KvPush(text, Lit("P%")), 0);
  EXPECT_EQ(S(TempTop()), "'x'");  // a key with % keeps the quotes
  EXPECT_EQ(KvPush(text, Lit("N")), 0);
  EXPECT_EQ(S(TempTop()), "5");
  EXPECT_EQ(TempMark(), m + 3);
  TempRelease(m);
  EXPECT_EQ(KvPush(StrError(147), Lit("T")), 147);
  EXPECT_EQ(KvPush(text, StrError(146)), 146);
  EXPECT_EQ(TempMark(), m);
}

// --- arrays kept inside strings ---

TEST_F(TokenListTest, Arrays16) {
  unsigned char bytes[6] = {0x34, 0x12, 0xFF, 0xFF, 0, 0};
  StrDesc s = StrMake(reinterpret_cast<char*>(bytes), 6);
  EXPECT_EQ(ArrayCheck(s, 2, 2), 0);
  EXPECT_EQ(ArrayCheck(s, 3, 2), 0xFFFF);
  EXPECT_EQ(ArrayCheck(StrMake(reinterpret_cast<char*>(bytes), 5), 0, 2), 0xFFFF);
  EXPECT_EQ(ArrayCheck(s, 0, 0), 0xFFFF);
  EXPECT_EQ(ArrayCheck(StrError(145), 0, 2), 0xFFFF);

  EXPECT_EQ(ArrayGet16(s, 0), 0x1234);  // least significant byte first
  EXPECT_EQ(ArrayGet16(s, 1), 0xFFFF);
  EXPECT_EQ(ArrayGet16(s, 3), 0);
  ArraySet16(s, 2, 0xABCD);
  EXPECT_EQ(bytes[4], 0xCD);
  EXPECT_EQ(bytes[5], 0xAB);
  ArraySet16(s, 3, 0x1111);  // out of range: nothing written
  ArraySet16(StrMake(reinterpret_cast<char*>(bytes), 5), 0, 0x1111);
  EXPECT_EQ(bytes[0], 0x34);
}

TEST_F(TokenListTest, ArrayDescriptorsAndSearch) {
  StrDesc items[2] = {Lit("one"), Lit("two")};
  StrDesc s = StrMake(reinterpret_cast<char*>(items), sizeof items);
  EXPECT_EQ(S(ArrayGetDesc(s, 1)), "two");
  StrDesc out = ArrayGetDesc(s, 2);
  EXPECT_EQ(out.ptr, nullptr);
  EXPECT_EQ(StrCheck(out), 0xFFFF);

  const uint32_t records[] = {7, 0, 9, 0};
  uint32_t nine = 9;
  EXPECT_EQ(ArrayFind(records, 4, &nine, 4), 2);
  uint32_t eight = 8;
  EXPECT_EQ(ArrayFind(records, 4, &eight, 4), -1);
  EXPECT_EQ(ArrayFind(records, 2, &nine, 4), -1);  // only the first count elements
  EXPECT_EQ(ArrayFindNull(records, 4), 1);
  EXPECT_EQ(ArrayFindNull(records, 1), -1);
  EXPECT_EQ(ArrayFind(nullptr, 4, &nine, 4), -1);
  EXPECT_EQ(ArrayFind(records, 4, &nine, 0), -1);
  const char pairs[] = "aabbcc";
  EXPECT_EQ(ArrayFind(pairs, 3, "cc", 2), 2);
}

// --- bounded text buffers ---

TEST_F(TokenListTest, BufferWriteFailsOnceAndThenStaysEmpty) {
  char storage[8] = {};
  TextBuffer buf;
  buf.ptr = storage;
  buf.capacity = 8;

  StrDesc w = BufferWrite(&buf, Lit("abc"), -1);
  EXPECT_EQ(S(w), "abc");
  EXPECT_EQ(w.ptr, storage);
  EXPECT_EQ(buf.used, 3);
  EXPECT_EQ(S(BufferWrite(&buf, Lit("de"), -1)), "de");
  EXPECT_EQ(buf.used, 5);
  EXPECT_EQ(S(BufferWrite(&buf, Lit("X"), 1)), "X");  // inside: used stays
  EXPECT_EQ(buf.used, 5);
  EXPECT_EQ(std::string(storage, 5), "aXcde");
  EXPECT_EQ(S(BufferWrite(&buf, Lit("fgh"), -1)), "fgh");  // exactly full
  EXPECT_EQ(buf.used, 8);
  EXPECT_EQ(buf.status, 0);

  StrDesc fail = BufferWrite(&buf, Lit("i"), -1);
  EXPECT_EQ(StrCheck(fail), kStStrConcat);
  EXPECT_EQ(buf.status, kStStrConcat);
  EXPECT_EQ(buf.used, 8);
  StrDesc later = BufferWrite(&buf, Lit("j"), 0);  // would fit, but the buffer failed
  EXPECT_FALSE(StrIsError(later));
  EXPECT_EQ(later.len, 0);
  EXPECT_EQ(std::string(storage, 8), "aXcdefgh");
  EXPECT_EQ(buf.status, kStStrConcat);
}

TEST_F(TokenListTest, BufferWriteEdges) {
  char storage[4] = {};
  TextBuffer buf;
  buf.ptr = storage;
  buf.capacity = 4;
  EXPECT_EQ(StrCheck(BufferWrite(&buf, StrError(147), -1)), 147);
  EXPECT_EQ(buf.status, 0);  // an error argument does not fail the buffer
  EXPECT_EQ(S(BufferWrite(&buf, Lit("z"), 3)), "z");
  EXPECT_EQ(buf.used, 4);
  EXPECT_EQ(StrCheck(BufferWrite(nullptr, Lit("a"), -1)), kStData);
  TextBuffer none;
  EXPECT_EQ(StrCheck(BufferWrite(&none, Lit(""), -1)), kStData);
  EXPECT_EQ(none.status, 0);

  TextBuffer small;
  small.ptr = storage;
  small.capacity = 4;
  EXPECT_EQ(StrCheck(BufferWrite(&small, Lit("ab"), 3)), kStStrConcat);
  EXPECT_EQ(small.used, 0);
}

}  // namespace
