#include "language/field_refs.h"

#include <cstring>

#include "core/fixed_point.h"
#include "core/status.h"
#include "core/str_lib.h"
#include "core/temp_stack.h"
#include "language/variables.h"
#include "storage/data_file.h"
#include "storage/dictionary.h"
#include "storage/field_format.h"

namespace {

// The constant of the obscured form of type N fields ("D" followed by the
// value exclusive-or this constant). Tools that write such fields use it too.
constexpr int16_t kObscuredXor = 0x1A2B;

bool CompactDates(const DictFieldEntry* e) {
  return e->type == 'F' && e->length == 6 && TestBits(kSysCompat, 0x04);
}

FieldRef Malformed(StrDesc text) {
  FieldRef r;
  r.status = ErrDetail(kStSyntax, StrConcat(Lit("Field:"), text), false);
  return r;
}

}  // namespace

uint16_t CurrentFile(uint16_t f) {
  if (f >= 1 && f <= DictFileCount()) return f;
  return static_cast<uint16_t>(IntegerVar(kSysCurFil));
}

FieldRef ResolveFieldRef(StrDesc text) {
  FieldRef r;
  if (StrIsError(text)) {
    r.status = StrCheck(text);
    return r;
  }
  TempMarkValue mark = TempMark();
  uint16_t open = StrFindChar(text, '{', 1);
  if (open == kNotFound || text.ptr[text.len - 1] != '}' || open + 1u >= text.len) {
    r = Malformed(text);
    TempRelease(mark);
    return r;
  }
  StrDesc field_part = StrSub(text, 0, open);
  StrDesc file_part = StrSub(text, open + 1, static_cast<uint16_t>(text.len - open - 2));
  uint16_t file;
  if (file_part.len == 0) {
    file = CurrentFile(0);
  } else if (static_cast<unsigned char>(file_part.ptr[0]) > 64) {
    file = DictFileRef(file_part);
  } else {
    int16_t n = StrToInt(file_part);
    file = n < 0 ? 0 : static_cast<uint16_t>(n);
  }
  if (file == 0 || file > DictFileCount()) {
    r.status = ErrDetail(kStFileOutBound, StrConcat(Lit("Field:"), text), false);
    TempRelease(mark);
    return r;
  }
  r.file = file;
  if (field_part.len == 0) {
    TempRelease(mark);
    return r;  // {FILE}: the file's number
  }
  uint16_t field = DictFieldFind(file, field_part);
  if (field == 0) {
    int16_t n = StrToInt(field_part);
    field = n < 0 ? 0 : static_cast<uint16_t>(n);
  }
  if (field == 0) {
    r = Malformed(text);
  } else if (field > DictFile(file)->field_count) {
    r.status = DictRangeError(file, field);
  } else {
    r.field = field;
    r.type = DictField(file, field)->type;
  }
  TempRelease(mark);
  return r;
}

StrDesc FieldText(uint16_t file, uint16_t field, int buffer) {
  return FieldRaw(file, field, buffer == 2 ? 2 : 1);
}

StrDesc FieldValue(uint16_t file, uint16_t field) {
  TempMarkValue mark = TempMark();
  StrDesc raw = FieldRaw(file, field, 1);
  if (StrIsError(raw)) return TempKeep(mark, raw);
  const DictFieldEntry* e = DictField(file, field);
  StrDesc value = raw;
  if (CompactDates(e)) {
    unsigned char first = static_cast<unsigned char>(raw.ptr[0]);
    if (first > ' ') {
      char* p = TempAllocPtr(8, 255);
      if (p == nullptr) return TempKeep(mark, StrError(kStOutOfMemory));
      p[0] = first > '@' ? '2' : '1';
      p[1] = first > '@' ? '0' : '9';
      std::memcpy(p + 2, raw.ptr, 6);
      if (first > '@') p[2] = static_cast<char>(first - 17);
      for (int i = 0; i < 8; ++i)
        if (p[i] == ' ') p[i] = '0';
      value = StrMake(p, 8);
    } else {
      value = StrConcat(Lit("  "), raw);
    }
  } else if (e->type == 'N') {
    StrDesc t = StrTrim(raw, 3);
    if (t.len > 0 && t.ptr[0] == 'D') {
      int16_t n = StrToInt(StrSub(t, 1, 0xFFFF));
      value = NumFormatInt(static_cast<int16_t>(n ^ kObscuredXor));
    }
  }
  return TempKeep(mark, value);
}

Status FieldStore(uint16_t file, uint16_t field, StrDesc text) {
  const DictFieldEntry* e = DictField(file, field);
  if (e == nullptr || file > DictFileCount()) {
    Status st = DictRangeError(file, field);
    ErrSet(1, kModBufferFld, kStBadFileNumber, 0);
    return st;
  }
  if (!CompactDates(e)) return FieldPut(file, field, text);
  TempMarkValue mark = TempMark();
  StrDesc stored = FieldFormat('F', 6, text);
  Status st = StrCheck(stored);
  if (st == 0) {
    bool blank = true;
    for (uint16_t i = 0; i < stored.len; ++i)
      blank = blank && stored.ptr[i] == ' ';
    // A blank date stays blank. A date of the 1900s keeps its digits, which
    // read back as 19xx; any other is written with its first digit raised.
    bool nineteen = text.len == 8 && text.ptr[0] == '1' && text.ptr[1] == '9';
    if (!blank) {
      if (!nineteen) stored.ptr[0] = static_cast<char>(stored.ptr[0] + 17);
      if (stored.ptr[2] == '0') stored.ptr[2] = ' ';
      if (stored.ptr[4] == '0') stored.ptr[4] = ' ';
    }
    st = FieldPutRaw(file, field, stored);
  }
  TempRelease(mark);
  if (st != 0) ErrSet(1, kModBufferFld, kStBadFileNumber, 0);
  return st;
}

Status ReadFieldRef(StrDesc text) {
  TempMarkValue mark = TempMark();
  FieldRef r = ResolveFieldRef(text);
  if (r.status != 0) {
    TempRelease(mark);
    return r.status;
  }
  StrDesc value;
  if (r.field == 0) {
    value = NumFormatInt(r.file);
  } else {
    value = FieldValue(r.file, r.field);
    if (!StrIsError(value) && FieldTypeIsNumber(r.type))
      value = NumToBytes(NumParse(StrTrim(value, 3)));
  }
  StrDesc kept = TempKeep(mark, value);
  return StrCheck(kept);
}

Status AssignFieldRef(StrDesc text, StrDesc value) {
  TempMarkValue mark = TempMark();
  FieldRef r = ResolveFieldRef(text);
  Status st = r.status;
  if (st == 0 && r.field == 0) st = Malformed(text).status;
  if (st == 0) st = StrCheck(value);
  StrDesc stored = value;
  if (st == 0 && FieldTypeIsNumber(r.type)) {
    // Numeric fields take numbers: the 8-byte value written with the
    // current decimals, 0 as "0" (a blank field is one never given a value,
    // and a blank logical field is undecided rather than false).
    if (value.len != 0 && value.len != 8) {
      st = kStTypeMismatch;
    } else {
      stored = NumFormatD(NumFromBytes(value));
      if (!StrIsError(stored) && stored.len == 0) stored = Lit("0");
      st = StrCheck(stored);
    }
  }
  if (st == 0) st = FieldStore(r.file, r.field, stored);
  if (st != 0) {
    ErrSet(1, kModBufferFld, kStBadFileNumber, 0);
    TempRelease(mark);
    return st;
  }
  StrDesc kept = TempKeep(mark, value);
  return StrCheck(kept);
}

Status DefineFileNameVariables() {
  for (uint16_t f = 1; f <= DictFileCount(); ++f) {
    TempMarkValue mark = TempMark();
    StrDesc name = StrCase(DictFileName(f), 0);
    Status st = StrCheck(name);
    if (st == 0) st = AssignIntegerValue(name, f);
    TempRelease(mark);
    if (st != 0) return st;
  }
  return 0;
}
