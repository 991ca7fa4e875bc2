#include "storage/streams.h"

#include <cstdio>
#include <cstring>
#include <string_view>

#include "core/status.h"
#include "core/temp_stack.h"
#include "platform/fs.h"

namespace {

// The stream table. Plain zero-initialised data: no constructor runs.
FILE* g_files[kStreamCount];
bool g_ready = false;

constexpr char kCtrlZ = 26;

void EnsureTable() {
  if (g_ready) return;
  g_files[0] = stdin;
  g_files[1] = stdout;
  g_files[2] = stderr;
  for (uint16_t i = kStreamFirstFile; i < kStreamCount; ++i)
    g_files[i] = nullptr;
  g_ready = true;
}

FILE* Get(uint16_t n) {
  if (!g_ready || n >= kStreamCount) return nullptr;
  return g_files[n];
}

bool IsConsole(uint16_t n) {
  return n < kStreamFirstFile;
}

// Records an open failure (unless quiet) and gives the open's result.
uint16_t OpenFailure(Status st, StrDesc name, uint16_t flags) {
  if (flags & kStreamQuiet) return st;
  ErrSet(1, kModStreams, st, st);
  if (!StrIsError(name)) ErrDetail(st, name, true);
  return kStreamFail;
}

// The size of an open file, its position kept; 0 when it cannot be found.
uint64_t FileSize(FILE* f) {
  long here = std::ftell(f);
  if (here < 0) return 0;
  if (std::fseek(f, 0, SEEK_END) != 0) return 0;
  long end = std::ftell(f);
  std::fseek(f, here, SEEK_SET);
  return end < 0 ? 0 : static_cast<uint64_t>(end);
}

uint32_t Clip32(uint64_t v) {
  return v > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<uint32_t>(v);
}

// Moves to pos (the marker: to the end of the file).
bool SeekForWrite(uint16_t n, FILE* f, uint32_t pos) {
  if (IsConsole(n)) return true;
  if (pos == kStreamHere) return std::fseek(f, 0, SEEK_END) == 0;
  return std::fseek(f, static_cast<long>(pos), SEEK_SET) == 0;
}

// Writes every byte in pieces of at most one chunk; false at the first short
// piece.
bool WriteAll(FILE* f, const char* bytes, uint32_t len) {
  for (uint32_t done = 0; done < len;) {
    uint32_t piece = len - done < kStreamChunk ? len - done : kStreamChunk;
    if (std::fwrite(bytes + done, 1, piece, f) != piece) return false;
    done += piece;
  }
  return true;
}

// The byte that follows in the stream, or EOF; the stream does not move.
int PeekByte(FILE* f) {
  int c = std::fgetc(f);
  if (c != EOF) std::ungetc(c, f);
  return c;
}

}  // namespace

uint16_t StreamOpen(StrDesc name, uint16_t flags) {
  if (StrIsError(name)) return OpenFailure(StrCheck(name), name, flags);
  if (name.len == 0 || name.len > kStreamNameMax || std::memchr(name.ptr, 0, name.len) != nullptr)
    return OpenFailure(kStData, name, flags);
  EnsureTable();
  // The console needs no entry, so it is answered even with a full table.
  if (StrEq(name, "CON")) return (flags & 0x1F) == kStreamWrite ? 1 : 0;

  uint16_t slot = kStreamFirstFile;
  while (slot < kStreamCount && g_files[slot] != nullptr)
    ++slot;
  if (slot == kStreamCount) return OpenFailure(kStDataOutBound, name, flags);

  char mode[4] = {'r', 'b', 0, 0};
  if (flags & kStreamWrite) {
    mode[0] = 'w';
  } else if (flags & kStreamAppend) {
    mode[0] = 'a';
  }
  if (!(flags & kStreamReadOnly)) mode[2] = '+';

  std::string_view path = StrView(name);
  FsResult why = FsResult::kOk;
  FILE* f = FsOpen(path, mode, &why);
  // Create a missing file, then open it as asked. Only a missing file is
  // created: "w+" on a file that exists but could not be opened would empty it.
  if (f == nullptr && !(flags & kStreamReadOnly) && why == FsResult::kNotFound) {
    FILE* made = FsOpen(path, "w+");
    if (made != nullptr) {
      std::fclose(made);
      f = FsOpen(path, mode);
    }
  }
  if (f == nullptr) return OpenFailure(kStFileNotFound, name, flags);
  g_files[slot] = f;
  return slot;
}

void StreamClose(uint16_t n) {
  if (IsConsole(n)) return;
  FILE* f = Get(n);
  if (f == nullptr) return;
  std::fclose(f);
  g_files[n] = nullptr;
}

uint16_t StreamRead(uint16_t n, uint32_t pos, uint16_t want, char* buffer, uint16_t capacity) {
  FILE* f = Get(n);
  if (f == nullptr || (buffer == nullptr && capacity > 0)) return kStreamFail;
  const bool line = want == kStreamLine;
  if (!line && want == 0) return 0;
  const bool console = IsConsole(n);
  // The console cannot seek: its position argument is ignored.
  if (pos != kStreamHere && !console && std::fseek(f, static_cast<long>(pos), SEEK_SET) != 0)
    return kStreamFail;

  uint64_t size = console ? kStreamHere : FileSize(f);
  uint64_t start = 0;
  if (!console) {
    long here = std::ftell(f);
    if (here < 0) return kStreamFail;
    start = static_cast<uint64_t>(here);
  }
  const uint32_t limit = line || want > capacity ? capacity : want;
  uint64_t at = start;
  uint32_t got = 0;
  uint32_t scan = 0;  // first gathered byte not yet searched for a terminator

  while (at < size) {
    uint64_t chunk = limit - got;
    if (n == 0) chunk = chunk > 0 ? 1 : 0;
    if (chunk > kStreamChunk) chunk = kStreamChunk;
    if (chunk > size - at) chunk = size - at;
    if (chunk == 0) break;
    size_t r = std::fread(buffer + got, 1, static_cast<size_t>(chunk), f);
    if (r == 0) {
      // The console's size is unknown: the end of its input ends the read
      // (and the last line) with what was gathered.
      if (console && got > 0 && std::feof(f)) return static_cast<uint16_t>(got);
      break;
    }
    got += static_cast<uint32_t>(r);
    at += r;

    if (!line) {
      if (got >= limit || at >= size) return static_cast<uint16_t>(got);
      continue;
    }

    // Line mode: the first CR or LF ends the line; CR LF is one terminator.
    bool need_more = false;
    for (uint32_t i = scan; i < got; ++i) {
      char c = buffer[i];
      if (c != '\r' && c != '\n') continue;
      uint32_t term = 1;
      if (c == '\r') {
        if (i + 1 < got) {
          if (buffer[i + 1] == '\n') term = 2;
        } else if (at < size) {
          // The CR is the last byte gathered: its LF may be the next byte.
          // The console cannot seek back, so there the next byte is only
          // looked at.
          if (got < limit && !console) {
            scan = i;
            need_more = true;
            break;
          }
          if (PeekByte(f) == '\n') term = 2;
        }
      }
      if (console) {
        // Nothing was read past the terminator, except a peeked LF.
        if (term == 2 && i + 1 >= got) std::fgetc(f);
      } else if (std::fseek(f, static_cast<long>(start + i + term), SEEK_SET) != 0) {
        return kStreamFail;
      }
      return static_cast<uint16_t>(i);
    }
    if (need_more) continue;
    scan = got;
    if (got == 1 && buffer[0] == kCtrlZ) return kStreamFail;
    if (at >= size) {
      // A Ctrl-Z as the last byte of the file ends it.
      if (buffer[got - 1] == kCtrlZ) --got;
      return static_cast<uint16_t>(got);
    }
  }
  if (got < capacity) return kStreamFail;
  if (line && at < size) {
    // The buffer is full: a terminator right behind it belongs to this line,
    // so a line of exactly `capacity` bytes is not followed by an empty one.
    int next = PeekByte(f);
    if (next == '\r') {
      std::fgetc(f);
      if (PeekByte(f) == '\n') std::fgetc(f);
    } else if (next == '\n') {
      std::fgetc(f);
    }
  }
  return capacity;
}

StrDesc StreamReadText(uint16_t n, uint32_t pos, uint16_t want) {
  StrDesc scratch = TempScratch();
  if (StrIsError(scratch)) return scratch;
  uint16_t capacity = scratch.len < kStreamFail ? scratch.len : kStreamFail - 1;
  if (want != kStreamLine && want < capacity) capacity = want;
  uint16_t got = StreamRead(n, pos, want, scratch.ptr, capacity);
  if (got == kStreamFail) return StrError(kStDiskIo);
  char* p = TempAllocPtr(got, 255);
  if (p == nullptr) return StrError(kStOutOfMemory);
  if (p != scratch.ptr) std::memmove(p, scratch.ptr, got);
  return StrDesc{p, got};
}

uint16_t StreamWrite(uint16_t n, uint32_t pos, const char* bytes, uint16_t len) {
  FILE* f = Get(n);
  if (f == nullptr || bytes == nullptr) return kStreamFail;
  if (!SeekForWrite(n, f, pos)) return kStreamFail;
  if (!WriteAll(f, bytes, len)) return kStreamFail;
  if (IsConsole(n)) std::fflush(f);
  return len;
}

uint16_t StreamWriteText(uint16_t n, uint32_t pos, StrDesc s) {
  if (StrIsError(s)) return StrCheck(s);
  return StreamWrite(n, pos, s.ptr, s.len);
}

Status StreamSeek(uint16_t n, uint32_t pos) {
  FILE* f = Get(n);
  if (f == nullptr) return kStDiskIo;
  return std::fseek(f, static_cast<long>(pos), SEEK_SET) == 0 ? 0 : kStDiskIo;
}

uint32_t StreamTell(uint16_t n) {
  FILE* f = Get(n);
  if (f == nullptr) return kStreamNoPos;
  if (IsConsole(n)) return 0;
  long here = std::ftell(f);
  return here < 0 ? kStreamNoPos : Clip32(static_cast<uint64_t>(here));
}

uint32_t StreamSize(uint16_t n) {
  FILE* f = Get(n);
  if (f == nullptr) return 0;
  if (IsConsole(n)) return kStreamHere;
  return Clip32(FileSize(f));
}

int StreamAtEnd(uint16_t n) {
  FILE* f = Get(n);
  if (f == nullptr) return 1;
  return StreamTell(n) >= StreamSize(n) ? 1 : 0;
}

bool StreamIsOpen(uint16_t n) {
  return Get(n) != nullptr;
}

Status StreamWriteFile(StrDesc name, uint16_t flags, uint32_t pos, StrDesc data) {
  if (StrIsError(data)) return StrCheck(data);
  uint16_t n = StreamOpen(name, flags | kStreamQuiet);
  if (n >= kStreamCount) {
    OpenFailure(n, name, flags);
    return n;
  }
  FILE* f = Get(n);
  bool ok = SeekForWrite(n, f, pos) && WriteAll(f, data.ptr, data.len);
  if (IsConsole(n)) {
    std::fflush(f);
  } else if (std::fclose(f) != 0) {
    ok = false;  // buffered bytes that could not be written
  }
  if (!IsConsole(n)) g_files[n] = nullptr;
  return ok ? 0 : kStFileIo;
}

StrDesc StreamReadFile(StrDesc name, uint32_t pos, uint16_t want) {
  if (StrIsError(name)) return name;
  uint16_t n = StreamOpen(name, kStreamReadOnly | kStreamUpdate | kStreamQuiet);
  if (n >= kStreamCount) {
    if (!StrIsError(name)) ErrDetail(n, name, true);
    return StrError(n);
  }
  StrDesc scratch = TempScratch();
  if (StrIsError(scratch)) {
    StreamClose(n);
    return scratch;
  }
  uint16_t capacity = scratch.len < kStreamFail ? scratch.len : kStreamFail - 1;
  if (want < capacity) capacity = want;
  uint16_t got = capacity == 0 ? 0 : StreamRead(n, pos, capacity, scratch.ptr, capacity);
  StreamClose(n);
  if (got == kStreamFail) got = 0;  // an empty file or a position past its end
  char* p = TempAllocPtr(got, 255);
  if (p == nullptr) return StrError(kStOutOfMemory);
  if (p != scratch.ptr) std::memmove(p, scratch.ptr, got);
  return StrDesc{p, got};
}

Status StreamFlush(uint16_t n, bool to_disk) {
  FILE* f = Get(n);
  if (f == nullptr) return kStWrite;
  if (to_disk && !IsConsole(n)) return FsFlushToDisk(f) ? 0 : kStWrite;
  return std::fflush(f) == 0 ? 0 : kStWrite;
}

void StreamsReset() {
  if (g_ready) {
    for (uint16_t i = kStreamFirstFile; i < kStreamCount; ++i) {
      if (g_files[i] != nullptr) std::fclose(g_files[i]);
      g_files[i] = nullptr;
    }
  }
  g_ready = false;
}

uint16_t StreamsInUse() {
  uint16_t used = 0;
  if (!g_ready) return 0;
  for (uint16_t i = kStreamFirstFile; i < kStreamCount; ++i)
    used += g_files[i] != nullptr;
  return used;
}
