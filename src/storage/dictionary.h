// The data dictionary: the data files of the application, their fields and
// their keys, loaded from the dictionary files by DictLoad.
//
// Files are numbered 1..30 in load order. Record table 0 holds one entry per
// file, table 1 the fields of all files in load order (the fields of one file
// are contiguous), table 2 the keys grouped by file in key-number order.
// DynStrings item f - 1 of groups 1, 2 and 4 holds file f's name, folder and
// relation text; group 3 holds the field names (item = field entry number).
// File names are kept in lower case unless _AUXSTAT bit 0x08 is set; field
// names as written. Every file has at least one key: one without a key line
// gets a default key. Every key segment lies inside the record.
//
// Callers: data files and indexes, field references, relations, lock files,
// maintenance, start-up, the quillon-data tool.
#pragma once

#include <cstdint>

#include "core/str_desc.h"

constexpr uint16_t kDictMaxFiles = 30;
constexpr uint16_t kKeyMaxSegments = 5;
constexpr uint16_t kDictMaxKeys = 64;  // keys of one file

struct DictFileEntry {
  uint8_t number = 0;     // 1..30
  uint8_t type_code = 0;  // two-digit code of the file line; not interpreted here
  uint16_t field_count = 0;
  uint16_t record_length = 0;  // sum of the field lengths
  uint16_t key_count = 0;
  uint16_t first_field = 0;  // field entry number of field 1
  uint16_t first_key = 0;    // key entry number of key 1
  uint16_t line_file = 0;    // 1 when a field is named "N_LINE"
};

struct DictFieldEntry {
  uint16_t file = 0;
  uint16_t index = 0;   // 1-based position within the file
  uint16_t offset = 0;  // byte offset in the record
  uint16_t length = 0;
  char type = 0;  // type letter
  char pad = 0;
};

struct DictKeyEntry {
  uint16_t file = 0;
  uint16_t number = 0;  // 1-based key number within the file
  uint16_t segment_count = 0;
  uint16_t length = 0;  // sum of the segment lengths
  // Offset in the low 16 bits, length in the high 16 bits.
  uint32_t segments[kKeyMaxSegments] = {0, 0, 0, 0, 0};
};

// The dictionary file names, items 1 and 2 of this list after the prefix.
extern const char kDictFileNames[];

// Loads the dictionary: the prefix's first two characters followed by
// "DICC.DAT", then by "REL.DAT", each found with FindFileInFolders in the
// comma list `folders` and read line by line; include lines load further
// dictionaries on the way. Every open data file is closed and the previous
// dictionary dropped first. 0; 164 (module DataFile, detail: the file and the
// folders in square brackets) when the first file or an included one is
// missing; 161 for a 31st file, a field line for the 30th file or before any
// file, and a key or relation line naming a file not defined; 168 (detail
// "(File:f, Key:k)") for a key segment that does not lie inside its record
// or a key that takes a file's keys beyond 65,535 bytes in all;
// 168 for more than 64 keys in one file; 163 for includes nested more than
// 8 deep. On failure the dictionary is
// left empty.
Status DictLoad(StrDesc folders, StrDesc prefix);

// Drops the dictionary (tables 0..2, DynStrings groups 1..4). Data files must
// be closed first.
void DictClear();

// Number of files defined.
uint16_t DictFileCount();
// The entry of file f, or null when f is not 1..count.
const DictFileEntry* DictFile(uint16_t f);
// Field k (1-based) of file f, or null.
const DictFieldEntry* DictField(uint16_t f, uint16_t k);
// Key k (1-based) of file f, or null.
const DictKeyEntry* DictKey(uint16_t f, uint16_t k);

// Views into DynStrings (valid until the store changes): file f's name,
// folder, relation text, and the name of its field k. Empty when absent.
StrDesc DictFileName(uint16_t f);
StrDesc DictFileFolder(uint16_t f);
StrDesc DictRelationText(uint16_t f);
StrDesc DictFieldName(uint16_t f, uint16_t k);

// The field of file f called name (exact), 0 when none.
uint16_t DictFieldFind(uint16_t f, StrDesc name);

// A file reference: a text whose first character is above code 64 is a file
// name, compared (lower-cased unless _AUXSTAT bit 0x08) with the declared
// names; any other text is read as a number; an empty text is _CURFIL. The
// file number, or 0 when the name is unknown (a number is returned as read,
// unchecked).
uint16_t DictFileRef(StrDesc ref);

// Builds key k of file f from a record image into out (room for the key's
// length). Returns the key length (0 when the key does not exist).
uint16_t DictKeyBuild(uint16_t f, uint16_t k, const char* record, char* out);

// Records the range failure of a file or field number: detail
// "(File:f, Field:k)", status 168 (module DataFile). Returns 168.
Status DictRangeError(uint16_t f, uint16_t field);
