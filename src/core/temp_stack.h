// The TempStack: the process-wide pool of temporary strings.
//
// A temporary is pushed with a pointer bump and one mark-table entry; a
// release to a mark frees everything made after it in one step. Entry 0 is the
// base (pool start, 0); entry d describes the d-th live temporary, whose bytes
// start where the previous one's storage ended (lengths rounded up to 4). The
// invariant: top = end of the storage of the entry at the current depth.
//
// Calling convention used everywhere: take a mark on entry (TempMark), call
// string operations freely, and return a string result with TempKeep(mark,
// result) or a status after TempRelease(mark). A loop that builds a string
// keeps its partial result at its own mark on every pass.
//
// The pool (K KB) and the mark table (K entries) are blocks of owner 9 taken
// by MemInit. A push that does not fit fails with 145; at most K - 1
// temporaries are live at once.
#pragma once

#include <cstdint>
#include <initializer_list>

#include "core/str_desc.h"

using TempMarkValue = uint16_t;

// Creates the pool and mark table for K KB / K entries (called by MemInit).
// 145 when either block cannot be had.
Status TempStackCreate(uint16_t k);
// Frees the pool and mark table (guard and owner checks apply).
Status TempStackRelease();
// Drops the module's pointers after the block table was force-freed.
void TempStackForget();

// The current depth; nothing changes.
TempMarkValue TempMark();
// Frees every temporary made after mark m; returns the depth afterwards. A
// mark at or above the capacity changes nothing.
TempMarkValue TempRelease(TempMarkValue m);
// Releases to m, then pushes a copy of s (which may lie in the released
// region) and returns it. An error descriptor is returned after the release.
StrDesc TempKeep(TempMarkValue m, StrDesc s);
// TempKeep for several results: each descriptor is updated to its kept copy,
// in list order directly above m. The first failing copy's code is returned.
Status TempKeepMany(TempMarkValue m, std::initializer_list<StrDesc*> results);

// Pushes a temporary of `length` bytes filled with `fill` (255: as found).
Status TempAlloc(uint16_t length, uint8_t fill);
// Same, returning the bytes' address (null on failure).
char* TempAllocPtr(uint16_t length, uint8_t fill);
// The newest temporary (the base entry when none).
StrDesc TempTop();
// Pushes a copy of s / of a followed by b.
Status TempPushCopy(StrDesc s);
Status TempPushConcat(StrDesc a, StrDesc b);
// The free pool above the top less 4 bytes (at most 65,535), not pushed. A
// caller may fill it and then push a copy of the part it used.
StrDesc TempScratch();
// 145 when depth + n exceeds the capacity, else 0.
Status TempRoom(uint16_t n);

// Introspection for tests and diagnostics.
uint16_t TempCapacity();
uint32_t TempPoolSize();
uint32_t TempBytesUsed();

// Pushes and returns a copy / a concatenation / a join (separator only when
// both sides are non-empty) / one byte / n copies back to back. Results longer
// than 65,535 bytes fail with 146.
StrDesc StrCopy(StrDesc s);
StrDesc StrConcat(StrDesc a, StrDesc b);
StrDesc StrJoin(StrDesc a, StrDesc separator, StrDesc b);
StrDesc StrChar(char c);
StrDesc StrRepeat(StrDesc s, uint16_t n);
// a when its length is nonzero, else b; no copy.
StrDesc StrOr(StrDesc a, StrDesc b);
// printf-style formatting into at most `max` bytes. A result of max + 1 bytes
// or more records 146 (module FormatStrings) and returns the error
// descriptor 146; nothing is ever written past max + 1 bytes.
StrDesc StrFormat(uint16_t max, const char* format, ...) __attribute__((format(printf, 2, 3)));
