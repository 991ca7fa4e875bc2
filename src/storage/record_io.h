// Byte-level access for data files and indexes: reads and flushed writes at
// any 32-bit offset, the safe record writes (new records, the rewrite
// journal), and the write-fault hook of the tests.
//
// Every write goes through StorageWrite, which flushes the stream before it
// reports success (a buffered write shows its failure only when flushed).
// The stream layer reads the offset 65,535 as "the end of the file", so a
// write that starts there starts one byte earlier, with the byte that is
// there. The rewrite journal is an undo record beside the data file: it holds
// the record number, the old and the new image and a checksum, and exists
// only while a rewrite is under way; finding one at open means the rewrite
// was never reported done, and the old image is put back.
// Callers: data_file.cpp and index_file.cpp only (and the fault tests).
#pragma once

#include <cstdint>

#include "core/str_desc.h"

// Reads len bytes at pos into out: 0, or 136 when fewer could be read.
Status StorageRead(uint16_t stream, uint32_t pos, char* out, uint32_t len);

// Writes len bytes at pos and flushes the stream (to the disk too with
// to_disk). 0, or 137 recorded under module DataFile (168 when the bytes
// would pass the 32-bit offset range).
Status StorageWrite(uint16_t stream, uint32_t pos, const char* bytes, uint32_t len,
                    bool to_disk = false);

// Writes record n (length bytes) where no live record is: first whole with
// ESC as its first byte, then its real first byte, so the record is either
// complete and live or marked deleted. 0 or 137.
Status RecordWriteNew(uint16_t stream, uint32_t n, uint16_t length, const char* record);

// Overwrites live record n: journal (old and new images) written and
// flushed, the new image written, the journal removed. When the write fails
// the old image is written back. 0 or 137.
Status RecordWriteJournaled(uint16_t stream, StrDesc journal, uint32_t n, uint16_t length,
                            const char* old_image, const char* new_image);

// Finishes a rewrite left half done: when the journal exists, is whole, and
// the record on disk is made only of bytes of its old and new images, the old
// image is written back; the journal is removed in every case. stream must be
// open for writing; 0 or 137.
Status JournalRecover(uint16_t stream, StrDesc journal, uint16_t length);

// Test hook: after `after` more successful writes, writes fail. With
// kFaultTear the first failing write puts its first half on the disk; with
// kFaultOnce only that one write fails, otherwise every later write fails
// too (a full disk, or a process that is gone). after < 0 turns it off.
enum StorageFaultMode : int { kFaultStop = 0, kFaultTear = 1, kFaultOnce = 2 };
void StorageFailWrites(int after, int mode);
// Writes done since the hook was last set (or since start).
uint32_t StorageWriteCount();
