#include "shell/folders_setup.h"

#include "core/dyn_strings.h"
#include "core/temp_stack.h"
#include "shell/cmdline.h"
#include "storage/folders.h"

namespace {

constexpr uint16_t kSettingsGroup = 0;
constexpr uint16_t kItemDefault = 5;
constexpr uint16_t kItemHelp = 7;

// Stores a folder value; an error descriptor is not stored and its code is
// returned.
Status StoreFolder(uint16_t item, StrDesc value) {
  Status st = StrCheck(value);
  return st != 0 ? st : DynSet(kSettingsGroup, item, value);
}

}  // namespace

Status ResolveFolders(uint16_t mode) {
  TempMarkValue mark = TempMark();
  Status st = 0;
  if (mode & kFoldersFromProgram) {
    if (DynGet(kSettingsGroup, kItemDefault).len == 0)
      st = StoreFolder(kItemDefault, AppFolder(kAppRunPath));
    if (st == 0 && DynGet(kSettingsGroup, kItemHelp).len == 0)
      st = StoreFolder(kItemHelp, AppFolder(kAppHelp));
  }
  if (st == 0 && (mode & kFoldersFromOption)) {
    StrDesc folder = OptionValue(kOptDPath);
    if (!StrIsError(folder) && folder.len == 0)
      folder = ResolveRelative(WorkingFolder(), Lit("..\\APPS"));
    st = StoreFolder(kItemDefault, folder);
    // The help folder follows the definitions folder it was derived from.
    if (st == 0) st = DynSet(kSettingsGroup, kItemHelp, Lit(""));
    if (st == 0) st = StoreFolder(kItemHelp, AppFolder(kAppHelp));
  }
  if (st == 0 && (mode & kFoldersMakeBackup)) {
    StrDesc backup = AppFolder(kAppBackup);
    st = StrCheck(backup);
    if (st == 0 && !FolderExists(backup)) st = MakeFolderTree(backup);
  }
  TempRelease(mark);
  return st;
}

void InstallPathExpander() {
  SetPathPlaceholderExpander(ExpandPlaceholders);
}
