// The built-in functions of the expression language and the ArgumentStack.
//
// A built-in is a name of kBuiltinList followed by a group; the evaluator
// hands its token to CallBuiltin, which evaluates the arguments (each a full
// expression, separated by ';' or ',', at most 16) onto the ArgumentStack
// (DynStrings group 35; an empty value is stored as the byte ESC, 0x1B), takes
// them back off last first, checks their count and types and calls the
// function's handler, which pushes exactly one value. The result type is that
// of the name: names with '$' give strings, the others numbers. FN#ACUM and
// FN$FLDS read their argument text themselves; CHK#, CHK$ and EXP$ have only
// their first argument evaluated; FILEREL its first four; SQLCHILD all of them
// inside a nesting frame.
//
// Argument errors: a wrong count or a keyword not in its list gives 147, a
// string where an integer is needed (or the reverse) 128. Statuses of called
// subsystems of 128 and above are returned unchanged.
//
// The built-ins that reach data files, streams, procedures or screens go
// through the small functions of builtins_files.cpp (finished with the
// storage layer); until a piece exists they fail with 169 or 148 and a detail.
// Callers: the evaluator (CallBuiltin), the procedure interpreter
// (PushArguments for CALL).
#pragma once

#include <cstdint>

#include "core/str_desc.h"
#include "language/scanner.h"

// Indexes of the built-in list.
enum BuiltinIndex : uint16_t {
  kFnAccum = 1,  // _#
  kFnFLen,
  kFnSLen,
  kFnNParm,
  kFnValN,
  kFnAcum,  // FN#ACUM
  kFnChkN,
  kFnFileFind,
  kFnFileRel,
  kFnFileLocate,
  kFnFileSel,
  kFnChng,
  kFnChrs,
  kFnDate,
  kFnFlds,
  kFnMask,
  kFnMids,
  kFnSParm,
  kFnTrim,
  kFnEnvelop,
  kFnChkS,
  kFnSort,
  kFnExec,
  kFnRead,
  kFnWrite,
  kFnMacro,
  kFnEnvron,
  kFnDyn,  // _$
  kFnKey,
  kFnTime,
  kFnIer,
  kFnExp,
  kFnSqlChild,
  kBuiltinCount = kFnSqlChild,
};

// Most arguments one call evaluates.
constexpr uint16_t kMaxArguments = 16;
// The DynStrings group of the ArgumentStack and its empty-value marker.
constexpr uint16_t kArgumentGroup = 35;
constexpr char kEmptyArgument = '\x1B';

// Hook slot 1: the procedure runner (EXEC$): runs entry of procedure file
// (either may be empty); flags bit 0 keeps variables local, bit 1 stores the
// result in DynStrings group 30.
using ProcedureRunnerHook = Status (*)(StrDesc entry, StrDesc file, int flags);
// Hook slot 3: the relation hook of FILEREL, called with the adjusted
// arguments and the remaining argument text; returns an outcome or a status.
using RelationHook = Status (*)(uint16_t file, uint16_t relation, uint16_t mode, uint16_t flags,
                                StrDesc text);

// Calls built-in `index` for the token (its group holds the arguments).
// Returns a status with exactly one new TempStack entry (the value) while it
// is below 128. Indexes beyond the list give 147. The ArgumentStack is cut
// back to its size on entry.
Status CallBuiltin(uint16_t index, const TokenState& token);

// Evaluates an argument list text (prepared first: blanks, macros) like the
// arguments of a built-in, at most 16, and pushes each value on the
// ArgumentStack, left to right. *count receives the number pushed and
// *string_bits bit i set for a string argument i. Nothing stays on the
// TempStack. On a status >= 128 nothing stays pushed.
Status PushArguments(StrDesc list, uint16_t* count, uint16_t* string_bits);

// Reads ArgumentStack item `value` back: ESC is the empty string.
inline StrDesc ArgumentValue(StrDesc stored) {
  return (stored.ptr != nullptr && stored.len == 1 && stored.ptr[0] == kEmptyArgument)
             ? StrMake(stored.ptr, 0)
             : stored;
}
