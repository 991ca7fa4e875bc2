// Data files: fixed-length text records, their two record buffers and the
// record operations (open, close, keyed reads, moves, add, rewrite, delete,
// bulk update).
//
// Record n of file f occupies bytes n * L .. n * L + L - 1 of the data file
// (folder, name, ".FD"); L is the record length of the dictionary. A deleted
// record keeps its place with ESC (27) as its first byte and its number on the
// index's free list. The data file is the truth: every record it holds whole
// and without ESC is live, and the index (index_file.h) can always be rebuilt
// from it. Writes keep it so:
// - an add writes the record with ESC first, then its real first byte, so a
//   record becomes live only once it is complete; the index takes it after;
// - a rewrite goes through a journal (the data file's name with extension
//   "JNL") holding the old and new images, so a torn rewrite is finished when
//   the file is next opened (or, in the session that tore it, before its
//   next rewrite);
// - a delete writes the single ESC byte, then the index lets the number go;
// - every write is flushed before the operation reports success.
// Each open file has a control entry (DataFileCtrl) and a block of 2 * L
// bytes in DynStrings group 6 (item f - 1): the current record, then the old
// one (a copy taken when a record is read). A write needs the buffers to hold
// the record at the current position: the file remembers which record was
// read into them.
//
// Callers: field references and built-ins, data windows and relational
// updates, the record loop and reports, maintenance, the tools.
#pragma once

#include <cstdint>

#include "core/str_desc.h"

// Open flags (the byte stored in the control entry).
enum DataOpenFlag : uint8_t {
  kOpenReadOnly = 0x01,     // data file opened read-only
  kOpenExclusive = 0x02,    // exclusive, with a lock file (lock_file.h)
  kOpenMakeCurrent = 0x08,  // the file becomes _CURFIL first
  kOpenNoIndex = 0x10,      // no index file: no keyed reads or moves
};

// Outcome codes of reads, moves and adds (texts: message 0023).
enum Outcome : uint16_t {
  kOutFound = 0,      // found / the move landed on a record
  kOutNotFound = 1,   // positioned on the next greater key (or before the first)
  kOutEnd = 2,        // no greater key; a move past the last record
  kOutCleared = 3,    // buffers cleared (move request 0x01)
  kOutDuplicate = 6,  // the added record's key was there already
};

// Move requests (the low byte of a request is used).
enum MoveRequest : uint16_t {
  kMoveClear = 0x01,     // clear both buffers, nothing read
  kMoveReadNear = 0x02,  // read the record also on outcome 1
  kMoveNext = 16,
  kMovePrevious = 20,
  kMoveLast = 32,
  kMoveFirst = 36,
};

// Flags of FileReadKey.
enum ReadKeyFlag : uint16_t {
  kReadClearAssign = 0x01,  // not found: clear the buffers and store the value in the key fields
  kReadNear = 0x02,         // read the next greater record on outcome 1
};

constexpr uint16_t kNoStream = 0xFFFF;
constexpr char kDeletedMark = 27;  // ESC

// The control entry of a file.
struct DataFileCtrl {
  uint16_t current_key = 1;   // order of moves and keyed reads
  uint16_t last_outcome = 2;  // outcome of the last read, move or keyed read
  uint16_t data_stream = kNoStream;
  uint16_t reserved[3] = {0xFFFF, 0xFFFF, 0xFFFF};  // the third is read by data windows
  uint16_t zero_words[2] = {0, 0};
  uint16_t reserved_stack[3] = {0, 0, 0};  // record selections (none in this system)
  uint8_t open_flags = 0;                  // flags of the last successful open
};

// The control entry of file f (1..30), or null.
const DataFileCtrl* FileCtrl(uint16_t f);
// True while file f is open.
bool FileIsOpen(uint16_t f);

// Opens file f with the flags (DataOpenFlag). An open file with the same
// flags is left as it is (0). Otherwise: with 0x02 outside temporary mode
// (_UPSTAT bit 0x02) a lock file held by someone else fails with 175 before
// anything changes; with 0x08 f becomes _CURFIL; the buffers are set to
// blanks; a file open with other flags is closed; the lock file is taken;
// the data file is opened (read-only with 0x01, a missing file created), a
// pending rewrite journal finished, the index opened and loaded unless 0x10
// (rebuilt from the data file when it disagrees with it). The result is the
// outcome of moving to the first record (0, or 2 for an empty file; 0 with
// 0x10), or a status: 168 for f out of range or a file without fields, 159
// when the record buffers cannot be had (DynStrings full, or a record over
// 32,767 bytes, whose two images no text can hold), 175 locked, the stream's
// 163/164/168 for the data file, 137 for a journal that cannot be finished,
// the index's failure. A failed open leaves the file closed and its lock
// released.
Status FileOpen(uint16_t f, uint8_t flags);

// Saves the index (a failed save removes the index file, so that the next
// open rebuilds it, and is returned), closes the index and data streams,
// deletes the lock file the open took, resets the control entry. 0 for a
// closed file; 168 out of range.
Status FileClose(uint16_t f);

// Closes and reopens the data stream with the stored flags, then saves and
// reloads the index. A nonzero `status` is returned instead of the result;
// 169 when the file is not open; 131 when the data file cannot be reopened
// (the file is then closed).
Status FileReopen(uint16_t f, Status status);

// Closes every open file (index saved, lock file removed); the first failure.
// For the shutdown of the program and of the tools.
Status DataFilesCloseAll();

// Makes key k current (0: the current key) and looks value up (a prefix
// match). Outcome 0, or 1 with kReadNear: the record found is read into the
// current buffer and copied to the old one. Otherwise, with kReadClearAssign,
// the buffers are cleared and value stored in the key's fields. The outcome is
// stored as the last outcome and returned; or a status: 168 key out of range,
// 169 file not open, 144 file without index, 136 short record read.
uint16_t FileReadKey(uint16_t f, uint16_t key, StrDesc value, uint16_t flags);

// As FileReadKey on key k without changing the current key or the file's
// position; the record found (outcome 0) is read into buffer 1 (current), 2
// (old) or 3 (current, then copied to old).
uint16_t FileReadKeyInto(uint16_t f, uint16_t key, StrDesc value, int buffer);

// Request 0x01: clears both buffers (outcome 3). Otherwise moves in the
// current key's order (16 next, 20 previous, 32 last, 36 first, any other
// code: the current entry) and reads the record into the current buffer and
// the old one on outcome 0, or on outcome 1 with request bit 0x02; else both
// buffers are cleared. Returns the outcome (also stored) or 169/144/136.
uint16_t FileMove(uint16_t f, uint16_t request);

// FileMove, then KeyRangeCheck(f, request, prefix).
uint16_t FileMoveWithin(uint16_t f, uint16_t request, StrDesc prefix);

// 0 while the current record's key still lies in the prefix's range; a last
// outcome above 1 is returned as it is; an empty prefix gives 0; otherwise 2
// when the prefix is smaller than the same number of leading bytes of the
// current key's value (with flag 0x04: larger).
uint16_t KeyRangeCheck(uint16_t f, uint16_t flags, StrDesc prefix);

// Adds the current buffer as a new record: the number comes from the free
// list (last first) or is the next after the last; the record is written,
// then entered in every key. The new record becomes the current record
// (position and last outcome 0). Returns 0, or 6 when a file without an
// "N_LINE" field already held its current key's value (the record stays
// added); or 169, 175 (read-only), 163 (the buffer starts with ESC), 137
// (write failed; nothing was added), 130 (index growth failed).
uint16_t FileAdd(uint16_t f);

// Writes the current buffer over the current record when it differs from the
// old buffer, and moves the record within every key whose value changed; the
// record stays current. 0; 141 when the buffers do not hold the record at the
// current position (nothing read, a move past the end, a failed lookup);
// 169, 175, 144, 163, 136, 137.
Status FileRewrite(uint16_t f);

// Deletes the current record: its number leaves every key and goes on the
// free list, its first byte becomes ESC on disk and in the current buffer.
// With flags 0x02 the file is then read again by the deleted record's value
// of the current key (from the old buffer), with those flags, and the read's
// outcome is returned. 0; 141, 169, 175, 144, 136, 137.
uint16_t FileDelete(uint16_t f, uint16_t flags);

// Bulk update: every record of file f whose key k starts with value is given
// to callback (when not null) and rewritten. With flags 0x04 a value not
// found is first stored in the key's fields and the buffer added (_RELRES
// then becomes 4). The control entry, position and buffers are restored at
// the end. Stops at the first failure (the callback's or a write's) and
// returns it; at most one pass per record the file held.
using UpdateCallback = Status (*)(void* context);
Status FileUpdateAll(uint16_t f, uint16_t key, StrDesc value, uint16_t flags, void* context,
                     UpdateCallback callback);

// The record loop of the data windows (searches the next record that
// satisfies a condition within a key limit): 0 when such a record is
// current, else the outcome 1 or 2 or another status. Installed by the module
// that owns it; FileCount needs it.
using RecordLoopFn = uint16_t (*)(uint16_t f, uint16_t request, StrDesc condition, StrDesc limit);
void SetRecordLoop(RecordLoopFn loop);

// The number of records of file f: for a file opened with 0x10 its size
// divided by the record length (rounded half away from zero); otherwise the
// records the record loop reaches from the keyed position (key k, value)
// while the condition holds, the state being restored afterwards. 169 when
// the file is not open, or (detail "RecordLoop") while no record loop is
// installed.
Status FileCount(uint16_t f, uint16_t key, StrDesc value, StrDesc condition, uint32_t* count);

// Key k (0: the current key) built from buffer 1 (current) or 2 (old),
// pushed. Empty for a key that does not exist.
StrDesc KeyValue(uint16_t f, uint16_t key, int buffer);

// Distributes value over the fields in which key k's segments start (the
// first field that ends beyond the segment's offset; 141 when none): each
// takes the next field-length bytes of value, stored by its type.
Status KeyAssign(uint16_t f, uint16_t key, StrDesc value);

// Fills both buffers with blanks; which = 2 also puts ESC first in the
// current record. 168 out of range, 159 when DynStrings is full.
Status BufferClear(uint16_t f, int which);
// direction 1 copies the current record to the old one, 2 the reverse.
Status BufferCopy(uint16_t f, int direction);
// 1 when the current and old records differ, else 0.
int BufferChanged(uint16_t f);
// View of buffer 1 (current) or 2 (old) of file f, made when missing (L
// blanks). Valid until DynStrings changes. An error descriptor (168) when f
// is out of range.
StrDesc RecordBuffer(uint16_t f, int which);

// The raw bytes of field k of file f in buffer 1 or 2, pushed. 168 (detail
// "(File:f, Field:k)") when f or k is out of range.
StrDesc FieldRaw(uint16_t f, uint16_t field, int buffer);
// Stores text into field k of the current record by the field's type
// (field_format.h). Its status on failure (168 for a number too wide), with
// 151 recorded under module BufferFld.
Status FieldPut(uint16_t f, uint16_t field, StrDesc text);

// Stores bytes into field k of the current record exactly as given (cut to
// the field, blank-padded); for callers that did their own formatting.
Status FieldPutRaw(uint16_t f, uint16_t field, StrDesc bytes);

// The current key, and setting it: -1 keeps it (1 when none is set). The
// current record keeps its place: the position follows it into the new key's
// order. 168 for a key out of range.
uint16_t CurrentKey(uint16_t f);
Status SetCurrentKey(uint16_t f, int key);

// Paths of file f's data and index files from the dictionary (folder, name
// cut to 8 characters under _COMPAT 0x08, extension FD; DIR, or NDX under
// _COMPAT 0x02; %NAME% references expanded), pushed. In temporary mode an
// open file uses fresh names instead; these are the names of the real files.
StrDesc DataFilePath(uint16_t f);
StrDesc IndexFilePath(uint16_t f);

// The temporary copy used by reorganising (extension TMP), pushed.
StrDesc DataFileTempPath(uint16_t f);

// Finishes (undoes) a rewrite that an interrupted run left half done in file
// f's data file, as the next open would. Whoever copies or renames a data
// file behind the runtime's back (reorganising, recovery) calls it first, so
// that no torn record is copied. 0, or 137; the file must not be open.
Status FileFinishJournal(uint16_t f);

// The number of records of file f: the live records of its index when it is
// open with one; otherwise the whole records of its data file (rounded as
// FileCount does). 0 for a missing data file; 168 out of range.
Status FileRecordCount(uint16_t f, uint32_t* count);

// Sets buffer 1 (current) or 2 (old) to record (cut to the record length,
// blank-padded): how reorganising and loaders put a record read elsewhere
// into a file. 168 out of range.
Status BufferSet(uint16_t f, int which, StrDesc record);

// For the index module: the record last read into file f's buffers
// (kNoRecord when none).
constexpr uint32_t kNoRecord = 0xFFFFFFFFu;

// Drops the record buffers of every file (DynStrings group 6); the dictionary
// load calls it, since the record lengths change.
void DataFilesDropBuffers();

// Forgets every open file without writing anything (streams closed, index
// memory freed, lock and journal files left as they are): what a killed
// process leaves behind. For fault tests.
void DataFilesAbandon();

// Runtime shutdown and tests: as DataFilesAbandon, but the lock files this
// process took are removed and the write-fault hook is turned off. The
// installed record loop stays (SetRecordLoop(nullptr) empties it).
void DataFilesReset();
