// The order-taking application's callback and dispatcher, handed to the
// runtime by the process entry point.
#pragma once

#include <cstdint>

#include "core/str_desc.h"

// The application callback: code 1 nothing; code 2 the application's start
// (its settings files); code 3 the end of the run. Looks only at the low 4
// bits of the code.
Status AppCallback(uint32_t code);

// The application dispatcher: the modes the application handles itself, the
// rest through the runtime's DefaultDispatch.
Status AppDispatch(uint32_t dispatch_code, StrDesc arguments);
