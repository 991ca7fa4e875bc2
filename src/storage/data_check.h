// The check of a data file against its index, as both lie on disk.
//
// Reads the data file and the index file of a dictionary file (their real
// names, not those of an open file in temporary mode) without opening the
// file, and reports every disagreement: an index header whose counts do not add up to the data
// file's records; a free number out of range, twice on the list, or naming a record that is not
// deleted; a deleted record missing from the free list; in every key a number out of range, free,
// deleted, repeated or missing, and values out of ascending order. An index left empty by an
// interrupted session (its header is zeroed while it differs from the file) is reported as such. A
// partial record at the end of the data file (an add that was cut short and
// never reported done) is not a fault: no number reaches it, and the next
// add writes over it; its size is given in the summary.
// Callers: the quillon-data tool, tests.
#pragma once

#include <cstdint>

#include "core/str_desc.h"

struct CheckSummary {
  uint32_t records = 0;  // whole records in the data file
  uint32_t live = 0;     // N of the index header
  uint32_t free = 0;     // F of the index header
  uint32_t deleted = 0;  // records of the data file marked deleted
  uint32_t faults = 0;   // disagreements found
  uint32_t partial = 0;  // bytes of a partial record at the end of the data file
};

// Receives each fault as one line of text (Windows-1252 bytes).
using CheckReport = void (*)(void* context, StrDesc message);

// Checks file f; at most 100 faults are reported one by one (the count goes
// on). 0 when the check ran (faults or not; see summary->faults); 168 for a
// file not defined; 164 when the data file cannot be opened; 136 for a read
// failure; 145 when memory cannot be had.
Status DataFileCheck(uint16_t f, CheckReport report, void* context, CheckSummary* summary);
