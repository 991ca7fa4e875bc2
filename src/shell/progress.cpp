// The progress pop-up: a top-most window with what is running, the time it
// has taken (or the current record of a search) and a Stop button.
#include "shell/progress.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "core/dyn_strings.h"
#include "core/messages.h"
#include "core/status.h"
#include "core/temp_stack.h"
#include "platform/clock.h"
#include "shell/window_stack.h"

const char kProgressClass[] = "ProgressDlg";

namespace {

constexpr int kWhatId = 100;      // what is running
constexpr int kProgressId = 101;  // elapsed time or the current record
constexpr int kClientWidth = 200;
constexpr int kClientHeight = 92;
constexpr uint16_t kWhatMax = 120;
constexpr uint16_t kNoFile = 0xFFFF;
// Data files are numbered 1..30; their names are DynStrings (1, n - 1).
constexpr uint16_t kMaxDataFile = 30;
constexpr uint16_t kFileNameGroup = 1;
// Messages taken per look, so a flood of messages cannot hold a run up.
constexpr int kMessagesPerLook = 64;

struct ProgressState {
  UiWindow window = 0;
  bool stop = false;
  bool auto_shown = false;  // shown by a session, removed when it ends
  bool looked = false;      // the messages were looked at since it was shown
  uint16_t depth = 0;
  uint64_t start_ms = 0;
  uint64_t last_look_ms = 0;
  int64_t shown_seconds = -1;
  char what[kWhatMax] = {};
  uint16_t what_length = 0;
};

ProgressState g_progress;

bool PopUpAlive() {
  ProgressState& g = g_progress;
  if (g.window != 0 && UiIsWindow(g.window) && UiGetClassName(g.window) == kProgressClass)
    return true;
  g.window = 0;
  return false;
}

intptr_t ProgressProc(UiWindow window, uint32_t message, uintptr_t wparam, intptr_t lparam) {
  switch (message) {
    case kUiMsgCommand:
      if (UiLoWord(wparam) == kProgressStopId && UiHiWord(wparam) == kUiBnClicked) {
        g_progress.stop = true;
        TempMarkValue mark = TempMark();
        UiSetText(UiGetDlgItem(window, kProgressId), StrView(MsgGet("0006")));
        TempRelease(mark);
      }
      return 0;
    case kUiMsgClose:  // closing the pop-up asks to stop; the run removes it
      g_progress.stop = true;
      return 0;
    case kUiMsgDestroy:
      if (window == g_progress.window) g_progress.window = 0;
      return 0;
    default:
      return UiDefWindowProc(window, message, wparam, lparam);
  }
}

void SetWhat(StrDesc what) {
  ProgressState& g = g_progress;
  g.what_length = StrIsError(what) ? 0 : std::min<uint16_t>(what.len, kWhatMax);
  if (g.what_length != 0) std::memcpy(g.what, what.ptr, g.what_length);
}

UiWindow AddControl(UiWindow parent, const char* cls, std::string_view text, uint32_t style, int id,
                    int x, int y, int width, int height) {
  UiCreateParams p;
  p.class_name = cls;
  p.text = text;
  p.style = kUiWsChild | kUiWsVisible | style;
  p.parent = parent;
  p.id = id;
  p.x = x, p.y = y, p.width = width, p.height = height;
  return UiCreateWindow(p);
}

// Makes and shows the pop-up without taking the activation from the window
// the user works in. False when the UI is not up or refuses.
bool CreatePopUp() {
  ProgressState& g = g_progress;
  if (!UiIsUp()) return false;
  if (!UiClassInfo(kProgressClass, nullptr) && !UiRegisterClass(kProgressClass, ProgressProc, 0))
    return false;
  const uint32_t style = kUiWsPopup | kUiWsCaption;
  const uint32_t ex_style = kUiWsExTopmost | kUiWsExDlgModalFrame;
  const UiRect outer =
      UiAdjustWindowRect(UiRect{0, 0, kClientWidth, kClientHeight}, style, ex_style);
  const UiRect area = ScreenArea();
  UiCreateParams p;
  p.class_name = kProgressClass;
  TempMarkValue mark = TempMark();
  const StrDesc title = DynReady() ? DynGet(0, 3) : Lit("");
  p.text = StrView(title);
  p.style = style;
  p.ex_style = ex_style;
  p.width = outer.Width();
  p.height = outer.Height();
  p.x = area.left + std::max(0, (area.Width() - p.width) / 2);
  p.y = area.top + std::max(0, (area.Height() - p.height) / 2);
  const UiWindow window = UiCreateWindow(p);
  TempRelease(mark);
  if (window == 0) return false;
  const int inner = kClientWidth - 16;
  AddControl(window, "STATIC", std::string_view(g.what, g.what_length), kUiSsCenter, kWhatId, 8, 8,
             inner, 20);
  AddControl(window, "STATIC", "", kUiSsCenter, kProgressId, 8, 32, inner, 20);
  AddControl(window, "BUTTON", "Stop", kUiBsPushButton | kUiWsTabStop, kProgressStopId,
             (kClientWidth - 80) / 2, 58, 80, 26);
  UiShowWindow(window, kUiSwShowNoActivate);
  g.window = window;
  g.looked = false;
  g.shown_seconds = -1;
  return true;
}

void DestroyPopUp() {
  ProgressState& g = g_progress;
  const UiWindow window = g.window;
  g.window = 0;
  g.auto_shown = false;
  if (window != 0 && UiIsWindow(window) && UiGetClassName(window) == kProgressClass)
    UiDestroyWindow(window);
}

// Shows the pop-up of a session that has gone on long enough.
void ShowWhenLong() {
  ProgressState& g = g_progress;
  if (PopUpAlive() || g.depth == 0 || !UiIsUp()) return;
  const uint64_t now = ClockMonotonicMs();
  if (now - g.start_ms < kProgressDelayMs) return;
  if (CreatePopUp()) {
    g.auto_shown = true;
  } else {
    g.start_ms = now;  // try again a little later
  }
}

// Takes and dispatches the messages waiting for the pop-up, without waiting.
// Then one look at the whole queue, taking nothing: it lets the input source
// run as it does for a loop that waits (a live backend reads its devices, a
// UI script carries out its next step), and what that brings for the pop-up
// is taken too. Messages of other windows and a quit request stay queued for
// the loops they belong to. `current`, when not empty, replaces the elapsed
// time as the progress shown.
void Look(StrDesc current) {
  ProgressState& g = g_progress;
  if (!PopUpAlive()) return;
  const uint64_t now = ClockMonotonicMs();
  if (g.looked && now - g.last_look_ms < kProgressPumpMs) return;
  g.looked = true;
  g.last_look_ms = now;
  if (!g.stop) {
    const UiWindow progress = UiGetDlgItem(g.window, kProgressId);
    if (!StrIsError(current) && current.len != 0) {
      UiSetText(progress, StrView(current));
    } else if (g.depth > 0) {
      const int64_t seconds = static_cast<int64_t>((now - g.start_ms) / 1000);
      if (seconds != g.shown_seconds) {
        char text[32];
        std::snprintf(text, sizeof text, "%02lld:%02lld", static_cast<long long>(seconds / 60),
                      static_cast<long long>(seconds % 60));
        UiSetText(progress, text);
        g.shown_seconds = seconds;
      }
    }
  }
  for (int i = 0; i < kMessagesPerLook && g.window != 0; ++i) {
    UiMessage message;
    if (UiPeekMessage(&message, g.window, false)) {
      if (message.message == kUiMsgQuit || !UiPeekMessage(&message, g.window, true)) break;
      UiTranslateMessage(message);
      UiDispatchMessage(message);
      continue;
    }
    if (!UiPeekMessage(&message, 0, false) || message.message == kUiMsgQuit ||
        message.window == 0 || UiGetTopLevel(message.window) != g.window)
      break;
  }
}

}  // namespace

Status ProgressPopUp(uint16_t file, uint16_t /*flags*/) {
  if (PopUpAlive()) return 0;
  ProgressState& g = g_progress;
  TempMarkValue mark = TempMark();
  StrDesc what = Lit("");
  if (file != kNoFile && file >= 1 && file <= kMaxDataFile && DynReady())
    what = DynGet(kFileNameGroup, static_cast<uint16_t>(file - 1));
  if (what.len == 0) what = MsgGet("0042");
  SetWhat(what);
  TempRelease(mark);
  if (!CreatePopUp()) return kStWindowsControl;
  g.auto_shown = false;
  if (g.depth == 0) g.stop = false;
  return 0;
}

void ProgressPopUpClose() {
  DestroyPopUp();
  if (g_progress.depth == 0) g_progress.stop = false;
}

Status ProgressPopUpCancel() {
  ShowWhenLong();
  Look(Lit(""));
  return g_progress.stop ? kStCancelled : 0;
}

Status ProgressStopTest(StrDesc current) {
  ShowWhenLong();
  Look(current);
  return g_progress.stop ? kStCancelled : 0;
}

void ProgressBegin(StrDesc what) {
  ProgressState& g = g_progress;
  if (g.depth == 0) {
    g.start_ms = ClockMonotonicMs();
    SetWhat(what);
    if (!PopUpAlive()) g.stop = false;
  }
  if (g.depth < 0xFFFF) ++g.depth;
}

void ProgressEnd() {
  ProgressState& g = g_progress;
  if (g.depth == 0) return;
  if (--g.depth != 0) return;
  if (g.auto_shown) DestroyPopUp();
  if (!PopUpAlive()) g.stop = false;
}

UiWindow ProgressWindow() {
  return PopUpAlive() ? g_progress.window : 0;
}
bool ProgressStopRequested() {
  return g_progress.stop;
}
uint16_t ProgressDepth() {
  return g_progress.depth;
}

void ProgressReset() {
  if (UiIsUp()) DestroyPopUp();
  g_progress = ProgressState{};
}
