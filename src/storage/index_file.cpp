#include "storage/index_file.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "core/mem_pool.h"
#include "core/status.h"
#include "core/temp_stack.h"
#include "platform/fs.h"
#include "storage/data_file.h"
#include "storage/dictionary.h"
#include "storage/record_io.h"
#include "storage/streams.h"

static_assert(std::endian::native == std::endian::little,
              "index entries are written as they lie in memory");

namespace {

constexpr uint32_t kNone = 0xFFFFFFFFu;
constexpr uint32_t kPieceEntries = 8192;  // entries moved per transfer
constexpr uint32_t kStep = 64;            // capacity rule
constexpr uint32_t kScanBytes = 32768;    // data file bytes read per rebuild step
constexpr uint32_t kCacheBytes = 65536;   // probe cache of one file, at most

struct IndexState {
  bool open = false;
  uint16_t stream = kNoStream;
  uint32_t* keys = nullptr;  // key_count arrays of capacity entries
  uint32_t* free_list = nullptr;
  uint32_t capacity = 0;
  uint32_t free_capacity = 0;
  uint32_t live = 0;
  uint32_t free = 0;
  uint32_t position = 0;
  uint16_t key_count = 0;
  bool changed = false;
  bool disk_dirty = false;  // header zeroed on disk since the last save or load
  // Probe cache: the key values of recently probed records, direct-mapped by
  // record number (slot: the number, then every key's value), kept in the
  // key arrays' block after the arrays. A record's entry is dropped whenever
  // the record is written.
  char* cache = nullptr;
  uint32_t cache_slots = 0;
  uint16_t cache_width = 0;  // sum of the key lengths
  char path[kStreamNameMax + 1] = {};
  uint16_t path_len = 0;
};

IndexState g_index[kDictMaxFiles + 1];

IndexState* State(uint16_t f) {
  if (f == 0 || f > kDictMaxFiles || !g_index[f].open) return nullptr;
  return &g_index[f];
}

uint32_t Capacity(uint32_t n) {
  return (n / kStep + 1) * kStep;
}

uint32_t CacheSlots(uint16_t width) {
  uint32_t n = kCacheBytes / (4u + width);
  return n < kStep ? kStep : n;
}

uint16_t KeyWidth(uint16_t f) {
  uint32_t width = 0;
  for (uint16_t k = 1; k <= DictFile(f)->key_count; ++k)
    width += DictKey(f, k)->length;
  return static_cast<uint16_t>(width > 0xFFFF ? 0xFFFF : width);
}

// Where key k's value lies within a cache slot's values.
uint16_t KeyOffset(uint16_t f, uint16_t k) {
  uint32_t offset = 0;
  for (uint16_t j = 1; j < k; ++j)
    offset += DictKey(f, j)->length;
  return static_cast<uint16_t>(offset);
}

uint32_t* Keys(IndexState* s, uint16_t k) {
  return s->keys + uint64_t{k - 1u} * s->capacity;
}

uint32_t* AllocEntries(uint64_t count) {
  uint64_t bytes = count * 4;
  if (bytes == 0) bytes = 4;
  if (bytes > 0xFFFFFFF0ull) return nullptr;
  return static_cast<uint32_t*>(MemAlloc(kOwnerBufferFld, static_cast<uint32_t>(bytes)));
}

void FreeArrays(IndexState* s) {
  if (s->keys) MemFree(kOwnerBufferFld, s->keys);
  if (s->free_list) MemFree(kOwnerBufferFld, s->free_list);
  s->keys = nullptr;
  s->free_list = nullptr;
  s->cache = nullptr;
  s->capacity = s->free_capacity = 0;
}

// Takes the key arrays' block for `capacity` entries per key, with the probe
// cache after the arrays (emptied).
uint32_t* AllocKeys(IndexState* s, uint16_t f, uint32_t capacity, char** cache, uint32_t* slots) {
  uint16_t width = KeyWidth(f);
  *slots = CacheSlots(width);
  uint64_t array_bytes = uint64_t{capacity} * s->key_count * 4;
  uint64_t bytes = array_bytes + uint64_t{*slots} * (4u + width);
  if (bytes > 0xFFFFFFF0ull) return nullptr;
  auto* keys = static_cast<uint32_t*>(MemAlloc(kOwnerBufferFld, static_cast<uint32_t>(bytes)));
  if (keys == nullptr) return nullptr;
  *cache = reinterpret_cast<char*>(keys) + array_bytes;
  for (uint32_t i = 0; i < *slots; ++i)
    std::memset(*cache + uint64_t{i} * (4u + width), 0xFF, 4);
  s->cache_width = width;
  return keys;
}

char* CacheSlot(IndexState* s, uint32_t r) {
  return s->cache + uint64_t{r % s->cache_slots} * (4u + s->cache_width);
}

// Drops record r's cached key values (after it was written).
void CacheForget(IndexState* s, uint32_t r) {
  if (s->cache == nullptr) return;
  char* slot = CacheSlot(s, r);
  uint32_t have;
  std::memcpy(&have, slot, 4);
  if (have == r) std::memset(slot, 0xFF, 4);
}

uint16_t DataStream(uint16_t f) {
  const DataFileCtrl* ctrl = FileCtrl(f);
  return ctrl ? ctrl->data_stream : kNoStream;
}

uint16_t RecordLength(uint16_t f) {
  const DictFileEntry* file = DictFile(f);
  return file ? file->record_length : 0;
}

uint32_t DataRecords(uint16_t f) {
  uint16_t length = RecordLength(f);
  return length == 0 ? 0 : StreamSize(DataStream(f)) / length;
}

// Key k of record r of f into key_out: from the probe cache, or read from
// the data file (record is scratch room for it) and cached.
Status ReadKey(uint16_t f, uint16_t k, uint32_t r, char* record, char* key_out) {
  IndexState* s = &g_index[f];
  char* slot = s->cache ? CacheSlot(s, r) : nullptr;
  uint32_t have = kNone;
  if (slot) std::memcpy(&have, slot, 4);
  if (have != r) {
    uint16_t length = RecordLength(f);
    Status st =
        StorageRead(DataStream(f), static_cast<uint32_t>(uint64_t{r} * length), record, length);
    if (st != 0) return st;
    if (slot == nullptr) {
      DictKeyBuild(f, k, record, key_out);
      return 0;
    }
    uint16_t at = 0;
    for (uint16_t j = 1; j <= s->key_count; ++j)
      at = static_cast<uint16_t>(at + DictKeyBuild(f, j, record, slot + 4 + at));
    std::memcpy(slot, &r, 4);
  }
  std::memcpy(key_out, slot + 4 + KeyOffset(f, k), DictKey(f, k)->length);
  return 0;
}

// Scratch room for one record and one key value, on the TempStack. A record
// being moved or removed is already changed on disk; its probes read the key
// value the array is ordered by from `skip_key` instead.
struct Scratch {
  char* record = nullptr;
  char* key = nullptr;
  uint32_t skip = 0xFFFFFFFFu;
  const char* skip_key = nullptr;
  bool ok() const { return record != nullptr && key != nullptr; }
};
Scratch MakeScratch(uint16_t f, uint16_t k) {
  Scratch s;
  const DictKeyEntry* key = DictKey(f, k);
  s.record = TempAllocPtr(RecordLength(f), 255);
  s.key = key ? TempAllocPtr(key->length, 255) : nullptr;
  return s;
}

// The key value of entry r into scratch.key.
Status Probe(uint16_t f, uint16_t k, uint32_t r, Scratch& scratch) {
  if (r == scratch.skip && scratch.skip_key != nullptr) {
    std::memcpy(scratch.key, scratch.skip_key, DictKey(f, k)->length);
    return 0;
  }
  return ReadKey(f, k, r, scratch.record, scratch.key);
}

// First entry of arr[0..n) whose key does not compare below value's m bytes
// (upper = false), or above them (upper = true). *equal tells whether the
// entry found compared equal (lower bound only).
Status Bound(uint16_t f, uint16_t k, const uint32_t* arr, uint32_t n, const char* value, uint16_t m,
             bool upper, Scratch& scratch, uint32_t* out, bool* equal) {
  uint32_t lo = 0, hi = n;
  bool eq = false;
  while (lo < hi) {
    uint32_t mid = lo + (hi - lo) / 2;
    Status st = Probe(f, k, arr[mid], scratch);
    if (st != 0) return st;
    int c = m == 0 ? 0 : std::memcmp(value, scratch.key, m);
    if (c > 0 || (upper && c == 0)) {
      lo = mid + 1;
    } else {
      hi = mid;
      eq = c == 0;
    }
  }
  *out = lo;
  if (equal) *equal = lo < n && eq;
  return 0;
}

Status CheckedKey(uint16_t f, uint16_t k) {
  return DictKey(f, k) ? Status{0} : DictRangeError(f, k);
}

// Position of r in key k's array: a search on its key value, then along the
// run of equal values; a plain scan when that fails (a damaged index).
Status Locate(uint16_t f, uint16_t k, uint32_t r, const char* record, uint32_t* pos) {
  IndexState* s = State(f);
  uint32_t* arr = Keys(s, k);
  TempMarkValue mark = TempMark();
  Scratch scratch = MakeScratch(f, k);
  char* value = TempAllocPtr(DictKey(f, k)->length, 255);
  Status st = scratch.ok() && value ? 0 : kStOutOfMemory;
  uint32_t p = 0;
  if (st == 0) {
    uint16_t m = DictKeyBuild(f, k, record, value);
    scratch.skip = r;
    scratch.skip_key = value;
    st = Bound(f, k, arr, s->live, value, m, false, scratch, &p, nullptr);
    for (; st == 0 && p < s->live; ++p) {
      if (arr[p] == r) break;
      st = Probe(f, k, arr[p], scratch);
      if (st == 0 && std::memcmp(value, scratch.key, m) != 0) {
        p = s->live;
        break;
      }
    }
  }
  TempRelease(mark);
  if (st != 0) return st;
  if (p >= s->live || arr[p] != r) {
    p = 0;
    while (p < s->live && arr[p] != r)
      ++p;
  }
  *pos = p < s->live ? p : kNone;
  return 0;
}

// A failed index write gives 130: recorded in place of the 137 that the
// write itself recorded, unless an earlier error is the first one.
Status SaveFailure(uint32_t word_before) {
  if (word_before == 0) ErrClear();
  ErrSet(1, kModDataFile, kStDiskIo, 0);
  return kStDiskIo;
}

Status WriteEntries(uint16_t stream, uint32_t pos, const uint32_t* entries, uint32_t count,
                    bool to_disk) {
  for (uint32_t done = 0; done < count;) {
    uint32_t piece = count - done < kPieceEntries ? count - done : kPieceEntries;
    bool last = done + piece == count;
    Status st = StorageWrite(stream, pos + done * 4, reinterpret_cast<const char*>(entries + done),
                             piece * 4, to_disk && last);
    if (st != 0) return st;
    done += piece;
  }
  return 0;
}

Status ReadEntries(uint16_t stream, uint32_t pos, uint32_t* entries, uint32_t count) {
  for (uint32_t done = 0; done < count;) {
    uint32_t piece = count - done < kPieceEntries ? count - done : kPieceEntries;
    Status st =
        StorageRead(stream, pos + done * 4, reinterpret_cast<char*>(entries + done), piece * 4);
    if (st != 0) return st;
    done += piece;
  }
  return 0;
}

// True when the free list and every key array of s are a partition of
// 0..records - 1: each free number once, each live number once per key.
bool Partition(IndexState* s, uint32_t records) {
  if (uint64_t{s->live} + s->free != records) return false;
  if (records == 0) return true;
  if (s->key_count >= 250) return true;  // too many keys to mark; taken as it is
  auto* marks = static_cast<uint8_t*>(MemAlloc(kOwnerBufferFld, records));
  if (marks == nullptr) return true;
  bool ok = true;
  for (uint32_t i = 0; ok && i < s->free; ++i) {
    uint32_t r = s->free_list[i];
    ok = r < records && marks[r] == 0;
    if (ok) marks[r] = 255;
  }
  for (uint16_t k = 1; ok && k <= s->key_count; ++k) {
    const uint32_t* arr = Keys(s, k);
    for (uint32_t i = 0; ok && i < s->live; ++i) {
      uint32_t r = arr[i];
      ok = r < records && marks[r] == k - 1;
      if (ok) marks[r] = static_cast<uint8_t>(k);
    }
  }
  MemFree(kOwnerBufferFld, marks);
  return ok;
}

// Takes arrays for live and free counts by the capacity rule.
Status Allocate(IndexState* s, uint16_t f, uint32_t live, uint32_t free) {
  char* cache = nullptr;
  uint32_t slots = 0;
  uint32_t* keys = AllocKeys(s, f, Capacity(live), &cache, &slots);
  uint32_t* free_list = AllocEntries(Capacity(free));
  if (keys == nullptr || free_list == nullptr) {
    if (keys) MemFree(kOwnerBufferFld, keys);
    if (free_list) MemFree(kOwnerBufferFld, free_list);
    return kStOutOfMemory;
  }
  FreeArrays(s);
  s->keys = keys;
  s->free_list = free_list;
  s->cache = cache;
  s->cache_slots = slots;
  s->capacity = Capacity(live);
  s->free_capacity = Capacity(free);
  return 0;
}

}  // namespace

Status IndexRebuild(uint16_t f) {
  IndexState* s = State(f);
  if (s == nullptr) return kStFileNotInit;
  const DictFileEntry* file = DictFile(f);
  uint16_t length = file->record_length;
  uint16_t stream = DataStream(f);
  uint32_t records = DataRecords(f);
  uint16_t total = 0;
  for (uint16_t k = 1; k <= s->key_count; ++k)
    total = static_cast<uint16_t>(total + DictKey(f, k)->length);
  uint64_t value_bytes = uint64_t{records} * total;
  if (value_bytes > 0xFFFFFFF0ull) return kStOutOfMemory;
  char* values = static_cast<char*>(
      MemAlloc(kOwnerBufferFld, static_cast<uint32_t>(value_bytes ? value_bytes : 1)));
  auto* deleted = static_cast<uint8_t*>(MemAlloc(kOwnerBufferFld, records ? records : 1));
  TempMarkValue mark = TempMark();
  // Whole records per read: 32,768 bytes' worth, at least one.
  uint32_t per_read = kScanBytes / length ? kScanBytes / length : 1;
  char* block = TempAllocPtr(static_cast<uint16_t>(per_read * length), 255);
  Status st = values && deleted && block ? 0 : kStOutOfMemory;
  uint32_t live = 0;
  for (uint32_t r = 0; st == 0 && r < records; r += per_read) {
    uint32_t n = records - r < per_read ? records - r : per_read;
    st = StorageRead(stream, static_cast<uint32_t>(uint64_t{r} * length), block, n * length);
    for (uint32_t i = 0; st == 0 && i < n; ++i) {
      const char* rec = block + uint64_t{i} * length;
      deleted[r + i] = rec[0] == kDeletedMark;
      if (deleted[r + i]) continue;
      ++live;
      uint16_t at = 0;
      for (uint16_t k = 1; k <= s->key_count; ++k)
        at = static_cast<uint16_t>(at +
                                   DictKeyBuild(f, k, rec, values + uint64_t{r + i} * total + at));
    }
  }
  TempRelease(mark);
  if (st == 0) st = Allocate(s, f, live, records - live);
  if (st == 0) {
    uint32_t free = 0;
    for (uint32_t r = records; r-- > 0;)
      if (deleted[r]) s->free_list[free++] = r;
    uint16_t offset = 0;
    for (uint16_t k = 1; k <= s->key_count; ++k) {
      uint32_t* arr = Keys(s, k);
      uint32_t n = 0;
      for (uint32_t r = 0; r < records; ++r)
        if (!deleted[r]) arr[n++] = r;
      uint16_t klen = DictKey(f, k)->length;
      std::sort(arr, arr + n, [&](uint32_t a, uint32_t b) {
        int c = std::memcmp(values + uint64_t{a} * total + offset,
                            values + uint64_t{b} * total + offset, klen);
        return c != 0 ? c < 0 : a < b;
      });
      offset = static_cast<uint16_t>(offset + klen);
    }
    s->live = live;
    s->free = free;
    s->position = 0;
    s->changed = true;
  }
  if (values) MemFree(kOwnerBufferFld, values);
  if (deleted) MemFree(kOwnerBufferFld, deleted);
  return st;
}

Status IndexLoad(uint16_t f) {
  IndexState* s = State(f);
  if (s == nullptr) return kStFileNotInit;
  s->key_count = DictFile(f)->key_count;
  s->position = 0;
  s->changed = false;
  s->disk_dirty = false;
  uint32_t size = StreamSize(s->stream);
  uint32_t records = DataRecords(f);
  int32_t head[2] = {0, 0};
  bool valid =
      size == 0 || (size >= 8 && StorageRead(s->stream, 0, reinterpret_cast<char*>(head), 8) == 0);
  if (valid) {
    uint64_t need = 8 + 4ull * (uint64_t(head[0] < 0 ? 0 : head[0]) +
                                uint64_t(head[1] < 0 ? 0 : head[1]) * s->key_count);
    valid = head[0] >= 0 && head[1] >= 0 && need <= (size == 0 ? 8 : size) &&
            uint64_t(head[0]) + uint64_t(head[1]) == records;
  }
  Status st = 0;
  if (valid) {
    uint32_t free = static_cast<uint32_t>(head[0]);
    uint32_t live = static_cast<uint32_t>(head[1]);
    st = Allocate(s, f, live, free);
    if (st != 0) return st;
    s->free = free;
    s->live = live;
    valid = ReadEntries(s->stream, 8, s->free_list, free) == 0;
    for (uint16_t k = 1; valid && k <= s->key_count; ++k)
      valid = ReadEntries(s->stream, 8 + 4 * (free + (k - 1u) * live), Keys(s, k), live) == 0;
    valid = valid && Partition(s, records);
  }
  if (!valid) st = IndexRebuild(f);
  return st;
}

Status IndexOpen(uint16_t f, StrDesc path) {
  if (f == 0 || f > kDictMaxFiles || StrIsError(path) || path.len > kStreamNameMax) return kStData;
  IndexState* s = &g_index[f];
  if (s->open) IndexForget(f);
  uint16_t stream = StreamOpen(path, kStreamUpdate | kStreamQuiet);
  if (stream < kStreamFirstFile || stream >= kStreamCount) {
    Status st = stream >= kStreamCount && stream != kStreamFail ? stream : Status{kStFileNotFound};
    ErrSet(1, kModDataFile, st, 0);
    return ErrDetail(st, path, true);
  }
  *s = IndexState();
  s->open = true;
  s->stream = stream;
  std::memcpy(s->path, path.ptr, path.len);
  s->path_len = path.len;
  Status st = IndexLoad(f);
  if (st != 0) IndexForget(f);
  return st;
}

Status IndexMarkChanging(uint16_t f) {
  IndexState* s = State(f);
  if (s == nullptr) return kStFileNotInit;
  if (s->disk_dirty) return 0;
  static const char zeros[8] = {};
  uint32_t word = ErrWord();
  if (StorageWrite(s->stream, 0, zeros, 8, true) != 0) return SaveFailure(word);
  s->disk_dirty = true;
  return 0;
}

Status IndexSave(uint16_t f) {
  IndexState* s = State(f);
  if (s == nullptr) return kStFileNotInit;
  if (!s->changed && !s->disk_dirty) return 0;
  uint32_t word = ErrWord();
  Status st = IndexMarkChanging(f);
  if (st == 0) st = WriteEntries(s->stream, 8, s->free_list, s->free, false);
  for (uint16_t k = 1; st == 0 && k <= s->key_count; ++k)
    st =
        WriteEntries(s->stream, 8 + 4 * (s->free + (k - 1u) * s->live), Keys(s, k), s->live, false);
  if (st == 0) {
    // The records and the arrays reach the disk before the header that
    // makes the arrays valid.
    if (StreamIsOpen(DataStream(f))) st = StreamFlush(DataStream(f), true);
    if (st == 0) st = StreamFlush(s->stream, true);
    int32_t head[2] = {static_cast<int32_t>(s->free), static_cast<int32_t>(s->live)};
    if (st == 0) st = StorageWrite(s->stream, 0, reinterpret_cast<const char*>(head), 8, true);
  }
  if (st != 0) return SaveFailure(word);
  s->changed = false;
  s->disk_dirty = false;
  return 0;
}

Status IndexClose(uint16_t f) {
  IndexState* s = State(f);
  if (s == nullptr) return 0;
  Status st = IndexSave(f);
  char path[kStreamNameMax + 1];
  uint16_t len = s->path_len;
  std::memcpy(path, s->path, len);
  IndexForget(f);
  if (st != 0) FsRemove(std::string_view(path, len));
  return st;
}

Status IndexGrow(uint16_t f) {
  IndexState* s = State(f);
  if (s == nullptr) return kStFileNotInit;
  Status st = IndexSave(f);
  if (st != 0) return st;
  IndexState old = *s;
  char* cache = nullptr;
  uint32_t slots = 0;
  uint32_t* keys = AllocKeys(s, f, Capacity(s->live), &cache, &slots);
  uint32_t* free_list = AllocEntries(Capacity(s->free));
  if (keys == nullptr || free_list == nullptr) {
    if (keys) MemFree(kOwnerBufferFld, keys);
    if (free_list) MemFree(kOwnerBufferFld, free_list);
    return kStOutOfMemory;
  }
  s->capacity = Capacity(s->live);
  s->free_capacity = Capacity(s->free);
  s->keys = keys;
  s->free_list = free_list;
  s->cache = cache;
  s->cache_slots = slots;
  for (uint16_t k = 1; k <= s->key_count; ++k)
    std::memcpy(Keys(s, k), old.keys + uint64_t{k - 1u} * old.capacity, uint64_t{s->live} * 4);
  std::memcpy(s->free_list, old.free_list, uint64_t{s->free} * 4);
  MemFree(kOwnerBufferFld, old.keys);
  MemFree(kOwnerBufferFld, old.free_list);
  return 0;
}

void IndexForget(uint16_t f) {
  if (f == 0 || f > kDictMaxFiles) return;
  IndexState* s = &g_index[f];
  if (!s->open) return;
  FreeArrays(s);
  StreamClose(s->stream);
  *s = IndexState();
}

void IndexResetAll() {
  for (uint16_t f = 1; f <= kDictMaxFiles; ++f)
    IndexForget(f);
}

bool IndexIsOpen(uint16_t f) {
  return State(f) != nullptr;
}
uint32_t IndexLiveCount(uint16_t f) {
  return State(f) ? State(f)->live : 0;
}
uint32_t IndexFreeCount(uint16_t f) {
  return State(f) ? State(f)->free : 0;
}
uint32_t IndexCapacity(uint16_t f) {
  return State(f) ? State(f)->capacity : 0;
}

const uint32_t* IndexKeyEntries(uint16_t f, uint16_t k) {
  IndexState* s = State(f);
  if (s == nullptr || k == 0 || k > s->key_count) return nullptr;
  return Keys(s, k);
}

const uint32_t* IndexFreeEntries(uint16_t f) {
  IndexState* s = State(f);
  return s ? s->free_list : nullptr;
}

IndexResult IndexSearch(uint16_t f, uint16_t k, StrDesc value, SearchMode mode) {
  IndexResult result;
  IndexState* s = State(f);
  if (s == nullptr) {
    result.status = kStFileNotInit;
    return result;
  }
  if ((result.status = CheckedKey(f, k)) != 0) return result;
  if (StrIsError(value)) {
    result.status = StrCheck(value);
    return result;
  }
  const uint16_t m = value.len < DictKey(f, k)->length ? value.len : DictKey(f, k)->length;
  if (s->live == 0) {
    s->position = 0;
    result.outcome = kOutEnd;
    return result;
  }
  const uint32_t* arr = Keys(s, k);
  TempMarkValue mark = TempMark();
  Scratch scratch = MakeScratch(f, k);
  uint32_t p = 0;
  bool found = false;
  result.status = scratch.ok() ? 0 : kStOutOfMemory;
  if (result.status == 0)
    result.status = Bound(f, k, arr, s->live, value.ptr, m, false, scratch, &p, &found);
  if (result.status == 0 && found && mode == kSearchLast) {
    uint32_t q = 0;
    result.status = Bound(f, k, arr, s->live, value.ptr, m, true, scratch, &q, nullptr);
    p = q - 1;
  }
  TempRelease(mark);
  if (result.status != 0) return result;
  s->position = p;
  result.outcome = found ? kOutFound : (p >= s->live ? kOutEnd : kOutNotFound);
  result.record = p < s->live ? arr[p] : kNone;
  return result;
}

IndexResult IndexMove(uint16_t f, uint16_t code) {
  IndexResult result;
  IndexState* s = State(f);
  if (s == nullptr) {
    result.status = kStFileNotInit;
    return result;
  }
  if (s->live == 0) {
    result.outcome = kOutEnd;
    return result;
  }
  int64_t p = s->position;
  int64_t target;
  switch (code) {
    case kMoveNext:
      target = p + 1;
      break;
    case kMovePrevious:
      target = p - 1;
      break;
    case kMoveLast:
      target = int64_t{s->live} - 1;
      break;
    case kMoveFirst:
      target = 0;
      break;
    default:
      target = p;
      break;
  }
  if (target < 0) {
    s->position = 0;
    result.outcome = kOutNotFound;
  } else if (target >= s->live) {
    s->position = s->live - 1;
    result.outcome = kOutEnd;
  } else {
    s->position = static_cast<uint32_t>(target);
    result.outcome = kOutFound;
  }
  const DataFileCtrl* ctrl = FileCtrl(f);
  uint16_t k =
      ctrl && ctrl->current_key >= 1 && ctrl->current_key <= s->key_count ? ctrl->current_key : 1;
  result.record = Keys(s, k)[s->position];
  return result;
}

uint32_t IndexRecordAt(uint16_t f) {
  IndexState* s = State(f);
  const DataFileCtrl* ctrl = FileCtrl(f);
  if (s == nullptr || ctrl == nullptr || s->position >= s->live) return kNone;
  uint16_t k = ctrl->current_key;
  if (k == 0 || k > s->key_count) return kNone;
  return Keys(s, k)[s->position];
}

uint32_t IndexPosition(uint16_t f) {
  return State(f) ? State(f)->position : 0;
}

void IndexSetPosition(uint16_t f, uint32_t position) {
  if (IndexState* s = State(f)) s->position = position;
}

uint32_t IndexLocate(uint16_t f, uint16_t k, uint32_t r) {
  IndexState* s = State(f);
  if (s == nullptr || k == 0 || k > s->key_count) return kNone;
  const uint32_t* arr = Keys(s, k);
  for (uint32_t p = 0; p < s->live; ++p)
    if (arr[p] == r) return p;
  return kNone;
}

Status IndexEnsureRoom(uint16_t f) {
  IndexState* s = State(f);
  if (s == nullptr) return kStFileNotInit;
  if (s->capacity - s->live > 0 && s->free_capacity - s->free > 0) return 0;
  return IndexGrow(f);
}

Status IndexAllocate(uint16_t f, uint32_t* record) {
  IndexState* s = State(f);
  if (s == nullptr) return kStFileNotInit;
  uint16_t length = RecordLength(f);
  for (int pass = 0; pass < 2; ++pass) {
    uint32_t r = s->free > 0 ? s->free_list[s->free - 1] : s->live;
    uint64_t pos = uint64_t{r} * length;
    uint32_t size = StreamSize(DataStream(f));
    if (pos + length > 0xFFFFFFFFull) return kStDataOutBound;
    char first = kDeletedMark;
    bool whole = pos + length <= size;
    if (whole && StorageRead(DataStream(f), static_cast<uint32_t>(pos), &first, 1) != 0)
      return kStRead;
    // The slot must be free in the data file too: beyond its end, a torn
    // tail, or a record marked deleted.
    if (pos <= size && first == kDeletedMark) {
      *record = r;
      return 0;
    }
    if (pass == 0) {
      Status st = IndexRebuild(f);
      if (st != 0) return st;
      s = State(f);
    }
  }
  return ErrDetail(kStInternal, Lit("IndexAllocate"), false);
}

Status IndexInsertRecord(uint16_t f, uint32_t r, const char* record, bool* duplicate) {
  IndexState* s = State(f);
  if (s == nullptr) return kStFileNotInit;
  if (s->live >= s->capacity) return ErrDetail(kStInternal, Lit("IndexInsertRecord"), false);
  CacheForget(s, r);  // a number that was free: whatever was cached is gone
  const bool from_free = s->free > 0 && s->free_list[s->free - 1] == r;
  if (from_free) {
    --s->free;
  } else if (r != s->live) {
    return ErrDetail(kStInternal, Lit("IndexInsertRecord"), false);
  }
  const DataFileCtrl* ctrl = FileCtrl(f);
  Status st = 0;
  uint32_t places[kDictMaxKeys];
  for (uint16_t k = 1; st == 0 && k <= s->key_count; ++k) {
    TempMarkValue mark = TempMark();
    Scratch scratch = MakeScratch(f, k);
    char* value = TempAllocPtr(DictKey(f, k)->length, 255);
    st = scratch.ok() && value ? 0 : kStOutOfMemory;
    uint32_t* arr = Keys(s, k);
    uint32_t q = 0;
    uint16_t m = 0;
    if (st == 0) {
      m = DictKeyBuild(f, k, record, value);
      st = Bound(f, k, arr, s->live, value, m, true, scratch, &q, nullptr);
    }
    if (st == 0 && duplicate && ctrl && k == ctrl->current_key) {
      *duplicate = false;
      if (q > 0) {
        st = ReadKey(f, k, arr[q - 1], scratch.record, scratch.key);
        *duplicate = st == 0 && std::memcmp(value, scratch.key, m) == 0;
      }
    }
    TempRelease(mark);
    places[k - 1] = q;
  }
  if (st != 0) {
    // Nothing was moved yet: the number goes back.
    if (from_free) ++s->free;
    return st;
  }
  for (uint16_t k = 1; k <= s->key_count; ++k) {
    uint32_t* arr = Keys(s, k);
    uint32_t q = places[k - 1];
    std::memmove(arr + q + 1, arr + q, uint64_t{s->live - q} * 4);
    arr[q] = r;
    if (ctrl && k == ctrl->current_key) s->position = q;
  }
  ++s->live;
  s->changed = true;
  return 0;
}

Status IndexAddFree(uint16_t f, uint32_t r) {
  IndexState* s = State(f);
  if (s == nullptr) return kStFileNotInit;
  if (uint64_t{s->live} + s->free != r || s->free >= s->free_capacity) return 0;
  s->free_list[s->free++] = r;
  s->changed = true;
  return 0;
}

Status IndexRemoveRecord(uint16_t f, uint32_t r, const char* record) {
  IndexState* s = State(f);
  if (s == nullptr) return kStFileNotInit;
  if (s->free >= s->free_capacity) return ErrDetail(kStInternal, Lit("IndexRemoveRecord"), false);
  const DataFileCtrl* ctrl = FileCtrl(f);
  uint32_t places[kDictMaxKeys];
  for (uint16_t k = s->key_count; k >= 1; --k) {
    uint32_t p = kNone;
    if (ctrl && k == ctrl->current_key && s->position < s->live && Keys(s, k)[s->position] == r) {
      p = s->position;
    } else {
      Status st = Locate(f, k, r, record, &p);
      if (st != 0) return st;
    }
    // A number missing from a key: the index no longer matches the data
    // file, which already shows the record deleted.
    if (p == kNone) return IndexRebuild(f);
    places[k - 1] = p;
  }
  for (uint16_t k = s->key_count; k >= 1; --k) {
    uint32_t* arr = Keys(s, k);
    uint32_t p = places[k - 1];
    std::memmove(arr + p, arr + p + 1, uint64_t{s->live - p - 1} * 4);
    if (ctrl && k == ctrl->current_key) s->position = p;
  }
  --s->live;
  s->free_list[s->free++] = r;
  s->changed = true;
  CacheForget(s, r);
  return 0;
}

Status IndexUpdateKeys(uint16_t f, uint32_t r, const char* old_record, const char* new_record) {
  IndexState* s = State(f);
  if (s == nullptr) return kStFileNotInit;
  const DataFileCtrl* ctrl = FileCtrl(f);
  for (uint16_t k = 1; k <= s->key_count; ++k) {
    TempMarkValue mark = TempMark();
    uint16_t klen = DictKey(f, k)->length;
    char* before = TempAllocPtr(klen, 255);
    char* after = TempAllocPtr(klen, 255);
    Scratch scratch = MakeScratch(f, k);
    Status st = before && after && scratch.ok() ? 0 : kStOutOfMemory;
    if (st == 0) {
      DictKeyBuild(f, k, old_record, before);
      DictKeyBuild(f, k, new_record, after);
    }
    if (st == 0 && std::memcmp(before, after, klen) != 0) {
      uint32_t* arr = Keys(s, k);
      uint32_t p = kNone;
      // The old value is what the array is ordered by; the record on disk
      // already holds the new one, so equal runs are walked by number.
      st = Locate(f, k, r, old_record, &p);
      if (st == 0 && p == kNone) {
        TempRelease(mark);
        return IndexRebuild(f);
      }
      if (st == 0) {
        std::memmove(arr + p, arr + p + 1, uint64_t{s->live - p - 1} * 4);
        uint32_t q = 0;
        st = Bound(f, k, arr, s->live - 1, after, klen, true, scratch, &q, nullptr);
        if (st != 0) {
          // Put it back where it was.
          std::memmove(arr + p + 1, arr + p, uint64_t{s->live - 1 - p} * 4);
          arr[p] = r;
        } else {
          std::memmove(arr + q + 1, arr + q, uint64_t{s->live - 1 - q} * 4);
          arr[q] = r;
          s->changed = true;
          if (ctrl && k == ctrl->current_key) s->position = q;
        }
      }
    }
    TempRelease(mark);
    if (st != 0) return st;
  }
  CacheForget(s, r);
  return 0;
}
