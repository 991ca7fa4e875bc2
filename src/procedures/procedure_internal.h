// Shared by the files of the procedure interpreter (loading and preparing,
// the flow executor, the trace); not for other modules.
#pragma once

#include <cstdint>

#include "core/str_desc.h"
#include "procedures/procedure.h"

// The record of table 10 with this serial, or null; *index (when given)
// receives its index. Table 10 may move when procedures are loaded, so a run
// looks its record up again after anything that can run nested code.
ProcedureRecord* PrcFindBySerial(uint32_t serial, uint16_t* index);

// Frees a record's block and removes it from table 10 (index must be its).
Status PrcRemoveRecord(uint16_t index);

// The return stack of a record (kPrcReturnStack entries).
uint16_t* PrcReturnStack(const ProcedureRecord& record);

// The position of the entry point `name` (exact bytes) in a record, or -1.
int PrcFindEntry(const ProcedureRecord& record, StrDesc name);

// The first non-empty slot of the command handler chain, or null.
CommandHandler PrcFirstHandler();

// Appends "N\tKEYWORD TEXT\r\n" to "PrcLog.txt" in the working folder.
// Failures are ignored: the trace never stops a run.
void PrcTraceLine(uint16_t line_number, uint16_t code, StrDesc text);

// The keyword of a line code (empty for 0 and beyond the list), a view.
StrDesc PrcKeyword(uint16_t code);

// Clears the run state of the flow executor (nesting depth, argument frames).
void PrcFlowReset();
