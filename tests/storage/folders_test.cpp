// Path helpers, application folders, folder search and creation, temporary
// names and the expansion of %NAME% references.
#include "storage/folders.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "core/dyn_strings.h"
#include "core/status.h"
#include "platform/fs.h"
#include "platform/process.h"
#include "shell/cmdline.h"
#include "support/runtime_fixture.h"
#include "support/test_dirs.h"

namespace {

using qtest::S;

StrDesc D(const std::string& s) {
  return StrMake(s.data(), static_cast<uint16_t>(s.size()));
}

// The runtime's form of a native test path.
std::string R(const std::string& native) {
  return FsRuntimePath(native);
}

// Sets an environment variable for the length of a test.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::string& value) : name_(name) {
    had_ = ProcessHasEnv(name_);
    old_ = ProcessGetEnv(name_);
    ProcessSetEnv(name_, value);
  }
  ~ScopedEnv() {
    if (had_) {
      ProcessSetEnv(name_, old_);
    } else {
      ProcessUnsetEnv(name_);
    }
  }

 private:
  std::string name_;
  std::string old_;
  bool had_ = false;
};

class FoldersTest : public RuntimeTest {
 protected:
  void SetUp() override {
    RuntimeTest::SetUp();
    SetPathPlaceholderExpander(nullptr);
  }
  void TearDown() override {
    SetPathPlaceholderExpander(nullptr);
    RuntimeTest::TearDown();
  }
  void Set(uint16_t item, const std::string& value) { ASSERT_EQ(DynSet(0, item, D(value)), 0); }
};

TEST_F(FoldersTest, NormalizeJoinAndExtension) {
  EXPECT_EQ(S(PathNormalize(Lit("a/b\\c/"))), "a\\b\\c\\");
  struct Case {
    const char *a, *b, *joined;
  } joins[] = {
      {"C:\\a", "b", "C:\\a\\b"},
      {"C:\\a\\", "b", "C:\\a\\b"},
      {"C:\\a", "\\b", "C:\\a\\b"},
      {"C:\\a\\", "\\b", "C:\\a\\\\b"},
      {"", "b", "b"},
      {"a", "", "a"},
      {"a/x", "y/z", "a\\x\\y\\z"},
      {"C:", "b", "C:\\b"},
      {"", "", ""},
  };
  for (const Case& c : joins)
    EXPECT_EQ(S(PathJoin(StrFromCstr(c.a), StrFromCstr(c.b))), c.joined) << c.a << " + " << c.b;
  EXPECT_EQ(S(PathJoinExt(Lit("name"), Lit("ext"))), "name.ext");
  EXPECT_EQ(S(PathJoinExt(Lit("name"), Lit(""))), "name");
  EXPECT_EQ(S(PathJoinExt(Lit(""), Lit("ext"))), "ext");
  EXPECT_EQ(StrCheck(PathJoin(StrError(146), Lit("x"))), 146);
  EXPECT_EQ(StrCheck(PathPart(StrError(145), 3)), 145);
}

TEST_F(FoldersTest, PathPartBits) {
  struct Case {
    const char* path;
    uint16_t parts;
    const char* result;
  } cases[] = {
      {"C:\\dir\\sub\\file.txt", 1, "C:"},
      {"C:\\dir\\sub\\file.txt", 2, "\\dir\\sub"},
      {"C:\\dir\\sub\\file.txt", 3, "C:\\dir\\sub"},
      {"C:\\dir\\sub\\file.txt", 4, "file"},
      {"C:\\dir\\sub\\file.txt", 6, "\\dir\\sub\\file"},
      {"C:\\dir\\sub\\file.txt", 8, "txt"},
      {"C:\\dir\\sub\\file.txt", 12, "file.txt"},
      {"C:\\dir\\sub\\file.txt", 15, "C:\\dir\\sub\\file.txt"},
      {"C:\\dir\\sub\\file.txt", 5, "C:file"},  // no "\" after a drive
      {"C:\\d.x\\file", 8, ""},                 // a dot before the last "\"
      {"C:\\d.x\\file", 12, "file"},
      {"C:\\file.txt", 3, "C:"},  // a file at the root
      {"C:file.txt", 3, "C:"},
      {"C:file.txt", 4, "file"},
      {"file.txt", 3, ""},
      {"file.txt", 12, "file.txt"},
      {"\\a\\b.c.d", 4, "b.c"},  // the last dot counts
      {"\\a\\b.c.d", 8, "d"},
      {"\\a\\b.c.d", 6, "\\a\\b.c"},
      {"\\top", 3, ""},
      {"dir\\", 4, ""},
      {"dir\\", 3, "dir"},
      {".profile", 4, ""},
      {".profile", 8, "profile"},
      {"", 15, ""},
  };
  for (const Case& c : cases)
    EXPECT_EQ(S(PathPart(StrFromCstr(c.path), c.parts)), c.result) << c.path << " & " << c.parts;
}

TEST_F(FoldersTest, KindExtensions) {
  const char* upper[] = {"", "", "FD", "DIR", "NDX", "TMP", "TXT", ""};
  for (uint16_t kind = 0; kind < 8; ++kind) {
    EXPECT_EQ(S(KindExtension(kind)), upper[kind]) << kind;
    std::string lower = upper[kind];
    for (char& c : lower)
      c = static_cast<char>(c - 'A' + 'a');
    EXPECT_EQ(S(KindExtension(static_cast<uint16_t>(kind + kKindLower))), lower) << kind;
  }
}

TEST_F(FoldersTest, ResolveRelative) {
  struct Case {
    const char *base, *rel, *result;
  } cases[] = {
      {"C:\\App\\Bin", "..\\data", "C:\\App\\data"},
      {"C:\\App", "data", "C:\\App\\data"},
      {"C:\\A\\B\\C", "..\\..\\x", "C:\\A\\x"},
      {"C:\\App", ".\\data", "C:\\App\\data"},
      {"C:\\App", "..", "C:"},
      {"C:\\App\\Bin", "../data", "C:\\App\\data"},
      {"C:\\App", "...\\x", "C:\\App\\...\\x"},  // "..." is a name
      {"C:\\App", "..x\\y", "C:\\App\\..x\\y"},
      {"C:\\A\\B", "..\\.\\x", "C:\\A\\x"},
      {"C:\\A", "x\\.\\.\\y", "C:\\A\\x\\y"},
      {"C:\\A", "x\\..\\y", "C:\\A\\x\\..\\y"},  // only leading ".." climbs
      {"", "..\\data", "data"},
      {"\\home\\u\\work", "..\\APPS", "\\home\\u\\APPS"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(S(ResolveRelative(StrFromCstr(c.base), StrFromCstr(c.rel))), c.result)
        << c.base << " ~ " << c.rel;
}

TEST_F(FoldersTest, ApplicationFolders) {
  std::string cwd = FsWorkingFolder();
  Set(1, "\"C:\\Prog Files\\qo.exe\" /APNAME=QO0001");
  Set(5, "C:\\apps\\def");
  EXPECT_EQ(S(AppFolder(kAppRunPath)), "C:\\Prog Files");
  EXPECT_EQ(S(AppFolder(kAppDefault)), "C:\\apps\\def");
  EXPECT_EQ(S(AppFolder(kAppDocs)), cwd) << "no documents folder: the current one";
  EXPECT_EQ(S(AppFolder(kAppHelp)), "C:\\apps\\def\\Help");
  EXPECT_EQ(S(AppFolder(kAppBackup)), "C:\\apps\\def\\Backups");
  EXPECT_EQ(S(AppFolder(kAppBackRel)), cwd + "\\Backups");
  EXPECT_EQ(S(AppFolder(0)), "");
  EXPECT_EQ(S(AppFolder(8)), "");

  Set(6, "D:\\docs\\sub");
  Set(7, "E:\\hlp");
  Set(11, "srv, 'Db1' ,usr,pw");
  EXPECT_EQ(S(AppFolder(kAppDocs)), "D:\\docs\\sub");
  EXPECT_EQ(S(AppFolder(kAppHelp)), "E:\\hlp");
  EXPECT_EQ(S(AppFolder(kAppData)), "D:\\docs\\data") << "drive C: takes the documents folder";
  EXPECT_EQ(S(AppFolder(kAppBackRel)), cwd + "\\Backups\\SRV\\Db1");
  EXPECT_EQ(S(AppFolderFile(Lit("x.fd"), kAppDocs)), "D:\\docs\\sub\\x.fd");

  struct DataCase {
    const char* program;
    const char* data;
  } data_cases[] = {
      {"G:\\x\\qo.exe", "C:\\apps\\data"},  // F: and later: beside the definitions
      {"F:\\qo.exe", "C:\\apps\\data"},    {"f:\\qo.exe", "C:\\apps\\data"},
      {"E:\\qo.exe", "D:\\docs\\data"},    {"\\usr\\bin\\qo", "D:\\docs\\data"},  // no drive
  };
  for (const DataCase& c : data_cases) {
    Set(1, c.program);
    EXPECT_EQ(S(AppFolder(kAppData)), c.data) << c.program;
  }
  Set(1, "C:\\qo.exe /X");
  EXPECT_EQ(S(AppFolder(kAppRunPath)), "C:") << "a program at a drive root";
  Set(1, "\\usr\\local\\bin\\quillon");
  EXPECT_EQ(S(AppFolder(kAppRunPath)), "\\usr\\local\\bin");
}

class FolderFilesTest : public FoldersTest {
 protected:
  void SetUp() override {
    FoldersTest::SetUp();
    dir_ = qtest::MakeTempDir("folders");
    root_ = R(dir_);
  }
  void TearDown() override {
    qtest::RemoveTree(dir_);
    FoldersTest::TearDown();
  }
  std::string dir_;   // native
  std::string root_;  // runtime form
};

TEST_F(FolderFilesTest, FindFileInFolders) {
  ASSERT_EQ(MakeFolderTree(D(root_ + "\\one")), 0);
  ASSERT_EQ(MakeFolderTree(D(root_ + "\\two")), 0);
  ASSERT_TRUE(qtest::WriteFile(dir_ + "/two/x.txt", "2"));
  ASSERT_TRUE(qtest::WriteFile(dir_ + "/one/y.txt", "1"));
  ASSERT_TRUE(qtest::WriteFile(dir_ + "/two/y.txt", "2"));
  std::string folders = root_ + "\\one, " + root_ + "\\two,," + root_ + "\\none";
  EXPECT_EQ(S(FindFileInFolders(D(folders), Lit("x.txt"))), root_ + "\\two\\x.txt");
  EXPECT_EQ(S(FindFileInFolders(D(folders), Lit("y.txt"))), root_ + "\\one\\y.txt") << "list order";
  EXPECT_EQ(S(FindFileInFolders(D(folders), Lit("X.TXT"))), root_ + "\\two\\X.TXT")
      << "names are resolved without regard to case";
  EXPECT_EQ(S(FindFileInFolders(D(folders), Lit("z.txt"))), "");
  std::string direct = root_ + "\\one\\y.txt";
  EXPECT_EQ(S(FindFileInFolders(Lit(""), D(direct))), direct) << "the name as given comes first";
  EXPECT_EQ(S(FindFileInFolders(D(folders), Lit(""))), "");
}

TEST_F(FolderFilesTest, MakeFolderTree) {
  std::string deep = root_ + "\\a\\b\\c";
  EXPECT_FALSE(FolderExists(D(deep)));
  EXPECT_EQ(MakeFolderTree(D(deep)), 0);
  EXPECT_TRUE(FolderExists(D(deep)));
  EXPECT_EQ(MakeFolderTree(D(deep)), 0) << "an existing folder";
  EXPECT_EQ(MakeFolderTree(D(root_ + "\\a\\d\\")), 0) << "a trailing separator";
  EXPECT_TRUE(FolderExists(D(root_ + "\\a\\d")));

  ASSERT_TRUE(qtest::WriteFile(dir_ + "/file", "x"));
  EXPECT_EQ(MakeFolderTree(D(root_ + "\\file")), 0xFFFF) << "a file is in the way";
  EXPECT_EQ(MakeFolderTree(D(root_ + "\\file\\sub")), 0xFFFF);
  EXPECT_FALSE(FolderExists(D(root_ + "\\file")));

  EXPECT_EQ(MakeFolderTree(Lit("C:")), kStData) << "neither directory nor name";
  EXPECT_NE(S(ErrDetailText()).find("C:"), std::string::npos);
  EXPECT_EQ(MakeFolderTree(Lit("")), kStData);
}

TEST_F(FolderFilesTest, TempFilePath) {
  ScopedEnv temp("TEMP", dir_);
  std::string a = S(TempFilePath(Lit("tmp")));
  std::string b = S(TempFilePath(Lit("tmp")));
  EXPECT_NE(a, b);
  ASSERT_GT(a.size(), root_.size() + 5);
  EXPECT_EQ(a.substr(0, root_.size() + 1), root_ + "\\");
  std::string name = a.substr(root_.size() + 1);
  EXPECT_EQ(name.find('.'), name.size() - 4) << name << ": one dot, before the suffix";
  EXPECT_EQ(name.substr(name.size() - 4), ".tmp");
  EXPECT_FALSE(FsExists(a));
  std::string bare = S(TempFilePath(Lit("")));
  EXPECT_EQ(bare.substr(root_.size() + 1).find('.'), std::string::npos);
}

class ExpandTest : public FoldersTest {};

TEST_F(ExpandTest, FoldersAndEnvironment) {
  ScopedEnv temp("TEMP", "T:\\tmp");
  ScopedEnv appdata("APPDATA", "U:\\roam");
  ScopedEnv home("HOMEPATH", "");
  Set(5, "C:\\apps\\def");
  Set(7, "C:\\help");
  struct Case {
    const char *text, *result;
  } cases[] = {
      {"%APPPATH_HELP%\\x.hlp", "C:\\help\\x.hlp"},
      {"%APPPATH_DEFAULT%\\a;%APPPATH_DEFAULT%\\b", "C:\\apps\\def\\a;C:\\apps\\def\\b"},
      {"%TEMP%\\f", "T:\\tmp\\f"},
      {"%Temp%\\f", "T:\\tmp\\f"},
      {"%temp%\\f", "T:\\tmp\\f"},
      {"%APPDATA%%TEMP%", "U:\\roamT:\\tmp"},
      {"[%HOMEPATH%]", "[]"},
      {"no references", "no references"},
      {"100%", "100%"},
      {"", ""},
  };
  for (const Case& c : cases)
    EXPECT_EQ(S(ExpandPathReferences(StrFromCstr(c.text))), c.result) << c.text;
  EXPECT_EQ(StrCheck(ExpandPathReferences(StrError(146))), 146);
}

TEST_F(ExpandTest, ApplicationVariablesGoThroughTheExpander) {
  ScopedEnv temp("TEMP", "T:\\tmp");
  Set(2, "QO0001");
  Set(5, "C:\\apps\\def");
  EXPECT_EQ(StrCheck(ExpandPathReferences(Lit("%APNAME%CLCUSR.DAT"))), kStUndefined)
      << "no expander installed: a clear failure";
  EXPECT_EQ(S(ExpandPathReferences(Lit("%TEMP%\\x"))), "T:\\tmp\\x") << "not needed here";

  SetPathPlaceholderExpander(ExpandPlaceholders);
  struct Case {
    const char *text, *result;
  } cases[] = {
      {"%APNAME%CLCUSR.DAT", "QOCLCUSR.DAT"},
      {"%APPPATH_DEFAULT%\\%APNAME%CLCFIX.DAT", "C:\\apps\\def\\QOCLCFIX.DAT"},
      {"%NOSUCHNAME%x", "x"},
      {"%NOSUCHNAME%%TEMP%", "T:\\tmp"},
      {"%DATAPATH%\\f", "C:\\apps\\def\\f"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(S(ExpandPathReferences(StrFromCstr(c.text))), c.result) << c.text;
}

TEST_F(ExpandTest, SelfReferenceStops) {
  SetPathPlaceholderExpander(ExpandPlaceholders);
  ScopedEnv temp("TEMP", "%TEMP%x");
  StrDesc r = ExpandPathReferences(Lit("%TEMP%"));
  ASSERT_FALSE(StrIsError(r));
  EXPECT_LE(r.len, 200);
}

}  // namespace
