// The stored form of a field value: how a text is fitted to a field of a
// given type letter and width before it goes into a record.
//
// Records hold only fixed-width text. "V" fields hold blanks; "A", "B", "C",
// "P" the value left-aligned, blank-padded, cut to the width; "D" and "F" of
// width 6 an 8-character date without its century; "1".."9" a number with
// that many decimals ("." as point) right-aligned, rounded half away from
// zero; every other letter the trimmed value right-aligned, a number that is
// too long losing decimals until it fits. The decimals of a digit type need
// a blank or digit before the point: when the width is not above decimals + 1
// the value is written without decimals. A number whose whole part cannot fit
// is refused (168); a digit-typed value without digits is stored as blanks.
// Pure functions of their arguments; callers: data files, field references.
#pragma once

#include <cstdint>

#include "core/str_desc.h"

// The value fitted to a field of type `type` and `width`, pushed; the error
// descriptor 168 when a number's whole part does not fit. Error descriptors
// given as value are returned unchanged.
StrDesc FieldFormat(char type, uint16_t width, StrDesc value);

// True for the types whose values are numbers in expressions: "NL123456789".
bool FieldTypeIsNumber(char type);
