#include "storage/record_io.h"

#include <cstring>
#include <string_view>

#include "core/status.h"
#include "core/temp_stack.h"
#include "platform/fs.h"
#include "storage/streams.h"

namespace {

constexpr uint32_t kPiece = 32768;
constexpr char kJournalMagic[4] = {'Q', 'J', 'N', 'L'};
constexpr uint32_t kJournalHead = 12;  // magic, record number, length

struct FaultState {
  int countdown = -1;  // writes left before failing; -1 off
  int mode = 0;
  bool failing = false;
  uint32_t writes = 0;
};
FaultState g_fault;

// The fault hook's verdict for the next write: 0 write it, 1 write half and
// fail, 2 fail without writing.
int FaultVerdict() {
  ++g_fault.writes;
  if (g_fault.failing) return 2;
  if (g_fault.countdown < 0) return 0;
  if (g_fault.countdown > 0) {
    --g_fault.countdown;
    return 0;
  }
  int verdict = (g_fault.mode & kFaultTear) ? 1 : 2;
  if (g_fault.mode & kFaultOnce) {
    g_fault.countdown = -1;
  } else {
    g_fault.failing = true;
  }
  return verdict;
}

uint32_t Fnv(const char* bytes, uint32_t len, uint32_t hash = 2166136261u) {
  for (uint32_t i = 0; i < len; ++i) {
    hash ^= static_cast<unsigned char>(bytes[i]);
    hash *= 16777619u;
  }
  return hash;
}

void Put32(char* p, uint32_t v) {
  for (int i = 0; i < 4; ++i)
    p[i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}
uint32_t Get32(const char* p) {
  uint32_t v = 0;
  for (int i = 0; i < 4; ++i)
    v |= uint32_t{static_cast<unsigned char>(p[i])} << (8 * i);
  return v;
}

// The stream's write of one piece (at most kPiece bytes), avoiding the
// end-of-file marker as a start offset.
bool WritePiece(uint16_t stream, uint32_t pos, const char* bytes, uint32_t len) {
  if (pos != kStreamHere) {
    return StreamWrite(stream, pos, bytes, static_cast<uint16_t>(len)) == len;
  }
  char before = 0;
  if (StorageRead(stream, pos - 1, &before, 1) != 0) return false;
  TempMarkValue mark = TempMark();
  char* joined = TempAllocPtr(static_cast<uint16_t>(len + 1), 255);
  bool ok = joined != nullptr;
  if (ok) {
    joined[0] = before;
    std::memcpy(joined + 1, bytes, len);
    ok = StreamWrite(stream, pos - 1, joined, static_cast<uint16_t>(len + 1)) == len + 1;
  }
  TempRelease(mark);
  return ok;
}

bool WriteAll(uint16_t stream, uint32_t pos, const char* bytes, uint32_t len) {
  for (uint32_t done = 0; done < len;) {
    uint32_t piece = len - done < kPiece ? len - done : kPiece;
    if (!WritePiece(stream, pos + done, bytes + done, piece)) return false;
    done += piece;
  }
  return true;
}

Status WriteFailure() {
  ErrSet(1, kModDataFile, kStWrite, 0);
  return kStWrite;
}

bool RemoveJournal(StrDesc journal) {
  FsResult r = FsRemove(StrView(journal));
  return r == FsResult::kOk || r == FsResult::kNotFound;
}

}  // namespace

Status StorageRead(uint16_t stream, uint32_t pos, char* out, uint32_t len) {
  if (uint64_t{pos} + len > 0xFFFFFFFFull) return kStRead;
  for (uint32_t done = 0; done < len;) {
    uint32_t piece = len - done < kPiece ? len - done : kPiece;
    uint32_t at = pos + done;
    uint16_t got;
    if (at == kStreamHere) {
      // The marker offset is reached by seeking first.
      if (StreamSeek(stream, at) != 0) return kStRead;
      got = StreamRead(stream, kStreamHere, static_cast<uint16_t>(piece), out + done,
                       static_cast<uint16_t>(piece));
    } else {
      got = StreamRead(stream, at, static_cast<uint16_t>(piece), out + done,
                       static_cast<uint16_t>(piece));
    }
    if (got != piece) return kStRead;
    done += piece;
  }
  return 0;
}

Status StorageWrite(uint16_t stream, uint32_t pos, const char* bytes, uint32_t len, bool to_disk) {
  if (uint64_t{pos} + len > 0xFFFFFFFFull) {
    ErrSet(1, kModDataFile, kStDataOutBound, 0);
    return kStDataOutBound;
  }
  int verdict = FaultVerdict();
  if (verdict == 2) return WriteFailure();
  if (verdict == 1) {
    WriteAll(stream, pos, bytes, len / 2);
    StreamFlush(stream, false);
    return WriteFailure();
  }
  if (!WriteAll(stream, pos, bytes, len)) {
    StreamFlush(stream, false);
    return WriteFailure();
  }
  if (StreamFlush(stream, to_disk) != 0) return WriteFailure();
  return 0;
}

Status RecordWriteNew(uint16_t stream, uint32_t n, uint16_t length, const char* record) {
  if (length == 0) return 0;
  uint64_t pos = uint64_t{n} * length;
  if (pos + length > 0xFFFFFFFFull) return StorageWrite(stream, 0xFFFFFFFFu, record, length);
  TempMarkValue mark = TempMark();
  char* marked = TempAllocPtr(length, 255);
  Status st = marked == nullptr ? kStOutOfMemory : 0;
  if (st == 0) {
    std::memcpy(marked, record, length);
    marked[0] = 27;
    st = StorageWrite(stream, static_cast<uint32_t>(pos), marked, length);
  }
  if (st == 0) st = StorageWrite(stream, static_cast<uint32_t>(pos), record, 1);
  TempRelease(mark);
  return st;
}

Status RecordWriteJournaled(uint16_t stream, StrDesc journal, uint32_t n, uint16_t length,
                            const char* old_image, const char* new_image) {
  uint64_t pos = uint64_t{n} * length;
  if (pos + length > 0xFFFFFFFFull) return StorageWrite(stream, 0xFFFFFFFFu, new_image, length);
  TempMarkValue mark = TempMark();
  uint32_t size = kJournalHead + 2u * length + 4;
  Status st = 0;
  char* image = size <= 0xFFFF ? TempAllocPtr(static_cast<uint16_t>(size), 255) : nullptr;
  uint16_t js = kStreamFail;
  if (image == nullptr) st = kStOutOfMemory;
  if (st == 0) {
    std::memcpy(image, kJournalMagic, 4);
    Put32(image + 4, n);
    Put32(image + 8, length);
    std::memcpy(image + kJournalHead, old_image, length);
    std::memcpy(image + kJournalHead + length, new_image, length);
    Put32(image + size - 4, Fnv(image, size - 4));
    js = StreamOpen(journal, kStreamWrite | kStreamQuiet);
    if (js < kStreamFirstFile || js >= kStreamCount) st = WriteFailure();
  }
  if (st == 0) {
    st = StorageWrite(js, 0, image, size);
    StreamClose(js);
    if (st != 0) RemoveJournal(journal);
  }
  if (st == 0) {
    st = StorageWrite(stream, static_cast<uint32_t>(pos), new_image, length);
    if (st == 0 && !RemoveJournal(journal)) st = WriteFailure();
    if (st != 0) {
      // Not reported done: the old image goes back (the journal stays for
      // the next open when even that fails).
      if (StorageWrite(stream, static_cast<uint32_t>(pos), old_image, length) == 0)
        RemoveJournal(journal);
    }
  }
  TempRelease(mark);
  return st;
}

Status JournalRecover(uint16_t stream, StrDesc journal, uint16_t length) {
  if (!FsExists(StrView(journal))) return 0;
  TempMarkValue mark = TempMark();
  Status st = 0;
  uint32_t size = kJournalHead + 2u * length + 4;
  uint16_t js = StreamOpen(journal, kStreamReadOnly | kStreamUpdate | kStreamQuiet);
  char* image = size <= 0xFFFF ? TempAllocPtr(static_cast<uint16_t>(size), 255) : nullptr;
  char* disk = TempAllocPtr(length, 255);
  bool whole = js >= kStreamFirstFile && js < kStreamCount && image != nullptr && disk != nullptr &&
               StreamSize(js) == size && StorageRead(js, 0, image, size) == 0 &&
               std::memcmp(image, kJournalMagic, 4) == 0 && Get32(image + 8) == length &&
               Get32(image + size - 4) == Fnv(image, size - 4);
  if (js >= kStreamFirstFile && js < kStreamCount) StreamClose(js);
  if (whole) {
    uint32_t n = Get32(image + 4);
    const char* old_image = image + kJournalHead;
    const char* new_image = old_image + length;
    uint64_t pos = uint64_t{n} * length;
    bool mixed = pos + length <= StreamSize(stream) &&
                 StorageRead(stream, static_cast<uint32_t>(pos), disk, length) == 0;
    for (uint16_t i = 0; mixed && i < length; ++i)
      mixed = disk[i] == old_image[i] || disk[i] == new_image[i];
    // A record that is not made of the two images belongs to another file
    // (one restored from a backup, say): the journal is stale.
    if (mixed && std::memcmp(disk, old_image, length) != 0)
      st = StorageWrite(stream, static_cast<uint32_t>(pos), old_image, length);
  }
  if (st == 0 && !RemoveJournal(journal)) st = WriteFailure();
  TempRelease(mark);
  return st;
}

void StorageFailWrites(int after, int mode) {
  g_fault.countdown = after;
  g_fault.mode = mode;
  g_fault.failing = false;
  g_fault.writes = 0;
}

uint32_t StorageWriteCount() {
  return g_fault.writes;
}
