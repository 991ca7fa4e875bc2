#include "language/evaluator.h"

#include <cstring>

#include "core/fixed_point.h"
#include "core/hook_table.h"
#include "core/status.h"
#include "core/str_lib.h"
#include "core/temp_stack.h"
#include "language/builtins.h"
#include "language/builtins_internal.h"
#include "language/field_refs.h"
#include "language/struct_constants.h"
#include "language/variables.h"
#include "screens/masks.h"

namespace {

constexpr char kEmptyText[1] = {0};

// Nesting of operands and operator rounds (groups, calls, unary signs,
// chained assignments). A pathological text could otherwise exhaust the
// native stack; beyond the limit evaluation fails with 145.
constexpr int kMaxNesting = 256;
int g_nesting = 0;

struct NestingGuard {
  NestingGuard() { ++g_nesting; }
  ~NestingGuard() { --g_nesting; }
  bool TooDeep() const { return g_nesting > kMaxNesting; }
};

inline StrDesc EmptyText() {
  return StrMake(kEmptyText, 0);
}

// The status of a result that an operation has just pushed.
inline Status Push(StrDesc pushed) {
  return StrCheck(pushed);
}

inline Status PushEmpty() {
  return TempPushCopy(EmptyText());
}

// Wrapping 64-bit arithmetic: overflow is not reported.
inline int64_t WrapMul(int64_t a, int64_t b) {
  return static_cast<int64_t>(static_cast<uint64_t>(a) * static_cast<uint64_t>(b));
}
inline int64_t WrapAdd(int64_t a, int64_t b) {
  return static_cast<int64_t>(static_cast<uint64_t>(a) + static_cast<uint64_t>(b));
}
inline int64_t WrapSub(int64_t a, int64_t b) {
  return static_cast<int64_t>(static_cast<uint64_t>(a) - static_cast<uint64_t>(b));
}

inline int64_t TruncDiv(int64_t x, int64_t d) {
  if (d == 0) return 0;
  if (d == -1) return WrapSub(0, x);
  return x / d;
}

inline bool IsAsciiLetter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
inline char AsciiUpper(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
}

// Makes the entries above mark exactly one: the newest (an empty text when
// nothing was pushed).
void KeepOne(TempMarkValue mark) {
  const TempMarkValue depth = TempMark();
  if (depth == mark) {
    PushEmpty();
  } else if (depth > mark + 1) {
    TempKeep(mark, TempTop());
  }
}

void AppendDetail(Status code, StrDesc text) {
  if (text.len != 0) ErrDetail(code, text, true);
}

// --- operands ---

Status PushNumericLiteral(StrDesc operand) {
  if (operand.len > 1 && operand.ptr[0] == '.' && IsAsciiLetter(operand.ptr[1])) {
    int32_t value = 0;
    if (!StructConstant(StrMake(operand.ptr + 1, static_cast<uint16_t>(operand.len - 1)), &value)) {
      return kStSyntax;
    }
    return Push(NumToBytes(WrapMul(value, NumScale())));
  }
  return Push(NumToBytes(NumParse(operand)));
}

Status PushStringLiteral(StrDesc operand) {
  const TempMarkValue mark = TempMark();
  const StrDesc v = StrNormalize(operand);
  if (StrIsError(v)) return StrCheck(v);
  if (TempMark() != mark) return 0;  // already pushed (upper-cased copy)
  return Push(StrCopy(v));
}

// Evaluates up to four subscripts (or call arguments) of a group; each value
// stays pushed. *count and *string_bits describe them.
Status EvaluateSubscripts(StrDesc group, StrDesc* args, uint16_t* count, uint8_t* string_bits) {
  TokenState sub = StateOver(group.ptr, group.len);
  *count = 0;
  *string_bits = 0;
  while (sub.position < sub.length && *count < 4) {
    sub.op = kOpNone;
    sub = EvaluateNext(sub);
    if (sub.status >= 128) return sub.status;
    args[*count] = TempTop();
    if (sub.flags & kFlagString) *string_bits = static_cast<uint8_t>(*string_bits | (1u << *count));
    ++*count;
  }
  return 0;
}

StrDesc ArrayName(StrDesc name) {
  return StrConcat(name, Lit("("));
}

// A text returned for a name (field hook, external function) converted by
// the name's type and pushed.
Status PushTextAs(StrDesc name, StrDesc text) {
  switch (ClassifyName(name)) {
    case kVarInteger:
      return Push(NumToBytes(NumTextScaled(text)));
    case kVarString:
      return Push(StrCopy(text));
    case kVarNumber:
      return Push(NumToBytes(NumParse(text)));
    default:
      return kStSyntax;
  }
}

// An array element, or an external call for a name that begins with '_'.
Status PushCall(const TokenState& st) {
  const StrDesc name = TokenOperand(st);
  StrDesc args[4];
  uint16_t count = 0;
  uint8_t string_bits = 0;
  Status s = EvaluateSubscripts(TokenGroup(st), args, &count, &string_bits);
  if (s >= 128) return s;
  if (name.ptr[0] != '_') return ReadElement(ArrayName(name), args, count, string_bits);
  const auto hook = HookAs<ExternalFunctionHook>(kHookExternalFunction);
  if (hook == nullptr) {
    // No external functions are registered: the call has the value 0.
    return Push(NumToBytes(0));
  }
  int32_t first = 0;
  if (count > 0) {
    first = (string_bits & 1) ? StrToInt(args[0])
                              : static_cast<int32_t>(RoundDiv(NumFromBytes(args[0]), NumScale()));
  }
  const StrDesc r = hook(name, first);
  if (StrIsError(r)) return StrCheck(r);
  return PushTextAs(name, r);
}

// Pushes the value of a scanned operand; groups update st->flags.
Status OperandValue(TokenState* st) {
  const StrDesc operand = TokenOperand(*st);
  const uint16_t flags = st->flags;
  if (flags & kFlagGroup) {
    const StrDesc g = TokenGroup(*st);
    const uint16_t r = EvaluatePrepared(g.ptr, g.len);
    if (r <= kTypeString) {
      st->flags = static_cast<uint16_t>((flags & ~kFlagString) | r);
      return 0;
    }
    return r;
  }
  if (operand.len == 0) {
    const Status s = Push(NumToBytes(0));
    return s != 0 ? s : Status{kStNullExpression};
  }
  if (flags & kFlagCall) return PushCall(*st);
  if (flags & kFlagBuiltin) return CallBuiltin(st->builtin, *st);
  if (flags & kFlagFieldRef) return ReadFieldRef(operand);
  if (flags & kFlagVariable) return ReadVariable(operand);
  if (flags & kFlagString) return PushStringLiteral(operand);
  if (flags == 0) return PushNumericLiteral(operand);
  return kStSyntax;
}

// --- operators ---

// L rounded half away from zero to a multiple of m (m >= 1).
int64_t RoundToMultiple(int64_t l, int64_t m) {
  int64_t q = l / m;
  const int64_t r = l % m;
  const uint64_t twice = (r < 0 ? -static_cast<uint64_t>(r) : static_cast<uint64_t>(r)) * 2;
  if (twice >= static_cast<uint64_t>(m)) q += (l < 0 ? -1 : 1);
  return WrapMul(q, m);
}

int64_t Pow10(int n) {
  int64_t p = 1;
  for (int i = 0; i < n; ++i)
    p *= 10;
  return p;
}

// '!': round L to n decimals, n being R's integer part.
int64_t RoundDecimals(int64_t l, int64_t ri) {
  const int p = NumDecimals();
  const int n = static_cast<int16_t>(static_cast<uint16_t>(ri));
  if (n == p) return l;
  if (n < p) {
    const int k = p - n;
    if (k > 18) return 0;
    return RoundToMultiple(l, Pow10(k));
  }
  const int k = n - p < 64 ? n - p : 64;
  int64_t v = l;
  for (int i = 0; i < k; ++i)
    v = WrapMul(v, 10);
  return v;
}

int64_t NumericOp(uint16_t op, int64_t l, int64_t r) {
  const int64_t s = NumScale();
  switch (op) {
    case kOpMul:
      return RoundDiv(WrapMul(l, r), s);
    case kOpDiv:
      return r == 0 ? 0 : RoundDiv(WrapMul(l, s), r);
    case kOpRound:
      return RoundDecimals(l, TruncDiv(r, s));
    case kOpPercent:
      return RoundDiv(RoundDiv(WrapMul(l, r), 100), s);
    case kOpLessPercent:
      return WrapSub(l, RoundDiv(RoundDiv(WrapMul(l, r), 100), s));
    case kOpAdd:
      return WrapAdd(l, r);
    case kOpSub:
      return WrapSub(l, r);
    case kOpGt:
      return l > r ? s : 0;
    case kOpLt:
      return l < r ? s : 0;
    case kOpEq:
      return l == r ? s : 0;
    case kOpGe:
      return l >= r ? s : 0;
    case kOpLe:
      return l <= r ? s : 0;
    case kOpNe:
      return l != r ? s : 0;
    case kOpAnd:
      return (static_cast<uint16_t>(l) != 0 && static_cast<uint16_t>(r) != 0) ? s : 0;
    case kOpOr:
      return (static_cast<uint16_t>(l) != 0 || static_cast<uint16_t>(r) != 0) ? s : 0;
    default:
      break;
  }
  // The bit operators work on the integer parts.
  const int64_t li = TruncDiv(l, s);
  const int64_t ri = TruncDiv(r, s);
  switch (op) {
    case kOpBitAnd:
      return WrapMul(s, li & ri);
    case kOpBar:
    case kOpAt:
      return (li & ri) == 0 ? WrapMul(s, li | ri) : 0;
    case kOpXor:
      return ((li | ri) != 0 && (li & ri) == 0) ? s : 0;
    default:
      return 0;
  }
}

bool EqualNoCase(const char* a, const char* b, uint16_t n) {
  for (uint16_t i = 0; i < n; ++i) {
    if (AsciiUpper(a[i]) != AsciiUpper(b[i])) return false;
  }
  return true;
}

// '==' with a '*' pattern on the right: a prefix (ignoring case) when the '*'
// is not first, a search (in upper case) for the text after a leading '*'.
bool PatternMatch(StrDesc l, StrDesc r) {
  const void* star = r.len ? std::memchr(r.ptr, '*', r.len) : nullptr;
  if (star == nullptr) return false;
  const uint16_t g = static_cast<uint16_t>(static_cast<const char*>(star) - r.ptr);
  if (g > 0) return l.len >= g && EqualNoCase(l.ptr, r.ptr, g);
  const char* piece = r.ptr + 1;
  const void* next = std::memchr(piece, '*', r.len - 1);
  const uint16_t n = next ? static_cast<uint16_t>(static_cast<const char*>(next) - piece)
                          : static_cast<uint16_t>(r.len - 1);
  if (n == 0) return true;
  if (n > l.len) return false;
  for (uint16_t i = 0; i + n <= l.len; ++i) {
    if (EqualNoCase(l.ptr + i, piece, n)) return true;
  }
  return false;
}

Status StringOp(uint16_t op, StrDesc l, StrDesc r, StrDesc* result, bool* is_string) {
  if (op == kOpAdd) {
    *result = StrConcat(l, r);
    *is_string = true;
    return StrCheck(*result);
  }
  if (op < kOpGt || op > kOpNe) return kStSyntax;
  const int c = StrCompare(l, r);
  bool t = false;
  switch (op) {
    case kOpGt:
      t = c > 0;
      break;
    case kOpLt:
      t = c < 0;
      break;
    case kOpEq:
      t = c == 0 || (!TestBits(kSysAuxStat, 0x80) && PatternMatch(l, r));
      break;
    case kOpGe:
      t = c >= 0;
      break;
    case kOpLe:
      t = c <= 0;
      break;
    default:
      t = c != 0;
      break;
  }
  *result = NumToBytes(t ? NumScale() : 0);
  *is_string = false;
  return StrCheck(*result);
}

// Applies a binary operator (not '=') and pushes the result.
Status ApplyOperator(uint16_t op, const TokenState& left, StrDesc lv, bool left_string, StrDesc rv,
                     bool right_string, StrDesc* result, bool* result_string) {
  if (left_string && right_string) return StringOp(op, lv, rv, result, result_string);
  int64_t r = 0;
  if (!left_string && !right_string) {
    r = NumFromBytes(rv);
  } else if (!left_string && (left.flags & kFlagFieldRef) && right_string) {
    r = NumParse(rv);
  } else {
    return kStTypeMismatch;
  }
  *result = NumToBytes(NumericOp(op, NumFromBytes(lv), r));
  *result_string = false;
  return StrCheck(*result);
}

// The text a number is stored as in a field: _PRECIS decimals at most.
StrDesc NumberFieldText(StrDesc value) {
  const StrDesc t = NumFormatD(NumFromBytes(value));
  if (!StrIsError(t) && t.len == 0) return StrCopy(Lit("0"));
  return t;
}

// The assignment target = value. Leaves whatever the stores push; the caller
// keeps the value.
Status Assign(const TokenState& target, StrDesc value, bool value_string) {
  const uint16_t f = target.flags;
  const StrDesc name = TokenOperand(target);
  if (f & kFlagGroup) return kStSyntax;
  if (f & (kFlagBuiltin | kFlagCall)) {
    if (f & kFlagBuiltin) {
      const Status s = EnsureAccumulators(name);
      if (s >= 128) return s;
    }
    // Elements take values of their own kind only.
    const uint8_t element = ClassifyName(name);
    if (element != kVarInvalid && (element == kVarString) != value_string) return kStTypeMismatch;
    StrDesc args[4];
    uint16_t count = 0;
    uint8_t string_bits = 0;
    const Status s = EvaluateSubscripts(TokenGroup(target), args, &count, &string_bits);
    if (s >= 128) return s;
    return AssignElement(ArrayName(name), args, count, string_bits, value);
  }
  if (f & kFlagFieldRef) {
    // Text fields take text (a number written with _PRECIS decimals);
    // numeric fields take numbers (a string read as one).
    const bool text_field = (f & kFlagString) != 0;
    StrDesc v = value;
    if (text_field && !value_string) v = NumberFieldText(value);
    if (!text_field && value_string) v = NumToBytes(NumParse(value));
    if (StrIsError(v)) return StrCheck(v);
    return AssignFieldRef(name, v);
  }
  if (f & kFlagVariable) {
    if (((f & kFlagString) != 0) != value_string) return kStTypeMismatch;
    return AssignVariable(name, value);
  }
  return kStSyntax;
}

}  // namespace

TokenState EvaluateOperand(TokenState state) {
  const uint16_t previous_op = state.op;
  TokenState st = NextToken(state);
  if (st.status != 0 || st.op == kOpAssign) return st;
  const NestingGuard guard;
  if (guard.TooDeep()) {
    st.status = ErrDetail(kStOutOfMemory, TokenOperand(st), true);
    return st;
  }
  const TempMarkValue mark = TempMark();
  Status s = OperandValue(&st);
  if (s == kStAtypical && previous_op == kOpAssign) s = kStTypeMismatch;
  if (s >= 128) {
    TempRelease(mark);
    AppendDetail(s, TokenOperand(st));
  } else {
    KeepOne(mark);
  }
  st.status = s;
  return st;
}

TokenState Combine(TokenState st, uint16_t min_precedence) {
  const NestingGuard guard;
  if (guard.TooDeep() && st.status < 128) st.status = kStOutOfMemory;
  while (st.status < 128 && st.op != kOpNone && st.precedence >= min_precedence) {
    const TokenState left = st;
    const uint16_t op = st.op;
    const uint16_t precedence = st.precedence;
    const bool target = op == kOpAssign;
    const bool left_string = (st.flags & kFlagString) != 0;
    const TempMarkValue right_mark = TempMark();
    const StrDesc lv = target ? EmptyText() : TempTop();

    TokenState r = EvaluateOperand(st);
    if (r.status == 0 && r.op == kOpAssign && !target) {
      // An assignment target inside an expression (1+A=2) cannot be assigned.
      r.status = kStSyntax;
      AppendDetail(r.status, TokenOperand(r));
    }
    if (r.status == kStNullExpression && (left_string || r.op == kOpNone)) r.status = kStSyntax;
    while (r.status < 128 && ((r.op != kOpNone && r.precedence > precedence) ||
                              r.status == kStNullExpression || (target && r.op == kOpAssign))) {
      if (r.op == kOpNone) {
        r.status = kStSyntax;
        break;
      }
      r = Combine(r, r.precedence);
    }
    if (r.status >= 128) {
      st = r;
      break;
    }
    if (r.status != 0) {
      // A soft status: the operator is not applied and the right value
      // stands for both.
      if (!target) TempKeep(static_cast<TempMarkValue>(right_mark - 1), TempTop());
      st = r;
      continue;
    }
    const StrDesc rv = TempTop();
    const bool right_string = (r.flags & kFlagString) != 0;
    Status s = 0;
    bool result_string = false;
    if (target) {
      s = Assign(left, rv, right_string);
      result_string = right_string;
      if (s < 128) TempKeep(right_mark, rv);
    } else {
      StrDesc result;
      s = ApplyOperator(op, left, lv, left_string, rv, right_string, &result, &result_string);
      if (s < 128) TempKeep(static_cast<TempMarkValue>(right_mark - 1), result);
    }
    r.status = s;
    r.flags = result_string ? kFlagString : 0;
    st = r;
  }
  st.flags &= kFlagString;
  return st;
}

TokenState EvaluateNext(TokenState st) {
  const TempMarkValue mark = TempMark();
  st.status = 0;
  st = EvaluateOperand(st);
  st = Combine(st, 0);
  if (st.status >= 128) {
    TempRelease(mark);
    PushEmpty();
  } else {
    KeepOne(mark);
  }
  return st;
}

uint16_t EvaluatePrepared(const char* text, uint16_t length) {
  const TempMarkValue mark = TempMark();
  TokenState st = StateOver(text, length);
  Status status = 0;
  uint16_t type = kTypeNumber;
  uint16_t expression_start = 0;
  bool evaluated = false;
  while (st.position < st.length && status < 128 && status != kStCancelled) {
    expression_start = st.position;
    st.status = 0;
    st = EvaluateOperand(st);
    st = Combine(st, 0);
    status = st.status;
    evaluated = true;
    if (status < 128) {
      TempKeep(mark, TempTop());
      type = (st.flags & kFlagString) ? kTypeString : kTypeNumber;
    }
  }
  if (status >= 128) {
    TempRelease(mark);
    ErrSet(1, kModExpExec, status, 0);
    AppendDetail(
        status, StrMake(text + expression_start, static_cast<uint16_t>(length - expression_start)));
    PushEmpty();
    return status;
  }
  if (!evaluated) TempKeep(mark, NumToBytes(0));
  if (type == kTypeString && status == kStAtypical) {
    TempKeep(mark, EmptyText());
    status = 0;
  }
  if (status >= 122) ErrSet(1, kModExpExec, status, 0);
  return (status == 0 || status == kStNullExpression) ? type : status;
}

uint16_t Evaluate(StrDesc text) {
  const TempMarkValue mark = TempMark();
  const TokenState st = PrepareExpression(text);
  if (st.status != 0) {
    TempRelease(mark);
    ErrSet(1, kModExpExec, st.status, 0);
    PushEmpty();
    return st.status;
  }
  const uint16_t r = EvaluatePrepared(st.text, st.length);
  TempKeep(mark, TempTop());
  return r;
}

uint16_t EvaluateCondition(StrDesc text) {
  if (!StrIsError(text) && text.len == 0) return 1;
  const TempMarkValue mark = TempMark();
  const uint16_t r = Evaluate(text);
  uint16_t result = 0;
  if (r == kTypeNumber) {
    result = NumFromBytes(TempTop()) != 0 ? 1 : 0;
  } else if (r >= 122) {
    result = r;
  }
  TempRelease(mark);
  return result;
}

StrDesc EvaluateToText(StrDesc text) {
  const TempMarkValue mark = TempMark();
  const uint16_t r = Evaluate(text);
  if (r == kTypeNumber) return TempKeep(mark, NumFormatD(NumFromBytes(TempTop())));
  if (r == kTypeString) return TempKeep(mark, TempTop());
  TempRelease(mark);
  return StrError(r);
}

int64_t EvaluateInteger(StrDesc text) {
  const TempMarkValue mark = TempMark();
  const uint16_t r = Evaluate(text);
  int64_t v = 0;
  if (r == kTypeNumber) v = RoundDiv(NumFromBytes(TempTop()), NumScale());
  TempRelease(mark);
  return v;
}

Status EvaluateStatus(StrDesc text) {
  const uint16_t r = Evaluate(text);
  return r >= 128 ? r : 0;
}

StrDesc EvaluateIfString(StrDesc text) {
  if (ExpressionKind(text) == 1) return EvaluateToText(text);
  return text;
}

Status EvaluateFile(StrDesc name, bool must_exist) {
  const TempMarkValue mark = TempMark();
  const StrDesc text = ReadExpressionFile(name);
  if (StrIsError(text) || text.len == 0) {
    const Status code = StrIsError(text) ? StrCheck(text) : Status{kStFileNotFound};
    TempRelease(mark);
    PushEmpty();
    if (code != kStFileNotFound) return code;
    return must_exist ? ErrDetail(kStFileNotFound, name, true) : 0;
  }
  const Status s = EvaluateStatus(text);
  TempKeep(mark, TempTop());
  return s;
}

Status AssignFromInput(StrDesc name, StrDesc text, bool is_text) {
  if (const Status c = StrCheck(name); c != 0) return c;
  if (const Status c = StrCheck(text); c != 0) return c;
  const TempMarkValue mark = TempMark();
  const StrDesc value = is_text ? text : NumToBytes(NumParse(FmtCleanNumber(text)));
  Status s = StrCheck(value);
  if (s != 0) {
    TempRelease(mark);
    return s;
  }
  const uint8_t type = ClassifyName(name);
  if (type == kVarInteger || type == kVarNumber || type == kVarString) {
    s = ((type == kVarString) != is_text) ? Status{kStTypeMismatch} : AssignVariable(name, value);
  } else if (type == kVarArray) {
    const uint16_t open = StrFindChar(name, '(', 0);
    const StrDesc array = StrMake(name.ptr, static_cast<uint16_t>(open + 1));
    const uint8_t element = ClassifyName(StrMake(name.ptr, open));
    if ((element == kVarString) != is_text) {
      s = kStTypeMismatch;
    } else {
      const StrDesc rest = StrMake(name.ptr + open, static_cast<uint16_t>(name.len - open));
      const TokenState prepared = PrepareExpression(StrMake(rest.ptr + 1, GroupLength(rest)));
      s = prepared.status;
      if (s == 0) {
        StrDesc args[4];
        uint16_t count = 0;
        uint8_t string_bits = 0;
        s = EvaluateSubscripts(StrMake(prepared.text, prepared.length), args, &count, &string_bits);
        if (s < 128) s = AssignElement(array, args, count, string_bits, value);
      }
    }
  } else {
    s = kStTypeMismatch;
  }
  TempRelease(mark);
  return s;
}
