#include "core/mem_pool.h"

#include <cstdlib>
#include <cstring>

#include "core/dyn_strings.h"
#include "core/temp_stack.h"

namespace {

constexpr unsigned char kGuard[4] = {0x00, 0x21, 0x21, 0x00};

struct MemControl {
  uint16_t capacity = 64;  // N
  uint16_t temp_kb = 128;  // K
  MemEntryRecord* table = nullptr;
  uint16_t in_use = 0;  // N once the table exists
};

MemControl g_mem;
int g_fail_next = 0;

void* HeapAlloc(size_t bytes) {
  if (g_fail_next > 0) {
    --g_fail_next;
    return nullptr;
  }
  return std::malloc(bytes);
}

bool GuardIntact(const MemEntryRecord& e) {
  return std::memcmp(e.data + e.size, kGuard, sizeof kGuard) == 0;
}

MemEntryRecord* FindEntry(const void* pointer) {
  if (!g_mem.table || !pointer) return nullptr;
  for (uint16_t i = 0; i < g_mem.in_use; ++i) {
    if (g_mem.table[i].data == pointer) return &g_mem.table[i];
  }
  return nullptr;
}

void ReleaseEntry(MemEntryRecord& e) {
  std::free(e.data);
  e = MemEntryRecord{};
}

}  // namespace

void MemConfigure(int temp_kb, int table_capacity) {
  if (temp_kb >= 0) g_mem.temp_kb = static_cast<uint16_t>(temp_kb);
  if (table_capacity >= 0) g_mem.capacity = static_cast<uint16_t>(table_capacity);
}

uint16_t MemTempKb() { return g_mem.temp_kb; }
uint16_t MemTableCapacity() { return g_mem.capacity; }

bool MemReady() { return g_mem.table != nullptr; }

Status MemInit() {
  if (g_mem.table) return 124;
  if (g_mem.capacity == 0) return 145;
  void* table = HeapAlloc(sizeof(MemEntryRecord) * g_mem.capacity);
  if (!table) return 145;
  g_mem.table = static_cast<MemEntryRecord*>(table);
  for (uint16_t i = 0; i < g_mem.capacity; ++i) g_mem.table[i] = MemEntryRecord{};
  g_mem.in_use = g_mem.capacity;
  Status st = TempStackCreate(g_mem.temp_kb);
  if (st != 0) {
    MemShutdown(true);
  }
  return st;
}

uint16_t MemAllocHandle(uint16_t owner, uint32_t size, uint8_t fill) {
  if (!g_mem.table) return kMemNoHandle;
  for (uint16_t i = 0; i < g_mem.in_use; ++i) {
    MemEntryRecord& e = g_mem.table[i];
    if (e.data != nullptr) continue;
    auto* bytes = static_cast<unsigned char*>(HeapAlloc(static_cast<size_t>(size) + 4));
    if (!bytes) return i;  // entry stays free; MemAlloc reports null
    std::memcpy(bytes + size, kGuard, sizeof kGuard);
    if (fill != 255) std::memset(bytes, fill, size);
    e.owner = owner;
    e.size = size;
    e.data = bytes;
    return i;
  }
  return kMemNoHandle;
}

void* MemAlloc(uint16_t owner, uint32_t size) {
  uint16_t h = MemAllocHandle(owner, size, 0);
  if (h == kMemNoHandle) return nullptr;
  return g_mem.table[h].data;
}

const MemEntryRecord* MemEntry(uint16_t handle) {
  if (!g_mem.table || handle >= g_mem.in_use) return nullptr;
  return &g_mem.table[handle];
}

Status MemFree(uint16_t owner, void* pointer) {
  MemEntryRecord* e = FindEntry(pointer);
  if (!e) return 154;
  if (!GuardIntact(*e)) return 180;
  if (e->owner != owner) return 141;
  ReleaseEntry(*e);
  return 0;
}

Status MemCopyInto(uint16_t /*owner*/, void* pointer, uint32_t offset, StrDesc source) {
  if (Status st = StrCheck(source)) return st;
  MemEntryRecord* e = FindEntry(pointer);
  if (!e) return 168;
  if (static_cast<uint64_t>(e->size) < static_cast<uint64_t>(offset) + source.len) return 168;
  std::memmove(e->data + offset, source.ptr, source.len);
  return 0;
}

void* MemResize(uint16_t owner, void* old_pointer, uint32_t used_length, uint32_t new_size) {
  if (used_length > new_size) return nullptr;
  MemEntryRecord* old_entry = FindEntry(old_pointer);
  if (old_pointer && (!old_entry || old_entry->size < used_length)) return nullptr;
  void* fresh = MemAlloc(owner, new_size);
  if (!fresh) return nullptr;
  if (old_pointer) {
    std::memcpy(fresh, old_pointer, used_length);
    if (MemFree(owner, old_pointer) != 0) {
      // The old block refused to go (guard or owner): keep it, drop the copy.
      MemFree(owner, fresh);
      return nullptr;
    }
  }
  return fresh;
}

uint32_t MemBlockSize(const void* pointer) {
  const MemEntryRecord* e = FindEntry(pointer);
  return e ? e->size : 0;
}

BufferRecord* BufferOpen(BufferRecord* record, uint16_t owner, uint16_t size) {
  *record = BufferRecord{};
  record->data = static_cast<unsigned char*>(MemAlloc(owner, size));
  if (!record->data) {
    record->status = 145;
  } else {
    record->capacity = size;
  }
  return record;
}

BufferRecord* BufferGrow(BufferRecord* record, uint16_t owner, uint16_t new_size) {
  if (record->status != 0) return record;
  void* moved = MemResize(owner, record->data, record->used, new_size);
  if (!moved) {
    record->status = 145;
    return record;
  }
  record->data = static_cast<unsigned char*>(moved);
  record->capacity = new_size;
  return record;
}

void* BufferAppend(uint16_t owner, BufferRecord* record, const void* source, uint16_t length,
                   bool align) {
  if (record->status != 0) return nullptr;
  uint32_t at = record->used;
  if (align) at = (at + 3u) & ~3u;
  if (at + length > record->capacity) {
    record->status = 168;
    return nullptr;
  }
  // A null source is not a string's error: it is refused like a bad block.
  StrDesc bytes = source ? StrMake(static_cast<const char*>(source), length) : StrError(168);
  Status st = MemCopyInto(owner, record->data, at, bytes);
  if (st != 0) {
    record->status = st;
    return nullptr;
  }
  record->used = static_cast<uint16_t>(at + length);
  return record->data + at;
}

void BufferClose(BufferRecord* record, uint16_t owner) {
  if (record->data) MemFree(owner, record->data);
  *record = BufferRecord{};
}

uint16_t MemCount(uint16_t from, uint16_t to, int mode, uint16_t* first_owner) {
  uint16_t count = 0;
  if (first_owner) *first_owner = 0;
  if (!g_mem.table) return 0;
  if (to >= g_mem.in_use) to = static_cast<uint16_t>(g_mem.in_use - 1);
  for (uint32_t i = from; i <= to; ++i) {
    bool used = g_mem.table[i].data != nullptr;
    if (used && first_owner) *first_owner = g_mem.table[i].owner;
    if (mode == 1 && used) ++count;
    if (mode == 2 && !used) ++count;
  }
  if (mode == 3) count = to >= from ? static_cast<uint16_t>(to - from + 1) : 0;
  return count;
}

uint16_t MemShutdown(bool force) {
  if (!g_mem.table) return 0;
  uint16_t highest_owner = 0;
  uint16_t used = MemCount(0, static_cast<uint16_t>(g_mem.in_use - 1), 1, &highest_owner);
  if (force) {
    for (uint16_t i = 0; i < g_mem.in_use; ++i) {
      if (g_mem.table[i].data) ReleaseEntry(g_mem.table[i]);
    }
    std::free(g_mem.table);
    g_mem.table = nullptr;
    g_mem.in_use = 0;
    TempStackForget();
    DynForget();
  } else if (used == 0) {
    std::free(g_mem.table);
    g_mem.table = nullptr;
    g_mem.in_use = 0;
  }
  return highest_owner;
}

Status RuntimeMemoryShutdown() {
  if (!g_mem.table) return 0;
  MemShutdown(false);
  if (!g_mem.table) return 0;
  // Any block other than the DynStrings buffer and the TempStack's two blocks
  // is a leftover; the highest one's owner is reported and nothing is freed.
  for (int i = g_mem.in_use - 1; i >= 0; --i) {
    const MemEntryRecord& e = g_mem.table[i];
    if (e.data && e.owner != kOwnerStringInit && e.owner != kOwnerExecRunTime) return e.owner;
  }
  Status st = DynRelease();
  if (st != 0) return st;
  st = TempStackRelease();
  if (st != 0) return st;
  MemShutdown(true);
  return 0;
}

void MemFailNextAllocations(int count) { g_fail_next = count < 0 ? 0 : count; }
