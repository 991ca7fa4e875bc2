// quillon-data end to end: the built program on a small dictionary in a
// temporary folder.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>

#include "storage_fixture.h"
#include "support/run_program.h"
#include "support/test_dirs.h"

using qtest::FieldLine;
using qtest::FileLine;
using qtest::KeyLine;
using qtest::Lines;

namespace {

class QuillonDataTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = qtest::MakeTempDir("qdata");
    ASSERT_FALSE(root_.empty());
    defs_ = root_ + "/defs";
    work_ = root_ + "/work";
    std::filesystem::create_directories(defs_);
    std::filesystem::create_directories(work_);
    // Data files live beside the dictionary (empty folder on the file line).
    qtest::WriteFile(
        defs_ + "/QODICC.DAT",
        Lines({FileLine(1, "CLIENTS"), FieldLine(1, 4, 'A', "CODE"), FieldLine(1, 8, 'A', "NAME"),
               FieldLine(1, 6, '2', "BALANCE"), FileLine(2, "LINES"), FieldLine(2, 4, 'A', "ORD"),
               FieldLine(2, 3, 'N', "N_LINE"), KeyLine(1, {{1, 4}}), KeyLine(1, {{5, 8}})}));
  }
  void TearDown() override { qtest::RemoveTree(root_); }

  // Option values end at a "/", so folders are given in the runtime's form.
  static std::string Backslashed(std::string path) {
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
  }

  qtest::ProgramRun Run(std::vector<std::string> args) {
    args.insert(args.begin(), "/DPATH=" + Backslashed(defs_));
    qtest::ProgramOptions options;
    options.working_folder = work_;
    return qtest::RunProgram(QUILLON_BINARY_DIR "/tools/quillon-data/quillon-data", args, options);
  }

  std::string root_, defs_, work_;
};

TEST_F(QuillonDataTest, LoadDumpAndCheck) {
  qtest::WriteFile(work_ + "/clients.csv",
                   "code,NAME,BALANCE\r\n"
                   "B2,Bruno,3\r\n"
                   "A1,\"Ana, Sr\",12.5\r\n"
                   "\r\n"
                   "A1,again,1\r\n"
                   "C3,\"Çé|\\x\",-2\r\n"
                   "D4,too wide,123456789\r\n"
                   "E5,short\r\n"
                   "F6,\"a\nb\",0\r\n");
  qtest::ProgramRun load = Run({"load", "clients", "clients.csv"});
  EXPECT_EQ(load.exit_code, 1) << load.err;
  EXPECT_EQ(load.out,
            "line 5: duplicate key A1\n"
            "line 7: BALANCE: the value does not fit\n"
            "line 8: 2 cells for 3 fields\n"
            "clients: 4 rows added, 1 duplicate key, 2 bad rows\n");
  EXPECT_FALSE(std::filesystem::exists(work_ + "/clients.lock"));
  EXPECT_TRUE(std::filesystem::exists(defs_ + "/clients.FD"));

  qtest::ProgramRun dump = Run({"dump", "1"});
  EXPECT_EQ(dump.exit_code, 0) << dump.err;
  EXPECT_EQ(dump.out,
            "A1|Ana, Sr|12.50\n"
            "B2|Bruno|3.00\n"
            "C3|Çé\\|\\\\x|-2.00\n"
            "F6|a\\nb|0.00\n");

  qtest::ProgramRun check = Run({"check", "CLIENTS"});
  EXPECT_EQ(check.exit_code, 0) << check.out << check.err;
  EXPECT_EQ(check.out, "clients: 4 records, 4 live, 0 free, 0 deleted, 0 faults\n");
}

TEST_F(QuillonDataTest, CheckFindsAnIndexOutOfOrder) {
  qtest::WriteFile(work_ + "/c.csv", "CODE,NAME\nA1,x\nB2,y\n");
  ASSERT_EQ(Run({"load", "clients", "c.csv"}).exit_code, 0);
  std::string index = qtest::ReadFile(defs_ + "/clients.DIR");
  ASSERT_EQ(index.size(), 8u + 2 * 2 * 4);
  std::swap_ranges(index.begin() + 8, index.begin() + 12, index.begin() + 12);  // key 1 swapped
  qtest::WriteFile(defs_ + "/clients.DIR", index);
  qtest::ProgramRun check = Run({"check", "clients"});
  EXPECT_EQ(check.exit_code, 1);
  EXPECT_NE(check.out.find("fault: key 1: record 0 is out of order after record 1"),
            std::string::npos)
      << check.out;
  EXPECT_NE(check.err.find("the index does not match the data file"), std::string::npos)
      << check.err;
}

TEST_F(QuillonDataTest, LoadRefusesAFileInUse) {
  qtest::WriteFile(work_ + "/clients.lock", " ");
  qtest::WriteFile(work_ + "/c.csv", "CODE\nA1\n");
  qtest::ProgramRun load = Run({"load", "clients", "c.csv"});
  EXPECT_EQ(load.exit_code, 2);
  EXPECT_NE(load.err.find("175"), std::string::npos) << load.err;
  EXPECT_TRUE(std::filesystem::exists(work_ + "/clients.lock"));
}

TEST_F(QuillonDataTest, UsageAndUnknownNames) {
  struct Case {
    std::vector<std::string> args;
    const char* err;
  } cases[] = {
      {{}, "usage:"},
      {{"dump"}, "usage:"},
      {{"load", "clients"}, "usage:"},
      {{"erase", "clients"}, "usage:"},
      {{"dump", "orders"}, "orders: no such data file"},
      {{"dump", "9"}, "9: no such data file"},
  };
  for (const Case& c : cases) {
    qtest::ProgramRun run = Run(c.args);
    EXPECT_EQ(run.exit_code, 2);
    EXPECT_NE(run.err.find(c.err), std::string::npos) << run.err;
  }
  qtest::WriteFile(work_ + "/bad.csv", "CODE,COLOUR\nA1,red\n");
  qtest::ProgramRun load = Run({"load", "clients", "bad.csv"});
  EXPECT_EQ(load.exit_code, 2);
  EXPECT_NE(load.err.find("line 1: no field COLOUR"), std::string::npos) << load.err;
}

TEST_F(QuillonDataTest, AMissingDictionaryIsReported) {
  qtest::ProgramOptions options;
  options.working_folder = work_;
  qtest::ProgramRun run = qtest::RunProgram(QUILLON_BINARY_DIR "/tools/quillon-data/quillon-data",
                                            {"/DPATH=" + Backslashed(work_), "dump", "1"}, options);
  EXPECT_EQ(run.exit_code, 2);
  EXPECT_NE(run.err.find("164"), std::string::npos) << run.err;
}

}  // namespace
