#include "core/rec_table.h"

#include <cstring>

#include "core/mem_pool.h"

namespace {

struct RecTable {
  unsigned char* data = nullptr;
  uint16_t record_size = 0;
  uint16_t count = 0;
};

// The registry: 24 pointers to table headers, itself a block.
RecTable** g_registry = nullptr;

RecTable* Slot(uint16_t table) {
  if (!g_registry || table >= kRecTables) return nullptr;
  return g_registry[table];
}

void FreeTable(uint16_t table) {
  RecTable* t = g_registry[table];
  if (!t) return;
  if (t->data) MemFree(kOwnerStructFuncs, t->data);
  MemFree(kOwnerStructFuncs, t);
  g_registry[table] = nullptr;
}

// Moves the table to a new zero-filled block of n records.
Status Resize(uint16_t table, uint16_t n) {
  RecTable* t = Slot(table);
  if (!t) return 176;
  if (n == 0) {
    FreeTable(table);
    return 0;
  }
  uint32_t bytes = uint32_t{n} * t->record_size;
  auto* fresh = static_cast<unsigned char*>(MemAlloc(kOwnerStructFuncs, bytes ? bytes : 1));
  if (!fresh) return 145;
  uint16_t keep = t->count < n ? t->count : n;
  if (t->data) {
    std::memcpy(fresh, t->data, uint32_t{keep} * t->record_size);
    MemFree(kOwnerStructFuncs, t->data);
  }
  t->data = fresh;
  t->count = n;
  return 0;
}

}  // namespace

Status RecTablesCreate() {
  if (g_registry) return 0;
  g_registry = static_cast<RecTable**>(MemAlloc(kOwnerStructFuncs, sizeof(RecTable*) * kRecTables));
  return g_registry ? 0 : 176;
}

bool RecTablesReady() { return g_registry != nullptr; }

void* RecGet(uint16_t table, uint16_t index) {
  RecTable* t = Slot(table);
  if (!t || index >= t->count) return nullptr;
  return t->data + uint32_t{index} * t->record_size;
}

void* RecPut(uint16_t table, uint16_t index, const void* source, uint16_t size) {
  if (!g_registry || table >= kRecTables) return nullptr;
  if (!g_registry[table]) {
    auto* t = static_cast<RecTable*>(MemAlloc(kOwnerStructFuncs, sizeof(RecTable)));
    if (!t) return nullptr;
    t->record_size = size;
    t->count = 0;
    t->data = nullptr;
    g_registry[table] = t;
    if (Resize(table, 1) != 0) {
      FreeTable(table);
      return nullptr;
    }
  }
  RecTable* t = g_registry[table];
  if (size != t->record_size) return nullptr;
  if (index >= t->count) {
    // A source among the table's own records moves with them to the new block.
    auto at = reinterpret_cast<uintptr_t>(source);
    auto first = reinterpret_cast<uintptr_t>(t->data);
    bool own = source && t->data && at >= first && at < first + uint32_t{t->count} * size;
    if (index == 0xFFFF || Resize(table, static_cast<uint16_t>(index + 1)) != 0) return nullptr;
    if (own) source = t->data + (at - first);
  }
  unsigned char* rec = t->data + uint32_t{index} * t->record_size;
  if (source) std::memmove(rec, source, size);
  return rec;
}

Status RecDelete(uint16_t table, uint16_t index) {
  RecTable* t = Slot(table);
  if (!t || index >= t->count) return 176;
  uint32_t size = t->record_size;
  std::memmove(t->data + uint32_t{index} * size, t->data + (uint32_t{index} + 1) * size,
               (uint32_t{t->count} - index - 1) * size);
  uint16_t n = static_cast<uint16_t>(t->count - 1);
  // When a smaller block cannot be had the records stay in the larger one.
  if (Resize(table, n) != 0) t->count = n;
  return 0;
}

uint16_t RecInfo(uint16_t table, int what) {
  RecTable* t = Slot(table);
  if (!t) return 0;
  return what == 1 ? t->record_size : t->count;
}

Status RecResize(uint16_t table, uint16_t n) { return Resize(table, n); }

void RecTableFree(uint16_t table) {
  if (!g_registry || table >= kRecTables) return;
  FreeTable(table);
}

void RecTablesFree() {
  if (!g_registry) return;
  for (uint16_t i = 0; i < kRecTables; ++i) FreeTable(i);
  MemFree(kOwnerStructFuncs, g_registry);
  g_registry = nullptr;
}
