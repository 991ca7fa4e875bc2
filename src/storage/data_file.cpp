#include "storage/data_file.h"

#include <cstring>

#include "core/dyn_strings.h"
#include "core/status.h"
#include "core/str_lib.h"
#include "core/temp_stack.h"
#include "language/variables.h"
#include "platform/fs.h"
#include "storage/dictionary.h"
#include "storage/field_format.h"
#include "storage/folders.h"
#include "storage/index_file.h"
#include "storage/lock_file.h"
#include "storage/record_io.h"
#include "storage/streams.h"

namespace {

constexpr uint16_t kBufferGroup = 6;
constexpr uint16_t kTempNamesGroup = 31;

struct FileSlot {
  DataFileCtrl ctrl;
  bool open = false;
  uint32_t loaded = kNoRecord;  // the record whose image the buffers hold
  char data_path[kStreamNameMax + 1] = {};
  uint16_t data_len = 0;
  char journal_path[kStreamNameMax + 1] = {};
  uint16_t journal_len = 0;
  char lock_name[kStreamNameMax + 1] = {};  // the lock file this open took
  uint16_t lock_len = 0;
};

FileSlot g_slots[kDictMaxFiles + 1];
RecordLoopFn g_record_loop = nullptr;

bool Declared(uint16_t f) {
  return f >= 1 && f <= DictFileCount() && f <= kDictMaxFiles;
}

FileSlot* OpenSlot(uint16_t f) {
  return Declared(f) && g_slots[f].open ? &g_slots[f] : nullptr;
}

uint16_t Length(uint16_t f) {
  return DictFile(f)->record_length;
}

StrDesc SlotText(const char* bytes, uint16_t len) {
  return StrMake(bytes, len);
}

void KeepText(char* into, uint16_t* len, StrDesc text) {
  uint16_t n = text.len > kStreamNameMax ? kStreamNameMax : text.len;
  std::memcpy(into, text.ptr, n);
  *len = n;
}

void ResetSlot(FileSlot* slot) {
  *slot = FileSlot();
}

// The record buffers of f, made (2 * L blanks) when missing or of another
// size; null when two images do not fit one text. The pointer is valid until
// DynStrings changes.
char* Buffers(uint16_t f) {
  uint16_t length = Length(f);
  if (2u * length > 0xFFFFu) return nullptr;
  StrDesc have = DynGet(kBufferGroup, static_cast<uint16_t>(f - 1));
  if (have.len != 2u * length) {
    TempMarkValue mark = TempMark();
    Status st = DynSet(kBufferGroup, static_cast<uint16_t>(f - 1),
                       StrRepeat(Lit(" "), static_cast<uint16_t>(2 * length)));
    TempRelease(mark);
    if (st != 0) return nullptr;
    have = DynGet(kBufferGroup, static_cast<uint16_t>(f - 1));
  }
  return have.ptr;
}

Status NotOpen(uint16_t f) {
  if (!Declared(f)) return DictRangeError(f, 0);
  return kStFileNotInit;
}

// Checks for an operation that needs keys.
Status NeedIndex(uint16_t f) {
  FileSlot* slot = OpenSlot(f);
  if (slot == nullptr) return NotOpen(f);
  if (slot->ctrl.open_flags & kOpenNoIndex) return kStIndexCmd;
  return 0;
}

// Checks for an operation that writes.
Status NeedWritable(uint16_t f, bool index) {
  FileSlot* slot = OpenSlot(f);
  if (slot == nullptr) return NotOpen(f);
  if (index && (slot->ctrl.open_flags & kOpenNoIndex)) return kStIndexCmd;
  if (slot->ctrl.open_flags & kOpenReadOnly) {
    ErrSet(1, kModDataFile, kStPermission, 0);
    return ErrDetail(kStPermission, SlotText(slot->data_path, slot->data_len), false);
  }
  return 0;
}

// Reads record r into the current buffer (which & 1) and/or the old one
// (which & 2); 136 on a short read.
Status ReadInto(uint16_t f, uint32_t r, int which) {
  uint16_t length = Length(f);
  TempMarkValue mark = TempMark();
  char* record = TempAllocPtr(length, 255);
  Status st = record ? StorageRead(g_slots[f].ctrl.data_stream,
                                   static_cast<uint32_t>(uint64_t{r} * length), record, length)
                     : Status{kStOutOfMemory};
  if (st == kStRead) ErrSet(1, kModDataFile, kStRead, 0);
  char* buffers = st == 0 ? Buffers(f) : nullptr;
  if (st == 0 && buffers == nullptr) st = kStStrOutBound;
  if (st == 0) {
    if (which & 1) std::memcpy(buffers, record, length);
    if (which & 2) std::memcpy(buffers + length, record, length);
  }
  TempRelease(mark);
  return st;
}

// A TempStack copy of the current (1) or old (2) record; null on failure.
char* CopyOfBuffer(uint16_t f, int which) {
  uint16_t length = Length(f);
  char* copy = TempAllocPtr(length, 255);
  char* buffers = copy ? Buffers(f) : nullptr;
  if (buffers == nullptr) return nullptr;
  std::memcpy(copy, buffers + (which == 2 ? length : 0), length);
  return copy;
}

// The record the buffers hold, when it is the one at the current position:
// the record a rewrite or delete may change.
uint32_t CurrentRecord(uint16_t f) {
  FileSlot* slot = OpenSlot(f);
  if (slot == nullptr || slot->loaded == kNoRecord) return kNoRecord;
  return IndexRecordAt(f) == slot->loaded ? slot->loaded : kNoRecord;
}

Status NoCurrentRecord(uint16_t f) {
  TempMarkValue mark = TempMark();
  ErrDetail(kStInternal, StrFormat(40, "(File:%u)", f), false);
  TempRelease(mark);
  return kStInternal;
}

StrDesc BuildPath(uint16_t f, uint16_t kind) {
  TempMarkValue mark = TempMark();
  StrDesc name = DictFileName(f);
  if (TestBits(kSysCompat, 0x08)) name = StrSub(name, 0, 8);
  StrDesc base = PathJoin(DictFileFolder(f), name);
  if (!StrIsError(base) && StrFindChar(base, '%', 1) != kNotFound)
    base = ExpandPathReferences(base);
  return TempKeep(mark, PathJoinExt(base, KindExtension(kind)));
}

// Opens the data stream: read-only (a missing file is created once first) or
// for update. The stream number, or a status of 128 or more.
uint16_t OpenData(StrDesc path, bool read_only) {
  if (!read_only) return StreamOpen(path, kStreamUpdate | kStreamQuiet);
  uint16_t n = StreamOpen(path, kStreamReadOnly | kStreamUpdate | kStreamQuiet);
  if (n >= kStreamFirstFile && n < kStreamCount) return n;
  uint16_t made = StreamOpen(path, kStreamUpdate | kStreamQuiet);
  if (made < kStreamFirstFile || made >= kStreamCount) return made;
  StreamClose(made);
  return StreamOpen(path, kStreamReadOnly | kStreamUpdate | kStreamQuiet);
}

bool IsStream(uint16_t n) {
  return n >= kStreamFirstFile && n < kStreamCount;
}

// Finishes a rewrite left half done by an earlier run.
Status RecoverJournal(uint16_t f, FileSlot* slot, bool read_only) {
  StrDesc journal = SlotText(slot->journal_path, slot->journal_len);
  if (!FsExists(StrView(journal))) return 0;
  if (!read_only) return JournalRecover(slot->ctrl.data_stream, journal, Length(f));
  uint16_t rw = StreamOpen(SlotText(slot->data_path, slot->data_len), kStreamUpdate | kStreamQuiet);
  if (!IsStream(rw)) {
    ErrSet(1, kModDataFile, kStWrite, 0);
    return kStWrite;
  }
  Status st = JournalRecover(rw, journal, Length(f));
  StreamClose(rw);
  return st;
}

// Undoes a failed open: streams closed, lock released, entry reset.
void FailOpen(FileSlot* slot, uint16_t f) {
  IndexForget(f);
  if (IsStream(slot->ctrl.data_stream)) StreamClose(slot->ctrl.data_stream);
  if (slot->lock_len) LockReleaseName(SlotText(slot->lock_name, slot->lock_len));
  ResetSlot(slot);
}

struct SavedState {
  DataFileCtrl ctrl;
  uint32_t position = 0;
  uint32_t loaded = kNoRecord;
  char* buffers = nullptr;  // TempStack copy of both records
};

SavedState SaveState(uint16_t f) {
  SavedState saved;
  saved.ctrl = g_slots[f].ctrl;
  saved.position = IndexPosition(f);
  saved.loaded = g_slots[f].loaded;
  uint16_t length = Length(f);
  saved.buffers = TempAllocPtr(static_cast<uint16_t>(2 * length), 255);
  char* buffers = saved.buffers ? Buffers(f) : nullptr;
  if (buffers) std::memcpy(saved.buffers, buffers, 2u * length);
  return saved;
}

void RestoreState(uint16_t f, const SavedState& saved) {
  if (!g_slots[f].open) return;
  uint16_t stream = g_slots[f].ctrl.data_stream;
  g_slots[f].ctrl = saved.ctrl;
  g_slots[f].ctrl.data_stream = stream;
  IndexSetPosition(f, saved.position);
  g_slots[f].loaded = saved.loaded;
  char* buffers = saved.buffers ? Buffers(f) : nullptr;
  if (buffers) std::memcpy(buffers, saved.buffers, 2u * Length(f));
}

}  // namespace

const DataFileCtrl* FileCtrl(uint16_t f) {
  if (f == 0 || f > kDictMaxFiles) return nullptr;
  return &g_slots[f].ctrl;
}

bool FileIsOpen(uint16_t f) {
  return OpenSlot(f) != nullptr;
}

StrDesc DataFilePath(uint16_t f) {
  if (!Declared(f)) return StrError(kStDataOutBound);
  return BuildPath(f, kKindData);
}

StrDesc IndexFilePath(uint16_t f) {
  if (!Declared(f)) return StrError(kStDataOutBound);
  return BuildPath(f, TestBits(kSysCompat, 0x02) ? kKindNdx : kKindIndex);
}

StrDesc DataFileTempPath(uint16_t f) {
  if (!Declared(f)) return StrError(kStDataOutBound);
  return BuildPath(f, kKindTemp);
}

Status FileFinishJournal(uint16_t f) {
  if (!Declared(f) || Length(f) == 0) return DictRangeError(f, 0);
  if (g_slots[f].open) return kStFileOpen;
  TempMarkValue mark = TempMark();
  StrDesc data = DataFilePath(f);
  StrDesc journal = PathJoinExt(PathPart(data, kPathDrive | kPathDir | kPathName), Lit("JNL"));
  Status st = StrCheck(data) ? StrCheck(data) : StrCheck(journal);
  if (st == 0 && FsExists(StrView(journal))) {
    uint16_t n = StreamOpen(data, kStreamUpdate | kStreamQuiet);
    if (IsStream(n)) {
      st = JournalRecover(n, journal, Length(f));
      StreamClose(n);
    } else {
      st = kStWrite;
    }
  }
  TempRelease(mark);
  return st;
}

Status FileRecordCount(uint16_t f, uint32_t* count) {
  if (!Declared(f) || Length(f) == 0) return DictRangeError(f, 0);
  *count = 0;
  FileSlot* slot = &g_slots[f];
  if (slot->open && IndexIsOpen(f)) {
    *count = IndexLiveCount(f);
    return 0;
  }
  uint64_t size = 0;
  if (slot->open) {
    size = StreamSize(slot->ctrl.data_stream);
  } else {
    TempMarkValue mark = TempMark();
    StrDesc data = DataFilePath(f);
    FsEntry entry;
    if (!StrIsError(data) && FsStat(StrView(data), &entry) == FsResult::kOk) size = entry.size;
    TempRelease(mark);
  }
  *count = static_cast<uint32_t>((size + Length(f) / 2) / Length(f));
  return 0;
}

Status BufferSet(uint16_t f, int which, StrDesc record) {
  if (!Declared(f) || Length(f) == 0) return DictRangeError(f, 0);
  if (StrIsError(record)) return StrCheck(record);
  TempMarkValue mark = TempMark();
  uint16_t length = Length(f);
  char* copy = TempAllocPtr(length, ' ');
  if (copy) std::memcpy(copy, record.ptr, record.len < length ? record.len : length);
  char* buffers = copy ? Buffers(f) : nullptr;
  if (buffers) std::memcpy(buffers + (which == 2 ? length : 0), copy, length);
  TempRelease(mark);
  if (buffers == nullptr) return kStStrOutBound;
  if (which != 2) g_slots[f].loaded = kNoRecord;
  return 0;
}

Status FileOpen(uint16_t f, uint8_t flags) {
  if (!Declared(f) || Length(f) == 0) return DictRangeError(f, 0);
  FileSlot* slot = &g_slots[f];
  if (slot->open && slot->ctrl.open_flags == flags) return 0;
  const bool temporary = TestBits(kSysUpStat, 0x02);
  const bool exclusive = (flags & kOpenExclusive) && !temporary;
  TempMarkValue mark = TempMark();
  // A lock held by this very open is given back and taken again below.
  if (exclusive && slot->lock_len == 0 && LockExists(f)) {
    ErrSet(1, kModDataFile, kStPermission, 0);
    ErrDetail(kStPermission, LockFileName(f), false);
    TempRelease(mark);
    return kStPermission;
  }
  if (flags & kOpenMakeCurrent) SetIntegerVar(kSysCurFil, static_cast<int16_t>(f));
  Status st = BufferClear(f, 1);
  if (slot->open) FileClose(f);
  ResetSlot(slot);
  if (st == 0 && exclusive) {
    st = LockTake(f);
    if (st == 0) KeepText(slot->lock_name, &slot->lock_len, LockFileName(f));
  }
  StrDesc data_path, index_path;
  if (st == 0) {
    if (temporary) {
      data_path = TempFilePath(KindExtension(kKindData));
      index_path = TempFilePath(KindExtension(TestBits(kSysCompat, 0x02) ? kKindNdx : kKindIndex));
      st = StrCheck(data_path) ? StrCheck(data_path) : StrCheck(index_path);
      if (st == 0) st = DynPush(kTempNamesGroup, data_path);
      if (st == 0 && !(flags & kOpenNoIndex)) st = DynPush(kTempNamesGroup, index_path);
    } else {
      data_path = DataFilePath(f);
      index_path = IndexFilePath(f);
      st = StrCheck(data_path) ? StrCheck(data_path) : StrCheck(index_path);
    }
  }
  if (st == 0 && (data_path.len == 0 || data_path.len > kStreamNameMax)) st = kStData;
  if (st == 0) {
    KeepText(slot->data_path, &slot->data_len, data_path);
    StrDesc journal =
        PathJoinExt(PathPart(data_path, kPathDrive | kPathDir | kPathName), Lit("JNL"));
    st = StrCheck(journal);
    if (st == 0) KeepText(slot->journal_path, &slot->journal_len, journal);
  }
  const bool read_only = flags & kOpenReadOnly;
  if (st == 0) {
    uint16_t n = OpenData(data_path, read_only);
    if (!IsStream(n)) {
      st = n == kStreamFail || n < kStreamFirstFile ? Status{kStFileNotFound} : n;
      ErrSet(1, kModDataFile, st, 0);
      ErrDetail(st, data_path, false);
    } else {
      slot->ctrl.data_stream = n;
    }
  }
  if (st == 0) st = RecoverJournal(f, slot, read_only);
  if (st == 0 && !(flags & kOpenNoIndex)) st = IndexOpen(f, index_path);
  if (st != 0) {
    FailOpen(slot, f);
    TempRelease(mark);
    return st;
  }
  slot->ctrl.open_flags = flags;
  slot->open = true;
  TempRelease(mark);
  if (flags & kOpenNoIndex) return 0;
  return FileMove(f, kMoveFirst);
}

Status FileClose(uint16_t f) {
  if (!Declared(f)) return DictRangeError(f, 0);
  FileSlot* slot = &g_slots[f];
  if (!slot->open) return 0;
  Status st = IndexClose(f);
  StreamClose(slot->ctrl.data_stream);
  if (slot->lock_len) LockReleaseName(SlotText(slot->lock_name, slot->lock_len));
  ResetSlot(slot);
  return st;
}

Status FileReopen(uint16_t f, Status status) {
  FileSlot* slot = OpenSlot(f);
  Status st = 0;
  if (slot == nullptr) {
    st = NotOpen(f);
  } else {
    StreamClose(slot->ctrl.data_stream);
    slot->ctrl.data_stream = kNoStream;
    TempMarkValue mark = TempMark();
    uint16_t n = OpenData(StrCopy(SlotText(slot->data_path, slot->data_len)),
                          slot->ctrl.open_flags & kOpenReadOnly);
    TempRelease(mark);
    if (!IsStream(n)) {
      FileClose(f);
      ErrSet(1, kModDataFile, kStFileIo, 0);
      st = kStFileIo;
    } else {
      slot->ctrl.data_stream = n;
      if (!(slot->ctrl.open_flags & kOpenNoIndex)) {
        st = IndexSave(f);
        if (st == 0) st = IndexLoad(f);
        slot->loaded = kNoRecord;
      }
    }
  }
  return status != 0 ? status : st;
}

Status DataFilesCloseAll() {
  Status first = 0;
  for (uint16_t f = 1; f <= kDictMaxFiles; ++f) {
    if (!g_slots[f].open) continue;
    Status st = Declared(f) ? FileClose(f) : 0;
    if (st != 0 && first == 0) first = st;
  }
  return first;
}

uint16_t FileReadKey(uint16_t f, uint16_t key, StrDesc value, uint16_t flags) {
  Status st = NeedIndex(f);
  if (st != 0) return st;
  FileSlot* slot = &g_slots[f];
  uint16_t k = key ? key : slot->ctrl.current_key;
  if (DictKey(f, k) == nullptr) return DictRangeError(f, k);
  TempMarkValue mark = TempMark();
  value = StrCopy(value);  // the value may lie in DynStrings, which moves
  slot->ctrl.current_key = k;
  IndexResult res = IndexSearch(f, k, value, kSearchFirst);
  st = res.status;
  if (st == 0) {
    if (res.outcome == kOutFound || (res.outcome == kOutNotFound && (flags & kReadNear))) {
      st = ReadInto(f, res.record, 3);
      slot->loaded = st == 0 ? res.record : kNoRecord;
    } else if (flags & kReadClearAssign) {
      st = BufferClear(f, 1);
      if (st == 0) st = KeyAssign(f, k, value);
    }
  }
  TempRelease(mark);
  if (st != 0) return st;
  slot->ctrl.last_outcome = res.outcome;
  return res.outcome;
}

uint16_t FileReadKeyInto(uint16_t f, uint16_t key, StrDesc value, int buffer) {
  Status st = NeedIndex(f);
  if (st != 0) return st;
  FileSlot* slot = &g_slots[f];
  uint16_t k = key ? key : slot->ctrl.current_key;
  if (DictKey(f, k) == nullptr) return DictRangeError(f, k);
  uint32_t position = IndexPosition(f);
  IndexResult res = IndexSearch(f, k, value, kSearchFirst);
  IndexSetPosition(f, position);
  if (res.status != 0) return res.status;
  if (res.outcome == kOutFound) {
    int which = buffer == 2 ? 2 : (buffer == 3 ? 3 : 1);
    st = ReadInto(f, res.record, which);
    if (st != 0) return st;
    if (which & 1) slot->loaded = res.record;
  }
  slot->ctrl.last_outcome = res.outcome;
  return res.outcome;
}

uint16_t FileMove(uint16_t f, uint16_t request) {
  Status st = NeedIndex(f);
  if (st != 0) return st;
  FileSlot* slot = &g_slots[f];
  uint16_t code = request & 0xFF;
  uint16_t outcome;
  if (code & kMoveClear) {
    st = BufferClear(f, 1);
    outcome = kOutCleared;
  } else {
    IndexResult res = IndexMove(f, code & 0x34);
    if (res.status != 0) return res.status;
    outcome = res.outcome;
    if (outcome == kOutFound || (outcome == kOutNotFound && (code & kMoveReadNear))) {
      st = ReadInto(f, res.record, 3);
      slot->loaded = st == 0 ? res.record : kNoRecord;
    } else {
      st = BufferClear(f, 1);
    }
  }
  if (st != 0) return st;
  slot->ctrl.last_outcome = outcome;
  return outcome;
}

uint16_t KeyRangeCheck(uint16_t f, uint16_t flags, StrDesc prefix) {
  FileSlot* slot = OpenSlot(f);
  if (slot == nullptr) return NotOpen(f);
  if (slot->ctrl.last_outcome > 1) return slot->ctrl.last_outcome;
  if (StrIsError(prefix)) return StrCheck(prefix);
  if (prefix.len == 0) return 0;
  TempMarkValue mark = TempMark();
  prefix = StrCopy(prefix);
  StrDesc current = KeyValue(f, slot->ctrl.current_key, 1);
  uint16_t result = 0;
  if (!StrIsError(current) && !StrIsError(prefix)) {
    uint16_t m = prefix.len < current.len ? prefix.len : current.len;
    int c = m == 0 ? 0 : std::memcmp(prefix.ptr, current.ptr, m);
    if ((flags & 0x04) ? c > 0 : c < 0) result = kOutEnd;
  }
  TempRelease(mark);
  return result;
}

uint16_t FileMoveWithin(uint16_t f, uint16_t request, StrDesc prefix) {
  TempMarkValue mark = TempMark();
  prefix = StrCopy(prefix);
  uint16_t outcome = FileMove(f, request);
  if (outcome < 128) outcome = KeyRangeCheck(f, request, prefix);
  TempRelease(mark);
  return outcome;
}

uint16_t FileAdd(uint16_t f) {
  Status st = NeedWritable(f, false);
  if (st != 0) return st;
  FileSlot* slot = &g_slots[f];
  uint16_t length = Length(f);
  TempMarkValue mark = TempMark();
  char* record = CopyOfBuffer(f, 1);
  if (record == nullptr) st = kStOutOfMemory;
  if (st == 0 && record[0] == kDeletedMark) st = ErrDetail(kStData, DictFileName(f), false);
  uint32_t r = 0;
  bool duplicate = false;
  if (st == 0 && (slot->ctrl.open_flags & kOpenNoIndex)) {
    // Without an index the record goes after the last whole one.
    r = StreamSize(slot->ctrl.data_stream) / length;
    st = RecordWriteNew(slot->ctrl.data_stream, r, length, record);
    if (st == 0) slot->loaded = r;
    TempRelease(mark);
    return st;
  }
  if (st == 0) st = IndexEnsureRoom(f);
  if (st == 0) st = IndexAllocate(f, &r);
  if (st == 0) st = IndexMarkChanging(f);
  bool writing = st == 0;
  if (st == 0) st = RecordWriteNew(slot->ctrl.data_stream, r, length, record);
  if (st == 0) {
    st = IndexInsertRecord(f, r, record, &duplicate);
    if (st != 0) {
      // Not entered: the record is marked deleted again.
      static const char mark_byte = kDeletedMark;
      StorageWrite(slot->ctrl.data_stream, static_cast<uint32_t>(uint64_t{r} * length), &mark_byte,
                   1);
    }
  }
  if (st != 0 && writing && StreamSize(slot->ctrl.data_stream) >= (uint64_t{r} + 1) * length) {
    // A whole new slot, marked deleted, was left at the end of the file: it
    // goes on the free list so that the index still counts every record.
    IndexAddFree(f, r);
  }
  TempRelease(mark);
  if (st != 0) return st;
  slot->loaded = r;
  slot->ctrl.last_outcome = kOutFound;
  return (!DictFile(f)->line_file && duplicate) ? kOutDuplicate : 0;
}

Status FileRewrite(uint16_t f) {
  Status st = NeedWritable(f, true);
  if (st != 0) return st;
  if (!BufferChanged(f)) return 0;
  FileSlot* slot = &g_slots[f];
  uint32_t r = CurrentRecord(f);
  if (r == kNoRecord) return NoCurrentRecord(f);
  uint16_t length = Length(f);
  TempMarkValue mark = TempMark();
  char* record = CopyOfBuffer(f, 1);
  char* disk = TempAllocPtr(length, 255);
  if (record == nullptr || disk == nullptr) st = kStOutOfMemory;
  if (st == 0 && record[0] == kDeletedMark) st = ErrDetail(kStData, DictFileName(f), false);
  if (st == 0 && FsExists(StrView(SlotText(slot->journal_path, slot->journal_len)))) {
    // An earlier rewrite of this session could not put its old image back:
    // that record is mended before its journal is replaced, and the index,
    // which may have read the torn record, is built again.
    st = RecoverJournal(f, slot, false);
    if (st == 0) st = IndexRebuild(f);
    uint32_t p = st == 0 ? IndexLocate(f, slot->ctrl.current_key, r) : kNoRecord;
    if (p != kNoRecord) IndexSetPosition(f, p);
  }
  if (st == 0) {
    st = StorageRead(slot->ctrl.data_stream, static_cast<uint32_t>(uint64_t{r} * length), disk,
                     length);
    if (st == 0 && disk[0] == kDeletedMark) st = NoCurrentRecord(f);
  }
  if (st == 0) st = IndexMarkChanging(f);
  if (st == 0) {
    st = RecordWriteJournaled(slot->ctrl.data_stream,
                              SlotText(slot->journal_path, slot->journal_len), r, length, disk,
                              record);
  }
  if (st == 0 && IndexUpdateKeys(f, r, disk, record) != 0) st = IndexRebuild(f);
  TempRelease(mark);
  return st;
}

uint16_t FileDelete(uint16_t f, uint16_t flags) {
  Status st = NeedWritable(f, true);
  if (st != 0) return st;
  FileSlot* slot = &g_slots[f];
  uint32_t r = CurrentRecord(f);
  if (r == kNoRecord) return NoCurrentRecord(f);
  uint16_t length = Length(f);
  TempMarkValue mark = TempMark();
  StrDesc saved = KeyValue(f, slot->ctrl.current_key, 2);
  char* disk = TempAllocPtr(length, 255);
  st = StrIsError(saved) ? StrCheck(saved) : (disk ? 0 : kStOutOfMemory);
  if (st == 0) {
    st = StorageRead(slot->ctrl.data_stream, static_cast<uint32_t>(uint64_t{r} * length), disk,
                     length);
    if (st == 0 && disk[0] == kDeletedMark) st = NoCurrentRecord(f);
  }
  if (st == 0) st = IndexEnsureRoom(f);
  if (st == 0) st = IndexMarkChanging(f);
  if (st == 0) {
    static const char mark_byte = kDeletedMark;
    st = StorageWrite(slot->ctrl.data_stream, static_cast<uint32_t>(uint64_t{r} * length),
                      &mark_byte, 1);
  }
  if (st == 0 && IndexRemoveRecord(f, r, disk) != 0) st = IndexRebuild(f);
  if (st == 0) {
    if (char* buffers = Buffers(f)) buffers[0] = kDeletedMark;
    slot->loaded = kNoRecord;
    if (flags & kReadNear) st = FileReadKey(f, slot->ctrl.current_key, saved, flags);
  }
  TempRelease(mark);
  return st;
}

Status FileUpdateAll(uint16_t f, uint16_t key, StrDesc value, uint16_t flags, void* context,
                     UpdateCallback callback) {
  Status st = NeedWritable(f, true);
  if (st != 0) return st;
  uint16_t k = key ? key : g_slots[f].ctrl.current_key;
  if (DictKey(f, k) == nullptr) return DictRangeError(f, k);
  TempMarkValue mark = TempMark();
  value = StrCopy(value);
  SavedState saved = SaveState(f);
  uint16_t outcome = FileReadKey(f, k, value, kReadNear);
  st = outcome >= 128 ? outcome : 0;
  if (st == 0 && outcome != kOutFound && (flags & 0x04)) {
    st = BufferClear(f, 1);
    if (st == 0) st = KeyAssign(f, k, value);
    if (st == 0) {
      uint16_t added = FileAdd(f);
      st = added >= 128 ? added : 0;
      if (st == 0) SetIntegerVar(kSysRelRes, 4);
    }
  }
  // One pass per record at most: a callback that changes the key could
  // otherwise bring the same records round again.
  uint64_t passes = uint64_t{IndexLiveCount(f)} + 1;
  while (st == 0 && passes-- > 0 && KeyRangeCheck(f, 0, value) == 0) {
    if (callback) st = callback(context);
    if (st == 0) st = FileRewrite(f);
    if (st == 0) {
      uint16_t moved = FileMove(f, kMoveNext);
      if (moved >= 128) st = moved;
    }
  }
  RestoreState(f, saved);
  TempRelease(mark);
  return st;
}

void SetRecordLoop(RecordLoopFn loop) {
  g_record_loop = loop;
}

Status FileCount(uint16_t f, uint16_t key, StrDesc value, StrDesc condition, uint32_t* count) {
  FileSlot* slot = OpenSlot(f);
  if (slot == nullptr) return NotOpen(f);
  if (count) *count = 0;
  if (slot->ctrl.open_flags & kOpenNoIndex) {
    uint32_t size = StreamSize(slot->ctrl.data_stream);
    uint16_t length = Length(f);
    if (count) *count = static_cast<uint32_t>((uint64_t{size} + length / 2) / length);
    return 0;
  }
  if (g_record_loop == nullptr) return ErrDetail(kStFileNotInit, Lit("RecordLoop"), false);
  TempMarkValue mark = TempMark();
  value = StrCopy(value);
  condition = StrCopy(condition);
  SavedState saved = SaveState(f);
  uint16_t outcome = FileReadKey(f, key, value, kReadNear);
  Status st = outcome >= 128 ? outcome : 0;
  uint32_t n = 0;
  uint16_t request = kMoveNext;  // the first pass tests the record it starts on
  while (st == 0) {
    uint16_t r = g_record_loop(f, request, condition, value);
    if (r != 0) {
      if (r >= 122) st = r;
      break;
    }
    ++n;
    request = kMoveNext | 0x80;
  }
  RestoreState(f, saved);
  TempRelease(mark);
  if (st == 0 && count) *count = n;
  return st;
}

StrDesc KeyValue(uint16_t f, uint16_t key, int buffer) {
  if (!Declared(f)) return StrError(DictRangeError(f, 0));
  uint16_t k = key ? key : g_slots[f].ctrl.current_key;
  const DictKeyEntry* entry = DictKey(f, k);
  if (entry == nullptr) return StrCopy(Lit(""));
  TempMarkValue mark = TempMark();
  char* out = TempAllocPtr(entry->length, 255);
  char* buffers = out ? Buffers(f) : nullptr;
  if (buffers == nullptr) {
    TempRelease(mark);
    return StrError(kStOutOfMemory);
  }
  DictKeyBuild(f, k, buffers + (buffer == 2 ? Length(f) : 0), out);
  return StrMake(out, entry->length);
}

Status KeyAssign(uint16_t f, uint16_t key, StrDesc value) {
  if (!Declared(f)) return DictRangeError(f, 0);
  uint16_t k = key ? key : g_slots[f].ctrl.current_key;
  const DictKeyEntry* entry = DictKey(f, k);
  if (entry == nullptr) return DictRangeError(f, k);
  if (StrIsError(value)) return StrCheck(value);
  TempMarkValue mark = TempMark();
  value = StrCopy(value);
  const DictFileEntry* file = DictFile(f);
  Status st = StrCheck(value);
  uint16_t cursor = 0;
  for (uint16_t s = 0; st == 0 && s < entry->segment_count; ++s) {
    uint16_t offset = static_cast<uint16_t>(entry->segments[s] & 0xFFFF);
    uint16_t field = 0;
    for (uint16_t j = 1; j <= file->field_count && field == 0; ++j) {
      const DictFieldEntry* e = DictField(f, j);
      if (uint32_t{e->offset} + e->length > offset) field = j;
    }
    if (field == 0) {
      st = kStInternal;
      break;
    }
    uint16_t length = DictField(f, field)->length;
    st = FieldPut(f, field, StrSub(value, cursor, length));
    cursor = static_cast<uint16_t>(cursor + length);
  }
  TempRelease(mark);
  return st;
}

Status BufferClear(uint16_t f, int which) {
  if (!Declared(f) || Length(f) == 0) return DictRangeError(f, 0);
  char* buffers = Buffers(f);
  if (buffers == nullptr) return kStStrOutBound;
  std::memset(buffers, ' ', 2u * Length(f));
  if (which == 2) buffers[0] = kDeletedMark;
  g_slots[f].loaded = kNoRecord;
  return 0;
}

Status BufferCopy(uint16_t f, int direction) {
  if (!Declared(f)) return DictRangeError(f, 0);
  char* buffers = Buffers(f);
  if (buffers == nullptr) return kStStrOutBound;
  uint16_t length = Length(f);
  if (direction == 1) std::memcpy(buffers + length, buffers, length);
  if (direction == 2) std::memcpy(buffers, buffers + length, length);
  return 0;
}

int BufferChanged(uint16_t f) {
  if (!Declared(f)) return 0;
  char* buffers = Buffers(f);
  if (buffers == nullptr) return 0;
  return std::memcmp(buffers, buffers + Length(f), Length(f)) != 0 ? 1 : 0;
}

StrDesc RecordBuffer(uint16_t f, int which) {
  if (!Declared(f)) return StrError(DictRangeError(f, 0));
  char* buffers = Buffers(f);
  if (buffers == nullptr) return StrError(kStStrOutBound);
  return StrMake(buffers + (which == 2 ? Length(f) : 0), Length(f));
}

StrDesc FieldRaw(uint16_t f, uint16_t field, int buffer) {
  const DictFieldEntry* entry = Declared(f) ? DictField(f, field) : nullptr;
  if (entry == nullptr) return StrError(DictRangeError(f, field));
  char* out = TempAllocPtr(entry->length, 255);
  char* buffers = out ? Buffers(f) : nullptr;
  if (buffers == nullptr) return StrError(kStOutOfMemory);
  std::memcpy(out, buffers + (buffer == 2 ? Length(f) : 0) + entry->offset, entry->length);
  return StrMake(out, entry->length);
}

Status FieldPut(uint16_t f, uint16_t field, StrDesc text) {
  const DictFieldEntry* entry = Declared(f) ? DictField(f, field) : nullptr;
  Status st = entry ? StrCheck(text) : DictRangeError(f, field);
  TempMarkValue mark = TempMark();
  StrDesc stored = st == 0 ? FieldFormat(entry->type, entry->length, text) : StrError(st);
  st = StrCheck(stored);
  char* buffers = st == 0 ? Buffers(f) : nullptr;
  if (st == 0 && buffers == nullptr) st = kStStrOutBound;
  if (st == 0) std::memcpy(buffers + entry->offset, stored.ptr, entry->length);
  TempRelease(mark);
  if (st != 0) ErrSet(1, kModBufferFld, kStBadFileNumber, 0);
  return st;
}

Status FieldPutRaw(uint16_t f, uint16_t field, StrDesc bytes) {
  const DictFieldEntry* entry = Declared(f) ? DictField(f, field) : nullptr;
  if (entry == nullptr) return DictRangeError(f, field);
  if (StrIsError(bytes)) return StrCheck(bytes);
  TempMarkValue mark = TempMark();
  char* copy = TempAllocPtr(entry->length, ' ');
  if (copy) std::memcpy(copy, bytes.ptr, bytes.len < entry->length ? bytes.len : entry->length);
  char* buffers = copy ? Buffers(f) : nullptr;
  if (buffers) std::memcpy(buffers + entry->offset, copy, entry->length);
  TempRelease(mark);
  return buffers ? Status{0} : Status{kStStrOutBound};
}

uint16_t CurrentKey(uint16_t f) {
  const DataFileCtrl* ctrl = FileCtrl(f);
  return ctrl ? ctrl->current_key : 0;
}

Status SetCurrentKey(uint16_t f, int key) {
  if (!Declared(f)) return DictRangeError(f, 0);
  FileSlot* slot = &g_slots[f];
  if (key == -1) {
    if (slot->ctrl.current_key == 0) slot->ctrl.current_key = 1;
    return 0;
  }
  if (key < 1 || DictKey(f, static_cast<uint16_t>(key)) == nullptr)
    return DictRangeError(f, static_cast<uint16_t>(key));
  uint32_t r = IndexRecordAt(f);
  slot->ctrl.current_key = static_cast<uint16_t>(key);
  if (r != kNoRecord) {
    uint32_t p = IndexLocate(f, static_cast<uint16_t>(key), r);
    if (p != kNoRecord) IndexSetPosition(f, p);
  }
  return 0;
}

void DataFilesDropBuffers() {
  DynTruncate(kBufferGroup, 0);
}

void DataFilesAbandon() {
  for (uint16_t f = 1; f <= kDictMaxFiles; ++f) {
    FileSlot* slot = &g_slots[f];
    IndexForget(f);
    if (slot->open && IsStream(slot->ctrl.data_stream)) StreamClose(slot->ctrl.data_stream);
    ResetSlot(slot);
  }
}

void DataFilesReset() {
  for (uint16_t f = 1; f <= kDictMaxFiles; ++f) {
    FileSlot* slot = &g_slots[f];
    if (slot->lock_len) LockReleaseName(SlotText(slot->lock_name, slot->lock_len));
  }
  DataFilesAbandon();
  StorageFailWrites(-1, 0);
}
