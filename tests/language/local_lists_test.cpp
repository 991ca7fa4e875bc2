// Local lists and the one-call sort: insertion order and equal keys, unique
// keys, descending lists, growth against a plain model, cursor moves at both
// ends, GET outside the list, KILL and handle checks, the sort flags and the
// SORT$ argument rules.
#include "language/local_lists.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "core/fixed_point.h"
#include "core/mem_pool.h"
#include "core/temp_stack.h"
#include "support/runtime_fixture.h"

namespace {

using qtest::S;

uint16_t ListBlocks() {
  uint16_t count = 0;
  for (uint16_t i = 0; MemEntry(i) != nullptr; ++i) {
    const MemEntryRecord* e = MemEntry(i);
    if (e->data != nullptr && e->owner == kOwnerLocalLists) ++count;
  }
  return count;
}

class LocalListTest : public RuntimeTest {
 protected:
  void TearDown() override {
    ReleaseLocalLists();
    RuntimeTest::TearDown();
  }

  // Each helper leaves the TempStack as it found it.
  std::string New(int32_t a, int32_t b, int32_t flags) {
    const TempMarkValue mark = TempMark();
    EXPECT_EQ(LocalListNew(a, b, flags), 0);
    std::string handle = S(TempTop());
    TempRelease(mark);
    EXPECT_EQ(handle.size(), kListHandleSize);
    return handle;
  }
  // Adds item; on status 0 or 5 the handle is replaced by the pushed one.
  Status Add(std::string* handle, const std::string& item) {
    const TempMarkValue mark = TempMark();
    const Status st = LocalListAdd(Lit(*handle), Lit(item));
    if (st == 0 || st == 5) *handle = S(TempTop());
    TempRelease(mark);
    return st;
  }
  int16_t Move(std::string* handle, const char* verb) {
    const TempMarkValue mark = TempMark();
    int16_t outcome = -1;
    EXPECT_EQ(LocalListMove(Lit(*handle), Lit(verb), &outcome), 0) << verb;
    *handle = S(TempTop());
    TempRelease(mark);
    return outcome;
  }
  std::string Get(const std::string& handle) {
    const TempMarkValue mark = TempMark();
    EXPECT_EQ(LocalListGet(Lit(handle)), 0);
    std::string item = S(TempTop());
    TempRelease(mark);
    return item;
  }
  // Every item from the first to the last, read through MOVE and GET.
  std::vector<std::string> ReadAll(std::string handle) {
    std::vector<std::string> items;
    if (Move(&handle, "TOP") != 0) return items;
    do {
      items.push_back(Get(handle));
    } while (Move(&handle, "NEXT") == 0);
    return items;
  }
  std::string Sort(const std::string& text, int32_t flags, Status expect = 0) {
    const TempMarkValue mark = TempMark();
    const Status st = LocalSort(Lit(text), flags);
    EXPECT_EQ(st, expect) << text;
    std::string result = st == 0 ? S(TempTop()) : std::string();
    TempRelease(mark);
    return result;
  }
};

using ItemList = std::vector<std::string>;

TEST_F(LocalListTest, NewTakesWidthAndKeyFromTheTwoSizes) {
  std::string h = New(3, 10, 0);  // key 3, width 10 whichever comes first
  EXPECT_EQ(Add(&h, "abcdefghij"), 0);
  EXPECT_EQ(Add(&h, "abcdefghijk"), 163) << "longer than the width";
  std::string g = New(10, 3, 0);
  EXPECT_EQ(Add(&g, "abcdefghij"), 0);
  EXPECT_EQ(Get(g), "abcdefghij");
  EXPECT_EQ(ListBlocks(), 2);

  const TempMarkValue mark = TempMark();
  EXPECT_EQ(LocalListNew(-1, 3, 0), 147);
  EXPECT_EQ(LocalListNew(3, 70000, 0), 147);
  EXPECT_EQ(TempMark(), mark) << "nothing pushed on failure";
  EXPECT_EQ(ListBlocks(), 2);
}

TEST_F(LocalListTest, ItemsAreKeptInKeyOrderAndPadded) {
  struct Case {
    const char* name;
    int32_t flags;
    ItemList added;
    ItemList expected;
  } cases[] = {
      {"ascending", 0, {"pear", "fig", "apple", "kiwi"}, {"apple", "fig  ", "kiwi ", "pear "}},
      {"descending",
       kListDescending,
       {"pear", "fig", "apple", "kiwi"},
       {"pear ", "kiwi ", "fig  ", "apple"}},
      {"equal keys keep their order",
       0,
       {"ABCx", "ABAq", "ABCy", "ABDa", "ABCz", "ABCw"},
       {"ABAq ", "ABCx ", "ABCy ", "ABCz ", "ABCw ", "ABDa "}},
      {"equal keys descending",
       kListDescending,
       {"ABCx", "ABDa", "ABCy", "ABAq", "ABCz"},
       {"ABDa ", "ABCx ", "ABCy ", "ABCz ", "ABAq "}},
      {"unique keys", kListUnique, {"ABCx", "ABAq", "ABCy", "ABAr"}, {"ABAq ", "ABCx "}},
      {"blank padding compares", 0, {"ab", "ab!", "a"}, {"a    ", "ab   ", "ab!  "}},
  };
  for (const Case& c : cases) {
    std::string h = New(3, 5, c.flags);
    for (const std::string& item : c.added) {
      const Status st = Add(&h, item);
      EXPECT_TRUE(st == 0 || st == 5) << c.name << " " << item;
    }
    EXPECT_EQ(ReadAll(h), c.expected) << c.name;
  }
}

TEST_F(LocalListTest, RefusedItemsLeaveTheListAndHandleAlone) {
  std::string h = New(4, 4, kListUnique);
  ASSERT_EQ(Add(&h, "abcd"), 0);
  const std::string before = h;
  EXPECT_EQ(Add(&h, "abcd"), 5);
  EXPECT_EQ(h, before) << "the pushed handle is the unchanged one";
  EXPECT_EQ(Add(&h, "abcde"), 163);
  EXPECT_EQ(h, before);
  EXPECT_EQ(ReadAll(h), (ItemList{"abcd"}));
  EXPECT_EQ(Add(&h, "abce"), 0) << "the refused handle still works";
  EXPECT_EQ(ReadAll(h), (ItemList{"abcd", "abce"}));
}

TEST_F(LocalListTest, GrowingListMatchesASortedModel) {
  // Room for 256 bytes at first: a thousand 12-byte items move the storage
  // several times. The model is a stable sort of the items by their key.
  std::mt19937 rng(7);
  std::uniform_int_distribution<int> letter('a', 'e');
  for (int32_t flags : {0, int32_t{kListDescending}, int32_t{kListUnique}}) {
    std::string h = New(1, 12, flags);  // key length 1, width 12
    std::vector<std::string> model;
    for (int i = 0; i < 1000; ++i) {
      std::string item(1, static_cast<char>(letter(rng)));
      item += std::to_string(i);
      item.resize(12, ' ');
      const bool dup = std::any_of(model.begin(), model.end(),
                                   [&](const std::string& m) { return m[0] == item[0]; });
      const Status st = Add(&h, item);
      if ((flags & kListUnique) && dup) {
        ASSERT_EQ(st, 5) << item;
      } else {
        ASSERT_EQ(st, 0) << item;
        model.push_back(item);
      }
    }
    std::stable_sort(model.begin(), model.end(), [&](const std::string& a, const std::string& b) {
      return (flags & kListDescending) ? a[0] > b[0] : a[0] < b[0];
    });
    EXPECT_EQ(ReadAll(h), model) << "flags " << flags;
    EXPECT_EQ(ListBlocks(), 1) << "old blocks are freed when the list grows";
    const TempMarkValue mark = TempMark();
    EXPECT_EQ(LocalListKill(Lit(h)), 0);
    TempRelease(mark);
  }
  EXPECT_EQ(ListBlocks(), 0);
}

TEST_F(LocalListTest, MovesStopAtTheEnds) {
  std::string h = New(2, 2, 0);
  EXPECT_EQ(Move(&h, "TOP"), 2) << "empty list";
  EXPECT_EQ(Move(&h, "BOTTOM"), 2);
  EXPECT_EQ(Get(h), "") << "GET outside the list";
  for (const char* item : {"bb", "aa", "cc"})
    ASSERT_EQ(Add(&h, item), 0);

  struct Step {
    const char* verb;
    int16_t outcome;
    const char* item;
  } steps[] = {
      {"TOP", 0, "aa"},      {"NEXT", 0, "bb"},
      {"NXT", 0, "cc"},      {"NEXT", 2, "cc"},  // past the last: stays on the last
      {"PREVIOUS", 0, "bb"}, {"PRV", 0, "aa"},
      {"PREVIOUS", 2, "cc"},  // before the first: lands on the last
      {"top", 0, "aa"},      {"bottom", 0, "cc"},
      {"BOT", 0, "cc"},      {"FND", 0, "cc"},  // not a positioning verb: the cursor stays
      {"XYZ", 0, "cc"},      {"", 0, "cc"},
  };
  for (const Step& s : steps) {
    EXPECT_EQ(Move(&h, s.verb), s.outcome) << s.verb;
    EXPECT_EQ(Get(h), s.item) << s.verb;
  }
}

TEST_F(LocalListTest, HandlesAreCheckedBeforeUse) {
  std::string h = New(4, 4, 0);
  ASSERT_EQ(Add(&h, "b"), 0);
  const std::string copy = h;
  ASSERT_EQ(Add(&h, "a"), 0);
  int16_t outcome = 0;
  struct Case {
    const char* name;
    std::string handle;
  } bad[] = {
      {"short", h.substr(0, 23)},
      {"long", h + "x"},
      {"forged", std::string(24, 'x')},
      {"stale copy", copy},
      {"tampered count",
       [&] {
         std::string t = h;
         t[18] = 50;
         return t;
       }()},
  };
  for (const Case& c : bad) {
    const TempMarkValue mark = TempMark();
    EXPECT_EQ(LocalListGet(Lit(c.handle)), 147) << c.name;
    EXPECT_EQ(LocalListAdd(Lit(c.handle), Lit("c")), 147) << c.name;
    EXPECT_EQ(LocalListMove(Lit(c.handle), Lit("TOP"), &outcome), 147) << c.name;
    EXPECT_EQ(LocalListKill(Lit(c.handle)), 147) << c.name;
    EXPECT_EQ(TempMark(), mark) << c.name;
  }
  EXPECT_EQ(ReadAll(h), (ItemList{"a   ", "b   "})) << "the list survived";

  const TempMarkValue mark = TempMark();
  EXPECT_EQ(LocalListKill(Lit(h)), 0);
  EXPECT_EQ(ListBlocks(), 0);
  EXPECT_EQ(LocalListKill(Lit(h)), 147) << "killed twice";
  EXPECT_EQ(LocalListGet(Lit(h)), 147) << "used after KILL";
  // A new list in the same block entry does not revive the old handle.
  std::string fresh = New(4, 4, 0);
  EXPECT_EQ(LocalListGet(Lit(h)), 147);
  TempRelease(mark);
}

TEST_F(LocalListTest, GrowthInvalidatesTheOldHandle) {
  std::string h = New(1, 200, 0);  // room for one 200-byte item
  ASSERT_EQ(Add(&h, "a"), 0);
  const std::string before_growth = h;
  ASSERT_EQ(Add(&h, "b"), 0);
  const TempMarkValue mark = TempMark();
  EXPECT_EQ(LocalListGet(Lit(before_growth)), 147);
  TempRelease(mark);
  EXPECT_EQ(ReadAll(h).size(), 2u);
}

TEST_F(LocalListTest, ReleaseFreesEveryList) {
  for (int i = 0; i < 5; ++i)
    New(2, 8, 0);
  EXPECT_EQ(ListBlocks(), 5);
  ReleaseLocalLists();
  EXPECT_EQ(ListBlocks(), 0);
}

TEST_F(LocalListTest, OneCallSortByFlags) {
  const std::string nul("\0", 1);
  struct Case {
    std::string text;
    int32_t flags;
    std::string sorted;
  } cases[] = {
      {"pear,apple,fig", 0, "apple,fig  ,pear "},
      {"pear,apple,fig", kSortTrimItems, "apple,fig,pear"},
      {"b,a,b", kListUnique, "a,b"},
      {"b,b,a", kListUnique, "a,b"},
      {"b,a,c", kListDescending, "c,b,a"},
      {"b,a,c", kListDescending | kListUnique | kSortTrimItems, "c,b,a"},
      {"b" + nul + "c" + nul + "a", kSortNulSeparated, "a" + nul + "b" + nul + "c"},
      {"b,a", kSortNulSeparated, "b,a"},       // one NUL item
      {"x,,y,", 0, " , ,x,y"},                 // empty items are padded
      {"x,,y,", kSortTrimItems, "x,y"},        // and drop out when trimmed
      {"b ,b", kListUnique, "b "},             // equal once padded
      {"'b,a',c", kSortTrimItems, "'b,a',c"},  // quoted commas do not split
      {"a", 0, "a"},
      {"", 0, ""},
      {"zz,z!,z", 0, "z ,z!,zz"},  // the padding sorts as a blank...
      {"a,a\t", 0, "a\t,a "},      // ...below '!' and above a tab
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Sort(c.text, c.flags), c.sorted) << c.text << " flags " << c.flags;
  }
  EXPECT_EQ(ListBlocks(), 0) << "the work block is freed";
}

TEST_F(LocalListTest, OneCallSortOfThousandsMatchesAStableSort) {
  std::mt19937 rng(11);
  std::uniform_int_distribution<int> length(1, 6), letter('a', 'd');
  std::vector<std::string> items;
  std::string text;
  for (int i = 0; i < 8000; ++i) {
    std::string item;
    for (int k = length(rng); k > 0; --k)
      item += static_cast<char>(letter(rng));
    items.push_back(item);
    text += (i ? "," : "") + item;
  }
  for (int32_t flags : {int32_t{kSortTrimItems}, int32_t{kSortTrimItems | kListUnique},
                        int32_t{kSortTrimItems | kListDescending}}) {
    std::vector<std::string> model = items;
    std::stable_sort(model.begin(), model.end(), [&](const std::string& a, const std::string& b) {
      return (flags & kListDescending) ? a > b : a < b;
    });
    if (flags & kListUnique) model.erase(std::unique(model.begin(), model.end()), model.end());
    std::string expected;
    for (size_t i = 0; i < model.size(); ++i)
      expected += (i ? "," : "") + model[i];
    EXPECT_EQ(Sort(text, flags), expected) << "flags " << flags;
  }
}

TEST_F(LocalListTest, OneCallSortRefusesAnOverlongResult) {
  // 301 items padded to 300 bytes do not fit a string; trimmed they do.
  std::string text(300, 'x');
  for (int i = 0; i < 300; ++i)
    text += ",a";
  Sort(text, 0, 146);
  EXPECT_EQ(Sort(text, kSortTrimItems).size(), 300u + 2 * 300u);
  EXPECT_EQ(ListBlocks(), 0);
}

// SORT$ as the built-in calls it, with evaluated arguments.
class SortCallTest : public LocalListTest {
 protected:
  struct Arg {
    std::string bytes;
    bool is_string;
  };
  static Arg Str(const std::string& s) { return {s, true}; }
  static Arg Num(int64_t v) {
    const int64_t raw = NumScaleUp(v, NumDecimals());
    return {std::string(reinterpret_cast<const char*>(&raw), 8), false};
  }
  Status Call(const std::vector<Arg>& args, std::string* result = nullptr, int16_t* ier = nullptr) {
    std::vector<StrDesc> values;
    bool types[16] = {};
    for (size_t i = 0; i < args.size(); ++i) {
      values.push_back(Lit(args[i].bytes));
      types[i] = args[i].is_string;
    }
    const TempMarkValue mark = TempMark();
    const Status st = SortCall(values.data(), types, static_cast<uint16_t>(args.size()), ier);
    if (result != nullptr) *result = TempMark() > mark ? S(TempTop()) : "<nothing>";
    TempRelease(mark);
    return st;
  }
};

TEST_F(SortCallTest, VerbsWithTheirArguments) {
  std::string h;
  ASSERT_EQ(Call({Str("NEW"), Num(3)}, &h), 0) << "b defaults to a";
  ASSERT_EQ(h.size(), kListHandleSize);
  EXPECT_EQ(Call({Str("ADD"), Str(h), Str("abc")}, &h), 0);
  EXPECT_EQ(Call({Str("ADD"), Str(h), Str("abcd")}), 163) << "width 3";
  ASSERT_EQ(Call({Str("NEW"), Num(3), Num(3), Num(kListUnique)}, &h), 0);
  EXPECT_EQ(Call({Str("ADD"), Str(h), Str("x")}, &h), 0);
  std::string same;
  EXPECT_EQ(Call({Str("ADD"), Str(h), Str("x")}, &same), 5);
  EXPECT_EQ(same, h);
  int16_t ier = -1;
  EXPECT_EQ(Call({Str("MOVE"), Str(h), Str("NEXT")}, &h, &ier), 0);
  EXPECT_EQ(ier, 2);
  std::string item;
  EXPECT_EQ(Call({Str("GET"), Str(h)}, &item), 0);
  EXPECT_EQ(item, "x  ");
  EXPECT_EQ(Call({Str("KILL"), Str(h)}, &item), 0);
  EXPECT_EQ(item, "<nothing>") << "KILL pushes no value";
  EXPECT_EQ(Call({Str("pear,fig"), Num(kSortTrimItems)}, &item), 0);
  EXPECT_EQ(item, "fig,pear");
  EXPECT_EQ(Call({Str("new,add")}, &item), 0) << "verbs are exact: a text to sort";
  EXPECT_EQ(item, "add,new");
}

TEST_F(SortCallTest, WrongCountsAndTypes) {
  std::string h;
  ASSERT_EQ(Call({Str("NEW"), Num(2), Num(2)}, &h), 0);
  struct Case {
    const char* name;
    std::vector<Arg> args;
    Status status;
  } cases[] = {
      {"no arguments", {}, 147},
      {"NEW alone", {Str("NEW")}, 147},
      {"NEW with five", {Str("NEW"), Num(1), Num(1), Num(0), Num(0)}, 147},
      {"NEW with a text size", {Str("NEW"), Str("3")}, 128},
      {"ADD without item", {Str("ADD"), Str(h)}, 147},
      {"ADD with a number item", {Str("ADD"), Str(h), Num(5)}, 128},
      {"MOVE with four", {Str("MOVE"), Str(h), Str("TOP"), Str("x")}, 147},
      {"GET with three", {Str("GET"), Str(h), Str("x")}, 147},
      {"KILL alone", {Str("KILL")}, 147},
      {"GET of a short handle", {Str("GET"), Str("abc")}, 147},
      {"GET of a number", {Str("GET"), Num(1)}, 128},
      {"sort with three", {Str("b,a"), Num(0), Num(0)}, 147},
      {"sort of a number", {Num(5)}, 128},
      {"sort with text flags", {Str("b,a"), Str("1")}, 128},
  };
  for (const Case& c : cases)
    EXPECT_EQ(Call(c.args), c.status) << c.name;
}

}  // namespace
