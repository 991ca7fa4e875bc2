#include "language/variables.h"

#include <cstring>

#include "core/dyn_strings.h"
#include "core/fixed_point.h"
#include "core/hook_table.h"
#include "core/mem_pool.h"
#include "core/rec_table.h"
#include "core/status.h"
#include "core/str_lib.h"
#include "core/temp_stack.h"
#include "core/token_list.h"

namespace {

// DynStrings groups of the table: the name lists (item = kind number) and the
// string values (item = index).
constexpr uint16_t kGroupNames = 12;
constexpr uint16_t kGroupStrings = 13;

// Kind numbers: the item of a kind's name list.
constexpr uint8_t kKindInteger = 0;
constexpr uint8_t kKindNumber = 1;
constexpr uint8_t kKindString = 2;
constexpr uint8_t kKindArray = 3;

// The system variables, created in this order so that each has a fixed index.
constexpr char kSystemIntegers[] =
    "_AUXSTAT,_RELRES,_CURFIL,_CUREDFLD,_DEVHIG=24,_DEVWID=80,_DEVLIN,_DEVPOS,_DEVPAG,"
    "_CURROW,_STAT,_LASTKEY=4,_SGN,_UPSTAT=1,_IER,_SYSCOMPAT,_SQLSTK,_COUNT,_HCOUNT,"
    "_ADMSTAT,_COMPAT,_SCRSTAT,_LMAX,_LNUM,_LLST,_HNUM,_SAFE,_LB=128,_AUX,_KEYMAP,_SERIAL,"
    "_TRACE=1,_PRECIS=2,_BYEAR=2000,_BKYEAR=80,_DX,_INHND,_OUTHND,_DATE,_DOCST,_WMAXROW,"
    "_USER01,_USER02,_USER03";
constexpr char kSystemStrings[] = "_ACUM$,_ACUMX$,_LTEXT$";

// Constant names (read without the leading dot) and their values.
constexpr char kConstantNames[] = "lf$,tab$,pchr$,null$";
constexpr char kConstantValues[] = "\r\n,\t,\\,";

// The accumulator array and the built-in name that creates it.
constexpr char kAccumulatorName[] = "_#(";
constexpr uint16_t kAccumulatorCount = 257;

// Element storage of one array may not exceed this many bytes; a larger
// first reference is refused as out of memory instead of being attempted.
constexpr uint32_t kArrayStorageLimit = 16u * 1024u * 1024u;

constexpr int kMaxSubscripts = 4;

// Array descriptor: one record of table 6 per array name.
struct ArrayDesc {
  uint8_t kind = 0;  // element type code: kVarInteger, kVarString or kVarNumber
  uint8_t dims = 0;  // 1..4
  uint16_t width = 0;
  uint16_t total = 0;
  uint16_t size[kMaxSubscripts] = {0, 0, 0, 0};
  char* storage = nullptr;  // total * width bytes, owner 10
};

// Evaluated subscripts of one reference.
struct Subscripts {
  int64_t value[kMaxSubscripts] = {0, 0, 0, 0};
  bool is_string[kMaxSubscripts] = {false, false, false, false};
  uint8_t count = 0;
  StrDesc template_text;  // the first string argument
  bool has_template = false;
};

uint8_t KindOf(uint8_t type) {
  switch (type) {
    case kVarNumber:
      return kKindNumber;
    case kVarString:
      return kKindString;
    case kVarArray:
      return kKindArray;
    default:
      return kKindInteger;
  }
}

// The field-value hook lives in slot 0 of the hook table.
VarFieldHook FieldHook() {
  return HookAs<VarFieldHook>(kHookFieldValue);
}

bool StartsWithUnderscore(StrDesc name) {
  return name.len > 0 && name.ptr[0] == '_';
}

// Name lists are split at every comma (no quoting), so that a name holding a
// quote character cannot shift the index of the names after it.
uint16_t ListItemsPlain(StrDesc list) {
  if (list.len == 0) return 0;
  uint16_t n = 1;
  for (uint16_t i = 0; i < list.len; ++i)
    n += list.ptr[i] == ',';
  return n;
}

uint16_t FindPlain(StrDesc list, StrDesc name) {
  uint16_t index = 0;
  uint16_t start = 0;
  if (list.len == 0) return kVarAbsent;
  for (uint16_t i = 0; i <= list.len; ++i) {
    if (i < list.len && list.ptr[i] != ',') continue;
    if (i - start == name.len && std::memcmp(list.ptr + start, name.ptr, name.len) == 0) {
      return index;
    }
    ++index;
    start = static_cast<uint16_t>(i + 1);
  }
  return kVarAbsent;
}

// Cuts a name list back to `length` bytes (undoing a creation).
void CutList(uint8_t kind, uint16_t length) {
  StrDesc list = DynGet(kGroupNames, kind);
  if (list.len > length) DynSet(kGroupNames, kind, StrMake(list.ptr, length));
}

int16_t LowBits(int64_t v) {
  return static_cast<int16_t>(static_cast<uint16_t>(static_cast<uint64_t>(v) & 0xFFFFu));
}

int64_t ReadRaw64(const char* p) {
  int64_t v = 0;
  std::memcpy(&v, p, sizeof v);
  return v;
}

// 64-bit arithmetic that wraps instead of overflowing.
int64_t WrapMul(int64_t a, int64_t b) {
  return static_cast<int64_t>(static_cast<uint64_t>(a) * static_cast<uint64_t>(b));
}
int64_t WrapAdd(int64_t a, int64_t b) {
  return static_cast<int64_t>(static_cast<uint64_t>(a) + static_cast<uint64_t>(b));
}

Status PushOrStatus(StrDesc pushed) {
  return StrIsError(pushed) ? StrCheck(pushed) : 0;
}

// The element kind of an array name: the kind of the name without its final
// '('; 0 when that is not an integer, number or string name.
uint8_t ElementKind(StrDesc name) {
  StrDesc base = name;
  if (base.len > 0 && base.ptr[base.len - 1] == '(') --base.len;
  uint8_t type = ClassifyName(base);
  return type == kVarInteger || type == kVarNumber || type == kVarString ? type : 0;
}

bool LoadArray(uint16_t index, ArrayDesc* desc) {
  const void* rec = RecGet(kRecArrays, index);
  if (!rec || RecInfo(kRecArrays, 1) != sizeof(ArrayDesc)) return false;
  std::memcpy(desc, rec, sizeof(ArrayDesc));
  return desc->storage != nullptr;
}

void FreeArrayStorage(uint16_t index) {
  void* rec = RecGet(kRecArrays, index);
  if (!rec || RecInfo(kRecArrays, 1) != sizeof(ArrayDesc)) return;
  ArrayDesc desc;
  std::memcpy(&desc, rec, sizeof desc);
  if (desc.storage) MemFree(kOwnerVarStruct, desc.storage);
  desc.storage = nullptr;
  desc.total = 0;
  std::memcpy(rec, &desc, sizeof desc);
}

Status ReadSubscripts(const StrDesc* args, uint16_t count, uint8_t string_args, Subscripts* out) {
  if (!args) count = 0;
  out->count = static_cast<uint8_t>(count < kMaxSubscripts ? count : kMaxSubscripts);
  for (uint8_t i = 0; i < out->count; ++i) {
    Status st = StrCheck(args[i]);
    if (st != 0) return st;
    if (string_args & (1u << i)) {
      out->is_string[i] = true;
      out->value[i] = 0;
      if (!out->has_template) {
        out->template_text = args[i];
        out->has_template = true;
      }
    } else {
      out->value[i] = RoundDiv(NumFromBytes(args[i]), NumScale());
    }
  }
  return 0;
}

// The row-major offset of the subscripts, or -1 when it is negative or not
// below the element count. Single subscripts are not compared with their own
// dimension.
int64_t ElementOffset(const ArrayDesc& desc, const Subscripts& subs) {
  int64_t offset = 0;
  for (uint8_t i = 0; i < subs.count; ++i) {
    int64_t s = subs.value[i];
    // The total never exceeds 65,535, so a larger subscript is out of range.
    if (s < 0 || s > 0xFFFF) return -1;
    int64_t multiplier = 1;
    for (uint8_t j = static_cast<uint8_t>(i + 1); j < desc.dims; ++j)
      multiplier *= desc.size[j];
    offset += s * multiplier;
  }
  return offset < desc.total ? offset : -1;
}

Status PushElement(const ArrayDesc& desc, int64_t offset) {
  const char* p = desc.storage + offset * desc.width;
  switch (desc.kind) {
    case kVarInteger: {
      int16_t e = 0;
      std::memcpy(&e, p, sizeof e);
      return PushOrStatus(NumToBytes(NumIntScaled(e)));
    }
    case kVarNumber:
      return PushOrStatus(StrCopy(StrMake(p, 8)));
    default:
      return PushOrStatus(StrCopy(StrMake(p, desc.width)));
  }
}

void StoreElement(const ArrayDesc& desc, int64_t offset, StrDesc value) {
  char* p = desc.storage + offset * desc.width;
  if (desc.kind == kVarInteger) {
    // The integer part of the number: truncated toward zero.
    int64_t raw = value.len >= 8 ? ReadRaw64(value.ptr) : 0;
    int64_t scale = NumScale();
    int16_t e = LowBits(scale != 0 ? raw / scale : 0);
    std::memcpy(p, &e, sizeof e);
    return;
  }
  if (desc.kind == kVarNumber && value.len == 0) {
    // An empty value is the number 0.
    std::memset(p, 0, desc.width);
    return;
  }
  uint16_t n = value.len < desc.width ? value.len : desc.width;
  std::memmove(p, value.ptr, n);
}

// Makes a new array (storage, name, descriptor) and returns its descriptor.
// Undoes every step when a later one fails.
Status CreateArray(StrDesc name, VarRef ref, const ArrayDesc& shape, StrDesc fill, ArrayDesc* out) {
  ArrayDesc desc = shape;
  uint32_t bytes = uint32_t{desc.total} * desc.width;
  if (bytes > kArrayStorageLimit) return kStOutOfMemory;
  desc.storage = static_cast<char*>(MemAlloc(kOwnerVarStruct, bytes));
  if (!desc.storage) return kStOutOfMemory;
  if (desc.kind == kVarString) {
    for (uint32_t e = 0; e < desc.total; ++e) {
      std::memcpy(desc.storage + e * desc.width, fill.ptr, desc.width);
    }
  }
  uint16_t old_length = DynGet(kGroupNames, kKindArray).len;
  VarRef created = CreateVariable(name, ref);
  if (created.index == kVarAbsent) {
    MemFree(kOwnerVarStruct, desc.storage);
    return kStVarName;
  }
  if (!RecPut(kRecArrays, created.index, &desc, sizeof desc)) {
    MemFree(kOwnerVarStruct, desc.storage);
    CutList(kKindArray, old_length);
    return kStOutOfMemory;
  }
  *out = desc;
  return 0;
}

// The shape of an array made by its first reference: one dimension per
// argument, of size subscript + 1 (1 for a string argument).
Status CreateFromReference(StrDesc name, VarRef ref, uint8_t element_kind, const Subscripts& subs,
                           ArrayDesc* out) {
  ArrayDesc shape;
  shape.kind = element_kind;
  shape.dims = subs.count;
  if (shape.dims == 0) return kStSyntax;
  uint32_t total = 1;
  for (uint8_t i = 0; i < subs.count; ++i) {
    // Sizes run from 1 to 65,535; the subscript is tested before 1 is added to
    // it, so that no subscript can overflow.
    if (!subs.is_string[i] && (subs.value[i] < 0 || subs.value[i] >= 0xFFFF)) return kStSyntax;
    int64_t size = subs.is_string[i] ? 1 : subs.value[i] + 1;
    shape.size[i] = static_cast<uint16_t>(size);
    total *= static_cast<uint32_t>(size);
    if (total > 0xFFFF) return kStSyntax;
  }
  if (total == 1) return kStSyntax;
  shape.total = static_cast<uint16_t>(total);
  StrDesc fill;
  switch (element_kind) {
    case kVarInteger:
      shape.width = 2;
      break;
    case kVarNumber:
      shape.width = 8;
      break;
    default:
      shape.width = subs.has_template ? subs.template_text.len : 0;
      fill = subs.template_text;
      break;
  }
  if (shape.width == 0) return kStSyntax;
  return CreateArray(name, ref, shape, fill, out);
}

// Converts a value given by the field hook for a name of the given type and
// pushes it.
Status PushHookValue(uint8_t type, StrDesc text) {
  switch (type) {
    case kVarInteger:
      return PushOrStatus(NumToBytes(NumTextScaled(text)));
    case kVarNumber:
      return PushOrStatus(NumToBytes(NumParse(text)));
    case kVarString:
      return PushOrStatus(StrCopy(text));
    default:
      return kStSyntax;
  }
}

// The constant value of a name such as .lf$; false when it is not one.
bool ConstantValue(StrDesc name, StrDesc* value) {
  if (name.len < 2 || name.ptr[0] != '.') return false;
  char c = name.ptr[1];
  if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'))) return false;
  uint16_t p =
      ListFind(Lit(kConstantNames), StrSub(name, 1, static_cast<uint16_t>(name.len - 1)), ',');
  if (p == 0) return false;
  *value = ListItem(Lit(kConstantValues), ',', p);
  return true;
}

// Stores a value into the table (creating the variable). *copy is the
// TempStack copy of the value that the assignment leaves as its result. A
// name created here is removed again when the value cannot be stored.
Status StoreInTable(StrDesc name, StrDesc value, StrDesc* copy_out) {
  VarRef ref = LookupVariable(name);
  if (ref.type != kVarInteger && ref.type != kVarNumber && ref.type != kVarString) {
    return kStSyntax;
  }
  StrDesc copy = StrCopy(value);
  if (StrIsError(copy)) return StrCheck(copy);
  *copy_out = copy;
  bool created = false;
  uint16_t old_length = 0;
  if (ref.index == kVarAbsent) {
    old_length = DynGet(kGroupNames, ref.kind).len;
    ref = CreateVariable(name, ref);
    if (ref.index == kVarAbsent) return kStVarName;
    created = true;
  }
  Status st = 0;
  switch (ref.type) {
    case kVarInteger:
      st = SetIntegerVar(ref.index, LowBits(RoundDiv(NumFromBytes(copy), NumScale())));
      break;
    case kVarNumber:
      st = SetNumberVar(ref.index, NumFromBytes(copy));
      break;
    default:
      st = SetStringVar(ref.index, copy);
      break;
  }
  if (st != 0 && created) CutList(ref.kind, old_length);
  return st;
}

Status Assign(StrDesc name, StrDesc value, bool use_hook) {
  Status st = StrCheck(name);
  if (st == 0) st = StrCheck(value);
  if (st != 0) {
    ErrSet(1, kModVarNmAssign, st, st);
    return st;
  }
  TempMarkValue mark = TempMark();
  VarFieldHook hook = use_hook ? FieldHook() : nullptr;
  if (hook && StartsWithUnderscore(name)) {
    st = TempPushCopy(value);
    if (st == 0) {
      // The copy is the result: the hook may change the store value points into.
      StrDesc copy = TempTop();
      StrDesc answer = hook(name, 5);
      st = StrIsError(answer) ? StrCheck(answer) : 0;
      if (st == 0) {
        StrDesc kept = TempKeep(mark, copy);
        if (!StrIsError(kept)) return 0;
        st = StrCheck(kept);
      }
    }
    TempRelease(mark);
    if (st != kStData) {
      ErrSet(1, kModVarNmAssign, st, st);
      return st;
    }
  }
  StrDesc copy;
  st = StoreInTable(name, value, &copy);
  if (st == 0) {
    StrDesc kept = TempKeep(mark, copy);
    if (!StrIsError(kept)) return 0;
    st = StrCheck(kept);
  }
  TempRelease(mark);
  ErrSet(1, kModVarNmAssign, st, st);
  return st;
}

}  // namespace

void SetVarFieldHook(VarFieldHook hook) {
  HookSetAs(kHookFieldValue, hook);
}

VarFieldHook GetVarFieldHook() {
  return FieldHook();
}

uint8_t ClassifyName(StrDesc name) {
  if (StrIsError(name) || name.len == 0) return kVarInvalid;
  std::string_view n = StrView(name);
  if (n.find('@') != std::string_view::npos) return kVarInvalid;
  if (n.find('(') != std::string_view::npos) return kVarArray;
  if (n.find('$') != std::string_view::npos) return kVarString;
  if (n.find('#') != std::string_view::npos) return kVarNumber;
  return kVarInteger;
}

VarRef LookupVariable(StrDesc name) {
  VarRef ref;
  ref.type = ClassifyName(name);
  ref.kind = KindOf(ref.type);
  if (StrIsError(name) || name.len == 0) return ref;
  ref.index = FindPlain(DynGet(kGroupNames, ref.kind), name);
  return ref;
}

VarRef CreateVariable(StrDesc name, VarRef ref) {
  ref.index = kVarAbsent;
  if (StrIsError(name) || name.len == 0 || ref.type == kVarInvalid) return ref;
  // A name holding the list separator could never be found again.
  if (std::memchr(name.ptr, ',', name.len) != nullptr) return ref;
  ref.kind = KindOf(ref.type);
  TempMarkValue mark = TempMark();
  StrDesc list = DynGet(kGroupNames, ref.kind);
  uint16_t count = ListItemsPlain(list);
  StrDesc joined = StrJoin(list, Lit(","), name);
  Status st = StrIsError(joined) ? StrCheck(joined) : DynSet(kGroupNames, ref.kind, joined);
  TempRelease(mark);
  if (st == 0) ref.index = count;
  return ref;
}

Status ReadVariable(StrDesc name) {
  Status st = StrCheck(name);
  if (st != 0) return st;
  TempMarkValue mark = TempMark();
  VarRef ref = LookupVariable(name);
  VarFieldHook hook = FieldHook();
  if (hook && StartsWithUnderscore(name)) {
    StrDesc answer = hook(name, 1);
    if (StrIsError(answer)) {
      st = StrCheck(answer);
    } else {
      st = PushHookValue(ref.type, answer);
      if (st == 0) {
        StrDesc kept = TempKeep(mark, TempTop());
        if (!StrIsError(kept)) return 0;
        st = StrCheck(kept);
      }
    }
    TempRelease(mark);
    if (st != kStData) return st;
  }
  switch (ref.type) {
    case kVarInteger:
      return PushOrStatus(
          NumToBytes(NumIntScaled(ref.index == kVarAbsent ? 0 : IntegerVar(ref.index))));
    case kVarNumber:
      return PushOrStatus(NumToBytes(ref.index == kVarAbsent ? 0 : NumberVar(ref.index)));
    case kVarString: {
      StrDesc constant;
      if (ConstantValue(name, &constant)) return PushOrStatus(StrCopy(constant));
      if (ref.index == kVarAbsent) return TempAlloc(0, 0);
      return PushOrStatus(StrCopy(StringVar(ref.index)));
    }
    default:
      return kStSyntax;
  }
}

Status AssignVariable(StrDesc name, StrDesc value) {
  return Assign(name, value, true);
}

Status AssignIntegerValue(StrDesc name, int64_t n) {
  TempMarkValue mark = TempMark();
  StrDesc value = NumToBytes(WrapMul(n, NumScale()));
  Status st = StrIsError(value) ? StrCheck(value) : AssignVariable(name, value);
  if (st != 0) {
    TempRelease(mark);
    return st;
  }
  StrDesc kept = TempKeep(mark, TempTop());
  return StrIsError(kept) ? StrCheck(kept) : 0;
}

int16_t IntegerVar(uint16_t i) {
  const void* rec = RecGet(kRecIntegers, i);
  int16_t v = 0;
  if (rec) std::memcpy(&v, rec, sizeof v);
  return v;
}

Status SetIntegerVar(uint16_t i, int16_t v) {
  if (!RecPut(kRecIntegers, i, &v, sizeof v)) return kStOutOfMemory;
  if (i == kSysPrecis) NumSetDecimals(v);
  return 0;
}

int64_t NumberVar(uint16_t i) {
  const void* rec = RecGet(kRecNumbers, i);
  int64_t v = 0;
  if (rec) std::memcpy(&v, rec, sizeof v);
  return v;
}

Status SetNumberVar(uint16_t i, int64_t v) {
  return RecPut(kRecNumbers, i, &v, sizeof v) ? 0 : kStOutOfMemory;
}

StrDesc StringVar(uint16_t i) {
  return DynGet(kGroupStrings, i);
}

Status SetStringVar(uint16_t i, StrDesc s) {
  Status st = StrCheck(s);
  if (st != 0) return st;
  if (i > DynCount(kGroupStrings)) return kStStrOutBound;
  return DynSet(kGroupStrings, i, s);
}

bool TestBits(uint16_t i, uint16_t mask) {
  return (static_cast<uint16_t>(IntegerVar(i)) & mask) != 0;
}

bool SetBits(uint16_t i, uint16_t mask, bool on) {
  uint16_t v = static_cast<uint16_t>(IntegerVar(i));
  v = on ? static_cast<uint16_t>(v | mask) : static_cast<uint16_t>(v & ~mask);
  SetIntegerVar(i, static_cast<int16_t>(v));
  return TestBits(i, mask);
}

IndirectControl IndirectControlVar(int n) {
  IndirectControl result;
  TempMarkValue mark = TempMark();
  StrDesc name = StrFormat(16, "_V%d$", n);
  VarRef ref = LookupVariable(name);
  if (StrIsError(name)) {
    result.status = StrCheck(name);
  } else if (ref.index == kVarAbsent) {
    result.status = kStVarScreenField;
  } else {
    StrDesc text = StringVar(ref.index);
    if (text.len > 0) {
      result.first = text.ptr[0];
      result.value = StrToInt(StrSub(text, 1, static_cast<uint16_t>(text.len - 1)));
    }
  }
  TempRelease(mark);
  return result;
}

VarSnapshot TakeSnapshot() {
  VarSnapshot snap;
  for (uint8_t k = 0; k < 4; ++k) {
    StrDesc list = DynGet(kGroupNames, k);
    snap.list_length[k] = list.len;
    snap.list_count[k] = ListItemsPlain(list);
  }
  snap.integer_count = RecInfo(kRecIntegers, 0);
  snap.number_count = RecInfo(kRecNumbers, 0);
  snap.array_count = RecInfo(kRecArrays, 0);
  snap.string_count = DynCount(kGroupStrings);
  return snap;
}

Status RestoreSnapshot(const VarSnapshot& snapshot) {
  for (uint8_t k = 0; k < 4; ++k) {
    StrDesc list = DynGet(kGroupNames, k);
    if (list.len < snapshot.list_length[k]) return kStInternal;
    if (list.len > snapshot.list_length[k]) {
      Status st = DynSet(kGroupNames, k, StrMake(list.ptr, snapshot.list_length[k]));
      if (st != 0) return st;
    }
  }
  if (RecInfo(kRecIntegers, 0) > snapshot.integer_count) {
    Status st = RecResize(kRecIntegers, snapshot.integer_count);
    if (st != 0) return st;
  }
  if (RecInfo(kRecNumbers, 0) > snapshot.number_count) {
    Status st = RecResize(kRecNumbers, snapshot.number_count);
    if (st != 0) return st;
  }
  uint16_t arrays = RecInfo(kRecArrays, 0);
  if (arrays > snapshot.array_count) {
    for (uint16_t i = arrays; i-- > snapshot.array_count;)
      FreeArrayStorage(i);
    Status st = RecResize(kRecArrays, snapshot.array_count);
    if (st != 0) return st;
  }
  uint16_t strings = DynCount(kGroupStrings);
  for (uint16_t i = snapshot.string_count; i < strings; ++i) {
    if (DynGet(kGroupStrings, i).len == 0) continue;
    Status st = DynSet(kGroupStrings, i, Lit(""));
    if (st != 0) return st;
  }
  return 0;
}

Status InitVariables() {
  Status st = DynInit();
  if (st != 0) return st;
  st = RecTablesCreate();
  if (st != 0) return st;
  // The defaults are scaled with the decimals they are read back with.
  NumSetDecimals(2);
  const StrDesc lists[2] = {Lit(kSystemIntegers), Lit(kSystemStrings)};
  for (int l = 0; l < 2; ++l) {
    uint16_t count = ListCount(lists[l], ',');
    for (uint16_t k = 1; k <= count; ++k) {
      StrDesc entry = ListItem(lists[l], ',', k);
      uint16_t eq = StrFindChar(entry, '=', 1);
      StrDesc name = eq == kNotFound ? entry : StrSub(entry, 0, eq);
      StrDesc text = eq == kNotFound ? Lit("") : StrSub(entry, eq + 1, entry.len);
      TempMarkValue mark = TempMark();
      StrDesc value = l == 0 ? NumToBytes(NumTextScaled(text)) : text;
      st = StrIsError(value) ? StrCheck(value) : Assign(name, value, false);
      TempRelease(mark);
      if (st != 0) return st;
    }
  }
  return 0;
}

void ReleaseVariables() {
  for (uint16_t i = RecInfo(kRecArrays, 0); i-- > 0;)
    FreeArrayStorage(i);
  RecTablesFree();
  SetVarFieldHook(nullptr);
  NumSetDecimals(2);
}

Status ReadElement(StrDesc name, const StrDesc* args, uint16_t count, uint8_t string_args) {
  Status st = StrCheck(name);
  if (st != 0) return st;
  uint8_t element_kind = ElementKind(name);
  if (ClassifyName(name) != kVarArray || element_kind == 0) return kStSyntax;
  Subscripts subs;
  st = ReadSubscripts(args, count, string_args, &subs);
  if (st != 0) return st;
  VarRef ref = LookupVariable(name);
  ArrayDesc desc;
  if (ref.index == kVarAbsent) {
    st = CreateFromReference(name, ref, element_kind, subs, &desc);
    if (st != 0) return st;
  } else if (!LoadArray(ref.index, &desc)) {
    return kStInternal;
  }
  int64_t offset = ElementOffset(desc, subs);
  if (offset < 0) return kStDataOutBound;
  return PushElement(desc, offset);
}

Status AssignElement(StrDesc name, const StrDesc* args, uint16_t count, uint8_t string_args,
                     StrDesc value) {
  Status st = StrCheck(name);
  if (st == 0) st = StrCheck(value);
  if (st != 0) return st;
  if (ClassifyName(name) != kVarArray || ElementKind(name) == 0) return kStSyntax;
  Subscripts subs;
  st = ReadSubscripts(args, count, string_args, &subs);
  if (st != 0) return st;
  VarRef ref = LookupVariable(name);
  if (ref.index == kVarAbsent) return kStDimStruct;
  ArrayDesc desc;
  if (!LoadArray(ref.index, &desc)) return kStInternal;
  int64_t offset = ElementOffset(desc, subs);
  if (offset < 0) return kStDataOutBound;
  // The copy is taken first: value may lie in the array's own storage.
  StrDesc copy = StrCopy(value);
  if (StrIsError(copy)) return StrCheck(copy);
  StoreElement(desc, offset, copy);
  return 0;
}

Status FillElements(StrDesc name, StrDesc value, uint16_t first, uint16_t end) {
  Status st = StrCheck(name);
  if (st == 0) st = StrCheck(value);
  if (st != 0) return st;
  if (ClassifyName(name) != kVarArray) return kStSyntax;
  VarRef ref = LookupVariable(name);
  if (ref.index == kVarAbsent) return kStDataOutBound;
  ArrayDesc desc;
  if (!LoadArray(ref.index, &desc)) return kStInternal;
  TempMarkValue mark = TempMark();
  StrDesc copy = StrCopy(value);
  if (StrIsError(copy)) return StrCheck(copy);
  uint16_t last = end > desc.total ? desc.total : end;
  for (uint16_t e = first; e < last; ++e)
    StoreElement(desc, e, copy);
  TempRelease(mark);
  return 0;
}

Status AddToElement(StrDesc name, uint16_t i, int64_t n, bool add) {
  if (StrIsError(name) || ClassifyName(name) != kVarArray) return kStDimStruct;
  VarRef ref = LookupVariable(name);
  ArrayDesc desc;
  if (ref.index == kVarAbsent || !LoadArray(ref.index, &desc) || desc.kind != kVarNumber ||
      i >= desc.total) {
    return kStDimStruct;
  }
  char* p = desc.storage + uint32_t{i} * desc.width;
  int64_t v = add ? WrapAdd(ReadRaw64(p), n) : n;
  std::memcpy(p, &v, sizeof v);
  return 0;
}

Status EnsureAccumulators(StrDesc name) {
  if (!StrEq(name, "_#")) return 0;
  StrDesc array_name = Lit(kAccumulatorName);
  VarRef ref = LookupVariable(array_name);
  if (ref.index != kVarAbsent) return 0;
  ArrayDesc shape;
  shape.kind = kVarNumber;
  shape.dims = 1;
  shape.width = 8;
  shape.total = kAccumulatorCount;
  shape.size[0] = kAccumulatorCount;
  ArrayDesc made;
  return CreateArray(array_name, ref, shape, StrDesc{}, &made);
}
