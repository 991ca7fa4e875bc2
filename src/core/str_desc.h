// String descriptors: every string of the runtime travels by value as a
// pointer to Windows-1252 bytes and a 16-bit length, never NUL-terminated.
//
// A descriptor whose pointer is null is an error descriptor: its length field
// carries a Status instead of a length. Every string operation checks its
// arguments first and passes an error descriptor through untouched, so a
// failure survives any chain of string calls. The pair (null, 0) is invalid
// and checks as 65,535.
#pragma once

#include <cstdint>
#include <cstring>
#include <string_view>

using Status = uint16_t;

struct StrDesc {
  char* ptr = nullptr;
  uint16_t len = 0;
};

// Builds a descriptor from a pointer and a length.
inline StrDesc StrMake(const char* p, uint16_t len) { return StrDesc{const_cast<char*>(p), len}; }

// The error descriptor carrying `code`.
inline StrDesc StrError(Status code) { return StrDesc{nullptr, code}; }

// Takes a NUL-terminated string (lengths above 65,535 are cut); a null pointer
// gives the error descriptor 163.
StrDesc StrFromCstr(const char* c);

// 0 for a valid string, otherwise the carried code (65,535 for (null, 0)).
inline Status StrCheck(StrDesc s) {
  if (s.ptr != nullptr) return 0;
  return s.len == 0 ? 0xFFFF : s.len;
}

inline bool StrIsError(StrDesc s) { return s.ptr == nullptr; }

// A descriptor over a literal or other constant text; the bytes are never
// written through it.
inline StrDesc Lit(std::string_view text) {
  return StrDesc{const_cast<char*>(text.data()), static_cast<uint16_t>(text.size())};
}

// The bytes of a valid descriptor as a view (empty for an error descriptor).
inline std::string_view StrView(StrDesc s) {
  return s.ptr ? std::string_view(s.ptr, s.len) : std::string_view();
}

// Byte-exact equality of two valid descriptors and a literal.
inline bool StrEq(StrDesc s, std::string_view text) {
  return s.ptr != nullptr && StrView(s) == text;
}
