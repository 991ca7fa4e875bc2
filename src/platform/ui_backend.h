// What a UI backend implements, and the few model entry points that only the
// platform layer itself uses (backends, the built-in controls, the UI script).
//
// Nothing outside src/platform/ includes this header. A backend is a table of
// functions; the model (ui_model.cpp) calls it for everything that depends on
// a screen: metrics, live input, message boxes, images and screenshots. The
// built-in control procedures and the script driver work through the public
// interface of ui.h plus the entry points below.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/ui.h"

struct UiBackend {
  const char* name;
  bool (*init)(const UiConfig& config);
  void (*shutdown)();
  // True while the backend has a user at its devices (then an absent script
  // never ends a loop); poll_input posts what the devices produced.
  bool (*has_live_input)();
  void (*poll_input)();
  UiRect (*work_area)();
  int (*metric)(UiMetric metric);
  UiTextMetrics (*text_metrics)(const UiFontDesc& font);
  int (*text_width)(const UiFontDesc& font, std::string_view text);
  // Shows a box to the user and returns the button chosen.
  UiAnswer (*message_box)(UiWindow owner, std::string_view text, std::string_view caption,
                          UiMsgBoxButtons buttons, UiMsgBoxIcon icon, UiAnswer default_answer);
  // Reads the pixel size of an image file; false when it is not one.
  bool (*image_size)(std::string_view path, int* width, int* height);
  // Writes a picture of the window stack to a native path.
  bool (*screenshot)(const std::string& native_path);
};

// The headless backend; the backend running (valid while the UI is up).
const UiBackend& UiHeadlessBackend();
const UiBackend& UiCurrentBackend();

// Queues an input message (keys, clicks, the close box). With to_focus the
// message goes to the window holding the focus when it is taken from the
// queue (else the active window; dropped when there is neither), as keyboard
// input does; otherwise to m.window.
void UiPostInput(const UiMessage& m, bool to_focus);

// The pressed look of a button (mouse or space bar held down on it).
void UiSetPressed(UiWindow button, bool pressed);
bool UiGetPressed(UiWindow button);

// The selection of an edit control as anchor and caret (the caret may come
// first).
void UiEditGetAnchor(UiWindow edit, int* anchor, int* caret);

// One drawing call kept for a window since its last UiPaintBegin.
struct UiPaintItem {
  bool is_text = false;
  UiRect rect;
  uint32_t color = 0;
  std::string text;  // Windows-1252
  UiFont font = 0;
  uint32_t align = 0;
};
std::vector<UiPaintItem> UiGetPaintItems(UiWindow window);

// The built-in control classes (registered by UiInit).
intptr_t UiEditProc(UiWindow w, uint32_t msg, uintptr_t wparam, intptr_t lparam);
intptr_t UiButtonProc(UiWindow w, uint32_t msg, uintptr_t wparam, intptr_t lparam);
intptr_t UiStaticProc(UiWindow w, uint32_t msg, uintptr_t wparam, intptr_t lparam);
intptr_t UiListBoxProc(UiWindow w, uint32_t msg, uintptr_t wparam, intptr_t lparam);

// The kind of a window by its class name.
enum class UiKind : uint8_t { kOther, kEdit, kButton, kStatic, kListBox };
UiKind UiKindOf(UiWindow window);

// A control's text as a dump or transcript shows it (password edits masked).
std::string UiShownText(UiWindow window);

// Label comparison of the script: case-insensitive, blanks around ignored,
// "&" accelerator markers dropped ("&&" is a literal "&").
bool UiLabelMatches(std::string_view caption, std::string_view label);

// The transcript file (ui_transcript.cpp).
bool UiTranscriptOpen(const std::string& native_path);
void UiTranscriptClose();

// The UI script driver (ui_script.cpp).
enum class UiScriptRun : uint8_t {
  kPosted,   // a step queued messages
  kWaiting,  // a wait step is waiting for a timer; poll again
  kEnded,    // no step left (exhausted, failed or never loaded)
};
bool UiScriptLoad(std::string_view text, std::string_view name);
void UiScriptClear();
bool UiScriptActive();  // a script is loaded and has not ended
UiScriptRun UiScriptRunSteps();
UiAnswer UiScriptTakeAnswer(UiMsgBoxButtons buttons, UiAnswer default_answer);
// Reports steps never reached (at shutdown).
void UiScriptReportUnused();
