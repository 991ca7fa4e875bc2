// TempStack: marks and releases, keeps, capacity limits, the convenience
// pushes and StrFormat's bound.
#include <gtest/gtest.h>

#include <cstring>

#include "core/mem_pool.h"
#include "core/status.h"
#include "core/temp_stack.h"
#include "support/runtime_fixture.h"

using qtest::S;

namespace {

class TempStackTest : public RuntimeTest {};

TEST_F(TempStackTest, DescriptorsCarryErrors) {
  EXPECT_EQ(StrCheck(StrFromCstr(nullptr)), 163);
  EXPECT_EQ(StrCheck(StrDesc{nullptr, 0}), 0xFFFF);
  EXPECT_EQ(StrCheck(Lit("")), 0);
  EXPECT_EQ(StrFromCstr("abc").len, 3);
}

TEST_F(TempStackTest, MarkReadsDepthWithoutChange) {
  TempMarkValue m = TempMark();
  EXPECT_EQ(TempMark(), m);
  StrCopy(Lit("x"));
  EXPECT_EQ(TempMark(), m + 1);
  EXPECT_EQ(TempRelease(m), m);
  EXPECT_EQ(TempMark(), m);
  EXPECT_EQ(TempRelease(TempCapacity()), m) << "a mark at the capacity changes nothing";
}

TEST_F(TempStackTest, KeepMovesResultDownOntoMark) {
  TempMarkValue m = TempMark();
  StrCopy(Lit("garbage-1"));
  StrDesc a = StrCopy(Lit("abc"));
  StrDesc r = StrConcat(a, Lit("def"));
  StrDesc kept = TempKeep(m, r);
  EXPECT_EQ(S(kept), "abcdef");
  EXPECT_EQ(TempMark(), m + 1);
  EXPECT_EQ(S(TempTop()), "abcdef");
  TempRelease(m);
  EXPECT_EQ(TempBytesUsed(), 0u);
}

TEST_F(TempStackTest, KeepOfErrorReleasesAndReturnsIt) {
  TempMarkValue m = TempMark();
  StrCopy(Lit("x"));
  StrDesc kept = TempKeep(m, StrError(164));
  EXPECT_EQ(StrCheck(kept), 164);
  EXPECT_EQ(TempMark(), m);
}

TEST_F(TempStackTest, KeepManyLandsResultsInOrderAboveMark) {
  TempMarkValue m = TempMark();
  StrCopy(Lit("scratch scratch scratch"));
  StrDesc a = StrCopy(Lit("first"));
  StrDesc b = StrCopy(Lit("second value"));
  StrDesc c = StrCopy(Lit(""));
  ASSERT_EQ(TempKeepMany(m, {&a, &b, &c}), 0);
  EXPECT_EQ(TempMark(), m + 3);
  EXPECT_EQ(S(a), "first");
  EXPECT_EQ(S(b), "second value");
  EXPECT_EQ(S(c), "");
  StrDesc e = StrError(146);
  EXPECT_EQ(TempKeepMany(m, {&a, &e}), 146);
}

TEST_F(TempStackTest, EmptyPushUsesNoPoolBytes) {
  uint32_t before = TempBytesUsed();
  TempMarkValue m = TempMark();
  EXPECT_EQ(TempAlloc(0, 0), 0);
  EXPECT_EQ(TempMark(), m + 1);
  EXPECT_EQ(TempBytesUsed(), before);
  EXPECT_EQ(TempAlloc(5, 'z'), 0);
  EXPECT_EQ(TempBytesUsed(), before + 8) << "lengths round up to 4";
  EXPECT_EQ(S(TempTop()), "zzzzz");
  TempRelease(m);
}

TEST_F(TempStackTest, CapacityAllowsOneLessThanEntries) {
  TempMarkValue m = TempMark();
  uint16_t live = 0;
  while (TempAlloc(0, 0) == 0) ++live;
  EXPECT_EQ(live + m, TempCapacity() - 1) << "at most capacity - 1 live temporaries";
  EXPECT_EQ(StrCheck(StrCopy(Lit("a"))), 145);
  EXPECT_EQ(TempRoom(1), 0);
  EXPECT_EQ(TempRoom(2), 145);
  TempRelease(m);
  EXPECT_EQ(StrCheck(StrCopy(Lit("a"))), 0) << "a release recovers the room";
  TempRelease(m);
}

TEST_F(TempStackTest, PushThatReachesLastPoolByteFails) {
  TempMarkValue m = TempMark();
  // Fill the pool in 60,000-byte pieces until less than that is left.
  while (TempAlloc(60000, 255) == 0) {
  }
  StrDesc room = TempScratch();
  uint32_t left = TempPoolSize() - TempBytesUsed();
  EXPECT_EQ(room.len, left - 4);
  // A push that would end exactly at the pool's end fails; one 4 bytes
  // shorter fits.
  EXPECT_EQ(TempAlloc(static_cast<uint16_t>(left), 255), 145);
  EXPECT_EQ(TempAlloc(static_cast<uint16_t>(left - 4), 255), 0);
  TempRelease(m);
}

TEST_F(TempStackTest, ConveniencePushes) {
  TempMarkValue m = TempMark();
  EXPECT_EQ(S(StrJoin(Lit(""), Lit(","), Lit("b"))), "b");
  EXPECT_EQ(S(StrJoin(Lit("a"), Lit(","), Lit(""))), "a");
  EXPECT_EQ(S(StrJoin(Lit("a"), Lit(","), Lit("b"))), "a,b");
  EXPECT_EQ(S(StrOr(Lit(""), Lit("x"))), "x");
  EXPECT_EQ(S(StrOr(Lit("y"), Lit("x"))), "y");
  EXPECT_EQ(S(StrChar('q')), "q");
  EXPECT_EQ(S(StrRepeat(Lit("ab"), 3)), "ababab");
  EXPECT_EQ(S(StrRepeat(Lit("ab"), 0)), "");
  EXPECT_EQ(StrCheck(StrRepeat(Lit("ab"), 40000)), 146) << "too long for a descriptor";
  EXPECT_EQ(StrCheck(StrConcat(StrError(131), Lit("x"))), 131);
  EXPECT_EQ(StrCheck(StrJoin(Lit("a"), StrError(130), Lit("b"))), 130);
  EXPECT_EQ(TempPushConcat(Lit("ab"), Lit("cd")), 0);
  EXPECT_EQ(S(TempTop()), "abcd");
  TempRelease(m);
}

TEST_F(TempStackTest, FormatNeverWritesPastItsLimit) {
  TempMarkValue m = TempMark();
  EXPECT_EQ(S(StrFormat(20, "%slog.txt", "QO")), "QOlog.txt");
  EXPECT_EQ(S(StrFormat(5, "%05d", 42)), "00042");
  // Bytes above the format buffer keep what they held.
  char* where = TempScratch().ptr;
  TempMarkValue guard = TempMark();
  TempAlloc(64, 'G');
  TempRelease(guard);
  ErrClear();
  StrDesc r = StrFormat(4, "%s", "abcdefgh");
  for (int i = 5; i < 64; ++i) ASSERT_EQ(where[i], 'G') << "byte " << i;
  EXPECT_EQ(StrCheck(r), 146);
  EXPECT_EQ(ErrWord(), (uint32_t{kModFormatStrings} << 16) | 146);
  EXPECT_EQ(TempMark(), m + 2) << "a failed format leaves nothing";
  TempRelease(m);
}

}  // namespace
