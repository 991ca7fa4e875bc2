// The index of a data file: for each key, the numbers of the live records in
// ascending order of that key's value (equal values in the order they were
// added), and the list of free record numbers.
//
// Index file (extension DIR, or NDX; little-endian): F, the free count, and
// N, the live count (signed 32-bit each); the F free numbers, oldest first
// (the last is reused first); then for each key k = 1..K the N live numbers in
// key-k order. Bytes beyond that end are ignored; the file is never cut.
//
// The whole index lives in memory from IndexOpen to IndexClose: the K key
// arrays in one block and the free list in another (owner 13), each with room
// for (n / 64 + 1) * 64 entries; when a spare count reaches 0 the index is
// saved and the arrays re-sized. A search bisects and reads each probed
// record from the data file. Saving is crash-safe: before the first change
// after a load or save the header on disk is set to F = N = 0, and a save
// writes the arrays, then the header, each flushed to the disk. An index
// that disagrees with its data file when loaded (its counts differ from the
// number of whole records, or its arrays are not a partition of the record
// numbers) is rebuilt from the data file: records whose first byte is not ESC
// are live, the others free.
//
// The file's current position (an entry of the current key's array) lives
// here too. Callers: data_file.cpp, the check of data_check.h, tests.
#pragma once

#include <cstdint>

#include "core/str_desc.h"

enum SearchMode : uint8_t { kSearchFirst = 0, kSearchLast = 1 };

struct IndexResult {
  Status status = 0;              // 0, or the failure (then outcome is meaningless)
  uint16_t outcome = 2;           // 0 found, 1 positioned on a greater key, 2 beyond the last
  uint32_t record = 0xFFFFFFFFu;  // the entry at the new position (none for outcome 2 of a search)
};

// Opens the index file at path with stream flags 1 (created when missing)
// and loads it. 0; the stream's status; 145 when memory cannot be had; 136
// when the data file cannot be read for a rebuild.
Status IndexOpen(uint16_t f, StrDesc path);
// Loads (again) from the start of the file; the checks and rebuild above.
Status IndexLoad(uint16_t f);
// Writes the index when it differs from the file. 0, or 130 (recorded under
// DataFile); the memory stays as it was.
Status IndexSave(uint16_t f);
// IndexSave, then frees the memory and closes the stream. A failed save
// removes the index file (so that the next open rebuilds it) and is returned.
Status IndexClose(uint16_t f);
// Saves and re-sizes the arrays by the capacity rule. On failure (the save's
// 130, 145) the index stays as it was.
Status IndexGrow(uint16_t f);
// Rebuilds the index from the data file (see above); position 0.
Status IndexRebuild(uint16_t f);
// Frees the memory and closes the stream without writing.
void IndexForget(uint16_t f);
// Forgets every index (runtime shutdown, tests).
void IndexResetAll();

bool IndexIsOpen(uint16_t f);
uint32_t IndexLiveCount(uint16_t f);
uint32_t IndexFreeCount(uint16_t f);
// Entries each key array has room for (the capacity rule).
uint32_t IndexCapacity(uint16_t f);
// The key-k array (IndexLiveCount entries) and the free list, for checks.
const uint32_t* IndexKeyEntries(uint16_t f, uint16_t k);
const uint32_t* IndexFreeEntries(uint16_t f);

// Bisection search of key k for value (cut to the key's length; only its
// length of leading bytes is compared, so a short value is a prefix search).
// kSearchFirst lands on the first of equal entries, kSearchLast on the last.
// Outcome 0 found; 1 not found, positioned on the next greater key; 2 no
// greater key (position N). The current position is set whatever key was
// searched. Status 136 when a probed record cannot be read, 168 for a key
// that does not exist.
IndexResult IndexSearch(uint16_t f, uint16_t key, StrDesc value, SearchMode mode);

// Moves in the current key's order: 16 next, 20 previous, 32 last, 36 first,
// any other code the current entry. A target before the first entry gives
// position 0 and outcome 1, one at or beyond the last position N - 1 and
// outcome 2; an empty index outcome 2 and no move.
IndexResult IndexMove(uint16_t f, uint16_t code);

// The record number at the current position of the current key (kNoRecord,
// 0xFFFFFFFF, when there is none), the position itself, and setting it.
uint32_t IndexRecordAt(uint16_t f);
uint32_t IndexPosition(uint16_t f);
void IndexSetPosition(uint16_t f, uint32_t position);
// The position of record r in key k's array, 0xFFFFFFFF when absent.
uint32_t IndexLocate(uint16_t f, uint16_t key, uint32_t r);

// Before a change: grows the index when a spare key or free slot is 0.
Status IndexEnsureRoom(uint16_t f);
// The number the next added record takes: the last free number, else N. It
// is taken only by IndexInsertRecord. A number whose record is live in the
// data file means the index is stale: it is rebuilt first.
Status IndexAllocate(uint16_t f, uint32_t* record);
// Before the first change after a load or save: header F = N = 0 on disk.
Status IndexMarkChanging(uint16_t f);
// Enters record r (the number IndexAllocate gave) with the key values of the
// record image in every key, after its equals. *duplicate (when given) tells
// whether the current key held its value already. Needs IndexEnsureRoom.
Status IndexInsertRecord(uint16_t f, uint32_t r, const char* record, bool* duplicate);
// Puts number r, the next after every record the index knows (N + F), on
// the free list: a new record's slot that was written marked deleted but
// could not be finished. Needs IndexEnsureRoom; 0 also when r is another
// number (nothing to do).
Status IndexAddFree(uint16_t f, uint32_t r);
// Removes record r (whose image gives the key values) from every key, K down
// to 1, and puts it on the free list. Needs IndexEnsureRoom.
Status IndexRemoveRecord(uint16_t f, uint32_t r, const char* record);
// Moves record r within every key whose value differs between the two
// images; the position follows r in the current key.
Status IndexUpdateKeys(uint16_t f, uint32_t r, const char* old_record, const char* new_record);
