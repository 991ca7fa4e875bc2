// Structure constants: dot names (.apname, .fnparm, .datey, .next ...) that
// stand for DynStrings group and item numbers, the date multipliers and the
// navigation requests. A numeric operand that starts with '.' and a letter is
// looked up here by the evaluator (without the dot, exact bytes). The table
// is constant; there is no state. Callers: the evaluator.
#pragma once

#include <cstdint>

#include "core/str_desc.h"

// The names in table order, comma-separated.
extern const char kStructConstantNames[];

// The value of a structure constant named without its dot; false when the
// name is not one (value untouched).
bool StructConstant(StrDesc name, int32_t* value);
