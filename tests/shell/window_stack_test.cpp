// The window stack: registry order, enabling and focus, placement on the
// fixed screen, key codes, the loops and the selection pop-up driven by a UI
// script.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "core/dyn_strings.h"
#include "core/temp_stack.h"
#include "language/variables.h"
#include "platform/clock.h"
#include "platform/ui.h"
#include "shell/window_stack.h"
#include "support/runtime_fixture.h"
#include "support/test_dirs.h"

using qtest::S;

namespace {

class WindowStackTest : public RuntimeTest {
 protected:
  void StartUi(const std::string& script) {
    UiShutdown();
    UiConfig config;
    config.backend = "headless";
    config.use_environment = false;
    config.script_text = script;
    transcript_ = dir_ + "/transcript.txt";
    config.transcript_path = transcript_;
    ASSERT_TRUE(UiInitWith(config));
    WindowStackReset();
    SetFixedScreenSize(240, 294);
  }
  void SetUp() override {
    RuntimeTest::SetUp();
    dir_ = qtest::MakeTempDir("winstack");
    StartUi("");
  }
  void TearDown() override {
    UiShutdown();
    WindowStackReset();
    qtest::RemoveTree(dir_);
    RuntimeTest::TearDown();
  }
  UiWindow Open(const char* title, uint32_t style = 0) {
    return WindowCreate("TestWin", Lit(title), kUiWsCaption | kUiWsSysMenu | kUiWsVisible | style, kUiDefault,
                        kUiDefault, 100, 80, 0, TestProc);
  }
  static intptr_t TestProc(UiWindow w, uint32_t msg, uintptr_t wp, intptr_t lp) {
    if (msg == kUiMsgDestroy) WindowUnregister(w);
    return UiDefWindowProc(w, msg, wp, lp);
  }
  std::string dir_;
  std::string transcript_;
};

TEST_F(WindowStackTest, ClosingTopReenablesAndFocusesTheOneBelow) {
  EXPECT_EQ(WindowTop(), 0u);
  UiWindow first = Open("first");
  ASSERT_NE(first, 0u);
  UiWindow second = Open("second", 0x80);  // modal: disables the one below
  ASSERT_NE(second, 0u);
  EXPECT_EQ(WindowTop(), second);
  EXPECT_EQ(UiGetOwner(second), first);
  EXPECT_FALSE(UiIsEnabled(first));
  EXPECT_EQ(WindowValue(second), -1);
  UiDestroyWindow(second);
  EXPECT_EQ(WindowTop(), first);
  EXPECT_TRUE(UiIsEnabled(first));
  EXPECT_EQ(UiGetFocus(), first);
  EXPECT_EQ(WindowUnregister(first), 1) << "no window remains";
}

TEST_F(WindowStackTest, RegistryHolds32AndReRegisteringMovesToTop) {
  for (UiWindow h = 1; h <= kWindowSlots; ++h) ASSERT_EQ(WindowRegister(h * 1000, 0), h * 1000);
  EXPECT_EQ(WindowRegister(999999, 0), 0u) << "the 33rd window is refused";
  EXPECT_EQ(WindowRegister(5000, 7), 5000u);
  EXPECT_EQ(WindowTop(), 5000u);
  EXPECT_EQ(WindowValue(5000), 7);
  // Taking one out of the middle keeps the rest in order.
  EXPECT_EQ(WindowUnregister(2000), 0);
  EXPECT_EQ(WindowTop(), 5000u);
  EXPECT_EQ(WindowUnregister(5000), 0);
  EXPECT_EQ(WindowTop(), 32000u);
  EXPECT_EQ(WindowValue(2000), -1);
  WindowStackReset();
}

TEST_F(WindowStackTest, KeyCodes) {
  struct Case {
    uint32_t vk;
    int code;
  } cases[] = {{13, 0}, {9, 9}, {27, 3}, {112, 11}, {113, 12}, {122, 21}, {123, 4}, {38, 22},
               {33, 23}, {37, 4}, {39, 4}, {40, 28}, {34, 29}, {239, 6}, {65, 4}};
  for (const Case& c : cases) EXPECT_EQ(KeyCode(c.vk), c.code) << c.vk;
}

TEST_F(WindowStackTest, WindowLargerThanScreenGoesToOrigin) {
  UiWindow w = Open("big");
  WindowPlace(w, kUiDefault, kUiDefault, 400, 500, 0, 0);
  UiRect r = UiGetWindowRect(w);
  EXPECT_EQ(r.left, 0);
  EXPECT_EQ(r.top, 0);
  WindowPlace(w, kUiDefault, kUiDefault, 100, 80, 0, 0);
  r = UiGetWindowRect(w);
  EXPECT_EQ(r.left, (240 - r.Width()) / 2) << "centred";
  EXPECT_GE(r.top, 0);
  EXPECT_LE(r.bottom, 294);
  WindowPlace(w, 200, 250, 100, 80, 0, 0);
  r = UiGetWindowRect(w);
  EXPECT_EQ(r.right, 240) << "moved back inside";
  EXPECT_EQ(r.bottom, 294);
  WindowPlace(w, kUiDefault, kUiDefault, 100, 80, 300, 80);
  EXPECT_TRUE(UiGetStyle(w) & kUiWsHScroll);
  EXPECT_FALSE(UiGetStyle(w) & kUiWsVScroll);
  int lo = -1, hi = -1;
  UiGetScrollRange(w, kUiSbHorz, &lo, &hi);
  EXPECT_EQ(lo, 0);
  EXPECT_EQ(hi, 200);
}

TEST_F(WindowStackTest, OffsetOfTheFirstWindowAndUnderTheRunOption) {
  struct Case {
    const char* name;
    int fixed_width, fixed_height;
    bool run_option;  // flag 8 of _SCRSTAT
    int windows;      // the placed one is the last
    bool offset;
  } cases[] = {
      {"terminal, first window", 240, 294, false, 1, false},
      {"terminal, second window", 240, 294, false, 2, false},
      {"terminal, run option", 240, 294, true, 1, true},
      {"terminal, run option, second window", 240, 294, true, 2, true},
      {"desktop, first window", 0, 0, false, 1, true},
      {"desktop, second window", 0, 0, false, 2, false},
      {"desktop, run option, second window", 0, 0, true, 2, true},
      {"a width alone is no fixed screen", 240, 0, false, 1, true},
  };
  for (const Case& c : cases) {
    SetFixedScreenSize(c.fixed_width, c.fixed_height);
    ASSERT_EQ(SetBits(kSysScrStat, 8, c.run_option), c.run_option);
    UiWindow w = 0;
    for (int i = 0; i < c.windows; ++i)
      w = Open("w");
    ASSERT_NE(w, 0u);
    WindowPlace(w, kUiDefault, kUiDefault, 100, 80, 0, 0);
    UiRect r = UiGetWindowRect(w);
    UiRect area = ScreenArea();
    int x = area.left + (area.Width() - r.Width()) / 2;
    int y = area.top + (area.Height() - r.Height()) / 2;
    if (c.offset) {
      x = std::min(x + 100, area.right - r.Width());
      y = std::min(y + 60, area.bottom - r.Height());
    }
    EXPECT_EQ(r.left, x) << c.name;
    EXPECT_EQ(r.top, y) << c.name;
    while (WindowTop() != 0)
      UiDestroyWindow(WindowTop());
  }
  SetBits(kSysScrStat, 8, false);
}

TEST_F(WindowStackTest, SelectionByButtonsAndKeys) {
  struct Case {
    const char* name;
    const char* script;
    uint16_t expected;
  } cases[] = {
      {"click second", "click No\n", 2},
      {"escape", "key Escape\n", 0},
      {"down then enter", "key Down\nkey Enter\n", 2},
      {"up wraps to last", "key Up\nkey Enter\n", 3},
      {"down wraps to first", "key Down\nkey Down\nkey Down\nkey Enter\n", 1},
      {"script runs out", "", 0},
  };
  for (const Case& c : cases) {
    StartUi(c.script);
    UiWindow base = Open("menu");
    ASSERT_NE(base, 0u);
    EXPECT_EQ(SelectFromList(Lit("Escoja"), Lit("Si,No,Quiz\xE1s"), 1), c.expected) << c.name;
    EXPECT_EQ(WindowTop(), base) << c.name << ": the pop-up is gone";
    EXPECT_TRUE(UiIsEnabled(base)) << c.name;
    UiDestroyWindow(base);
  }
}

TEST_F(WindowStackTest, SelectionInListBox) {
  StartUi("key Down\nkey Enter\n");
  Open("menu");
  EXPECT_EQ(SelectFromList(Lit("Lista"), Lit("'a,b',c,d"), 3), 2);
  std::string t = qtest::ReadFile(transcript_);
  EXPECT_NE(t.find("select \"Lista\" \"'a,b',c,d\" -> 2"), std::string::npos) << t;
}

// The window a selection borrows keeps its own procedure; a second selection
// borrowing it from inside the first (here for a message the window gets)
// must chain to that procedure, not to itself.
intptr_t g_inner_result = -1;
intptr_t HostProc(UiWindow w, uint32_t msg, uintptr_t wp, intptr_t lp) {
  if (msg == kUiMsgUser) {
    g_inner_result = SelectFromList(Lit("Inner"), Lit("x,y"), 0);
    return 0;
  }
  if (msg == kUiMsgDestroy) WindowUnregister(w);
  return UiDefWindowProc(w, msg, wp, lp);
}

TEST_F(WindowStackTest, NestedSelectionsOnOneBorrowedWindow) {
  StartUi("click y\nclick b\n");
  UiWindow host = WindowCreate("Host", Lit("host"), kUiWsCaption | kUiWsVisible, kUiDefault,
                               kUiDefault, 100, 80, 0, HostProc);
  ASSERT_NE(host, 0u);
  ASSERT_TRUE(UiPostMessage(host, kUiMsgUser, 0, 0));
  g_inner_result = -1;
  EXPECT_EQ(SelectFromList(Lit("Outer"), Lit("a,b"), 0), 2);
  EXPECT_EQ(g_inner_result, 2);
  EXPECT_EQ(UiGetWindowProc(host), HostProc) << "the window's procedure is back";
  EXPECT_TRUE(UiGetChildren(host).empty()) << "both selections took their buttons away";
  UiDestroyWindow(host);
}

TEST_F(WindowStackTest, SelectionEdgeArguments) {
  EXPECT_EQ(SelectFromList(Lit(""), Lit("a,b"), 1), 0xFFFF);
  EXPECT_EQ(SelectFromList(Lit("t"), Lit(""), 1), 0);
}

TEST_F(WindowStackTest, QuitEndsOnlyTheInnermostLoop) {
  // Each exhausted poll gives one quit: the inner loop ends, the outer loop
  // gets its own quit afterwards; nothing hangs.
  UiWindow outer = Open("outer");
  UiWindow inner = Open("inner");
  MessageLoop(inner);
  EXPECT_EQ(WindowTop(), inner) << "ended by the quit, not by closing";
  UiDestroyWindow(inner);
  MessageLoop(0);
  EXPECT_EQ(WindowTop(), outer);
}

TEST_F(WindowStackTest, LoopEndsWhenItsWindowIsClosed) {
  StartUi("close\n");
  UiWindow outer = Open("outer");
  UiWindow inner = Open("inner");
  MessageLoop(inner);
  EXPECT_FALSE(UiIsWindow(inner));
  EXPECT_EQ(WindowTop(), outer);
}

TEST_F(WindowStackTest, CaptionAndTexts) {
  UiWindow w = Open("uno");
  WindowSetCaption(w, Lit("dos"));
  EXPECT_EQ(UiGetText(w), "dos");
  UiSetText(w, "tres   ");
  EXPECT_EQ(S(WindowGetText(w, -1)), "tres");
  EXPECT_EQ(S(WindowGetText(w, 2)), "tr");
  DynSet(0, 3, Lit("Quillon Tally"));
  DynSet(0, 11, Lit("srv,'ventas',usr,pw"));
  std::string caption = S(MainCaption(Lit("")));
  EXPECT_EQ(caption.rfind(" Quillon Tally  |  ", 0), 0u) << caption;
  EXPECT_NE(caption.find("  |  ventas "), std::string::npos) << caption;
  EXPECT_EQ(StrCheck(MainCaption(StrError(146))), 146) << "an error descriptor passes through";
}

TEST_F(WindowStackTest, CaptionDateFollowsTheLanguage) {
  ASSERT_TRUE(ClockSetFakeNow("20240517093005"));
  struct Case {
    const char* language;
    const char* date;
  } cases[] = {
      {"ES", "17-05-2024"}, {"IT", "17-05-2024"}, {"EN", "05-17-2024"}, {"DE", "05-17-2024"}};
  for (const Case& c : cases) {
    ASSERT_EQ(DynSet(0, 4, StrFromCstr(c.language)), 0);
    std::string caption = S(MainCaption(Lit("Pedidos")));
    EXPECT_EQ(caption.rfind(" Pedidos  |  " + std::string(c.date) + "  |  ", 0), 0u)
        << c.language << ": " << caption;
  }
  ClockReset();
}

TEST_F(WindowStackTest, TextPanelPaintsCentredText) {
  UiWindow w = Open("panel");
  PaintTextPanel(w, Lit("Reorganizando"));
  auto texts = UiPaintedTexts(w);
  ASSERT_EQ(texts.size(), 1u);
  EXPECT_EQ(texts[0], "Reorganizando");
}

}  // namespace
