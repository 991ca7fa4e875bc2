#include "language/scanner.h"

#include <array>
#include <cstring>

#include "core/dyn_strings.h"
#include "core/status.h"
#include "core/str_lib.h"
#include "core/temp_stack.h"
#include "language/field_refs.h"

const char kOperatorChars[18] = {'*', '/', '!', '%', '\xF7', '+', '-', '(', ';',
                                 ',', ':', ')', '=', '>',    '<', '&', '@', '|'};
const char kOperatorTable[] = "*,/,!,%,\xF7,+,-,=,>,<,==,>=,<=,<>,&,|,@,&&,||,@@";
const char kBuiltinList[] =
    "_#,FN#FLEN,FN#SLEN,FN#PARM,FN#VALN,FN#ACUM,CHK#,FILEFIND,FILEREL,FILELOCATE,FILESEL,"
    "FN$CHNG,FN$CHRS,FN$DATE,FN$FLDS,FN$MASK,FN$MIDS,FN$PARM,FN$TRIM,ENVELOP$,CHK$,SORT$,"
    "EXEC$,READ$,WRITE,MACRO$,ENVRON$,_$,KEY$,TIME$,IER,EXP$,SQLCHILD";

namespace {

// 1 for an operator character, 2 for one that may also be the second byte of
// a two-byte operator ('=', '>', '<', '&', '@', '|').
constexpr std::array<uint8_t, 256> MakeCharTable() {
  std::array<uint8_t, 256> t{};
  for (int i = 0; i < 18; ++i) {
    t[static_cast<unsigned char>(kOperatorChars[i])] = i >= 12 ? 2 : 1;
  }
  return t;
}
constexpr std::array<uint8_t, 256> kCharTable = MakeCharTable();

inline bool IsOperatorChar(char c) {
  return kCharTable[static_cast<unsigned char>(c)] != 0;
}
inline bool IsSecondChar(char c) {
  return kCharTable[static_cast<unsigned char>(c)] == 2;
}
inline bool IsSeparator(char c) {
  return c == ';' || c == ',';
}

constexpr uint16_t kPrecedence[21] = {0, 4, 4, 4, 4, 4, 3, 3, 0, 2, 2,
                                      2, 2, 2, 2, 1, 5, 1, 1, 1, 1};

constexpr const char* kBuiltinNames[33] = {
    "_#",       "FN#FLEN", "FN#SLEN",    "FN#PARM", "FN#VALN", "FN#ACUM",  "CHK#",
    "FILEFIND", "FILEREL", "FILELOCATE", "FILESEL", "FN$CHNG", "FN$CHRS",  "FN$DATE",
    "FN$FLDS",  "FN$MASK", "FN$MIDS",    "FN$PARM", "FN$TRIM", "ENVELOP$", "CHK$",
    "SORT$",    "EXEC$",   "READ$",      "WRITE",   "MACRO$",  "ENVRON$",  "_$",
    "KEY$",     "TIME$",   "IER",        "EXP$",    "SQLCHILD"};

// Position of the byte after the quoted literal that opens at i (the end of
// the text for an unclosed quote).
inline uint16_t SkipQuote(const char* t, uint16_t len, uint16_t i) {
  const char q = t[i];
  const void* close = std::memchr(t + i + 1, q, len - i - 1);
  return close ? static_cast<uint16_t>(static_cast<const char*>(close) - t + 1) : len;
}

// First operator character at or after i, quotes skipped; len when none.
uint16_t FindOperator(const char* t, uint16_t len, uint16_t i) {
  while (i < len) {
    const char c = t[i];
    if (IsQuoteChar(c)) {
      i = SkipQuote(t, len, i);
    } else if (IsOperatorChar(c)) {
      return i;
    } else {
      ++i;
    }
  }
  return len;
}

// Bytes between the '(' at `open` and its matching ')' (the rest of the
// text when it is not closed).
uint16_t GroupFrom(const char* t, uint16_t len, uint16_t open) {
  int depth = 1;
  uint16_t i = open + 1;
  while (i < len) {
    const char c = t[i];
    if (IsQuoteChar(c)) {
      i = SkipQuote(t, len, i);
      continue;
    }
    if (c == '(') {
      ++depth;
    } else if (c == ')') {
      if (--depth == 0) return static_cast<uint16_t>(i - open - 1);
    }
    ++i;
  }
  return static_cast<uint16_t>(len - open - 1);
}

uint16_t OperatorIndexOf(const char* op, uint16_t n) {
  const char a = op[0];
  if (n == 1) {
    switch (a) {
      case '*':
        return kOpMul;
      case '/':
        return kOpDiv;
      case '!':
        return kOpRound;
      case '%':
        return kOpPercent;
      case '\xF7':
        return kOpLessPercent;
      case '+':
        return kOpAdd;
      case '-':
        return kOpSub;
      case '=':
        return kOpAssign;
      case '>':
        return kOpGt;
      case '<':
        return kOpLt;
      case '&':
        return kOpBitAnd;
      case '|':
        return kOpBar;
      case '@':
        return kOpAt;
      default:
        return kOpNone;
    }
  }
  const char b = op[1];
  if (a == '=' && b == '=') return kOpEq;
  if (a == '>' && b == '=') return kOpGe;
  if (a == '<' && b == '=') return kOpLe;
  if (a == '<' && b == '>') return kOpNe;
  if (a == '&' && b == '&') return kOpAnd;
  if (a == '|' && b == '|') return kOpOr;
  if (a == '@' && b == '@') return kOpXor;
  return kOpNone;
}

bool Contains(StrDesc s, char c) {
  return s.len != 0 && std::memchr(s.ptr, c, s.len) != nullptr;
}

// The operand's class, or a field reference's failing status (>= 128).
uint16_t ClassifyOperand(StrDesc operand, bool group) {
  if (operand.len == 0) return group ? kClassGroup : kClassNumeric;
  if (Contains(operand, '\'') || Contains(operand, '"')) return kClassStringLiteral;
  if (Contains(operand, '$')) return kClassStringName;
  if (Contains(operand, '#')) return kClassNumberName;
  if (Contains(operand, '{')) {
    const TempMarkValue mark = TempMark();
    const FieldRef ref = ResolveFieldRef(operand);
    TempRelease(mark);
    if (ref.status != 0) return ref.status < 128 ? 147 : ref.status;
    // A {FILE} reference (no field part) yields the file number as text.
    if (ref.type == 0 || std::strchr("ABCDF", ref.type) != nullptr) return kClassTextField;
    return kClassField;
  }
  if (static_cast<unsigned char>(operand.ptr[0]) >= 'A') return kClassInteger;
  return kClassNumeric;
}

// The scan shared by NextToken and ScanRaw.
TokenState Scan(TokenState st, bool classify) {
  const char* t = st.text;
  const uint16_t len = st.length;
  const uint16_t p = st.position < len ? st.position : len;
  st.op = kOpNone;
  st.flags = 0;
  st.start = p;
  st.operand_length = 0;
  st.group_length = 0;
  st.precedence = 0;
  st.builtin = 0;
  st.status = 0;
  st.separated = false;

  uint16_t i = FindOperator(t, len, p);
  const uint16_t operand_end = i;
  bool call = false;
  if (i < len && t[i] == '(') {
    call = true;
    st.group_length = GroupFrom(t, len, i);
    const uint32_t after = static_cast<uint32_t>(i) + st.group_length + 2;
    i = FindOperator(t, len, after < len ? static_cast<uint16_t>(after) : len);
  }
  st.operand_length = static_cast<uint16_t>(operand_end - p);

  if (i >= len) {
    st.position = len;
  } else if (IsSeparator(t[i])) {
    st.position = static_cast<uint16_t>(i + 1);
    st.separated = true;
  } else {
    const uint16_t n = (i + 1 < len && IsSecondChar(t[i + 1])) ? 2 : 1;
    st.op = OperatorIndexOf(t + i, n);
    st.precedence = kPrecedence[st.op];
    st.position = static_cast<uint16_t>(i + n);
  }
  if (!classify) return st;

  const StrDesc operand = StrMake(t + p, st.operand_length);
  uint16_t flags = 0;
  if (call) {
    st.builtin = IsBuiltinName(operand);
    flags = st.builtin != 0 ? kFlagBuiltin : kFlagCall;
  }
  const uint16_t cls = ClassifyOperand(operand, call);
  if (cls >= 128) {
    st.status = cls;
    st.flags = 0;
    st.builtin = 0;
    return st;
  }
  st.flags = static_cast<uint16_t>(flags | cls);
  return st;
}

// Replaces every occurrence (outside quotes) of a macro name with its
// expansion: the argument text put between `before` and `after`.
StrDesc ExpandMacro(StrDesc text, StrDesc macro, StrDesc before, StrDesc after) {
  const TempMarkValue mark = TempMark();
  StrDesc s = text;
  for (;;) {
    if (StrIsError(s)) return TempKeep(mark, s);
    const uint16_t at = StrFind(s, macro, 0);
    if (at == kNotFound) break;
    if (static_cast<uint32_t>(at) + macro.len > s.len) break;
    const uint16_t open = static_cast<uint16_t>(at + macro.len - 1);
    const uint16_t glen = GroupFrom(s.ptr, s.len, open);
    const uint32_t rest_at = static_cast<uint32_t>(open) + glen + 2;
    const StrDesc head = StrMake(s.ptr, at);
    const StrDesc arg = StrMake(s.ptr + open + 1, glen);
    const StrDesc rest = rest_at < s.len
                             ? StrMake(s.ptr + rest_at, static_cast<uint16_t>(s.len - rest_at))
                             : StrMake(s.ptr, 0);
    StrDesc r = StrConcat(StrConcat(StrConcat(head, before), arg), StrConcat(after, rest));
    s = TempKeep(mark, r);
  }
  // Unchanged: the text itself, nothing pushed; else the kept expansion.
  return s;
}

}  // namespace

uint16_t OperatorPrecedence(uint16_t op) {
  return op <= 20 ? kPrecedence[op] : 0;
}

Status SyntaxCheck(StrDesc text) {
  if (const Status c = StrCheck(text); c != 0) return c;
  const char* t = text.ptr;
  const uint16_t len = text.len;
  int open = 0;
  int close = 0;
  for (uint16_t i = 0; i < len;) {
    const char c = t[i];
    if (IsQuoteChar(c)) {
      i = SkipQuote(t, len, i);
      continue;
    }
    if (c == '(') ++open;
    if (c == ')') ++close;
    ++i;
  }
  if (open != close) return ErrDetail(kStLoopFail, text, true);
  for (uint16_t i = 0; i < len;) {
    const char c = t[i];
    if (IsQuoteChar(c)) {
      i = SkipQuote(t, len, i);
      continue;
    }
    if (c != ' ') {
      ++i;
      continue;
    }
    uint16_t j = i;
    while (j < len && t[j] == ' ')
      ++j;
    if (j == len || !IsOperatorChar(t[j])) {
      return ErrDetail(kStSyntax, StrMake(t + j, static_cast<uint16_t>(len - j)), true);
    }
    i = j;
  }
  return 0;
}

TokenState StateOver(const char* text, uint16_t length) {
  TokenState st;
  st.text = text;
  st.length = length;
  return st;
}

TokenState PrepareExpression(StrDesc text) {
  static const char kEmpty[1] = {0};
  TokenState st = StateOver(kEmpty, 0);
  const TempMarkValue mark = TempMark();
  Status status = SyntaxCheck(text);
  if (status != 0) {
    TempRelease(mark);
    st.status = status;
    StrDesc e = TempKeep(mark, StrMake(kEmpty, 0));
    if (!StrIsError(e)) st.text = e.ptr;
    return st;
  }
  // Blanks outside quotes go; the syntax check allowed them only before
  // operator characters.
  uint16_t blanks = 0;
  for (uint16_t i = 0; i < text.len;) {
    const char c = text.ptr[i];
    if (IsQuoteChar(c)) {
      i = SkipQuote(text.ptr, text.len, i);
      continue;
    }
    if (c == ' ') ++blanks;
    ++i;
  }
  StrDesc prepared;
  if (blanks == 0) {
    prepared = StrCopy(text);
  } else {
    const uint16_t n = static_cast<uint16_t>(text.len - blanks);
    char* out = TempAllocPtr(n, 255);
    if (out == nullptr) {
      prepared = StrError(kStOutOfMemory);
    } else {
      uint16_t o = 0;
      for (uint16_t i = 0; i < text.len;) {
        const char c = text.ptr[i];
        if (IsQuoteChar(c)) {
          const uint16_t e = SkipQuote(text.ptr, text.len, i);
          std::memcpy(out + o, text.ptr + i, e - i);
          o = static_cast<uint16_t>(o + (e - i));
          i = e;
          continue;
        }
        if (c != ' ') out[o++] = c;
        ++i;
      }
      prepared = StrMake(out, n);
    }
  }
  if (!StrIsError(prepared) && Contains(prepared, '_')) {
    prepared = ExpandMacro(prepared, Lit("_ACCEPT#("),
                           Lit("FN#VALN(FN$TRIM(FN$PARM(_$(.envvar;.dialog);"), Lit(");'FIT'))"));
    prepared = ExpandMacro(prepared, Lit("_ACCEPT$("), Lit("FN$TRIM(FN$PARM(_$(.envvar;.dialog);"),
                           Lit(");'FIT')"));
  }
  prepared = TempKeep(mark, prepared);
  if (StrIsError(prepared)) {
    st.status = StrCheck(prepared);
    TempKeep(mark, StrMake(kEmpty, 0));
    return st;
  }
  st.text = prepared.ptr;
  st.length = prepared.len;
  return st;
}

TokenState NextToken(TokenState state) {
  return Scan(state, true);
}
TokenState ScanRaw(TokenState state) {
  return Scan(state, false);
}

TokenState SkipArgument(TokenState state) {
  do {
    state = Scan(state, false);
  } while (!state.separated && state.position < state.length);
  return state;
}

TokenState FirstToken(StrDesc text) {
  TokenState st = PrepareExpression(text);
  if (st.status != 0) return st;
  return NextToken(st);
}

StrDesc TokenOperand(const TokenState& state) {
  return StrMake(state.text + state.start, state.operand_length);
}

StrDesc TokenGroup(const TokenState& state) {
  const uint32_t at = static_cast<uint32_t>(state.start) + state.operand_length + 1;
  if (at > state.length) return StrMake(state.text + state.length, 0);
  return StrMake(state.text + at, state.group_length);
}

StrDesc OperandText(StrDesc text, uint16_t pos) {
  if (StrIsError(text)) return text;
  TokenState st = StateOver(text.ptr, text.len);
  st.position = pos;
  st = Scan(st, false);
  return TokenOperand(st);
}

StrDesc ArgumentText(StrDesc text, uint16_t n) {
  if (StrIsError(text)) return text;
  TokenState st = StateOver(text.ptr, text.len);
  for (uint16_t k = 1; n != 0 && k <= n; ++k) {
    const uint16_t begin = st.position;
    if (begin >= st.length) break;
    st = SkipArgument(st);
    if (k == n) {
      const uint16_t end = st.separated ? static_cast<uint16_t>(st.position - 1) : st.position;
      return StrMake(text.ptr + begin, static_cast<uint16_t>(end - begin));
    }
  }
  return StrMake(text.ptr + text.len, 0);
}

uint16_t GroupLength(StrDesc text) {
  if (StrIsError(text)) return 0;
  for (uint16_t i = 0; i < text.len;) {
    const char c = text.ptr[i];
    if (IsQuoteChar(c)) {
      i = SkipQuote(text.ptr, text.len, i);
      continue;
    }
    if (c == '(') return GroupFrom(text.ptr, text.len, i);
    ++i;
  }
  return 0;
}

uint16_t IsBuiltinName(StrDesc name) {
  if (DynReady() && DynGet(0, 8).len == 0) {
    // The list is also kept, NUL-separated, for programs that read it.
    char list[sizeof(kBuiltinList)];
    std::memcpy(list, kBuiltinList, sizeof(kBuiltinList));
    for (char& c : list) {
      if (c == ',') c = '\0';
    }
    DynSet(0, 8, StrMake(list, sizeof(kBuiltinList) - 1));
  }
  if (name.ptr == nullptr || name.len == 0 || name.len > 10) return 0;
  const std::string_view exact = StrView(name);
  for (uint16_t i = 0; i < 33; ++i) {
    if (exact == kBuiltinNames[i]) return static_cast<uint16_t>(i + 1);
  }
  char upper[10];
  for (uint16_t i = 0; i < name.len; ++i) {
    const char c = name.ptr[i];
    upper[i] = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
  }
  const std::string_view folded(upper, name.len);
  for (uint16_t i = 0; i < 33; ++i) {
    if (folded == kBuiltinNames[i]) return static_cast<uint16_t>(i + 1);
  }
  return 0;
}

uint16_t ExpressionKind(StrDesc text) {
  const TempMarkValue mark = TempMark();
  TokenState st = PrepareExpression(text);
  if (st.status != 0) {
    TempRelease(mark);
    return st.status < 128 ? Status{kStSyntax} : st.status;
  }
  uint16_t kind = 0;
  for (;;) {
    st = NextToken(st);
    if (st.status >= 128) {
      kind = st.status;
      break;
    }
    if (st.op == kOpNone && st.position < st.length) continue;
    bool is_string = (st.flags & kFlagString) != 0;
    if (st.flags & kFlagGroup) is_string = ExpressionKind(TokenGroup(st)) == 1;
    kind = (is_string && (st.op == kOpNone || st.op == kOpAdd || st.op == kOpAssign)) ? 1 : 0;
    break;
  }
  TempRelease(mark);
  return kind;
}
