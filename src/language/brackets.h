// Bracket expansion: texts that hold expressions in square brackets have each
// bracketed piece replaced by its value, innermost first.
//
// A piece is found as the first ']' from the search position and the last '['
// before it (quoted parts skipped unless kBrPlain); a ']' with no '[' before
// it stays in the text. The content is evaluated (or, in keyed mode, looked up
// first as a key of the key list, the command line and the environment); a
// content ending in '%' is kept as written. The flags below shape the
// replacement. The text and key list are copied first, so they may point into
// DynStrings even when the evaluation changes variables. Callers: procedure
// lines (flags kBrPlain), MACRO$, screen and report texts, document lines.
#pragma once

#include <cstdint>

#include "core/str_desc.h"

enum BracketFlags : uint16_t {
  kBrPlain = 0x01,      // search brackets without skipping quoted parts
  kBrNoTrim = 0x02,     // keep blanks and tabs around the replacement
  kBrKeyed = 0x04,      // look the content up as a key before evaluating it
  kBrZeroEmpty = 0x10,  // a number 0 expands to the empty text (else "0")
  kBrQuote = 0x20,      // enclose the replacement in quotes ('...')
  kBrDouble = 0x40,     // with kBrQuote: use "..." instead
  kBrRescan = 0x80,     // search again from the same start after a replacement
  kBrEscapes = 0x100,   // at the end turn "\{" into "[" and "\}" into "]"
};

// Pushes the expanded text. Fails with the status of the first failing piece
// (the expression's own status; 163 when kBrQuote meets a text holding both
// quote characters), 146 when the text would pass 65,535 bytes, 129 when
// kBrRescan keeps finding pieces (a replacement that reproduces itself),
// or an error descriptor given as text.
StrDesc ExpandBrackets(StrDesc text, uint16_t flags);
// The same with a key list ("KEY=value" items, see KvFind) for keyed mode.
StrDesc ExpandBrackets(StrDesc text, uint16_t flags, StrDesc keys);

// ExpandBrackets(text, kBrPlain | kBrKeyed | kBrZeroEmpty, keys).
StrDesc ExpandBracketsKeyed(StrDesc text, StrDesc keys);

// Pushes text with every "[$]" replaced by value (plain search); on any
// failure (an error descriptor as value included) returns text unchanged.
StrDesc ReplaceDollarMarker(StrDesc text, StrDesc value);
