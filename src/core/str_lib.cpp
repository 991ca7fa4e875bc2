#include "core/str_lib.h"

#include <cstring>

#include "core/status.h"
#include "core/temp_stack.h"

namespace {

constexpr char kBrackets[] = "[](){}<>";
constexpr char kYesWords[] = "YES,SI,Y,S,ON";

inline bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

inline char UpperAscii(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
}
inline char LowerAscii(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
}

// The closing quote of the quoted section opened at `at`, or -1 when the
// section is not closed (it then runs to the end of the text).
int32_t QuoteEnd(StrDesc s, uint32_t at) {
  const char* p = s.ptr + at + 1;
  const void* hit = std::memchr(p, s.ptr[at], s.len - at - 1);
  return hit ? static_cast<int32_t>(static_cast<const char*>(hit) - s.ptr) : -1;
}

// The first position at or after `from` whose byte satisfies `match`;
// quoted sections are skipped unless `plain`. A quote character itself is
// never matched in quote-aware mode: it opens a section.
template <class Match>
uint16_t ScanFirst(StrDesc s, uint32_t from, int plain, Match match) {
  if (StrIsError(s)) return kNotFound;
  uint32_t i = from;
  while (i < s.len) {
    char c = s.ptr[i];
    if (plain == 0 && IsQuoteChar(c)) {
      int32_t end = QuoteEnd(s, i);
      if (end < 0) return kNotFound;
      i = static_cast<uint32_t>(end) + 1;
      continue;
    }
    if (match(c)) return static_cast<uint16_t>(i);
    ++i;
  }
  return kNotFound;
}

// The last position whose byte satisfies `match` (quote rules as above).
template <class Match>
uint16_t ScanLast(StrDesc s, int plain, Match match) {
  if (StrIsError(s)) return kNotFound;
  if (plain != 0) {
    for (uint32_t i = s.len; i > 0; --i) {
      if (match(s.ptr[i - 1])) return static_cast<uint16_t>(i - 1);
    }
    return kNotFound;
  }
  uint16_t last = kNotFound;
  uint32_t from = 0;
  for (;;) {
    uint16_t at = ScanFirst(s, from, plain, match);
    if (at == kNotFound) return last;
    last = at;
    from = uint32_t{at} + 1;
  }
}

// A 256-entry membership table of the bytes of set.
struct ByteSet {
  bool has[256] = {};
  explicit ByteSet(StrDesc set) {
    for (uint16_t i = 0; i < set.len; ++i)
      has[static_cast<unsigned char>(set.ptr[i])] = true;
  }
  bool operator()(char c) const { return has[static_cast<unsigned char>(c)]; }
};

// True when s equals word ignoring ASCII case.
bool EqualsUpper(StrDesc s, const char* word, size_t n) {
  if (s.len != n) return false;
  for (size_t i = 0; i < n; ++i) {
    if (UpperAscii(s.ptr[i]) != word[i]) return false;
  }
  return true;
}

// Pushes a temporary of `length` bytes left as found; null on failure.
char* PushRaw(uint32_t length, Status* failure) {
  if (length > 0xFFFF) {
    *failure = kStStringTooLong;
    return nullptr;
  }
  char* p = TempAllocPtr(static_cast<uint16_t>(length), 255);
  if (!p) *failure = kStOutOfMemory;
  return p;
}

// Reads leading blanks, an optional sign and digits. The magnitude is
// accumulated modulo 2^64 for the 16-bit reader and saturated for the
// 64-bit one.
struct DigitsRead {
  bool negative = false;
  uint64_t wrapped = 0;    // magnitude modulo 2^64
  uint64_t saturated = 0;  // magnitude, at most 2^63
};

DigitsRead ReadDigits(StrDesc s) {
  DigitsRead r;
  uint32_t i = 0;
  while (i < s.len && IsBlank(s.ptr[i]))
    ++i;
  if (i < s.len && (s.ptr[i] == '-' || s.ptr[i] == '+')) {
    r.negative = s.ptr[i] == '-';
    ++i;
  }
  constexpr uint64_t kCap = uint64_t{1} << 63;
  for (; i < s.len && s.ptr[i] >= '0' && s.ptr[i] <= '9'; ++i) {
    uint64_t digit = static_cast<uint64_t>(s.ptr[i] - '0');
    r.wrapped = r.wrapped * 10 + digit;
    r.saturated = (r.saturated > (kCap - digit) / 10) ? kCap : r.saturated * 10 + digit;
  }
  return r;
}

}  // namespace

char BracketPartner(char open) {
  for (int i = 0; i < 8; i += 2) {
    if (kBrackets[i] == open) return kBrackets[i + 1];
  }
  return open;
}

// --- search and compare ---

uint16_t StrFindChar(StrDesc s, char ch, int plain, uint16_t from) {
  return ScanFirst(s, from, plain, [ch](char c) { return c == ch; });
}

uint16_t StrFind(StrDesc s, StrDesc sub, int plain, uint16_t from) {
  if (StrIsError(s) || StrIsError(sub)) return kNotFound;
  if (sub.len == 0) return from <= s.len ? from : kNotFound;
  uint32_t at = from;
  for (;;) {
    uint16_t pos = StrFindChar(s, sub.ptr[0], plain, static_cast<uint16_t>(at));
    if (pos == kNotFound || uint32_t{pos} + sub.len > s.len) return kNotFound;
    if (std::memcmp(s.ptr + pos + 1, sub.ptr + 1, sub.len - 1u) == 0) return pos;
    at = uint32_t{pos} + 1;
    if (at >= s.len) return kNotFound;
  }
}

uint16_t StrFindAny(StrDesc s, StrDesc set, int plain, uint16_t from) {
  if (StrIsError(set)) return kNotFound;
  ByteSet in(set);
  return ScanFirst(s, from, plain, in);
}

uint16_t StrFindLastChar(StrDesc s, char ch, int plain) {
  return ScanLast(s, plain, [ch](char c) { return c == ch; });
}

uint16_t StrFindLastAny(StrDesc s, StrDesc set, int plain) {
  if (StrIsError(set)) return kNotFound;
  ByteSet in(set);
  return ScanLast(s, plain, in);
}

uint16_t StrCount(StrDesc s, StrDesc sub, int plain) {
  if (StrIsError(s) || StrIsError(sub) || sub.len == 0) return 0;
  uint16_t count = 0;
  uint32_t from = 0;
  while (from < s.len) {
    uint16_t pos = StrFind(s, sub, plain, static_cast<uint16_t>(from));
    if (pos == kNotFound) break;
    ++count;
    from = uint32_t{pos} + sub.len;
  }
  return count;
}

int StrCompare(StrDesc a, StrDesc b) {
  std::string_view x = StrView(a);
  std::string_view y = StrView(b);
  size_t n = x.size() < y.size() ? x.size() : y.size();
  int c = n ? std::memcmp(x.data(), y.data(), n) : 0;
  if (c == 0) c = x.size() < y.size() ? -1 : (x.size() > y.size() ? 1 : 0);
  return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

uint32_t StrFindPair(StrDesc s, char open, char close, int plain) {
  if (StrIsError(s)) return 0xFFFFFFFFu;
  int32_t last_open = -1;
  uint32_t from = 0;
  for (;;) {
    uint16_t at =
        ScanFirst(s, from, plain, [open, close](char c) { return c == open || c == close; });
    if (at == kNotFound) return 0xFFFFFFFFu;
    if (s.ptr[at] == close && last_open >= 0) {
      uint32_t start = static_cast<uint32_t>(last_open) + 1;
      return start | ((at - start) << 16);
    }
    // A close with no open before it is passed over; with open == close the
    // same byte then opens the next pair.
    if (s.ptr[at] == open) last_open = at;
    from = uint32_t{at} + 1;
  }
}

// --- shaping ---

StrDesc StrSub(StrDesc s, int32_t offset, uint16_t count) {
  if (StrIsError(s)) return s;
  if (offset < 0) {
    int64_t take = -int64_t{offset};
    if (take > s.len) take = s.len;
    return StrDesc{s.ptr + (s.len - take), static_cast<uint16_t>(take)};
  }
  if (offset >= s.len) return StrDesc{s.ptr + s.len, 0};
  uint32_t room = s.len - static_cast<uint32_t>(offset);
  return StrDesc{s.ptr + offset, static_cast<uint16_t>(count < room ? count : room)};
}

StrDesc StrTrim(StrDesc s, int sides) {
  if (StrIsError(s)) return s;
  uint32_t b = 0;
  uint32_t e = s.len;
  if (sides & 1) {
    while (b < e && IsBlank(s.ptr[b]))
      ++b;
  }
  if (sides & 2) {
    while (e > b && IsBlank(s.ptr[e - 1]))
      --e;
  }
  return StrDesc{s.ptr + b, static_cast<uint16_t>(e - b)};
}

StrDesc StrTrimSet(StrDesc s, int sides, StrDesc set) {
  if (StrIsError(s)) return s;
  if (StrIsError(set)) return set;
  ByteSet in(set);
  uint32_t b = 0;
  uint32_t e = s.len;
  if (sides & 1) {
    while (b < e && in(s.ptr[b]))
      ++b;
  }
  if (sides & 2) {
    while (e > b && in(s.ptr[e - 1]))
      --e;
  }
  return StrCopy(StrDesc{s.ptr + b, static_cast<uint16_t>(e - b)});
}

StrDesc StrUnquote(StrDesc s) {
  if (StrIsError(s)) return s;
  if (s.len >= 2 && IsQuoteChar(s.ptr[0]) && s.ptr[s.len - 1] == s.ptr[0]) {
    return StrDesc{s.ptr + 1, static_cast<uint16_t>(s.len - 2)};
  }
  return s;
}

StrDesc StrNormalize(StrDesc s) {
  if (StrIsError(s)) return s;
  StrDesc r = StrUnquote(StrTrim(s, 3));
  if (r.len != s.len) return r;
  return StrCase(s, 1);
}

StrDesc StrCase(StrDesc s, int upper) {
  StrDesc r = StrCopy(s);
  if (StrIsError(r)) return r;
  for (uint16_t i = 0; i < r.len; ++i) {
    r.ptr[i] = upper == 1 ? UpperAscii(r.ptr[i]) : LowerAscii(r.ptr[i]);
  }
  return r;
}

StrDesc StrReplace(StrDesc s, StrDesc old_text, StrDesc new_text, int plain) {
  if (StrIsError(s)) return s;
  if (StrIsError(old_text)) return old_text;
  if (StrIsError(new_text)) return new_text;
  if (old_text.len == 1 && IsQuoteChar(old_text.ptr[0])) plain = 1;
  TempMarkValue mark = TempMark();
  uint16_t count = StrCount(s, old_text, plain);
  int64_t length = int64_t{s.len} - int64_t{count} * (int64_t{old_text.len} - new_text.len);
  Status failure = 0;
  char* out = length <= 0xFFFF ? PushRaw(static_cast<uint32_t>(length), &failure) : nullptr;
  if (!out) {
    TempRelease(mark);
    ErrSet(1, kModStrConcat, kStMemTest, 0);
    return StrError(kStMemTest);
  }
  char* w = out;
  uint32_t from = 0;
  for (uint16_t k = 0; k < count; ++k) {
    uint16_t pos = StrFind(s, old_text, plain, static_cast<uint16_t>(from));
    std::memcpy(w, s.ptr + from, pos - from);
    w += pos - from;
    if (new_text.len) std::memcpy(w, new_text.ptr, new_text.len);
    w += new_text.len;
    from = uint32_t{pos} + old_text.len;
  }
  if (from < s.len) std::memcpy(w, s.ptr + from, s.len - from);
  return StrDesc{out, static_cast<uint16_t>(length)};
}

StrDesc StrKeepChars(StrDesc s, StrDesc set) {
  if (StrIsError(s)) return s;
  if (StrIsError(set)) return set;
  ByteSet in(set);
  uint32_t n = 0;
  for (uint16_t i = 0; i < s.len; ++i)
    n += in(s.ptr[i]) ? 1 : 0;
  Status failure = 0;
  char* out = PushRaw(n, &failure);
  if (!out) return StrError(failure);
  for (uint16_t i = 0; i < s.len; ++i) {
    if (in(s.ptr[i])) *out++ = s.ptr[i];
  }
  return StrDesc{out - n, static_cast<uint16_t>(n)};
}

StrDesc StrTranslate(StrDesc s, StrDesc from, StrDesc to) {
  if (StrIsError(s)) return s;
  if (StrIsError(from)) return from;
  if (StrIsError(to)) return to;
  // map[b] is the replacement of byte b, or -1 to keep it. The first
  // occurrence of a byte in `from` counts.
  int map[256];
  for (int& m : map)
    m = -1;
  for (uint16_t i = 0; i < from.len; ++i) {
    auto b = static_cast<unsigned char>(from.ptr[i]);
    if (map[b] != -1) continue;
    map[b] = i < to.len ? static_cast<unsigned char>(to.ptr[i]) : -2;  // -2: no partner, kept
  }
  StrDesc r = StrCopy(s);
  if (StrIsError(r)) return r;
  for (uint16_t i = 0; i < r.len; ++i) {
    int m = map[static_cast<unsigned char>(r.ptr[i])];
    if (m >= 0) r.ptr[i] = static_cast<char>(m);
  }
  return r;
}

StrDesc StrTranslateTokens(StrDesc s, StrDesc tokens, StrDesc chars) {
  if (StrIsError(s)) return s;
  if (StrIsError(tokens)) return tokens;
  if (StrIsError(chars)) return chars;
  TempMarkValue mark = TempMark();
  StrDesc r = s;
  uint16_t piece = chars.len ? static_cast<uint16_t>(tokens.len / chars.len) : 0;
  for (uint16_t k = 0; piece > 0 && k < chars.len && !StrIsError(r); ++k) {
    StrDesc from = StrDesc{tokens.ptr + uint32_t{k} * piece, piece};
    r = TempKeep(mark, StrReplace(r, from, StrDesc{chars.ptr + k, 1}, 1));
  }
  return TempKeep(mark, r);
}

StrDesc StrCollapse(StrDesc s, char ch, int plain) {
  if (StrIsError(s)) return s;
  // Two passes over the same walk: the first counts, the second writes.
  auto walk = [&](char* out) {
    uint32_t n = 0;
    bool after_ch = false;
    uint32_t i = 0;
    while (i < s.len) {
      char c = s.ptr[i];
      if (plain == 0 && IsQuoteChar(c)) {
        int32_t end = QuoteEnd(s, i);
        uint32_t stop = end < 0 ? s.len : static_cast<uint32_t>(end) + 1;
        if (out) std::memcpy(out + n, s.ptr + i, stop - i);
        n += stop - i;
        i = stop;
        after_ch = false;
        continue;
      }
      if (!(c == ch && after_ch)) {
        if (out) out[n] = c;
        ++n;
      }
      after_ch = c == ch;
      ++i;
    }
    return n;
  };
  uint32_t n = walk(nullptr);
  Status failure = 0;
  char* out = PushRaw(n, &failure);
  if (!out) return StrError(failure);
  walk(out);
  return StrDesc{out, static_cast<uint16_t>(n)};
}

Status StrWriteAt(StrDesc dst, int32_t offset, StrDesc src) {
  if (Status st = StrCheck(dst)) return st;
  if (Status st = StrCheck(src)) return st;
  int64_t at = offset < 0 ? int64_t{dst.len} + offset : offset;
  if (at < 0) at = 0;
  if (at >= dst.len) return 0;
  int64_t n = dst.len - at;
  if (src.len < n) n = src.len;
  if (n > 0) std::memmove(dst.ptr + at, src.ptr, static_cast<size_t>(n));
  return 0;
}

StrDesc StrOverwrite(StrDesc s, int32_t offset, StrDesc src) {
  if (StrIsError(s)) return s;
  if (StrIsError(src)) return src;
  StrDesc r = StrCopy(s);
  if (StrIsError(r)) return r;
  StrWriteAt(r, offset, src);
  return r;
}

StrDesc StrAppendAt(StrDesc src, char* buffer, uint16_t length) {
  if (StrIsError(src)) return src;
  if (!buffer) return StrError(kStData);
  uint32_t total = uint32_t{length} + src.len;
  if (total > 0xFFFF) return StrError(kStStringTooLong);
  if (src.len) std::memmove(buffer + length, src.ptr, src.len);
  return StrDesc{buffer, static_cast<uint16_t>(total)};
}

StrDesc StrWrap(StrDesc s, char open) {
  if (StrIsError(s)) return s;
  Status failure = 0;
  char* out = PushRaw(uint32_t{s.len} + 2, &failure);
  if (!out) return StrError(failure);
  out[0] = open;
  if (s.len) std::memcpy(out + 1, s.ptr, s.len);
  out[s.len + 1] = BracketPartner(open);
  return StrDesc{out, static_cast<uint16_t>(s.len + 2)};
}

bool StrIsWrapped(StrDesc s, uint16_t length, char open) {
  if (StrIsError(s)) return false;
  if (length > s.len) length = s.len;
  return length > 1 && s.ptr[0] == open && s.ptr[length - 1] == BracketPartner(open);
}

StrDesc StrBracketed(StrDesc s, char open, int plain) {
  if (StrIsError(s)) return s;
  StrDesc none{s.ptr, 0};
  char close = BracketPartner(open);
  // A quote character is never found by a quote-aware search, so quotes as
  // brackets are always searched plainly.
  if (IsQuoteChar(open)) plain = 1;
  uint16_t at = StrFindChar(s, open, plain);
  if (at == kNotFound) return none;
  uint32_t start = uint32_t{at} + 1;
  uint16_t end = kNotFound;
  if (close == open) {
    end = start < s.len ? StrFindChar(s, close, plain, static_cast<uint16_t>(start)) : kNotFound;
  } else {
    int depth = 1;
    uint32_t from = start;
    while (from < s.len) {
      uint16_t hit =
          ScanFirst(s, from, plain, [open, close](char c) { return c == open || c == close; });
      if (hit == kNotFound) break;
      depth += s.ptr[hit] == open ? 1 : -1;
      if (depth == 0) {
        end = hit;
        break;
      }
      from = uint32_t{hit} + 1;
    }
  }
  if (end == kNotFound) return none;
  return StrDesc{s.ptr + start, static_cast<uint16_t>(end - start)};
}

StrDesc StrQuote(StrDesc s, char quote) {
  if (StrIsError(s)) return s;
  std::string_view v = StrView(s);
  if (v.find(quote) != std::string_view::npos) {
    quote = quote == '\'' ? '"' : '\'';
    if (v.find(quote) != std::string_view::npos) return StrError(kStData);
  }
  return StrWrap(s, quote);
}

StrDesc StrPair(StrDesc a, StrDesc b) {
  if (StrIsError(a)) return a;
  if (StrIsError(b)) return b;
  if (a.len == 0 || b.len == 0) return StrError(kStData);
  Status failure = 0;
  char* out = PushRaw(uint32_t{a.len} + 1 + b.len, &failure);
  if (!out) return StrError(failure);
  std::memcpy(out, a.ptr, a.len);
  out[a.len] = '=';
  std::memcpy(out + a.len + 1, b.ptr, b.len);
  return StrDesc{out, static_cast<uint16_t>(a.len + 1 + b.len)};
}

const char* StrCstr(StrDesc s) {
  if (StrIsError(s) || s.len == 0xFFFF) return "";
  char* out = TempAllocPtr(static_cast<uint16_t>(s.len + 1), 255);
  if (!out) return "";
  if (s.len) std::memcpy(out, s.ptr, s.len);
  out[s.len] = '\0';
  return out;
}

// --- integers from text ---

bool StrIsYes(StrDesc s) {
  if (StrIsError(s)) return false;
  const char* word = kYesWords;
  for (;;) {
    const char* end = std::strchr(word, ',');
    size_t n = end ? static_cast<size_t>(end - word) : std::strlen(word);
    if (EqualsUpper(s, word, n)) return true;
    if (!end) return false;
    word = end + 1;
  }
}

int16_t StrToInt(StrDesc s) {
  if (StrIsError(s)) return 0;
  if (StrIsYes(s)) return 1;
  DigitsRead r = ReadDigits(s);
  // The low 16 bits of the value, as a 16-bit store keeps them.
  uint16_t low = static_cast<uint16_t>(r.negative ? 0 - r.wrapped : r.wrapped);
  return static_cast<int16_t>(low);
}

int64_t StrToInt64(StrDesc s) {
  if (StrIsError(s)) return 0;
  if (StrIsYes(s)) return 1;
  DigitsRead r = ReadDigits(s);
  constexpr uint64_t kCap = uint64_t{1} << 63;
  if (r.negative) return r.saturated == kCap ? INT64_MIN : -static_cast<int64_t>(r.saturated);
  return r.saturated >= kCap ? INT64_MAX : static_cast<int64_t>(r.saturated);
}
