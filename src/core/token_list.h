// Token lists, key=value texts, arrays kept inside strings and bounded text
// buffers.
//
// A TokenList is a text whose items are separated by one separator byte and
// addressed by 1-based position; separators inside quoted sections do not
// split. Item 0 and items past the end are empty. Most vocabularies of the
// runtime are literal token lists. ListItem is a view; the editing operations
// push their result on the TempStack.
#pragma once

#include <cstdint>

#include "core/str_desc.h"

// --- token lists ---

// View of item n (1-based); empty for 0 or beyond the count.
StrDesc ListItem(StrDesc s, char sep, uint16_t n);
// 0 for an empty text, else separators + 1 (a trailing separator adds an
// empty last item).
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
// item 1); n beyond the count leaves the text as it was.
StrDesc ListRemoveItem(StrDesc s, char sep, uint16_t n);
// The greatest (or with `shortest` the smallest, starting from the text's own
// length) length of an unquoted item.
uint16_t ListItemLength(StrDesc s, char sep, bool shortest);
// a followed by every item of b that is not an item of a, joined with sep_a.
StrDesc ListUnion(StrDesc a, char sep_a, StrDesc b, char sep_b);
// The items of b that are not items of a, joined with sep_a.
StrDesc ListDifference(StrDesc a, char sep_a, StrDesc b, char sep_b);
// A temporary array of ListCount descriptors (views into s), as a StrDesc of
// count * sizeof(StrDesc) bytes.
StrDesc ListSplit(StrDesc s, char sep);
// The n-th (1-based) descriptor of such an array; empty when out of range.
StrDesc ArrayItem(StrDesc array, uint16_t count, uint16_t n);
// text is "low-high": true when low <= value <= high (signed 64-bit, from the
// first and last dash-separated items).
bool RangeContains(StrDesc text, int64_t value);
// 1-based position of the first comma item whose range contains value; 0.
uint16_t RangeListFind(StrDesc list, int64_t value);

// --- key=value texts ---

// Finds key followed by ":" (tried first for the whole text) or "=". A match
// counts only at the start or after one of ": &/" (flags bit 4: only at the
// start or after a NUL). The value runs to the first of ": &/" outside quotes
// (bit 4: to the first NUL) or the end. Start in the low 16 bits, length in
// the high 16 bits; not found: 0xFFFF in the low half.
uint32_t KvFind(StrDesc text, StrDesc key, int flags);
// The value as a view: flags 3 → StrNormalize, bit 1 alone → StrUnquote,
// otherwise raw; empty when not found.
StrDesc KvGet(StrDesc text, StrDesc key, int flags);
// Pushes the value (unquoted unless key contains "%") and returns 0; a
// nonzero status when not found.
Status KvPush(StrDesc text, StrDesc key);

// --- arrays kept inside strings ---

// 0 when len(s) is a multiple of size and index < len / size; else 0xFFFF.
uint16_t ArrayCheck(StrDesc s, uint16_t index, uint16_t size);
// Unsigned 16-bit elements (a failed read gives 0; a failed write leaves s).
uint16_t ArrayGet16(StrDesc s, uint16_t index);
void ArraySet16(StrDesc s, uint16_t index, uint16_t value);
// The descriptor-sized element (an empty descriptor when out of range).
StrDesc ArrayGetDesc(StrDesc s, uint16_t index);
// Index of the first element equal to record (size bytes), -1 when none;
// ArrayFindNull finds the first 4-byte zero element.
int ArrayFind(const void* base, uint16_t count, const void* record, uint16_t size);
int ArrayFindNull(const void* base, uint16_t count);

// --- bounded text buffers ---

struct TextBuffer {
  Status status = 0;  // 0, or 153 after a write that did not fit
  char* ptr = nullptr;
  uint16_t used = 0;
  uint16_t capacity = 0;
};

// Writes data at offset (-1: at the used length), extending `used`. When the
// capacity is below offset + length the buffer takes status 153 once and
// every later write returns an empty string; otherwise the written bytes.
StrDesc BufferWrite(TextBuffer* buffer, StrDesc data, int32_t offset);
