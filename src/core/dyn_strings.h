// DynStrings: the store of long-lived strings, addressed by (group, item).
//
// One zero-filled block of 65,535 bytes (owner 1) holds three arrays back to
// back: the item counts of the 39 groups, the lengths of up to 2,048 items of
// all groups together, and the items' bytes (61,361 at most). Items lie in
// (group, item) order with no terminators. Groups 0..36 are stacks at their
// end, groups 37 and 38 queues at their front (DynTop, DynPop). A descriptor
// from DynGet points into the store and is valid only until the next change;
// keep a copy when it must last.
//
// The meaning of each group belongs to the module that uses it (0 start-up
// settings, 1-3 data-file names/folders/fields, 9 diverse items with (9, 9)
// the error detail, 12/13 variable names and string values, 35 the call
// arguments, 37 the line queue of the file readers, ...).
#pragma once

#include <cstdint>

#include "core/str_desc.h"

constexpr uint16_t kDynGroups = 39;
constexpr uint16_t kDynSlots = 2048;
constexpr uint32_t kDynBlockSize = 65535;
constexpr uint32_t kDynTextCapacity = kDynBlockSize - 2 * (kDynGroups + kDynSlots);

// Creates the block table and TempStack when they do not exist yet (MemInit),
// then the zeroed store. 159 (module STRINGINIT) when the layout cannot fit,
// 145 when the block cannot be had, 124 when the store exists already.
Status DynInit();
// Frees the store's block (called by the memory shutdown).
Status DynRelease();
// Drops the module's pointer after the block table was force-freed.
void DynForget();
bool DynReady();

// Sets item i of group g (items between the old count and i become empty).
// The text may point into the store itself. 159 when the group or slot is out
// of range or the store is full (the error word records 159 under DynStrings
// or 156 under STRINGASSIGN); the store is then unchanged.
Status DynSet(uint16_t g, uint16_t i, StrDesc s);
// The stored bytes of (g, i), or an empty valid string when absent.
StrDesc DynGet(uint16_t g, uint16_t i);
// Removes item i; later items of the group take the next lower numbers.
// Nothing happens for an item that does not exist.
Status DynDelete(uint16_t g, uint16_t i);

// Appends s as the group's last item.
Status DynPush(uint16_t g, StrDesc s);
// The top item: the last for groups 0..36, the first for 37 and 38 (empty when
// the group is empty).
StrDesc DynTop(uint16_t g);
// Removes the top item (0 also when the group is empty).
Status DynPop(uint16_t g);
// A TempStack copy of the top item, which is then removed.
StrDesc DynPopCopy(uint16_t g);
// Pops until the group holds at most n items.
Status DynTruncate(uint16_t g, uint16_t n);
// Items in group g; 39 gives the total of groups 30..38.
uint16_t DynCount(uint16_t g);

// Slots and text bytes in use (for tests and diagnostics).
uint16_t DynUsedSlots();
uint32_t DynUsedText();
