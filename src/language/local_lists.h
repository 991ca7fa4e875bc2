// Local lists and the one-call sort behind the built-in SORT$.
//
// A local list is an array of fixed-width items (padded with blanks) kept in
// key order, in one block of owner 19 (LocalLists). The program holds it as a
// 24-byte handle string (storage address, capacity, block entry, key length,
// width, count, cursor, flags, check tag) and must store the handle each call
// returns, since ADD and MOVE change it. Keys compare bytewise over the key
// length; items with equal keys stay in their order of addition. Flags: 0x01
// unique keys, 0x02 descending; for the one-call sort also 0x40 (items
// separated by NUL instead of ',') and 0x80 (trailing blanks removed).
//
// Every handle is checked against the block table and the block's own header
// (owner, address, size, tag, item count): a handle that is not 24 bytes,
// forged, killed, or a stale copy from before a later ADD gives 147. Blocks
// live until KILL or ReleaseLocalLists (runtime shutdown).
#pragma once

#include <cstdint>

#include "core/str_desc.h"

enum LocalListFlags : uint8_t {
  kListUnique = 0x01,
  kListDescending = 0x02,
  kSortNulSeparated = 0x40,
  kSortTrimItems = 0x80,
};

constexpr uint16_t kListHandleSize = 24;

// The SORT$ verb of a first argument: 1 NEW, 2 ADD, 3 MOVE, 4 GET, 5 KILL
// (exact, case-sensitive), 0 for any other text (the one-call sort).
int SortVerb(StrDesc first);

// NEW: pushes the handle of an empty list with width max(a, b), key length
// min(a, b), flags' low byte and room for a * 256 bytes. 147 when a or b is
// outside 0..65535, 145 when no block can be had.
Status LocalListNew(int32_t a, int32_t b, int32_t flags);
// ADD: inserts item (padded to the width) after the last item whose key is
// not beyond it, and pushes the updated handle. 0 inserted; 5 refused as a
// duplicate under unique keys (the unchanged handle is pushed); 163 item
// longer than the width and 145 when the storage cannot grow (nothing pushed,
// list unchanged); 147 bad handle.
Status LocalListAdd(StrDesc handle, StrDesc item);
// MOVE: verb as for FILELOCATE (NEXT/NXT, PREVIOUS/PRV, TOP, BOTTOM/BOT, any
// case); pushes the updated handle and sets *outcome (the caller stores it in
// _IER): 0, or 2 when the cursor left the list and was put on the last item
// (0 when empty). 147 bad handle.
Status LocalListMove(StrDesc handle, StrDesc verb, int16_t* outcome);
// GET: pushes the item at the cursor (width bytes), or the empty text when
// the cursor is outside the list. 147 bad handle.
Status LocalListGet(StrDesc handle);
// KILL: frees the list's storage; pushes nothing. 147 bad handle.
Status LocalListKill(StrDesc handle);

// The one-call sort: pushes the ','-items (NUL with 0x40) of text, each
// padded to the longest, in key order under flags, joined with the same
// separator (trailing blanks removed with 0x80; empty items drop out).
// 145 when the work block cannot be had, 146 when the result would pass
// 65,535 bytes.
Status LocalSort(StrDesc text, int32_t flags);

// SORT$ with its evaluated arguments: args[i] is the value (bytes for a
// string, 8 bytes for a number) and is_string[i] its type. Picks the verb,
// checks the argument count (147) and types (128; numbers are scaled down to
// integers), then calls the functions above, pushing their result. For MOVE
// *ier is set to the outcome (else left alone).
Status SortCall(const StrDesc* args, const bool* is_string, uint16_t count, int16_t* ier);

// Frees every local-list block (runtime shutdown, before the memory
// shutdown; tests between cases). Handles still held become invalid.
void ReleaseLocalLists();
