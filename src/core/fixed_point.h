// Fixed-point numbers: signed 64-bit integers holding the value times 10^D,
// where D is the decimals setting (the system variable _PRECIS, kept in step
// by the variable table through NumSetDecimals). Where a number travels as a
// string it is its 8 bytes, least significant first; an empty string is 0.
//
// Rounding is half away from zero, except that a zero quotient stays zero
// (RoundDiv).
#pragma once

#include <cstdint>

#include "core/str_desc.h"

// The decimals setting D used by the D-forms below (default 2).
int NumDecimals();
void NumSetDecimals(int decimals);
// 10^D as the runtime forms it (a 16-bit unsigned value).
int64_t NumScale();

// x / d truncated toward zero; when |d| >= 2 and |remainder| >= |d| / 2 the
// quotient moves one step away from zero, except that 0 stays 0. d = 0 gives 0.
int64_t RoundDiv(int64_t x, int64_t d);

// The text of value with `decimals` decimals: trailing fraction zeros are
// dropped, no zero before the point (12340 → "123.4", 5 → ".05", 0 → "").
// With 0 decimals, 0 gives "0".
StrDesc NumFormat(int64_t value, int decimals);
StrDesc NumFormatD(int64_t value);
StrDesc NumFormatInt(int64_t value);
// The text read as a value with D (or `decimals`) decimals, rounded half away
// from zero ("1.235" → 124 with 2 decimals); "D" introduces a power of ten.
int64_t NumParse(StrDesc text);
int64_t NumParseDecimals(StrDesc text, int decimals);
// value * 10^n; value / 10^n rounded (RoundDiv).
int64_t NumScaleUp(int64_t value, int n);
int64_t NumScaleDown(int64_t value, int n);
// The 8-byte string of a value (pushed); the value of 8 bytes, 0 for an empty
// string, -1 for any other length.
StrDesc NumToBytes(int64_t value);
int64_t NumFromBytes(StrDesc s);
// A 16-bit integer times 10^D; StrToInt(text) times 10^D.
int64_t NumIntScaled(int16_t i);
int64_t NumTextScaled(StrDesc text);
