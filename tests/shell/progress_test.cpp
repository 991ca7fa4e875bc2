// The progress pop-up: the answers without a UI, showing and removing it,
// the Stop button pressed by the UI script, sessions that show it after half
// a second, and the look at its messages that leaves everything else alone.
#include "shell/progress.h"

#include <gtest/gtest.h>

#include <string>

#include "core/dyn_strings.h"
#include "core/status.h"
#include "platform/clock.h"
#include "platform/ui.h"
#include "shell/window_stack.h"
#include "support/runtime_fixture.h"
#include "support/test_dirs.h"

namespace {

class ProgressTest : public RuntimeTest {
 protected:
  void SetUp() override {
    RuntimeTest::SetUp();
    dir_ = qtest::MakeTempDir("progress");
    ClockSetFakeMonotonic(10000);
  }
  void TearDown() override {
    ProgressReset();
    UiShutdown();
    WindowStackReset();
    ClockReset();
    qtest::RemoveTree(dir_);
    RuntimeTest::TearDown();
  }
  void StartUi(const std::string& script) {
    UiConfig config;
    config.backend = "headless";
    config.use_environment = false;
    config.script_text = script;
    config.transcript_path = dir_ + "/transcript.txt";
    ASSERT_TRUE(UiInitWith(config));
    WindowStackReset();
    SetFixedScreenSize(240, 294);
  }
  // A window the user works in, below the pop-up.
  UiWindow OpenForm() {
    UiCreateParams p;
    p.class_name = "ProgressTestForm";
    p.text = "form";
    p.style = kUiWsCaption | kUiWsVisible;
    p.x = 0, p.y = 0, p.width = 240, p.height = 294;
    UiRegisterClass("ProgressTestForm", nullptr, 0);
    return UiCreateWindow(p);
  }
  std::string Text(int id) { return UiGetText(UiGetDlgItem(ProgressWindow(), id)); }
  // Asks, kProgressPumpMs apart, until the answer is 122; the number of
  // answers asked for (0 when it never came).
  int StopTestsUntilStopped() {
    for (int n = 1; n <= 10; ++n) {
      if (ProgressPopUpCancel() == kStCancelled) return n;
      ClockAdvanceFake(kProgressPumpMs);
    }
    return 0;
  }
  std::string dir_;
};

TEST_F(ProgressTest, WithoutTheUiNothingShowsAndRunsGoOn) {
  EXPECT_EQ(ProgressPopUp(0xFFFF, 0), kStWindowsControl);
  EXPECT_EQ(ProgressPopUpCancel(), 0);
  EXPECT_EQ(ProgressStopTest(Lit("A001")), 0);
  ProgressBegin(Lit("P.PRC"));
  ClockAdvanceFake(5000);
  EXPECT_EQ(ProgressPopUpCancel(), 0);
  EXPECT_EQ(ProgressWindow(), 0u);
  ProgressEnd();
  ProgressPopUpClose();
  EXPECT_EQ(ProgressDepth(), 0);
}

TEST_F(ProgressTest, ShownOnRequestAboveTheFormWithoutTakingIt) {
  StartUi("");
  const UiWindow form = OpenForm();
  ASSERT_NE(form, 0u);
  ASSERT_EQ(UiGetActiveWindow(), form);
  EXPECT_EQ(ProgressPopUp(0xFFFF, 0), 0);
  const UiWindow popup = ProgressWindow();
  ASSERT_NE(popup, 0u);
  EXPECT_EQ(UiGetClassName(popup), kProgressClass);
  EXPECT_TRUE(UiGetExStyle(popup) & kUiWsExTopmost);
  EXPECT_EQ(UiGetTopWindow(), popup);
  EXPECT_EQ(UiGetActiveWindow(), form) << "the form keeps the activation";
  EXPECT_EQ(WindowTop(), 0u) << "not a window of the window stack";
  EXPECT_EQ(Text(100), "Imprimiendo");
  EXPECT_EQ(UiGetText(UiGetDlgItem(popup, kProgressStopId)), "Stop");
  const UiRect r = UiGetWindowRect(popup);
  EXPECT_GE(r.left, 0);
  EXPECT_LE(r.right, 240) << "inside the fixed screen";
  EXPECT_EQ(ProgressPopUp(0xFFFF, 0), 0) << "shown once";
  EXPECT_EQ(ProgressWindow(), popup);
  ProgressPopUpClose();
  EXPECT_EQ(ProgressWindow(), 0u);
  EXPECT_FALSE(UiIsWindow(popup));
  EXPECT_EQ(UiGetActiveWindow(), form);
}

TEST_F(ProgressTest, ShowsTheDataFileOfTheRun) {
  StartUi("");
  ASSERT_EQ(DynSet(1, 0, Lit("clientes")), 0);
  EXPECT_EQ(ProgressPopUp(1, 0), 0);
  EXPECT_EQ(Text(100), "clientes");
  ProgressPopUpClose();
  EXPECT_EQ(ProgressPopUp(7, 0), 0) << "a file without a name";
  EXPECT_EQ(Text(100), "Imprimiendo");
}

TEST_F(ProgressTest, StopPressedThroughTheScript) {
  // The script steps run when nothing else waits, so no other window here.
  StartUi("click Stop\n");
  ASSERT_EQ(ProgressPopUp(0xFFFF, 0), 0);
  // A step runs on the fourth look in a row that finds the queue empty.
  EXPECT_EQ(StopTestsUntilStopped(), 4);
  EXPECT_TRUE(ProgressStopRequested());
  EXPECT_EQ(ProgressPopUpCancel(), kStCancelled) << "the answer stays until the pop-up goes";
  ProgressPopUpClose();
  EXPECT_EQ(ProgressPopUpCancel(), 0);
  EXPECT_EQ(ProgressStopTest(Lit("")), 0);
}

TEST_F(ProgressTest, ProgressShownIsTheCurrentRecordOrTheTime) {
  StartUi("");
  ASSERT_EQ(ProgressPopUp(0xFFFF, 0), 0);
  EXPECT_EQ(ProgressStopTest(Lit("A001")), 0);
  EXPECT_EQ(Text(101), "A001");
  EXPECT_EQ(ProgressStopTest(Lit("A002")), 0);
  EXPECT_EQ(Text(101), "A001") << "looks are at least 50 ms apart";
  ClockAdvanceFake(kProgressPumpMs);
  EXPECT_EQ(ProgressStopTest(Lit("A002")), 0);
  EXPECT_EQ(Text(101), "A002");
  ProgressPopUpClose();

  ProgressBegin(Lit("CIERRE.PRC"));
  ClockAdvanceFake(61000);
  EXPECT_EQ(ProgressPopUpCancel(), 0);
  EXPECT_EQ(Text(100), "CIERRE.PRC");
  EXPECT_EQ(Text(101), "01:01");
  ProgressEnd();
}

TEST_F(ProgressTest, SessionsShowItAfterHalfASecond) {
  StartUi("");
  const UiWindow form = OpenForm();
  ProgressBegin(Lit("LARGO.PRC"));
  ProgressBegin(Lit("INNER"));  // nested: the outer session counts
  EXPECT_EQ(ProgressPopUpCancel(), 0);
  ClockAdvanceFake(kProgressDelayMs - 1);
  EXPECT_EQ(ProgressPopUpCancel(), 0);
  EXPECT_EQ(ProgressWindow(), 0u) << "not yet";
  ClockAdvanceFake(1);
  EXPECT_EQ(ProgressPopUpCancel(), 0);
  ASSERT_NE(ProgressWindow(), 0u);
  EXPECT_EQ(Text(100), "LARGO.PRC");
  EXPECT_EQ(UiGetActiveWindow(), form);
  ProgressEnd();
  EXPECT_NE(ProgressWindow(), 0u) << "the outer session goes on";
  ProgressEnd();
  EXPECT_EQ(ProgressWindow(), 0u) << "a pop-up shown by a session goes with it";
  EXPECT_EQ(ProgressDepth(), 0);
  // A session does not remove a pop-up it did not show.
  ASSERT_EQ(ProgressPopUp(0xFFFF, 0), 0);
  ProgressBegin(Lit("X"));
  ProgressEnd();
  EXPECT_NE(ProgressWindow(), 0u);
}

TEST_F(ProgressTest, StopInsideASessionLastsUntilItEnds) {
  StartUi("click Stop\n");
  ProgressBegin(Lit("P"));
  ClockAdvanceFake(kProgressDelayMs);
  EXPECT_EQ(StopTestsUntilStopped(), 4);
  // A report inside the run closes its own pop-up: the run still stops.
  ProgressPopUpClose();
  EXPECT_EQ(ProgressPopUpCancel(), kStCancelled);
  ProgressEnd();
  EXPECT_FALSE(ProgressStopRequested());
  ProgressBegin(Lit("Q"));
  EXPECT_EQ(ProgressPopUpCancel(), 0) << "a new run starts afresh";
  ProgressEnd();
}

TEST_F(ProgressTest, LookLeavesOtherMessagesAndQuitInTheQueue) {
  StartUi("");
  const UiWindow form = OpenForm();
  // Let the form's own paint go first.
  for (UiMessage m; UiPeekMessage(&m, form, true);)
    UiDispatchMessage(m);
  ASSERT_EQ(ProgressPopUp(0xFFFF, 0), 0);
  ASSERT_TRUE(UiPostMessage(form, kUiMsgUser + 1, 7, 0));
  UiPostQuitMessage(3);
  EXPECT_EQ(ProgressPopUpCancel(), 0);
  UiMessage m;
  ASSERT_TRUE(UiPeekMessage(&m, 0, true));
  EXPECT_EQ(m.window, form);
  EXPECT_EQ(m.message, kUiMsgUser + 1u);
  ASSERT_TRUE(UiPeekMessage(&m, 0, true));
  EXPECT_EQ(m.message, static_cast<uint32_t>(kUiMsgQuit));
  EXPECT_EQ(m.wparam, 3u);
}

TEST_F(ProgressTest, ClosingThePopUpAsksToStop) {
  StartUi("");
  ASSERT_EQ(ProgressPopUp(0xFFFF, 0), 0);
  const UiWindow popup = ProgressWindow();
  ASSERT_TRUE(UiPostMessage(popup, kUiMsgClose, 0, 0));
  EXPECT_EQ(ProgressPopUpCancel(), kStCancelled);
  EXPECT_TRUE(UiIsWindow(popup)) << "the run removes it when it ends";
  // Destroyed from outside (the UI going down): the module lets go of it.
  UiDestroyWindow(popup);
  EXPECT_EQ(ProgressWindow(), 0u);
  ProgressPopUpClose();
  EXPECT_EQ(ProgressPopUpCancel(), 0);
}

}  // namespace
