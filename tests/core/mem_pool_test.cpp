// Block table: allocation limits, guard and owner checks, resizing, bounded
// buffers and the shutdown's leftover report.
#include <gtest/gtest.h>

#include <cstring>

#include "core/dyn_strings.h"
#include "core/mem_pool.h"
#include "core/temp_stack.h"
#include "language/variables.h"
#include "support/runtime_fixture.h"

namespace {

class MemPoolTest : public RuntimeTest {};

// Entries in use right after start-up: the TempStack's two blocks, the
// DynStrings buffer and the record-table registry.
uint16_t UsedEntries() {
  uint16_t owner = 0;
  return MemCount(0, static_cast<uint16_t>(MemTableCapacity() - 1), 1, &owner);
}

TEST_F(MemPoolTest, TableFillsUpAtItsCapacity) {
  uint16_t used = UsedEntries();
  std::vector<void*> blocks;
  for (uint16_t i = used; i < MemTableCapacity(); ++i) {
    void* p = MemAlloc(kOwnerScreens, 8);
    ASSERT_NE(p, nullptr) << "block " << i;
    blocks.push_back(p);
  }
  EXPECT_EQ(MemAllocHandle(kOwnerScreens, 8, 0), kMemNoHandle);
  EXPECT_EQ(MemAlloc(kOwnerScreens, 8), nullptr);
  // Freeing one makes room for exactly one more.
  EXPECT_EQ(MemFree(kOwnerScreens, blocks.back()), 0);
  blocks.back() = MemAlloc(kOwnerScreens, 8);
  EXPECT_NE(blocks.back(), nullptr);
  for (void* p : blocks) EXPECT_EQ(MemFree(kOwnerScreens, p), 0);
}

TEST_F(MemPoolTest, FreeChecksPointerGuardAndOwner) {
  auto* p = static_cast<unsigned char*>(MemAlloc(kOwnerScreens, 16));
  ASSERT_NE(p, nullptr);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(p[i], 0) << "zero-filled";

  int not_a_block = 0;
  EXPECT_EQ(MemFree(kOwnerScreens, &not_a_block), 154);
  EXPECT_EQ(MemFree(kOwnerDevices, p), 141) << "wrong owner";
  EXPECT_EQ(MemBlockSize(p), 16u) << "still allocated after a refused free";

  p[16] = 'x';  // one byte past the end: the guard
  EXPECT_EQ(MemFree(kOwnerScreens, p), 180);
  EXPECT_EQ(MemBlockSize(p), 16u) << "damage is reported, not hidden";
  p[16] = 0x00;
  EXPECT_EQ(MemFree(kOwnerScreens, p), 0);
  EXPECT_EQ(MemFree(kOwnerScreens, p), 154) << "double free";
}

TEST_F(MemPoolTest, FillByte255LeavesBytesAsFound) {
  uint16_t h = MemAllocHandle(kOwnerScreens, 4, 0xAB);
  ASSERT_NE(h, kMemNoHandle);
  const MemEntryRecord* e = MemEntry(h);
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e->owner, kOwnerScreens);
  EXPECT_EQ(e->size, 4u);
  EXPECT_EQ(e->data[3], 0xAB);
  EXPECT_EQ(MemFree(kOwnerScreens, e->data), 0);
  EXPECT_EQ(MemEntry(MemTableCapacity()), nullptr);
}

TEST_F(MemPoolTest, CopyIntoRefusesWhatDoesNotFit) {
  auto* p = static_cast<char*>(MemAlloc(kOwnerScreens, 16));
  EXPECT_EQ(MemCopyInto(kOwnerScreens, p, 8, Lit("0123456789")), 168);
  EXPECT_EQ(p[8], 0) << "nothing copied";
  EXPECT_EQ(MemCopyInto(kOwnerScreens, p, 6, Lit("0123456789")), 0);
  EXPECT_EQ(std::memcmp(p + 6, "0123456789", 10), 0);
  int other = 0;
  EXPECT_EQ(MemCopyInto(kOwnerScreens, &other, 0, Lit("x")), 168);
  EXPECT_EQ(MemCopyInto(kOwnerScreens, p, 0, StrError(146)), 146) << "an error passes through";
  EXPECT_EQ(p[0], 0);
  MemFree(kOwnerScreens, p);
}

TEST_F(MemPoolTest, ResizeKeepsUsedBytesOrLeavesOldBlock) {
  auto* p = static_cast<char*>(MemAlloc(kOwnerScreens, 8));
  std::memcpy(p, "abcdefgh", 8);
  auto* q = static_cast<char*>(MemResize(kOwnerScreens, p, 5, 32));
  ASSERT_NE(q, nullptr);
  EXPECT_EQ(std::memcmp(q, "abcde", 5), 0);
  EXPECT_EQ(q[5], 0);
  EXPECT_EQ(MemBlockSize(q), 32u);

  EXPECT_EQ(MemResize(kOwnerScreens, q, 40, 32), nullptr) << "used bytes would not fit";
  MemFailNextAllocations(1);
  EXPECT_EQ(MemResize(kOwnerScreens, q, 5, 64), nullptr);
  EXPECT_EQ(MemBlockSize(q), 32u) << "old block kept on failure";
  EXPECT_EQ(std::memcmp(q, "abcde", 5), 0);
  MemFree(kOwnerScreens, q);
}

TEST_F(MemPoolTest, BoundedBufferKeepsFirstFailure) {
  BufferRecord b;
  BufferOpen(&b, kOwnerBufferFld, 10);
  ASSERT_EQ(b.status, 0);
  ASSERT_NE(BufferAppend(kOwnerBufferFld, &b, "abc", 3, false), nullptr);
  // Aligned append starts at the next multiple of 4.
  auto* at = static_cast<unsigned char*>(BufferAppend(kOwnerBufferFld, &b, "de", 2, true));
  ASSERT_NE(at, nullptr);
  EXPECT_EQ(at - b.data, 4);
  EXPECT_EQ(b.used, 6);
  EXPECT_EQ(BufferAppend(kOwnerBufferFld, &b, "12345", 5, false), nullptr);
  EXPECT_EQ(b.status, 168);
  EXPECT_EQ(BufferAppend(kOwnerBufferFld, &b, "1", 1, false), nullptr) << "stays failed";
  EXPECT_EQ(b.used, 6);
  BufferClose(&b, kOwnerBufferFld);

  BufferOpen(&b, kOwnerBufferFld, 4);
  BufferAppend(kOwnerBufferFld, &b, "wxyz", 4, false);
  BufferGrow(&b, kOwnerBufferFld, 8);
  EXPECT_EQ(b.capacity, 8);
  ASSERT_NE(BufferAppend(kOwnerBufferFld, &b, "1234", 4, false), nullptr);
  EXPECT_EQ(std::memcmp(b.data, "wxyz1234", 8), 0);
  BufferClose(&b, kOwnerBufferFld);

  MemFailNextAllocations(1);
  BufferOpen(&b, kOwnerBufferFld, 4);
  EXPECT_EQ(b.status, 145);
  EXPECT_EQ(BufferAppend(kOwnerBufferFld, &b, "a", 1, false), nullptr);
}

TEST_F(MemPoolTest, HeapFailureLeavesEntryFree) {
  uint16_t before = UsedEntries();
  MemFailNextAllocations(1);
  EXPECT_EQ(MemAlloc(kOwnerScreens, 8), nullptr);
  EXPECT_EQ(UsedEntries(), before);
}

TEST(MemPoolLifecycle, DoubleInitIsRefused) {
  ASSERT_EQ(qtest::RuntimeUp(), 0);
  EXPECT_EQ(MemInit(), 124);
  EXPECT_EQ(qtest::RuntimeDown(), 0);
}

TEST(MemPoolLifecycle, InitFailsCleanlyWithoutMemory) {
  MemConfigure(16, 64);
  MemFailNextAllocations(1);
  EXPECT_EQ(MemInit(), 145);
  EXPECT_FALSE(MemReady());
  MemFailNextAllocations(2);  // the table, then the TempStack pool
  EXPECT_EQ(MemInit(), 145);
  EXPECT_FALSE(MemReady());
  MemFailNextAllocations(0);
}

TEST(MemPoolLifecycle, ShutdownReportsLeftoverOwnerAndFreesNothing) {
  ASSERT_EQ(qtest::RuntimeUp(), 0);
  void* leftover = MemAlloc(kOwnerScreens, 32);
  ASSERT_NE(leftover, nullptr);
  ReleaseVariables();
  EXPECT_EQ(RuntimeMemoryShutdown(), kOwnerScreens);
  EXPECT_TRUE(MemReady()) << "nothing freed";
  EXPECT_TRUE(DynReady());
  EXPECT_EQ(MemBlockSize(leftover), 32u);
  EXPECT_EQ(MemFree(kOwnerScreens, leftover), 0);
  EXPECT_EQ(qtest::RuntimeDown(), 0);
  EXPECT_FALSE(MemReady());
}

TEST(MemPoolLifecycle, CleanShutdownFreesEverything) {
  ASSERT_EQ(qtest::RuntimeUp(), 0);
  EXPECT_EQ(qtest::RuntimeDown(), 0);
  EXPECT_FALSE(MemReady());
  EXPECT_FALSE(DynReady());
  EXPECT_EQ(TempCapacity(), 0);
}

}  // namespace
