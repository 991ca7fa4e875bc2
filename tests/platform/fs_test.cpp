#include "platform/fs.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "platform/process.h"
#include "support/test_dirs.h"

namespace {

// A fresh folder with a few files of mixed case; paths are handed to the file
// layer in the runtime's form (backslashes).
class FsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = qtest::MakeTempDir("fs");
    ASSERT_FALSE(root_.empty());
    win_ = FsRuntimePath(root_);
    ASSERT_EQ(mkdir((root_ + "/Data").c_str(), 0777), 0);
    ASSERT_TRUE(qtest::WriteFile(root_ + "/Data/QoDicc.DAT", "dictionary"));
    ASSERT_TRUE(qtest::WriteFile(root_ + "/Data/orders.fd", "0123456789"));
    ASSERT_TRUE(qtest::WriteFile(root_ + "/Readme", "no extension"));
  }
  void TearDown() override {
    chmod((root_ + "/Data").c_str(), 0777);
    qtest::RemoveTree(root_);
  }
  // A runtime path below the test folder.
  std::string P(const std::string& rel) const { return win_ + "\\" + rel; }

  std::string root_;
  std::string win_;
};

TEST(FsMapping, PathsAreMappedAtTheBoundary) {
  struct Case {
    const char* runtime;
    const char* native;
  };
  const Case cases[] = {
      {"C:\\apps\\quillon\\QODICC.DAT", "/apps/quillon/QODICC.DAT"},  // drive dropped
      {"d:relative\\file.txt", "relative/file.txt"},                  // drive-relative
      {"data/mixed\\seps", "data/mixed/seps"},
      {"Compa\xF1ia.DAT", "Compa\xC3\xB1ia.DAT"},  // Windows-1252 to UTF-8
      {"\\\\server\\share", "//server/share"},
      {"1:notadrive", "1:notadrive"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(FsNativePath(c.runtime), c.native) << c.runtime;
  EXPECT_EQ(FsRuntimePath("/tmp/Compa\xC3\xB1ia"), "\\tmp\\Compa\xF1ia");
}

TEST(FsMapping, WildcardsMatchWithoutCaseAndWithTheNoExtensionRule) {
  struct Case {
    const char* pattern;
    const char* name;
    bool match;
  };
  const Case cases[] = {
      {"*.*", "orders.fd", true},
      {"*.*", "Readme", true},  // no dot still matches *.*
      {"*", "a.b.c", true},
      {"*.FD", "orders.fd", true},
      {"*.FD", "orders.fdx", false},
      {"ord?rs.*", "ORDERS.FD", true},
      {"ord?rs.*", "ordrs.fd", false},
      {"readme.*", "README", true},
      {"*.dat", "Readme", false},
      {"QO*DICC.DAT", "qoxxdicc.dat", true},
      {"a*b*c", "aXbYc", true},
      {"a*b*c", "aXbY", false},
      {"?", "", false},
      {"", "", true},
      {"*\xD1*",
       "ca\xF1"
       "a",
       true},  // case folding of accented letters
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FsMatchWildcard(c.pattern, c.name), c.match) << c.pattern << " / " << c.name;
  }
}

TEST_F(FsTest, ComponentsResolveWithoutCase) {
  FILE* f = FsOpen(P("DATA\\qodicc.dat"), "rb");
  ASSERT_NE(f, nullptr);
  char buf[16] = {};
  EXPECT_EQ(std::fread(buf, 1, sizeof buf, f), 10u);
  std::fclose(f);
  EXPECT_STREQ(buf, "dictionary");
  EXPECT_EQ(FsResolve(P("data\\QODICC.DAT")), root_ + "/Data/QoDicc.DAT");
  // A drive letter in front of an absolute path changes nothing.
  EXPECT_EQ(FsResolve("C:" + P("DATA\\ORDERS.FD")), root_ + "/Data/orders.fd");
  EXPECT_TRUE(FsExists(P("dAtA\\Orders.Fd")));
  EXPECT_TRUE(FsIsFolder(P("DATA")));
  EXPECT_FALSE(FsIsFolder(P("DATA\\ORDERS.FD")));
  EXPECT_FALSE(FsExists(P("DATA\\MISSING.FD")));
}

TEST_F(FsTest, NewFilesGoIntoTheResolvedFolderUnderTheirWrittenName) {
  FsResult why = FsResult::kFailed;
  FILE* f = FsOpen(P("DATA\\NewFile.TMP"), "wb+", &why);
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(why, FsResult::kOk);
  std::fclose(f);
  struct stat st;
  EXPECT_EQ(stat((root_ + "/Data/NewFile.TMP").c_str(), &st), 0);
  // Below a missing folder nothing is resolved and the open fails.
  EXPECT_EQ(FsOpen(P("NOPE\\x.txt"), "wb", &why), nullptr);
  EXPECT_EQ(why, FsResult::kNotFound);
  EXPECT_EQ(FsOpen(P("DATA\\missing.fd"), "rb", &why), nullptr);
  EXPECT_EQ(why, FsResult::kNotFound);
}

TEST_F(FsTest, AnExactNameWinsOverACaseVariant) {
  ASSERT_TRUE(qtest::WriteFile(root_ + "/Data/ORDERS.FD", "upper"));
  EXPECT_EQ(FsResolve(P("Data\\orders.fd")), root_ + "/Data/orders.fd");
  EXPECT_EQ(FsResolve(P("Data\\ORDERS.FD")), root_ + "/Data/ORDERS.FD");
  // Neither spelling exact: the first by byte order.
  EXPECT_EQ(FsResolve(P("Data\\Orders.fd")), root_ + "/Data/ORDERS.FD");
}

TEST_F(FsTest, ListingGivesAttributesSortedByName) {
  ASSERT_EQ(mkdir((root_ + "/Data/Sub").c_str(), 0777), 0);
  ASSERT_EQ(mkfifo((root_ + "/Data/pipe").c_str(), 0666), 0);
  ASSERT_TRUE(qtest::WriteFile(root_ + "/Data/.hidden", ""));
  std::vector<FsEntry> entries;
  ASSERT_EQ(FsList(P("data\\*.*"), &entries), FsResult::kOk);
  std::vector<std::string> names;
  for (const FsEntry& e : entries)
    names.push_back(e.name);
  EXPECT_EQ(names, (std::vector<std::string>{".hidden", "QoDicc.DAT", "Sub", "orders.fd", "pipe"}));
  EXPECT_TRUE(entries[0].hidden);
  EXPECT_EQ(entries[1].size, 10u);
  EXPECT_FALSE(entries[1].folder);
  EXPECT_FALSE(entries[1].system);
  EXPECT_GT(entries[1].write_time, 0);
  EXPECT_TRUE(entries[2].folder);
  EXPECT_TRUE(entries[4].system);  // a pipe must never be copied
  ASSERT_EQ(FsList(P("DATA\\*.fd"), &entries), FsResult::kOk);
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].name, "orders.fd");
}

TEST_F(FsTest, ListingWithoutWildcardsNamesOneEntry) {
  std::vector<FsEntry> entries;
  ASSERT_EQ(FsList(P("DATA\\."), &entries), FsResult::kOk);  // "the folder exists"
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_TRUE(entries[0].folder);
  EXPECT_EQ(FsList(P("README\\."), &entries), FsResult::kNotFound);  // a file is no folder
  ASSERT_EQ(FsList(P("data\\QODICC.DAT"), &entries), FsResult::kOk);
  EXPECT_EQ(entries[0].name, "QoDicc.DAT");  // the name as it is on disk
  EXPECT_EQ(FsList(P("DATA\\*.xyz"), &entries), FsResult::kNotFound);
  EXPECT_TRUE(entries.empty());
  EXPECT_EQ(FsList(P("MISSING\\*.*"), &entries), FsResult::kNotFound);
  if (geteuid() != 0) {
    chmod((root_ + "/Data").c_str(), 0);
    EXPECT_EQ(FsList(P("Data\\*.*"), &entries), FsResult::kAccessDenied);
  }
}

TEST_F(FsTest, CopyReplacesOnlyWhenAskedAndKeepsTheWriteTime) {
  const std::string src = P("DATA\\ORDERS.FD");
  const std::string dst = P("copy.fd");
  struct stat before;
  ASSERT_EQ(stat((root_ + "/Data/orders.fd").c_str(), &before), 0);
  ASSERT_EQ(FsCopy(src, dst, false), FsResult::kOk);
  EXPECT_EQ(qtest::ReadFile(root_ + "/copy.fd"), "0123456789");
  struct stat after;
  ASSERT_EQ(stat((root_ + "/copy.fd").c_str(), &after), 0);
  EXPECT_EQ(after.st_mtim.tv_sec, before.st_mtim.tv_sec);

  ASSERT_TRUE(qtest::WriteFile(root_ + "/copy.fd", "old"));
  EXPECT_EQ(FsCopy(src, dst, false), FsResult::kExists);
  EXPECT_EQ(qtest::ReadFile(root_ + "/copy.fd"), "old");
  EXPECT_EQ(FsCopy(src, P("COPY.FD"), true), FsResult::kOk);  // the same file in other case
  EXPECT_EQ(qtest::ReadFile(root_ + "/copy.fd"), "0123456789");
  struct stat again;
  EXPECT_NE(stat((root_ + "/COPY.FD").c_str(), &again), 0);  // no second file
}

TEST_F(FsTest, CopyFailuresAreDistinguished) {
  EXPECT_EQ(FsCopy(P("DATA\\NONE.FD"), P("x.fd"), true), FsResult::kNotFound);
  EXPECT_EQ(FsCopy(P("DATA\\ORDERS.FD"), P("NOFOLDER\\x.fd"), true), FsResult::kNotFound);
  EXPECT_EQ(FsCopy(P("DATA"), P("x.fd"), true), FsResult::kAccessDenied);  // a folder
  EXPECT_EQ(FsCopy(P("DATA\\ORDERS.FD"), P("DATA"), true), FsResult::kAccessDenied);
  // A file copied onto itself must not be emptied.
  EXPECT_EQ(FsCopy(P("DATA\\ORDERS.FD"), P("data\\orders.fd"), true), FsResult::kFailed);
  EXPECT_EQ(qtest::ReadFile(root_ + "/Data/orders.fd"), "0123456789");
  if (geteuid() != 0) {
    ASSERT_TRUE(qtest::WriteFile(root_ + "/ro.fd", "keep"));
    chmod((root_ + "/ro.fd").c_str(), 0444);
    EXPECT_EQ(FsCopy(P("DATA\\ORDERS.FD"), P("ro.fd"), true), FsResult::kAccessDenied);
    EXPECT_EQ(qtest::ReadFile(root_ + "/ro.fd"), "keep");
  }
  // No temporary copies are left behind.
  std::vector<FsEntry> entries;
  FsList(win_ + "\\*.*", &entries);
  for (const FsEntry& e : entries)
    EXPECT_EQ(e.name.find(".copy-"), std::string::npos) << e.name;
}

TEST_F(FsTest, ExclusiveCreateRefusesAnyExistingSpelling) {
  ASSERT_EQ(FsCreateExclusive(P("ORDERS.lock"), " "), FsResult::kOk);
  EXPECT_EQ(qtest::ReadFile(root_ + "/ORDERS.lock"), " ");
  EXPECT_EQ(FsCreateExclusive(P("ORDERS.lock"), " "), FsResult::kExists);
  EXPECT_EQ(FsCreateExclusive(P("orders.LOCK"), " "), FsResult::kExists);
  EXPECT_EQ(FsCreateExclusive(P("NOFOLDER\\a.lock"), " "), FsResult::kNotFound);
  ASSERT_EQ(FsRemove(P("orders.lock")), FsResult::kOk);
  EXPECT_EQ(FsCreateExclusive(P("orders.lock"), ""), FsResult::kOk);
}

TEST_F(FsTest, RemoveRenameAndFolders) {
  EXPECT_EQ(FsRemove(P("DATA")), FsResult::kAccessDenied);
  EXPECT_EQ(FsRemove(P("DATA\\NONE")), FsResult::kNotFound);
  EXPECT_EQ(FsMakeFolder(P("DATA")), FsResult::kExists);
  EXPECT_EQ(FsMakeFolder(P("A\\B")), FsResult::kNotFound);
  ASSERT_EQ(FsMakeFolder(P("Backups")), FsResult::kOk);
  EXPECT_TRUE(FsIsFolder(P("BACKUPS")));
  EXPECT_EQ(FsRemoveFolder(P("backups")), FsResult::kOk);

  EXPECT_EQ(FsRename(P("DATA\\ORDERS.FD"), P("DATA\\QODICC.DAT"), false), FsResult::kExists);
  EXPECT_EQ(qtest::ReadFile(root_ + "/Data/QoDicc.DAT"), "dictionary");
  ASSERT_EQ(FsRename(P("DATA\\ORDERS.FD"), P("DATA\\orders.tmp"), false), FsResult::kOk);
  EXPECT_EQ(qtest::ReadFile(root_ + "/Data/orders.tmp"), "0123456789");
  ASSERT_EQ(FsRename(P("DATA\\orders.tmp"), P("DATA\\QODICC.DAT"), true), FsResult::kOk);
  EXPECT_EQ(qtest::ReadFile(root_ + "/Data/QoDicc.DAT"), "0123456789");
  // A change of letter case only.
  ASSERT_EQ(FsRename(P("DATA\\qodicc.dat"), P("DATA\\QODICC.DAT"), false), FsResult::kOk);
  std::vector<FsEntry> entries;
  ASSERT_EQ(FsList(P("DATA\\*.DAT"), &entries), FsResult::kOk);
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].name, "QODICC.DAT");
}

TEST_F(FsTest, TruncateAndFlushToDisk) {
  FILE* f = FsOpen(P("DATA\\ORDERS.FD"), "rb+");
  ASSERT_NE(f, nullptr);
  std::fseek(f, 0, SEEK_END);
  std::fputs("ABC", f);  // still in the stream's buffer
  EXPECT_TRUE(FsFlushToDisk(f));
  EXPECT_EQ(qtest::ReadFile(root_ + "/Data/orders.fd"), "0123456789ABC");
  EXPECT_EQ(FsTruncate(f, 4), FsResult::kOk);
  std::fclose(f);
  EXPECT_EQ(qtest::ReadFile(root_ + "/Data/orders.fd"), "0123");
  EXPECT_FALSE(FsFlushToDisk(nullptr));
}

TEST_F(FsTest, FoldersOfTheProcess) {
  const char* old_temp = std::getenv("TEMP");
  const std::string saved = old_temp ? old_temp : "";
  setenv("TEMP", root_.c_str(), 1);
  EXPECT_EQ(FsTempFolder(), win_);
  const std::string a = FsTempName("tmp");
  const std::string b = FsTempName("tmp");
  EXPECT_NE(a, b);
  EXPECT_EQ(a.rfind(win_ + "\\", 0), 0u) << a;
  EXPECT_EQ(a.substr(a.size() - 4), ".tmp");
  EXPECT_FALSE(FsExists(a));
  if (old_temp) {
    setenv("TEMP", saved.c_str(), 1);
  } else {
    unsetenv("TEMP");
  }

  const std::string cwd = FsWorkingFolder();
  ASSERT_FALSE(cwd.empty());
  ASSERT_EQ(FsChangeFolder(P("DATA")), FsResult::kOk);
  EXPECT_EQ(FsWorkingFolder(), FsRuntimePath(root_ + "/Data"));
  EXPECT_TRUE(FsExists("QODICC.DAT"));  // relative to the new working folder
  EXPECT_EQ(FsChangeFolder(P("NOWHERE")), FsResult::kNotFound);
  ASSERT_EQ(FsChangeFolder(cwd), FsResult::kOk);

  const std::string program = FsProgramFolder();
  ASSERT_FALSE(program.empty());
  EXPECT_TRUE(FsIsFolder(program));
  EXPECT_EQ(ProcessProgramPath().rfind(program + "\\", 0), 0u);
}

}  // namespace
