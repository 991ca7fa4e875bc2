// DynStrings: items and groups, stack and queue ends, self-referencing sets,
// the store's limits and the failure records.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "core/dyn_strings.h"
#include "core/status.h"
#include "core/temp_stack.h"
#include "support/runtime_fixture.h"

using qtest::S;

namespace {

class DynStringsTest : public RuntimeTest {};

TEST_F(DynStringsTest, SetBeyondCountCreatesEmptyItems) {
  EXPECT_EQ(S(DynGet(3, 5)), "");
  EXPECT_EQ(DynCount(3), 0);
  ASSERT_EQ(DynSet(3, 5, Lit("x")), 0);
  EXPECT_EQ(DynCount(3), 6);
  for (uint16_t i = 0; i < 5; ++i) EXPECT_EQ(S(DynGet(3, i)), "") << i;
  EXPECT_EQ(S(DynGet(3, 5)), "x");
}

TEST_F(DynStringsTest, GroupsKeepTheirItemsApart) {
  uint16_t slots = DynUsedSlots();
  uint32_t text = DynUsedText();
  DynSet(1, 0, Lit("one"));
  DynSet(5, 0, Lit("five"));
  DynSet(2, 1, Lit("two-b"));  // lands between groups 1 and 5
  DynSet(1, 0, Lit("ONE, longer now"));
  EXPECT_EQ(S(DynGet(1, 0)), "ONE, longer now");
  EXPECT_EQ(S(DynGet(2, 0)), "");
  EXPECT_EQ(S(DynGet(2, 1)), "two-b");
  EXPECT_EQ(S(DynGet(5, 0)), "five");
  EXPECT_EQ(DynUsedSlots(), slots + 4);
  EXPECT_EQ(DynUsedText(), text + std::string("ONE, longer nowtwo-bfive").size());
}

TEST_F(DynStringsTest, StackAndQueueEnds) {
  for (const char* s : {"a", "b", "c"}) {
    DynPush(30, Lit(s));
    DynPush(37, Lit(s));
  }
  EXPECT_EQ(S(DynTop(30)), "c");
  EXPECT_EQ(S(DynTop(37)), "a");
  EXPECT_EQ(S(DynPopCopy(30)), "c");
  EXPECT_EQ(S(DynPopCopy(37)), "a");
  EXPECT_EQ(S(DynTop(30)), "b");
  EXPECT_EQ(S(DynTop(37)), "b");
  EXPECT_EQ(DynCount(39), 4) << "total of groups 30..38";
  DynTruncate(37, 0);
  EXPECT_EQ(DynCount(37), 0);
  EXPECT_EQ(DynPop(37), 0) << "popping an empty group is harmless";
  EXPECT_EQ(S(DynTop(37)), "");
}

TEST_F(DynStringsTest, DeleteRenumbersLaterItems) {
  DynPush(4, Lit("a"));
  DynPush(4, Lit("b"));
  DynPush(4, Lit("c"));
  DynPush(6, Lit("after"));
  ASSERT_EQ(DynDelete(4, 0), 0);
  EXPECT_EQ(DynCount(4), 2);
  EXPECT_EQ(S(DynGet(4, 0)), "b");
  EXPECT_EQ(S(DynGet(4, 1)), "c");
  EXPECT_EQ(S(DynGet(6, 0)), "after");
  EXPECT_EQ(DynDelete(4, 9), 0) << "an absent item is left alone";
  EXPECT_EQ(DynCount(4), 2);
}

TEST_F(DynStringsTest, SetFromPartOfAnotherItem) {
  DynSet(8, 0, Lit("hello world"));
  DynSet(8, 1, Lit("x"));
  StrDesc world = DynGet(8, 0);
  world.ptr += 6;
  world.len = 5;
  ASSERT_EQ(DynSet(8, 1, world), 0);
  EXPECT_EQ(S(DynGet(8, 1)), "world");
  // And onto itself, growing past its own bytes.
  StrDesc self = DynGet(8, 0);
  ASSERT_EQ(DynSet(8, 0, StrConcat(self, self)), 0);
  EXPECT_EQ(S(DynGet(8, 0)), "hello worldhello world");
}

TEST_F(DynStringsTest, OutOfRangeIsRefusedAndRecorded) {
  ErrClear();
  EXPECT_EQ(DynSet(39, 0, Lit("x")), 159);
  EXPECT_EQ(ErrWord(), (uint32_t{kModDynStrings} << 16) | 159);
  ErrClear();
  uint16_t slots = DynUsedSlots();
  EXPECT_EQ(DynSet(0, 2048, Lit("x")), 159);
  EXPECT_EQ(DynUsedSlots(), slots) << "store unchanged";
  EXPECT_EQ(DynSet(0, 0, StrError(164)), 164) << "error descriptors pass through";
}

TEST_F(DynStringsTest, FullStoreRefusesAndStaysIntact) {
  std::string big(60000 - DynUsedText(), 'a');
  ASSERT_EQ(DynSet(10, 0, Lit(big)), 0);
  std::string more(1361, 'b');  // would reach the text capacity exactly
  ErrClear();
  EXPECT_EQ(DynSet(10, 1, Lit(more)), 159);
  EXPECT_NE(ErrWord() & 0xFFFF, 0u);
  EXPECT_EQ(DynCount(10), 1) << "nothing added";
  EXPECT_EQ(DynGet(10, 0).len, big.size());
  std::string fits(1360, 'b');
  EXPECT_EQ(DynSet(10, 1, Lit(fits)), 0);
  // Replacing the big item by a short one frees its room again.
  EXPECT_EQ(DynSet(10, 0, Lit("s")), 0);
  EXPECT_EQ(DynSet(11, 0, Lit(std::string(50000, 'c'))), 0);
}

// Every refusal returns 159; the error word tells an address outside the
// store (DynStrings) from a store that is full (STRINGASSIGN).
TEST_F(DynStringsTest, RefusalsAreRecordedUnderTheirCause) {
  const uint32_t outside = (uint32_t{kModDynStrings} << 16) | 159;
  const uint32_t full = (uint32_t{kModStringAssign} << 16) | 156;
  struct Case {
    const char* name;
    std::function<Status()> refused_set;  // fills what the case needs, then the refused set
    uint32_t word;
  };
  const Case cases[] = {
      {"group_outside", [] { return DynSet(39, 0, Lit("x")); }, outside},
      {"slot_outside", [] { return DynSet(0, 2048, Lit("x")); }, outside},
      {"text_full",
       [] {
         EXPECT_EQ(DynSet(10, 0, Lit(std::string(kDynTextCapacity - 1 - DynUsedText(), 'a'))), 0);
         return DynSet(10, 1, Lit("b"));
       },
       full},
      {"slots_full",
       [] {
         uint16_t free_slots = static_cast<uint16_t>(kDynSlots - 1 - DynUsedSlots());
         EXPECT_EQ(DynSet(20, static_cast<uint16_t>(free_slots - 1), Lit("")), 0);
         return DynSet(20, free_slots, Lit(""));
       },
       full},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ErrClear();
    EXPECT_EQ(c.refused_set(), 159);
    EXPECT_EQ(ErrWord(), c.word);
  }
}

TEST_F(DynStringsTest, SlotLimit) {
  uint16_t used = DynUsedSlots();
  uint16_t i = 0;
  while (DynSet(20, i, Lit("")) == 0) ++i;
  EXPECT_EQ(i + used, kDynSlots - 1) << "slots strictly below 2,048";
}

}  // namespace
