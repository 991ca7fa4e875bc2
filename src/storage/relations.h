// Relations between data files: the relation entries of the dictionary and
// the relational read of the data windows.
//
// File f's relation text (DictRelationText) is a ":"-joined list of entries
// "<target>R<relation>K<key>" followed by "=" or ":" and an expression, for
// example 2R1K1=CODE{1}: relation 1 of file f leads to file 2, looked up by
// its key 1 with the value of CODE{1}. An expression holding ":", " ", "&" or
// "/" keeps them inside quotes. Expressions are evaluated through the
// functions installed with SetRelationEvaluator (the language sits above
// storage); until they are installed RelationalRead fails with 169.
// Callers: the FILEREL built-in, data windows and their relational updates.
#pragma once

#include <cstdint>

#include "core/str_desc.h"

// The key number k written after the name "<target>R<rel>K" in file f's
// relation text (0 when there is no such entry).
uint16_t RelationKey(uint16_t f, uint16_t target, uint16_t rel);

// The expression of that entry (looked up as "<target>R<rel>K<k>" with the
// key=value rules), pushed; empty when absent.
StrDesc RelationExpression(uint16_t f, uint16_t target, uint16_t rel);

// The evaluator's text value of an expression (pushed, or an error
// descriptor) and its truth (1, 0, or a status of 122 or more).
using RelationTextFn = StrDesc (*)(StrDesc expression);
using RelationConditionFn = uint16_t (*)(StrDesc expression);
void SetRelationEvaluator(RelationTextFn text, RelationConditionFn condition);

// Relational read of relation rel from file f to file `target`, with the
// update text `update` (may be empty). _RELRES is set to 0; the relation's
// expression is evaluated (empty expression: 163; empty value: 0 at once).
// Unless _UPSTAT bit 0x20 is set (and no delete is asked): the target is read
// by the relation's key with the value (FileReadKey with the flags, without
// 0x02 for a blank value unless _SCRSTAT bit 0x40); with flags 0x04 and 0x08
// both set a record found is deleted (_RELRES 12); otherwise, unless flag
// 0x08, a record found with an update text, or none found with flag 0x04, has
// the update text evaluated and is rewritten, or added (_RELRES 4 when the
// read ended at the end of the file). Then with flag 0x02 and _SCRSTAT bit
// 0x40 the target moves on once (back when _LASTKEY is 23), with flag 0x08
// repeatedly while the update text, as a condition, is false; _RELRES becomes
// 2 and the _SCRSTAT bit is cleared. With _UPSTAT bit 0x20 every record whose
// key starts with the value is updated instead (FileUpdateAll). Returns the
// outcome of the last read or move, or a status.
uint16_t RelationalRead(uint16_t f, uint16_t target, uint16_t rel, uint16_t flags, StrDesc update);
