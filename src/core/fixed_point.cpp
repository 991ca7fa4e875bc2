#include "core/fixed_point.h"

#include <cstring>

#include "core/status.h"
#include "core/str_lib.h"
#include "core/temp_stack.h"

namespace {

int g_decimals = 2;

constexpr uint64_t kMinMagnitude = uint64_t{1} << 63;  // |INT64_MIN|

inline uint64_t Magnitude(int64_t v) {
  return v < 0 ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
}

// The signed value of a magnitude, saturated at the ends of the range.
inline int64_t Signed(bool negative, uint64_t mag) {
  if (negative) return mag >= kMinMagnitude ? INT64_MIN : -static_cast<int64_t>(mag);
  return mag >= kMinMagnitude ? INT64_MAX : static_cast<int64_t>(mag);
}

// mag * 10 + digit, saturated at cap.
inline uint64_t PushDigit(uint64_t mag, unsigned digit, uint64_t cap) {
  return mag > (cap - digit) / 10 ? cap : mag * 10 + digit;
}

// A digit sequence read as `count` digits starting at index `first` of the
// concatenation int_part ++ frac_part; positions outside it are "0".
struct DigitSeq {
  StrDesc int_part;
  StrDesc frac_part;
  unsigned At(int64_t k) const {
    if (k < 0) return 0;
    if (k < int_part.len) return static_cast<unsigned>(int_part.ptr[k] - '0');
    k -= int_part.len;
    if (k < frac_part.len) return static_cast<unsigned>(frac_part.ptr[k] - '0');
    return 0;
  }
  int64_t Length() const { return int64_t{int_part.len} + frac_part.len; }
};

// The longest run of decimal digits at the start of s.
StrDesc LeadingDigits(StrDesc s) {
  uint16_t n = 0;
  while (n < s.len && s.ptr[n] >= '0' && s.ptr[n] <= '9')
    ++n;
  return StrDesc{s.ptr, n};
}

}  // namespace

int NumDecimals() {
  return g_decimals;
}

void NumSetDecimals(int decimals) {
  g_decimals = decimals < 0 ? 0 : decimals;
}

int64_t NumScale() {
  uint16_t scale = 1;
  for (int i = 0; i < g_decimals && scale != 0; ++i)
    scale = static_cast<uint16_t>(scale * 10u);
  return scale;
}

int64_t RoundDiv(int64_t x, int64_t d) {
  if (d == 0) return 0;
  if (d == -1) return x == INT64_MIN ? INT64_MAX : -x;
  int64_t q = x / d;
  uint64_t rem = Magnitude(x % d);
  uint64_t div = Magnitude(d);
  // 2 * rem cannot wrap: rem < div <= 2^63.
  if (div >= 2 && 2 * rem >= div) {
    if (q > 0) ++q;
    if (q < 0) --q;
  }
  return q;
}

StrDesc NumFormat(int64_t value, int decimals) {
  if (decimals < 0) decimals = 0;
  bool negative = value < 0;
  uint64_t mag = Magnitude(value);
  char digits[20];
  int n = 0;
  do {
    digits[19 - n] = static_cast<char>('0' + mag % 10);
    mag /= 10;
    ++n;
  } while (mag != 0);
  const char* real = digits + 20 - n;
  // The digits padded with leading zeros to at least `decimals` digits.
  int64_t total = n > decimals ? n : decimals;
  int trailing = 0;
  while (trailing < n && real[n - 1 - trailing] == '0')
    ++trailing;
  int64_t zeros = trailing == n ? total : trailing;  // value 0: all padded digits are zeros
  int64_t drop = zeros < decimals ? zeros : decimals;
  int64_t frac = decimals - drop;
  int64_t int_len = total - decimals;
  int64_t length = (negative ? 1 : 0) + int_len + (frac > 0 ? 1 + frac : 0);
  if (length > 0xFFFF) return StrError(kStStringTooLong);
  char* out = TempAllocPtr(static_cast<uint16_t>(length), 255);
  if (!out) return StrError(kStOutOfMemory);
  auto padded = [&](int64_t k) { return k < total - n ? '0' : real[k - (total - n)]; };
  char* w = out;
  if (negative) *w++ = '-';
  for (int64_t k = 0; k < int_len; ++k)
    *w++ = padded(k);
  if (frac > 0) {
    *w++ = '.';
    for (int64_t k = 0; k < frac; ++k)
      *w++ = padded(int_len + k);
  }
  return StrDesc{out, static_cast<uint16_t>(length)};
}

StrDesc NumFormatD(int64_t value) {
  return NumFormat(value, g_decimals);
}

StrDesc NumFormatInt(int64_t value) {
  return NumFormat(value, 0);
}

int64_t NumParse(StrDesc text) {
  return NumParseDecimals(text, g_decimals);
}

int64_t NumParseDecimals(StrDesc text, int decimals) {
  if (StrIsError(text)) return 0;
  if (decimals < 0) decimals = 0;
  StrDesc t = StrTrim(text, 3);
  // "D" n moves the decimal point n places to the right (n zeros appended to a
  // whole number).
  int64_t shift = 0;
  uint16_t d_at = StrFindChar(t, 'D', 1);
  if (d_at != kNotFound) {
    shift = StrToInt(StrSub(t, d_at + 1, 0xFFFF));
    t = StrSub(t, 0, d_at);
  }
  bool negative = false;
  if (t.len > 0 && (t.ptr[0] == '-' || t.ptr[0] == '+')) {
    negative = t.ptr[0] == '-';
    t = StrSub(t, 1, 0xFFFF);
  }
  // Digits of the integer part; a fraction counts only right after them.
  // Anything else ends the number.
  DigitSeq seq{LeadingDigits(t), StrDesc{t.ptr + t.len, 0}};
  if (seq.int_part.len < t.len && t.ptr[seq.int_part.len] == '.') {
    seq.frac_part = LeadingDigits(StrSub(t, seq.int_part.len + 1, 0xFFFF));
  }
  // The value times 10^decimals is the digit sequence cut after position
  // point + decimals; the next digit decides the rounding, half away from
  // zero.
  int64_t cut = int64_t{seq.int_part.len} + shift + decimals;
  uint64_t cap = negative ? kMinMagnitude : kMinMagnitude - 1;
  uint64_t mag = 0;
  for (int64_t k = 0; k < cut; ++k) {
    if (k >= seq.Length() && mag == 0) break;  // only zeros remain
    mag = PushDigit(mag, seq.At(k), cap);
    if (mag == cap) break;
  }
  if (mag < cap && cut >= 0 && seq.At(cut) >= 5) ++mag;
  return Signed(negative, mag);
}

int64_t NumScaleUp(int64_t value, int n) {
  if (n < 0) return NumScaleDown(value, n < -64 ? 64 : -n);
  for (int i = 0; i < n && value != 0; ++i) {
    if (value > INT64_MAX / 10) return INT64_MAX;
    if (value < INT64_MIN / 10) return INT64_MIN;
    value *= 10;
  }
  return value;
}

int64_t NumScaleDown(int64_t value, int n) {
  if (n < 0) return NumScaleUp(value, n < -64 ? 64 : -n);
  // 10^19 exceeds every magnitude, so the truncated quotient is 0 (and a zero
  // quotient is not rounded).
  if (n >= 19) return 0;
  int64_t d = 1;
  for (int i = 0; i < n; ++i)
    d *= 10;
  return RoundDiv(value, d);
}

StrDesc NumToBytes(int64_t value) {
  char* out = TempAllocPtr(8, 255);
  if (!out) return StrError(kStOutOfMemory);
  uint64_t u = static_cast<uint64_t>(value);
  for (int i = 0; i < 8; ++i)
    out[i] = static_cast<char>((u >> (8 * i)) & 0xFF);
  return StrDesc{out, 8};
}

int64_t NumFromBytes(StrDesc s) {
  if (StrIsError(s)) return -1;
  if (s.len == 0) return 0;
  if (s.len != 8) return -1;
  uint64_t u = 0;
  for (int i = 0; i < 8; ++i)
    u |= uint64_t{static_cast<unsigned char>(s.ptr[i])} << (8 * i);
  return static_cast<int64_t>(u);
}

int64_t NumIntScaled(int16_t i) {
  return int64_t{i} * NumScale();
}

int64_t NumTextScaled(StrDesc text) {
  return int64_t{StrToInt(text)} * NumScale();
}
