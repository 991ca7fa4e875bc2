#include "core/temp_stack.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "core/mem_pool.h"
#include "core/status.h"

namespace {

struct TempStackState {
  char* pool = nullptr;
  StrDesc* marks = nullptr;
  uint16_t capacity = 0;
  uint16_t depth = 0;
  char* top = nullptr;
  uint32_t size = 0;
};

TempStackState g_ts;

inline uint32_t Round4(uint32_t n) { return (n + 3u) & ~3u; }

inline char* EndOf(const StrDesc& d) { return d.ptr + Round4(d.len); }

// The push of the TempStack; returns the new temporary's address or null.
char* Push(uint16_t length) {
  if (!g_ts.pool) return nullptr;
  if (g_ts.depth + 1u >= g_ts.capacity) return nullptr;
  char* start = g_ts.top;
  char* end = start + Round4(length);
  if (end >= g_ts.pool + g_ts.size) return nullptr;  // the last byte is never used
  g_ts.top = end;
  ++g_ts.depth;
  g_ts.marks[g_ts.depth] = StrDesc{start, length};
  return start;
}

// Pushes the concatenation of up to three valid pieces.
StrDesc PushPieces(StrDesc a, StrDesc b, StrDesc c) {
  uint32_t total = uint32_t{a.len} + b.len + c.len;
  if (total > 0xFFFF) return StrError(146);
  // Sources may lie in the pool above the new temporary only when they were
  // released; copy through memmove so overlap is harmless.
  char* dst = Push(static_cast<uint16_t>(total));
  if (!dst) return StrError(145);
  char* p = dst;
  if (a.len) std::memmove(p, a.ptr, a.len);
  p += a.len;
  if (b.len) std::memmove(p, b.ptr, b.len);
  p += b.len;
  if (c.len) std::memmove(p, c.ptr, c.len);
  return StrDesc{dst, static_cast<uint16_t>(total)};
}

}  // namespace

Status TempStackCreate(uint16_t k) {
  if (k < 2) return 145;
  uint32_t size = uint32_t{k} * 1024u;
  auto* pool = static_cast<char*>(MemAlloc(kOwnerExecRunTime, size));
  if (!pool) return 145;
  auto* marks = static_cast<StrDesc*>(MemAlloc(kOwnerExecRunTime, uint32_t{k} * sizeof(StrDesc)));
  if (!marks) {
    MemFree(kOwnerExecRunTime, pool);
    return 145;
  }
  g_ts = TempStackState{};
  g_ts.pool = pool;
  g_ts.marks = marks;
  g_ts.capacity = k;
  g_ts.size = size;
  g_ts.top = pool;
  g_ts.marks[0] = StrDesc{pool, 0};
  return 0;
}

Status TempStackRelease() {
  if (!g_ts.pool) return 0;
  Status st = MemFree(kOwnerExecRunTime, g_ts.pool);
  if (st != 0) return st;
  g_ts.pool = nullptr;
  st = MemFree(kOwnerExecRunTime, g_ts.marks);
  g_ts = TempStackState{};
  return st;
}

void TempStackForget() { g_ts = TempStackState{}; }

TempMarkValue TempMark() { return g_ts.depth; }

TempMarkValue TempRelease(TempMarkValue m) {
  if (!g_ts.pool || m >= g_ts.capacity || m > g_ts.depth) return g_ts.depth;
  g_ts.top = EndOf(g_ts.marks[m]);
  g_ts.depth = m;
  return m;
}

StrDesc TempKeep(TempMarkValue m, StrDesc s) {
  TempRelease(m);
  if (StrCheck(s) != 0) return s;
  return PushPieces(s, StrDesc{s.ptr, 0}, StrDesc{s.ptr, 0});
}

Status TempKeepMany(TempMarkValue m, std::initializer_list<StrDesc*> results) {
  TempMarkValue c = g_ts.depth;
  for (StrDesc* r : results) {
    Status st = StrCheck(*r);
    if (st != 0) return st;
    StrDesc copy = PushPieces(*r, StrDesc{r->ptr, 0}, StrDesc{r->ptr, 0});
    if (StrIsError(copy)) return copy.len;
    *r = copy;
  }
  if (m < c && TempRelease(m) == m) {
    // The copies lie above c; moving them down in list order never overlaps a
    // source that is still to be copied.
    for (StrDesc* r : results) {
      StrDesc copy = PushPieces(*r, StrDesc{r->ptr, 0}, StrDesc{r->ptr, 0});
      if (StrIsError(copy)) return copy.len;
      *r = copy;
    }
  }
  return 0;
}

Status TempAlloc(uint16_t length, uint8_t fill) {
  return TempAllocPtr(length, fill) ? 0 : 145;
}

char* TempAllocPtr(uint16_t length, uint8_t fill) {
  char* p = Push(length);
  if (p && fill != 255) std::memset(p, fill, length);
  return p;
}

StrDesc TempTop() {
  if (!g_ts.pool) return StrError(163);
  return g_ts.marks[g_ts.depth];
}

Status TempPushCopy(StrDesc s) {
  Status st = StrCheck(s);
  if (st != 0) return st;
  StrDesc r = PushPieces(s, StrDesc{s.ptr, 0}, StrDesc{s.ptr, 0});
  return StrIsError(r) ? r.len : 0;
}

Status TempPushConcat(StrDesc a, StrDesc b) {
  StrDesc r = StrConcat(a, b);
  return StrIsError(r) ? StrCheck(r) : 0;
}

StrDesc TempScratch() {
  if (!g_ts.pool) return StrError(145);
  int64_t room = (g_ts.pool + g_ts.size) - g_ts.top - 4;
  if (room < 0) room = 0;
  if (room > 0xFFFF) room = 0xFFFF;
  return StrDesc{g_ts.top, static_cast<uint16_t>(room)};
}

Status TempRoom(uint16_t n) { return uint32_t{g_ts.depth} + n > g_ts.capacity ? 145 : 0; }

uint16_t TempCapacity() { return g_ts.capacity; }
uint32_t TempPoolSize() { return g_ts.size; }
uint32_t TempBytesUsed() {
  return g_ts.pool ? static_cast<uint32_t>(g_ts.top - g_ts.pool) : 0;
}

StrDesc StrCopy(StrDesc s) {
  if (StrCheck(s) != 0) return s;
  return PushPieces(s, StrDesc{s.ptr, 0}, StrDesc{s.ptr, 0});
}

StrDesc StrConcat(StrDesc a, StrDesc b) {
  if (StrCheck(a) != 0) return a;
  if (StrCheck(b) != 0) return b;
  return PushPieces(a, b, StrDesc{a.ptr, 0});
}

StrDesc StrJoin(StrDesc a, StrDesc separator, StrDesc b) {
  if (StrCheck(a) != 0) return a;
  if (StrCheck(separator) != 0) return separator;
  if (StrCheck(b) != 0) return b;
  if (a.len == 0 || b.len == 0) return PushPieces(a, b, StrDesc{a.ptr, 0});
  return PushPieces(a, separator, b);
}

StrDesc StrChar(char c) {
  char* p = Push(1);
  if (!p) return StrError(145);
  *p = c;
  return StrDesc{p, 1};
}

StrDesc StrRepeat(StrDesc s, uint16_t n) {
  if (StrCheck(s) != 0) return s;
  uint32_t total = uint32_t{s.len} * n;
  if (total > 0xFFFF) return StrError(146);
  char* p = Push(static_cast<uint16_t>(total));
  if (!p) return StrError(145);
  // s lies below the new temporary (or outside the pool), so it stays intact.
  for (uint16_t i = 0; i < n; ++i) std::memmove(p + uint32_t{i} * s.len, s.ptr, s.len);
  return StrDesc{p, static_cast<uint16_t>(total)};
}

StrDesc StrOr(StrDesc a, StrDesc b) {
  if (StrCheck(a) != 0) return a;
  return a.len != 0 ? a : b;
}

StrDesc StrFormat(uint16_t max, const char* format, ...) {
  TempMarkValue m = TempMark();
  uint32_t room = uint32_t{max} + 1;
  if (room > 0xFFFF) room = 0xFFFF;
  char* buf = TempAllocPtr(static_cast<uint16_t>(room), 0);
  if (!buf) return StrError(145);
  va_list args;
  va_start(args, format);
  int n = std::vsnprintf(buf, room, format, args);
  va_end(args);
  TempRelease(m);
  if (n < 0 || static_cast<uint32_t>(n) >= room) {
    ErrSet(1, kModFormatStrings, 146, 146);
    return StrError(146);
  }
  // The formatted bytes are still in place at the top: push them back with
  // the produced length.
  char* kept = TempAllocPtr(static_cast<uint16_t>(n), 255);
  if (!kept) return StrError(145);
  return StrDesc{kept, static_cast<uint16_t>(n)};
}
