// Fixed-point numbers: signed 64-bit integers holding the value times 10^D,
// where D is the decimals setting (the system variable _PRECIS, kept in step
// by the variable table through NumSetDecimals). Where a number travels as a
// string it is its 8 bytes, least significant first; an empty string is 0.
//
// Rounding is half away from zero, except that a zero quotient stays zero
// (RoundDiv). No operation overflows: results beyond the 64-bit range
// saturate at its ends. Used by the variable table, the evaluator, the
// built-ins and the masks.
#pragma once

#include <cstdint>

#include "core/str_desc.h"

// The decimals setting D used by the D-forms below (default 2; a negative
// setting is taken as 0). A process-wide value of this module.
int NumDecimals();
void NumSetDecimals(int decimals);
// 10^D as the runtime forms it, a 16-bit unsigned value: exact for D = 0..4;
// a larger D gives the value truncated to 16 bits (5 → 34464, 6 → 16960, ...;
// 16 and above → 0).
int64_t NumScale();

// x / d truncated toward zero; when |d| >= 2 and the remainder is at least
// half of |d| (2·|r| >= |d|, the same as |r| >= |d| / 2 for every even d) the
// quotient moves one step away from zero, except that 0 stays 0. d = 0 gives
// 0. The one overflowing case, INT64_MIN / -1, gives INT64_MAX.
int64_t RoundDiv(int64_t x, int64_t d);

// The text of value with `decimals` decimals (pushed): trailing fraction
// zeros are dropped, no zero before the point (12340 → "123.4", 5 → ".05",
// -50 → "-.5", 0 → ""). With 0 decimals, 0 gives "0". A negative `decimals`
// counts as 0; a text over 65,535 bytes gives 146.
StrDesc NumFormat(int64_t value, int decimals);
StrDesc NumFormatD(int64_t value);
StrDesc NumFormatInt(int64_t value);
// The text read as a value with D (or `decimals`) decimals, rounded half away
// from zero ("1.235" → 124 with 2 decimals). Blanks and tabs around it are
// ignored; then an optional sign, digits, and "." with fraction digits; the
// first other byte ends the number ("12abc" → 12). "D" followed by n moves
// the point n places right ("15D2" → 1500, "1.5D2" → 150). Any number of
// digits is read; a value beyond the 64-bit range saturates at its ends.
int64_t NumParse(StrDesc text);
int64_t NumParseDecimals(StrDesc text, int decimals);
// value * 10^n, saturated at the ends of the range; value / 10^n rounded
// (RoundDiv by the exact power; 0 for n >= 19). A negative n scales the other
// way.
int64_t NumScaleUp(int64_t value, int n);
int64_t NumScaleDown(int64_t value, int n);
// The 8-byte string of a value (pushed); the value of 8 bytes, 0 for an empty
// string, -1 for any other length or an error descriptor.
StrDesc NumToBytes(int64_t value);
int64_t NumFromBytes(StrDesc s);
// A 16-bit integer times 10^D; StrToInt(text) times 10^D.
int64_t NumIntScaled(int16_t i);
int64_t NumTextScaled(StrDesc text);
