#include "core/dyn_strings.h"

#include <cstring>

#include "core/mem_pool.h"
#include "core/status.h"
#include "core/temp_stack.h"

namespace {

struct DynStore {
  unsigned char* block = nullptr;
  uint16_t* counts = nullptr;   // kDynGroups entries
  uint16_t* lengths = nullptr;  // kDynSlots entries
  char* text = nullptr;
  uint16_t used_slots = 0;
  uint32_t used_text = 0;
};

DynStore g_dyn;

uint32_t FirstSlot(uint16_t g) {
  uint32_t slot = 0;
  for (uint16_t k = 0; k < g; ++k) slot += g_dyn.counts[k];
  return slot;
}

uint32_t TextOffset(uint32_t slot) {
  uint32_t off = 0;
  for (uint32_t k = 0; k < slot; ++k) off += g_dyn.lengths[k];
  return off;
}

// A refused set: records `recorded` under `module` (unless an error is
// recorded already), then 156 under STRINGASSIGN on the same terms; 159.
Status Refuse(Status recorded, uint16_t module) {
  ErrSet(1, module, recorded, recorded);
  ErrSet(1, kModStringAssign, 156, 156);
  return 159;
}

// Removes slot `slot` of group g (its text must already be empty).
void RemoveSlot(uint16_t g, uint32_t slot) {
  std::memmove(&g_dyn.lengths[slot], &g_dyn.lengths[slot + 1],
               (g_dyn.used_slots - slot - 1) * sizeof(uint16_t));
  --g_dyn.used_slots;
  g_dyn.lengths[g_dyn.used_slots] = 0;
  --g_dyn.counts[g];
}

}  // namespace

Status DynInit() {
  if (g_dyn.block) return 124;
  Status st = MemInit();
  if (st != 0 && st != 124) return st;
  if (2u * (kDynGroups + kDynSlots) >= kDynBlockSize) {
    ErrSet(1, kModStringInit, 159, 159);
    return 159;
  }
  auto* block = static_cast<unsigned char*>(MemAlloc(kOwnerStringInit, kDynBlockSize));
  if (!block) return 145;
  g_dyn = DynStore{};
  g_dyn.block = block;
  g_dyn.counts = reinterpret_cast<uint16_t*>(block);
  g_dyn.lengths = reinterpret_cast<uint16_t*>(block + 2 * kDynGroups);
  g_dyn.text = reinterpret_cast<char*>(block + 2 * (kDynGroups + kDynSlots));
  return 0;
}

Status DynRelease() {
  if (!g_dyn.block) return 0;
  Status st = MemFree(kOwnerStringInit, g_dyn.block);
  if (st == 0) g_dyn = DynStore{};
  return st;
}

void DynForget() { g_dyn = DynStore{}; }

bool DynReady() { return g_dyn.block != nullptr; }

Status DynSet(uint16_t g, uint16_t i, StrDesc s) {
  Status st = StrCheck(s);
  if (st != 0) return st;
  if (!g_dyn.block) return 163;
  TempMarkValue mark = TempMark();
  // A private copy, so that s may point into the store itself.
  StrDesc copy = StrCopy(s);
  if (StrIsError(copy)) {
    TempRelease(mark);
    return copy.len;
  }
  if (g >= kDynGroups) {
    TempRelease(mark);
    return Refuse(159, kModDynStrings);
  }
  uint32_t first = FirstSlot(g);
  uint32_t slot = first + i;
  if (slot >= kDynSlots) {
    TempRelease(mark);
    return Refuse(159, kModDynStrings);
  }
  uint16_t count = g_dyn.counts[g];
  uint32_t new_slots = i >= count ? uint32_t{i} - count + 1 : 0;
  uint32_t old_len = i < count ? g_dyn.lengths[slot] : 0;
  if (!(g_dyn.used_slots + new_slots < kDynSlots &&
        g_dyn.used_text + copy.len - old_len < kDynTextCapacity)) {
    // A full store is a failed assignment, not an address outside the store.
    TempRelease(mark);
    return Refuse(kStLoadStr, kModStringAssign);
  }
  if (new_slots > 0) {
    uint32_t next_group = first + count;
    std::memmove(&g_dyn.lengths[next_group + new_slots], &g_dyn.lengths[next_group],
                 (g_dyn.used_slots - next_group) * sizeof(uint16_t));
    for (uint32_t k = 0; k < new_slots; ++k) g_dyn.lengths[next_group + k] = 0;
    g_dyn.used_slots = static_cast<uint16_t>(g_dyn.used_slots + new_slots);
    g_dyn.counts[g] = static_cast<uint16_t>(i + 1);
  }
  uint32_t at = TextOffset(slot);
  uint32_t tail = g_dyn.used_text - at - old_len;
  std::memmove(g_dyn.text + at + copy.len, g_dyn.text + at + old_len, tail);
  std::memcpy(g_dyn.text + at, copy.ptr, copy.len);
  g_dyn.lengths[slot] = copy.len;
  g_dyn.used_text = g_dyn.used_text + copy.len - old_len;
  TempRelease(mark);
  return 0;
}

StrDesc DynGet(uint16_t g, uint16_t i) {
  static char empty = 0;
  if (!g_dyn.block || g >= kDynGroups || i >= g_dyn.counts[g]) return StrDesc{&empty, 0};
  uint32_t slot = FirstSlot(g) + i;
  return StrDesc{g_dyn.text + TextOffset(slot), g_dyn.lengths[slot]};
}

Status DynDelete(uint16_t g, uint16_t i) {
  if (!g_dyn.block || g >= kDynGroups || i >= g_dyn.counts[g]) return 0;
  static const char empty = 0;
  Status st = DynSet(g, i, StrMake(&empty, 0));
  if (st != 0) return st;
  RemoveSlot(g, FirstSlot(g) + i);
  return 0;
}

Status DynPush(uint16_t g, StrDesc s) {
  if (g >= kDynGroups) return DynSet(g, 0, s);
  return DynSet(g, g_dyn.block ? g_dyn.counts[g] : 0, s);
}

namespace {
uint16_t TopIndex(uint16_t g) { return g >= 37 ? 0 : static_cast<uint16_t>(g_dyn.counts[g] - 1); }
}  // namespace

StrDesc DynTop(uint16_t g) {
  if (!g_dyn.block || g >= kDynGroups || g_dyn.counts[g] == 0) return DynGet(0, 0xFFFF);
  return DynGet(g, TopIndex(g));
}

Status DynPop(uint16_t g) {
  if (!g_dyn.block || g >= kDynGroups || g_dyn.counts[g] == 0) return 0;
  return DynDelete(g, TopIndex(g));
}

StrDesc DynPopCopy(uint16_t g) {
  StrDesc copy = StrCopy(DynTop(g));
  if (StrIsError(copy)) return copy;
  Status st = DynPop(g);
  return st != 0 ? StrError(st) : copy;
}

Status DynTruncate(uint16_t g, uint16_t n) {
  if (!g_dyn.block || g >= kDynGroups) return 0;
  while (g_dyn.counts[g] > n) {
    Status st = DynPop(g);
    if (st != 0) return st;
  }
  return 0;
}

uint16_t DynCount(uint16_t g) {
  if (!g_dyn.block) return 0;
  if (g == kDynGroups) {
    uint16_t total = 0;
    for (uint16_t k = 30; k < kDynGroups; ++k) total = static_cast<uint16_t>(total + g_dyn.counts[k]);
    return total;
  }
  return g < kDynGroups ? g_dyn.counts[g] : 0;
}

uint16_t DynUsedSlots() { return g_dyn.used_slots; }
uint32_t DynUsedText() { return g_dyn.used_text; }
