// Lock files: how data files are shared between processes.
//
// A process that opens a data file exclusively leaves a lock file for as long
// as the file is open: the file's dictionary name with the extension "lock",
// in the current folder, holding one blank. Only its existence matters. A
// second exclusive open, in any process, is refused while it exists; shared
// opens neither test nor take it. A lock file that outlives its process
// marks an interrupted run, which start-up recovery answers by unlocking and
// rebuilding every data file. The lock is taken by an exclusive create, so two
// processes opening at the same moment cannot both get it. There are no
// record locks. Callers: data files, maintenance, start-up recovery.
#pragma once

#include <cstdint>

#include "core/str_desc.h"

// The lock file name of file f (its name, ".lock"), pushed; empty when f is
// not defined.
StrDesc LockFileName(uint16_t f);

// True when a folder listing finds file f's lock file.
bool LockExists(uint16_t f);

// Creates file f's lock file (one blank). 0 when created, or when it cannot
// be written (the open goes on without it); 175 when it exists already.
Status LockTake(uint16_t f);

// Deletes file f's lock file; 0 also when there was none.
Status LockRelease(uint16_t f);

// Deletes a lock file by name (a name LockFileName gave).
Status LockReleaseName(StrDesc name);
