// The UI script: parsing a script file and feeding its steps to the queue
// when a polling loop finds nothing to do. The grammar and the transcript
// format are documented in README-ui-script.md.
#include "platform/ui_backend.h"

#include <algorithm>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/cp1252.h"
#include "platform/process.h"
#include "platform/ui.h"

namespace {

// A wait step gives up after this long when only timers could still change
// the top window.
constexpr uint64_t kWaitLimitMs = 10000;

enum class StepKind : uint8_t { kKey, kType, kClick, kAnswer, kClose, kWait, kScreenshot };

struct KeyStroke {
  uint32_t vk = 0;
  unsigned char typed = 0;  // the character the key types, 0: none
  bool extended = false;
  bool shift = false;
  bool ctrl = false;
};

struct Step {
  StepKind kind = StepKind::kKey;
  int line = 0;
  std::string source;           // the line as written (UTF-8), for error lines
  std::vector<KeyStroke> keys;  // key: one stroke; type: one per character
  std::string text;             // click label or wait caption (Windows-1252)
  int id = -1;                  // click #ID
  UiAnswer answer = UiAnswer::kNone;
  std::string path;  // screenshot file (native, UTF-8)
};

struct Script {
  std::string name;
  std::vector<Step> steps;
  size_t next = 0;
  bool ended = false;
  bool waiting = false;
  uint64_t wait_start = 0;
};

Script* g_script = nullptr;

// ---------------------------------------------------------------------------
// Parsing
// ---------------------------------------------------------------------------

struct NamedKey {
  const char* name;
  uint32_t vk;
  unsigned char typed;
  bool extended;
};

constexpr NamedKey kKeys[] = {
    {"Enter", kUiVkReturn, '\r', false},
    {"Return", kUiVkReturn, '\r', false},
    {"Escape", kUiVkEscape, 27, false},
    {"Esc", kUiVkEscape, 27, false},
    {"Tab", kUiVkTab, '\t', false},
    {"Space", kUiVkSpace, ' ', false},
    {"Backspace", kUiVkBack, '\b', false},
    {"Delete", kUiVkDelete, 0, true},
    {"Del", kUiVkDelete, 0, true},
    {"Insert", kUiVkInsert, 0, true},
    {"Up", kUiVkUp, 0, true},
    {"Down", kUiVkDown, 0, true},
    {"Left", kUiVkLeft, 0, true},
    {"Right", kUiVkRight, 0, true},
    {"PageUp", kUiVkPrior, 0, true},
    {"PgUp", kUiVkPrior, 0, true},
    {"PageDown", kUiVkNext, 0, true},
    {"PgDn", kUiVkNext, 0, true},
    {"Home", kUiVkHome, 0, true},
    {"End", kUiVkEnd, 0, true},
};

bool EqualsNoCase(std::string_view a, std::string_view b) {
  return Cp1252EqualNoCase(a, b);
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
    s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
    s.remove_suffix(1);
  return s;
}

// One key name with optional Shift+ and Ctrl+ prefixes.
bool ParseKey(std::string_view name, KeyStroke* out, std::string* error) {
  KeyStroke k;
  for (;;) {
    const size_t plus = name.find('+');
    if (plus == std::string_view::npos || plus + 1 == name.size()) break;
    const std::string_view mod = name.substr(0, plus);
    if (EqualsNoCase(mod, "Shift")) {
      k.shift = true;
    } else if (EqualsNoCase(mod, "Ctrl") || EqualsNoCase(mod, "Control")) {
      k.ctrl = true;
    } else {
      *error = "unknown modifier \"" + std::string(mod) + "\"";
      return false;
    }
    name.remove_prefix(plus + 1);
  }
  bool found = false;
  for (const NamedKey& n : kKeys) {
    if (EqualsNoCase(name, n.name)) {
      k.vk = n.vk, k.typed = n.typed, k.extended = n.extended;
      found = true;
      break;
    }
  }
  if (!found && name.size() >= 2 && (name[0] == 'F' || name[0] == 'f')) {
    int n = 0;
    bool digits = true;
    for (char c : name.substr(1)) {
      if (c < '0' || c > '9') digits = false;
      n = n * 10 + (c - '0');
    }
    if (digits && n >= 1 && n <= 12) {
      k.vk = kUiVkF1 + static_cast<uint32_t>(n - 1);
      found = true;
    }
  }
  if (!found && name.size() == 1) {
    const char c = name[0];
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) {
      k.vk = static_cast<uint32_t>(Cp1252Upper(c));
      k.typed = static_cast<unsigned char>(k.shift ? Cp1252Upper(c) : Cp1252Lower(c));
      found = true;
    } else if (c >= '0' && c <= '9') {
      static const char kShifted[] = ")!@#$%^&*(";
      k.vk = static_cast<uint32_t>(c);
      k.typed = static_cast<unsigned char>(k.shift ? kShifted[c - '0'] : c);
      found = true;
    }
  }
  if (!found) {
    *error = "unknown key \"" + std::string(name) + "\"";
    return false;
  }
  if (k.ctrl) {
    // Control with a letter types its control character; other keys nothing.
    k.typed = (k.vk >= 'A' && k.vk <= 'Z') ? static_cast<unsigned char>(k.vk - 'A' + 1) : 0;
  } else if (k.shift && k.vk == kUiVkTab) {
    k.typed = '\t';
  }
  *out = k;
  return true;
}

// The argument of a step: a double-quoted text with escapes (\\ \" \r \n \t
// \xHH, the last a Windows-1252 byte), or the rest of the line as written.
// The result is UTF-8.
bool ParseArgument(std::string_view arg, std::string* out, std::string* error) {
  out->clear();
  if (arg.size() < 2 || arg.front() != '"') {
    *out = std::string(arg);
    return true;
  }
  if (arg.back() != '"') {
    *error = "missing closing double quote";
    return false;
  }
  arg = arg.substr(1, arg.size() - 2);
  for (size_t i = 0; i < arg.size(); ++i) {
    if (arg[i] != '\\') {
      *out += arg[i];
      continue;
    }
    if (++i >= arg.size()) {
      *error = "backslash at the end of the text";
      return false;
    }
    switch (arg[i]) {
      case '\\':
        *out += '\\';
        break;
      case '"':
        *out += '"';
        break;
      case 'r':
        *out += '\r';
        break;
      case 'n':
        *out += '\n';
        break;
      case 't':
        *out += '\t';
        break;
      case 'x': {
        auto hex = [](char c) {
          if (c >= '0' && c <= '9') return c - '0';
          if (c >= 'a' && c <= 'f') return c - 'a' + 10;
          if (c >= 'A' && c <= 'F') return c - 'A' + 10;
          return -1;
        };
        if (i + 2 >= arg.size() || hex(arg[i + 1]) < 0 || hex(arg[i + 2]) < 0) {
          *error = "\\x needs two hexadecimal digits";
          return false;
        }
        // A Windows-1252 byte, carried as its UTF-8 form so that the whole
        // argument converts in one go.
        const int byte = hex(arg[i + 1]) * 16 + hex(arg[i + 2]);
        *out += Cp1252ToUtf8(std::string(1, static_cast<char>(byte)));
        i += 2;
        break;
      }
      default:
        *error = std::string("unknown escape \\") + arg[i];
        return false;
    }
  }
  return true;
}

// The key stroke that types one Windows-1252 byte.
KeyStroke StrokeFor(unsigned char c) {
  KeyStroke k;
  k.typed = c;
  if (c >= 'a' && c <= 'z') {
    k.vk = c - 'a' + 'A';
  } else if ((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) {
    k.vk = c;
  } else if (c == ' ') {
    k.vk = kUiVkSpace;
  } else if (c == '\r') {
    k.vk = kUiVkReturn;
  } else if (c == '\t') {
    k.vk = kUiVkTab;
  } else if (c == '\b') {
    k.vk = kUiVkBack;
  } else if (c == 27) {
    k.vk = kUiVkEscape;
  } else {
    k.vk = kUiVkPacket;
  }
  return k;
}

bool ParseStep(std::string_view line, Step* step, std::string* error) {
  const size_t blank = line.find_first_of(" \t");
  const std::string_view word = line.substr(0, blank);
  const std::string_view rest =
      blank == std::string_view::npos ? std::string_view() : Trim(line.substr(blank));
  std::string arg;
  auto need_arg = [&](const char* what) {
    if (rest.empty()) {
      *error = std::string(word) + " needs " + what;
      return false;
    }
    return ParseArgument(rest, &arg, error);
  };
  auto to_cp1252 = [&](std::string* out) {
    if (!Utf8ToCp1252(arg, out)) {
      *error = "text holds characters Windows-1252 cannot represent";
      return false;
    }
    return true;
  };
  if (EqualsNoCase(word, "key")) {
    step->kind = StepKind::kKey;
    if (!need_arg("a key name")) return false;
    KeyStroke k;
    if (!ParseKey(arg, &k, error)) return false;
    step->keys.push_back(k);
    return true;
  }
  if (EqualsNoCase(word, "type")) {
    step->kind = StepKind::kType;
    if (!need_arg("a text")) return false;
    std::string text;
    if (!to_cp1252(&text)) return false;
    for (char c : text)
      step->keys.push_back(StrokeFor(static_cast<unsigned char>(c)));
    return true;
  }
  if (EqualsNoCase(word, "click")) {
    step->kind = StepKind::kClick;
    if (rest.size() >= 2 && rest[0] == '#' &&
        std::all_of(rest.begin() + 1, rest.end(), [](char c) { return c >= '0' && c <= '9'; })) {
      step->id = std::stoi(std::string(rest.substr(1)));
      return true;
    }
    if (!need_arg("a label or #ID")) return false;
    return to_cp1252(&step->text);
  }
  if (EqualsNoCase(word, "answer")) {
    step->kind = StepKind::kAnswer;
    if (!need_arg("OK, Cancel, Yes, No or Retry")) return false;
    static const std::pair<const char*, UiAnswer> kWords[] = {
        {"OK", UiAnswer::kOk}, {"Cancel", UiAnswer::kCancel}, {"Yes", UiAnswer::kYes},
        {"No", UiAnswer::kNo}, {"Retry", UiAnswer::kRetry},
    };
    for (const auto& [name, answer] : kWords) {
      if (EqualsNoCase(arg, name)) step->answer = answer;
    }
    if (step->answer == UiAnswer::kNone) {
      *error = "answer must be OK, Cancel, Yes, No or Retry";
      return false;
    }
    return true;
  }
  if (EqualsNoCase(word, "close")) {
    step->kind = StepKind::kClose;
    if (!rest.empty()) {
      *error = "close takes no argument";
      return false;
    }
    return true;
  }
  if (EqualsNoCase(word, "wait")) {
    step->kind = StepKind::kWait;
    if (!need_arg("a caption")) return false;
    return to_cp1252(&step->text);
  }
  if (EqualsNoCase(word, "screenshot")) {
    step->kind = StepKind::kScreenshot;
    if (!need_arg("a file name")) return false;
    step->path = arg;
    return true;
  }
  *error = "unknown step \"" + std::string(word) + "\"";
  return false;
}

// ---------------------------------------------------------------------------
// Running
// ---------------------------------------------------------------------------

void Fail(const Step* step, const std::string& reason_cp1252) {
  const int line = step ? step->line : 0;
  const std::string source = step ? Utf8ToCp1252Lossy(step->source) : std::string();
  UiTranscript("script-error " + std::to_string(line) + " " + UiTranscriptQuote(source) + " " +
               UiTranscriptQuote(reason_cp1252));
  ProcessDiagnostic("quillon: UI script " + Utf8ToCp1252Lossy(g_script ? g_script->name : "") +
                    ":" + std::to_string(line) + ": " + reason_cp1252);
  if (g_script) g_script->ended = true;
}

void PostStroke(const KeyStroke& k) {
  auto key = [&](uint32_t msg, uint32_t vk, unsigned char typed, bool ext) {
    UiPostInput(UiMessage{0, msg, vk, UiKeyLparam(typed, ext, msg == kUiMsgKeyUp), 0}, true);
  };
  if (k.ctrl) key(kUiMsgKeyDown, kUiVkControl, 0, false);
  if (k.shift) key(kUiMsgKeyDown, kUiVkShift, 0, false);
  key(kUiMsgKeyDown, k.vk, k.typed, k.extended);
  key(kUiMsgKeyUp, k.vk, 0, k.extended);
  if (k.shift) key(kUiMsgKeyUp, kUiVkShift, 0, false);
  if (k.ctrl) key(kUiMsgKeyUp, kUiVkControl, 0, false);
}

void PostMouse(UiWindow w, uint32_t msg, int x, int y) {
  UiPostInput(UiMessage{w, msg, 0, UiMakeLparam(x, y), 0}, false);
}

void PostClick(UiWindow w, int x, int y, bool twice) {
  PostMouse(w, kUiMsgLButtonDown, x, y);
  PostMouse(w, kUiMsgLButtonUp, x, y);
  if (twice) {
    PostMouse(w, kUiMsgLButtonDblClk, x, y);
    PostMouse(w, kUiMsgLButtonUp, x, y);
  }
}

// Collects the visible controls below a window, depth first.
void Controls(UiWindow w, std::vector<UiWindow>* out) {
  for (UiWindow c : UiGetChildren(w)) {
    if (!UiIsVisible(c)) continue;
    out->push_back(c);
    Controls(c, out);
  }
}

std::string TopDescription(UiWindow top) {
  return UiGetClassName(top) + " " + UiTranscriptQuote(UiGetText(top));
}

// Double-clicks item `index` of a list box, scrolling it into view first.
void ClickListItem(UiWindow list, int index) {
  const int item_h = std::max(1, UiListGetItemHeight(list));
  const int rows = std::max(1, UiGetClientRect(list).bottom / item_h);
  if (index < UiListGetTopIndex(list)) UiListSetTopIndex(list, index);
  if (index >= UiListGetTopIndex(list) + rows) UiListSetTopIndex(list, index - rows + 1);
  const int y = (index - UiListGetTopIndex(list)) * item_h + item_h / 2;
  PostClick(list, 2, y, true);
}

bool RunClick(const Step& s) {
  const UiWindow top = UiGetTopWindow();
  if (top == 0) {
    Fail(&s, "no window is open");
    return false;
  }
  std::vector<UiWindow> controls;
  Controls(top, &controls);
  UiWindow target = 0;
  int list_item = -1;
  if (s.id >= 0) {
    for (UiWindow c : controls) {
      if (UiGetDlgCtrlId(c) == s.id) {
        target = c;
        break;
      }
    }
    if (target != 0 && UiKindOf(target) == UiKind::kListBox && UiListCount(target) > 0) {
      list_item = std::max(0, UiListGetSel(target));
    }
  } else {
    for (UiWindow c : controls) {
      if (UiKindOf(c) == UiKind::kButton && UiLabelMatches(UiGetText(c), s.text)) {
        target = c;
        break;
      }
    }
    for (size_t i = 0; target == 0 && i < controls.size(); ++i) {
      if (UiKindOf(controls[i]) != UiKind::kListBox) continue;
      for (int k = 0; k < UiListCount(controls[i]); ++k) {
        if (UiLabelMatches(UiListText(controls[i], k), s.text)) {
          target = controls[i];
          list_item = k;
          break;
        }
      }
    }
    for (size_t i = 0; target == 0 && i < controls.size(); ++i) {
      const UiKind kind = UiKindOf(controls[i]);
      if (kind != UiKind::kButton && kind != UiKind::kListBox &&
          UiLabelMatches(UiGetText(controls[i]), s.text)) {
        target = controls[i];
      }
    }
  }
  if (target == 0) {
    const std::string what = s.id >= 0 ? "#" + std::to_string(s.id) : UiTranscriptQuote(s.text);
    Fail(&s, "no control " + what + " in the top window " + TopDescription(top));
    return false;
  }
  if (!UiIsEnabled(target)) {
    Fail(&s, "the control is disabled");
    return false;
  }
  if (list_item >= 0) {
    ClickListItem(target, list_item);
    return true;
  }
  const UiRect c = UiGetClientRect(target);
  int x = c.right / 2, y = c.bottom / 2;
  if (UiKindOf(target) == UiKind::kEdit) {
    // Into the text's end, as a user placing the caret after what is there.
    const int cell = std::max(1, UiGetTextMetrics(UiGetFont(target)).average_width);
    x = std::min(std::max(0, c.right - 1), static_cast<int>(UiGetText(target).size()) * cell);
  }
  PostClick(target, x, y, false);
  return true;
}

enum class Outcome : uint8_t { kPosted, kDone, kWaiting, kFailed };

Outcome RunStep(Step& s) {
  switch (s.kind) {
    case StepKind::kKey:
    case StepKind::kType:
      if (UiGetFocus() == 0 && UiGetActiveWindow() == 0) {
        Fail(&s, "no window takes keyboard input");
        return Outcome::kFailed;
      }
      for (const KeyStroke& k : s.keys)
        PostStroke(k);
      return s.keys.empty() ? Outcome::kDone : Outcome::kPosted;
    case StepKind::kClick:
      return RunClick(s) ? Outcome::kPosted : Outcome::kFailed;
    case StepKind::kAnswer:
      Fail(&s, "no message box is open");
      return Outcome::kFailed;
    case StepKind::kClose: {
      const UiWindow top = UiGetTopWindow();
      if (top == 0) {
        Fail(&s, "no window is open");
        return Outcome::kFailed;
      }
      if (!(UiGetStyle(top) & kUiWsSysMenu)) {
        Fail(&s, "the top window " + TopDescription(top) + " has no close box");
        return Outcome::kFailed;
      }
      UiPostInput(UiMessage{top, kUiMsgClose, 0, 0, 0}, false);
      return Outcome::kPosted;
    }
    case StepKind::kWait: {
      const UiWindow top = UiGetTopWindow();
      std::string caption = UiGetText(top);
      std::string wanted = s.text;
      for (char& c : caption)
        c = Cp1252Upper(c);
      for (char& c : wanted)
        c = Cp1252Upper(c);
      if (top != 0 && caption.find(wanted) != std::string::npos) {
        g_script->waiting = false;
        return Outcome::kDone;
      }
      const uint64_t now = ClockMonotonicMs();
      if (!g_script->waiting) {
        g_script->waiting = true;
        g_script->wait_start = now;
      }
      const int64_t delay = UiNextTimerDelay();
      const uint64_t spent = now - g_script->wait_start;
      if (delay < 0 || spent >= kWaitLimitMs) {
        const std::string seen = top ? TopDescription(top) : std::string("no window");
        Fail(&s, std::string(delay < 0 ? "nothing left to wait for" : "gave up after 10 s") +
                     "; the top window is " + seen);
        return Outcome::kFailed;
      }
      ClockSleepMs(static_cast<uint32_t>(
          std::min<uint64_t>(static_cast<uint64_t>(delay), kWaitLimitMs - spent)));
      return Outcome::kWaiting;
    }
    case StepKind::kScreenshot: {
      if (!UiCurrentBackend().screenshot(s.path)) {
        Fail(&s, "cannot write " + Utf8ToCp1252Lossy(s.path));
        return Outcome::kFailed;
      }
      return Outcome::kDone;
    }
  }
  return Outcome::kDone;
}

}  // namespace

bool UiLabelMatches(std::string_view caption, std::string_view label) {
  std::string plain;
  for (size_t i = 0; i < caption.size(); ++i) {
    if (caption[i] == '&') {
      if (i + 1 < caption.size() && caption[i + 1] == '&') plain += '&', ++i;
      continue;
    }
    plain += caption[i];
  }
  return Cp1252EqualNoCase(Trim(plain), Trim(label));
}

bool UiScriptLoad(std::string_view text, std::string_view name) {
  UiScriptClear();
  g_script = new Script;
  g_script->name = std::string(name);
  if (text.size() >= 3 && text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  int line_no = 0;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view raw = text.substr(start, end - start);
    start = end + 1;
    ++line_no;
    const std::string_view line = Trim(raw);
    if (line.empty() || line[0] == '#') continue;
    Step step;
    step.line = line_no;
    step.source = std::string(line);
    std::string error;
    if (!ParseStep(line, &step, &error)) {
      g_script->steps.clear();
      Fail(&step, error);
      return false;
    }
    g_script->steps.push_back(std::move(step));
  }
  return true;
}

void UiScriptClear() {
  delete g_script;
  g_script = nullptr;
}

bool UiScriptActive() {
  return g_script != nullptr && !g_script->ended;
}

UiScriptRun UiScriptRunSteps() {
  while (UiScriptActive()) {
    if (g_script->next >= g_script->steps.size()) {
      g_script->ended = true;
      break;
    }
    Step& s = g_script->steps[g_script->next];
    const Outcome o = RunStep(s);
    if (o == Outcome::kWaiting) return UiScriptRun::kWaiting;
    if (o == Outcome::kFailed) break;
    ++g_script->next;
    if (o == Outcome::kPosted) return UiScriptRun::kPosted;
  }
  return UiScriptRun::kEnded;
}

UiAnswer UiScriptTakeAnswer(UiMsgBoxButtons buttons, UiAnswer default_answer) {
  if (!UiScriptActive() || g_script->next >= g_script->steps.size()) return default_answer;
  Step& s = g_script->steps[g_script->next];
  if (s.kind != StepKind::kAnswer) return default_answer;
  ++g_script->next;
  static const UiAnswer kOffered[5][3] = {
      {UiAnswer::kOk, UiAnswer::kNone, UiAnswer::kNone},
      {UiAnswer::kOk, UiAnswer::kCancel, UiAnswer::kNone},
      {UiAnswer::kRetry, UiAnswer::kCancel, UiAnswer::kNone},
      {UiAnswer::kYes, UiAnswer::kNo, UiAnswer::kNone},
      {UiAnswer::kYes, UiAnswer::kNo, UiAnswer::kCancel},
  };
  for (UiAnswer a : kOffered[static_cast<int>(buttons)]) {
    if (a == s.answer) return a;
  }
  Fail(&s, "the message box has no such button");
  return default_answer;
}

void UiScriptReportUnused() {
  if (g_script == nullptr || g_script->ended) return;
  for (size_t i = g_script->next; i < g_script->steps.size(); ++i) {
    const Step& s = g_script->steps[i];
    UiTranscript("script-error " + std::to_string(s.line) + " " +
                 UiTranscriptQuote(Utf8ToCp1252Lossy(s.source)) + " " +
                 UiTranscriptQuote("not run: the program ended first"));
  }
}
