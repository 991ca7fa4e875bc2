#include "language/brackets.h"

#include <string>
#include <string_view>

#include "core/dyn_strings.h"
#include "core/fixed_point.h"
#include "core/status.h"
#include "core/str_lib.h"
#include "core/temp_stack.h"
#include "core/token_list.h"
#include "language/evaluator.h"
#include "platform/process.h"

namespace {

// More replacements than a text of 65,535 bytes can hold pieces: the
// expansion is feeding itself (a value that reproduces its own brackets).
constexpr uint32_t kMaxRounds = 65535;

struct Piece {
  uint16_t open = kNotFound;  // position of '['
  uint16_t close = 0;         // position of ']'
};

// The first ']' at or after `from` that has a '[' before it (and after
// `from`), paired with the last such '['. Quoted parts are skipped unless
// plain; a quote that is never closed runs to the end.
Piece FindPiece(StrDesc s, uint16_t from, bool plain) {
  Piece piece;
  uint16_t last_open = kNotFound;
  char quote = 0;
  for (uint32_t i = from; i < s.len; ++i) {
    const char c = s.ptr[i];
    if (quote != 0) {
      if (c == quote) quote = 0;
      continue;
    }
    if (!plain && IsQuoteChar(c)) {
      quote = c;
    } else if (c == '[') {
      last_open = static_cast<uint16_t>(i);
    } else if (c == ']' && last_open != kNotFound) {
      piece.open = last_open;
      piece.close = static_cast<uint16_t>(i);
      return piece;
    }
  }
  return piece;
}

// The keyed lookup of a content: the key list, then the command line as
// written and with its case flipped, then the environment. Pushes the value
// (possibly empty).
StrDesc KeyedValue(StrDesc content, StrDesc keys) {
  StrDesc v = KvGet(keys, content, 0);
  if (v.len > 0) return StrCopy(v);
  const StrDesc command_line = DynGet(0, 1);
  v = KvGet(command_line, content, 0);
  if (v.len > 0) return StrCopy(v);
  if (content.len > 0) {
    const bool starts_upper = static_cast<unsigned char>(content.ptr[0]) <= 0x60;
    const StrDesc flipped = StrCase(content, starts_upper ? 0 : 1);
    v = KvGet(DynGet(0, 1), flipped, 0);
    if (v.len > 0) return StrCopy(v);
  }
  const std::string env = ProcessGetEnv(std::string_view(content.ptr, content.len));
  if (env.size() > 0xFFFF) return StrError(kStStringTooLong);
  return StrCopy(StrMake(env.data(), static_cast<uint16_t>(env.size())));
}

// The replacement of one bracketed content, pushed; an error descriptor when
// its evaluation fails.
StrDesc Replacement(StrDesc content, uint16_t flags, StrDesc keys) {
  const TempMarkValue mark = TempMark();
  StrDesc value = StrMake(content.ptr, 0);
  if (flags & kBrKeyed) value = KeyedValue(content, keys);
  if (StrIsError(value)) return TempKeep(mark, value);
  if (value.len == 0) {
    if (content.len > 0 && content.ptr[content.len - 1] == '%') {
      value = content;
    } else {
      const uint16_t type = Evaluate(content);
      if (type == kTypeNumber) {
        value = NumFormatD(NumFromBytes(TempTop()));
        if (!StrIsError(value) && value.len == 0 && !(flags & kBrZeroEmpty)) value = Lit("0");
      } else if (type == kTypeString) {
        value = TempTop();
      } else {
        return TempKeep(mark, StrError(type));
      }
    }
  }
  if (!(flags & kBrNoTrim)) value = StrTrim(value, 3);
  if (flags & kBrQuote) value = StrQuote(value, (flags & kBrDouble) ? '"' : '\'');
  return TempKeep(mark, value);
}

StrDesc Expand(StrDesc text, uint16_t flags, StrDesc keys) {
  if (StrIsError(text)) return text;
  if (StrIsError(keys)) return keys;
  const TempMarkValue mark = TempMark();
  // Both texts are copied: evaluating a piece may change DynStrings, where
  // they may lie.
  const StrDesc key_copy = StrCopy(keys);
  if (StrIsError(key_copy)) return TempKeep(mark, key_copy);
  const TempMarkValue pass_mark = TempMark();
  StrDesc current = StrCopy(text);
  uint16_t start = 0;
  for (uint32_t rounds = 0;; ++rounds) {
    if (StrIsError(current)) return TempKeep(mark, current);
    const Piece piece = FindPiece(current, start, (flags & kBrPlain) != 0);
    if (piece.open == kNotFound) break;
    if (rounds >= kMaxRounds) {
      ErrSet(1, kModExpExec, kStLoopFail, kStLoopFail);
      ErrDetail(kStLoopFail, StrSub(current, 0, 200), true);
      return TempKeep(mark, StrError(kStLoopFail));
    }
    const StrDesc content =
        StrSub(current, piece.open + 1, static_cast<uint16_t>(piece.close - piece.open - 1));
    const StrDesc value = Replacement(content, flags, key_copy);
    if (StrIsError(value)) return TempKeep(mark, value);
    const StrDesc before = StrSub(current, 0, piece.open);
    const StrDesc after = StrSub(current, piece.close + 1, kNotFound);
    StrDesc joined = StrConcat(StrConcat(before, value), after);
    if (!(flags & kBrRescan)) {
      // The search goes on from the last byte of the replacement.
      const int32_t next = int32_t{piece.open} + value.len - 1;
      start = static_cast<uint16_t>(next < 0 ? 0 : next);
    }
    current = TempKeep(pass_mark, joined);
  }
  if (flags & kBrEscapes) {
    current = StrReplace(current, Lit("\\{"), Lit("["), 1);
    current = StrReplace(current, Lit("\\}"), Lit("]"), 1);
  }
  return TempKeep(mark, current);
}

}  // namespace

StrDesc ExpandBrackets(StrDesc text, uint16_t flags) {
  return Expand(text, flags, Lit(""));
}

StrDesc ExpandBrackets(StrDesc text, uint16_t flags, StrDesc keys) {
  return Expand(text, flags, keys);
}

StrDesc ExpandBracketsKeyed(StrDesc text, StrDesc keys) {
  return Expand(text, kBrPlain | kBrKeyed | kBrZeroEmpty, keys);
}

StrDesc ReplaceDollarMarker(StrDesc text, StrDesc value) {
  const StrDesc replaced = StrReplace(text, Lit("[$]"), value, 1);
  return StrIsError(replaced) ? text : replaced;
}
