// The file layer: the runtime's Windows-style paths on a POSIX file system.
//
// Paths given to this layer are in the runtime's form: Windows-1252 bytes,
// "\" (or "/") separators, an optional drive letter. At the boundary:
// - a leading drive letter and its colon ("C:") are dropped, so "C:\apps\x"
//   names "/apps/x" and "C:x" names "x" relative to the working folder;
// - "\" becomes "/" and the bytes become UTF-8;
// - each component is looked up case-insensitively (Windows-1252 case folding)
//   when the exact name does not exist; among several matches the one whose
//   name sorts first byte-wise wins. A component that does not exist at all is
//   kept as written (so files can be created), and so is everything after it.
// Paths handed back (listings, the working, program and temporary folders) are
// in the runtime's form again: "\" separators, no drive letter, Windows-1252
// ('?' for a character the code page lacks). Results are plain enums or bools;
// nothing throws; the only state is the counter of FsTempName. Callers: the
// stream layer, data files and indexes, lock files, maintenance commands,
// devices and logs.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

enum class FsResult : uint8_t {
  kOk = 0,
  kNotFound,      // the file or a folder on its path does not exist
  kAccessDenied,  // permissions, a read-only target, or a folder where a file was meant
  kExists,        // the target exists and the operation does not replace it
  kFailed,        // anything else (disk full, I/O error, copy of a file onto itself)
};

// One entry of a folder listing.
struct FsEntry {
  std::string name;        // Windows-1252, no folder part
  uint64_t size = 0;       // bytes; 0 for folders
  bool folder = false;     // attribute 0x10
  bool system = false;     // attribute 0x04: not a regular file or folder (device,
                           // pipe, socket, broken link); never to be copied
  bool hidden = false;     // attribute 0x02: the name starts with "."
  bool read_only = false;  // attribute 0x01: not writable by this process
  int64_t write_time = 0;  // last write, seconds since the epoch
};

// The native (UTF-8, "/") path of a runtime path, without case resolution.
std::string FsNativePath(std::string_view path);

// The native path with every existing component resolved case-insensitively.
std::string FsResolve(std::string_view path);

// The runtime form of a native path ("/" to "\", UTF-8 to Windows-1252).
std::string FsRuntimePath(std::string_view native);

// Opens a file with a C stdio mode ("rb", "rb+", "wb+", "ab+", ...). Returns
// the stream, or null with the cause in *why when given.
FILE* FsOpen(std::string_view path, const char* mode, FsResult* why = nullptr);

// True when the path names an existing file or folder / an existing folder.
bool FsExists(std::string_view path);
bool FsIsFolder(std::string_view path);

// The entry of one path. Returns kNotFound, kAccessDenied or kOk.
FsResult FsStat(std::string_view path, FsEntry* out);

// Case-insensitive wildcard match of a name: "*" any run, "?" one character;
// as on Windows, a name without a dot also matches as if it ended with one,
// so "*.*" matches every name and "abc.*" matches "abc".
bool FsMatchWildcard(std::string_view pattern, std::string_view name);

// Lists the entries matching the last component of pattern (wildcards
// allowed) in the folder the rest names, sorted by name; "." and ".." are never
// listed. A pattern without wildcards names one entry (so "dir\." tests that a
// folder exists). Returns kOk with at least one entry, kNotFound when nothing
// matches or the folder is missing, kAccessDenied when it cannot be read.
FsResult FsList(std::string_view pattern, std::vector<FsEntry>* out);

// Removes a file (kAccessDenied for a folder) / an empty folder.
FsResult FsRemove(std::string_view path);
FsResult FsRemoveFolder(std::string_view path);

// Renames a file or folder. Without replace an existing target gives kExists
// and nothing changes; a change of letter case only is always allowed.
FsResult FsRename(std::string_view from, std::string_view to, bool replace);

// Makes one folder; its parent must exist (kNotFound otherwise, kExists when
// the folder is already there).
FsResult FsMakeFolder(std::string_view path);

// Copies a file's bytes, permission bits and last-write time. The copy is
// written beside the target, flushed to disk and renamed over it, so a failed
// copy leaves an existing target untouched. Without replace an existing target
// gives kExists. kNotFound: the source or the target's folder is missing;
// kAccessDenied: the source cannot be read, the target is read-only or a
// folder, or the source is not a regular file; kFailed: the target is the
// source itself, or an I/O error.
FsResult FsCopy(std::string_view from, std::string_view to, bool replace);

// Cuts or extends an open file to size bytes (its buffer flushed first).
FsResult FsTruncate(FILE* file, uint64_t size);

// Flushes the stream's buffer and the file's data to the disk (fsync). Returns
// false when either step fails.
bool FsFlushToDisk(FILE* file);

// Creates a file that must not exist yet and writes content into it. Returns
// kExists when any file of that name (in any letter case) exists, so two
// processes cannot both create it.
FsResult FsCreateExclusive(std::string_view path, std::string_view content);

// The temporary folder: TEMP, else TMPDIR, else "/tmp" (runtime form).
std::string FsTempFolder();

// A path in the temporary folder that names no existing file: a fresh name
// made of the process id and a counter, then "." and suffix when suffix is not
// empty. Nothing is created.
std::string FsTempName(std::string_view suffix);

// The working folder; empty when it cannot be read.
std::string FsWorkingFolder();

// Changes the working folder.
FsResult FsChangeFolder(std::string_view path);

// The folder holding the running program; empty when the kernel does not say.
std::string FsProgramFolder();
