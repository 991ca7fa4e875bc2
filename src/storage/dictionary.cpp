#include "storage/dictionary.h"

#include <algorithm>
#include <cstring>

#include "core/dyn_strings.h"
#include "core/rec_table.h"
#include "core/status.h"
#include "core/str_lib.h"
#include "core/temp_stack.h"
#include "core/token_list.h"
#include "language/variables.h"
#include "storage/data_file.h"
#include "storage/folders.h"
#include "storage/streams.h"

const char kDictFileNames[] = "DICC.DAT,REL.DAT,RELUP.DAT,RELUPSQL.DAT,MENU.PPN";

namespace {

constexpr uint16_t kGroupFileNames = 1;
constexpr uint16_t kGroupFolders = 2;
constexpr uint16_t kGroupFieldNames = 3;
constexpr uint16_t kGroupRelations = 4;
constexpr int kMaxIncludeDepth = 8;
constexpr uint16_t kLineMax = 512;

enum LineKind { kLineNone = 0, kLineFile, kLineField, kLineKey, kLineRelation };

struct LoadState {
  StrDesc folders;
  int depth = 0;
  int base = 0;  // key and relation lines name file base + (N - 30) / (N - 60)
  LineKind last_kind = kLineNone;
};

DictFileEntry* FileEntry(uint16_t f) {
  return f == 0 ? nullptr : static_cast<DictFileEntry*>(RecGet(kRecDictFiles, f - 1));
}

// A number of fixed digits (blanks before the digits allowed); -1 when the
// text holds anything else or no digit.
int ReadDigits(StrDesc s) {
  int value = 0;
  bool any = false;
  for (uint16_t i = 0; i < s.len; ++i) {
    char c = s.ptr[i];
    if (c == ' ' && !any) continue;
    if (c < '0' || c > '9') return -1;
    value = value * 10 + (c - '0');
    any = true;
  }
  return any ? value : -1;
}

bool KeepsCase() {
  return TestBits(kSysAuxStat, 0x08);
}

Status AddKey(uint16_t f, const uint32_t* segments, uint16_t count) {
  DictFileEntry* file = FileEntry(f);
  if (file == nullptr) return kStFileOutBound;
  if (file->key_count >= kDictMaxKeys) return DictRangeError(f, 0);
  DictKeyEntry key;
  key.file = f;
  key.number = static_cast<uint16_t>(file->key_count + 1);
  key.segment_count = count;
  uint32_t length = 0;
  for (uint16_t i = 0; i < count; ++i) {
    key.segments[i] = segments[i];
    length += segments[i] >> 16;
  }
  key.length = static_cast<uint16_t>(length > 0xFFFF ? 0xFFFF : length);
  uint16_t at = RecInfo(kRecDictKeys, 0);
  if (!RecPut(kRecDictKeys, at, &key, sizeof key)) return kStStructMem;
  FileEntry(f)->key_count += 1;
  return 0;
}

// The default key of a file: from byte 0 to the end of field "N_LINE", or of
// field 1. A file without fields gets none.
Status AddDefaultKey(uint16_t f) {
  const DictFileEntry* file = FileEntry(f);
  if (file == nullptr || file->key_count > 0 || file->field_count == 0) return 0;
  uint16_t which = DictFieldFind(f, Lit("N_LINE"));
  if (which == 0) which = 1;
  const DictFieldEntry* field = DictField(f, which);
  uint32_t end = uint32_t{field->offset} + field->length;
  uint32_t segment = end << 16;
  return AddKey(f, &segment, 1);
}

Status DefaultKeysBefore(uint16_t f) {
  for (uint16_t e = 1; e < f; ++e) {
    Status st = AddDefaultKey(e);
    if (st != 0) return st;
  }
  return 0;
}

Status LoadOne(LoadState* state, StrDesc name, bool required);

Status FileLine(LoadState* state, StrDesc line, StrDesc default_folder) {
  StrDesc folder = StrTrim(ListItem(line, '*', 2), 3);
  StrDesc item = ListItem(line, '*', 3);
  int type_code = ReadDigits(StrSub(item, 0, 2));
  StrDesc name = StrTrim(StrSub(item, 2, 0xFFFF), 3);
  if (StrFindChar(folder, '$', 1) != kNotFound) {
    LoadState inner;
    inner.folders = state->folders;
    inner.depth = state->depth + 1;
    inner.base = DictFileCount();
    Status st = LoadOne(&inner, name, true);
    if (st != 0) return st;
    state->base = static_cast<int>(DictFileCount()) - 1;
    state->last_kind = kLineFile;
    return 0;
  }
  uint16_t count = DictFileCount();
  if (count >= kDictMaxFiles) return ErrDetail(kStFileOutBound, line, false);
  if (name.len == 0) return ErrDetail(kStData, line, false);
  if (!KeepsCase()) name = StrCase(name, 0);
  if (folder.len == 0) folder = default_folder;
  DictFileEntry entry;
  entry.number = static_cast<uint8_t>(count + 1);
  entry.type_code = static_cast<uint8_t>(type_code < 0 ? 0 : type_code);
  entry.first_field = RecInfo(kRecDictFields, 0);
  Status st = DynSet(kGroupFileNames, count, name);
  if (st == 0) st = DynSet(kGroupFolders, count, folder);
  if (st != 0) return st;
  if (!RecPut(kRecDictFiles, count, &entry, sizeof entry)) return kStStructMem;
  state->last_kind = kLineFile;
  return 0;
}

Status FieldLine(LoadState* state, StrDesc line) {
  uint16_t count = DictFileCount();
  // The last file may not take fields: a field line then is refused like a
  // file beyond the table.
  if (count == 0 || count >= kDictMaxFiles) return ErrDetail(kStFileOutBound, line, false);
  int length = ReadDigits(StrSub(line, 9, 3));
  if (length < 0) length = 0;
  char type = line.len > 13 ? line.ptr[13] : ' ';
  StrDesc name = StrTrim(StrSub(line, 14, 0xFFFF), 3);
  DictFileEntry* file = FileEntry(count);
  uint32_t end = uint32_t{file->record_length} + static_cast<uint32_t>(length);
  if (end > 0xFFFF) return DictRangeError(count, static_cast<uint16_t>(file->field_count + 1));
  DictFieldEntry field;
  field.file = count;
  field.index = static_cast<uint16_t>(file->field_count + 1);
  field.offset = file->record_length;
  field.length = static_cast<uint16_t>(length);
  field.type = type;
  uint16_t at = RecInfo(kRecDictFields, 0);
  Status st = DynSet(kGroupFieldNames, at, name);
  if (st != 0) return st;
  if (!RecPut(kRecDictFields, at, &field, sizeof field)) return kStStructMem;
  file = FileEntry(count);
  file->field_count += 1;
  file->record_length = static_cast<uint16_t>(end);
  if (StrEq(name, "N_LINE")) file->line_file = 1;
  state->last_kind = kLineField;
  return 0;
}

Status KeyLine(LoadState* state, StrDesc line, int n) {
  int f = state->base + (n - 30);
  if (f < 1 || f > DictFileCount()) return ErrDetail(kStFileOutBound, line, false);
  uint32_t segments[kKeyMaxSegments];
  uint16_t count = 0;
  uint16_t lt = StrFindChar(line, '<', 1);
  if (lt != kNotFound) {
    for (uint32_t pos = lt + 1u; pos + 7 <= line.len && count < kKeyMaxSegments; pos += 7) {
      int offset = ReadDigits(StrSub(line, static_cast<int32_t>(pos), 4));
      int length = ReadDigits(StrSub(line, static_cast<int32_t>(pos + 4), 3));
      if (offset < 0 || length < 0) break;
      // 1-based offsets in the file; 0 stays out of range for the check.
      uint32_t off0 = offset == 0 ? 0xFFFF : static_cast<uint32_t>(offset - 1);
      segments[count++] = off0 | (static_cast<uint32_t>(length) << 16);
    }
  }
  Status st = DefaultKeysBefore(static_cast<uint16_t>(f));
  if (st == 0) st = AddKey(static_cast<uint16_t>(f), segments, count);
  state->last_kind = kLineKey;
  return st;
}

Status RelationLine(LoadState* state, StrDesc line, int n) {
  int f = state->base + (n - 60);
  if (f < 1 || f > DictFileCount()) return ErrDetail(kStFileOutBound, line, false);
  state->last_kind = kLineRelation;
  uint16_t colon = StrFindChar(line, ':', 1);
  if (colon == kNotFound) return 0;
  StrDesc text = StrSub(line, colon + 1, 0xFFFF);
  StrDesc joined = StrJoin(DynGet(kGroupRelations, static_cast<uint16_t>(f - 1)), Lit(":"), text);
  if (StrIsError(joined)) return StrCheck(joined);
  return DynSet(kGroupRelations, static_cast<uint16_t>(f - 1), joined);
}

Status ProcessLine(LoadState* state, StrDesc line, StrDesc default_folder) {
  if (line.len < 2) return 0;
  int n = ReadDigits(StrSub(line, 0, 2));
  if (n >= 1 && n <= 30) {
    if (StrFindChar(line, '*', 1) != kNotFound) return FileLine(state, line, default_folder);
    return FieldLine(state, line);
  }
  if (n >= 31 && n <= 60) return KeyLine(state, line, n);
  if (n >= 61 && n <= 90) return RelationLine(state, line, n);
  return 0;
}

Status LoadOne(LoadState* state, StrDesc name, bool required) {
  if (state->depth > kMaxIncludeDepth) return ErrDetail(kStData, name, false);
  TempMarkValue mark = TempMark();
  StrDesc path = FindFileInFolders(state->folders, name);
  if (StrIsError(path) || path.len == 0) {
    Status st = 0;
    if (required) {
      st = kStFileNotFound;
      ErrSet(1, kModDataFile, st, st);
      ErrDetail(st,
                StrFormat(kLineMax, "%.*s[%.*s]", name.len, name.ptr, state->folders.len,
                          state->folders.ptr),
                false);
    }
    TempRelease(mark);
    return st;
  }
  // An empty folder on a file line means the folder the dictionary is in.
  StrDesc default_folder = PathPart(path, kPathParent);
  uint16_t stream = StreamOpen(path, kStreamReadOnly | kStreamUpdate | kStreamQuiet);
  if (stream < kStreamFirstFile || stream >= kStreamCount) {
    ErrSet(1, kModDataFile, kStFileNotFound, 0);
    ErrDetail(kStFileNotFound, path, false);
    TempRelease(mark);
    return kStFileNotFound;
  }
  Status st = 0;
  char buffer[kLineMax];
  while (st == 0) {
    uint16_t got = StreamRead(stream, kStreamHere, kStreamLine, buffer, kLineMax);
    if (got == kStreamFail) break;
    TempMarkValue line_mark = TempMark();
    st = ProcessLine(state, StrMake(buffer, got), default_folder);
    TempRelease(line_mark);
  }
  StreamClose(stream);
  TempRelease(mark);
  return st;
}

// Orders the key entries by file and key number and notes each file's first.
Status FinishKeys() {
  uint16_t files = DictFileCount();
  for (uint16_t f = 1; f <= files; ++f) {
    Status st = AddDefaultKey(f);
    if (st != 0) return st;
  }
  uint16_t keys = RecInfo(kRecDictKeys, 0);
  if (keys > 0) {
    auto* base = static_cast<DictKeyEntry*>(RecGet(kRecDictKeys, 0));
    std::sort(base, base + keys, [](const DictKeyEntry& a, const DictKeyEntry& b) {
      return a.file != b.file ? a.file < b.file : a.number < b.number;
    });
  }
  for (uint16_t i = keys; i-- > 0;) {
    const auto* key = static_cast<const DictKeyEntry*>(RecGet(kRecDictKeys, i));
    FileEntry(key->file)->first_key = i;
  }
  for (uint16_t f = 1; f <= files; ++f) {
    const DictFileEntry* file = FileEntry(f);
    // The key values of one record are kept side by side with 16-bit offsets.
    uint32_t all_keys = 0;
    for (uint16_t k = 1; k <= file->key_count; ++k) {
      const DictKeyEntry* key = DictKey(f, k);
      bool ok = key->segment_count > 0;
      for (uint16_t s = 0; ok && s < key->segment_count; ++s) {
        uint32_t offset = key->segments[s] & 0xFFFF;
        uint32_t length = key->segments[s] >> 16;
        ok = length > 0 && offset + length <= file->record_length;
      }
      all_keys += key->length;
      ok = ok && all_keys <= 0xFFFF;
      if (!ok) {
        ErrSet(1, kModDataFile, kStDataOutBound, 0);
        return ErrDetail(kStDataOutBound, StrFormat(40, "(File:%u, Key:%u)", f, k), false);
      }
    }
  }
  return 0;
}

}  // namespace

void DictClear() {
  RecTableFree(kRecDictFiles);
  RecTableFree(kRecDictFields);
  RecTableFree(kRecDictKeys);
  RecTableFree(kRecDictRelations);
  for (uint16_t g = kGroupFileNames; g <= kGroupRelations; ++g)
    DynTruncate(g, 0);
}

Status DictLoad(StrDesc folders, StrDesc prefix) {
  if (StrIsError(folders)) return StrCheck(folders);
  if (StrIsError(prefix)) return StrCheck(prefix);
  DataFilesCloseAll();
  DataFilesDropBuffers();
  DictClear();
  TempMarkValue mark = TempMark();
  StrDesc code = StrSub(prefix, 0, 2);
  LoadState state;
  state.folders = folders;
  Status st = LoadOne(&state, StrConcat(code, ListItem(Lit(kDictFileNames), ',', 1)), true);
  if (st == 0 && (state.last_kind == kLineFile || state.last_kind == kLineField)) {
    // Files after the last one that has a key get their default keys now.
    uint16_t last_keyed = 0;
    for (uint16_t f = 1; f <= DictFileCount(); ++f) {
      if (FileEntry(f)->key_count > 0) last_keyed = f;
    }
    for (uint16_t f = static_cast<uint16_t>(last_keyed + 1); st == 0 && f <= DictFileCount(); ++f)
      st = AddDefaultKey(f);
  }
  if (st == 0) {
    LoadState second;
    second.folders = folders;
    st = LoadOne(&second, StrConcat(code, ListItem(Lit(kDictFileNames), ',', 2)), false);
  }
  if (st == 0) st = FinishKeys();
  TempRelease(mark);
  if (st != 0) {
    ErrSet(1, kModDataFile, st, st);
    DictClear();
  }
  return st;
}

uint16_t DictFileCount() {
  return RecInfo(kRecDictFiles, 0);
}

const DictFileEntry* DictFile(uint16_t f) {
  return FileEntry(f);
}

const DictFieldEntry* DictField(uint16_t f, uint16_t k) {
  const DictFileEntry* file = FileEntry(f);
  if (file == nullptr || k == 0 || k > file->field_count) return nullptr;
  return static_cast<const DictFieldEntry*>(RecGet(kRecDictFields, file->first_field + k - 1));
}

const DictKeyEntry* DictKey(uint16_t f, uint16_t k) {
  const DictFileEntry* file = FileEntry(f);
  if (file == nullptr || k == 0 || k > file->key_count) return nullptr;
  return static_cast<const DictKeyEntry*>(RecGet(kRecDictKeys, file->first_key + k - 1));
}

StrDesc DictFileName(uint16_t f) {
  return f == 0 ? StrMake("", 0) : DynGet(kGroupFileNames, static_cast<uint16_t>(f - 1));
}
StrDesc DictFileFolder(uint16_t f) {
  return f == 0 ? StrMake("", 0) : DynGet(kGroupFolders, static_cast<uint16_t>(f - 1));
}
StrDesc DictRelationText(uint16_t f) {
  return f == 0 ? StrMake("", 0) : DynGet(kGroupRelations, static_cast<uint16_t>(f - 1));
}

StrDesc DictFieldName(uint16_t f, uint16_t k) {
  const DictFileEntry* file = FileEntry(f);
  if (file == nullptr || k == 0 || k > file->field_count) return StrMake("", 0);
  return DynGet(kGroupFieldNames, static_cast<uint16_t>(file->first_field + k - 1));
}

uint16_t DictFieldFind(uint16_t f, StrDesc name) {
  const DictFileEntry* file = FileEntry(f);
  if (file == nullptr || StrIsError(name)) return 0;
  for (uint16_t k = 1; k <= file->field_count; ++k) {
    StrDesc have = DynGet(kGroupFieldNames, static_cast<uint16_t>(file->first_field + k - 1));
    if (have.len == name.len && std::memcmp(have.ptr, name.ptr, name.len) == 0) return k;
  }
  return 0;
}

uint16_t DictFileRef(StrDesc ref) {
  if (StrIsError(ref)) return 0;
  if (ref.len == 0) return static_cast<uint16_t>(IntegerVar(kSysCurFil));
  if (static_cast<unsigned char>(ref.ptr[0]) <= 64) return static_cast<uint16_t>(StrToInt(ref));
  TempMarkValue mark = TempMark();
  StrDesc name = KeepsCase() ? ref : StrCase(ref, 0);
  uint16_t found = 0;
  for (uint16_t f = 1; f <= DictFileCount() && !StrIsError(name); ++f) {
    StrDesc have = DictFileName(f);
    if (have.len == name.len && std::memcmp(have.ptr, name.ptr, name.len) == 0) {
      found = f;
      break;
    }
  }
  TempRelease(mark);
  return found;
}

uint16_t DictKeyBuild(uint16_t f, uint16_t k, const char* record, char* out) {
  const DictKeyEntry* key = DictKey(f, k);
  if (key == nullptr) return 0;
  uint16_t at = 0;
  for (uint16_t s = 0; s < key->segment_count; ++s) {
    uint16_t offset = static_cast<uint16_t>(key->segments[s] & 0xFFFF);
    uint16_t length = static_cast<uint16_t>(key->segments[s] >> 16);
    std::memcpy(out + at, record + offset, length);
    at = static_cast<uint16_t>(at + length);
  }
  return at;
}

Status DictRangeError(uint16_t f, uint16_t field) {
  ErrSet(1, kModDataFile, kStDataOutBound, 0);
  TempMarkValue mark = TempMark();
  ErrDetail(kStDataOutBound, StrFormat(40, "(File:%u, Field:%u)", f, field), false);
  TempRelease(mark);
  return kStDataOutBound;
}
