// Field references FIELD{FILE}: how expressions reach the fields of the open
// data files' current record buffers, and the file-name variables.
//
// FILE is a declared file name (compared in lower case unless _AUXSTAT bit
// 0x08) or a number; empty means the current file. FIELD is a field name of
// that file or a number; {FILE} alone yields the file's number as text. Field
// types "ABCDF" are text, "NL123456789" numbers.
#pragma once

#include <cstdint>

#include "core/str_desc.h"

struct FieldRef {
  uint16_t file = 0;
  uint16_t field = 0;
  char type = 0;  // the field's type letter (0 for a {FILE} reference)
  Status status = 0;
};

// Resolves a reference. 147 (detail "Field:" + text) when malformed or the
// field resolves to 0, 161 for a file out of range, 168 for a field beyond
// the file's fields.
FieldRef ResolveFieldRef(StrDesc text);
// Pushes the field's value: its text, or a number for numeric types.
Status ReadFieldRef(StrDesc text);
// Stores value (a number is first written with _PRECIS decimals) into the
// field of the current record; failures record 151 under module BufferFld.
Status AssignFieldRef(StrDesc text, StrDesc value);
// The raw text of a field in record buffer 1 (current) or 2 (old), pushed.
StrDesc FieldText(uint16_t file, uint16_t field, int buffer);
// The value text of a field of the current record (compact dates, the D form
// of type N fields), pushed.
StrDesc FieldValue(uint16_t file, uint16_t field);
// Formats text for the field and stores it in the current record.
Status FieldStore(uint16_t file, uint16_t field, StrDesc text);
// Assigns n to an integer variable named as each declared file (lower case).
Status DefineFileNameVariables();
// f when it is a declared file number, else _CURFIL.
uint16_t CurrentFile(uint16_t f);
