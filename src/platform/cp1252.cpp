#include "platform/cp1252.h"

namespace {

// Code points of the bytes 0x80..0x9F; the undefined bytes keep their own
// value so that every byte round-trips.
constexpr uint16_t kHighTable[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80..87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 88..8F
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90..97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 98..9F
};

void AppendUtf8(std::string* out, uint32_t cp) {
  if (cp < 0x80) {
    out->push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out->push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

// Decodes one UTF-8 sequence at s[*i]; advances *i past it. Returns the code
// point, or -1 for a malformed sequence (then *i advances by one byte).
int32_t DecodeUtf8(std::string_view s, size_t* i) {
  const auto b0 = static_cast<unsigned char>(s[*i]);
  if (b0 < 0x80) {
    *i += 1;
    return b0;
  }
  int extra = 0;
  uint32_t cp = 0;
  uint32_t min = 0;
  if ((b0 & 0xE0) == 0xC0) {
    extra = 1, cp = b0 & 0x1F, min = 0x80;
  } else if ((b0 & 0xF0) == 0xE0) {
    extra = 2, cp = b0 & 0x0F, min = 0x800;
  } else if ((b0 & 0xF8) == 0xF0) {
    extra = 3, cp = b0 & 0x07, min = 0x10000;
  } else {
    *i += 1;
    return -1;
  }
  if (*i + extra >= s.size()) {
    *i += 1;
    return -1;
  }
  for (int k = 1; k <= extra; ++k) {
    const auto b = static_cast<unsigned char>(s[*i + k]);
    if ((b & 0xC0) != 0x80) {
      *i += 1;
      return -1;
    }
    cp = (cp << 6) | (b & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
    *i += 1;
    return -1;
  }
  *i += extra + 1;
  return static_cast<int32_t>(cp);
}

}  // namespace

uint32_t Cp1252ToCodePoint(unsigned char byte) {
  if (byte >= 0x80 && byte <= 0x9F) return kHighTable[byte - 0x80];
  return byte;
}

int Cp1252FromCodePoint(uint32_t code_point) {
  if (code_point < 0x80 || (code_point >= 0xA0 && code_point <= 0xFF)) {
    return static_cast<int>(code_point);
  }
  for (int k = 0; k < 32; ++k) {
    if (kHighTable[k] == code_point) return 0x80 + k;
  }
  return -1;
}

std::string Cp1252ToUtf8(std::string_view cp1252) {
  std::string out;
  out.reserve(cp1252.size() + cp1252.size() / 4);
  for (char c : cp1252)
    AppendUtf8(&out, Cp1252ToCodePoint(static_cast<unsigned char>(c)));
  return out;
}

bool Utf8ToCp1252(std::string_view utf8, std::string* out) {
  out->clear();
  out->reserve(utf8.size());
  bool all_good = true;
  size_t i = 0;
  while (i < utf8.size()) {
    const int32_t cp = DecodeUtf8(utf8, &i);
    const int byte = cp < 0 ? -1 : Cp1252FromCodePoint(static_cast<uint32_t>(cp));
    if (byte < 0) {
      all_good = false;
      out->push_back('?');
    } else {
      out->push_back(static_cast<char>(byte));
    }
  }
  return all_good;
}

bool Utf8IsValid(std::string_view bytes) {
  size_t i = 0;
  while (i < bytes.size()) {
    if (DecodeUtf8(bytes, &i) < 0) return false;
  }
  return true;
}

std::string Utf8ToCp1252Lossy(std::string_view utf8) {
  std::string out;
  Utf8ToCp1252(utf8, &out);
  return out;
}

char Cp1252Upper(char c) {
  const auto b = static_cast<unsigned char>(c);
  if (b >= 'a' && b <= 'z') return static_cast<char>(b - 32);
  if (b >= 0xE0 && b <= 0xFE && b != 0xF7) return static_cast<char>(b - 32);
  switch (b) {
    case 0x9A:
      return static_cast<char>(0x8A);
    case 0x9C:
      return static_cast<char>(0x8C);
    case 0x9E:
      return static_cast<char>(0x8E);
    case 0xFF:
      return static_cast<char>(0x9F);
    default:
      return c;
  }
}

char Cp1252Lower(char c) {
  const auto b = static_cast<unsigned char>(c);
  if (b >= 'A' && b <= 'Z') return static_cast<char>(b + 32);
  if (b >= 0xC0 && b <= 0xDE && b != 0xD7) return static_cast<char>(b + 32);
  switch (b) {
    case 0x8A:
      return static_cast<char>(0x9A);
    case 0x8C:
      return static_cast<char>(0x9C);
    case 0x8E:
      return static_cast<char>(0x9E);
    case 0x9F:
      return static_cast<char>(0xFF);
    default:
      return c;
  }
}

bool Cp1252EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (Cp1252Upper(a[i]) != Cp1252Upper(b[i])) return false;
  }
  return true;
}
