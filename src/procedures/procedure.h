// The procedure interpreter: procedure files loaded, prepared and run.
//
// A procedure is a text file of lines: expression lines, flow keywords (IF,
// ELSE, ENDIF, DO, LOOP..., GOTO, GOSUB, RETURN, CALL, LOCALVARS, END) and
// command lines (ACCEPT ... SYSTEM). LoadProcedure reads a file from the
// definitions folders and PrepareProcedure turns its lines, in one pass, into
// a table of line codes and jump targets held in one memory block (owner 7);
// the record lives in record table 10, newest last. Blank lines, remarks (";",
// "#" or "/" first), labels (":NAME") and entry points (DEF_FN NAME) are not
// counted: line numbers in messages and in the trace count only the others.
//
// RunProcedure runs a procedure from its current position or from an entry
// point; it is also the procedure runner of hook slot 1 (EXEC$), registered
// when the first procedure is prepared. Command words get their meaning from
// the command handler chain; this runtime fills no slot, so a command line
// ends the run with 148. Before every line the progress pop-up is asked
// whether the user pressed Stop (122). With bit 0x08 of _TRACE every line
// attempted is appended to "PrcLog.txt" in the working folder.
//
// Invariants: a record's block is freed only through ReleaseProcedure or
// ProceduresShutdown; a record that is running is released when its last run
// ends. Runs nest (CALL, EXEC$) up to kPrcMaxRunDepth deep; each run keeps its
// own position. Callers: EXEC$ (through the hook), the report engine (loads
// the procedure file of its DOCNAME$ for the length of a report), the
// developer tools, runtime shutdown (ProceduresShutdown).
#pragma once

#include <cstdint>

#include "core/str_desc.h"

// Line codes: 1-based positions of a line's first word in the keyword list;
// 0 is an expression line.
enum PrcCode : uint16_t {
  kPrcExpression = 0,
  kPrcGoto = 1,
  kPrcGosub = 2,
  kPrcCall = 3,
  kPrcReturn = 4,
  kPrcEndif = 5,
  kPrcLoop = 6,
  kPrcLoopWhile = 7,
  kPrcLoopUntil = 8,
  kPrcElse = 9,
  kPrcIf = 10,
  kPrcIfTrue = 11,
  kPrcDoWhile = 12,
  kPrcIfFalse = 13,
  kPrcDoUntil = 14,
  kPrcDo = 15,
  kPrcDefFn = 16,
  kPrcLocalVars = 17,
  kPrcEnd = 18,
  kPrcFirstCommand = 19,  // ACCEPT
  kPrcLastCommand = 53,   // SYSTEM
};

// The keyword list: eighteen flow keywords, then the thirty-five command words.
extern const char kPrcKeywords[];

// Limits.
constexpr uint16_t kPrcMaxLabels = 128;      // labels, and entry points, per procedure
constexpr uint16_t kPrcNamesBytes = 1024;    // label names together, entry names together
constexpr uint16_t kPrcMaxNesting = 16;      // open blocks
constexpr uint16_t kPrcReturnStack = 64;     // GOSUB depth
constexpr uint16_t kPrcMaxCommandArgs = 16;  // arguments of a command line
constexpr uint16_t kPrcMaxRunDepth = 64;     // nested runs (CALL, EXEC$)

// Flags of RunProcedure.
enum PrcRunFlag : int {
  kPrcLocal = 0x01,       // variables created by the run disappear after it
  kPrcKeepResult = 0x02,  // the result is pushed on DynStrings group 30
};

// One prepared line.
struct PrcItem {
  uint16_t code = 0;
  uint16_t target = 0;  // 0-based line index of a jump
  uint32_t text_offset = 0;
  uint16_t text_length = 0;
  uint16_t reserved = 0;
};

// A loaded procedure, a record of table 10. The block holds, in this order,
// the items, the return stack, the entry positions, the entry names (a comma
// list), the line texts and the file name.
struct ProcedureRecord {
  unsigned char* block = nullptr;
  uint32_t serial = 0;  // identity, never reused while the runtime is up
  uint32_t return_offset = 0;
  uint32_t entry_positions_offset = 0;
  uint32_t entry_names_offset = 0;
  uint32_t name_offset = 0;
  uint16_t line_count = 0;
  uint16_t position = 0;  // 0-based index of the next line
  uint16_t return_depth = 0;
  uint16_t entry_count = 0;
  uint16_t entry_names_length = 0;
  uint16_t name_length = 0;
  Status status = 0;  // the last stop with a status >= 122
  uint16_t running = 0;
  uint8_t release_pending = 0;
};

// --- loading and preparing ---

// Finds the file (as named, then in each folder of the definitions folder
// list), reads its lines through the line queue (DynStrings group 37),
// prepares them and appends the record to table 10. Returns the record's
// index (below 122) or a status: 164 with the name as detail when the file is
// not found or cannot be read; PrepareProcedure's status; 141 when the record
// cannot be stored.
uint16_t LoadProcedure(StrDesc file_name);

// Prepares the first line_count entries of the line queue (group 37), removing
// them, into *record (a block of owner 7 is taken; name is kept as the file
// name). Registers the runner in hook slot 1 on success. Fails, with the
// error word recorded under EXEC_COMPILER and no block kept: 147 for a GOTO or
// GOSUB to a label that does not exist or a block closer without an open
// block (the message appended to the error detail); 145 for more than 128
// labels or entry points or more than 16 open blocks, or when memory cannot
// be had. The lines not yet used are removed from the queue on failure too.
Status PrepareProcedure(uint16_t line_count, StrDesc name, ProcedureRecord* record);

// Releases record `index` of table 10: a value of 122 or more is returned
// unchanged (a failed LoadProcedure result); 141 when there is no such
// record; otherwise 0 (the block is freed and the record removed; a record
// that is running is removed when its run ends).
Status ReleaseProcedure(uint16_t index);

// Releases every loaded procedure, empties the command handler chain and hook
// slot 1 (when it holds the runner) and resets the module. Runtime shutdown
// calls it before the record tables are freed; safe to call at any time.
void ProceduresShutdown();

// --- running ---

// Runs entry of file (either may be empty). A file given is loaded for the
// run and released afterwards. With an entry the newest loaded procedure that
// holds it is run from that entry; without one the procedure of the file,
// from its first line, and the file sets applied during the run are restored
// at its end. Each run has its own parameters and GOSUBs: LOCALVARS takes
// only what its CALL pushed (ArgumentStack entries below them belong to the
// caller; a name left without one gets the empty value), a RETURN with none
// of the run's own GOSUBs open ends the run, and a run that ends inside a
// subroutine leaves no return behind. flags: PrcRunFlag bits. Returns 0 or
// the status that stopped the run. Before the first line: 147 with neither
// file nor entry, or for an entry that no loaded procedure holds (the entry
// name as detail); LoadProcedure's status; 133 beyond kPrcMaxRunDepth nested
// runs. A run that stops at a line offers its status to the error word
// (Malloc-MemAcums) and appends "Line: N (+ remmarks):\r\nWORD TEXT" to the
// detail: 148 for a command line without a handler; 122 when the user
// pressed Stop; 133 beyond kPrcReturnStack GOSUBs; the status of a failing
// expression, condition, CALL, LOCALVARS or command line. With
// kPrcKeepResult a successful run leaves exactly one item on group 30: the
// value of the last expression line run (a number as its text), empty when
// none ran or the run ended by RETURN; a failed run leaves none.
Status RunProcedure(StrDesc entry, StrDesc file, int flags);

// --- inspection (tests, tools) ---

// Number of loaded procedures.
uint16_t ProcedureCount();
// Record `index` of table 10, or null. The pointer is valid until table 10
// changes (a load or a release).
const ProcedureRecord* ProcedureAt(uint16_t index);
// Line `line` (0-based) of a record; a zero item beyond the lines.
PrcItem ProcedureItem(const ProcedureRecord& record, uint16_t line);
// The text of a line (argument text of a keyword or command line, the whole
// line of an expression line), a view into the block.
StrDesc ProcedureLineText(const ProcedureRecord& record, uint16_t line);
// The entry names (comma list) and the position of entry n (1-based; 0xFFFF
// when absent); the file name the procedure was loaded from.
StrDesc ProcedureEntryNames(const ProcedureRecord& record);
uint16_t ProcedureEntryPosition(const ProcedureRecord& record, uint16_t n);
StrDesc ProcedureName(const ProcedureRecord& record);

// --- command handlers ---

constexpr uint16_t kPrcHandlerSlots = 16;

// The argument block of a command line: each argument evaluated, as a type
// (0 number, 1 string), an integer (numbers scaled down with rounding, cut to
// 16 bits; strings read as integers) and a text (numbers as NumFormatD text,
// strings as they are). The texts live on the TempStack for the length of the
// handler call.
struct CommandArgs {
  uint16_t count = 0;
  uint16_t types[kPrcMaxCommandArgs] = {};
  int16_t ints[kPrcMaxCommandArgs] = {};
  StrDesc texts[kPrcMaxCommandArgs] = {};
};

// A command handler: gets the line code (19..53) and the arguments; returns
// the line's status (0 goes on with the next line).
using CommandHandler = Status (*)(uint16_t code, const CommandArgs& args);

// Fills (or with null empties) a slot of the chain; the first non-empty slot
// handles every command. 0, or 255 for a slot beyond the chain.
uint8_t CommandHandlerSet(uint16_t slot, CommandHandler handler);
// The handler of a slot, or null.
CommandHandler CommandHandlerGet(uint16_t slot);
