// The runtime's bring-up and shutdown steps, shared by the program's start-up
// and by the tools that run the runtime without windows.
//
// In order: RuntimeCoreUp (the core, the variable table, the field-value
// hook, the locale text), the command line (CmdlineStore), RuntimeIdentify
// (language, trace bits, application code and title, folders),
// RuntimeLoadEnvironment (the dictionary and the data files),
// RuntimeLoadFonts (the font file). RuntimeShutdown undoes all of it: open
// data files closed, module tables released, variables, then the memory
// shutdown, whose result it returns.
#pragma once

#include <cstdint>

#include "core/str_desc.h"

// Core, variables (with DynStrings and the record tables), the hook table,
// the locale text in DynStrings (0, 0). The first failure's status.
Status RuntimeCoreUp();

// Language (ES when unset), _TRACE from the TRACE option, the application
// code (APNAME option, else `application_code`), the title, the folders.
Status RuntimeIdentify(StrDesc application_code, StrDesc title);

// Loads the dictionary from the definitions folder (then from DPATH or
// ..\APPS) and opens the data files. 156 when the application prefix is
// shorter than two characters; with start flag 4 a missing dictionary (156,
// 164) counts as success.
Status RuntimeLoadEnvironment(uint8_t start_flags);

// Loads the font file KVFONT.PPN when the windows' fonts are built; 0.
Status RuntimeLoadFonts();

// Closes and releases everything; the memory shutdown's result (0, or the
// owner of a block left over, also reported on stderr).
Status RuntimeShutdown();
