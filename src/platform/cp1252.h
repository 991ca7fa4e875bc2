// Windows-1252 text at the platform boundary.
//
// Every text inside the runtime is Windows-1252 bytes; the operating system,
// terminals, scripts and transcripts speak UTF-8. This module converts between
// the two and folds letter case the way the runtime compares names.
//
// Invariants: every byte 0x00..0xFF maps to exactly one code point and back,
// so a Windows-1252 text survives a round trip through UTF-8 unchanged. The
// five bytes the code page leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) map
// to the C1 control code points of the same value. Called by the rest of the
// platform layer (file names, environment, transcript, diagnostics) and by any
// caller that must hand a runtime text to a UTF-8 consumer.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// The Unicode code point of one Windows-1252 byte. Never fails.
uint32_t Cp1252ToCodePoint(unsigned char byte);

// The Windows-1252 byte of a code point, or -1 when the code page has none.
int Cp1252FromCodePoint(uint32_t code_point);

// Converts Windows-1252 bytes to UTF-8. Never fails.
std::string Cp1252ToUtf8(std::string_view cp1252);

// Converts UTF-8 to Windows-1252 into *out (replaced). Returns true when every
// character was valid UTF-8 and representable; otherwise false, and each bad
// sequence or unrepresentable character is written as '?'.
bool Utf8ToCp1252(std::string_view utf8, std::string* out);

// True when the bytes are well-formed UTF-8 (whatever the characters).
bool Utf8IsValid(std::string_view bytes);

// The same conversion as a value, with '?' for what cannot be represented.
std::string Utf8ToCp1252Lossy(std::string_view utf8);

// Upper and lower case of one byte: ASCII letters and the accented letters of
// the code page (a-z, 0xE0..0xFE except 0xF7, and the pairs 0x8A/0x9A,
// 0x8C/0x9C, 0x8E/0x9E, 0x9F/0xFF). Other bytes are returned unchanged.
char Cp1252Upper(char c);
char Cp1252Lower(char c);

// Case-insensitive equality of two Windows-1252 texts by Cp1252Upper.
bool Cp1252EqualNoCase(std::string_view a, std::string_view b);
