// Record tables (on free table numbers): creation on first put, growth with zeroed records, size
// mismatches, deletion and freeing.
#include <gtest/gtest.h>

#include <cstring>

#include "core/rec_table.h"
#include "support/runtime_fixture.h"

namespace {

class RecTableTest : public RuntimeTest {};

TEST_F(RecTableTest, PutGrowsWithZeroRecords) {
  EXPECT_EQ(RecGet(9, 0), nullptr);
  int16_t v = 42;
  ASSERT_NE(RecPut(9, 3, &v, 2), nullptr);
  EXPECT_EQ(RecInfo(9, 0), 4);
  EXPECT_EQ(RecInfo(9, 1), 2);
  for (uint16_t i = 0; i < 3; ++i) {
    int16_t got = -1;
    std::memcpy(&got, RecGet(9, i), 2);
    EXPECT_EQ(got, 0) << i;
  }
  int16_t got = 0;
  std::memcpy(&got, RecGet(9, 3), 2);
  EXPECT_EQ(got, 42);
  EXPECT_EQ(RecGet(9, 4), nullptr);
}

TEST_F(RecTableTest, SizeMismatchStoresNothing) {
  int16_t v = 1;
  RecPut(9, 0, &v, 2);
  int32_t w = 7;
  EXPECT_EQ(RecPut(9, 0, &w, 4), nullptr);
  EXPECT_EQ(RecPut(9, 5, &w, 4), nullptr);
  EXPECT_EQ(RecInfo(9, 0), 1);
  EXPECT_EQ(*static_cast<int16_t*>(RecGet(9, 0)), 1);
}

TEST_F(RecTableTest, PutCopiesARecordOfItsOwnTable) {
  int16_t v = 42;
  ASSERT_NE(RecPut(9, 0, &v, 2), nullptr);
  // Growing moves the records to a new block; the source moves with them.
  ASSERT_NE(RecPut(9, 5, RecGet(9, 0), 2), nullptr);
  EXPECT_EQ(*static_cast<int16_t*>(RecGet(9, 5)), 42);
  ASSERT_NE(RecPut(9, 1, RecGet(9, 5), 2), nullptr);  // no growth
  EXPECT_EQ(*static_cast<int16_t*>(RecGet(9, 1)), 42);
}

TEST_F(RecTableTest, DeleteMovesLaterRecordsDown) {
  for (int16_t i = 0; i < 3; ++i) {
    int16_t v = static_cast<int16_t>(10 + i);
    RecPut(12, static_cast<uint16_t>(i), &v, 2);
  }
  ASSERT_EQ(RecDelete(12, 1), 0);
  EXPECT_EQ(RecInfo(12, 0), 2);
  EXPECT_EQ(*static_cast<int16_t*>(RecGet(12, 1)), 12);
  EXPECT_EQ(RecDelete(12, 2), 176);
  EXPECT_EQ(RecDelete(13, 0), 176);
  ASSERT_EQ(RecDelete(12, 0), 0);
  ASSERT_EQ(RecDelete(12, 0), 0);
  EXPECT_EQ(RecInfo(12, 0), 0) << "last record gone: slot empty";
  EXPECT_EQ(RecGet(12, 0), nullptr);
}

TEST_F(RecTableTest, FreeEmptiesSlot) {
  char rec[6] = "abcde";
  RecPut(20, 1, rec, 6);
  RecTableFree(20);
  EXPECT_EQ(RecInfo(20, 0), 0);
  EXPECT_NE(RecPut(20, 0, rec, 3), nullptr) << "a fresh table with a new record size";
  EXPECT_EQ(RecInfo(20, 1), 3);
  EXPECT_EQ(RecPut(kRecTables, 0, rec, 3), nullptr);
}

}  // namespace
