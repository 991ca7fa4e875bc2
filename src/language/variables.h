// The variable table: every variable of the expression language.
//
// There are no declarations: a name comes into being on its first assignment,
// an array on the first read of an element. The kind of a name is decided by
// the characters it contains, tested in order: '@' invalid, '(' array, '$'
// string, '#' number, otherwise a signed 16-bit integer. Names are kept per
// kind in comma lists (DynStrings group 12, items 0..3, creation order); the
// index of a name is its position there. Values live in record table 7
// (integers), 8 (numbers, fixed point scaled by 10^_PRECIS), 6 (array
// descriptors) and DynStrings group 13 (string values).
//
// The system variables (_AUXSTAT, _RELRES, ... _USER03 and _ACUM$, _ACUMX$,
// _LTEXT$) are created first, in a fixed order, so the runtime reads and sets
// them by index. Values are pushed on the TempStack: numbers as their 8 bytes,
// strings as their bytes. Names beginning with '_' go first to hook slot 0
// (the screens' field-value access) when it is set.
#pragma once

#include <cstdint>

#include "core/str_desc.h"

// Type codes (also the scanner's operand classes).
enum VarType : uint8_t {
  kVarInvalid = 0,
  kVarInteger = 2,
  kVarString = 3,
  kVarNumber = 6,
  kVarArray = 16,
};

// Indexes of the integer system variables.
enum SysVar : uint16_t {
  kSysAuxStat = 0,
  kSysRelRes = 1,
  kSysCurFil = 2,
  kSysCurEdFld = 3,
  kSysDevHig = 4,
  kSysDevWid = 5,
  kSysDevLin = 6,
  kSysDevPos = 7,
  kSysDevPag = 8,
  kSysCurRow = 9,
  kSysStat = 10,
  kSysLastKey = 11,
  kSysSgn = 12,
  kSysUpStat = 13,
  kSysIer = 14,
  kSysSysCompat = 15,
  kSysSqlStk = 16,
  kSysCount = 17,
  kSysHCount = 18,
  kSysAdmStat = 19,
  kSysCompat = 20,
  kSysScrStat = 21,
  kSysLMax = 22,
  kSysLNum = 23,
  kSysLLst = 24,
  kSysHNum = 25,
  kSysSafe = 26,
  kSysLb = 27,
  kSysAux = 28,
  kSysKeyMap = 29,
  kSysSerial = 30,
  kSysTrace = 31,
  kSysPrecis = 32,
  kSysBYear = 33,
  kSysBkYear = 34,
  kSysDx = 35,
  kSysInHnd = 36,
  kSysOutHnd = 37,
  kSysDate = 38,
  kSysDocSt = 39,
  kSysWMaxRow = 40,
  kSysUser01 = 41,
  kSysUser02 = 42,
  kSysUser03 = 43,
};

// Indexes of the string system variables.
enum SysStrVar : uint16_t {
  kSysAcum = 0,   // _ACUM$
  kSysAcumX = 1,  // _ACUMX$: comma list of accumulator names
  kSysLText = 2,  // _LTEXT$
};

constexpr uint16_t kVarAbsent = 0xFFFF;

// The result of a lookup: type code, kind number (0 integer, 1 number,
// 2 string, 3 array) and index (kVarAbsent when the name is not in its list).
struct VarRef {
  uint8_t type = kVarInvalid;
  uint8_t kind = 0;
  uint16_t index = kVarAbsent;
};

// What TakeSnapshot records and RestoreSnapshot brings back.
struct VarSnapshot {
  uint16_t list_length[4] = {0, 0, 0, 0};
  uint16_t list_count[4] = {0, 0, 0, 0};
  uint16_t integer_count = 0;
  uint16_t number_count = 0;
  uint16_t array_count = 0;
  uint16_t string_count = 0;
};

// Field-value hook (slot 0): called with (name, 1) to read and (name, 5) to
// assign (the value is then the newest TempStack entry). Returns a string, or
// an error descriptor; 163 means "not a field of mine".
using VarFieldHook = StrDesc (*)(StrDesc name, int action);
void SetVarFieldHook(VarFieldHook hook);
VarFieldHook GetVarFieldHook();

// The type code of a name (kVarInvalid for an empty name).
uint8_t ClassifyName(StrDesc name);
// Classifies the name and finds it (exact bytes) in its kind's list.
VarRef LookupVariable(StrDesc name);
// Appends the name to the list of ref's kind; returns ref with the new index,
// or kVarAbsent when the list cannot be stored or the name cannot be found
// again (empty, invalid, or holding ',').
VarRef CreateVariable(StrDesc name, VarRef ref);

// Pushes the value of a variable (0 / empty for an absent name); 147 for
// invalid names.
Status ReadVariable(StrDesc name);
// Assigns value (creating the variable); on success a copy of value stays as
// the newest TempStack entry. Integers take the value rounded (RoundDiv) and
// cut to 16 bits. 147 for invalid and array names, 157 when the name cannot be
// stored; a failed assignment leaves the table unchanged. Failures are
// recorded under module VARNMASSIGN.
Status AssignVariable(StrDesc name, StrDesc value);
// Pushes n as a number, then AssignVariable.
Status AssignIntegerValue(StrDesc name, int64_t n);

// Direct access by index (system variables). Missing records read 0/empty.
// Setting integer 32 (_PRECIS) also sets the decimals of the number
// conversions. A string may be set only at an existing index or the next one
// (159 otherwise). The setters give 145 when memory cannot be had and pass on
// the DynStrings status.
int16_t IntegerVar(uint16_t i);
Status SetIntegerVar(uint16_t i, int16_t v);
int64_t NumberVar(uint16_t i);
Status SetNumberVar(uint16_t i, int64_t v);
StrDesc StringVar(uint16_t i);
Status SetStringVar(uint16_t i, StrDesc s);
bool TestBits(uint16_t i, uint16_t mask);
bool SetBits(uint16_t i, uint16_t mask, bool on);

// Reads the string variable "_V<n>$": its first byte and the integer value of
// the rest; 181 when it does not exist.
struct IndirectControl {
  char first = 0;
  int16_t value = 0;
  Status status = 0;
};
IndirectControl IndirectControlVar(int n);

// Records the sizes of the name lists and value stores.
VarSnapshot TakeSnapshot();
// Cuts back everything created since the snapshot: the name lists, the
// integer, number and array records (freeing the arrays' storage), and empties
// the string values above the snapshot's count. Values of older variables keep
// their current contents. 141 when a list is shorter than its snapshot.
Status RestoreSnapshot(const VarSnapshot& snapshot);

// Language start-up: DynStrings (with the block table and TempStack), the
// record tables, then the system variables with their defaults, in their
// fixed order (so _PRECIS ends at 2 and the number conversions with it).
// Returns the first failing status (DynInit's 124 when the store exists).
Status InitVariables();
// The matching shutdown: frees every array's element storage (owner 10), then
// the record tables; the hook is cleared and the decimals reset to 2. The
// DynStrings block is left to the memory shutdown.
void ReleaseVariables();

// Arrays. The caller (the evaluator) has evaluated the subscripts of the
// reference: `args` holds up to four values, each a number (8 bytes) or a
// string (the template of a string array); bit i of `string_args` is set when
// args[i] is a string. A string argument is a dimension of size 1 (subscript
// 0). Extra values are ignored. Subscripts are rounded to integers; only the
// combined row-major offset is checked: 168 when it is negative or not below
// the element count.
//
// ReadElement pushes the element (integers and numbers as 8-byte numbers,
// strings as all their width bytes). An absent array is created from this
// reference: one dimension per argument, each of size subscript + 1; the
// width is 2, 8, or the template's length (its bytes fill every element).
// 147 when the name is not an array name of a valid element kind, or the new
// array would have one element, width 0, or sizes that do not fit 16 bits;
// 145 when its storage cannot be had.
Status ReadElement(StrDesc name, const StrDesc* args, uint16_t count, uint8_t string_args);
// Stores value into an element and pushes a copy of value. Integers take the
// integer part (truncated); numbers and strings take the value's bytes over
// the start of the element (cut to the width; an empty value stores the
// number 0). 149 when the array does not exist.
Status AssignElement(StrDesc name, const StrDesc* args, uint16_t count, uint8_t string_args,
                     StrDesc value);
// Writes value into elements first .. end-1 (end 0xFFFF or beyond the
// array: to the last), converted as by AssignElement; pushes nothing. 168
// when the array does not exist.
Status FillElements(StrDesc name, StrDesc value, uint16_t first, uint16_t end);
// Adds n to (or with add false sets) element i of a one-dimensional number
// array; 149 when the element does not exist.
Status AddToElement(StrDesc name, uint16_t i, int64_t n, bool add);
// Creates the accumulator array _#( (257 number elements) when name is "_#"
// and it does not exist yet.
Status EnsureAccumulators(StrDesc name);
