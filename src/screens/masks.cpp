#include "screens/masks.h"

#include <cstring>

#include "core/dyn_strings.h"
#include "core/fixed_point.h"
#include "core/messages.h"
#include "core/str_lib.h"
#include "core/temp_stack.h"
#include "core/token_list.h"
#include "language/calendar.h"
#include "language/variables.h"

const char kDefaultLocale[] = ".,'0123456789.-D',' NY','  ,NO,YES'";

namespace {

bool g_locale_refreshed = false;

inline bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}
inline bool IsPlaceholderDigit(char c) {
  return c == '#' || c == '0';
}

// The locale item (0, 0) when LocaleRefresh made it the locale; else empty.
StrDesc StoredLocale() {
  if (!g_locale_refreshed || !DynReady()) return StrMake("", 0);
  return DynGet(0, 0);
}

// The number part of the locale text (up to the first NUL byte).
StrDesc NumberLocale() {
  StrDesc l = StoredLocale();
  if (l.len != 0) {
    const void* nul = std::memchr(l.ptr, '\0', l.len);
    if (nul != nullptr) l.len = static_cast<uint16_t>(static_cast<const char*>(nul) - l.ptr);
    if (l.len >= 2) return l;
  }
  return Lit(kDefaultLocale);
}

// A pushed copy of the date part of the locale text (after the first NUL,
// up to the next one), or of message 0117.
StrDesc DateLocale() {
  const StrDesc l = StoredLocale();
  if (l.len != 0) {
    const void* nul = std::memchr(l.ptr, '\0', l.len);
    if (nul != nullptr) {
      const char* start = static_cast<const char*>(nul) + 1;
      uint16_t n = static_cast<uint16_t>(l.ptr + l.len - start);
      const void* end = std::memchr(start, '\0', n);
      if (end != nullptr) n = static_cast<uint16_t>(static_cast<const char*>(end) - start);
      if (n != 0) return StrCopy(StrMake(start, n));
    }
  }
  return StrCopy(MsgGet("0117"));
}

// The characters accepted in numeric input (quoted comma item 1 after the
// two leading characters).
StrDesc NumericInputSet() {
  const StrDesc l = NumberLocale();
  return StrUnquote(StrTrim(ListItem(StrSub(l, 2, 0xFFFF), ',', 1), 3));
}

bool DayFirst() {
  return ListFind(Lit("ES,FR,IT"), DynReady() ? DynGet(0, 4) : StrMake("", 0), ',') != 0;
}

int64_t Pow10(int n) {
  int64_t p = 1;
  for (int i = 0; i < n && i < 18; ++i)
    p *= 10;
  return p;
}

int64_t RoundToMultiple(int64_t v, int64_t m) {
  int64_t q = v / m;
  const int64_t r = v % m;
  const uint64_t twice = (r < 0 ? -static_cast<uint64_t>(r) : static_cast<uint64_t>(r)) * 2;
  if (twice >= static_cast<uint64_t>(m)) q += (v < 0 ? -1 : 1);
  return q * m;
}

// The layout of a numeric mask's placeholders.
struct MaskShape {
  int last = -1;   // t: the last '#' or '0'
  int point = -1;  // P: the last '.' before t
  int decimals = 0;
  int commas = 0;
};

MaskShape Shape(const char* m, int start, int len) {
  MaskShape s;
  for (int k = len - 1; k >= start; --k) {
    if (IsPlaceholderDigit(m[k])) {
      s.last = k;
      break;
    }
  }
  if (s.last < 0) return s;
  for (int k = s.last - 1; k >= start; --k) {
    if (m[k] == '.') {
      s.point = k;
      break;
    }
  }
  s.decimals = s.point >= 0 ? s.last - s.point : 0;
  for (int k = start; k <= s.last; ++k) {
    if (m[k] == ',') ++s.commas;
  }
  return s;
}

int WholePlaces(const MaskShape& s, int start) {
  const int t = s.last - start;
  return s.point >= 0 ? t - s.decimals - s.commas : t + 1 - s.commas;
}

}  // namespace

void LocaleRefresh() {
  g_locale_refreshed = true;
}
void LocaleReset() {
  g_locale_refreshed = false;
}

char LocaleDecimal() {
  return NumberLocale().ptr[0];
}
char LocaleThousands() {
  return NumberLocale().ptr[1];
}

StrDesc FmtCleanNumber(StrDesc text) {
  if (StrIsError(text)) return text;
  const TempMarkValue mark = TempMark();
  const StrDesc t = StrTrim(text, 3);
  const StrDesc set = NumericInputSet();
  const char dec = LocaleDecimal();
  char out[20];
  uint16_t n = 0;
  for (uint16_t i = 0; i < t.len && n < 20; ++i) {
    const char c = t.ptr[i];
    if (c != '.' && (set.len == 0 || std::memchr(set.ptr, c, set.len) == nullptr)) break;
    if (c == '-' && n != 0) break;
    if (n == 0 && c == '0' && i + 1 < t.len && t.ptr[i + 1] != dec) continue;
    out[n++] = c == dec ? '.' : c;
  }
  return TempKeep(mark, StrMake(out, n));
}

StrDesc FmtNumericMask(StrDesc mask, StrDesc value, bool plain) {
  if (StrIsError(mask)) return mask;
  if (StrIsError(value)) return value;
  const TempMarkValue mark = TempMark();
  const char dec = plain ? '.' : LocaleDecimal();
  const char sep = plain ? ',' : LocaleThousands();
  const StrDesc r = StrCopy(mask);
  if (StrIsError(r)) return TempKeep(mark, r);
  char* m = r.ptr;
  const int len = r.len;

  StrDesc v = StrTrim(value, 3);
  while (v.len != 0 && !IsDigit(v.ptr[v.len - 1]))
    --v.len;
  const bool value_empty = v.len == 0;

  int start = -1;
  for (int k = 0; k < len; ++k) {
    if (IsPlaceholderDigit(m[k])) {
      start = k;
      break;
    }
  }
  if (start < 0) return TempKeep(mark, r);

  bool negative = false;
  int w = 0;
  int e = 0;
  auto measure = [&]() {
    negative = v.len != 0 && v.ptr[0] == '-';
    const void* dot = v.len ? std::memchr(v.ptr, '.', v.len) : nullptr;
    const int d = dot ? static_cast<int>(static_cast<const char*>(dot) - v.ptr) : -1;
    w = d >= 0 ? v.len - d - 1 : 0;
    e = d >= 0 ? d : v.len;
  };
  measure();

  MaskShape s = Shape(m, start, len);
  const bool grouping = s.commas > 0;
  bool group_digits = grouping;
  if (WholePlaces(s, start) < e) {
    // Not enough whole places: the separators become places, then decimal
    // places are given up one by one.
    for (int k = start; k <= s.last; ++k) {
      if (m[k] == ',') m[k] = m[k + 1 < len ? k + 1 : k];
    }
    group_digits = false;
    s = Shape(m, start, len);
    while (s.point >= 0 && WholePlaces(s, start) < e) {
      std::memmove(m + start + 1, m + start, static_cast<size_t>(s.last - start));
      s = Shape(m, start, len);
    }
  }
  int i = s.decimals;
  if (i < w) {
    const int precis = NumDecimals();
    int64_t raw = NumParse(v);
    if (i < precis) raw = RoundToMultiple(raw, Pow10(precis - i));
    v = NumFormat(raw, precis);
    if (!StrIsError(v) && v.len == 0) v = Lit("0");
    if (StrIsError(v)) return TempKeep(mark, v);
    measure();
  }
  int pos = s.last;
  if (pos < 0) return TempKeep(mark, r);
  const bool had_point = s.point >= 0;
  while (i > w && pos >= start) {
    m[pos--] = '0';
    --i;
  }
  if (had_point && w == 0 && pos >= start && m[pos] == '.') m[pos--] = dec;

  int vi = v.len;
  bool taking = true;
  const int no_whole = negative ? 1 : 0;
  for (int k = pos; k >= start; --k) {
    const char mc = m[k];
    if (mc == '.') m[k] = dec;
    if (mc == ',') m[k] = sep;
    if (taking && vi > 0) {
      if (vi == 1 && negative) {
        m[k] = '-';
        taking = false;
        vi = 0;
        continue;
      }
      if (mc == ',' && group_digits) continue;
      const char c = v.ptr[--vi];
      if (c == '.') {
        m[k] = dec;
        if (e == no_whole && k - 1 >= start) {
          m[k - 1] = '0';
          --k;
        }
      } else {
        m[k] = c;
      }
      continue;
    }
    taking = false;
    const bool after_hash = k > start && m[k - 1] == '#';
    if (mc == '#') {
      m[k] = ' ';
    } else if (mc == '.' && after_hash && value_empty) {
      m[k] = ' ';
    } else if (mc == ',' && after_hash) {
      m[k] = ' ';
    }
  }
  return TempKeep(mark, r);
}

StrDesc FmtTextMask(StrDesc mask, StrDesc value, int first) {
  if (StrIsError(mask)) return mask;
  if (StrIsError(value)) return value;
  const TempMarkValue mark = TempMark();
  const StrDesc r = StrCopy(mask);
  if (StrIsError(r)) return TempKeep(mark, r);
  char* m = r.ptr;
  const uint16_t len = r.len;
  // "\   \" groups of blanks count as that many text places.
  for (uint16_t k = 0; k < len;) {
    const char c = m[k];
    if (IsQuoteChar(c)) {
      const void* close = std::memchr(m + k + 1, c, len - k - 1);
      k = close ? static_cast<uint16_t>(static_cast<const char*>(close) - m + 1) : len;
      continue;
    }
    if (c != '\\') {
      ++k;
      continue;
    }
    const void* close = std::memchr(m + k + 1, '\\', len - k - 1);
    if (close == nullptr) break;
    const uint16_t j = static_cast<uint16_t>(static_cast<const char*>(close) - m);
    bool blanks = j > k + 1;
    for (uint16_t q = k + 1; q < j && blanks; ++q)
      blanks = m[q] == ' ';
    if (blanks) std::memset(m + k, '\\', j - k + 1);
    k = static_cast<uint16_t>(j + 1);
  }
  uint16_t next = 0;
  for (uint16_t k = 0; k < len; ++k) {
    const char c = m[k];
    if (c != '\\' && c != '?') continue;
    const int code = c == '?' ? 1 : 0;
    if ((first & code) == 0) {
      m[k] = next < value.len ? value.ptr[next] : ' ';
      ++next;
    } else {
      m[k] = k < value.len ? value.ptr[k] : ' ';
    }
  }
  return TempKeep(mark, r);
}

StrDesc FmtApplyMask(StrDesc mask, StrDesc value, int mode) {
  if (StrIsError(mask)) return mask;
  if (StrIsError(value)) return value;
  const TempMarkValue mark = TempMark();
  const uint16_t at = StrFindAny(mask, Lit("\\?#0"), 0);
  if (at == kNotFound) return TempKeep(mark, StrCopy(mask));
  const char fc = mask.ptr[at];
  const int first = static_cast<int>(std::strchr("\\?#0", fc) - "\\?#0");
  bool numeric = mode == 1;
  if (!numeric && mode != 0 && IsPlaceholderDigit(fc)) {
    numeric = true;
    for (uint16_t k = 0; k < value.len && numeric; ++k) {
      numeric = std::strchr(".-1234567890,D ", value.ptr[k]) != nullptr && value.ptr[k] != '\0';
    }
  }
  if (numeric) return TempKeep(mark, FmtNumericMask(mask, StrTrim(value, 3), mode == 1));
  if (IsPlaceholderDigit(fc) && std::memchr(mask.ptr, '\\', mask.len) == nullptr &&
      std::memchr(mask.ptr, '?', mask.len) == nullptr) {
    return TempKeep(mark, StrCopy(mask));
  }
  return TempKeep(mark, FmtTextMask(mask, value, first));
}

StrDesc FmtMask(StrDesc mask, StrDesc value) {
  return FmtApplyMask(mask, value, 255);
}

int DateCentury(int yy) {
  const int base = IntegerVar(kSysBYear);
  const int brk = IntegerVar(kSysBkYear);
  return yy < brk ? base + yy : base + yy - 100;
}

StrDesc DateOrdered(StrDesc year, StrDesc month, StrDesc day) {
  const TempMarkValue mark = TempMark();
  const StrDesc dash = Lit("-");
  StrDesc r = DayFirst() ? StrConcat(StrConcat(day, dash), StrConcat(StrConcat(month, dash), year))
                         : StrConcat(StrConcat(month, dash), StrConcat(StrConcat(day, dash), year));
  return TempKeep(mark, r);
}

StrDesc DateOrToday(StrDesc text) {
  if (StrIsError(text)) return text;
  if (text.len != 0 || TestBits(kSysAuxStat, 64)) return StrCopy(text);
  return DateText(DateToday());
}

StrDesc DateParse(StrDesc text) {
  if (StrIsError(text)) return text;
  const TempMarkValue mark = TempMark();
  StrDesc t = text;
  uint16_t at = StrFindAny(t, Lit("-./"), 0);
  if (at == kNotFound && t.len == 6) {
    t = DateOrdered(StrSub(text, 4, 2), StrSub(text, 2, 2), StrSub(text, 0, 2));
    if (StrIsError(t)) return TempKeep(mark, t);
    at = StrFindChar(t, '-', 0);
  }
  if (at == kNotFound) {
    const StrDesc d = DateOrToday(t);
    if (!StrIsError(d) && d.len == 0) return TempKeep(mark, StrRepeat(Lit(" "), 8));
    return TempKeep(mark, d);
  }
  const char sep = t.ptr[at];
  const StrDesc third = ListItem(t, sep, 3);
  const int a = StrToInt(ListItem(t, sep, 1));
  const int b = StrToInt(ListItem(t, sep, 2));
  int c = StrToInt(third);
  if (third.len == 2) c = DateCentury(c);
  if (a == 0 || b == 0 || third.len == 0) return TempKeep(mark, StrMake("", 0));
  const int32_t n = DayFirst() ? c * 10000 + b * 100 + a : c * 10000 + a * 100 + b;
  return TempKeep(mark, DateText(n));
}

StrDesc DateFormat(StrDesc date, int style) {
  if (StrIsError(date)) return date;
  const TempMarkValue mark = TempMark();
  const StrDesc d = DateText(DatePart(DateOrToday(date), kDateWhole));
  if (StrIsError(d)) return TempKeep(mark, d);
  if (d.len != 8) {
    if (style == 1) return TempKeep(mark, StrRepeat(Lit(" "), 8));
    if (style == 2) return TempKeep(mark, StrRepeat(Lit(" "), 10));
    return TempKeep(mark, StrMake("", 0));
  }
  const StrDesc year = StrSub(d, 0, 4);
  const StrDesc month = StrSub(d, 4, 2);
  const StrDesc day = StrSub(d, 6, 2);
  switch (style) {
    case 0:
      return TempKeep(mark, d);
    case 1:
      return TempKeep(mark, DateOrdered(StrSub(year, 2, 2), month, day));
    case 2:
      return TempKeep(mark, DateOrdered(year, month, day));
    case 3:
    case 4: {
      const StrDesc locale = DateLocale();
      const StrDesc names = StrNormalize(ListItem(locale, ',', 1));
      StrDesc name = ListItem(names, ',', static_cast<uint16_t>(StrToInt(month)));
      StrDesc templ = style == 3 ? Lit("[M] [Y]") : StrNormalize(ListItem(locale, ',', 2));
      if (style == 3) name = StrSub(name, 0, 3);
      StrDesc r = StrReplace(templ, Lit("[D]"), day, 1);
      r = StrReplace(r, Lit("[M]"), name, 1);
      r = StrReplace(r, Lit("[Y]"), year, 1);
      return TempKeep(mark, r);
    }
    default:
      return TempKeep(mark, StrMake("", 0));
  }
}
