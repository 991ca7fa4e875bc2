// The string library: search, compare, trim, case, replace and extraction on
// StrDesc values, and small conversions from text to integers.
//
// Views (StrSub, StrTrim, StrUnquote, StrBracketed) point into their argument
// and make no TempStack entry; StrNormalize is a view when it trimmed or
// unquoted something and a pushed copy otherwise; every other string result
// is pushed on the TempStack. An error descriptor given as an argument is returned unchanged
// (or, for a position result, reported as not found). Positions are 0-based;
// "not found" is kNotFound (65,535).
//
// Quote characters are the apostrophe and the double quote: a quoted section
// runs to the next occurrence of the same character (an unclosed quote to the
// end). A `plain` flag of 1 (any nonzero value) sees every byte; 0 is
// quote-aware and ignores occurrences inside quoted sections; a quote
// character itself is never found in quote-aware mode (it opens a section).
//
// Bracket pairs: "[](){}<>"; any other character is its own partner.
//
// Used by every module that reads option strings, definition lines, commands
// and messages.
#pragma once

#include <cstdint>

#include "core/str_desc.h"

constexpr uint16_t kNotFound = 0xFFFF;

// The closing partner of an opening bracket; any other character itself.
char BracketPartner(char open);
// True for the apostrophe and the double quote.
inline bool IsQuoteChar(char c) {
  return c == '\'' || c == '"';
}

// --- search and compare (positions, counts) ---

// First position of ch at or after `from`.
uint16_t StrFindChar(StrDesc s, char ch, int plain, uint16_t from = 0);
// First position at or after `from` where sub starts (an empty sub is found
// at `from`).
uint16_t StrFind(StrDesc s, StrDesc sub, int plain, uint16_t from = 0);
// Smallest position at or after `from` of any character of set.
uint16_t StrFindAny(StrDesc s, StrDesc set, int plain, uint16_t from = 0);
// Last position of ch / of any character of set.
uint16_t StrFindLastChar(StrDesc s, char ch, int plain);
uint16_t StrFindLastAny(StrDesc s, StrDesc set, int plain);
// Number of non-overlapping occurrences of sub.
uint16_t StrCount(StrDesc s, StrDesc sub, int plain);
// Bytewise unsigned comparison; on a tie the shorter string is smaller.
// 1, 0 or -1. An error descriptor compares as the empty string.
int StrCompare(StrDesc a, StrDesc b);
// The text between the first `close` and the last `open` before it (the
// innermost pair): start in the low 16 bits, length in the high 16 bits; all
// ones when none. A close with no open before it is passed over, so with
// open == close ("%") the first two occurrences make the pair.
uint32_t StrFindPair(StrDesc s, char open, char close, int plain);

// --- shaping ---

// View: offset >= 0 is clipped to the string (an offset past the end gives an
// empty string); a negative offset takes the last -offset bytes (count
// ignored), clipped at the start.
StrDesc StrSub(StrDesc s, int32_t offset, uint16_t count);
// View without blanks and tabs on the left (sides bit 1) and/or right (bit 2).
StrDesc StrTrim(StrDesc s, int sides);
// The same with any character set, as a pushed copy.
StrDesc StrTrimSet(StrDesc s, int sides, StrDesc set);
// View of the inside when s is at least 2 long and starts and ends with the
// same quote character; else s.
StrDesc StrUnquote(StrDesc s);
// Trim both sides and unquote; when nothing was removed the result is an
// upper-cased copy, otherwise the view as found.
StrDesc StrNormalize(StrDesc s);
// Copy upper-cased (upper == 1) or lower-cased (other values), ASCII only.
StrDesc StrCase(StrDesc s, int upper);
// Copy with every occurrence of old replaced by new, left to right without
// overlap (plain search when old is a single quote character). A failure
// records 160 under STRCONCAT.
StrDesc StrReplace(StrDesc s, StrDesc old_text, StrDesc new_text, int plain);
// Copy keeping only the bytes that occur in set.
StrDesc StrKeepChars(StrDesc s, StrDesc set);
// Copy with each byte found in `from` replaced by the byte at the same
// position in `to` (the first occurrence in `from` counts; a byte whose
// position is beyond `to` is kept).
StrDesc StrTranslate(StrDesc s, StrDesc from, StrDesc to);
// tokens is cut into len(chars) equal pieces; each piece in turn is replaced
// everywhere in s (plain) by the matching byte of chars. Pieces of length 0
// (tokens shorter than chars) change nothing.
StrDesc StrTranslateTokens(StrDesc s, StrDesc tokens, StrDesc chars);
// Copy with every run of ch reduced to one ch (runs inside quoted sections
// are kept unless plain).
StrDesc StrCollapse(StrDesc s, char ch, int plain);
// In place: copies src into dst at offset (negative counts from the end, not
// below 0), clipped to dst.
Status StrWriteAt(StrDesc dst, int32_t offset, StrDesc src);
// Copy of s with src written at offset, clipped.
StrDesc StrOverwrite(StrDesc s, int32_t offset, StrDesc src);
// Moves src to buffer + length and returns (buffer, length + len(src)); the
// caller guarantees the room (results beyond 65,535 bytes give 146).
StrDesc StrAppendAt(StrDesc src, char* buffer, uint16_t length);
// Copy: open, s, partner of open.
StrDesc StrWrap(StrDesc s, char open);
// True when length > 1 and s starts with open and ends with its partner at
// length - 1 (length is clipped to s).
bool StrIsWrapped(StrDesc s, uint16_t length, char open);
// View after the first `open` up to its matching partner (balanced for
// distinct pairs); empty when there is no open or no balanced close. A quote
// character as `open` is searched plainly.
StrDesc StrBracketed(StrDesc s, char open, int plain);
// Copy wrapped in quote, or in the other quote when s contains it; 163 when s
// contains both.
StrDesc StrQuote(StrDesc s, char quote);
// a, "=", b; 163 when either side is empty.
StrDesc StrPair(StrDesc a, StrDesc b);
// A NUL-terminated TempStack copy (one entry; for calls that need one); ""
// and nothing pushed on failure (an error descriptor, 65,535 bytes, no room).
const char* StrCstr(StrDesc s);

// --- integers from text ---

// True when the upper-cased s equals one of the yes words "YES,SI,Y,S,ON".
bool StrIsYes(StrDesc s);
// 1 for a yes word; else leading blanks and tabs, an optional sign and digits
// (anything else stops the digits); 0 when there are none. A value outside
// the 16-bit range keeps its low 16 bits, as a 16-bit store does (70000 gives
// 4464).
int16_t StrToInt(StrDesc s);
// The same read into 64 bits; values beyond the range saturate at its ends.
int64_t StrToInt64(StrDesc s);
inline int16_t IntOr(int16_t a, int16_t b) {
  return a != 0 ? a : b;
}
inline int16_t Max16(int16_t a, int16_t b) {
  return a > b ? a : b;
}
inline int16_t Min16(int16_t a, int16_t b) {
  return a < b ? a : b;
}
