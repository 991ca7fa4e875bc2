#include "storage/field_format.h"

#include <cstring>

#include "core/status.h"
#include "core/str_lib.h"
#include "core/temp_stack.h"

namespace {

// A number text taken apart: sign, whole digits, fraction digits. Leading
// zeros of the whole part are dropped; parsing stops at the first character
// that does not belong to the number.
struct NumberText {
  bool negative = false;
  char whole[64];
  uint16_t whole_len = 0;
  char fraction[64];
  uint16_t fraction_len = 0;
  bool any_digit = false;
  bool overflow = false;  // more whole digits than kept: refused as too wide
};

NumberText ParseNumber(StrDesc s) {
  NumberText n;
  uint16_t i = 0;
  if (i < s.len && (s.ptr[i] == '-' || s.ptr[i] == '+')) n.negative = s.ptr[i++] == '-';
  for (; i < s.len && s.ptr[i] >= '0' && s.ptr[i] <= '9'; ++i) {
    n.any_digit = true;
    if (n.whole_len == 0 && s.ptr[i] == '0') continue;
    if (n.whole_len < sizeof n.whole) {
      n.whole[n.whole_len++] = s.ptr[i];
    } else {
      n.overflow = true;
    }
  }
  if (i < s.len && s.ptr[i] == '.') {
    for (++i; i < s.len && s.ptr[i] >= '0' && s.ptr[i] <= '9'; ++i) {
      n.any_digit = true;
      if (n.fraction_len < sizeof n.fraction) n.fraction[n.fraction_len++] = s.ptr[i];
    }
  }
  return n;
}

// Writes n rounded half away from zero to `decimals` decimals into out:
// "-" when negative and not zero, the whole digits ("0" when none), "." and
// the decimals. Returns the length.
uint16_t WriteRounded(const NumberText& n, uint16_t decimals, char* out) {
  char digits[160];
  uint16_t len = 0;
  digits[len++] = '0';  // room for a carry
  std::memcpy(digits + len, n.whole, n.whole_len);
  len = static_cast<uint16_t>(len + n.whole_len);
  uint16_t point = len;
  for (uint16_t d = 0; d < decimals; ++d)
    digits[len++] = d < n.fraction_len ? n.fraction[d] : '0';
  if (decimals < n.fraction_len && n.fraction[decimals] >= '5') {
    int i = len - 1;
    while (digits[i] == '9')
      digits[i--] = '0';
    digits[i] = static_cast<char>(digits[i] + 1);
  }
  uint16_t start = 0;
  while (start < point - 1 && digits[start] == '0')
    ++start;
  bool zero = true;
  for (uint16_t i = start; i < len; ++i)
    zero = zero && digits[i] == '0';
  uint16_t at = 0;
  if (n.negative && !zero) out[at++] = '-';
  for (uint16_t i = start; i < point; ++i)
    out[at++] = digits[i];
  if (decimals > 0) {
    out[at++] = '.';
    for (uint16_t i = point; i < len; ++i)
      out[at++] = digits[i];
  }
  return at;
}

// Right-aligns bytes in width, blanks in front.
StrDesc RightAligned(const char* bytes, uint16_t len, uint16_t width) {
  char* p = TempAllocPtr(width, ' ');
  if (p == nullptr) return StrError(kStOutOfMemory);
  std::memcpy(p + (width - len), bytes, len);
  return StrMake(p, width);
}

// The number with as many decimals as fit, starting from `decimals`; 168
// when not even its whole part fits.
StrDesc FitNumber(const NumberText& n, uint16_t decimals, uint16_t width) {
  if (n.overflow) return StrError(kStDataOutBound);
  char text[200];
  for (int d = decimals; d >= 0; --d) {
    uint16_t len = WriteRounded(n, static_cast<uint16_t>(d), text);
    if (len <= width) return RightAligned(text, len, width);
  }
  return StrError(kStDataOutBound);
}

}  // namespace

bool FieldTypeIsNumber(char type) {
  return type != 0 && std::strchr("NL123456789", type) != nullptr;
}

StrDesc FieldFormat(char type, uint16_t width, StrDesc value) {
  if (StrIsError(value)) return value;
  TempMarkValue mark = TempMark();
  StrDesc result;
  if (type == 'V') {
    result = StrRepeat(Lit(" "), width);
  } else if (type == 'A' || type == 'B' || type == 'C' || type == 'P') {
    char* p = TempAllocPtr(width, ' ');
    uint16_t n = value.len < width ? value.len : width;
    if (p != nullptr) std::memcpy(p, value.ptr, n);
    result = p ? StrMake(p, width) : StrError(kStOutOfMemory);
  } else if ((type == 'D' || type == 'F') && width == 6 && value.len == 8) {
    result = StrCopy(StrSub(value, 2, 6));
  } else if (type >= '1' && type <= '9') {
    NumberText n = ParseNumber(StrTrim(value, 3));
    uint16_t decimals = static_cast<uint16_t>(type - '0');
    if (decimals + 1 >= width) decimals = 0;
    result = n.any_digit ? FitNumber(n, decimals, width) : StrRepeat(Lit(" "), width);
  } else {
    StrDesc trimmed = StrTrim(value, 3);
    if (trimmed.len <= width) {
      result = RightAligned(trimmed.ptr, trimmed.len, width);
    } else {
      // Too long: only a number with decimals can be made to fit, by giving
      // up decimals.
      uint16_t point = StrFindChar(trimmed, '.', 1);
      if (point == kNotFound || width < point) {
        result = StrError(kStDataOutBound);
      } else {
        NumberText n = ParseNumber(trimmed);
        uint16_t decimals = width > point ? static_cast<uint16_t>(width - point - 1) : 0;
        result = FitNumber(n, decimals, width);
      }
    }
  }
  return TempKeep(mark, result);
}
