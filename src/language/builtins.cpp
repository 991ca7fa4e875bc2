#include "language/builtins.h"

#include <cstring>

#include "core/dyn_strings.h"
#include "core/fixed_point.h"
#include "core/hook_table.h"
#include "core/status.h"
#include "core/str_lib.h"
#include "core/temp_stack.h"
#include "core/token_list.h"
#include "language/brackets.h"
#include "language/builtins_internal.h"
#include "language/calendar.h"
#include "language/evaluator.h"
#include "language/field_refs.h"
#include "language/local_lists.h"
#include "language/variables.h"
#include "screens/masks.h"
#include "storage/folders.h"

namespace {

constexpr char kEmpty[1] = {0};
inline StrDesc Empty() {
  return StrMake(kEmpty, 0);
}

inline int64_t Scale() {
  return NumScale();
}
inline int64_t ToInteger(int64_t raw) {
  return RoundDiv(raw, Scale());
}

// How many arguments the dispatcher evaluates before calling the handler.
enum EvalMode : uint8_t {
  kEvalAll,    // every argument (up to 16)
  kEvalNone,   // none: the handler reads the argument text
  kEvalFirst,  // the first only: the handler walks the rest
  kEvalFour,   // the first four: the handler takes the rest as text
  kEvalFrame,  // every argument, inside a nesting frame (SQLCHILD)
};

// --- the argument list ---

// Evaluates up to `limit` arguments of the group state onto the
// ArgumentStack (from `base`). Returns the status and updates *st, *count and
// types.
Status EvaluateArgumentsOnto(TokenState* st, uint16_t limit, uint16_t* count, bool* is_string) {
  const uint16_t base = DynCount(kArgumentGroup);
  *count = 0;
  while (st->position < st->length && *count < limit) {
    const TempMarkValue mark = TempMark();
    st->op = kOpNone;
    *st = EvaluateNext(*st);
    if (st->status >= 128) {
      TempRelease(mark);
      DynTruncate(kArgumentGroup, base);
      return st->status;
    }
    StrDesc v = TempTop();
    is_string[*count] = (st->flags & kFlagString) != 0;
    if (st->status == kStNullExpression || v.len == 0) v = StrMake(&kEmptyArgument, 1);
    const Status s = DynPush(kArgumentGroup, v);
    TempRelease(mark);
    if (s != 0) {
      DynTruncate(kArgumentGroup, base);
      return s;
    }
    ++*count;
  }
  st->status = 0;
  return 0;
}

// Takes `count` arguments back off the ArgumentStack, last first, as
// TempStack copies.
Status TakeArguments(BuiltinCall* call) {
  for (int k = call->count - 1; k >= 0; --k) {
    const StrDesc v = DynPopCopy(kArgumentGroup);
    if (StrIsError(v)) return StrCheck(v);
    call->arg[k] = ArgumentValue(v);
  }
  return 0;
}

// --- handlers ---

StrDesc AccumulatorName() {
  return Lit("_#(");
}

// a + b and a * b held at the ends of the 64-bit range instead of wrapping.
int64_t SaturatedAdd(int64_t a, int64_t b) {
  int64_t r = 0;
  if (__builtin_add_overflow(a, b, &r)) return a < 0 ? INT64_MIN : INT64_MAX;
  return r;
}
int64_t SaturatedMul(int64_t a, int64_t b) {
  int64_t r = 0;
  if (__builtin_mul_overflow(a, b, &r)) return (a < 0) != (b < 0) ? INT64_MIN : INT64_MAX;
  return r;
}

// An integer argument as an element number of a 16-bit element range.
uint16_t ElementNumber(int64_t n) {
  return n < 0 ? 0 : (n > 0xFFFF ? 0xFFFF : static_cast<uint16_t>(n));
}

Status ReadAccumulator(int64_t index) {
  const TempMarkValue mark = TempMark();
  // Far-off indexes stay far off (and out of the array) instead of wrapping.
  const StrDesc sub = NumToBytes(SaturatedMul(index, Scale()));
  const Status s = ReadElement(AccumulatorName(), &sub, 1, 0);
  if (s < 128) TempKeep(mark, TempTop());
  return s;
}

// _#(key; int2; int3): the accumulators.
Status FnAccum(BuiltinCall& c) {
  int64_t int2 = 0;
  int64_t int3 = 0;
  Status s = ArgInt(c, 2, 0, &int2);
  if (s == 0) s = ArgInt(c, 3, 0, &int3);
  if (s != 0) return s;
  int64_t index = 0;
  if (ArgIsString(c, 1)) {
    const StrDesc key = c.arg[0];
    if (StrEq(key, "CLS")) {
      const uint16_t first = ElementNumber(int3);
      const uint16_t end = int2 <= 0 ? 0xFFFF : ElementNumber(int2);
      const Status f = FillElements(AccumulatorName(), NumToBytes(0), first, end);
      if (f >= 128 && f != kStDataOutBound) return f;
      return PushInteger(0);
    }
    if (!StrEq(key, "DIM")) {
      const uint16_t pos = ListFind(StringVar(kSysAcumX), key, ',');
      if (pos == 0) return PushInteger(0);
      index = pos - 1;
    }
  } else {
    s = ArgInt(c, 1, 0, &index);
    if (s != 0) return s;
  }
  return ReadAccumulator(SaturatedAdd(index, int2));
}

Status FnSLen(BuiltinCall& c) {
  StrDesc s;
  if (const Status st = ArgStr(c, 1, Empty(), &s); st != 0) return st;
  return PushInteger(s.len);
}

// FN#PARM(list; word; values).
Status FnNParm(BuiltinCall& c) {
  StrDesc list;
  if (const Status st = ArgStr(c, 1, Empty(), &list); st != 0) return st;
  if (c.count == 1) return PushInteger(ListCount(list, ','));
  if (c.count == 3 && !ArgIsString(c, 3) && ArgGiven(c, 3)) {
    int64_t value = 0;
    if (ArgIsString(c, 2)) {
      value = ToInteger(NumParse(c.arg[1]));
    } else if (const Status st = ArgInt(c, 2, 0, &value); st != 0) {
      return st;
    }
    return PushInteger(RangeListFind(list, value));
  }
  StrDesc word;
  if (const Status st = ArgText(c, 2, Empty(), &word); st != 0) return st;
  // The number 0 is written "0" here: its usual text, the empty one, would
  // find an empty item instead.
  if (word.len == 0 && ArgGiven(c, 2) && !ArgIsString(c, 2)) word = Lit("0");
  const uint16_t pos = ListFind(list, word, ',');
  if (c.count < 3) return PushInteger(pos);
  StrDesc values;
  if (const Status st = ArgStr(c, 3, Empty(), &values); st != 0) return st;
  return PushText(NumToBytes(NumParse(ListItem(values, ',', pos))));
}

// FN#VALN(text; kind; base).
Status FnValN(BuiltinCall& c) {
  StrDesc text;
  StrDesc kind;
  if (const Status st = ArgStr(c, 1, Empty(), &text); st != 0) return st;
  if (const Status st = ArgStr(c, 2, Lit("N"), &kind); st != 0) return st;
  const char letter = kind.len ? kind.ptr[0] : 'N';
  int unit = 0;
  switch (letter) {
    case 'N':
      return PushText(NumToBytes(NumParse(FmtCleanNumber(text))));
    case 'D':
      unit = kDateDay;
      break;
    case 'M':
      unit = kDateMonth;
      break;
    case 'Y':
      unit = kDateYear;
      break;
    case 'V':
      unit = kDateWhole;
      break;
    default:
      return kStSyntax;
  }
  if (!ArgGiven(c, 3)) return PushInteger(DatePart(text, unit));
  int64_t base = 0;
  if (ArgIsString(c, 3)) {
    base = DatePart(c.arg[2], kDateWhole);
  } else if (const Status st = ArgInt(c, 3, 0, &base); st != 0) {
    return st;
  }
  // A base beyond 32 bits keeps its side of 10,001 (a date, or an amount).
  const int32_t amount =
      base > INT32_MAX ? INT32_MAX : (base < INT32_MIN ? INT32_MIN : static_cast<int32_t>(base));
  return PushInteger(DateArith(text, amount, unit));
}

// An argument text without the parentheses that wholly enclose it.
StrDesc StripParentheses(StrDesc s) {
  while (s.len >= 2 && s.ptr[0] == '(' && s.ptr[s.len - 1] == ')' && GroupLength(s) == s.len - 2) {
    s = StrMake(s.ptr + 1, static_cast<uint16_t>(s.len - 2));
  }
  return s;
}

// Adds the value of expr to *sum; a string is read as a number.
Status AddValue(StrDesc expr, int64_t* sum) {
  const TempMarkValue mark = TempMark();
  const uint16_t r = Evaluate(expr);
  if (r >= 128) {
    TempRelease(mark);
    return r;
  }
  const StrDesc v = TempTop();
  const int64_t n = r == kTypeString ? NumParse(v) : NumFromBytes(v);
  *sum = static_cast<int64_t>(static_cast<uint64_t>(*sum) + static_cast<uint64_t>(n));
  TempRelease(mark);
  return 0;
}

// FN#ACUM(expr; counter; start; end) or FN#ACUM(expr; condition; next).
Status FnAcum(BuiltinCall& c) {
  StrDesc part[4];
  uint16_t n = 0;
  for (uint16_t k = 0; k < 4; ++k) {
    part[k] = StripParentheses(ArgumentText(c.group, static_cast<uint16_t>(k + 1)));
    if (part[k].len != 0) n = static_cast<uint16_t>(k + 1);
  }
  // Without a condition the loop would never end.
  if (n < 2) return kStSyntax;
  int64_t sum = 0;
  if (n == 4) {
    const StrDesc counter = part[1];
    if (ClassifyName(counter) != kVarInteger || GroupLength(counter) != 0 ||
        std::memchr(counter.ptr, '(', counter.len) != nullptr) {
      return kStSyntax;
    }
    const int64_t end = EvaluateInteger(part[3]);
    const TempMarkValue mark = TempMark();
    const Status s = EvaluateStatus(StrConcat(StrConcat(counter, Lit("=")), part[2]));
    TempRelease(mark);
    if (s >= 128) return s;
    const VarRef ref = LookupVariable(counter);
    if (ref.index == kVarAbsent) return kStSyntax;
    while (EvaluateInteger(counter) <= end) {
      const Status a = AddValue(part[0], &sum);
      if (a >= 128) return a;
      const int16_t now = IntegerVar(ref.index);
      // The counter is 16 bits: stop before it would wrap round.
      if (now == INT16_MAX) break;
      SetIntegerVar(ref.index, static_cast<int16_t>(now + 1));
    }
  } else {
    const StrDesc next = part[2].len ? part[2] : part[1];
    uint16_t cond = EvaluateCondition(part[1]);
    while (cond == 1) {
      const Status a = AddValue(part[0], &sum);
      if (a >= 128) return a;
      cond = EvaluateCondition(next);
    }
    if (cond >= 128) return cond;
  }
  return PushText(NumToBytes(sum));
}

// CHK#(cond; then; else...) and CHK$: only the branch taken is evaluated.
Status FnChk(BuiltinCall& c, bool string_result) {
  int64_t cond = 0;
  if (const Status st = ArgInt(c, 1, 0, &cond); st != 0) return st;
  TokenState st = c.rest;
  bool have = false;
  bool is_string = string_result;
  const TempMarkValue mark = TempMark();
  auto evaluate_one = [&]() -> Status {
    TempRelease(mark);
    st.op = kOpNone;
    st = EvaluateNext(st);
    if (st.status >= 128) return st.status;
    have = true;
    if (st.status == kStNullExpression) {
      // An empty branch: the empty string (CHK$) or 0.
      TempKeep(mark, string_result ? Empty() : NumToBytes(0));
      is_string = string_result;
    } else {
      is_string = (st.flags & kFlagString) != 0;
    }
    return 0;
  };
  if (cond != 0) {
    if (st.position < st.length) {
      if (const Status s = evaluate_one(); s != 0) return s;
    }
  } else {
    if (st.position < st.length) st = SkipArgument(st);
    while (st.position < st.length) {
      if (const Status s = evaluate_one(); s != 0) return s;
    }
  }
  if (!have) return PushText(string_result ? Empty() : NumToBytes(0));
  return is_string == string_result ? 0 : kStAtypical;
}

Status FnChkN(BuiltinCall& c) {
  return FnChk(c, false);
}
Status FnChkS(BuiltinCall& c) {
  return FnChk(c, true);
}

// FN$CHNG(text; what; with; flag).
Status FnChng(BuiltinCall& c) {
  StrDesc text;
  StrDesc what;
  StrDesc with;
  Status st = ArgStr(c, 1, Empty(), &text);
  if (st == 0) st = ArgStr(c, 2, Empty(), &what);
  if (st == 0) st = ArgStr(c, 3, Empty(), &with);
  if (st != 0) return st;
  if (StrEq(what, "UCASE")) return PushText(StrCase(text, 1));
  if (StrEq(what, "LCASE")) return PushText(StrCase(text, 0));
  if (StrEq(what, "CLEAN")) return PushText(StrCollapse(text, ' ', 0));
  if (StrEq(what, "FILTER")) {
    if (c.count < 4) return PushText(StrKeepChars(text, with));
    StrDesc chars;
    if (const Status s = ArgText(c, 4, Empty(), &chars); s != 0) return s;
    return PushText(StrTranslateTokens(text, with, chars));
  }
  if (what.len == 0) return PushText(text);
  int plain = 0;
  if (ArgGiven(c, 4) && !ArgIsString(c, 4)) plain = NumFromBytes(c.arg[3]) != 0 ? 1 : 0;
  return PushText(StrReplace(text, what, with, plain));
}

// FN$CHRS(s; n).
Status FnChrs(BuiltinCall& c) {
  int64_t n = 1;
  if (const Status st = ArgInt(c, 2, 1, &n); st != 0) return st;
  StrDesc s;
  const TempMarkValue mark = TempMark();
  if (ArgIsString(c, 1)) {
    s = c.arg[0];
  } else {
    int64_t code = 0;
    if (const Status st = ArgInt(c, 1, 0, &code); st != 0) return st;
    s = StrChar(static_cast<char>(code));
  }
  if (n <= 0) {
    TempRelease(mark);
    return PushText(Empty());
  }
  if (s.len != 0 && n > 0xFFFF / s.len) {
    TempRelease(mark);
    return kStStringTooLong;
  }
  return StrCheck(TempKeep(mark, StrRepeat(s, static_cast<uint16_t>(n))));
}

bool HasDateSeparator(StrDesc s) {
  return StrFindAny(s, Lit("-./"), 1) != kNotFound;
}

// FN$DATE(date; style).
Status FnDate(BuiltinCall& c) {
  int64_t style = 0;
  if (const Status st = ArgInt(c, 2, 0, &style); st != 0) return st;
  const TempMarkValue mark = TempMark();
  StrDesc date = Empty();
  if (ArgGiven(c, 1)) {
    if (!ArgIsString(c, 1)) {
      date = NumFormatD(NumFromBytes(c.arg[0]));
    } else if (style & 0x80) {
      int32_t d = 0;
      date = FileModDate(c.arg[0], &d) == 0 ? DateText(d) : Empty();
      // A file that does not exist has no date.
      if (!StrIsError(date) && date.len == 0) return StrCheck(TempKeep(mark, Empty()));
    } else {
      date = c.arg[0];
    }
  }
  if (!StrIsError(date) && HasDateSeparator(date)) {
    date = DateParse(date);
    // A typed text that is no date is shown as an invalid date, not as today.
    if (!StrIsError(date) && date.len == 0) date = Lit("00000000");
  }
  return StrCheck(TempKeep(mark, DateFormat(date, static_cast<int>(style & 0x7F))));
}

// FN$FLDS(reference; buffer): the argument text is not evaluated.
Status FnFlds(BuiltinCall& c) {
  const StrDesc reference = ArgumentText(c.group, 1);
  const StrDesc buffer_text = ArgumentText(c.group, 2);
  if (ArgumentText(c.group, 3).len != 0 || reference.len == 0) return kStSyntax;
  int64_t buffer = 1;
  if (buffer_text.len != 0) buffer = EvaluateInteger(buffer_text);
  if (std::memchr(reference.ptr, '{', reference.len) != nullptr) {
    return FieldBufferText(reference, static_cast<int>(buffer));
  }
  const TempMarkValue mark = TempMark();
  TokenState st = NextToken(StateOver(reference.ptr, reference.len));
  if (st.status >= 128) return st.status;
  const bool element = (st.flags & kFlagCall) && !(st.flags & kFlagGroup);
  const StrDesc name = TokenOperand(st);
  if (element || LookupVariable(name).index != kVarAbsent) {
    // An array element or a defined variable; numbers are given as text.
    TokenState value = EvaluateNext(StateOver(reference.ptr, reference.len));
    if (value.status >= 128) return value.status;
    if (!(value.flags & kFlagString)) {
      return StrCheck(TempKeep(mark, NumFormatD(NumFromBytes(TempTop()))));
    }
    return StrCheck(TempKeep(mark, TempTop()));
  }
  const VarFieldHook hook = GetVarFieldHook();
  if (hook == nullptr || name.len == 0) return kStSyntax;
  const StrDesc r = hook(name, static_cast<int>(buffer));
  if (StrIsError(r) || r.len == 0) {
    TempRelease(mark);
    return kStSyntax;
  }
  return StrCheck(TempKeep(mark, StrCopy(r)));
}

// FN$MASK(mask; value; mode).
Status FnMask(BuiltinCall& c) {
  StrDesc mask;
  StrDesc value;
  int64_t mode = 255;
  Status st = ArgStr(c, 1, Empty(), &mask);
  if (st == 0) st = ArgText(c, 2, Empty(), &value);
  if (st == 0) st = ArgInt(c, 3, 255, &mode);
  if (st != 0) return st;
  return PushText(FmtApplyMask(mask, value, static_cast<int>(mode)));
}

// FN$MIDS(s; start; length): start 1-based, negative from the end.
Status FnMids(BuiltinCall& c) {
  StrDesc s;
  int64_t start = -1;
  int64_t length = -1;
  Status st = ArgStr(c, 1, Empty(), &s);
  if (st == 0) st = ArgInt(c, 2, -1, &start);
  if (st == 0) st = ArgInt(c, 3, -1, &length);
  if (st != 0) return st;
  const uint16_t count =
      length < 0 ? 0xFFFF : (length > 0xFFFF ? 0xFFFF : static_cast<uint16_t>(length));
  int32_t offset = 0;
  if (start > 0) {
    offset = start > 0xFFFF ? 0xFFFF : static_cast<int32_t>(start - 1);
  } else if (start < 0) {
    offset = start < -0xFFFF ? -0xFFFF : static_cast<int32_t>(start);
  }
  return PushText(StrSub(s, offset, count));
}

// FN$PARM(s; n; separator code).
Status FnSParm(BuiltinCall& c) {
  StrDesc s;
  int64_t n = -1;
  int64_t code = 44;
  Status st = ArgStr(c, 1, Empty(), &s);
  if (st == 0) st = ArgInt(c, 2, -1, &n);
  if (st == 0) st = ArgInt(c, 3, 44, &code);
  if (st != 0) return st;
  if (n < 1 || n > 0xFFFF) return PushText(Empty());
  return PushText(ListItem(s, static_cast<char>(code), static_cast<uint16_t>(n)));
}

// FN$TRIM(s; mode).
Status FnTrim(BuiltinCall& c) {
  const TempMarkValue mark = TempMark();
  StrDesc s;
  StrDesc mode;
  Status st = ArgText(c, 1, Empty(), &s);
  if (st == 0) st = ArgStr(c, 2, Lit("BOTHTRIM"), &mode);
  if (st != 0) {
    TempRelease(mark);
    return st;
  }
  const uint16_t which = ListFind(Lit("LEFTTRIM,RIGHTRIM,BOTHTRIM,FIT"), mode, ',');
  StrDesc r;
  switch (which) {
    case 1:
      r = StrTrim(s, 1);
      break;
    case 2:
      r = StrTrim(s, 2);
      break;
    case 3:
      r = StrTrim(s, 3);
      break;
    case 4:
      r = StrNormalize(s);
      break;
    default:
      TempRelease(mark);
      return kStSyntax;
  }
  return StrCheck(TempKeep(mark, r));
}

// ENVELOP$(s; code).
Status FnEnvelop(BuiltinCall& c) {
  StrDesc s;
  int64_t code = 39;
  Status st = ArgStr(c, 1, Empty(), &s);
  if (st == 0) st = ArgInt(c, 2, 39, &code);
  if (st != 0) return st;
  return PushText(StrWrap(s, static_cast<char>(code)));
}

// SORT$: the local lists.
Status FnSort(BuiltinCall& c) {
  const TempMarkValue mark = TempMark();
  // MOVE leaves its outcome here; other verbs leave the marker untouched.
  constexpr int16_t kUntouched = INT16_MIN;
  int16_t ier = kUntouched;
  const Status s = SortCall(c.arg, c.is_string, c.count, &ier);
  if (ier != kUntouched) SetIntegerVar(kSysIer, ier);
  if (s >= 128) {
    TempRelease(mark);
    return s;
  }
  if (TempMark() == mark) PushText(Empty());
  return s;
}

// EXEC$(name; file): an expression file, or a procedure through hook slot 1.
Status FnExec(BuiltinCall& c) {
  StrDesc name;
  StrDesc file;
  Status st = ArgStr(c, 1, Empty(), &name);
  if (st == 0) st = ArgStr(c, 2, Empty(), &file);
  if (st != 0) return st;
  const TempMarkValue mark = TempMark();
  const StrDesc ext = PathPart(name, kPathExt);
  if (c.count < 2 && !StrIsError(ext) && ext.len != 0) {
    const StrDesc text = ReadExpressionFile(name);
    if (StrIsError(text) || text.len == 0) {
      TempRelease(mark);
      return ErrDetail(kStFileNotFound, name, true);
    }
    const uint16_t r = Evaluate(text);
    if (r >= 128) {
      TempRelease(mark);
      return r;
    }
    if (r == kTypeString) return StrCheck(TempKeep(mark, TempTop()));
    // A number result given as text, since EXEC$ yields a string.
    return StrCheck(TempKeep(mark, NumFormatD(NumFromBytes(TempTop()))));
  }
  TempRelease(mark);
  const auto runner = HookAs<ProcedureRunnerHook>(kHookProcedureRunner);
  if (runner == nullptr) return ErrDetail(kStFeatureRemoved, Lit("EXEC$()"), true);
  const uint16_t results = DynCount(30);
  const Status r = runner(name, file, 2);
  if (r >= 122) return r;
  if (DynCount(30) > results) return PushText(DynPopCopy(30));
  return PushText(Empty());
}

// MACRO$(text; flags; keys).
Status FnMacro(BuiltinCall& c) {
  StrDesc text;
  StrDesc keys;
  int64_t flags = 0;
  Status st = ArgStr(c, 1, Empty(), &text);
  if (st == 0) st = ArgInt(c, 2, 0, &flags);
  if (st == 0) st = ArgStr(c, 3, Empty(), &keys);
  if (st != 0) return st;
  const TempMarkValue mark = TempMark();
  StrDesc r = ExpandBrackets(text, static_cast<uint16_t>(flags & ~0x08), keys);
  if (!StrIsError(r) && (flags & 0x08)) r = EvaluateToText(StrTrim(r, 3));
  return StrCheck(TempKeep(mark, r));
}

// ENVRON$(key; item).
Status FnEnvron(BuiltinCall& c) {
  StrDesc key;
  int64_t item = 1;
  Status st = ArgStr(c, 1, Empty(), &key);
  if (st == 0) st = ArgInt(c, 2, 1, &item);
  if (st != 0) return st;
  if (item < 0 || item > 0xFFFF) return PushText(Empty());
  const StrDesc text = DynGet(0, static_cast<uint16_t>(item));
  if (item <= 1) return PushText(KvGet(text, key, 3));
  return PushText(text);
}

// _$(group; item; value): direct access to DynStrings.
Status FnDyn(BuiltinCall& c) {
  int64_t group = 30;
  int64_t item = 0;
  StrDesc value;
  Status st = ArgInt(c, 1, 30, &group);
  if (st == 0) st = ArgInt(c, 2, 0, &item);
  if (st == 0) st = ArgStr(c, 3, Empty(), &value);
  if (st != 0) return st;
  if (group < 0 || group >= kDynGroups) return kStSyntax;
  const uint16_t g = static_cast<uint16_t>(group);
  if (c.count >= 3) {
    Status w = 0;
    if (g < 30) {
      if (item < 0 || item > 0xFFFF) return kStSyntax;
      w = DynSet(g, static_cast<uint16_t>(item), value);
    } else {
      w = DynPush(g, value);
    }
    if (w >= 128) return w;
  }
  if (item >= 0) {
    if (item > 0xFFFF) return PushText(Empty());
    return PushText(g < 30 ? DynGet(g, static_cast<uint16_t>(item)) : DynTop(g));
  }
  if (g < 30) return kStSyntax;
  for (int64_t k = 0; k < -item && DynCount(g) != 0; ++k) {
    const Status p = DynPop(g);
    if (p >= 128) return p;
  }
  return PushText(Empty());
}

// TIME$(time; style).
Status FnTime(BuiltinCall& c) {
  int64_t style = 0;
  if (const Status st = ArgInt(c, 2, 0, &style); st != 0) return st;
  int32_t t = 0;
  if (!ArgGiven(c, 1)) {
    t = TimeOfDay();
  } else if (!ArgIsString(c, 1)) {
    return kStTypeMismatch;
  } else if (style & 0x80) {
    // A file that does not exist has no time.
    if (FileModTime(c.arg[0], &t) != 0) return PushText(Empty());
  } else {
    t = TimeParse(c.arg[0]);
  }
  return PushText(TimeFormat(t, static_cast<int>(style & 0x7F)));
}

// EXP$(template; operands...): "$k_" replaced by the text of operand k.
Status FnExp(BuiltinCall& c) {
  StrDesc templ;
  if (const Status st = ArgStr(c, 1, Empty(), &templ); st != 0) return st;
  const TempMarkValue mark = TempMark();
  StrDesc r = StrCopy(templ);
  TokenState st = c.rest;
  uint32_t k = 0;
  while (st.position < st.length && !StrIsError(r)) {
    st = ScanRaw(st);
    ++k;
    const StrDesc placeholder = StrFormat(15, "$%u_", static_cast<unsigned>(k));
    r = TempKeep(mark, StrReplace(r, placeholder, TokenOperand(st), 1));
  }
  return StrCheck(TempKeep(mark, r));
}

Status FnSqlChild(BuiltinCall&) {
  return PushInteger(0);
}

struct BuiltinDef {
  uint8_t min;
  uint8_t max;
  EvalMode mode;
  BuiltinHandler handler;
};

constexpr BuiltinDef kBuiltins[kBuiltinCount] = {
    {1, 3, kEvalAll, FnAccum},            // _#
    {1, 1, kEvalAll, BuiltinFileLength},  // FN#FLEN
    {1, 1, kEvalAll, FnSLen},             // FN#SLEN
    {1, 3, kEvalAll, FnNParm},            // FN#PARM
    {1, 3, kEvalAll, FnValN},             // FN#VALN
    {0, 16, kEvalNone, FnAcum},           // FN#ACUM
    {0, 16, kEvalFirst, FnChkN},          // CHK#
    {1, 4, kEvalAll, BuiltinFileFind},    // FILEFIND
    {3, 4, kEvalFour, BuiltinFileRel},    // FILEREL
    {1, 2, kEvalAll, BuiltinFileLocate},  // FILELOCATE
    {1, 2, kEvalAll, BuiltinFileSel},     // FILESEL
    {2, 4, kEvalAll, FnChng},             // FN$CHNG
    {1, 2, kEvalAll, FnChrs},             // FN$CHRS
    {0, 2, kEvalAll, FnDate},             // FN$DATE
    {0, 16, kEvalNone, FnFlds},           // FN$FLDS
    {2, 3, kEvalAll, FnMask},             // FN$MASK
    {2, 3, kEvalAll, FnMids},             // FN$MIDS
    {0, 16, kEvalAll, FnSParm},           // FN$PARM
    {1, 2, kEvalAll, FnTrim},             // FN$TRIM
    {1, 2, kEvalAll, FnEnvelop},          // ENVELOP$
    {0, 16, kEvalFirst, FnChkS},          // CHK$
    {0, 16, kEvalAll, FnSort},            // SORT$ (its own count checks)
    {1, 2, kEvalAll, FnExec},             // EXEC$
    {1, 3, kEvalAll, BuiltinRead},        // READ$
    {3, 3, kEvalAll, BuiltinWrite},       // WRITE
    {1, 3, kEvalAll, FnMacro},            // MACRO$
    {1, 2, kEvalAll, FnEnvron},           // ENVRON$
    {0, 3, kEvalAll, FnDyn},              // _$
    {0, 4, kEvalAll, BuiltinKey},         // KEY$
    {0, 2, kEvalAll, FnTime},             // TIME$
    {0, 1, kEvalAll, BuiltinIer},         // IER
    {1, 16, kEvalFirst, FnExp},           // EXP$
    {0, 16, kEvalFrame, FnSqlChild},      // SQLCHILD
};

// The SQLCHILD frame: _SQLSTK raised, _CURROW and _IER saved.
struct SqlFrame {
  int16_t row = 0;
  int16_t ier = 0;
};

}  // namespace

// --- argument access ---

bool ArgGiven(const BuiltinCall& c, int k) {
  if (k < 1 || k > c.count) return false;
  return c.is_string[k - 1] || c.arg[k - 1].len != 0;
}

bool ArgIsString(const BuiltinCall& c, int k) {
  return k >= 1 && k <= c.count && c.is_string[k - 1];
}

Status ArgInt(const BuiltinCall& c, int k, int64_t def, int64_t* out) {
  if (!ArgGiven(c, k)) {
    *out = def;
    return 0;
  }
  if (c.is_string[k - 1]) return kStTypeMismatch;
  *out = ToInteger(NumFromBytes(c.arg[k - 1]));
  return 0;
}

Status ArgStr(const BuiltinCall& c, int k, StrDesc def, StrDesc* out) {
  if (!ArgGiven(c, k)) {
    *out = def;
    return 0;
  }
  if (!c.is_string[k - 1]) return kStTypeMismatch;
  *out = c.arg[k - 1];
  return 0;
}

Status ArgText(const BuiltinCall& c, int k, StrDesc def, StrDesc* out) {
  if (!ArgGiven(c, k)) {
    *out = def;
    return 0;
  }
  if (c.is_string[k - 1]) {
    *out = c.arg[k - 1];
    return 0;
  }
  *out = NumFormatD(NumFromBytes(c.arg[k - 1]));
  return StrCheck(*out);
}

Status PushInteger(int64_t n) {
  return StrCheck(NumToBytes(
      static_cast<int64_t>(static_cast<uint64_t>(n) * static_cast<uint64_t>(NumScale()))));
}

Status PushText(StrDesc s) {
  if (StrIsError(s)) return StrCheck(s);
  return StrCheck(StrCopy(s));
}

uint16_t LocateRequest(StrDesc verb) {
  static constexpr uint16_t kCodes[] = {3841, 3876, 3862, 0,  3858, 3872, 64,  3840, 3328,
                                        1602, 66,   255,  70, 255,  255,  255, 255,  255};
  const TempMarkValue mark = TempMark();
  StrDesc v = StrCase(verb, 1);
  if (StrEq(v, "NEXT")) v = Lit("NXT");
  if (StrEq(v, "PREVIOUS")) v = Lit("PRV");
  if (StrEq(v, "BOTTOM")) v = Lit("BOT");
  const uint16_t pos = ListFind(
      Lit("NEW,TOP,PRV,RLD,NXT,BOT,FND,SVE,INS,DEL,LST,NLS,BLS,IMP,MDE,DDE,PRN,TSL"), v, ',');
  TempRelease(mark);
  return pos == 0 ? 255 : kCodes[pos - 1];
}

// --- the dispatcher ---

Status CallBuiltin(uint16_t index, const TokenState& token) {
  if (index == 0 || index > kBuiltinCount) return kStSyntax;
  const BuiltinDef& def = kBuiltins[index - 1];
  const TempMarkValue mark = TempMark();
  const uint16_t stack_size = DynCount(kArgumentGroup);

  BuiltinCall call;
  call.token = &token;
  call.group = TokenGroup(token);
  call.rest = StateOver(call.group.ptr, call.group.len);

  SqlFrame frame;
  if (def.mode == kEvalFrame) {
    const int16_t depth = IntegerVar(kSysSqlStk);
    if (depth >= 7) return kStStrOutBound;
    SetIntegerVar(kSysSqlStk, static_cast<int16_t>(depth + 1));
    frame.row = IntegerVar(kSysCurRow);
    frame.ier = IntegerVar(kSysIer);
    SetIntegerVar(kSysCurRow, 0);
  }

  uint16_t limit = kMaxArguments;
  if (def.mode == kEvalNone) limit = 0;
  if (def.mode == kEvalFirst) limit = 1;
  if (def.mode == kEvalFour) limit = 4;
  Status s = EvaluateArgumentsOnto(&call.rest, limit, &call.count, call.is_string);
  if (s == 0) s = TakeArguments(&call);

  if (def.mode == kEvalFrame) {
    SetIntegerVar(kSysSqlStk, static_cast<int16_t>(IntegerVar(kSysSqlStk) - 1));
    SetIntegerVar(kSysCurRow, frame.row);
    SetIntegerVar(kSysIer, frame.ier);
  }
  if (s == 0 && def.mode != kEvalNone && (call.count < def.min || call.count > def.max)) {
    s = kStSyntax;
  }
  if (s == 0 && def.mode == kEvalNone) {
    // The handler reads the argument text; count its arguments for the check.
    uint16_t n = 0;
    TokenState walk = StateOver(call.group.ptr, call.group.len);
    while (walk.position < walk.length && n <= def.max) {
      walk = SkipArgument(walk);
      ++n;
    }
    if (n > def.max) s = kStSyntax;
  }
  if (s != 0) {
    DynTruncate(kArgumentGroup, stack_size);
    TempRelease(mark);
    return s;
  }

  const TempMarkValue value_mark = TempMark();
  s = def.handler(call);
  DynTruncate(kArgumentGroup, stack_size);
  if (s >= 128) {
    TempRelease(mark);
    return s;
  }
  if (TempMark() == value_mark) PushText(Empty());
  TempKeep(mark, TempTop());
  return s;
}

Status PushArguments(StrDesc list, uint16_t* count, uint16_t* string_bits) {
  *count = 0;
  *string_bits = 0;
  const TempMarkValue mark = TempMark();
  TokenState st = PrepareExpression(list);
  if (st.status != 0) {
    TempRelease(mark);
    return st.status;
  }
  bool is_string[kMaxArguments] = {};
  const Status s = EvaluateArgumentsOnto(&st, kMaxArguments, count, is_string);
  for (uint16_t k = 0; k < *count; ++k) {
    if (is_string[k]) *string_bits = static_cast<uint16_t>(*string_bits | (1u << k));
  }
  TempRelease(mark);
  return s;
}
