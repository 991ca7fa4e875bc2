#include "language/local_lists.h"

#include <cstring>

#include "core/fixed_point.h"
#include "core/mem_pool.h"
#include "core/status.h"
#include "core/str_lib.h"
#include "core/temp_stack.h"
#include "core/token_list.h"

namespace {

// Every list block starts with this header; the items follow it back to back.
// The serial ties handles to the block they were made for (its low byte is the
// handle's tag), the count catches stale handle copies.
struct ListHeader {
  uint32_t serial;
  uint32_t count;
};
constexpr uint32_t kHeaderSize = sizeof(ListHeader);

// The decoded 24-byte handle.
struct ListHandle {
  unsigned char* address = nullptr;  // the block
  uint32_t capacity = 0;             // item bytes the block holds
  uint16_t block = 0;                // block-table entry
  uint16_t key = 0;
  uint16_t width = 0;
  uint16_t count = 0;
  uint16_t cursor = 0;
  uint8_t flags = 0;
  uint8_t tag = 0;
};

// Offsets of the fields inside the handle string.
constexpr int kOffAddress = 0;
constexpr int kOffCapacity = 8;
constexpr int kOffBlock = 12;
constexpr int kOffKey = 14;
constexpr int kOffWidth = 16;
constexpr int kOffCount = 18;
constexpr int kOffCursor = 20;
constexpr int kOffFlags = 22;
constexpr int kOffTag = 23;
static_assert(kOffTag + 1 == kListHandleSize);
static_assert(sizeof(void*) <= 8);

uint32_t g_serial = 0;

Status Fail(Status st) {
  ErrSet(1, kModLocalLists, st, st);
  return st;
}

void Encode(const ListHandle& h, char* out) {
  std::memset(out, 0, kListHandleSize);
  const uint64_t address = reinterpret_cast<uintptr_t>(h.address);
  std::memcpy(out + kOffAddress, &address, 8);
  std::memcpy(out + kOffCapacity, &h.capacity, 4);
  std::memcpy(out + kOffBlock, &h.block, 2);
  std::memcpy(out + kOffKey, &h.key, 2);
  std::memcpy(out + kOffWidth, &h.width, 2);
  std::memcpy(out + kOffCount, &h.count, 2);
  std::memcpy(out + kOffCursor, &h.cursor, 2);
  out[kOffFlags] = static_cast<char>(h.flags);
  out[kOffTag] = static_cast<char>(h.tag);
}

Status PushHandle(const ListHandle& h) {
  char bytes[kListHandleSize];
  Encode(h, bytes);
  return TempPushCopy(StrMake(bytes, kListHandleSize));
}

ListHeader* HeaderOf(const ListHandle& h) {
  return reinterpret_cast<ListHeader*>(h.address);
}
unsigned char* Items(const ListHandle& h) {
  return h.address + kHeaderSize;
}

// Decodes a handle and checks it against the block table and the block's
// header. 147 for anything that does not describe a live list exactly.
Status Decode(StrDesc s, ListHandle* h) {
  if (StrCheck(s) != 0) return StrCheck(s);
  if (s.len != kListHandleSize) return Fail(kStSyntax);
  uint64_t address = 0;
  std::memcpy(&address, s.ptr + kOffAddress, 8);
  h->address = reinterpret_cast<unsigned char*>(static_cast<uintptr_t>(address));
  std::memcpy(&h->capacity, s.ptr + kOffCapacity, 4);
  std::memcpy(&h->block, s.ptr + kOffBlock, 2);
  std::memcpy(&h->key, s.ptr + kOffKey, 2);
  std::memcpy(&h->width, s.ptr + kOffWidth, 2);
  std::memcpy(&h->count, s.ptr + kOffCount, 2);
  std::memcpy(&h->cursor, s.ptr + kOffCursor, 2);
  h->flags = static_cast<uint8_t>(s.ptr[kOffFlags]);
  h->tag = static_cast<uint8_t>(s.ptr[kOffTag]);
  const MemEntryRecord* e = MemEntry(h->block);
  if (e == nullptr || e->data == nullptr || e->owner != kOwnerLocalLists || e->data != h->address ||
      e->size != uint64_t{kHeaderSize} + h->capacity) {
    return Fail(kStSyntax);
  }
  const ListHeader* header = HeaderOf(*h);
  if ((header->serial & 0xFF) != h->tag || header->count != h->count || h->key > h->width ||
      uint64_t{h->count} * h->width > h->capacity) {
    return Fail(kStSyntax);
  }
  return 0;
}

// A new zero-filled list block with room for `capacity` item bytes.
bool TakeBlock(uint64_t capacity, ListHandle* h) {
  if (capacity > 0xFFFFFFFFull - kHeaderSize) return false;
  const uint16_t entry =
      MemAllocHandle(kOwnerLocalLists, static_cast<uint32_t>(kHeaderSize + capacity), 0);
  const MemEntryRecord* e = MemEntry(entry);
  if (e == nullptr || e->data == nullptr) return false;
  h->address = e->data;
  h->block = entry;
  h->capacity = static_cast<uint32_t>(capacity);
  return true;
}

// Compares the keys of two items of the list's width.
int KeyCompare(const unsigned char* a, const unsigned char* b, uint16_t key) {
  return key == 0 ? 0 : std::memcmp(a, b, key);
}

// The place of a new item: after every item whose key is not beyond it in
// the list's order, so that equal keys keep their order of addition.
uint32_t InsertPlace(const ListHandle& h, const unsigned char* item) {
  const bool descending = (h.flags & kListDescending) != 0;
  uint32_t lo = 0;
  uint32_t hi = h.count;
  const unsigned char* items = Items(h);
  while (lo < hi) {
    const uint32_t mid = lo + (hi - lo) / 2;
    const int c = KeyCompare(items + uint64_t{mid} * h.width, item, h.key);
    const bool beyond = descending ? c < 0 : c > 0;
    if (beyond) {
      hi = mid;
    } else {
      lo = mid + 1;
    }
  }
  return lo;
}

// FILELOCATE's reading of a verb, reduced to the positioning bits 0x34.
int MoveBits(StrDesc verb) {
  static constexpr int kCodes[] = {3841, 3876, 3862, 0, 3858, 3872, 64, 3840, 3328, 1602, 66};
  const TempMarkValue mark = TempMark();
  StrDesc upper = StrCase(verb, 1);
  if (StrEq(upper, "NEXT")) upper = Lit("NXT");
  if (StrEq(upper, "PREVIOUS")) upper = Lit("PRV");
  if (StrEq(upper, "BOTTOM")) upper = Lit("BOT");
  const uint16_t at = ListFind(
      Lit("NEW,TOP,PRV,RLD,NXT,BOT,FND,SVE,INS,DEL,LST,NLS,BLS,IMP,MDE,DDE,PRN,TSL"), upper, ',');
  int code = 255;
  if (at >= 1 && at <= sizeof kCodes / sizeof kCodes[0]) {
    code = kCodes[at - 1];
  } else if (at == 13) {
    code = 70;  // BLS
  }
  TempRelease(mark);
  return code & 0x34;
}

// --- the one-call sort ---

struct SortItem {
  uint16_t offset;
  uint16_t length;
};

// Compares two items as if both were padded with blanks to `width`.
int PaddedCompare(const char* text, SortItem a, SortItem b) {
  const uint16_t common = a.length < b.length ? a.length : b.length;
  const int c = common == 0 ? 0 : std::memcmp(text + a.offset, text + b.offset, common);
  if (c != 0) return c;
  const SortItem& longer = a.length > b.length ? a : b;
  for (uint16_t i = common; i < longer.length; ++i) {
    const unsigned char ch = static_cast<unsigned char>(text[longer.offset + i]);
    if (ch != ' ') {
      const int r = ch < ' ' ? -1 : 1;
      return a.length > b.length ? r : -r;
    }
  }
  return 0;
}

// Stable bottom-up merge sort of items[0..n) using aux[0..n).
void MergeSort(const char* text, SortItem* items, SortItem* aux, uint32_t n, bool descending) {
  SortItem* from = items;
  SortItem* to = aux;
  for (uint32_t run = 1; run < n; run *= 2) {
    for (uint32_t lo = 0; lo < n; lo += 2 * run) {
      const uint32_t mid = lo + run < n ? lo + run : n;
      const uint32_t hi = lo + 2 * run < n ? lo + 2 * run : n;
      uint32_t i = lo, j = mid, k = lo;
      while (i < mid && j < hi) {
        int c = PaddedCompare(text, from[j], from[i]);
        if (descending) c = -c;
        to[k++] = c < 0 ? from[j++] : from[i++];
      }
      while (i < mid)
        to[k++] = from[i++];
      while (j < hi)
        to[k++] = from[j++];
    }
    SortItem* swap = from;
    from = to;
    to = swap;
  }
  if (from != items) std::memcpy(items, from, sizeof(SortItem) * n);
}

int32_t IntArg(StrDesc value) {
  const int64_t v = NumScaleDown(NumFromBytes(value), NumDecimals());
  if (v < INT32_MIN || v > INT32_MAX) return v < 0 ? INT32_MIN : INT32_MAX;
  return static_cast<int32_t>(v);
}

}  // namespace

int SortVerb(StrDesc first) {
  if (StrCheck(first) != 0) return 0;
  return ListFind(Lit("NEW,ADD,MOVE,GET,KILL"), first, ',');
}

Status LocalListNew(int32_t a, int32_t b, int32_t flags) {
  if (a < 0 || a > 0xFFFF || b < 0 || b > 0xFFFF) return Fail(kStSyntax);
  ListHandle h;
  h.width = static_cast<uint16_t>(a > b ? a : b);
  h.key = static_cast<uint16_t>(a < b ? a : b);
  h.flags = static_cast<uint8_t>(flags & 0xFF);
  if (!TakeBlock(uint64_t(a) * 256, &h)) return Fail(kStOutOfMemory);
  const uint32_t serial = ++g_serial;
  HeaderOf(h)->serial = serial;
  HeaderOf(h)->count = 0;
  h.tag = static_cast<uint8_t>(serial & 0xFF);
  const Status st = PushHandle(h);
  if (st != 0) MemFree(kOwnerLocalLists, h.address);
  return st;
}

Status LocalListAdd(StrDesc handle, StrDesc item) {
  ListHandle h;
  Status st = Decode(handle, &h);
  if (st != 0) return st;
  if (StrCheck(item) != 0) return StrCheck(item);
  if (item.len > h.width) return Fail(kStData);
  if (h.count == 0xFFFF) return Fail(kStOutOfMemory);
  // The result's room is taken first, so that once the list changes the new
  // handle can always be given back.
  const TempMarkValue outer = TempMark();
  char* result = TempAllocPtr(kListHandleSize, 0);
  if (result == nullptr) return kStOutOfMemory;

  const TempMarkValue mark = TempMark();
  char* padded = TempAllocPtr(h.width, ' ');
  if (padded == nullptr) {
    TempRelease(outer);
    return kStOutOfMemory;
  }
  if (item.len > 0) std::memcpy(padded, item.ptr, item.len);
  const auto* bytes = reinterpret_cast<const unsigned char*>(padded);
  const uint32_t place = InsertPlace(h, bytes);
  if ((h.flags & kListUnique) && place > 0 &&
      KeyCompare(Items(h) + uint64_t{place - 1} * h.width, bytes, h.key) == 0) {
    TempRelease(mark);
    Encode(h, result);
    return 5;
  }
  const uint64_t needed = uint64_t{h.count + 1u} * h.width;
  if (needed > h.capacity) {
    ListHandle grown = h;
    if (!TakeBlock(needed * 2, &grown)) {
      TempRelease(outer);
      return Fail(kStOutOfMemory);
    }
    std::memcpy(grown.address, h.address, kHeaderSize + uint64_t{h.count} * h.width);
    MemFree(kOwnerLocalLists, h.address);
    h = grown;
  }
  unsigned char* at = Items(h) + uint64_t{place} * h.width;
  std::memmove(at + h.width, at, uint64_t{h.count - place} * h.width);
  if (h.width > 0) std::memcpy(at, bytes, h.width);
  h.count += 1;
  HeaderOf(h)->count = h.count;
  TempRelease(mark);
  Encode(h, result);
  return 0;
}

Status LocalListMove(StrDesc handle, StrDesc verb, int16_t* outcome) {
  ListHandle h;
  Status st = Decode(handle, &h);
  if (st != 0) return st;
  if (StrCheck(verb) != 0) return StrCheck(verb);
  int32_t cursor = h.cursor;
  switch (MoveBits(verb)) {
    case 16:
      cursor += 1;
      break;
    case 20:
      cursor -= 1;
      break;
    case 32:
      cursor = int32_t{h.count} - 1;
      break;
    case 36:
      cursor = 0;
      break;
    default:
      break;
  }
  int16_t result = 0;
  if (cursor < 0 || cursor >= h.count) {
    cursor = h.count > 0 ? h.count - 1 : 0;
    result = 2;
  }
  h.cursor = static_cast<uint16_t>(cursor);
  st = PushHandle(h);
  if (st == 0) *outcome = result;
  return st;
}

Status LocalListGet(StrDesc handle) {
  ListHandle h;
  const Status st = Decode(handle, &h);
  if (st != 0) return st;
  if (h.cursor >= h.count) return TempPushCopy(Lit(""));
  const unsigned char* item = Items(h) + uint64_t{h.cursor} * h.width;
  return TempPushCopy(StrMake(reinterpret_cast<const char*>(item), h.width));
}

Status LocalListKill(StrDesc handle) {
  ListHandle h;
  const Status st = Decode(handle, &h);
  if (st != 0) return st;
  const Status freed = MemFree(kOwnerLocalLists, h.address);
  return freed == 0 ? 0 : Fail(freed);
}

Status LocalSort(StrDesc text, int32_t flags) {
  if (StrCheck(text) != 0) return StrCheck(text);
  const char sep = (flags & kSortNulSeparated) ? '\0' : ',';
  if (text.len == 0) return TempPushCopy(Lit(""));
  const TempMarkValue mark = TempMark();
  // Keep the text on the TempStack: it may point into DynStrings.
  text = StrCopy(text);
  if (StrIsError(text)) return StrCheck(text);

  uint32_t n = 0;
  uint16_t width = 0;
  for (uint32_t from = 0;;) {
    const uint16_t at = StrFindChar(text, sep, 0, static_cast<uint16_t>(from));
    const uint32_t end = at == kNotFound ? text.len : at;
    const uint16_t length = static_cast<uint16_t>(end - from);
    if (length > width) width = length;
    ++n;
    if (at == kNotFound) break;
    from = uint32_t{at} + 1;
    if (from >= text.len) {  // a trailing separator ends with an empty item
      ++n;
      break;
    }
  }
  const bool trim = (flags & kSortTrimItems) != 0;

  auto* items = static_cast<SortItem*>(
      MemAlloc(kOwnerLocalLists, static_cast<uint32_t>(sizeof(SortItem) * n * 2)));
  if (items == nullptr) {
    TempRelease(mark);
    return Fail(kStOutOfMemory);
  }
  SortItem* aux = items + n;
  uint32_t k = 0;
  for (uint32_t from = 0; k < n; ++k) {
    const uint16_t at =
        from < text.len ? StrFindChar(text, sep, 0, static_cast<uint16_t>(from)) : kNotFound;
    const uint32_t end = at == kNotFound ? text.len : at;
    items[k] = SortItem{static_cast<uint16_t>(from < text.len ? from : text.len),
                        static_cast<uint16_t>(end > from ? end - from : 0)};
    from = end + 1;
  }
  MergeSort(text.ptr, items, aux, n, (flags & kListDescending) != 0);

  // Unique keys: the first of every run of equal items stays.
  uint32_t kept = 0;
  for (uint32_t i = 0; i < n; ++i) {
    if ((flags & kListUnique) && kept > 0 &&
        PaddedCompare(text.ptr, items[kept - 1], items[i]) == 0) {
      continue;
    }
    items[kept++] = items[i];
  }

  // Each item's shown length: padded to the width, or its own bytes less
  // trailing blanks. Empty ones drop out of the join.
  auto shown_length = [&](const SortItem& item) -> uint16_t {
    if (!trim) return width;
    uint16_t length = item.length;
    while (length > 0 && text.ptr[item.offset + length - 1] == ' ')
      --length;
    return length;
  };
  uint64_t total = 0;
  bool any = false;
  for (uint32_t i = 0; i < kept; ++i) {
    const uint16_t length = shown_length(items[i]);
    if (length == 0) continue;
    total += length + (any ? 1 : 0);
    any = true;
  }
  Status st = 0;
  char* out = nullptr;
  if (total > 0xFFFF) {
    st = Fail(kStStringTooLong);
  } else {
    // Filled with blanks, so the padding of short items is already in place.
    out = TempAllocPtr(static_cast<uint16_t>(total), ' ');
    if (out == nullptr) st = kStOutOfMemory;
  }
  if (st == 0) {
    char* p = out;
    bool first = true;
    for (uint32_t i = 0; i < kept; ++i) {
      const uint16_t length = shown_length(items[i]);
      if (length == 0) continue;
      if (!first) *p++ = sep;
      first = false;
      const uint16_t own = items[i].length < length ? items[i].length : length;
      if (own > 0) std::memcpy(p, text.ptr + items[i].offset, own);
      p += length;
    }
  }
  MemFree(kOwnerLocalLists, items);
  if (st != 0) {
    TempRelease(mark);
    return st;
  }
  return StrCheck(TempKeep(mark, StrMake(out, static_cast<uint16_t>(total))));
}

Status SortCall(const StrDesc* args, const bool* is_string, uint16_t count, int16_t* ier) {
  if (count == 0) return Fail(kStSyntax);
  for (uint16_t i = 0; i < count; ++i) {
    if (StrCheck(args[i]) != 0) return StrCheck(args[i]);
  }
  // An absent argument or an empty number takes the default.
  auto int_arg = [&](uint16_t i, int32_t fallback, int32_t* out) -> Status {
    if (i >= count || (!is_string[i] && args[i].len == 0)) {
      *out = fallback;
      return 0;
    }
    if (is_string[i]) return kStTypeMismatch;
    *out = IntArg(args[i]);
    return 0;
  };
  auto strings = [&](uint16_t from) -> Status {
    for (uint16_t i = from; i < count; ++i) {
      if (!is_string[i]) return kStTypeMismatch;
    }
    return 0;
  };
  const int verb = is_string[0] ? SortVerb(args[0]) : 0;
  Status st = 0;
  switch (verb) {
    case 1: {  // NEW; a; b; flags
      if (count < 2 || count > 4) return Fail(kStSyntax);
      int32_t a = 0, b = 0, flags = 0;
      if ((st = int_arg(1, 0, &a)) != 0 || (st = int_arg(2, a, &b)) != 0 ||
          (st = int_arg(3, 0, &flags)) != 0) {
        return Fail(st);
      }
      return LocalListNew(a, b, flags);
    }
    case 2:  // ADD; handle; item
      if (count != 3) return Fail(kStSyntax);
      if ((st = strings(1)) != 0) return Fail(st);
      return LocalListAdd(args[1], args[2]);
    case 3: {  // MOVE; handle; verb
      if (count != 3) return Fail(kStSyntax);
      if ((st = strings(1)) != 0) return Fail(st);
      int16_t outcome = 0;
      st = LocalListMove(args[1], args[2], &outcome);
      if (st == 0 && ier != nullptr) *ier = outcome;
      return st;
    }
    case 4:  // GET; handle
    case 5:  // KILL; handle
      if (count != 2) return Fail(kStSyntax);
      if ((st = strings(1)) != 0) return Fail(st);
      return verb == 4 ? LocalListGet(args[1]) : LocalListKill(args[1]);
    default: {  // text; flags
      if (count > 2) return Fail(kStSyntax);
      if (!is_string[0]) return Fail(kStTypeMismatch);
      int32_t flags = 0;
      if ((st = int_arg(1, 0, &flags)) != 0) return Fail(st);
      return LocalSort(args[0], flags);
    }
  }
}

void ReleaseLocalLists() {
  for (uint16_t i = 0;; ++i) {
    const MemEntryRecord* e = MemEntry(i);
    if (e == nullptr) break;
    if (e->data != nullptr && e->owner == kOwnerLocalLists) MemFree(kOwnerLocalLists, e->data);
    if (i == 0xFFFE) break;
  }
}
