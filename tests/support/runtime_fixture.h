// The runtime fixture: brings the runtime core up and down inside one test
// process, so that every test starts from a fresh state.
//
// RuntimeUp performs the start-up steps a test needs (memory configuration,
// the block table, TempStack and DynStrings, the record tables, the variable
// table with its system variables, the hook table, the locale text); RuntimeDown
// releases them
// in the order the program does and reports leftovers. Tests derive from
// RuntimeTest, or call the two functions themselves.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "core/str_desc.h"

namespace qtest {

struct RuntimeOptions {
  int temp_kb = 512;        // TempStack size (KB and entries)
  int table_capacity = -1;  // block table entries (-1: default 64)
};

// Brings the runtime core up; returns the first failing status (0 on success).
Status RuntimeUp(const RuntimeOptions& options = {});
// Releases everything RuntimeUp made; returns the memory shutdown's result
// (0, or the owner of a leftover block, which is then force-freed).
Status RuntimeDown();

// A valid descriptor's bytes as a std::string (error descriptors give
// "<error N>").
std::string S(StrDesc s);

}  // namespace qtest

class RuntimeTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(qtest::RuntimeUp(), 0); }
  void TearDown() override { EXPECT_EQ(qtest::RuntimeDown(), 0) << "a block was left over"; }
};
