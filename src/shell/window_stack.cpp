#include "shell/window_stack.h"

#include <algorithm>
#include <string>

#include "core/dyn_strings.h"
#include "core/messages.h"
#include "core/str_lib.h"
#include "core/temp_stack.h"
#include "core/token_list.h"
#include "language/variables.h"
#include "platform/clock.h"
#include "platform/fs.h"
#include "screens/masks.h"

namespace {

// ---------------------------------------------------------------------------
// Registry

struct Slot {
  UiWindow handle = 0;
  int16_t value = -1;
  int16_t show_state = 0;
};

struct Registry {
  uint16_t count = 0;
  uint16_t order[kWindowSlots] = {};
  Slot slots[kWindowSlots];
};

Registry g_reg;
int g_fixed_width = 0;
int g_fixed_height = 0;
UiFont g_font = 0;

// A fixed screen takes both a width and a height; otherwise the desktop.
bool FixedScreen() {
  return g_fixed_width > 0 && g_fixed_height > 0;
}

int FindSlot(UiWindow handle) {
  if (handle == 0) return -1;
  for (int i = 0; i < kWindowSlots; ++i) {
    if (g_reg.slots[i].handle == handle) return i;
  }
  return -1;
}

int OrderIndex(int slot) {
  for (int i = 0; i < g_reg.count; ++i) {
    if (g_reg.order[i] == slot) return i;
  }
  return -1;
}

Slot* TopSlot() {
  if (g_reg.count == 0) return nullptr;
  return &g_reg.slots[g_reg.order[g_reg.count - 1]];
}

// Windows destroyed without unregistering would keep the loops alive forever;
// drop them.
void PruneDeadWindows() {
  for (int i = g_reg.count - 1; i >= 0; --i) {
    UiWindow h = g_reg.slots[g_reg.order[i]].handle;
    if (!UiIsWindow(h)) WindowUnregister(h);
  }
}

}  // namespace

void WindowStackReset() {
  g_reg = Registry{};
  g_fixed_width = 0;
  g_fixed_height = 0;
  g_font = 0;
}

void SetFixedScreenSize(int width, int height) {
  g_fixed_width = width;
  g_fixed_height = height;
}

UiRect ScreenArea() {
  if (FixedScreen()) return UiRect{0, 0, g_fixed_width, g_fixed_height};
  return UiGetWorkArea();
}

void SetShellFont(UiFont font) { g_font = font; }
UiFont ShellFont() { return g_font ? g_font : kUiFontSystem; }
int CharWidth() { return std::max(1, UiGetTextMetrics(ShellFont()).average_width); }
int CharHeight() { return std::max(1, UiGetTextMetrics(ShellFont()).height); }

UiWindow WindowRegister(UiWindow handle, int16_t value) {
  if (handle == 0) return 0;
  int slot = FindSlot(handle);
  if (slot >= 0) {
    // Already open: it becomes the top window again.
    int at = OrderIndex(slot);
    for (int i = at; i + 1 < g_reg.count; ++i) g_reg.order[i] = g_reg.order[i + 1];
    g_reg.order[g_reg.count - 1] = static_cast<uint16_t>(slot);
    g_reg.slots[slot].value = value;
    return handle;
  }
  for (int i = 0; i < kWindowSlots; ++i) {
    if (g_reg.slots[i].handle != 0) continue;
    g_reg.slots[i] = Slot{handle, value, 0};
    g_reg.order[g_reg.count++] = static_cast<uint16_t>(i);
    return handle;
  }
  return 0;
}

int WindowUnregister(UiWindow handle) {
  int slot = FindSlot(handle);
  if (slot >= 0) {
    g_reg.slots[slot] = Slot{};
    // Windows close in reverse order of opening; one that is not on top is
    // taken out of the middle of the order.
    int at = OrderIndex(slot);
    for (int i = at; i + 1 < g_reg.count; ++i) g_reg.order[i] = g_reg.order[i + 1];
    --g_reg.count;
    g_reg.order[g_reg.count] = 0;
    if (Slot* top = TopSlot()) EnableAndFocus(top->handle);
  }
  return g_reg.count == 0 ? 1 : 0;
}

UiWindow WindowTop() {
  Slot* top = TopSlot();
  return top ? top->handle : 0;
}

uint16_t WindowCount() { return g_reg.count; }

int16_t WindowValue(UiWindow handle) {
  int slot = FindSlot(handle);
  return slot < 0 ? int16_t{-1} : g_reg.slots[slot].value;
}

void WindowShow(int request) {
  Slot* top = TopSlot();
  if (!top) return;
  switch (request) {
    case -1: {
      bool maximise = top->show_state == 4 && !FixedScreen();
      UiShowWindow(top->handle, maximise ? kUiSwShowMaximized : kUiSwShowNormal);
      UiInvalidate(top->handle);
      UiUpdateWindow(top->handle);
      break;
    }
    case 2:
      UiShowWindow(top->handle, kUiSwShowNormal);
      break;
    case 1:
      top->show_state = 0;
      break;
    default:
      top->show_state = static_cast<int16_t>(request);
      break;
  }
}

UiWindow WindowCreate(const char* class_name, StrDesc title, uint32_t style, int x, int y,
                      int width, int height, int id, UiWndProc procedure) {
  if (!class_name || !*class_name) return 0;
  if (!UiClassInfo(class_name, nullptr)) {
    // Horizontal and vertical redraw (0x2 | 0x1) as class styles.
    if (!UiRegisterClass(class_name, procedure, 0x0003)) return 0;
  }
  UiWindow owner = WindowTop();
  if ((style & 0x80) && owner) UiEnableWindow(owner, false);
  UiCreateParams p;
  p.class_name = class_name;
  p.text = StrCheck(title) == 0 ? StrView(title) : std::string_view();
  // The low bits carry the runtime's own flags; they mean nothing to the UI.
  p.style = style & 0xFFFF0000u;
  p.ex_style = kUiWsExDlgModalFrame;
  p.x = x;
  p.y = y;
  p.width = width == -1 ? kUiDefault : width;
  p.height = height == -1 ? kUiDefault : height;
  p.parent = owner;
  p.id = id;
  UiWindow w = UiCreateWindow(p);
  if (w == 0) {
    if ((style & 0x80) && owner) UiEnableWindow(owner, true);
    return 0;
  }
  if (WindowRegister(w, -1) == 0) {
    UiDestroyWindow(w);
    if ((style & 0x80) && owner) EnableAndFocus(owner);
    return 0;
  }
  return w;
}

void WindowPlace(UiWindow window, int x, int y, int client_width, int client_height,
                 int content_width, int content_height) {
  if (!UiIsWindow(window)) return;
  if (client_width == kUiDefault) client_width = 80 * CharWidth();
  if (client_height == kUiDefault) client_height = 25 * CharHeight();
  uint32_t style = UiGetStyle(window);
  uint32_t ex_style = UiGetExStyle(window);
  UiRect outer;
  if (FixedScreen()) {
    int frame = UiGetMetric(UiMetric::kDialogFrame);
    outer = UiRect{0, 0, client_width + 2 * frame, client_height + 2 * frame};
    if (style & kUiWsCaption) outer.bottom += UiGetMetric(UiMetric::kCaptionHeight);
  } else {
    outer = UiAdjustWindowRect(UiRect{0, 0, client_width, client_height}, style, ex_style);
  }
  int w = outer.Width();
  int h = outer.Height();
  UiRect area = ScreenArea();
  bool below_other = WindowCount() > 1;
  if (x == kUiDefault) x = area.left + std::max(0, (area.Width() - w) / 2);
  if (y == kUiDefault) y = area.top + std::max(0, (area.Height() - h) / 2);
  // A window opened over a focused control goes below it.
  UiWindow focus = UiGetFocus();
  if (below_other && focus && UiGetParent(focus) != 0 && UiGetTopLevel(focus) != window) {
    UiRect fr = UiGetWindowRect(focus);
    int rows = IntegerVar(kSysWMaxRow);
    y = fr.bottom + (rows > 0 ? rows : 0);
  }
  // The first window on a desktop, and every window opened while the run
  // option holds the screen state, is moved off the centre (and then kept
  // inside the screen). The terminal's first window fills its fixed screen
  // and stays where it is.
  if ((!below_other && !FixedScreen()) || TestBits(kSysScrStat, 8)) {
    x += 100;
    y += 60;
  }
  if (x + w > area.right) x = area.right - w;
  if (y + h > area.bottom) y = area.bottom - h;
  x = std::max(x, 0);
  y = std::max(y, 0);
  // Scroll bars for content larger than the client area.
  int excess_x = content_width - client_width;
  int excess_y = content_height - client_height;
  UiShowScrollBar(window, kUiSbHorz, content_width > 0 && excess_x > 0);
  UiShowScrollBar(window, kUiSbVert, content_height > 0 && excess_y > 0);
  if (content_width > 0 && excess_x > 0) UiSetScrollRange(window, kUiSbHorz, 0, excess_x);
  if (content_height > 0 && excess_y > 0) UiSetScrollRange(window, kUiSbVert, 0, excess_y);
  UiMoveWindow(window, x, y, w, h);
}

int PumpPending(UiWindow window) {
  bool quit = false;
  UiMessage m;
  while (UiPeekMessage(&m, window, true)) {
    if (m.message == kUiMsgQuit) {
      quit = true;
      break;
    }
    UiTranslateMessage(m);
    UiDispatchMessage(m);
  }
  PruneDeadWindows();
  return (quit || g_reg.count == 0) ? 1 : 0;
}

void MessageLoop(UiWindow window) {
  WindowShow(-1);
  for (;;) {
    if (PumpPending(0) == 1) break;
    if (window != 0 && WindowTop() != window) break;
  }
  UiMessage m;
  while (UiPeekMessage(&m, 0, true)) {
    if (m.message == kUiMsgQuit) break;
    UiTranslateMessage(m);
    UiDispatchMessage(m);
  }
}

void PostQuit(UiWindow /*window*/) { UiPostQuitMessage(0); }

void WindowSetCaption(UiWindow handle, StrDesc text) {
  if (StrCheck(text) != 0) return;
  UiSetText(handle, StrView(text));
}

StrDesc WindowGetText(UiWindow handle, int max) {
  if (max < 0) max = 384;
  std::string text = UiGetText(handle);
  if (text.size() > static_cast<size_t>(max)) text.resize(static_cast<size_t>(max));
  while (!text.empty() && text.back() == ' ') text.pop_back();
  if (text.size() > 0xFFFF) text.resize(0xFFFF);
  return StrCopy(Lit(text));
}

void EnableAndFocus(UiWindow handle) {
  if (!UiIsWindow(handle)) return;
  UiEnableWindow(handle, true);
  UiSetActiveWindow(handle);
  UiSetFocus(handle);
}

int KeyCode(uint32_t virtual_key) {
  switch (virtual_key) {
    case 13:
      return 0;
    case 9:
      return 9;
    case 27:
      return 3;
    case 38:
      return 22;
    case 33:
      return 23;
    case 37:
    case 39:
      return 4;
    case 40:
      return 28;
    case 34:
      return 29;
    case 239:
      return 6;
    default:
      if (virtual_key >= 112 && virtual_key <= 122) return static_cast<int>(virtual_key - 112 + 11);
      return 4;
  }
}

StrDesc MainCaption(StrDesc text) {
  if (StrIsError(text)) return text;
  TempMarkValue mark = TempMark();
  StrDesc shown = text.len > 0 ? text : DynGet(0, 3);
  // Today in the language's order, as every other date is shown.
  ClockDateTime now = ClockNow();
  StrDesc date = DateFormat(StrFormat(8, "%04d%02d%02d", now.year, now.month, now.day), 2);
  StrDesc database = StrUnquote(ListItem(DynGet(0, 11), ',', 2));
  std::string folder = FsWorkingFolder();
  size_t cut = folder.find_last_of('\\');
  std::string last = cut == std::string::npos ? folder : folder.substr(cut + 1);
  StrDesc caption = StrFormat(384, " %s  |  %s  |  %s %s |  %s  ", StrCstr(shown), StrCstr(date),
                              StrCstr(database), last.c_str(), "www.quillontally.example");
  return TempKeep(mark, caption);
}

void PaintTextPanel(UiWindow window, StrDesc text) {
  if (!UiIsWindow(window) || StrCheck(text) != 0) return;
  UiRect client = UiGetClientRect(window);
  UiPaintBegin(window);
  UiFillRect(window, client, 0x808080);
  UiDrawText(window, client, StrView(text), 0xFFFFFF, ShellFont(), kUiTextCenter | kUiTextVCenter);
}

// ---------------------------------------------------------------------------
// The selection pop-up

namespace {

constexpr int kFirstButtonId = 1500;
constexpr int kLastButtonId = 1699;
constexpr int kFirstListId = 3350;
constexpr int kLastListId = 3499;

struct Selection {
  UiWindow window = 0;        // the window the choices live in
  bool own_window = false;    // a pop-up made for the selection
  UiWndProc previous = nullptr;  // the host window's procedure when borrowed
  std::vector<UiWindow> controls;
  UiWindow list = 0;
  bool done = false;
  Selection* outer = nullptr;  // the selection running when this one began
};

Selection* g_sel = nullptr;

void Choose(int number) {
  SetIntegerVar(kSysStat, static_cast<int16_t>(number));
  if (g_sel) g_sel->done = true;
  UiPostQuitMessage(0);
}

int FocusedButtonIndex() {
  if (!g_sel) return -1;
  UiWindow focus = UiGetFocus();
  for (size_t i = 0; i < g_sel->controls.size(); ++i) {
    if (g_sel->controls[i] == focus) return static_cast<int>(i);
  }
  return -1;
}

// Keys reach the focused control; the selection's keys are handled here.
bool SelectionKey(uint32_t key) {
  if (!g_sel) return false;
  int n = static_cast<int>(g_sel->controls.size());
  switch (key) {
    case kUiVkReturn: {
      if (g_sel->list) {
        int sel = UiListGetSel(g_sel->list);
        if (sel >= 0) Choose(sel + 1);
        return true;
      }
      int at = FocusedButtonIndex();
      if (at >= 0) Choose(at + 1);
      return true;
    }
    case kUiVkEscape:
      if (g_sel->own_window) UiPostMessage(g_sel->window, kUiMsgClose, 0, 0);
      Choose(0);
      return true;
    case kUiVkUp:
    case kUiVkDown: {
      if (g_sel->list || n == 0) return false;
      int at = FocusedButtonIndex();
      if (at < 0) at = key == kUiVkDown ? -1 : 0;
      at = key == kUiVkDown ? (at + 1) % n : (at - 1 + n) % n;
      UiSetFocus(g_sel->controls[static_cast<size_t>(at)]);
      return true;
    }
    default:
      return false;
  }
}

bool SelectionCommand(uintptr_t wparam) {
  int id = UiLoWord(wparam);
  int code = UiHiWord(wparam);
  if (id >= kFirstButtonId && id <= kLastButtonId && code == kUiBnClicked) {
    Choose(id - kFirstButtonId + 1);
    return true;
  }
  if (id >= kFirstListId && id <= kLastListId && code == kUiLbnDblClk && g_sel && g_sel->list) {
    int sel = UiListGetSel(g_sel->list);
    if (sel >= 0) Choose(sel + 1);
    return true;
  }
  return false;
}

UiWndProc g_control_previous[2] = {nullptr, nullptr};  // button, list box

intptr_t ControlProc(UiWindow w, uint32_t msg, uintptr_t wparam, intptr_t lparam, int kind) {
  if (msg == kUiMsgKeyDown && SelectionKey(static_cast<uint32_t>(wparam))) return 0;
  return UiCallWindowProc(g_control_previous[kind], w, msg, wparam, lparam);
}
intptr_t ButtonProc(UiWindow w, uint32_t msg, uintptr_t wp, intptr_t lp) {
  return ControlProc(w, msg, wp, lp, 0);
}
intptr_t ListProc(UiWindow w, uint32_t msg, uintptr_t wp, intptr_t lp) {
  return ControlProc(w, msg, wp, lp, 1);
}

intptr_t PopupProc(UiWindow w, uint32_t msg, uintptr_t wparam, intptr_t lparam) {
  switch (msg) {
    case kUiMsgCommand:
      if (SelectionCommand(wparam)) return 0;
      break;
    case kUiMsgKeyDown:
      if (SelectionKey(static_cast<uint32_t>(wparam))) return 0;
      break;
    case kUiMsgDestroy: {
      UiWindow owner = UiGetOwner(w);
      WindowUnregister(w);
      if (owner) EnableAndFocus(owner);
      return 0;
    }
    default:
      break;
  }
  return UiDefWindowProc(w, msg, wparam, lparam);
}

// A borrowed host window hears the running selection's commands first; the
// rest goes to the procedure the window had before it was first borrowed (a
// selection that borrowed it again found this one there).
intptr_t HostProc(UiWindow w, uint32_t msg, uintptr_t wparam, intptr_t lparam) {
  for (Selection* s = g_sel; s != nullptr; s = s->outer) {
    if (s->own_window || s->window != w) continue;
    if (s == g_sel && msg == kUiMsgCommand && SelectionCommand(wparam)) return 0;
    if (s == g_sel && msg == kUiMsgKeyDown && SelectionKey(static_cast<uint32_t>(wparam))) {
      return 0;
    }
    if (s->previous != HostProc) return UiCallWindowProc(s->previous, w, msg, wparam, lparam);
  }
  return UiDefWindowProc(w, msg, wparam, lparam);
}

std::string TranscriptLine(StrDesc title, StrDesc choices, uint16_t result) {
  return "select " + UiTranscriptQuote(StrView(title)) + " " + UiTranscriptQuote(StrView(choices)) +
         " -> " + std::to_string(result);
}

}  // namespace

uint16_t SelectFromList(StrDesc title, StrDesc choices, int flags, int x, int y) {
  if (StrCheck(title) != 0 || title.len == 0) return 0xFFFF;
  if (StrCheck(choices) != 0 || choices.len == 0) {
    UiTranscript(TranscriptLine(title, Lit(""), 0));
    return 0;
  }
  TempMarkValue mark = TempMark();
  uint16_t count = ListCount(choices, ',');
  int longest = 0;
  for (uint16_t i = 1; i <= count; ++i) {
    longest = std::max<int>(longest, StrUnquote(ListItem(choices, ',', i)).len);
  }
  int cw = CharWidth();
  int ch = CharHeight();
  int item_width = (longest + 5) * cw;
  UiRect area = ScreenArea();
  bool as_list = (flags & 2) != 0;

  Selection sel;
  Selection* outer = g_sel;
  sel.outer = outer;
  g_sel = &sel;
  // Layout: a list box as high as its items (at most the screen), or a grid
  // of two-row buttons in as many columns as the screen needs.
  int columns = 1;
  int rows = count;
  int button_height = 2 * ch;
  if (!as_list) {
    int usable = std::max(area.Height() - 2 * ch, button_height);
    while (rows * button_height > usable && (columns + 1) * item_width <= area.Width()) {
      ++columns;
      rows = (count + columns - 1) / columns;
    }
    while (rows * button_height > usable && button_height > 3 * ch / 2) {
      button_height -= 1;
    }
  }
  int item_height = std::max(1, ch - 3);
  int client_w = as_list ? item_width : columns * item_width;
  int client_h = as_list ? std::min<int>(count * item_height + 4, area.Height() - 2 * ch)
                         : rows * button_height;

  if (flags & 1) {
    // A pop-up of its own, with caption and border, over the top window.
    std::string cls(StrView(title));
    sel.window = WindowCreate(cls.c_str(), title, kUiWsPopup | kUiWsCaption | kUiWsBorder |
                                                      kUiWsSysMenu | 0x80,
                              kUiDefault, kUiDefault, client_w, client_h, 0, PopupProc);
    sel.own_window = sel.window != 0;
    if (sel.window) {
      if (UiGetWindowProc(sel.window) != PopupProc) UiSetWindowProc(sel.window, PopupProc);
      int px = x, py = y;
      UiWindow focus = UiGetFocus();
      if (px == kUiDefault && (flags & 4) && focus) {
        UiRect fr = UiGetWindowRect(focus);
        px = fr.left + (fr.Width() - client_w) / 2;
        py = fr.bottom;
      }
      WindowPlace(sel.window, px, py, client_w, client_h, 0, 0);
    }
  } else {
    sel.window = WindowTop();
    if (sel.window) sel.previous = UiSetWindowProc(sel.window, HostProc);
  }
  if (!sel.window) {
    g_sel = outer;
    TempRelease(mark);
    return 0;
  }

  UiRect client = UiGetClientRect(sel.window);
  if (as_list) {
    UiCreateParams p;
    p.class_name = "LISTBOX";
    p.style = kUiWsChild | kUiWsVisible | kUiWsVScroll | kUiLbsNotify;
    p.x = 0;
    p.y = 0;
    p.width = std::min(client_w, std::max(client.Width(), item_width));
    p.height = std::max(client_h, client.Height());
    p.parent = sel.window;
    p.id = kFirstListId;
    sel.list = UiCreateWindow(p);
    if (sel.list) {
      UiListSetItemHeight(sel.list, item_height);
      for (uint16_t i = 1; i <= count; ++i) {
        UiListAdd(sel.list, StrView(StrUnquote(ListItem(choices, ',', i))));
      }
      UiListSetSel(sel.list, 0);
      g_control_previous[1] = UiSetWindowProc(sel.list, ListProc);
      sel.controls.push_back(sel.list);
      UiSetFocus(sel.list);
    }
  } else {
    for (uint16_t i = 0; i < count; ++i) {
      UiCreateParams p;
      p.class_name = "BUTTON";
      p.text = StrView(StrUnquote(ListItem(choices, ',', static_cast<uint16_t>(i + 1))));
      p.style = kUiWsChild | kUiWsVisible | kUiWsTabStop | kUiBsPushButton;
      p.x = (i % columns) * item_width;
      p.y = (i / columns) * button_height;
      p.width = item_width;
      p.height = button_height;
      p.parent = sel.window;
      p.id = kFirstButtonId + i;
      UiWindow b = UiCreateWindow(p);
      if (!b) continue;
      UiWndProc prev = UiSetWindowProc(b, ButtonProc);
      if (prev != ButtonProc) g_control_previous[0] = prev;
      sel.controls.push_back(b);
    }
    if (!sel.controls.empty()) UiSetFocus(sel.controls.front());
  }

  SetIntegerVar(kSysStat, 0);
  MessageLoop(sel.window);
  uint16_t result = static_cast<uint16_t>(IntegerVar(kSysStat));

  if (sel.own_window) {
    if (UiIsWindow(sel.window)) UiDestroyWindow(sel.window);
  } else {
    for (UiWindow c : sel.controls) UiDestroyWindow(c);
    if (UiIsWindow(sel.window)) {
      UiSetWindowProc(sel.window, sel.previous);
      EnableAndFocus(sel.window);
    }
  }
  g_sel = outer;
  UiTranscript(TranscriptLine(title, choices, result));
  TempRelease(mark);
  return result;
}
