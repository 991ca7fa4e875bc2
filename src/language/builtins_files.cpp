// The built-ins that reach files, streams and data files, and the reading of
// expression files.
//
// Streams and plain files go through the stream layer. The data-file
// built-ins (FILEFIND, FILEREL without a relation hook, FILELOCATE, IER, KEY$,
// FN#FLEN of a declared file, FILESEL of a file set) need the data files and
// runs, which are reached through the small functions at the top of this file:
// until those layers exist each answers 169 (FILENOTINIT) with the built-in's
// name as detail.
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
#include "storage/folders.h"
#include "storage/streams.h"

namespace {

constexpr char kEmpty[1] = {0};
inline StrDesc Empty() {
  return StrMake(kEmpty, 0);
}

Status NotReady(const char* what) {
  return ErrDetail(kStFileNotInit, StrFromCstr(what), true);
}

// --- the data-file layer (finished with the data files) ---

// The outcome of FileReadKey (and FileAdd with flag 4) for FILEFIND.
Status DataFileFind(StrDesc, uint16_t, uint16_t, uint16_t, int64_t*) {
  return NotReady("FILEFIND()");
}
// RelationalRead for FILEREL.
Status DataFileRelation(uint16_t, uint16_t, uint16_t, uint16_t, StrDesc, int64_t*) {
  return NotReady("FILEREL()");
}
// FileMove with a request code, or FileDelete for DEL (1602).
Status DataFileLocate(uint16_t, uint16_t, int64_t*) {
  return NotReady("FILELOCATE()");
}
// The last outcome kept in the file's control entry.
Status DataFileLastOutcome(uint16_t, int64_t*) {
  return NotReady("IER()");
}
// KeyValue(file, key, buffer), pushed.
Status DataFileKeyValue(uint16_t, uint16_t, uint16_t) {
  return NotReady("KEY$()");
}
// The record count of a declared data file.
Status DataFileRecordCount(uint16_t, int64_t*) {
  return NotReady("FN#FLEN()");
}
// Whether a name is a declared data file (no dictionary is loaded yet).
bool IsDeclaredFile(StrDesc, uint16_t*) {
  return false;
}
// FileSet of the runs: open the named data files (or "RESTORE").
Status ApplyFileSet(StrDesc) {
  return NotReady("FILESEL()");
}

uint16_t FileArgument(const BuiltinCall& c, int k, Status* st) {
  int64_t f = 0;
  *st = ArgInt(c, k, 0, &f);
  return CurrentFile(static_cast<uint16_t>(f < 0 || f > 0xFFFF ? 0 : f));
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
  const StrDesc text = FieldText(ref.file, ref.field, buffer);
  if (StrIsError(text)) {
    TempRelease(mark);
    return StrCheck(text);
  }
  return StrCheck(TempKeep(mark, text));
}

// FN#FLEN(name or number): a declared data file's record count, else a
// named file's size in bytes (0 when it does not exist).
Status BuiltinFileLength(BuiltinCall& c) {
  uint16_t file = 0;
  int64_t count = 0;
  if (!ArgIsString(c, 1)) {
    int64_t n = 0;
    if (const Status st = ArgInt(c, 1, 0, &n); st != 0) return st;
    const Status st = DataFileRecordCount(static_cast<uint16_t>(n), &count);
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
  int64_t outcome = 0;
  st =
      DataFileFind(value, file, static_cast<uint16_t>(key), static_cast<uint16_t>(flags), &outcome);
  return st >= 128 ? st : PushInteger(outcome);
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
  int64_t outcome = 0;
  if ((f & 4) && TestBits(kSysUpStat, 4) && hook != nullptr) {
    st = hook(file, static_cast<uint16_t>(relation), static_cast<uint16_t>(mode), f, text);
    outcome = st;
  } else {
    st = DataFileRelation(file, static_cast<uint16_t>(relation), static_cast<uint16_t>(mode), f,
                          text, &outcome);
  }
  return st >= 128 ? st : PushInteger(outcome);
}

// FILELOCATE(verb; file).
Status BuiltinFileLocate(BuiltinCall& c) {
  StrDesc verb;
  Status st = ArgStr(c, 1, Lit("NXT"), &verb);
  const uint16_t file = st == 0 ? FileArgument(c, 2, &st) : 0;
  if (st != 0) return st;
  int64_t outcome = 0;
  st = DataFileLocate(LocateRequest(verb), file, &outcome);
  return st >= 128 ? st : PushInteger(outcome);
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
  (void)parts;
  return DataFileKeyValue(file, static_cast<uint16_t>(key), static_cast<uint16_t>(buffer));
}

// IER(file).
Status BuiltinIer(BuiltinCall& c) {
  Status st = 0;
  const uint16_t file = FileArgument(c, 1, &st);
  if (st != 0) return st;
  int64_t outcome = 0;
  st = DataFileLastOutcome(file, &outcome);
  return st >= 128 ? st : PushInteger(outcome);
}
