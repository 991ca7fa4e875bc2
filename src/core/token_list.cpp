#include "core/token_list.h"

#include <cstring>

#include "core/status.h"
#include "core/str_lib.h"
#include "core/temp_stack.h"

namespace {

// Bounds [start, end) of item n (1-based) of a valid list; false when the
// list has fewer items (n = 0 included).
bool ItemBounds(StrDesc s, char sep, uint16_t n, uint32_t* start, uint32_t* end) {
  if (n == 0) return false;
  uint32_t b = 0;
  for (uint16_t k = 1; k < n; ++k) {
    uint16_t at = StrFindChar(s, sep, 0, static_cast<uint16_t>(b));
    if (at == kNotFound) return false;
    b = uint32_t{at} + 1;
  }
  uint16_t at = b < s.len ? StrFindChar(s, sep, 0, static_cast<uint16_t>(b)) : kNotFound;
  *start = b;
  *end = at == kNotFound ? s.len : at;
  return true;
}

// Walks the items of a valid list in order; `visit` gets each item as a view.
template <class Visit>
void ForEachItem(StrDesc s, char sep, Visit visit) {
  if (s.len == 0) return;
  uint32_t b = 0;
  for (;;) {
    uint16_t at = b < s.len ? StrFindChar(s, sep, 0, static_cast<uint16_t>(b)) : kNotFound;
    uint32_t e = at == kNotFound ? s.len : at;
    visit(StrDesc{s.ptr + b, static_cast<uint16_t>(e - b)});
    if (at == kNotFound) return;
    b = e + 1;
  }
}

// Pushes `length` bytes left as found; the error descriptor on failure.
StrDesc PushRaw(uint32_t length) {
  if (length > 0xFFFF) return StrError(kStStringTooLong);
  char* p = TempAllocPtr(static_cast<uint16_t>(length), 255);
  if (!p) return StrError(kStOutOfMemory);
  return StrDesc{p, static_cast<uint16_t>(length)};
}

// Leading blanks, an optional sign and digits, saturated to 64 bits (a yes
// word is not a number here).
int64_t ReadInt64(StrDesc s) {
  uint32_t i = 0;
  while (i < s.len && (s.ptr[i] == ' ' || s.ptr[i] == '\t'))
    ++i;
  bool negative = false;
  if (i < s.len && (s.ptr[i] == '-' || s.ptr[i] == '+')) negative = s.ptr[i++] == '-';
  constexpr uint64_t kCap = uint64_t{1} << 63;
  uint64_t mag = 0;
  for (; i < s.len && s.ptr[i] >= '0' && s.ptr[i] <= '9'; ++i) {
    uint64_t digit = static_cast<uint64_t>(s.ptr[i] - '0');
    mag = mag > (kCap - digit) / 10 ? kCap : mag * 10 + digit;
  }
  if (negative) return mag == kCap ? INT64_MIN : -static_cast<int64_t>(mag);
  return mag >= kCap ? INT64_MAX : static_cast<int64_t>(mag);
}

inline bool IsKvBoundary(char c) {
  return c == ':' || c == ' ' || c == '&' || c == '/';
}

// KvFind for one separator byte (':' or '=').
uint32_t KvFindWith(StrDesc text, StrDesc key, char mark, bool nul_blocks) {
  int plain = nul_blocks ? 1 : 0;
  uint32_t from = 0;
  while (from < text.len) {
    uint16_t at = StrFind(text, key, plain, static_cast<uint16_t>(from));
    if (at == kNotFound) break;
    uint32_t after = uint32_t{at} + key.len;
    bool starts =
        at == 0 || (nul_blocks ? text.ptr[at - 1] == '\0' : IsKvBoundary(text.ptr[at - 1]));
    if (starts && after < text.len && text.ptr[after] == mark) {
      uint32_t value = after + 1;
      uint32_t end = text.len;
      if (value < text.len) {
        uint16_t stop = nul_blocks ? StrFindChar(text, '\0', 1, static_cast<uint16_t>(value))
                                   : StrFindAny(text, Lit(": &/"), 0, static_cast<uint16_t>(value));
        if (stop != kNotFound) end = stop;
      }
      return value | ((end - value) << 16);
    }
    from = uint32_t{at} + 1;
  }
  return kNotFound;
}

}  // namespace

// --- token lists ---

StrDesc ListItem(StrDesc s, char sep, uint16_t n) {
  if (StrIsError(s)) return s;
  uint32_t b = 0;
  uint32_t e = 0;
  if (!ItemBounds(s, sep, n, &b, &e)) return StrDesc{s.ptr + s.len, 0};
  return StrDesc{s.ptr + b, static_cast<uint16_t>(e - b)};
}

uint16_t ListCount(StrDesc s, char sep) {
  if (StrIsError(s) || s.len == 0) return 0;
  uint32_t count = 1;
  uint32_t from = 0;
  for (;;) {
    uint16_t at = from < s.len ? StrFindChar(s, sep, 0, static_cast<uint16_t>(from)) : kNotFound;
    if (at == kNotFound) break;
    ++count;
    from = uint32_t{at} + 1;
  }
  return count > 0xFFFF ? 0xFFFF : static_cast<uint16_t>(count);
}

uint16_t ListFind(StrDesc list, StrDesc word, char sep) {
  if (StrIsError(list) || StrIsError(word) || list.len < word.len) return 0;
  uint32_t position = 0;
  uint32_t found = 0;
  ForEachItem(list, sep, [&](StrDesc item) {
    ++position;
    if (found == 0 && item.len == word.len &&
        (item.len == 0 || std::memcmp(item.ptr, word.ptr, item.len) == 0)) {
      found = position;
    }
  });
  return found > 0xFFFF ? 0 : static_cast<uint16_t>(found);
}

int16_t ListItemInt(StrDesc s, char sep, uint16_t n) {
  TempMarkValue mark = TempMark();
  int16_t value = StrToInt(StrNormalize(ListItem(s, sep, n)));
  TempRelease(mark);
  return value;
}

StrDesc ListSetItem(StrDesc s, char sep, uint16_t n, StrDesc value) {
  if (StrIsError(s)) return s;
  if (StrIsError(value)) return value;
  uint16_t count = ListCount(s, sep);
  // The result is head, `fill` separators, value, tail.
  uint32_t head = s.len;
  uint32_t tail = s.len;
  uint32_t fill = 0;
  if (n == 0) {
    fill = count > 0 ? 1 : 0;
  } else if (n > count) {
    fill = count > 0 ? uint32_t{n} - count : uint32_t{n} - 1;
  } else {
    ItemBounds(s, sep, n, &head, &tail);
  }
  StrDesc out = PushRaw(head + fill + value.len + (s.len - tail));
  if (StrIsError(out)) return out;
  char* w = out.ptr;
  std::memcpy(w, s.ptr, head);
  w += head;
  std::memset(w, sep, fill);
  w += fill;
  if (value.len) std::memcpy(w, value.ptr, value.len);
  w += value.len;
  std::memcpy(w, s.ptr + tail, s.len - tail);
  return out;
}

StrDesc ListRemoveItem(StrDesc s, char sep, uint16_t n) {
  if (StrIsError(s)) return s;
  uint32_t b = 0;
  uint32_t e = 0;
  if (!ItemBounds(s, sep, n, &b, &e) || (s.len == 0)) return StrCopy(s);
  // Cut [cut_b, cut_e): the item and the separator before it, or after it for
  // item 1 (the only item leaves an empty text).
  uint32_t cut_b = b;
  uint32_t cut_e = e;
  if (n == 1) {
    cut_e = e < s.len ? e + 1 : e;
  } else {
    cut_b = b - 1;
  }
  StrDesc out = PushRaw(s.len - (cut_e - cut_b));
  if (StrIsError(out)) return out;
  std::memcpy(out.ptr, s.ptr, cut_b);
  std::memcpy(out.ptr + cut_b, s.ptr + cut_e, s.len - cut_e);
  return out;
}

uint16_t ListItemLength(StrDesc s, char sep, bool shortest) {
  if (StrIsError(s)) return 0;
  uint16_t result = shortest ? s.len : 0;
  ForEachItem(s, sep, [&](StrDesc item) {
    uint16_t n = StrUnquote(item).len;
    if (shortest ? n < result : n > result) result = n;
  });
  return result;
}

namespace {

// Pushes `a` (when keep_a) followed by the items of b that are not items of
// a, joined with sep_a.
StrDesc ListMerge(StrDesc a, char sep_a, StrDesc b, char sep_b, bool keep_a) {
  if (StrIsError(a)) return a;
  if (StrIsError(b)) return b;
  bool have = keep_a && a.len > 0;
  uint32_t length = have ? a.len : 0;
  bool first = !have;
  ForEachItem(b, sep_b, [&](StrDesc item) {
    if (ListFind(a, item, sep_a) != 0) return;
    length += item.len + (first ? 0u : 1u);
    first = false;
  });
  StrDesc out = PushRaw(length);
  if (StrIsError(out)) return out;
  char* w = out.ptr;
  if (have) {
    std::memcpy(w, a.ptr, a.len);
    w += a.len;
  }
  first = !have;
  ForEachItem(b, sep_b, [&](StrDesc item) {
    if (ListFind(a, item, sep_a) != 0) return;
    if (!first) *w++ = sep_a;
    first = false;
    if (item.len) std::memcpy(w, item.ptr, item.len);
    w += item.len;
  });
  return out;
}

}  // namespace

StrDesc ListUnion(StrDesc a, char sep_a, StrDesc b, char sep_b) {
  return ListMerge(a, sep_a, b, sep_b, true);
}

StrDesc ListDifference(StrDesc a, char sep_a, StrDesc b, char sep_b) {
  return ListMerge(a, sep_a, b, sep_b, false);
}

StrDesc ListSplit(StrDesc s, char sep) {
  if (StrIsError(s)) return s;
  uint32_t count = ListCount(s, sep);
  StrDesc out = PushRaw(count * sizeof(StrDesc));
  if (StrIsError(out)) return out;
  // The pool is only 4-byte aligned: elements are copied in and out bytewise.
  char* w = out.ptr;
  ForEachItem(s, sep, [&](StrDesc item) {
    std::memcpy(w, &item, sizeof item);
    w += sizeof item;
  });
  return out;
}

StrDesc ArrayItem(StrDesc array, uint16_t count, uint16_t n) {
  if (StrIsError(array) || n == 0 || n > count || uint32_t{n} * sizeof(StrDesc) > array.len) {
    return Lit("");
  }
  StrDesc item;
  std::memcpy(&item, array.ptr + (uint32_t{n} - 1) * sizeof(StrDesc), sizeof item);
  return item;
}

bool RangeContains(StrDesc text, int64_t value) {
  if (StrIsError(text) || StrTrim(text, 3).len == 0) return false;
  StrDesc low = ListItem(text, '-', 1);
  StrDesc high = ListItem(text, '-', ListCount(text, '-'));
  return ReadInt64(low) <= value && value <= ReadInt64(high);
}

uint16_t RangeListFind(StrDesc list, int64_t value) {
  if (StrIsError(list)) return 0;
  uint32_t position = 0;
  uint32_t found = 0;
  ForEachItem(list, ',', [&](StrDesc item) {
    ++position;
    if (found == 0 && RangeContains(item, value)) found = position;
  });
  return found > 0xFFFF ? 0 : static_cast<uint16_t>(found);
}

// --- key=value texts ---

uint32_t KvFind(StrDesc text, StrDesc key, int flags) {
  if (StrIsError(text) || StrIsError(key) || key.len == 0) return kNotFound;
  bool nul_blocks = (flags & 4) != 0;
  uint32_t r = KvFindWith(text, key, ':', nul_blocks);
  if ((r & 0xFFFF) == kNotFound) r = KvFindWith(text, key, '=', nul_blocks);
  return r;
}

StrDesc KvGet(StrDesc text, StrDesc key, int flags) {
  if (StrIsError(text)) return text;
  if (StrIsError(key)) return key;
  uint32_t r = KvFind(text, key, flags);
  if ((r & 0xFFFF) == kNotFound) return StrDesc{text.ptr, 0};
  StrDesc value{text.ptr + (r & 0xFFFF), static_cast<uint16_t>(r >> 16)};
  if ((flags & 3) == 3) return StrNormalize(value);
  if ((flags & 3) == 1) return StrUnquote(value);
  return value;
}

Status KvPush(StrDesc text, StrDesc key) {
  if (Status st = StrCheck(text)) return st;
  if (Status st = StrCheck(key)) return st;
  uint32_t r = KvFind(text, key, 0);
  if ((r & 0xFFFF) == kNotFound) return kStNoData;
  StrDesc value{text.ptr + (r & 0xFFFF), static_cast<uint16_t>(r >> 16)};
  if (StrFindChar(key, '%', 1) == kNotFound) value = StrUnquote(value);
  return TempPushCopy(value);
}

// --- arrays kept inside strings ---

uint16_t ArrayCheck(StrDesc s, uint16_t index, uint16_t size) {
  if (StrIsError(s) || size == 0 || s.len % size != 0 || index >= s.len / size) return 0xFFFF;
  return 0;
}

uint16_t ArrayGet16(StrDesc s, uint16_t index) {
  if (ArrayCheck(s, index, 2) != 0) return 0;
  auto* p = reinterpret_cast<const unsigned char*>(s.ptr) + uint32_t{index} * 2;
  return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

void ArraySet16(StrDesc s, uint16_t index, uint16_t value) {
  if (ArrayCheck(s, index, 2) != 0) return;
  auto* p = reinterpret_cast<unsigned char*>(s.ptr) + uint32_t{index} * 2;
  p[0] = static_cast<unsigned char>(value & 0xFF);
  p[1] = static_cast<unsigned char>(value >> 8);
}

StrDesc ArrayGetDesc(StrDesc s, uint16_t index) {
  if (ArrayCheck(s, index, sizeof(StrDesc)) != 0) return StrDesc{};
  StrDesc item;
  std::memcpy(&item, s.ptr + uint32_t{index} * sizeof(StrDesc), sizeof item);
  return item;
}

int ArrayFind(const void* base, uint16_t count, const void* record, uint16_t size) {
  if (!base || !record || size == 0) return -1;
  auto* p = static_cast<const unsigned char*>(base);
  for (uint32_t i = 0; i < count; ++i) {
    if (std::memcmp(p + i * size, record, size) == 0) return static_cast<int>(i);
  }
  return -1;
}

int ArrayFindNull(const void* base, uint16_t count) {
  static const unsigned char kZero[4] = {0, 0, 0, 0};
  return ArrayFind(base, count, kZero, 4);
}

// --- bounded text buffers ---

StrDesc BufferWrite(TextBuffer* buffer, StrDesc data, int32_t offset) {
  if (StrIsError(data)) return data;
  if (!buffer || !buffer->ptr) return StrError(kStData);
  if (buffer->status != 0) return Lit("");
  uint32_t at = offset < 0 ? buffer->used : static_cast<uint32_t>(offset);
  if (uint32_t{buffer->capacity} < at + data.len) {
    buffer->status = kStStrConcat;
    return StrError(kStStrConcat);
  }
  if (data.len) std::memmove(buffer->ptr + at, data.ptr, data.len);
  uint32_t end = at + data.len;
  if (end > buffer->used) buffer->used = static_cast<uint16_t>(end);
  return StrDesc{buffer->ptr + at, data.len};
}
