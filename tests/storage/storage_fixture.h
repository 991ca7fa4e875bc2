// Shared fixture of the data-file tests: a runtime, a fresh working folder
// (lock files live in the working folder) and small dictionaries written
// line by line.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <initializer_list>
#include <string>
#include <vector>

#include "core/temp_stack.h"
#include "platform/fs.h"
#include "storage/data_file.h"
#include "storage/dictionary.h"
#include "support/runtime_fixture.h"
#include "support/test_dirs.h"

namespace qtest {

// Dictionary lines in the file's fixed columns.
inline std::string FileLine(int n, const std::string& name, const std::string& folder = "",
                            int type = 1) {
  char head[8];
  std::snprintf(head, sizeof head, "%02d*", n);
  char code[4];
  std::snprintf(code, sizeof code, "%02d", type);
  return std::string(head) + folder + "*" + code + name;
}
inline std::string FieldLine(int n, int length, char type, const std::string& name) {
  char text[64];
  std::snprintf(text, sizeof text, "%02d       %03d %c", n, length, type);
  return std::string(text) + name;
}
// A key line for file number n (1-based, relative to the base); segments are
// (1-based offset, length).
inline std::string KeyLine(int n, std::initializer_list<std::pair<int, int>> segments) {
  char head[24];
  std::snprintf(head, sizeof head, "%02d key <", (30 + n) % 100);
  std::string line = head;
  for (auto [offset, length] : segments) {
    char group[16];
    std::snprintf(group, sizeof group, "%04d%03d", offset, length);
    line += group;
  }
  return line;
}
inline std::string Lines(std::initializer_list<std::string> lines) {
  std::string text;
  for (const std::string& line : lines)
    text += line + "\r\n";
  return text;
}

// The working dictionary of most tests:
//   1 clients: code A5, name A10, balance 2 (width 6); key 1 code, key 2 name
//   2 lines:   order A4, N_LINE N3, item A8 (a line file, default key)
inline std::string ClientsAndLines() {
  return Lines({FileLine(1, "CLIENTS"), FieldLine(1, 5, 'A', "CODE"), FieldLine(1, 10, 'A', "NAME"),
                FieldLine(1, 6, '2', "BALANCE"), FileLine(2, "LINES"),
                FieldLine(2, 4, 'A', "ORDER"), FieldLine(2, 3, 'N', "N_LINE"),
                FieldLine(2, 8, 'A', "ITEM"), KeyLine(1, {{1, 5}}), KeyLine(1, {{6, 10}})});
}

}  // namespace qtest

class StorageTest : public RuntimeTest {
 protected:
  void SetUp() override {
    RuntimeTest::SetUp();
    dir_ = qtest::MakeTempDir("storage");
    ASSERT_FALSE(dir_.empty());
    old_cwd_ = FsWorkingFolder();
    ASSERT_EQ(FsChangeFolder(dir_), FsResult::kOk);
  }
  void TearDown() override {
    DataFilesReset();
    FsChangeFolder(old_cwd_);
    qtest::RemoveTree(dir_);
    RuntimeTest::TearDown();
  }

  std::string PathOf(const std::string& name) const { return dir_ + "/" + name; }

  // Writes QODICC.DAT (and QOREL.DAT when given) and loads the dictionary.
  Status Load(const std::string& dictionary, const std::string& relations = "") {
    qtest::WriteFile(PathOf("QODICC.DAT"), dictionary);
    if (!relations.empty()) qtest::WriteFile(PathOf("QOREL.DAT"), relations);
    return DictLoad(StrMake(dir_.data(), static_cast<uint16_t>(dir_.size())), Lit("QO0001"));
  }

  // Fills the current record of f with one value per field (by the field
  // types' rules).
  void Fill(uint16_t f, std::initializer_list<std::string> values) {
    ASSERT_EQ(BufferClear(f, 1), 0);
    uint16_t k = 1;
    for (const std::string& v : values) {
      ASSERT_EQ(FieldPut(f, k, StrMake(v.data(), static_cast<uint16_t>(v.size()))), 0) << v;
      ++k;
    }
  }

  // Adds one record made of the values; returns FileAdd's result.
  uint16_t Add(uint16_t f, std::initializer_list<std::string> values) {
    Fill(f, values);
    return FileAdd(f);
  }

  std::string Current(uint16_t f) { return qtest::S(RecordBuffer(f, 1)); }
  std::string Field(uint16_t f, uint16_t k, int buffer = 1) {
    TempMarkValue mark = TempMark();
    std::string s = qtest::S(FieldRaw(f, k, buffer));
    TempRelease(mark);
    return s;
  }
  uint16_t Find(uint16_t f, uint16_t key, const std::string& value, uint16_t flags = 0) {
    return FileReadKey(f, key, StrMake(value.data(), static_cast<uint16_t>(value.size())), flags);
  }

  std::string dir_;
  std::string old_cwd_;
};
