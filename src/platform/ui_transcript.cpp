// The UI transcript: one UTF-8 line per event, flushed as it is written so
// that a run that crashes still leaves what happened before.
#include "platform/ui_backend.h"

#include <cstdio>
#include <string>

#include "platform/cp1252.h"
#include "platform/ui.h"

namespace {

FILE* g_transcript = nullptr;

const char kHex[] = "0123456789ABCDEF";

// Escapes the control bytes of a Windows-1252 text; with quote_chars also
// backslash and double quote.
std::string Escape(std::string_view text, bool quote_chars) {
  std::string out;
  out.reserve(text.size() + 8);
  for (char c : text) {
    const auto b = static_cast<unsigned char>(c);
    if (quote_chars && (c == '\\' || c == '"')) {
      out += '\\';
      out += c;
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\t') {
      out += "\\t";
    } else if (b < 0x20 || b == 0x7F) {
      out += "\\x";
      out += kHex[b >> 4];
      out += kHex[b & 0xF];
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace

bool UiTranscriptOpen(const std::string& native_path) {
  UiTranscriptClose();
  g_transcript = std::fopen(native_path.c_str(), "wb");
  return g_transcript != nullptr;
}

void UiTranscriptClose() {
  if (g_transcript != nullptr) std::fclose(g_transcript);
  g_transcript = nullptr;
}

void UiTranscript(std::string_view line_cp1252) {
  if (g_transcript == nullptr) return;
  const std::string line = Cp1252ToUtf8(Escape(line_cp1252, false)) + "\n";
  std::fwrite(line.data(), 1, line.size(), g_transcript);
  std::fflush(g_transcript);
}

std::string UiTranscriptQuote(std::string_view text_cp1252) {
  return "\"" + Escape(text_cp1252, true) + "\"";
}
