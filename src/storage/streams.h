// The stream table: all file access of the runtime, by stream number.
//
// 40 numbered entries, each a buffered file (FILE*) or empty: 0 standard
// input, 1 standard output, 2 standard error, 3..39 files opened by
// StreamOpen. The table is filled on first use; StreamsReset closes every file
// and forgets it (runtime shutdown and tests). Numbers 0..2 are never closed
// and report a size of 65,535; a number of 40 or more, or an empty entry,
// designates no stream.
//
// Positions are unsigned 32-bit byte offsets. kStreamHere (65,535) is a
// marker, not an offset: reads start at the current position, writes go to the
// end of the file. The one offset it hides, byte 65,535 itself, is reached by
// StreamSeek (which takes every value as an offset) and then the marker.
//
// Files are opened through platform/fs (Windows-style names, case-insensitive
// components). Failures of StreamOpen are recorded under module "Streams" with
// the file name appended to the error detail, unless the quiet flag is given.
// Callers: the file built-ins of the language, data files and indexes, lock
// files, devices and reports, the definition-file reader, logs.
#pragma once

#include <cstdint>

#include "core/str_desc.h"

constexpr uint16_t kStreamCount = 40;
constexpr uint16_t kStreamFirstFile = 3;
// Position marker (current position for reads, end of file for writes), the
// want that selects line mode, and the failure result of the byte-count calls.
constexpr uint16_t kStreamHere = 0xFFFF;
constexpr uint16_t kStreamLine = 0xFFFF;
constexpr uint16_t kStreamFail = 0xFFFF;
// Longest file name StreamOpen accepts (a name of 384 bytes or more fails).
constexpr uint16_t kStreamNameMax = 383;
// Largest piece moved by one standard-library call.
constexpr uint16_t kStreamChunk = 512;

// Bits of the open-flags word. The file mode is "w" (0x02), else "a" (0x04),
// else "r"; then "b"; then "+" unless 0x08. So 1 → "rb+", 8 or 9 → "rb",
// 2 → "wb+", 4 → "ab+".
enum StreamFlag : uint16_t {
  kStreamUpdate = 0x01,    // read-write on an existing file (no effect of its own)
  kStreamWrite = 0x02,     // "w": created or emptied
  kStreamAppend = 0x04,    // "a": writes go to the end (only without 0x02)
  kStreamReadOnly = 0x08,  // no "+", and a missing file is not created
  kStreamQuiet = 0x80,     // a failure returns its status instead of recording it
};

// Opens a file. Returns the stream number 3..39; for the exact name "CON" 1
// when the low five flag bits are exactly 0x02, else 0 (no entry is used).
// Without 0x08 a file that does not exist is created empty first. Fails with
// 65,535 after recording the status (or, with kStreamQuiet, returns it): 163
// for an empty name, one of 384 bytes or more, or one holding a NUL byte; 168
// when entries 3..39 are all in use; 164 when the file cannot be opened or
// created. A failure leaves the table unchanged.
uint16_t StreamOpen(StrDesc name, uint16_t flags);

// Closes and frees entry n (3..39). Nothing for 0..2, empty entries or n >= 40.
void StreamClose(uint16_t n);

// Reads from pos (kStreamHere: the current position; the console streams
// 0..2 cannot seek and ignore pos) into buffer.
// Block mode (want != 65,535): up to want bytes (never more than capacity);
// returns the bytes read, fewer only at the end of the file.
// Line mode (want == kStreamLine): one line without its terminator (CR LF, CR
// or LF); the stream is left just after the terminator. A last line without
// terminator is returned whole; a Ctrl-Z (26) read as the only byte, or as the
// last byte of the file, is the end of the file. A line longer than capacity
// returns capacity bytes and the rest of the line follows on the next read;
// a terminator right behind a full buffer is taken with it.
// The console's size is unknown: the end of its input ends a read with the
// bytes gathered so far.
// Returns kStreamFail at the end of the file or when the stream, the seek or
// the read fails.
uint16_t StreamRead(uint16_t n, uint32_t pos, uint16_t want, char* buffer, uint16_t capacity);

// StreamRead into the TempStack's free area; the bytes read are pushed as one
// temporary and returned. The error descriptor 130 at the end of the file or
// on failure.
StrDesc StreamReadText(uint16_t n, uint32_t pos, uint16_t want);

// Writes len bytes at pos (kStreamHere: at the end of the file), in pieces of
// at most 512 bytes. Returns len, or kStreamFail when a piece is written short,
// the seek fails, the stream does not exist or bytes is null.
uint16_t StreamWrite(uint16_t n, uint32_t pos, const char* bytes, uint16_t len);

// StreamWrite of a descriptor's bytes. An error descriptor returns its carried
// status without writing.
uint16_t StreamWriteText(uint16_t n, uint32_t pos, StrDesc s);

// Moves to the byte offset pos (every value is an offset here). 0, or 130 when
// the stream does not exist or the standard library refuses.
Status StreamSeek(uint16_t n, uint32_t pos);

// The current position: 0 for streams 0..2, kStreamNoPos for no stream.
constexpr uint32_t kStreamNoPos = 0xFFFFFFFFu;
uint32_t StreamTell(uint16_t n);

// The file size found by seeking to the end and back (the position is kept):
// 65,535 for streams 0..2, 0 for no stream.
uint32_t StreamSize(uint16_t n);

// 1 when the current position is at or past the size (and for no stream),
// else 0.
int StreamAtEnd(uint16_t n);

// True when n designates an open stream (0..2 included once the table exists).
bool StreamIsOpen(uint16_t n);

// Open, write, close in one call: writes data at pos (kStreamHere: at the end)
// of the file name opened with flags (1: update, created when missing; 2: the
// content replaced; 4: appended). Returns 0; 131 when fewer bytes were written
// than asked; the open's status (163, 164, 168; recorded unless kStreamQuiet);
// or the carried status of an error descriptor given as data or name.
Status StreamWriteFile(StrDesc name, uint16_t flags, uint32_t pos, StrDesc data);

// Open, read, close in one call: up to want bytes (kStreamLine: as much as
// fits in the TempStack's free area) from pos of the file opened read-only
// (flags 9 | kStreamQuiet). Returns the bytes as one temporary (empty for an
// empty file or a position past the end), or the error descriptor 164 when
// the file cannot be opened (the name is recorded in the detail text).
StrDesc StreamReadFile(StrDesc name, uint32_t pos, uint16_t want);

// Pushes the stream's buffered writes to the operating system and, with
// to_disk, on to the disk (fsync). 0; 137 when either step fails or n
// designates no file (data files and indexes call it after each write, since
// a buffered write reports its failure only when flushed).
Status StreamFlush(uint16_t n, bool to_disk);

// Closes every open file of entries 3..39 and forgets the table (runtime
// shutdown and test teardown). Safe to call at any time.
void StreamsReset();

// Number of entries 3..39 in use (diagnostics and tests).
uint16_t StreamsInUse();
