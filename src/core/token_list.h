// Token lists, key=value texts, arrays kept inside strings and bounded text
// buffers.
//
// A TokenList is a text whose items are separated by one separator byte and
// addressed by 1-based position; separators inside quoted sections do not
// split. Item 0 and items past the end are empty. Most vocabularies of the
// runtime are literal token lists. ListItem is a view; the editing operations
// push their result on the TempStack. key=value lookup serves the command
// line, definition keys and bracket expansion.
#pragma once

#include <cstdint>

#include "core/str_desc.h"

// --- token lists ---

// View of item n (1-based); empty for 0 or beyond the count.
StrDesc ListItem(StrDesc s, char sep, uint16_t n);
// 0 for an empty text, else separators + 1 (a trailing separator adds an
// empty last item); at most 65,535.
uint16_t ListCount(StrDesc s, char sep);
// 1-based position of the first item equal to word (exact, case-sensitive);
// 0 when absent.
uint16_t ListFind(StrDesc list, StrDesc word, char sep);
// StrToInt of StrNormalize(item n).
int16_t ListItemInt(StrDesc s, char sep, uint16_t n);
// Copy with item n replaced; n = 0 appends; n beyond the count first appends
// empty items so that value becomes item n.
StrDesc ListSetItem(StrDesc s, char sep, uint16_t n, StrDesc value);
// Copy without item n and one separator (the one before it, or after it for
// item 1); n = 0 or beyond the count gives an unchanged copy.
StrDesc ListRemoveItem(StrDesc s, char sep, uint16_t n);
// The greatest (or with `shortest` the smallest, starting from the text's own
// length) length of an unquoted item.
uint16_t ListItemLength(StrDesc s, char sep, bool shortest);
// a followed by every item of b that is not an item of a, joined with sep_a
// (items repeated inside b are not merged).
StrDesc ListUnion(StrDesc a, char sep_a, StrDesc b, char sep_b);
// The items of b that are not items of a, joined with sep_a.
StrDesc ListDifference(StrDesc a, char sep_a, StrDesc b, char sep_b);
// A temporary array of ListCount descriptors (views into s), as a StrDesc of
// count * sizeof(StrDesc) bytes.
StrDesc ListSplit(StrDesc s, char sep);
// The n-th (1-based) descriptor of such an array; empty when out of range.
StrDesc ArrayItem(StrDesc array, uint16_t count, uint16_t n);
// text is "low-high": true when low <= value <= high (signed 64-bit, from the
// first and last dash-separated items; a text without a dash is one value).
// A leading "-" is a separator, so a negative low bound reads as 0. An empty
// or blank text contains nothing.
bool RangeContains(StrDesc text, int64_t value);
// 1-based position of the first comma item whose range contains value; 0.
uint16_t RangeListFind(StrDesc list, int64_t value);

// --- key=value texts ---

// Finds key followed by ":" (tried first for the whole text) or "=". A match
// counts only at the start or after one of ": &/" (flags bit 4: only at the
// start or after a NUL). The value runs to the first of ": &/" outside quotes
// (bit 4: to the first NUL) or the end. Searching is quote-aware unless bit
// 4. Start in the low 16 bits, length in the high 16 bits; not found (also an
// empty key or an error descriptor): 0x0000FFFF.
uint32_t KvFind(StrDesc text, StrDesc key, int flags);
// The value as a view: flags 3 → StrNormalize (which pushes the upper-cased
// copy when it trimmed and unquoted nothing), bit 1 alone → StrUnquote,
// otherwise raw; an empty view when not found. Bit 4 as in KvFind.
StrDesc KvGet(StrDesc text, StrDesc key, int flags);
// Pushes the value (unquoted unless key contains "%") and returns 0; 127 (no
// data) and nothing pushed when not found; 145 when the push fails.
Status KvPush(StrDesc text, StrDesc key);

// --- arrays kept inside strings ---

// 0 when len(s) is a multiple of size and index < len / size; else 0xFFFF.
uint16_t ArrayCheck(StrDesc s, uint16_t index, uint16_t size);
// Unsigned 16-bit elements (a failed read gives 0; a failed write leaves s).
uint16_t ArrayGet16(StrDesc s, uint16_t index);
void ArraySet16(StrDesc s, uint16_t index, uint16_t value);
// The descriptor-sized element; the zero descriptor (null, 0), which checks
// as 65,535, when out of range.
StrDesc ArrayGetDesc(StrDesc s, uint16_t index);
// Index of the first element equal to record (size bytes), -1 when none (or
// for a null pointer or size 0); ArrayFindNull finds the first 4-byte zero
// element.
int ArrayFind(const void* base, uint16_t count, const void* record, uint16_t size);
int ArrayFindNull(const void* base, uint16_t count);

// --- bounded text buffers ---

struct TextBuffer {
  Status status = 0;  // 0, or 153 after a write that did not fit
  char* ptr = nullptr;
  uint16_t used = 0;
  uint16_t capacity = 0;
};

// Writes data at offset (-1, or any negative offset: at the used length),
// extending `used` to the end of the write when it lies beyond it. Returns the
// written bytes (a view into the buffer). When the capacity is below offset +
// length nothing is written, the buffer takes status 153 and the error
// descriptor 153 is returned; every later write returns an empty string. A
// null buffer or buffer pointer gives 163 and leaves the record unchanged.
StrDesc BufferWrite(TextBuffer* buffer, StrDesc data, int32_t offset);
