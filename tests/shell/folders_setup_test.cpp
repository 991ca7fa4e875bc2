// Start-up folder resolution: the definitions and help folders from the
// program folder, the DPATH option or the working folder; the backups folder.
#include "shell/folders_setup.h"

#include <gtest/gtest.h>

#include <string>

#include "core/dyn_strings.h"
#include "platform/fs.h"
#include "shell/cmdline.h"
#include "storage/folders.h"
#include "support/runtime_fixture.h"
#include "support/test_dirs.h"

namespace {

using qtest::S;

StrDesc D(const std::string& s) {
  return StrMake(s.data(), static_cast<uint16_t>(s.size()));
}

class FoldersSetupTest : public RuntimeTest {
 protected:
  std::string Item(uint16_t i) { return S(DynGet(0, i)); }
  void Line(const std::string& text) { ASSERT_EQ(CmdlineStore(D(text)), 0); }
};

TEST_F(FoldersSetupTest, ProgramFolderFillsOnlyEmptyItems) {
  Line("C:\\prog\\qo.exe /APNAME=QO0001");
  EXPECT_EQ(ResolveFolders(kFoldersFromProgram), 0);
  EXPECT_EQ(Item(5), "C:\\prog");
  EXPECT_EQ(Item(7), "C:\\prog\\Help");

  ASSERT_EQ(DynSet(0, 5, Lit("D:\\defs")), 0);
  ASSERT_EQ(DynSet(0, 7, Lit("E:\\hlp")), 0);
  EXPECT_EQ(ResolveFolders(kFoldersFromProgram), 0);
  EXPECT_EQ(Item(5), "D:\\defs") << "a folder already set stays";
  EXPECT_EQ(Item(7), "E:\\hlp");

  ASSERT_EQ(DynSet(0, 7, Lit("")), 0);
  EXPECT_EQ(ResolveFolders(kFoldersFromProgram), 0);
  EXPECT_EQ(Item(7), "D:\\defs\\Help") << "help beside the definitions";
}

TEST_F(FoldersSetupTest, OptionOrAppsBesideTheWorkingFolder) {
  Line("\"C:\\my prog\\qo.exe\" /DPATH='C:\\defs'");
  EXPECT_EQ(ResolveFolders(kFoldersFromProgram), 0);
  EXPECT_EQ(Item(5), "C:\\my prog");
  EXPECT_EQ(ResolveFolders(kFoldersFromOption), 0);
  EXPECT_EQ(Item(5), "C:\\defs") << "DPATH always replaces the definitions folder";
  EXPECT_EQ(Item(7), "C:\\defs\\Help") << "and the help folder follows it";

  Line("C:\\prog\\qo.exe");
  EXPECT_EQ(ResolveFolders(kFoldersFromOption), 0);
  std::string cwd = FsWorkingFolder();
  std::string parent = S(PathPart(D(cwd), kPathParent));
  EXPECT_EQ(Item(5), parent + "\\APPS");
  EXPECT_EQ(Item(7), parent + "\\APPS\\Help");
}

TEST_F(FoldersSetupTest, BackupFolderIsMadeWhenMissing) {
  std::string dir = qtest::MakeTempDir("folders_setup");
  std::string defs = FsRuntimePath(dir) + "\\defs";
  ASSERT_EQ(DynSet(0, 5, D(defs)), 0);
  EXPECT_FALSE(FolderExists(D(defs + "\\Backups")));
  EXPECT_EQ(ResolveFolders(kFoldersMakeBackup), 0);
  EXPECT_TRUE(FolderExists(D(defs + "\\Backups"))) << "parents are made too";
  EXPECT_EQ(ResolveFolders(kFoldersMakeBackup), 0) << "an existing folder is fine";
  EXPECT_EQ(Item(7), "") << "mode 8 alone touches no setting";

  ASSERT_TRUE(qtest::WriteFile(dir + "/blocked", "x"));
  ASSERT_EQ(DynSet(0, 5, D(FsRuntimePath(dir) + "\\blocked")), 0);
  EXPECT_EQ(ResolveFolders(kFoldersMakeBackup), 0xFFFF) << "a file where the folder should go";
  qtest::RemoveTree(dir);
}

TEST_F(FoldersSetupTest, ModesCombine) {
  std::string dir = qtest::MakeTempDir("folders_setup");
  std::string prog = FsRuntimePath(dir) + "\\bin";
  Line(prog + "\\qo.exe");
  EXPECT_EQ(ResolveFolders(kFoldersFromProgram | kFoldersMakeBackup), 0);
  EXPECT_EQ(Item(5), prog);
  EXPECT_TRUE(FolderExists(D(prog + "\\Backups")));
  qtest::RemoveTree(dir);
}

TEST_F(FoldersSetupTest, InstalledExpanderReachesThePathExpansion) {
  SetPathPlaceholderExpander(nullptr);
  ASSERT_EQ(DynSet(0, 2, Lit("QO0001")), 0);
  EXPECT_TRUE(StrIsError(ExpandPathReferences(Lit("%APNAME%CLCUSR.DAT"))));
  InstallPathExpander();
  EXPECT_EQ(S(ExpandPathReferences(Lit("%APNAME%CLCUSR.DAT"))), "QOCLCUSR.DAT");
  SetPathPlaceholderExpander(nullptr);
}

}  // namespace
