// The arguments of one built-in call as its handler sees them, and the
// handlers that live outside builtins.cpp (data files, streams, files).
//
// The dispatcher evaluates the arguments onto the ArgumentStack and takes
// them back as TempStack copies; a handler reads them through the accessors
// below (1-based positions, defaults for absent arguments and empty numbers)
// and pushes exactly one value. Only the built-in sources include this file.
#pragma once

#include <cstdint>

#include "core/str_desc.h"
#include "language/builtins.h"
#include "language/scanner.h"

struct BuiltinCall {
  const TokenState* token = nullptr;  // the call's token
  StrDesc group;                      // the argument text (prepared)
  TokenState rest;                    // the group scanned past the evaluated arguments
  uint16_t count = 0;                 // arguments evaluated
  StrDesc arg[kMaxArguments];
  bool is_string[kMaxArguments] = {};
};

using BuiltinHandler = Status (*)(BuiltinCall& call);

// True when argument k exists and is not an empty number.
bool ArgGiven(const BuiltinCall& call, int k);
bool ArgIsString(const BuiltinCall& call, int k);
// An integer argument (the number rounded to an integer), def when absent or
// an empty number; 128 for a string.
Status ArgInt(const BuiltinCall& call, int k, int64_t def, int64_t* out);
// A string argument, def when absent or an empty number; 128 for a number.
Status ArgStr(const BuiltinCall& call, int k, StrDesc def, StrDesc* out);
// A string, or a number as its text (NumFormatD, pushed); def when absent.
Status ArgText(const BuiltinCall& call, int k, StrDesc def, StrDesc* out);

// Pushes an integer as a number / a copy of a text; returns the status.
Status PushInteger(int64_t n);
Status PushText(StrDesc s);

// The FILELOCATE request code of a verb (upper-cased; NEXT, PREVIOUS and
// BOTTOM accepted for NXT, PRV and BOT); 255 for an unknown verb.
uint16_t LocateRequest(StrDesc verb);

// Reads an expression file for EvaluateFile and EXEC$: %...% references
// expanded, found as named or in the folders of DynStrings (0, 5), read whole
// with every line break (CR LF, CR, LF) turned into ';'. Pushes the text; the
// error descriptor 164 when the file is not found or cannot be read.
StrDesc ReadExpressionFile(StrDesc name);

// Handlers of builtins_files.cpp.
Status BuiltinFileLength(BuiltinCall& call);  // FN#FLEN
Status BuiltinFileFind(BuiltinCall& call);    // FILEFIND
Status BuiltinFileRel(BuiltinCall& call);     // FILEREL
Status BuiltinFileLocate(BuiltinCall& call);  // FILELOCATE
Status BuiltinFileSel(BuiltinCall& call);     // FILESEL
Status BuiltinRead(BuiltinCall& call);        // READ$
Status BuiltinWrite(BuiltinCall& call);       // WRITE
Status BuiltinKey(BuiltinCall& call);         // KEY$
Status BuiltinIer(BuiltinCall& call);         // IER
// The raw text of a field in record buffer 1 or 2 for FN$FLDS, pushed.
Status FieldBufferText(StrDesc reference, int buffer);
