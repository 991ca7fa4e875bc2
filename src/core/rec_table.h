// Record tables: 24 numbered growable arrays of fixed-size records.
//
// Most long-lived collections of the runtime live here, addressed by a table
// number and a 0-based record index: the data dictionary (0..3), screens (4),
// windows (5), array descriptors (6), integer and number variables (7, 8),
// loaded procedures (10) and the open orders (11). A table appears on its
// first RecPut and disappears when its last record is deleted or it is freed.
// Growth is by exactly the records needed; records added by growth are zero.
// The registry and each table's header and data are blocks of owner 15.
#pragma once

#include <cstdint>

#include "core/str_desc.h"

constexpr uint16_t kRecTables = 24;

// Well-known table numbers.
enum RecTableNumber : uint16_t {
  kRecDictFiles = 0,
  kRecDictFields = 1,
  kRecDictKeys = 2,
  kRecDictRelations = 3,
  kRecScreens = 4,
  kRecWindows = 5,
  kRecArrays = 6,
  kRecIntegers = 7,
  kRecNumbers = 8,
  kRecProcedures = 10,
  kRecOrders = 11,
};

// Creates the registry: 0, or 176 when its block cannot be had.
Status RecTablesCreate();
// True while the registry exists.
bool RecTablesReady();
// Address of record `index`, or null when the registry, the table or the
// record does not exist.
void* RecGet(uint16_t table, uint16_t index);
// Stores `size` bytes from source as record `index` (creating the table or
// growing it to index + 1 records). Null when size differs from the table's
// record size or memory cannot be had; nothing is stored then.
void* RecPut(uint16_t table, uint16_t index, const void* source, uint16_t size);
// Removes a record; later records move down. 176 when it does not exist.
Status RecDelete(uint16_t table, uint16_t index);
// Record count (what 0) or record size (what 1); 0 when there is no table.
uint16_t RecInfo(uint16_t table, int what);
// Resizes a table to n records (0 frees it); 176 when it does not exist, 145
// when memory cannot be had.
Status RecResize(uint16_t table, uint16_t n);
// Frees one table and empties its slot.
void RecTableFree(uint16_t table);
// Frees every table (slot order), then the registry.
void RecTablesFree();
