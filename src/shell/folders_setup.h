// Start-up folder resolution: settles the definitions folder (DynStrings
// (0, 5)) and the help folder (0, 7), and makes the backups folder, from the
// program's own folder, the DPATH option and the working folder. Also wires
// the command-line module's placeholder expansion into the path expansion of
// the storage layer. Called by start-up (mode 1 when the application is
// identified, mode 2 after a failed dictionary load) and by maintenance
// (mode 8).
#pragma once

#include <cstdint>

#include "core/str_desc.h"

enum FolderMode : uint16_t {
  kFoldersFromProgram = 1,  // (0, 5) = program folder when empty; (0, 7) when empty
  kFoldersFromOption = 2,   // (0, 5) = DPATH, else ..\APPS beside the working folder
  kFoldersMakeBackup = 8,   // make the backups folder when it does not exist
};

// Applies the FolderMode bits of mode in the order 1, 2, 8. Mode 1 sets
// (0, 5) to APPPATH_RUNPATH only when it is empty and (0, 7) to APPPATH_HELP
// only when it is empty. Mode 2 always replaces (0, 5) (the DPATH option, else
// "..\APPS" resolved against the working folder) and sets (0, 7) to "Help" in
// the new definitions folder. Mode 8 makes APPPATH_BACKUP when it is missing.
// Returns 0, the DynStrings status of a failed store, or MakeFolderTree's.
Status ResolveFolders(uint16_t mode);

// Installs the command-line module's ExpandPlaceholders as the path
// placeholder expander (start-up, before any path is expanded; tests).
void InstallPathExpander();
