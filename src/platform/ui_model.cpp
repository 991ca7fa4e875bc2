// The window model shared by every backend: classes, windows, z-order,
// activation and focus, the message queue, timers, paint records, scroll bars,
// fonts, control state and message boxes.
#include "platform/ui.h"

#include <algorithm>
#include <cstdlib>
#include <deque>
#include <memory>

#include "platform/clock.h"
#include "platform/cp1252.h"
#include "platform/process.h"
#include "platform/ui_backend.h"

namespace {

// ---------------------------------------------------------------------------
// Tables
// ---------------------------------------------------------------------------

struct ClassRec {
  std::string name;
  UiWndProc proc = nullptr;
  uint32_t style = 0;
};

struct TimerRec {
  UiWindow window = 0;
  uintptr_t id = 0;
  uint32_t interval = 0;
  uint64_t due = 0;
};

struct ScrollBar {
  int min = 0, max = 0, pos = 0;
};

struct FontRec {
  UiFontDesc desc;
  bool alive = true;
};

struct InputRec {
  UiMessage m;
  bool to_focus = false;
};

struct Win {
  UiWindow handle = 0;
  bool alive = true;
  bool destroying = false;
  std::string class_name;
  UiKind kind = UiKind::kOther;
  UiWndProc proc = nullptr;
  std::string text;
  uint32_t style = 0;
  uint32_t ex_style = 0;
  UiWindow parent = 0;  // children only
  UiWindow owner = 0;   // top-level windows only
  int id = 0;
  int x = 0, y = 0, width = 0, height = 0;
  std::vector<UiWindow> children;
  intptr_t user_data = 0;
  UiFont font = 0;
  bool maximized = false;
  UiRect restore;
  bool needs_paint = false;
  ScrollBar bars[2];
  std::vector<UiPaintItem> paint;
  // Edit controls: anchor and caret of the selection, text limit.
  int sel_anchor = 0, sel_caret = 0, limit = 0;
  // Buttons.
  int check = 0;
  bool pressed = false;
  std::string image;
  // List boxes.
  std::vector<std::string> items;
  int cur_sel = -1, item_height = 0, top_index = 0;
};

constexpr int kDefaultEditLimit = 30000;
constexpr uint64_t kExhaustionWatchdog = 100000;
// The input source runs on this many polls in a row that find the whole queue
// empty: the polls before it report the queue empty, so loops that only drain
// what is waiting end and the program gets back to the loop that waits, as it
// would while a user is still thinking.
constexpr int kIdlePolls = 4;
// A loop that spins on polls filtered by a window gets the input source after
// this many empty polls, so that even such a loop cannot hang.
constexpr int kFilteredSpinPolls = 100000;

struct UiState {
  const UiBackend* backend = nullptr;
  std::vector<ClassRec> classes;
  std::vector<std::unique_ptr<Win>> windows;  // handle = index + 1
  std::vector<UiWindow> zorder;               // top-level windows, bottom first
  UiWindow active = 0;
  UiWindow focus = 0;
  std::deque<UiMessage> posted;
  std::deque<InputRec> input;
  bool quit_pending = false;
  int quit_code = 0;
  int empty_polls = 0;           // polls of the whole queue in a row that found it empty
  int filtered_empty_polls = 0;  // the same for polls filtered by a window
  uint64_t exhaustion_quits = 0;
  std::vector<TimerRec> timers;
  std::vector<FontRec> fonts;  // handle = index + 1; the first four are stock
  bool key_down[256] = {};
};

UiState* g_ui = nullptr;

Win* W(UiWindow h) {
  if (g_ui == nullptr || h == 0 || h > g_ui->windows.size()) return nullptr;
  Win* w = g_ui->windows[h - 1].get();
  return w->alive ? w : nullptr;
}

const ClassRec* FindClass(std::string_view name) {
  for (const ClassRec& c : g_ui->classes) {
    if (Cp1252EqualNoCase(c.name, name)) return &c;
  }
  return nullptr;
}

bool IsChildWin(const Win* w) {
  return (w->style & kUiWsChild) != 0;
}

// True when h is a or lies below a (parent chain only).
bool IsWithin(UiWindow h, UiWindow a) {
  for (Win* w = W(h); w != nullptr; w = W(w->parent)) {
    if (w->handle == a) return true;
    if (!IsChildWin(w)) break;
  }
  return false;
}

const UiFontDesc& FontDescOf(UiFont f) {
  if (f >= 1 && f <= g_ui->fonts.size() && g_ui->fonts[f - 1].alive) return g_ui->fonts[f - 1].desc;
  return g_ui->fonts[kUiFontSystem - 1].desc;
}

void TranscriptWindow(std::string_view word, const Win* w) {
  UiTranscript(std::string(word) + " " + w->class_name + " " + UiTranscriptQuote(w->text));
}

// ---------------------------------------------------------------------------
// Geometry
// ---------------------------------------------------------------------------

struct Frame {
  int left = 0, top = 0, right = 0, bottom = 0;
};

Frame FrameOf(uint32_t style, uint32_t ex_style, bool with_scroll_bars) {
  const UiBackend* b = g_ui->backend;
  int edge = 0;
  if (ex_style & kUiWsExClientEdge) edge += b->metric(UiMetric::kClientEdge);
  if (style & kUiWsThickFrame) {
    edge += b->metric(UiMetric::kThickFrame);
  } else if ((style & kUiWsDlgFrame) || (ex_style & kUiWsExDlgModalFrame)) {
    edge += b->metric(UiMetric::kDialogFrame);
  } else if (style & kUiWsBorder) {
    edge += b->metric(UiMetric::kBorder);
  }
  Frame f{edge, edge, edge, edge};
  if ((style & kUiWsCaption) == kUiWsCaption) f.top += b->metric(UiMetric::kCaptionHeight);
  if (with_scroll_bars) {
    if (style & kUiWsVScroll) f.right += b->metric(UiMetric::kVScrollWidth);
    if (style & kUiWsHScroll) f.bottom += b->metric(UiMetric::kHScrollHeight);
  }
  return f;
}

// Screen position of a window's client origin.
void ClientOrigin(const Win* w, int* x, int* y) {
  const Frame f = FrameOf(w->style, w->ex_style, true);
  int px = 0, py = 0;
  if (IsChildWin(w)) {
    if (const Win* p = W(w->parent)) ClientOrigin(p, &px, &py);
  }
  *x = px + w->x + f.left;
  *y = py + w->y + f.top;
}

// ---------------------------------------------------------------------------
// Z-order and activation
// ---------------------------------------------------------------------------

void BringToTop(UiWindow h) {
  Win* w = W(h);
  if (w == nullptr || IsChildWin(w)) return;
  auto& z = g_ui->zorder;
  z.erase(std::remove(z.begin(), z.end(), h), z.end());
  auto pos = z.end();
  if (!(w->ex_style & kUiWsExTopmost)) {
    pos = std::find_if(z.begin(), z.end(),
                       [](UiWindow o) { return W(o) && (W(o)->ex_style & kUiWsExTopmost); });
  }
  z.insert(pos, h);
  // Owned windows stay above their owner.
  const std::vector<UiWindow> snapshot = z;
  for (UiWindow o : snapshot) {
    if (Win* ow = W(o); ow != nullptr && ow->owner == h && o != h) BringToTop(o);
  }
}

bool Activatable(const Win* w) {
  return w != nullptr && !w->destroying && !IsChildWin(w) && !(w->style & kUiWsDisabled);
}

// Activates the owner of `leaving` when it can be, else the highest visible
// enabled top-level window other than `leaving` and the windows it owns.
void ActivateOther(UiWindow leaving) {
  const Win* lw = W(leaving);
  UiWindow next = 0;
  if (lw != nullptr) {
    const Win* ow = W(lw->owner);
    if (Activatable(ow) && (ow->style & kUiWsVisible)) next = ow->handle;
  }
  if (next == 0) {
    for (auto it = g_ui->zorder.rbegin(); it != g_ui->zorder.rend(); ++it) {
      const Win* c = W(*it);
      if (*it == leaving || !Activatable(c) || !(c->style & kUiWsVisible)) continue;
      bool owned_by_leaving = false;
      for (const Win* o = W(c->owner); o != nullptr; o = W(o->owner)) {
        if (o->handle == leaving) owned_by_leaving = true;
      }
      if (!owned_by_leaving) {
        next = *it;
        break;
      }
    }
  }
  if (next != 0) {
    UiSetActiveWindow(next);
    return;
  }
  const UiWindow old = g_ui->active;
  g_ui->active = 0;
  if (IsWithin(g_ui->focus, old) || g_ui->focus == old) UiSetFocus(0);
  if (W(old)) UiSendMessage(old, kUiMsgActivate, 0, 0);
}

// Moves the focus out of a window that is hidden or destroyed: to its parent
// for a child, by activating another window for a top-level window.
void FocusLeaves(Win* w) {
  if (IsChildWin(w)) {
    if (g_ui->focus != 0 && IsWithin(g_ui->focus, w->handle)) {
      if (Win* p = W(w->parent); p != nullptr && !p->destroying) {
        UiSetFocus(p->handle);
      } else {
        UiSetFocus(0);
      }
    }
    return;
  }
  if (g_ui->active == w->handle) ActivateOther(w->handle);
  if (g_ui->focus != 0 && UiGetTopLevel(g_ui->focus) == w->handle) UiSetFocus(0);
}

// ---------------------------------------------------------------------------
// Queue helpers
// ---------------------------------------------------------------------------

bool Matches(UiWindow target, UiWindow filter) {
  if (filter == 0) return true;
  return target != 0 && IsWithin(target, filter);
}

UiWindow InputTarget(const InputRec& r) {
  if (!r.to_focus) return r.m.window;
  if (W(g_ui->focus)) return g_ui->focus;
  if (W(g_ui->active)) return g_ui->active;
  return 0;
}

void NoteKey(const UiMessage& m) {
  if (m.message == kUiMsgKeyDown || m.message == kUiMsgKeyUp) {
    g_ui->key_down[m.wparam & 0xFF] = m.message == kUiMsgKeyDown;
  }
}

bool TakePosted(UiMessage* out, UiWindow filter, bool remove) {
  auto& q = g_ui->posted;
  for (auto it = q.begin(); it != q.end(); ++it) {
    if (!Matches(it->window, filter)) continue;
    *out = *it;
    if (remove) q.erase(it);
    return true;
  }
  return false;
}

bool TakeInput(UiMessage* out, UiWindow filter, bool remove) {
  auto& q = g_ui->input;
  for (auto it = q.begin(); it != q.end();) {
    const UiWindow target = InputTarget(*it);
    if (target == 0) {
      it = q.erase(it);  // keyboard input with nowhere to go
      continue;
    }
    if (!Matches(target, filter)) {
      ++it;
      continue;
    }
    *out = it->m;
    out->window = target;
    if (remove) {
      q.erase(it);
      NoteKey(*out);
    }
    return true;
  }
  return false;
}

Win* PaintCandidate(UiWindow filter) {
  for (auto& up : g_ui->windows) {
    Win* w = up.get();
    if (w->alive && w->needs_paint && UiIsVisible(w->handle) && Matches(w->handle, filter))
      return w;
  }
  return nullptr;
}

TimerRec* DueTimer(UiWindow filter, uint64_t now) {
  TimerRec* best = nullptr;
  for (TimerRec& t : g_ui->timers) {
    if (t.due <= now && Matches(t.window, filter) && (best == nullptr || t.due < best->due)) {
      best = &t;
    }
  }
  return best;
}

bool NothingWaiting() {
  return g_ui->posted.empty() && g_ui->input.empty() && !g_ui->quit_pending &&
         PaintCandidate(0) == nullptr && DueTimer(0, ClockMonotonicMs()) == nullptr;
}

void PurgeWindow(UiWindow h) {
  auto& p = g_ui->posted;
  p.erase(std::remove_if(p.begin(), p.end(), [h](const UiMessage& m) { return m.window == h; }),
          p.end());
  auto& in = g_ui->input;
  in.erase(std::remove_if(in.begin(), in.end(),
                          [h](const InputRec& r) { return !r.to_focus && r.m.window == h; }),
           in.end());
  auto& t = g_ui->timers;
  t.erase(std::remove_if(t.begin(), t.end(), [h](const TimerRec& r) { return r.window == h; }),
          t.end());
}

// Marks a window and its children dead (after their destroy messages).
void Bury(Win* w) {
  for (UiWindow c : w->children) {
    if (Win* cw = W(c)) Bury(cw);
  }
  PurgeWindow(w->handle);
  w->alive = false;
  if (g_ui->focus == w->handle) g_ui->focus = 0;
  if (g_ui->active == w->handle) g_ui->active = 0;
}

// Takes a window out of its parent's children or out of the z-order.
void Unlink(Win* w) {
  const UiWindow h = w->handle;
  if (IsChildWin(w)) {
    if (Win* p = W(w->parent)) {
      auto& kids = p->children;
      kids.erase(std::remove(kids.begin(), kids.end(), h), kids.end());
    }
  } else {
    auto& z = g_ui->zorder;
    z.erase(std::remove(z.begin(), z.end(), h), z.end());
  }
}

// True when the window or one of its ancestors is being destroyed.
bool Dying(UiWindow h) {
  for (Win* w = W(h); w != nullptr; w = W(w->parent)) {
    if (w->destroying) return true;
    if (!IsChildWin(w)) break;
  }
  return false;
}

void SendDestroy(Win* w) {
  UiSendMessage(w->handle, kUiMsgDestroy, 0, 0);
  const std::vector<UiWindow> kids = w->children;
  for (UiWindow c : kids) {
    if (Win* cw = W(c)) {
      cw->destroying = true;
      SendDestroy(cw);
    }
  }
}

// The queue in the order of the queue rules; the input source runs when a
// loop keeps finding the whole queue empty.
bool PeekQueued(UiMessage* out, UiWindow filter, bool remove) {
  for (;;) {
    if (TakePosted(out, filter, remove) || TakeInput(out, filter, remove)) return true;
    if (g_ui->quit_pending) {
      *out =
          UiMessage{0, kUiMsgQuit, static_cast<uintptr_t>(g_ui->quit_code), 0, ClockMonotonicMs()};
      if (remove) g_ui->quit_pending = false;
      return true;
    }
    if (Win* p = PaintCandidate(filter)) {
      *out = UiMessage{p->handle, kUiMsgPaint, 0, 0, ClockMonotonicMs()};
      if (remove) p->needs_paint = false;
      return true;
    }
    const uint64_t now = ClockMonotonicMs();
    if (TimerRec* t = DueTimer(filter, now)) {
      *out = UiMessage{t->window, kUiMsgTimer, t->id, 0, now};
      if (remove) t->due = now + t->interval;
      return true;
    }
    if (!NothingWaiting()) return false;  // messages for other windows only

    // The whole queue is empty. Only a loop that keeps polling the whole
    // queue is waiting for input (see kIdlePolls).
    if (filter != 0 && ++g_ui->filtered_empty_polls < kFilteredSpinPolls) return false;
    if (filter == 0 && ++g_ui->empty_polls < kIdlePolls) return false;
    const UiBackend* b = g_ui->backend;
    if (b->has_live_input()) {
      b->poll_input();
      if (!g_ui->input.empty()) continue;
    }
    if (UiScriptActive()) {
      // A step queued messages, or a wait slept until a timer is due: look
      // again. Otherwise the script has just ended.
      if (UiScriptRunSteps() != UiScriptRun::kEnded) continue;
    } else if (b->has_live_input()) {
      return false;
    }
    // No input will come: end the polling loop with a quit.
    if (++g_ui->exhaustion_quits > kExhaustionWatchdog) {
      ProcessAbort("quillon: the UI has no more input but the program keeps polling; ending");
    }
    g_ui->quit_pending = true;
    g_ui->quit_code = 0;
  }
}

std::string_view ButtonsWord(UiMsgBoxButtons b) {
  switch (b) {
    case UiMsgBoxButtons::kOk:
      return "ok";
    case UiMsgBoxButtons::kOkCancel:
      return "okcancel";
    case UiMsgBoxButtons::kRetryCancel:
      return "retrycancel";
    case UiMsgBoxButtons::kYesNo:
      return "yesno";
    case UiMsgBoxButtons::kYesNoCancel:
      return "yesnocancel";
  }
  return "ok";
}

std::string_view IconWord(UiMsgBoxIcon i) {
  switch (i) {
    case UiMsgBoxIcon::kNone:
      return "none";
    case UiMsgBoxIcon::kInfo:
      return "info";
    case UiMsgBoxIcon::kWarning:
      return "warning";
    case UiMsgBoxIcon::kError:
      return "error";
  }
  return "none";
}

std::string_view AnswerWord(UiAnswer a) {
  switch (a) {
    case UiAnswer::kOk:
      return "OK";
    case UiAnswer::kCancel:
      return "Cancel";
    case UiAnswer::kRetry:
      return "Retry";
    case UiAnswer::kYes:
      return "Yes";
    case UiAnswer::kNo:
      return "No";
    case UiAnswer::kNone:
      return "none";
  }
  return "none";
}

std::vector<UiAnswer> ButtonsOf(UiMsgBoxButtons b) {
  switch (b) {
    case UiMsgBoxButtons::kOk:
      return {UiAnswer::kOk};
    case UiMsgBoxButtons::kOkCancel:
      return {UiAnswer::kOk, UiAnswer::kCancel};
    case UiMsgBoxButtons::kRetryCancel:
      return {UiAnswer::kRetry, UiAnswer::kCancel};
    case UiMsgBoxButtons::kYesNo:
      return {UiAnswer::kYes, UiAnswer::kNo};
    case UiMsgBoxButtons::kYesNoCancel:
      return {UiAnswer::kYes, UiAnswer::kNo, UiAnswer::kCancel};
  }
  return {UiAnswer::kOk};
}

void ClampScroll(ScrollBar* b) {
  if (b->pos < b->min) b->pos = b->min;
  if (b->pos > b->max) b->pos = b->max;
}

}  // namespace

// ---------------------------------------------------------------------------
// Start and end
// ---------------------------------------------------------------------------

bool UiInit() {
  return UiInitWith(UiConfig{});
}

bool UiInitWith(const UiConfig& config) {
  if (g_ui != nullptr) return false;
  auto env = [&](const char* name) -> std::string {
    if (!config.use_environment) return std::string();
    const char* v = std::getenv(name);
    return v ? std::string(v) : std::string();
  };
  std::string backend = config.backend.empty() ? env("QUILLON_UI") : config.backend;
  if (backend.empty()) {
    const bool display = !env("DISPLAY").empty() || !env("WAYLAND_DISPLAY").empty();
    backend = display ? "sdl" : "headless";
  }
  if (backend == "sdl") {
    ProcessDiagnostic("quillon: the SDL backend is not built; using the headless backend");
  } else if (backend != "headless") {
    ProcessDiagnostic("quillon: unknown UI backend \"" + Utf8ToCp1252Lossy(backend) +
                      "\"; using the headless backend");
  }
  g_ui = new UiState;
  g_ui->backend = &UiHeadlessBackend();
  if (!g_ui->backend->init(config)) {
    delete g_ui;
    g_ui = nullptr;
    return false;
  }
  g_ui->fonts.push_back(FontRec{UiFontDesc{"System", 16, 8, 400, false, false}, true});
  g_ui->fonts.push_back(FontRec{UiFontDesc{"OEM Fixed", 16, 8, 400, false, false}, true});
  g_ui->fonts.push_back(FontRec{UiFontDesc{"ANSI Fixed", 16, 8, 400, false, false}, true});
  g_ui->fonts.push_back(FontRec{UiFontDesc{"GUI", 16, 8, 400, false, false}, true});
  UiRegisterClass("EDIT", UiEditProc, 0);
  UiRegisterClass("BUTTON", UiButtonProc, 0);
  UiRegisterClass("STATIC", UiStaticProc, 0);
  UiRegisterClass("LISTBOX", UiListBoxProc, 0);

  const std::string transcript =
      config.transcript_path.empty() ? env("QUILLON_UI_TRANSCRIPT") : config.transcript_path;
  if (!transcript.empty() && !UiTranscriptOpen(transcript)) {
    ProcessDiagnostic("quillon: cannot create the UI transcript " + Utf8ToCp1252Lossy(transcript));
  }
  if (!config.script_text.empty()) {
    UiSetScript(config.script_text, "script");
  } else {
    const std::string script =
        config.script_path.empty() ? env("QUILLON_UI_SCRIPT") : config.script_path;
    if (!script.empty()) UiSetScriptFile(script);
  }
  return true;
}

void UiShutdown() {
  if (g_ui == nullptr) return;
  UiScriptReportUnused();
  UiScriptClear();
  UiTranscriptClose();
  g_ui->backend->shutdown();
  delete g_ui;
  g_ui = nullptr;
}

bool UiIsUp() {
  return g_ui != nullptr;
}

const UiBackend& UiCurrentBackend() {
  return g_ui ? *g_ui->backend : UiHeadlessBackend();
}

std::string_view UiBackendName() {
  return g_ui ? g_ui->backend->name : "";
}

bool UiSetScript(std::string_view text, std::string_view name) {
  if (g_ui == nullptr) return false;
  return UiScriptLoad(text, name);
}

bool UiSetScriptFile(std::string_view path) {
  if (g_ui == nullptr) return false;
  FILE* f = std::fopen(std::string(path).c_str(), "rb");
  if (f == nullptr) {
    UiScriptLoad("", path);
    const std::string why = "cannot read the UI script " + Utf8ToCp1252Lossy(path);
    UiTranscript("script-error 0 " + UiTranscriptQuote("") + " " + UiTranscriptQuote(why));
    ProcessDiagnostic("quillon: " + why);
    return false;
  }
  std::string text;
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
    text.append(buf, n);
  std::fclose(f);
  return UiScriptLoad(text, path);
}

bool UiSetTranscriptFile(std::string_view path) {
  if (g_ui == nullptr) return false;
  UiTranscriptClose();
  if (path.empty()) return true;
  return UiTranscriptOpen(std::string(path));
}

// ---------------------------------------------------------------------------
// Classes and procedures
// ---------------------------------------------------------------------------

bool UiRegisterClass(std::string_view name, UiWndProc procedure, uint32_t class_style) {
  if (g_ui == nullptr || name.empty() || FindClass(name) != nullptr) return false;
  g_ui->classes.push_back(ClassRec{std::string(name), procedure, class_style});
  return true;
}

bool UiClassInfo(std::string_view name, UiWndProc* procedure) {
  if (g_ui == nullptr) return false;
  const ClassRec* c = FindClass(name);
  if (c == nullptr) return false;
  if (procedure) *procedure = c->proc;
  return true;
}

intptr_t UiDefWindowProc(UiWindow window, uint32_t message, uintptr_t wparam, intptr_t) {
  switch (message) {
    case kUiMsgClose:
      UiDestroyWindow(window);
      return 0;
    case kUiMsgActivate:
      if (wparam != 0 && g_ui != nullptr && !IsWithin(g_ui->focus, window)) UiSetFocus(window);
      return 0;
    default:
      return 0;
  }
}

UiWndProc UiSetWindowProc(UiWindow window, UiWndProc procedure) {
  Win* w = W(window);
  if (w == nullptr) return nullptr;
  UiWndProc old = w->proc ? w->proc : UiDefWindowProc;
  w->proc = procedure;
  return old;
}

UiWndProc UiGetWindowProc(UiWindow window) {
  Win* w = W(window);
  if (w == nullptr) return nullptr;
  return w->proc ? w->proc : UiDefWindowProc;
}

intptr_t UiCallWindowProc(UiWndProc procedure, UiWindow window, uint32_t message, uintptr_t wparam,
                          intptr_t lparam) {
  if (W(window) == nullptr) return 0;
  return (procedure ? procedure : UiDefWindowProc)(window, message, wparam, lparam);
}

// ---------------------------------------------------------------------------
// Windows
// ---------------------------------------------------------------------------

UiWindow UiCreateWindow(const UiCreateParams& p) {
  if (g_ui == nullptr) return 0;
  const ClassRec* cls = FindClass(p.class_name);
  if (cls == nullptr) return 0;
  const bool child = (p.style & kUiWsChild) != 0;
  Win* parent = W(p.parent);
  if (child && parent == nullptr) return 0;

  auto rec = std::make_unique<Win>();
  Win* w = rec.get();
  w->handle = static_cast<UiWindow>(g_ui->windows.size() + 1);
  w->class_name = cls->name;
  w->proc = cls->proc;
  w->text = std::string(p.text);
  w->style = p.style & ~kUiWsVisible;
  w->ex_style = p.ex_style;
  w->id = child ? p.id : 0;
  w->limit = kDefaultEditLimit;
  if (Cp1252EqualNoCase(cls->name, "EDIT")) w->kind = UiKind::kEdit;
  if (Cp1252EqualNoCase(cls->name, "BUTTON")) w->kind = UiKind::kButton;
  if (Cp1252EqualNoCase(cls->name, "STATIC")) w->kind = UiKind::kStatic;
  if (Cp1252EqualNoCase(cls->name, "LISTBOX")) w->kind = UiKind::kListBox;
  if (w->kind == UiKind::kListBox) w->text.clear();
  const UiRect work = g_ui->backend->work_area();
  if (child) {
    w->parent = parent->handle;
    w->x = p.x == kUiDefault ? 0 : p.x;
    w->y = p.y == kUiDefault ? 0 : p.y;
    w->width = p.width == kUiDefault ? 0 : p.width;
    w->height = p.height == kUiDefault ? 0 : p.height;
  } else {
    w->owner = parent ? UiGetTopLevel(parent->handle) : 0;
    w->x = p.x == kUiDefault ? work.left + work.Width() / 8 : p.x;
    w->y = p.y == kUiDefault ? work.top + work.Height() / 8 : p.y;
    w->width = p.width == kUiDefault ? work.Width() / 2 : p.width;
    w->height = p.height == kUiDefault ? work.Height() / 2 : p.height;
  }
  if (w->width < 0) w->width = 0;
  if (w->height < 0) w->height = 0;
  const UiWindow h = w->handle;
  g_ui->windows.push_back(std::move(rec));
  if (child) {
    parent->children.push_back(h);
  } else {
    g_ui->zorder.push_back(h);
    BringToTop(h);
  }
  if (UiSendMessage(h, kUiMsgCreate, 0, reinterpret_cast<intptr_t>(&p)) == -1 || W(h) == nullptr) {
    if (Win* again = W(h)) {
      Unlink(again);
      Bury(again);
    }
    return 0;
  }
  if (!child) TranscriptWindow("open", W(h));
  if (p.style & kUiWsVisible) UiShowWindow(h, kUiSwShow);
  return W(h) ? h : 0;
}

bool UiDestroyWindow(UiWindow window) {
  Win* w = W(window);
  if (w == nullptr || w->destroying) return false;
  w->destroying = true;
  if (!IsChildWin(w)) {
    const std::vector<UiWindow> z = g_ui->zorder;
    for (auto it = z.rbegin(); it != z.rend(); ++it) {
      if (Win* o = W(*it); o != nullptr && o->owner == window) UiDestroyWindow(*it);
    }
  }
  FocusLeaves(w);
  if (!IsChildWin(w)) TranscriptWindow("close", w);
  SendDestroy(w);
  Unlink(w);
  Bury(w);
  return true;
}

bool UiIsWindow(UiWindow window) {
  return W(window) != nullptr;
}

std::string UiGetClassName(UiWindow window) {
  Win* w = W(window);
  return w ? w->class_name : std::string();
}

uint32_t UiGetStyle(UiWindow window) {
  Win* w = W(window);
  return w ? w->style : 0;
}

uint32_t UiGetExStyle(UiWindow window) {
  Win* w = W(window);
  return w ? w->ex_style : 0;
}

void UiSetStyle(UiWindow window, uint32_t style) {
  if (Win* w = W(window)) w->style = style;
}

void UiSetExStyle(UiWindow window, uint32_t ex_style) {
  Win* w = W(window);
  if (w == nullptr) return;
  const bool topmost_changed = ((w->ex_style ^ ex_style) & kUiWsExTopmost) != 0;
  w->ex_style = ex_style;
  if (topmost_changed) BringToTop(window);
}

UiWindow UiGetParent(UiWindow window) {
  Win* w = W(window);
  return w && IsChildWin(w) ? w->parent : 0;
}

UiWindow UiGetOwner(UiWindow window) {
  Win* w = W(window);
  return w && !IsChildWin(w) && W(w->owner) ? w->owner : 0;
}

UiWindow UiGetTopLevel(UiWindow window) {
  Win* w = W(window);
  while (w != nullptr && IsChildWin(w)) {
    Win* p = W(w->parent);
    if (p == nullptr) break;
    w = p;
  }
  return w ? w->handle : 0;
}

std::vector<UiWindow> UiGetChildren(UiWindow window) {
  Win* w = W(window);
  return w ? w->children : std::vector<UiWindow>();
}

std::vector<UiWindow> UiGetTopLevelWindows() {
  return g_ui ? g_ui->zorder : std::vector<UiWindow>();
}

UiWindow UiGetTopWindow() {
  if (g_ui == nullptr) return 0;
  for (auto it = g_ui->zorder.rbegin(); it != g_ui->zorder.rend(); ++it) {
    if (UiIsVisible(*it)) return *it;
  }
  return 0;
}

UiWindow UiGetDlgItem(UiWindow parent, int id) {
  Win* w = W(parent);
  if (w == nullptr) return 0;
  for (UiWindow c : w->children) {
    if (Win* cw = W(c); cw != nullptr && cw->id == id) return c;
  }
  return 0;
}

UiWindow UiFindControl(UiWindow ancestor, int id) {
  Win* w = W(ancestor);
  if (w == nullptr) return 0;
  for (UiWindow c : w->children) {
    Win* cw = W(c);
    if (cw == nullptr) continue;
    if (cw->id == id) return c;
    if (UiWindow below = UiFindControl(c, id)) return below;
  }
  return 0;
}

int UiGetDlgCtrlId(UiWindow window) {
  Win* w = W(window);
  return w ? w->id : 0;
}

bool UiSetText(UiWindow window, std::string_view text) {
  Win* w = W(window);
  if (w == nullptr) return false;
  if (w->kind == UiKind::kListBox) return true;
  const bool changed = w->text != text;
  w->text = std::string(text);
  if (w->kind == UiKind::kEdit) w->sel_anchor = w->sel_caret = 0;
  if (changed && !IsChildWin(w)) UiTranscript("caption " + UiTranscriptQuote(w->text));
  if (changed) UiInvalidate(IsChildWin(w) ? UiGetTopLevel(window) : window);
  return true;
}

std::string UiGetText(UiWindow window) {
  Win* w = W(window);
  return w ? w->text : std::string();
}

bool UiEnableWindow(UiWindow window, bool enable) {
  Win* w = W(window);
  if (w == nullptr) return false;
  const bool was = !(w->style & kUiWsDisabled);
  if (was == enable) return was;
  if (enable) {
    w->style &= ~kUiWsDisabled;
  } else {
    w->style |= kUiWsDisabled;
    if (g_ui->focus != 0 && IsWithin(g_ui->focus, window)) UiSetFocus(0);
  }
  UiSendMessage(window, kUiMsgEnable, enable ? 1 : 0, 0);
  return was;
}

bool UiIsEnabled(UiWindow window) {
  for (Win* w = W(window); w != nullptr; w = W(w->parent)) {
    if (w->style & kUiWsDisabled) return false;
    if (!IsChildWin(w)) return true;
  }
  return false;
}

bool UiShowWindow(UiWindow window, int command) {
  Win* w = W(window);
  if (w == nullptr) return false;
  const bool was = (w->style & kUiWsVisible) != 0;
  if (command == kUiSwHide) {
    if (!was) return false;
    w->style &= ~kUiWsVisible;
    UiSendMessage(window, kUiMsgShowWindow, 0, 0);
    if (Win* again = W(window)) FocusLeaves(again);
    return true;
  }
  if (command == kUiSwShowMaximized && !w->maximized && !IsChildWin(w)) {
    w->restore = UiRect{w->x, w->y, w->x + w->width, w->y + w->height};
    const UiRect work = g_ui->backend->work_area();
    w->maximized = true;
    UiMoveWindow(window, work.left, work.top, work.Width(), work.Height());
  } else if (command == kUiSwShowNormal && w->maximized) {
    w->maximized = false;
    UiMoveWindow(window, w->restore.left, w->restore.top, w->restore.Width(), w->restore.Height());
  }
  if (W(window) == nullptr) return was;
  w->style |= kUiWsVisible;
  if (!was) UiSendMessage(window, kUiMsgShowWindow, 1, 0);
  if (W(window) == nullptr || IsChildWin(w)) return was;
  UiInvalidate(window);
  BringToTop(window);
  if (command != kUiSwShowNoActivate && !(w->style & kUiWsDisabled)) UiSetActiveWindow(window);
  return was;
}

bool UiIsVisible(UiWindow window) {
  for (Win* w = W(window); w != nullptr; w = W(w->parent)) {
    if (!(w->style & kUiWsVisible)) return false;
    if (!IsChildWin(w)) return true;
  }
  return false;
}

bool UiIsMaximized(UiWindow window) {
  Win* w = W(window);
  return w != nullptr && w->maximized;
}

bool UiMoveWindow(UiWindow window, int x, int y, int width, int height) {
  Win* w = W(window);
  if (w == nullptr) return false;
  width = std::max(width, 0);
  height = std::max(height, 0);
  const bool moved = w->x != x || w->y != y;
  const bool sized = w->width != width || w->height != height;
  w->x = x, w->y = y, w->width = width, w->height = height;
  if (moved) UiSendMessage(window, kUiMsgMove, 0, UiMakeLparam(x, y));
  if (sized && W(window)) {
    const UiRect c = UiGetClientRect(window);
    UiSendMessage(window, kUiMsgSize, 0, UiMakeLparam(c.right, c.bottom));
  }
  if ((moved || sized) && W(window)) UiInvalidate(UiGetTopLevel(window));
  return true;
}

UiRect UiGetWindowRect(UiWindow window) {
  Win* w = W(window);
  if (w == nullptr) return UiRect{};
  int px = 0, py = 0;
  if (IsChildWin(w)) {
    if (Win* p = W(w->parent)) ClientOrigin(p, &px, &py);
  }
  return UiRect{px + w->x, py + w->y, px + w->x + w->width, py + w->y + w->height};
}

UiRect UiGetPlacement(UiWindow window) {
  Win* w = W(window);
  if (w == nullptr) return UiRect{};
  return UiRect{w->x, w->y, w->x + w->width, w->y + w->height};
}

UiRect UiGetClientRect(UiWindow window) {
  Win* w = W(window);
  if (w == nullptr) return UiRect{};
  const Frame f = FrameOf(w->style, w->ex_style, true);
  return UiRect{0, 0, std::max(0, w->width - f.left - f.right),
                std::max(0, w->height - f.top - f.bottom)};
}

UiRect UiClientToScreen(UiWindow window, UiRect r) {
  Win* w = W(window);
  if (w == nullptr) return r;
  int x = 0, y = 0;
  ClientOrigin(w, &x, &y);
  return UiRect{r.left + x, r.top + y, r.right + x, r.bottom + y};
}

UiRect UiAdjustWindowRect(UiRect client, uint32_t style, uint32_t ex_style) {
  if (g_ui == nullptr) return client;
  const Frame f = FrameOf(style, ex_style, false);
  return UiRect{client.left - f.left, client.top - f.top, client.right + f.right,
                client.bottom + f.bottom};
}

int UiGetMetric(UiMetric metric) {
  return g_ui ? g_ui->backend->metric(metric) : 0;
}

UiRect UiGetWorkArea() {
  return g_ui ? g_ui->backend->work_area() : UiRect{};
}

intptr_t UiSetUserData(UiWindow window, intptr_t value) {
  Win* w = W(window);
  if (w == nullptr) return 0;
  const intptr_t old = w->user_data;
  w->user_data = value;
  return old;
}

intptr_t UiGetUserData(UiWindow window) {
  Win* w = W(window);
  return w ? w->user_data : 0;
}

// ---------------------------------------------------------------------------
// Activation and focus
// ---------------------------------------------------------------------------

UiWindow UiSetActiveWindow(UiWindow window) {
  if (g_ui == nullptr) return 0;
  Win* w = W(UiGetTopLevel(window));
  if (!Activatable(w)) return 0;
  const UiWindow old = g_ui->active;
  BringToTop(w->handle);
  if (old == w->handle) return old;
  g_ui->active = w->handle;
  if (W(old)) UiSendMessage(old, kUiMsgActivate, 0, static_cast<intptr_t>(w->handle));
  if (g_ui->active == w->handle && W(w->handle)) {
    UiSendMessage(w->handle, kUiMsgActivate, 1, static_cast<intptr_t>(old));
  }
  return old;
}

UiWindow UiGetActiveWindow() {
  return g_ui ? g_ui->active : 0;
}

UiWindow UiSetFocus(UiWindow window) {
  if (g_ui == nullptr) return 0;
  const UiWindow old = g_ui->focus;
  if (window == 0) {
    g_ui->focus = 0;
    if (W(old)) UiSendMessage(old, kUiMsgKillFocus, 0, 0);
    return old;
  }
  Win* w = W(window);
  if (w == nullptr || Dying(window) || !UiIsEnabled(window)) return 0;
  const UiWindow top = UiGetTopLevel(window);
  if (g_ui->active != top) {
    UiSetActiveWindow(top);
    if (W(window) == nullptr) return 0;
  }
  const UiWindow before = g_ui->focus;
  if (before == window) return old;
  g_ui->focus = window;
  if (W(before)) UiSendMessage(before, kUiMsgKillFocus, window, 0);
  if (g_ui->focus == window && W(window)) {
    if (IsChildWin(w)) {
      UiTranscript("focus #" + std::to_string(w->id) + " " +
                   UiTranscriptQuote(UiShownText(window)));
    }
    UiSendMessage(window, kUiMsgSetFocus, before, 0);
  }
  return old;
}

UiWindow UiGetFocus() {
  return g_ui ? g_ui->focus : 0;
}

bool UiKeyState(uint32_t virtual_key) {
  return g_ui != nullptr && virtual_key < 256 && g_ui->key_down[virtual_key];
}

// ---------------------------------------------------------------------------
// Messages
// ---------------------------------------------------------------------------

bool UiPostMessage(UiWindow window, uint32_t message, uintptr_t wparam, intptr_t lparam) {
  if (g_ui == nullptr || (window != 0 && W(window) == nullptr)) return false;
  g_ui->posted.push_back(UiMessage{window, message, wparam, lparam, ClockMonotonicMs()});
  return true;
}

void UiPostInput(const UiMessage& m, bool to_focus) {
  if (g_ui == nullptr || (!to_focus && W(m.window) == nullptr)) return;
  InputRec r{m, to_focus};
  r.m.time = ClockMonotonicMs();
  g_ui->input.push_back(r);
}

void UiPostQuitMessage(int exit_code) {
  if (g_ui == nullptr) return;
  g_ui->quit_pending = true;
  g_ui->quit_code = exit_code;
}

intptr_t UiSendMessage(UiWindow window, uint32_t message, uintptr_t wparam, intptr_t lparam) {
  Win* w = W(window);
  if (w == nullptr) return 0;
  return (w->proc ? w->proc : UiDefWindowProc)(window, message, wparam, lparam);
}

bool UiPeekMessage(UiMessage* out, UiWindow filter, bool remove) {
  if (g_ui == nullptr) return false;
  const bool found = PeekQueued(out, filter, remove);
  if (found && remove) g_ui->empty_polls = g_ui->filtered_empty_polls = 0;
  return found;
}

bool UiTranslateMessage(const UiMessage& message) {
  if (g_ui == nullptr || message.message != kUiMsgKeyDown) return false;
  const auto typed =
      static_cast<unsigned char>((static_cast<uintptr_t>(message.lparam) >> 16) & 0xFF);
  if (typed == 0) return false;
  return UiPostMessage(message.window, kUiMsgChar, typed, message.lparam);
}

intptr_t UiDispatchMessage(const UiMessage& message) {
  if (message.window == 0) return 0;
  return UiSendMessage(message.window, message.message, message.wparam, message.lparam);
}

void UiDiscardMessages() {
  if (g_ui == nullptr) return;
  g_ui->posted.clear();
  g_ui->input.clear();
  g_ui->quit_pending = false;
}

// ---------------------------------------------------------------------------
// Timers and painting
// ---------------------------------------------------------------------------

bool UiSetTimer(UiWindow window, uintptr_t id, uint32_t interval_ms) {
  if (W(window) == nullptr || id == 0) return false;
  interval_ms = std::max<uint32_t>(interval_ms, 10);
  const uint64_t due = ClockMonotonicMs() + interval_ms;
  for (TimerRec& t : g_ui->timers) {
    if (t.window == window && t.id == id) {
      t.interval = interval_ms;
      t.due = due;
      return true;
    }
  }
  g_ui->timers.push_back(TimerRec{window, id, interval_ms, due});
  return true;
}

bool UiKillTimer(UiWindow window, uintptr_t id) {
  if (g_ui == nullptr) return false;
  auto& t = g_ui->timers;
  const auto it = std::find_if(t.begin(), t.end(),
                               [&](const TimerRec& r) { return r.window == window && r.id == id; });
  if (it == t.end()) return false;
  t.erase(it);
  return true;
}

int64_t UiNextTimerDelay() {
  if (g_ui == nullptr || g_ui->timers.empty()) return -1;
  const uint64_t now = ClockMonotonicMs();
  int64_t best = -1;
  for (const TimerRec& t : g_ui->timers) {
    const int64_t d = t.due <= now ? 0 : static_cast<int64_t>(t.due - now);
    if (best < 0 || d < best) best = d;
  }
  return best;
}

void UiInvalidate(UiWindow window) {
  if (Win* w = W(window)) w->needs_paint = true;
}

void UiUpdateWindow(UiWindow window) {
  Win* w = W(window);
  if (w == nullptr || !w->needs_paint) return;
  w->needs_paint = false;
  UiSendMessage(window, kUiMsgPaint, 0, 0);
}

void UiPaintBegin(UiWindow window) {
  if (Win* w = W(window)) w->paint.clear();
}

void UiFillRect(UiWindow window, UiRect r, uint32_t color) {
  if (Win* w = W(window)) w->paint.push_back(UiPaintItem{false, r, color, std::string(), 0, 0});
}

void UiDrawText(UiWindow window, UiRect r, std::string_view text, uint32_t color, UiFont font,
                uint32_t align) {
  if (Win* w = W(window)) {
    w->paint.push_back(UiPaintItem{true, r, color, std::string(text), font, align});
  }
}

std::vector<std::string> UiPaintedTexts(UiWindow window) {
  std::vector<std::string> out;
  if (Win* w = W(window)) {
    for (const UiPaintItem& p : w->paint) {
      if (p.is_text) out.push_back(p.text);
    }
  }
  return out;
}

std::vector<UiPaintItem> UiGetPaintItems(UiWindow window) {
  Win* w = W(window);
  return w ? w->paint : std::vector<UiPaintItem>();
}

// ---------------------------------------------------------------------------
// Scroll bars
// ---------------------------------------------------------------------------

void UiSetScrollRange(UiWindow window, int bar, int min, int max) {
  Win* w = W(window);
  if (w == nullptr || (bar != kUiSbHorz && bar != kUiSbVert)) return;
  ScrollBar& b = w->bars[bar];
  b.min = min;
  b.max = std::max(min, max);
  ClampScroll(&b);
}

void UiGetScrollRange(UiWindow window, int bar, int* min, int* max) {
  Win* w = W(window);
  const bool ok = w != nullptr && (bar == kUiSbHorz || bar == kUiSbVert);
  if (min) *min = ok ? w->bars[bar].min : 0;
  if (max) *max = ok ? w->bars[bar].max : 0;
}

int UiSetScrollPos(UiWindow window, int bar, int pos) {
  Win* w = W(window);
  if (w == nullptr || (bar != kUiSbHorz && bar != kUiSbVert)) return 0;
  ScrollBar& b = w->bars[bar];
  const int old = b.pos;
  b.pos = pos;
  ClampScroll(&b);
  return old;
}

int UiGetScrollPos(UiWindow window, int bar) {
  Win* w = W(window);
  if (w == nullptr || (bar != kUiSbHorz && bar != kUiSbVert)) return 0;
  return w->bars[bar].pos;
}

void UiShowScrollBar(UiWindow window, int bar, bool show) {
  Win* w = W(window);
  if (w == nullptr) return;
  uint32_t bit = 0;
  if (bar == kUiSbHorz) bit = kUiWsHScroll;
  if (bar == kUiSbVert) bit = kUiWsVScroll;
  if (show) {
    w->style |= bit;
  } else {
    w->style &= ~bit;
  }
  UiInvalidate(UiGetTopLevel(window));
}

void UiScrollWindow(UiWindow window, int dx, int dy) {
  Win* w = W(window);
  if (w == nullptr) return;
  for (UiWindow c : w->children) {
    if (Win* cw = W(c)) {
      cw->x += dx;
      cw->y += dy;
    }
  }
  UiInvalidate(UiGetTopLevel(window));
}

// ---------------------------------------------------------------------------
// Fonts
// ---------------------------------------------------------------------------

UiFont UiCreateFont(const UiFontDesc& desc) {
  if (g_ui == nullptr) return 0;
  g_ui->fonts.push_back(FontRec{desc, true});
  return static_cast<UiFont>(g_ui->fonts.size());
}

void UiDeleteFont(UiFont font) {
  if (g_ui == nullptr || font <= kUiFontGui || font > g_ui->fonts.size()) return;
  g_ui->fonts[font - 1].alive = false;
}

bool UiGetFontDesc(UiFont font, UiFontDesc* out) {
  if (g_ui == nullptr || font == 0 || font > g_ui->fonts.size() || !g_ui->fonts[font - 1].alive) {
    return false;
  }
  *out = g_ui->fonts[font - 1].desc;
  return true;
}

void UiSetFont(UiWindow window, UiFont font) {
  if (Win* w = W(window)) w->font = font;
}

UiFont UiGetFont(UiWindow window) {
  Win* w = W(window);
  if (w == nullptr) return 0;
  return w->font ? w->font : kUiFontSystem;
}

UiTextMetrics UiGetTextMetrics(UiFont font) {
  if (g_ui == nullptr) return UiTextMetrics{};
  return g_ui->backend->text_metrics(FontDescOf(font));
}

UiRect UiGetTextExtent(UiFont font, std::string_view text) {
  if (g_ui == nullptr) return UiRect{};
  const UiFontDesc& d = FontDescOf(font);
  return UiRect{0, 0, g_ui->backend->text_width(d, text), g_ui->backend->text_metrics(d).height};
}

// ---------------------------------------------------------------------------
// Controls
// ---------------------------------------------------------------------------

void UiEditSetSel(UiWindow edit, int start, int end) {
  Win* w = W(edit);
  if (w == nullptr) return;
  const int len = static_cast<int>(w->text.size());
  if (start < 0) {  // (-1, x) removes the selection, keeping the caret
    w->sel_anchor = w->sel_caret;
    return;
  }
  if (end < 0 || end > len) end = len;
  w->sel_anchor = std::min(start, len);
  w->sel_caret = end;
}

void UiEditGetSel(UiWindow edit, int* start, int* end) {
  Win* w = W(edit);
  const int a = w ? w->sel_anchor : 0, c = w ? w->sel_caret : 0;
  if (start) *start = std::min(a, c);
  if (end) *end = std::max(a, c);
}

void UiEditGetAnchor(UiWindow edit, int* anchor, int* caret) {
  Win* w = W(edit);
  if (anchor) *anchor = w ? w->sel_anchor : 0;
  if (caret) *caret = w ? w->sel_caret : 0;
}

void UiEditSetLimit(UiWindow edit, int limit) {
  if (Win* w = W(edit)) w->limit = limit <= 0 ? kDefaultEditLimit : limit;
}

int UiEditGetLimit(UiWindow edit) {
  Win* w = W(edit);
  return w ? w->limit : 0;
}

void UiEditReplaceSel(UiWindow edit, std::string_view text) {
  Win* w = W(edit);
  if (w == nullptr) return;
  const int len = static_cast<int>(w->text.size());
  const int s = std::clamp(std::min(w->sel_anchor, w->sel_caret), 0, len);
  const int e = std::clamp(std::max(w->sel_anchor, w->sel_caret), 0, len);
  const size_t room = static_cast<size_t>(std::max(0, w->limit - (len - (e - s))));
  const std::string_view insert = text.substr(0, std::min(text.size(), room));
  w->text.replace(static_cast<size_t>(s), static_cast<size_t>(e - s), insert);
  w->sel_anchor = w->sel_caret = s + static_cast<int>(insert.size());
  UiInvalidate(UiGetTopLevel(edit));
}

void UiSetCheck(UiWindow button, int state) {
  if (Win* w = W(button)) {
    w->check = state;
    UiInvalidate(UiGetTopLevel(button));
  }
}

int UiGetCheck(UiWindow button) {
  Win* w = W(button);
  return w ? w->check : 0;
}

bool UiSetButtonImage(UiWindow button, std::string_view path) {
  Win* w = W(button);
  if (w == nullptr) return false;
  int width = 0, height = 0;
  if (!g_ui->backend->image_size(path, &width, &height)) {
    w->image.clear();
    return false;
  }
  w->image = std::string(path);
  return true;
}

std::string UiGetButtonImage(UiWindow button) {
  Win* w = W(button);
  return w ? w->image : std::string();
}

void UiSetPressed(UiWindow button, bool pressed) {
  if (Win* w = W(button)) w->pressed = pressed;
}

bool UiGetPressed(UiWindow button) {
  Win* w = W(button);
  return w != nullptr && w->pressed;
}

int UiListAdd(UiWindow list, std::string_view text) {
  Win* w = W(list);
  if (w == nullptr) return -1;
  int index = static_cast<int>(w->items.size());
  if (w->style & kUiLbsSort) {
    const std::string key(text);
    auto upper = [](std::string s) {
      for (char& c : s)
        c = Cp1252Upper(c);
      return s;
    };
    const std::string k = upper(key);
    for (int i = 0; i < static_cast<int>(w->items.size()); ++i) {
      if (upper(w->items[static_cast<size_t>(i)]) > k) {
        index = i;
        break;
      }
    }
  }
  return UiListInsert(list, index, text);
}

int UiListInsert(UiWindow list, int index, std::string_view text) {
  Win* w = W(list);
  if (w == nullptr) return -1;
  const int count = static_cast<int>(w->items.size());
  if (index < 0) index = count;
  if (index > count) return -1;
  w->items.insert(w->items.begin() + index, std::string(text));
  if (w->cur_sel >= index) ++w->cur_sel;
  UiInvalidate(UiGetTopLevel(list));
  return index;
}

bool UiListDelete(UiWindow list, int index) {
  Win* w = W(list);
  if (w == nullptr || index < 0 || index >= static_cast<int>(w->items.size())) return false;
  w->items.erase(w->items.begin() + index);
  if (w->cur_sel == index) {
    w->cur_sel = -1;
  } else if (w->cur_sel > index) {
    --w->cur_sel;
  }
  UiInvalidate(UiGetTopLevel(list));
  return true;
}

void UiListClear(UiWindow list) {
  if (Win* w = W(list)) {
    w->items.clear();
    w->cur_sel = -1;
    w->top_index = 0;
    UiInvalidate(UiGetTopLevel(list));
  }
}

int UiListCount(UiWindow list) {
  Win* w = W(list);
  return w ? static_cast<int>(w->items.size()) : 0;
}

std::string UiListText(UiWindow list, int index) {
  Win* w = W(list);
  if (w == nullptr || index < 0 || index >= static_cast<int>(w->items.size())) return std::string();
  return w->items[static_cast<size_t>(index)];
}

int UiListGetSel(UiWindow list) {
  Win* w = W(list);
  return w ? w->cur_sel : -1;
}

bool UiListSetSel(UiWindow list, int index) {
  Win* w = W(list);
  if (w == nullptr || index < -1 || index >= static_cast<int>(w->items.size())) return false;
  w->cur_sel = index;
  UiInvalidate(UiGetTopLevel(list));
  return true;
}

void UiListSetItemHeight(UiWindow list, int height) {
  if (Win* w = W(list)) w->item_height = std::max(height, 0);
}

int UiListGetItemHeight(UiWindow list) {
  Win* w = W(list);
  if (w == nullptr) return 0;
  return w->item_height > 0 ? w->item_height : UiGetTextMetrics(UiGetFont(list)).height;
}

void UiListSetTopIndex(UiWindow list, int index) {
  Win* w = W(list);
  if (w == nullptr) return;
  w->top_index = std::clamp(index, 0, std::max(0, static_cast<int>(w->items.size()) - 1));
}

int UiListGetTopIndex(UiWindow list) {
  Win* w = W(list);
  return w ? w->top_index : 0;
}

UiKind UiKindOf(UiWindow window) {
  Win* w = W(window);
  return w ? w->kind : UiKind::kOther;
}

std::string UiShownText(UiWindow window) {
  Win* w = W(window);
  if (w == nullptr) return std::string();
  if (w->kind == UiKind::kEdit && (w->style & kUiEsPassword)) {
    return std::string(w->text.size(), '*');
  }
  return w->text;
}

// ---------------------------------------------------------------------------
// Message boxes
// ---------------------------------------------------------------------------

UiAnswer UiMessageBox(UiWindow owner, std::string_view text, std::string_view caption,
                      UiMsgBoxButtons buttons, UiMsgBoxIcon icon, int default_button) {
  if (g_ui == nullptr) return UiAnswer::kNone;
  const std::vector<UiAnswer> offered = ButtonsOf(buttons);
  const size_t pick =
      static_cast<size_t>(std::clamp(default_button, 1, static_cast<int>(offered.size())) - 1);
  const UiAnswer default_answer = offered[pick];
  UiAnswer answer;
  if (UiScriptActive()) {
    answer = UiScriptTakeAnswer(buttons, default_answer);
  } else {
    answer = g_ui->backend->message_box(W(owner) ? owner : 0, text, caption, buttons, icon,
                                        default_answer);
  }
  UiTranscript("msgbox " + std::string(IconWord(icon)) + "-" + std::string(ButtonsWord(buttons)) +
               " " + UiTranscriptQuote(caption) + " " + UiTranscriptQuote(text) + " -> " +
               std::string(AnswerWord(answer)));
  return answer;
}
