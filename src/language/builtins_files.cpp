// The built-ins that reach files, streams and data files, and the reading of
// expression files.
//
// Streams and plain files go through the stream layer. The data-file
// built-ins (FILEFIND, FILEREL without a relation hook, FILELOCATE, IER, KEY$,
// FN#FLEN of a declared file) go through the small functions at the top of
// this file, which call the data files and relations of the storage layer:
// their outcomes (0, 1, 2...) are pushed as numbers, a status of 128 and
// above is the built-in's status. FILESEL of a file set needs the file sets
// of the runs, which do not exist yet: it fails with 169 (FILENOTINIT) and
// "FileSet" as detail.
#include <cstring>

#include "core/dyn_strings.h"
#include "core/fixed_point.h"
#include "core/hook_table.h"
#include "core/status.h"
#include "core/str_lib.h"
#include "core/temp_stack.h"
#include "core/token_list.h"
#include "language/builtins_internal.h"
#include "language/evaluator.h"
#include "language/field_refs.h"
#include "language/scanner.h"
#include "language/variables.h"
#include "storage/data_file.h"
#include "storage/dictionary.h"
#include "storage/folders.h"
#include "storage/relations.h"
#include "storage/streams.h"

namespace {

constexpr char kEmpty[1] = {0};
inline StrDesc Empty() {
  return StrMake(kEmpty, 0);
}

Status NotReady(const char* what) {
  return ErrDetail(kStFileNotInit, StrFromCstr(what), true);
}

// --- the data-file layer ---

// FILEFIND's flags beyond those of FileReadKey.
constexpr uint16_t kFindAdd = 0x04;     // not found: store the value in the key, add the record
constexpr uint16_t kFindSecond = 0x08;  // the value is not used: first record, then the next
// FILELOCATE's request that deletes instead of moving.
constexpr uint16_t kLocateDelete = 1602;

bool DeclaredFile(uint16_t f) {
  return f >= 1 && f <= DictFileCount();
}

// FILEFIND: a keyed read of value (key 0: the current key); with kFindAdd a
// value not found (outcome 1, a greater key follows, or 2, none does) is
// distributed over the key's fields and the current buffer added, FileAdd's
// result being the outcome. With kFindSecond: the first record in key order,
// then the next one.
uint16_t DataFileFind(StrDesc value, uint16_t file, uint16_t key, uint16_t flags) {
  if (flags & kFindSecond) {
    uint16_t outcome = FileMove(file, kMoveFirst);
    if (outcome == kOutFound) outcome = FileMoveWithin(file, kMoveNext, Empty());
    return outcome;
  }
  const uint16_t outcome = FileReadKey(file, key, value, flags);
  if ((outcome != kOutNotFound && outcome != kOutEnd) || !(flags & kFindAdd) || value.len == 0)
    return outcome;
  // The read made the key current.
  const Status st = KeyAssign(file, 0, value);
  return st != 0 ? st : FileAdd(file);
}

// FILEREL without the relation hook: the relational read, the arguments
// passed in their order (file, the related file, the relation number, the
// flags, the update text).
uint16_t DataFileRelation(uint16_t file, uint16_t relation, uint16_t mode, uint16_t flags,
                          StrDesc text) {
  return RelationalRead(file, relation, mode, flags, text);
}

// FILELOCATE: DEL deletes the current record, every other request moves.
uint16_t DataFileLocate(uint16_t request, uint16_t file) {
  if (request == kLocateDelete) return FileDelete(file, 0);
  return FileMove(file, request);
}

// IER: the last outcome kept in the file's control entry (2 for a file that
// is not open); 168 for a file that is not declared.
uint16_t DataFileLastOutcome(uint16_t file) {
  if (!DeclaredFile(file)) return DictRangeError(file, 0);
  return FileCtrl(file)->last_outcome;
}

// KEY$: key k (0: the current key) built from buffer 1 (current) or 2 (old),
// cut to its first `parts` segments (0 or fewer: all), pushed.
Status DataFileKeyValue(uint16_t file, uint16_t key, int buffer, int64_t parts) {
  const TempMarkValue mark = TempMark();
  StrDesc value = KeyValue(file, key, buffer);
  if (StrIsError(value)) {
    TempRelease(mark);
    return StrCheck(value);
  }
  const DictKeyEntry* entry = DictKey(file, key != 0 ? key : CurrentKey(file));
  if (entry != nullptr && parts > 0 && parts < entry->segment_count) {
    uint32_t length = 0;
    for (int64_t s = 0; s < parts; ++s)
      length += entry->segments[s] >> 16;
    if (length < value.len) value = StrMake(value.ptr, static_cast<uint16_t>(length));
  }
  return StrCheck(TempKeep(mark, value));
}

// FN#FLEN of a declared data file: its record count.
Status DataFileRecordCount(uint16_t file, int64_t* count) {
  uint32_t n = 0;
  const Status st = FileRecordCount(file, &n);
  *count = n;
  return st;
}

// Whether a text names a declared data file: a name (first character above
// code 64, compared as the dictionary compares file names) or the digits of
// a declared file's number.
bool IsDeclaredFile(StrDesc name, uint16_t* file) {
  if (name.len == 0) return false;
  uint16_t f = 0;
  if (static_cast<unsigned char>(name.ptr[0]) > 64) {
    const TempMarkValue mark = TempMark();
    f = DictFileRef(name);
    TempRelease(mark);
  } else {
    uint32_t n = 0;
    for (uint16_t i = 0; i < name.len && n <= kDictMaxFiles; ++i) {
      if (name.ptr[i] < '0' || name.ptr[i] > '9') return false;
      n = n * 10 + static_cast<uint32_t>(name.ptr[i] - '0');
    }
    f = n <= kDictMaxFiles ? static_cast<uint16_t>(n) : 0;
  }
  if (!DeclaredFile(f)) return false;
  *file = f;
  return true;
}

// FILESEL of a file set: the file sets belong to the runs, not built yet.
Status ApplyFileSet(StrDesc) {
  return NotReady("FileSet");
}

// The verbs of FILELOCATE (LocateRequest gives their request codes, and 255
// both for the verbs without one and for any other word).
bool IsLocateVerb(StrDesc verb) {
  const TempMarkValue mark = TempMark();
  StrDesc v = StrCase(verb, 1);
  if (StrEq(v, "NEXT")) v = Lit("NXT");
  if (StrEq(v, "PREVIOUS")) v = Lit("PRV");
  if (StrEq(v, "BOTTOM")) v = Lit("BOT");
  const bool known =
      !StrIsError(v) &&
      ListFind(Lit("NEW,TOP,PRV,RLD,NXT,BOT,FND,SVE,INS,DEL,LST,NLS,BLS,IMP,MDE,DDE,PRN,TSL"), v,
               ',') != 0;
  TempRelease(mark);
  return known;
}

// A key, relation or file number argument as a word; out of range gives
// 0xFFFF, which names none.
uint16_t NumberWord(int64_t n) {
  return n < 0 || n > 0xFFFF ? 0xFFFF : static_cast<uint16_t>(n);
}

// A file argument: a declared file number, else the current file.
uint16_t FileArgument(const BuiltinCall& c, int k, Status* st) {
  int64_t f = 0;
  *st = ArgInt(c, k, 0, &f);
  return CurrentFile(static_cast<uint16_t>(f < 0 || f > 0xFFFF ? 0 : f));
}

// Pushes an outcome as a number; a status of 128 and above is returned.
Status PushOutcome(uint16_t outcome) {
  return outcome >= 128 ? outcome : PushInteger(outcome);
}

// Positions: a negative value means "here" (current position / end).
uint32_t StreamPosition(int64_t pos) {
  if (pos < 0) return kStreamHere;
  return pos > 0xFFFFFFFFll ? 0xFFFFFFFFu : static_cast<uint32_t>(pos);
}

// The name of a file argument with its %...% references expanded.
StrDesc ExpandedName(StrDesc name) {
  if (std::memchr(name.ptr, '%', name.len) == nullptr) return name;
  return ExpandPathReferences(name);
}

// The saving of variables behind WRITE(file; -2; names): the file's
// assignments are rewritten with the named values first.
Status SaveVariables(StrDesc file, StrDesc names) {
  const TempMarkValue mark = TempMark();
  StrDesc existing = StreamReadFile(file, 0, kStreamLine);
  if (StrIsError(existing)) existing = Empty();
  StrDesc out = Empty();
  StrDesc listed = Empty();  // the names written, comma-separated
  for (uint16_t k = 1;; ++k) {
    const StrDesc item = StrTrim(ArgumentText(names, k), 3);
    if (item.len == 0) {
      if (ArgumentText(names, static_cast<uint16_t>(k + 1)).len == 0) break;
      continue;
    }
    const uint16_t eq = StrFindChar(item, '=', 0);
    const StrDesc name = eq == kNotFound ? item : StrTrim(StrMake(item.ptr, eq), 3);
    const StrDesc expr = eq == kNotFound
                             ? item
                             : StrMake(item.ptr + eq + 1, static_cast<uint16_t>(item.len - eq - 1));
    const uint16_t type = Evaluate(expr);
    if (type >= 128) {
      TempRelease(mark);
      return type;
    }
    StrDesc value = TempTop();
    if (type == kTypeString) {
      value = StrQuote(value, '\'');
    } else {
      value = NumFormatD(NumFromBytes(value));
      if (!StrIsError(value) && value.len == 0) value = Lit("0");
    }
    out = StrJoin(out, Lit(";"), StrConcat(StrConcat(name, Lit("=")), value));
    listed = StrJoin(listed, Lit(","), name);
    if (StrIsError(out)) {
      TempRelease(mark);
      return StrCheck(out);
    }
  }
  // The entries of the file whose names were not given keep their text.
  for (uint16_t i = 0; i < existing.len;) {
    uint16_t j = i;
    while (j < existing.len && existing.ptr[j] != ';' && existing.ptr[j] != '\r' &&
           existing.ptr[j] != '\n') {
      ++j;
    }
    const StrDesc entry = StrTrim(StrMake(existing.ptr + i, static_cast<uint16_t>(j - i)), 3);
    if (entry.len != 0) {
      const uint16_t eq = StrFindChar(entry, '=', 0);
      const StrDesc name = StrTrim(eq == kNotFound ? entry : StrMake(entry.ptr, eq), 3);
      if (ListFind(listed, name, ',') == 0) out = StrJoin(out, Lit(";"), entry);
    }
    i = static_cast<uint16_t>(j + 1);
  }
  if (StrIsError(out)) {
    TempRelease(mark);
    return StrCheck(out);
  }
  Status s = StreamWriteFile(file, kStreamWrite, 0, out);
  if (s < 128) {
    const Status e = EvaluateFile(file, false);
    if (e >= 128) s = e;
  }
  TempRelease(mark);
  return s;
}

}  // namespace

StrDesc ReadExpressionFile(StrDesc name) {
  if (StrIsError(name)) return name;
  const TempMarkValue mark = TempMark();
  const StrDesc expanded = ExpandedName(name);
  if (StrIsError(expanded)) return TempKeep(mark, expanded);
  const StrDesc folders = StrCopy(DynGet(0, 5));
  const StrDesc found = FindFileInFolders(folders, expanded);
  if (StrIsError(found) || found.len == 0) {
    TempRelease(mark);
    return StrError(kStFileNotFound);
  }
  const StrDesc text = StreamReadFile(found, 0, kStreamLine);
  if (StrIsError(text)) {
    TempRelease(mark);
    return StrError(kStFileNotFound);
  }
  uint16_t n = 0;
  for (uint16_t i = 0; i < text.len; ++i) {
    if (text.ptr[i] == '\r' && i + 1 < text.len && text.ptr[i + 1] == '\n') continue;
    ++n;
  }
  char* out = TempAllocPtr(n, 255);
  if (out == nullptr) {
    TempRelease(mark);
    return StrError(kStOutOfMemory);
  }
  uint16_t o = 0;
  for (uint16_t i = 0; i < text.len; ++i) {
    const char c = text.ptr[i];
    if (c == '\r' && i + 1 < text.len && text.ptr[i + 1] == '\n') continue;
    out[o++] = (c == '\r' || c == '\n') ? ';' : c;
  }
  return TempKeep(mark, StrMake(out, n));
}

Status FieldBufferText(StrDesc reference, int buffer) {
  const TempMarkValue mark = TempMark();
  const FieldRef ref = ResolveFieldRef(reference);
  if (ref.status != 0) {
    TempRelease(mark);
    return ref.status;
  }
  // {FILE} alone stands for the file's number, as in expressions.
  const StrDesc text =
      ref.field == 0 ? NumFormatInt(ref.file) : FieldText(ref.file, ref.field, buffer);
  if (StrIsError(text)) {
    TempRelease(mark);
    return StrCheck(text);
  }
  return StrCheck(TempKeep(mark, text));
}

// FN#FLEN(name or number): a declared data file's record count (a number
// that is no declared file means the current file), else a named file's
// size in bytes (0 when it does not exist).
Status BuiltinFileLength(BuiltinCall& c) {
  uint16_t file = 0;
  int64_t count = 0;
  if (!ArgIsString(c, 1)) {
    int64_t n = 0;
    if (const Status st = ArgInt(c, 1, 0, &n); st != 0) return st;
    const Status st = DataFileRecordCount(CurrentFile(NumberWord(n)), &count);
    return st != 0 ? st : PushInteger(count);
  }
  const StrDesc name = c.arg[0];
  if (IsDeclaredFile(name, &file)) {
    const Status st = DataFileRecordCount(file, &count);
    return st != 0 ? st : PushInteger(count);
  }
  if (name.len == 0) return PushInteger(0);
  const uint16_t n = StreamOpen(name, kStreamReadOnly | kStreamUpdate | kStreamQuiet);
  if (n >= kStreamFirstFile && n < kStreamCount) {
    count = StreamSize(n);
    StreamClose(n);
  }
  return PushInteger(count);
}

// FILEFIND(value; file; key; flags).
Status BuiltinFileFind(BuiltinCall& c) {
  StrDesc value;
  int64_t key = 0;
  int64_t flags = 0;
  Status st = ArgStr(c, 1, Empty(), &value);
  const uint16_t file = st == 0 ? FileArgument(c, 2, &st) : 0;
  if (st == 0) st = ArgInt(c, 3, 0, &key);
  if (st == 0) st = ArgInt(c, 4, 0, &flags);
  if (st != 0) return st;
  return PushOutcome(DataFileFind(value, file, NumberWord(key), static_cast<uint16_t>(flags)));
}

// FILEREL(file; relation; mode; flags; text).
Status BuiltinFileRel(BuiltinCall& c) {
  int64_t relation = 0;
  int64_t mode = 0;
  int64_t flags = 0;
  Status st = 0;
  const uint16_t file = FileArgument(c, 1, &st);
  if (st == 0) st = ArgInt(c, 2, 0, &relation);
  if (st == 0) st = ArgInt(c, 3, 0, &mode);
  if (st == 0) st = ArgInt(c, 4, 0, &flags);
  if (st != 0) return st;
  uint16_t f = static_cast<uint16_t>(flags);
  const int16_t last_key = IntegerVar(kSysLastKey);
  if ((f & 0x12) == 2 && last_key != 29 && last_key != 23) f = static_cast<uint16_t>(f & ~2u);
  f |= 1;
  const StrDesc text = StrMake(c.rest.text + c.rest.position,
                               static_cast<uint16_t>(c.rest.length - c.rest.position));
  const auto hook = HookAs<RelationHook>(kHookRelation);
  if ((f & 4) && TestBits(kSysUpStat, 4) && hook != nullptr)
    return PushOutcome(hook(file, NumberWord(relation), NumberWord(mode), f, text));
  return PushOutcome(DataFileRelation(file, NumberWord(relation), NumberWord(mode), f, text));
}

// FILELOCATE(verb; file): a word that is no verb gives 147.
Status BuiltinFileLocate(BuiltinCall& c) {
  StrDesc verb;
  Status st = ArgStr(c, 1, Lit("NXT"), &verb);
  const uint16_t file = st == 0 ? FileArgument(c, 2, &st) : 0;
  if (st != 0) return st;
  if (!IsLocateVerb(verb)) return kStSyntax;
  return PushOutcome(DataFileLocate(LocateRequest(verb), file));
}

// FILESEL(name; flags) opens a stream, FILESEL(n) closes one, FILESEL(set)
// applies a file set.
Status BuiltinFileSel(BuiltinCall& c) {
  int64_t result = 0;
  if (c.count >= 2) {
    StrDesc name;
    int64_t flags = 1;
    Status st = ArgStr(c, 1, Empty(), &name);
    if (st == 0) st = ArgInt(c, 2, 1, &flags);
    if (st != 0) return st;
    result = StreamOpen(name, static_cast<uint16_t>(flags));
  } else if (!ArgIsString(c, 1)) {
    int64_t n = 0;
    if (const Status st = ArgInt(c, 1, 0, &n); st != 0) return st;
    if (n >= 0 && n < kStreamCount) StreamClose(static_cast<uint16_t>(n));
  } else {
    result = ApplyFileSet(c.arg[0]);
  }
  if (result > 121) return static_cast<Status>(result);
  return PushInteger(result);
}

// READ$(source; position; length): bytes of a file or a stream; a failure
// reads as the empty string.
Status BuiltinRead(BuiltinCall& c) {
  int64_t pos = 0;
  int64_t length = -1;
  Status st = ArgInt(c, 2, 0, &pos);
  if (st == 0) st = ArgInt(c, 3, -1, &length);
  if (st != 0) return st;
  const TempMarkValue mark = TempMark();
  StrDesc r;
  if (ArgIsString(c, 1)) {
    const StrDesc name = ExpandedName(c.arg[0]);
    const uint16_t want =
        length < 0 || length >= 0xFFFF ? kStreamLine : static_cast<uint16_t>(length);
    r = StrIsError(name) ? name : StreamReadFile(name, pos < 0 ? 0 : StreamPosition(pos), want);
  } else {
    int64_t n = 0;
    if ((st = ArgInt(c, 1, 0, &n)) != 0) return st;
    const uint16_t stream = static_cast<uint16_t>(n < 0 || n > 0xFFFF ? 0xFFFF : n);
    if (length == 0) {
      r = StreamAtEnd(stream) ? StrChar('\x1A') : StrCopy(Empty());
    } else {
      r = StreamReadText(stream, StreamPosition(pos), static_cast<uint16_t>(length));
    }
  }
  if (StrIsError(r)) {
    TempRelease(mark);
    return PushText(Empty());
  }
  return StrCheck(TempKeep(mark, r));
}

// WRITE(target; position; data): a stream or a file; position -2 of a file
// saves variables, -3 replaces the file's content.
Status BuiltinWrite(BuiltinCall& c) {
  int64_t pos = 0;
  StrDesc data;
  Status st = ArgInt(c, 2, 0, &pos);
  if (st == 0) st = ArgStr(c, 3, Empty(), &data);
  if (st != 0) return st;
  if (!ArgIsString(c, 1)) {
    int64_t n = 0;
    if ((st = ArgInt(c, 1, 0, &n)) != 0) return st;
    const uint16_t stream = static_cast<uint16_t>(n < 0 || n > 0xFFFF ? 0xFFFF : n);
    return PushInteger(StreamWriteText(stream, StreamPosition(pos), data));
  }
  const TempMarkValue mark = TempMark();
  const StrDesc name = ExpandedName(c.arg[0]);
  if (StrIsError(name)) return StrCheck(name);
  if (pos == -2) {
    st = SaveVariables(name, data);
  } else if (pos == -3) {
    st = StreamWriteFile(name, kStreamWrite, 0, data);
  } else {
    st = StreamWriteFile(name, kStreamUpdate, StreamPosition(pos), data);
  }
  TempRelease(mark);
  return st >= 128 ? st : PushInteger(st);
}

// KEY$(file; key; buffer; parts).
Status BuiltinKey(BuiltinCall& c) {
  int64_t key = 0;
  int64_t buffer = 1;
  int64_t parts = 0;
  Status st = 0;
  const uint16_t file = FileArgument(c, 1, &st);
  if (st == 0) st = ArgInt(c, 2, 0, &key);
  if (st == 0) st = ArgInt(c, 3, 1, &buffer);
  if (st == 0) st = ArgInt(c, 4, 0, &parts);
  if (st != 0) return st;
  if (file == 0) return PushText(Empty());
  return DataFileKeyValue(file, NumberWord(key), buffer == 2 ? 2 : 1, parts);
}

// IER(file).
Status BuiltinIer(BuiltinCall& c) {
  Status st = 0;
  const uint16_t file = FileArgument(c, 1, &st);
  if (st != 0) return st;
  return PushOutcome(DataFileLastOutcome(file));
}
