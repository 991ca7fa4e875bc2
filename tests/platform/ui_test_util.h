// Shared pieces of the UI tests: a fixture that brings the headless UI up with
// a transcript in a temporary folder and a frozen monotonic clock, a window
// class that records the messages it gets, and a polling loop like the
// runtime's.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/ui.h"
#include "support/test_dirs.h"

namespace uitest {

struct Event {
  UiWindow window;
  uint32_t message;
  uintptr_t wparam;
  intptr_t lparam;
};

// Messages seen by windows of the class "Rec" (and by the recording
// subclasses of the tests), in order.
inline std::vector<Event>& Log() {
  static std::vector<Event> log;
  return log;
}

inline intptr_t RecordingProc(UiWindow w, uint32_t msg, uintptr_t wp, intptr_t lp) {
  Log().push_back(Event{w, msg, wp, lp});
  return UiDefWindowProc(w, msg, wp, lp);
}

// Procedures replaced by Record, by window.
inline std::map<UiWindow, UiWndProc>& Previous() {
  static std::map<UiWindow, UiWndProc> previous;
  return previous;
}

inline intptr_t RecordingSubclass(UiWindow w, uint32_t msg, uintptr_t wp, intptr_t lp) {
  Log().push_back(Event{w, msg, wp, lp});
  return UiCallWindowProc(Previous()[w], w, msg, wp, lp);
}

// Subclasses a window (a built-in control, say) so that its messages are
// logged too.
inline void Record(UiWindow w) {
  Previous()[w] = UiSetWindowProc(w, RecordingSubclass);
}

// The messages of the log with a given number, for one window (0: any).
inline std::vector<Event> Seen(uint32_t message, UiWindow w = 0) {
  std::vector<Event> out;
  for (const Event& e : Log()) {
    if (e.message == message && (w == 0 || e.window == w)) out.push_back(e);
  }
  return out;
}

// Polls of an empty queue before the input source runs (see ui.h).
constexpr int kIdlePolls = 4;

// Takes the next message the way a waiting loop does: polling the whole queue
// until something comes (at most the polls it takes for the input source).
inline bool Take(UiMessage* m) {
  for (int i = 0; i < kIdlePolls; ++i) {
    if (UiPeekMessage(m, 0, true)) return true;
  }
  return false;
}

// A polling loop as the runtime runs it: dispatches until a quit message (0)
// or, when `until_gone` is given, until that window no longer exists (1).
inline int RunLoop(UiWindow until_gone = 0, int max_polls = 100000) {
  UiMessage m;
  for (int i = 0; i < max_polls; ++i) {
    if (until_gone != 0 && !UiIsWindow(until_gone)) return 1;
    if (!UiPeekMessage(&m, 0, true)) continue;
    if (m.message == kUiMsgQuit) return 0;
    UiTranslateMessage(m);
    UiDispatchMessage(m);
  }
  return -1;  // the loop would have hung
}

class UiTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Log().clear();
    Previous().clear();
    ClockSetFakeMonotonic(1000000);
    dir_ = qtest::MakeTempDir("ui");
    ASSERT_FALSE(dir_.empty());
    transcript_ = dir_ + "/transcript.txt";
    Start("");
  }
  void TearDown() override {
    UiShutdown();
    ClockReset();
    qtest::RemoveTree(dir_);
  }

  // (Re)starts the UI with a script text.
  void Start(const std::string& script) {
    UiShutdown();
    UiConfig c;
    c.backend = "headless";
    c.use_environment = false;
    c.transcript_path = transcript_;
    c.script_text = script;
    ASSERT_TRUE(UiInitWith(c));
    ASSERT_TRUE(UiRegisterClass("Rec", RecordingProc, 0));
  }

  // The transcript's lines so far.
  std::vector<std::string> Transcript() const {
    std::vector<std::string> lines;
    std::istringstream in(qtest::ReadFile(transcript_));
    for (std::string line; std::getline(in, line);)
      lines.push_back(line);
    return lines;
  }

  UiWindow TopLevel(const std::string& caption, UiWindow owner = 0, bool visible = true,
                    uint32_t extra_style = 0) {
    UiCreateParams p;
    p.class_name = "Rec";
    p.text = caption;
    p.style = kUiWsCaption | kUiWsSysMenu | extra_style | (visible ? kUiWsVisible : 0);
    p.x = 10, p.y = 10, p.width = 200, p.height = 150;
    p.parent = owner;
    return UiCreateWindow(p);
  }

  UiWindow Control(UiWindow parent, const char* cls, const std::string& text, int id,
                   uint32_t style = 0, int x = 5, int y = 5, int width = 80, int height = 20) {
    UiCreateParams p;
    p.class_name = cls;
    p.text = text;
    p.style = kUiWsChild | kUiWsVisible | style;
    p.x = x, p.y = y, p.width = width, p.height = height;
    p.parent = parent;
    p.id = id;
    return UiCreateWindow(p);
  }

  std::string dir_;
  std::string transcript_;
};

}  // namespace uitest
