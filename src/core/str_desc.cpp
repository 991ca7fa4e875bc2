#include "core/str_desc.h"

StrDesc StrFromCstr(const char* c) {
  if (c == nullptr) return StrError(163);
  size_t n = std::strlen(c);
  if (n > 0xFFFF) n = 0xFFFF;
  return StrDesc{const_cast<char*>(c), static_cast<uint16_t>(n)};
}
