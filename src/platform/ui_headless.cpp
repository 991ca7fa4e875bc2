// The headless backend: no screen, fixed metrics, no live input (a UI script
// is the only input), message boxes take their default button, screenshots
// are plain-text dumps of the window stack.
#include "platform/ui_backend.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/cp1252.h"
#include "platform/fs.h"
#include "platform/ui.h"

namespace {

struct HeadlessState {
  int width = 1024;
  int height = 768;
};

HeadlessState g_headless;

bool Init(const UiConfig& config) {
  g_headless = HeadlessState{};
  if (config.screen_width > 0 && config.screen_height > 0) {
    g_headless.width = config.screen_width;
    g_headless.height = config.screen_height;
  }
  return true;
}

void Shutdown() {
  g_headless = HeadlessState{};
}

bool NoLiveInput() {
  return false;
}

void PollNothing() {}

UiRect WorkArea() {
  return UiRect{0, 0, g_headless.width, g_headless.height};
}

int Metric(UiMetric m) {
  switch (m) {
    case UiMetric::kCaptionHeight:
      return 20;
    case UiMetric::kBorder:
      return 1;
    case UiMetric::kDialogFrame:
      return 3;
    case UiMetric::kThickFrame:
      return 4;
    case UiMetric::kClientEdge:
      return 2;
    case UiMetric::kVScrollWidth:
      return 16;
    case UiMetric::kHScrollHeight:
      return 16;
  }
  return 0;
}

// The character cell: the font's width by its height; width 0 is half the
// height, height 0 is 16.
UiTextMetrics TextMetrics(const UiFontDesc& f) {
  UiTextMetrics m;
  m.height = f.height != 0 ? std::abs(f.height) : 16;
  m.average_width = f.width > 0 ? f.width : std::max(1, m.height / 2);
  m.max_width = m.average_width;
  m.ascent = m.height - m.height / 5;
  m.descent = m.height - m.ascent;
  m.weight = f.weight > 0 ? f.weight : 400;
  return m;
}

int TextWidth(const UiFontDesc& f, std::string_view text) {
  return static_cast<int>(text.size()) * TextMetrics(f).average_width;
}

UiAnswer MessageBoxDefault(UiWindow, std::string_view, std::string_view, UiMsgBoxButtons,
                           UiMsgBoxIcon, UiAnswer default_answer) {
  return default_answer;
}

uint32_t Le32(const unsigned char* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

uint32_t Be32(const unsigned char* p) {
  return (static_cast<uint32_t>(p[0]) << 24) | (p[1] << 16) | (p[2] << 8) | p[3];
}

// Reads the size from a BMP or PNG header.
bool ImageSize(std::string_view path, int* width, int* height) {
  FILE* f = FsOpen(path, "rb");
  if (f == nullptr) return false;
  unsigned char h[26] = {};
  const size_t n = std::fread(h, 1, sizeof h, f);
  std::fclose(f);
  if (n >= 26 && h[0] == 'B' && h[1] == 'M') {
    *width = static_cast<int>(Le32(h + 18));
    *height = std::abs(static_cast<int>(Le32(h + 22)));
    return *width > 0 && *height > 0;
  }
  static const unsigned char kPng[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  if (n >= 24 && std::equal(kPng, kPng + 8, h) && h[12] == 'I' && h[13] == 'H' && h[14] == 'D' &&
      h[15] == 'R') {
    *width = static_cast<int>(Be32(h + 16));
    *height = static_cast<int>(Be32(h + 20));
    return *width > 0 && *height > 0;
  }
  return false;
}

// ---------------------------------------------------------------------------
// The text dump
// ---------------------------------------------------------------------------

std::string Hex(uint32_t v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%08X", v);
  return buf;
}

std::string RectText(UiRect r) {
  return std::to_string(r.left) + "," + std::to_string(r.top) + " " + std::to_string(r.Width()) +
         "x" + std::to_string(r.Height());
}

std::string ButtonKind(uint32_t style) {
  switch (style & kUiBsTypeMask) {
    case kUiBsPushButton:
      return (style & kUiBsBitmap) ? "bitmap" : "push";
    case kUiBsDefPushButton:
      return "default";
    case kUiBsCheckBox:
    case kUiBsAutoCheckBox:
      return "checkbox";
    case kUiBsOwnerDraw:
      return "ownerdraw";
    default:
      return "button";
  }
}

void DumpControl(std::string* out, UiWindow c, int depth) {
  const std::string indent(static_cast<size_t>(depth) * 2, ' ');
  const uint32_t style = UiGetStyle(c);
  std::string line = indent + "control " + std::to_string(c) + " " + UiGetClassName(c) + " #" +
                     std::to_string(UiGetDlgCtrlId(c)) + " " + UiTranscriptQuote(UiShownText(c)) +
                     " at " + RectText(UiGetPlacement(c));
  switch (UiKindOf(c)) {
    case UiKind::kButton:
      line += " " + ButtonKind(style);
      if ((style & kUiBsTypeMask) == kUiBsCheckBox ||
          (style & kUiBsTypeMask) == kUiBsAutoCheckBox) {
        line += UiGetCheck(c) == 1 ? " checked" : " unchecked";
      }
      if (!UiGetButtonImage(c).empty()) line += " image " + UiTranscriptQuote(UiGetButtonImage(c));
      break;
    case UiKind::kEdit:
      if (style & kUiEsReadOnly) line += " readonly";
      if (style & kUiEsPassword) line += " password";
      break;
    default:
      break;
  }
  if (!(style & kUiWsVisible)) line += " hidden";
  if (style & kUiWsDisabled) line += " disabled";
  if (UiGetFocus() == c) line += " focus";
  *out += Cp1252ToUtf8(line) + "\n";
  if (UiKindOf(c) == UiKind::kListBox) {
    for (int i = 0; i < UiListCount(c); ++i) {
      std::string item =
          indent + "  item " + std::to_string(i) + " " + UiTranscriptQuote(UiListText(c, i));
      if (UiListGetSel(c) == i) item += " selected";
      *out += Cp1252ToUtf8(item) + "\n";
    }
  }
  for (const std::string& t : UiPaintedTexts(c)) {
    *out += Cp1252ToUtf8(indent + "  paint " + UiTranscriptQuote(t)) + "\n";
  }
  for (UiWindow k : UiGetChildren(c))
    DumpControl(out, k, depth + 1);
}

std::string Dump() {
  std::string out =
      "screen " + std::to_string(g_headless.width) + "x" + std::to_string(g_headless.height) + "\n";
  const UiWindow top = UiGetTopWindow();
  for (UiWindow w : UiGetTopLevelWindows()) {
    const uint32_t style = UiGetStyle(w);
    const UiRect client = UiGetClientRect(w);
    std::string line = "window " + std::to_string(w) + " " + UiGetClassName(w) + " " +
                       UiTranscriptQuote(UiGetText(w)) + " at " + RectText(UiGetPlacement(w)) +
                       " client " + std::to_string(client.Width()) + "x" +
                       std::to_string(client.Height()) + " style " + Hex(style) + " ex " +
                       Hex(UiGetExStyle(w));
    if (UiGetOwner(w) != 0) line += " owner " + std::to_string(UiGetOwner(w));
    if (!(style & kUiWsVisible)) line += " hidden";
    if (style & kUiWsDisabled) line += " disabled";
    if (UiIsMaximized(w)) line += " maximized";
    if (UiGetActiveWindow() == w) line += " active";
    if (top == w) line += " top";
    if (UiGetFocus() == w) line += " focus";
    out += Cp1252ToUtf8(line) + "\n";
    for (const std::string& t : UiPaintedTexts(w)) {
      out += Cp1252ToUtf8("  paint " + UiTranscriptQuote(t)) + "\n";
    }
    for (UiWindow c : UiGetChildren(w))
      DumpControl(&out, c, 1);
  }
  out += "focus " + std::to_string(UiGetFocus()) + "\n";
  return out;
}

bool Screenshot(const std::string& native_path) {
  FILE* f = std::fopen(native_path.c_str(), "wb");
  if (f == nullptr) return false;
  const std::string text = Dump();
  const bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
  return std::fclose(f) == 0 && ok;
}

constexpr UiBackend kHeadless = {
    "headless", Init,        Shutdown,  NoLiveInput,       PollNothing, WorkArea,
    Metric,     TextMetrics, TextWidth, MessageBoxDefault, ImageSize,   Screenshot,
};

}  // namespace

const UiBackend& UiHeadlessBackend() {
  return kHeadless;
}
