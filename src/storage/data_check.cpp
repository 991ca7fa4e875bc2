#include "storage/data_check.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "core/mem_pool.h"
#include "core/status.h"
#include "core/temp_stack.h"
#include "storage/data_file.h"
#include "storage/dictionary.h"
#include "storage/record_io.h"
#include "storage/streams.h"

namespace {

constexpr uint32_t kMaxReported = 100;
constexpr uint32_t kPieceEntries = 8192;

struct Checker {
  CheckReport report;
  void* context;
  CheckSummary* summary;
  void Fault(int max, const char* format, ...) __attribute__((format(printf, 3, 4)));
};

void Checker::Fault(int max, const char* format, ...) {
  if (summary->faults++ >= kMaxReported || report == nullptr) return;
  char text[256];
  if (max > static_cast<int>(sizeof text)) max = sizeof text;
  va_list args;
  va_start(args, format);
  int n = std::vsnprintf(text, static_cast<size_t>(max), format, args);
  va_end(args);
  if (n < 0) n = 0;
  if (n >= max) n = max - 1;
  report(context, StrMake(text, static_cast<uint16_t>(n)));
}

// Blocks of owner 13 released together at the end of the check.
struct Blocks {
  void* items[4] = {};
  void* Take(uint64_t bytes) {
    if (bytes > 0xFFFFFFF0ull) return nullptr;
    void* p = MemAlloc(kOwnerBufferFld, static_cast<uint32_t>(bytes ? bytes : 1));
    for (void*& slot : items)
      if (slot == nullptr) {
        slot = p;
        break;
      }
    return p;
  }
  ~Blocks() {
    for (void* p : items)
      if (p) MemFree(kOwnerBufferFld, p);
  }
};

bool IsOpenStream(uint16_t n) {
  return n >= kStreamFirstFile && n < kStreamCount;
}

Status ReadEntries(uint16_t stream, uint32_t pos, uint32_t* out, uint32_t count) {
  for (uint32_t done = 0; done < count;) {
    uint32_t piece = count - done < kPieceEntries ? count - done : kPieceEntries;
    Status st = StorageRead(stream, pos + done * 4, reinterpret_cast<char*>(out + done), piece * 4);
    if (st != 0) return st;
    done += piece;
  }
  return 0;
}

}  // namespace

Status DataFileCheck(uint16_t f, CheckReport report, void* context, CheckSummary* summary) {
  CheckSummary local;
  if (summary == nullptr) summary = &local;
  *summary = CheckSummary();
  const DictFileEntry* file = DictFile(f);
  if (file == nullptr || file->record_length == 0) return DictRangeError(f, 0);
  Checker check{report, context, summary};
  const uint16_t length = file->record_length;
  const uint16_t keys = file->key_count;
  TempMarkValue mark = TempMark();
  uint16_t data = StreamOpen(DataFilePath(f), kStreamReadOnly | kStreamUpdate | kStreamQuiet);
  if (!IsOpenStream(data)) {
    TempRelease(mark);
    return kStFileNotFound;
  }
  uint16_t index = StreamOpen(IndexFilePath(f), kStreamReadOnly | kStreamUpdate | kStreamQuiet);
  uint32_t size = StreamSize(data);
  uint32_t records = size / length;
  summary->records = records;
  summary->partial = size % length;

  // Key values and deleted marks of every record, read once.
  uint16_t total = 0;
  for (uint16_t k = 1; k <= keys; ++k)
    total = static_cast<uint16_t>(total + DictKey(f, k)->length);
  Blocks blocks;
  char* values = static_cast<char*>(blocks.Take(uint64_t{records} * total));
  auto* marks =
      static_cast<uint8_t*>(blocks.Take(records));  // bit 0 deleted, bit 1 free, bit 2 seen
  Status st = values && marks ? 0 : kStOutOfMemory;
  char* record = TempAllocPtr(length, 255);
  if (record == nullptr) st = kStOutOfMemory;
  for (uint32_t r = 0; st == 0 && r < records; ++r) {
    st = StorageRead(data, static_cast<uint32_t>(uint64_t{r} * length), record, length);
    if (st != 0) break;
    marks[r] = record[0] == kDeletedMark ? 1 : 0;
    summary->deleted += marks[r];
    uint16_t at = 0;
    for (uint16_t k = 1; k <= keys; ++k)
      at =
          static_cast<uint16_t>(at + DictKeyBuild(f, k, record, values + uint64_t{r} * total + at));
  }

  int32_t head[2] = {0, 0};
  uint32_t index_size = IsOpenStream(index) ? StreamSize(index) : 0;
  bool usable = false;
  if (st == 0) {
    if (index_size >= 8 && StorageRead(index, 0, reinterpret_cast<char*>(head), 8) != 0)
      st = kStRead;
    if (st == 0 && index_size < 8 && index_size > 0)
      check.Fault(120, "the index file is %u bytes long, shorter than its header", index_size);
    summary->free = head[0] < 0 ? 0 : static_cast<uint32_t>(head[0]);
    summary->live = head[1] < 0 ? 0 : static_cast<uint32_t>(head[1]);
    uint64_t need = 8 + 4ull * (summary->free + uint64_t{summary->live} * keys);
    if (st != 0) {
    } else if (head[0] < 0 || head[1] < 0) {
      check.Fault(120, "the index header holds negative counts (%d free, %d live)", head[0],
                  head[1]);
    } else if (need > (index_size < 8 ? 8 : index_size)) {
      check.Fault(120, "the index file is %u bytes long; its header needs %llu", index_size,
                  static_cast<unsigned long long>(need));
    } else if (head[0] == 0 && head[1] == 0 && records > 0) {
      check.Fault(160,
                  "the index is empty but the data file holds %u records (an interrupted "
                  "session, or no index yet)",
                  records);
    } else {
      usable = true;
      if (uint64_t{summary->free} + summary->live != records)
        check.Fault(120, "the index counts %u live and %u free records; the data file holds %u",
                    summary->live, summary->free, records);
    }
  }

  uint32_t* entries = nullptr;
  if (st == 0 && usable) {
    uint32_t most = summary->free > summary->live ? summary->free : summary->live;
    entries = static_cast<uint32_t*>(blocks.Take(uint64_t{most} * 4));
    if (entries == nullptr) st = kStOutOfMemory;
  }
  if (st == 0 && usable) {
    st = ReadEntries(index, 8, entries, summary->free);
    for (uint32_t i = 0; st == 0 && i < summary->free; ++i) {
      uint32_t r = entries[i];
      if (r >= records) {
        check.Fault(120, "free number %u is beyond the last record", r);
      } else if (marks[r] & 2) {
        check.Fault(120, "free number %u is on the free list twice", r);
      } else {
        marks[r] |= 2;
        if (!(marks[r] & 1)) check.Fault(120, "free number %u names a live record", r);
      }
    }
    for (uint32_t r = 0; st == 0 && r < records; ++r)
      if ((marks[r] & 3) == 1) check.Fault(120, "deleted record %u is not on the free list", r);
    uint16_t offset = 0;
    for (uint16_t k = 1; st == 0 && k <= keys; ++k) {
      uint16_t klen = DictKey(f, k)->length;
      st = ReadEntries(index, 8 + 4 * (summary->free + (k - 1u) * summary->live), entries,
                       summary->live);
      for (uint32_t r = 0; r < records; ++r)
        marks[r] &= 3;
      uint32_t previous = 0xFFFFFFFFu;
      for (uint32_t i = 0; st == 0 && i < summary->live; ++i) {
        uint32_t r = entries[i];
        if (r >= records) {
          check.Fault(120, "key %u: entry %u holds %u, beyond the last record", k, i, r);
          continue;
        }
        if (marks[r] & 4) check.Fault(120, "key %u: record %u is held twice", k, r);
        if (marks[r] & 2) check.Fault(120, "key %u: record %u is also on the free list", k, r);
        if (marks[r] & 1) check.Fault(120, "key %u: record %u is deleted in the data file", k, r);
        marks[r] |= 4;
        if (previous != 0xFFFFFFFFu && std::memcmp(values + uint64_t{previous} * total + offset,
                                                   values + uint64_t{r} * total + offset, klen) > 0)
          check.Fault(120, "key %u: record %u is out of order after record %u", k, r, previous);
        previous = r;
      }
      for (uint32_t r = 0; st == 0 && r < records; ++r)
        if ((marks[r] & 5) == 0) check.Fault(120, "key %u: live record %u is missing", k, r);
      offset = static_cast<uint16_t>(offset + klen);
    }
  }
  if (IsOpenStream(index)) StreamClose(index);
  StreamClose(data);
  TempRelease(mark);
  return st;
}
