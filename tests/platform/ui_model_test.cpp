// The window model: creation and destruction, owners, enabling, activation
// and focus, subclassing, the queue (send, post, peek, quit), timers, paint,
// geometry and fonts.
#include <gtest/gtest.h>

#include <algorithm>

#include "platform/ui.h"
#include "platform/ui_backend.h"
#include "ui_test_util.h"

namespace {

using uitest::Event;
using uitest::Log;
using uitest::RunLoop;
using uitest::Seen;
using uitest::Take;

class UiModel : public uitest::UiTest {
 protected:
  // Takes the paint messages of newly shown windows, and the quit that the
  // empty queue then gives.
  static void DrainPaint() {
    UiMessage m;
    while (UiPeekMessage(&m, 0, false) && m.message == kUiMsgPaint)
      UiPeekMessage(&m, 0, true);
    UiDiscardMessages();
  }
};

// ---------------------------------------------------------------------------
// Creation, destruction, owners
// ---------------------------------------------------------------------------

TEST_F(UiModel, CreateFailsForUnknownClassesOrMissingParents) {
  UiCreateParams p;
  p.class_name = "NoSuchClass";
  EXPECT_EQ(UiCreateWindow(p), 0u);
  p.class_name = "EDIT";
  p.style = kUiWsChild;
  p.parent = 999;
  EXPECT_EQ(UiCreateWindow(p), 0u);
  EXPECT_FALSE(UiRegisterClass("rec", nullptr, 0));  // names compare without case
  EXPECT_TRUE(UiClassInfo("edit", nullptr));
}

intptr_t RefuseCreate(UiWindow w, uint32_t msg, uintptr_t wp, intptr_t lp) {
  if (msg == kUiMsgCreate) return -1;
  return UiDefWindowProc(w, msg, wp, lp);
}

TEST_F(UiModel, AWindowProcedureCanRefuseCreation) {
  ASSERT_TRUE(UiRegisterClass("Refuser", RefuseCreate, 0));
  UiCreateParams p;
  p.class_name = "Refuser";
  p.style = kUiWsVisible;
  EXPECT_EQ(UiCreateWindow(p), 0u);
  EXPECT_TRUE(UiGetTopLevelWindows().empty());
  EXPECT_EQ(UiGetActiveWindow(), 0u);
}

TEST_F(UiModel, DestroyReachesTheWindowThenItsChildrenAndKillsEverything) {
  const UiWindow top = TopLevel("Main");
  const UiWindow panel = Control(top, "Rec", "", 10);
  const UiWindow inner = Control(panel, "Rec", "", 11);
  ASSERT_TRUE(UiSetTimer(inner, 7, 100));
  ASSERT_TRUE(UiPostMessage(panel, kUiMsgUser, 0, 0));
  EXPECT_EQ(UiFindControl(top, 11), inner);
  EXPECT_EQ(UiGetDlgItem(top, 11), 0u);  // not a direct child
  EXPECT_EQ(UiGetDlgItem(panel, 11), inner);
  Log().clear();
  ASSERT_TRUE(UiDestroyWindow(top));
  const std::vector<Event> destroyed = Seen(kUiMsgDestroy);
  ASSERT_EQ(destroyed.size(), 3u);
  EXPECT_EQ(destroyed[0].window, top);
  EXPECT_EQ(destroyed[1].window, panel);
  EXPECT_EQ(destroyed[2].window, inner);
  for (UiWindow w : {top, panel, inner})
    EXPECT_FALSE(UiIsWindow(w));
  EXPECT_FALSE(UiDestroyWindow(top));
  EXPECT_FALSE(UiPostMessage(top, kUiMsgUser, 0, 0));
  EXPECT_EQ(UiSendMessage(top, kUiMsgUser, 0, 0), 0);
  EXPECT_EQ(UiNextTimerDelay(), -1);  // its timers are gone
  UiMessage m;
  ASSERT_TRUE(Take(&m));
  EXPECT_EQ(m.message, kUiMsgQuit);  // its queued message is gone: nothing left
  const UiWindow again = TopLevel("Next");
  EXPECT_GT(again, inner);  // handles are not reused
}

TEST_F(UiModel, OwnedWindowsDieWithTheirOwnerAndStayAboveIt) {
  const UiWindow main = TopLevel("Main");
  const UiWindow dialog = TopLevel("Dialog", main);
  const UiWindow other = TopLevel("Other");
  EXPECT_EQ(UiGetOwner(dialog), main);
  EXPECT_EQ(UiGetTopWindow(), other);
  UiSetActiveWindow(main);  // the owner comes up with the window it owns
  EXPECT_EQ(UiGetTopLevelWindows(), (std::vector<UiWindow>{other, main, dialog}));
  EXPECT_EQ(UiGetTopWindow(), dialog);
  Log().clear();
  UiDestroyWindow(main);
  EXPECT_FALSE(UiIsWindow(dialog));
  const std::vector<Event> destroyed = Seen(kUiMsgDestroy);
  ASSERT_EQ(destroyed.size(), 2u);
  EXPECT_EQ(destroyed[0].window, dialog);  // owned windows first
  EXPECT_EQ(UiGetActiveWindow(), other);
}

TEST_F(UiModel, TopmostWindowsStayAboveTheOthers) {
  const UiWindow panel = TopLevel("Progress", 0, true, 0);
  UiSetExStyle(panel, kUiWsExTopmost);
  const UiWindow form = TopLevel("Form");
  EXPECT_EQ(UiGetTopLevelWindows(), (std::vector<UiWindow>{form, panel}));
  EXPECT_EQ(UiGetTopWindow(), panel);
  UiShowWindow(panel, kUiSwHide);
  EXPECT_EQ(UiGetTopWindow(), form);  // hidden windows are not on top
}

// ---------------------------------------------------------------------------
// Enabling, activation, focus
// ---------------------------------------------------------------------------

TEST_F(UiModel, ShowingAWindowActivatesItAndGivesItTheFocus) {
  const UiWindow a = TopLevel("A");
  EXPECT_EQ(UiGetActiveWindow(), a);
  EXPECT_EQ(UiGetFocus(), a);
  Log().clear();
  const UiWindow b = TopLevel("B", a);
  ASSERT_EQ(UiGetActiveWindow(), b);
  const std::vector<Event> act = Seen(kUiMsgActivate);
  ASSERT_EQ(act.size(), 2u);
  EXPECT_EQ(act[0].window, a);
  EXPECT_EQ(act[0].wparam, 0u);
  EXPECT_EQ(act[1].window, b);
  EXPECT_EQ(act[1].wparam, 1u);
  EXPECT_EQ(Seen(kUiMsgKillFocus, a).size(), 1u);
  ASSERT_EQ(Seen(kUiMsgSetFocus, b).size(), 1u);
  EXPECT_EQ(Seen(kUiMsgSetFocus, b)[0].wparam, a);  // from the window losing it
  const UiWindow hidden = TopLevel("Hidden", 0, false);
  EXPECT_EQ(UiGetActiveWindow(), b);
  EXPECT_FALSE(UiIsVisible(hidden));
}

TEST_F(UiModel, ClosingAModalWindowLeavesTheDisabledOwnerWithoutFocusUntilEnabled) {
  const UiWindow main = TopLevel("Main");
  const UiWindow field = Control(main, "EDIT", "", 2000);
  ASSERT_EQ(UiSetFocus(field), main);
  UiEnableWindow(main, false);
  EXPECT_EQ(UiGetFocus(), 0u);  // disabling took the focus away
  const UiWindow modal = TopLevel("Modal", main);
  const UiWindow ok = Control(modal, "BUTTON", "Ok", 3100);
  UiSetFocus(ok);
  EXPECT_EQ(UiSetFocus(field), 0u);  // a control of a disabled window takes no focus
  EXPECT_EQ(UiGetFocus(), ok);
  UiDestroyWindow(modal);
  EXPECT_EQ(UiGetActiveWindow(), 0u);  // the disabled owner is not activated
  EXPECT_EQ(UiGetFocus(), 0u);
  EXPECT_TRUE(UiEnableWindow(main, true) == false);
  Log().clear();
  UiSetFocus(main);
  EXPECT_EQ(UiGetActiveWindow(), main);
  EXPECT_EQ(UiGetFocus(), main);
  EXPECT_EQ(Seen(kUiMsgEnable).size(), 0u);  // already enabled: no message
}

TEST_F(UiModel, ClosingAWindowReactivatesAnEnabledOwner) {
  const UiWindow main = TopLevel("Main");
  const UiWindow dialog = TopLevel("Dialog", main);
  const UiWindow edit = Control(dialog, "EDIT", "x", 2000);
  UiSetFocus(edit);
  Log().clear();
  UiSendMessage(dialog, kUiMsgClose, 0, 0);  // the default procedure destroys it
  EXPECT_FALSE(UiIsWindow(dialog));
  EXPECT_EQ(UiGetActiveWindow(), main);
  EXPECT_EQ(UiGetFocus(), main);
  EXPECT_EQ(Seen(kUiMsgSetFocus, main).size(), 1u);
}

TEST_F(UiModel, FocusMovesWithKillThenSetAndActivatesTheTarget) {
  const UiWindow a = TopLevel("A");
  const UiWindow a1 = Control(a, "Rec", "", 1);
  const UiWindow b = TopLevel("B");
  const UiWindow b1 = Control(b, "Rec", "", 2);
  UiSetFocus(b1);
  Log().clear();
  EXPECT_EQ(UiSetFocus(a1), b1);
  EXPECT_EQ(UiGetActiveWindow(), a);
  EXPECT_EQ(UiGetFocus(), a1);
  // The order: deactivate B, activate A (its default procedure focuses A),
  // then the focus goes on from A to its control.
  std::vector<std::pair<UiWindow, uint32_t>> order;
  for (const Event& e : Log()) {
    if (e.message == kUiMsgActivate || e.message == kUiMsgSetFocus ||
        e.message == kUiMsgKillFocus) {
      order.emplace_back(e.window, e.message);
    }
  }
  const std::vector<std::pair<UiWindow, uint32_t>> expected = {
      {b, kUiMsgActivate}, {a, kUiMsgActivate},  {b1, kUiMsgKillFocus},
      {a, kUiMsgSetFocus}, {a, kUiMsgKillFocus}, {a1, kUiMsgSetFocus}};
  EXPECT_EQ(order, expected);
  EXPECT_EQ(UiSetFocus(a1), a1);  // again: nothing changes
  UiShowWindow(a1, kUiSwHide);    // hiding a focused child gives the focus to its parent
  EXPECT_EQ(UiGetFocus(), a);
  EXPECT_EQ(UiSetFocus(0), a);
  EXPECT_EQ(UiGetFocus(), 0u);
}

TEST_F(UiModel, EnablingIsInheritedFromAncestors) {
  const UiWindow top = TopLevel("T");
  const UiWindow child = Control(top, "BUTTON", "b", 1);
  EXPECT_TRUE(UiIsEnabled(child));
  EXPECT_TRUE(UiEnableWindow(top, false));
  EXPECT_FALSE(UiIsEnabled(child));
  EXPECT_FALSE(UiEnableWindow(top, false));
  ASSERT_EQ(Seen(kUiMsgEnable, top).size(), 1u);
  EXPECT_EQ(Seen(kUiMsgEnable, top)[0].wparam, 0u);
  UiEnableWindow(top, true);
  EXPECT_TRUE(UiIsEnabled(child));
}

// ---------------------------------------------------------------------------
// Procedures and subclassing
// ---------------------------------------------------------------------------

UiWndProc g_prev_a = nullptr;
UiWndProc g_prev_b = nullptr;
std::vector<std::string> g_calls;

intptr_t SubA(UiWindow w, uint32_t msg, uintptr_t wp, intptr_t lp) {
  if (msg == kUiMsgUser) g_calls.push_back("A");
  if (msg == kUiMsgUser && wp == 1) return 42;  // swallowed here
  return UiCallWindowProc(g_prev_a, w, msg, wp, lp);
}

intptr_t SubB(UiWindow w, uint32_t msg, uintptr_t wp, intptr_t lp) {
  if (msg == kUiMsgUser) g_calls.push_back("B");
  return UiCallWindowProc(g_prev_b, w, msg, wp, lp);
}

TEST_F(UiModel, SubclassesChainToThePreviousProcedure) {
  const UiWindow w = TopLevel("W");
  g_calls.clear();
  g_prev_a = UiSetWindowProc(w, SubA);
  EXPECT_EQ(g_prev_a, uitest::RecordingProc);
  g_prev_b = UiSetWindowProc(w, SubB);
  EXPECT_EQ(g_prev_b, SubA);
  Log().clear();
  UiSendMessage(w, kUiMsgUser, 0, 0);
  EXPECT_EQ(g_calls, (std::vector<std::string>{"B", "A"}));
  EXPECT_EQ(Seen(kUiMsgUser).size(), 1u);  // reached the class procedure
  g_calls.clear();
  EXPECT_EQ(UiSendMessage(w, kUiMsgUser, 1, 0), 42);
  EXPECT_EQ(g_calls, (std::vector<std::string>{"B", "A"}));
  EXPECT_EQ(Seen(kUiMsgUser).size(), 1u);         // not passed on
  EXPECT_EQ(UiSetWindowProc(w, g_prev_b), SubB);  // unhook B
  g_calls.clear();
  UiSendMessage(w, kUiMsgUser, 0, 0);
  EXPECT_EQ(g_calls, (std::vector<std::string>{"A"}));
  EXPECT_EQ(UiSetWindowProc(999, SubA), nullptr);
  // The built-in classes can be subclassed the same way.
  const UiWindow edit = Control(w, "EDIT", "", 2000);
  UiWndProc edit_proc = nullptr;
  ASSERT_TRUE(UiClassInfo("EDIT", &edit_proc));
  EXPECT_EQ(UiGetWindowProc(edit), edit_proc);
}

// ---------------------------------------------------------------------------
// The queue
// ---------------------------------------------------------------------------

TEST_F(UiModel, SendRunsNowAndPostWaitsForThePump) {
  const UiWindow w = TopLevel("W");
  UiMessage m;
  DrainPaint();
  Log().clear();
  ASSERT_TRUE(UiPostMessage(w, kUiMsgUser + 1, 5, 6));
  UiSendMessage(w, kUiMsgUser + 2, 0, 0);
  ASSERT_EQ(Log().size(), 1u);
  EXPECT_EQ(Log()[0].message, kUiMsgUser + 2u);
  ASSERT_TRUE(UiPeekMessage(&m, 0, false));  // a look leaves it queued
  ASSERT_TRUE(UiPeekMessage(&m, 0, true));
  EXPECT_EQ(m.window, w);
  EXPECT_EQ(m.message, kUiMsgUser + 1u);
  EXPECT_EQ(m.wparam, 5u);
  EXPECT_EQ(m.lparam, 6);
  EXPECT_EQ(Log().size(), 1u);  // taken, not yet dispatched
  UiDispatchMessage(m);
  EXPECT_EQ(Log().size(), 2u);
}

TEST_F(UiModel, PeekFiltersByWindowAndItsChildren) {
  const UiWindow a = TopLevel("A");
  const UiWindow a1 = Control(a, "Rec", "", 1);
  const UiWindow b = TopLevel("B");
  UiMessage m;
  DrainPaint();
  UiPostMessage(b, kUiMsgUser, 1, 0);
  UiPostMessage(a1, kUiMsgUser, 2, 0);
  UiPostMessage(0, kUiMsgUser, 3, 0);  // a thread message
  ASSERT_TRUE(UiPeekMessage(&m, a, true));
  EXPECT_EQ(m.wparam, 2u);                   // the child's message matches its parent's filter
  EXPECT_FALSE(UiPeekMessage(&m, a, true));  // others' messages wait: no quit, no step
  ASSERT_TRUE(UiPeekMessage(&m, 0, true));
  EXPECT_EQ(m.wparam, 1u);
  ASSERT_TRUE(UiPeekMessage(&m, 0, true));
  EXPECT_EQ(m.window, 0u);
  EXPECT_EQ(m.wparam, 3u);
}

TEST_F(UiModel, PostedMessagesComeBeforeInputAndCharactersBeforeKeyUp) {
  const UiWindow w = TopLevel("W");
  UiMessage m;
  DrainPaint();
  UiPostInput(UiMessage{0, kUiMsgKeyDown, 'A', UiKeyLparam('a', false, false), 0}, true);
  UiPostInput(UiMessage{0, kUiMsgKeyUp, 'A', UiKeyLparam(0, false, true), 0}, true);
  UiPostMessage(w, kUiMsgUser, 0, 0);
  std::vector<uint32_t> order;
  for (int i = 0; i < 4 && UiPeekMessage(&m, 0, true); ++i) {
    order.push_back(m.message);
    if (m.message == kUiMsgKeyDown) {
      EXPECT_TRUE(UiKeyState('A'));
    }
    UiTranslateMessage(m);
  }
  EXPECT_EQ(order, (std::vector<uint32_t>{kUiMsgUser, kUiMsgKeyDown, kUiMsgChar, kUiMsgKeyUp}));
  EXPECT_FALSE(UiKeyState('A'));
}

TEST_F(UiModel, KeyboardInputGoesToTheFocusWhenItArrives) {
  const UiWindow w = TopLevel("W");
  const UiWindow f1 = Control(w, "Rec", "", 1);
  const UiWindow f2 = Control(w, "Rec", "", 2);
  UiSetFocus(f1);
  UiPostInput(UiMessage{0, kUiMsgKeyDown, kUiVkTab, 0, 0}, true);
  UiPostInput(UiMessage{0, kUiMsgKeyUp, kUiVkTab, 0, 0}, true);
  UiMessage m;
  do {
    ASSERT_TRUE(UiPeekMessage(&m, 0, true));
  } while (m.message != kUiMsgKeyDown);
  EXPECT_EQ(m.window, f1);
  UiSetFocus(f2);  // the key-down moved the focus on
  ASSERT_TRUE(UiPeekMessage(&m, 0, true));
  EXPECT_EQ(m.message, kUiMsgKeyUp);
  EXPECT_EQ(m.window, f2);
}

TEST_F(UiModel, AQuitEndsOnlyTheInnermostLoop) {
  // An outer loop runs a nested modal loop; the quit posted for the inner
  // loop ends it, and the outer loop carries on with what comes next.
  const UiWindow w = TopLevel("W");
  UiMessage m;
  UiPostMessage(w, kUiMsgUser, 1, 0);
  int inner_quits = 0, outer_saw_three = 0, outer_quits = 0;
  for (int polls = 0; polls < 100; ++polls) {
    if (!UiPeekMessage(&m, 0, true)) continue;
    if (m.message == kUiMsgQuit) {
      ++outer_quits;
      break;
    }
    if (m.message == kUiMsgUser && m.wparam == 1) {
      UiPostQuitMessage(0);
      UiPostMessage(w, kUiMsgUser, 2, 0);  // posted messages come before the quit
      for (int inner = 0; inner < 100; ++inner) {
        if (!UiPeekMessage(&m, 0, true)) continue;
        if (m.message == kUiMsgQuit) {
          ++inner_quits;
          break;
        }
        UiDispatchMessage(m);
      }
      UiPostMessage(w, kUiMsgUser, 3, 0);
      continue;
    }
    if (m.message == kUiMsgUser && m.wparam == 3) ++outer_saw_three;
  }
  EXPECT_EQ(inner_quits, 1);
  EXPECT_EQ(outer_saw_three, 1);  // the quit was not seen twice
  EXPECT_EQ(outer_quits, 1);      // the outer loop ended when input ran out
  ASSERT_EQ(Seen(kUiMsgUser, w).size(), 1u);
  EXPECT_EQ(Seen(kUiMsgUser, w)[0].wparam, 2u);  // dispatched by the inner loop
}

TEST_F(UiModel, InputComesOnlyWhenALoopKeepsFindingTheQueueEmpty) {
  Start("key Enter\n");
  TopLevel("W");
  UiMessage m;
  ASSERT_TRUE(UiPeekMessage(&m, 0, true));
  EXPECT_EQ(m.message, kUiMsgPaint);
  for (int i = 1; i < uitest::kIdlePolls; ++i)
    EXPECT_FALSE(UiPeekMessage(&m, 0, true)) << i;
  for (int i = 0; i < 10; ++i)
    EXPECT_FALSE(UiPeekMessage(&m, 1, true));  // filtered: no step
  ASSERT_TRUE(UiPeekMessage(&m, 0, false));    // the step runs; a look leaves its message
  EXPECT_EQ(m.message, kUiMsgKeyDown);
  ASSERT_TRUE(UiPeekMessage(&m, 0, true));
  ASSERT_TRUE(UiPeekMessage(&m, 0, true));
  EXPECT_EQ(m.message, kUiMsgKeyUp);
  // The script is exhausted: the same rhythm, with a quit each time.
  for (int round = 0; round < 3; ++round) {
    for (int i = 1; i < uitest::kIdlePolls; ++i)
      EXPECT_FALSE(UiPeekMessage(&m, 0, true));
    ASSERT_TRUE(UiPeekMessage(&m, 0, false));  // a look does not take the quit
    EXPECT_EQ(m.message, kUiMsgQuit);
    ASSERT_TRUE(UiPeekMessage(&m, 12345, true));  // a pending quit reaches filtered loops too
    EXPECT_EQ(m.message, kUiMsgQuit);
  }
  EXPECT_EQ(RunLoop(), 0);
  EXPECT_EQ(RunLoop(), 0);
}

TEST_F(UiModel, AFilteredLoopThatSpinsCannotHang) {
  Start("key Enter\n");
  const UiWindow w = TopLevel("W");
  UiMessage m;
  int polls = 0;
  while (polls < 1000000) {
    ++polls;
    if (UiPeekMessage(&m, w, true) && m.message == kUiMsgQuit) break;
  }
  EXPECT_LT(polls, 1000000);
}

// The runtime's modal loop: pump everything waiting, check that its window is
// still on top, and after the loop drain what is left. Between the modal loop
// and the main loop the caller runs a filtered pump of a progress panel. The
// next step must reach the main loop, not any of the pumps on the way.
TEST_F(UiModel, TheNextStepWaitsUntilTheProgramIsBackInAWaitingLoop) {
  Start("close\nkey Enter\n");
  const UiWindow main = TopLevel("Main");
  const UiWindow modal = TopLevel("Modal", main);
  UiMessage m;
  auto pump = [&](UiWindow filter) {
    bool quit = false;
    while (UiPeekMessage(&m, filter, true)) {
      if (m.message == kUiMsgQuit) {
        quit = true;
        break;
      }
      UiTranslateMessage(m);
      UiDispatchMessage(m);
    }
    return quit;
  };
  for (int i = 0; i < 20 && UiIsWindow(modal); ++i) {
    if (pump(0)) break;
  }
  EXPECT_FALSE(UiIsWindow(modal));
  pump(0);                                   // the modal loop's final drain
  pump(main);                                // a progress panel's pump
  EXPECT_TRUE(Seen(kUiMsgKeyDown).empty());  // Enter is still to come
  for (int i = 0; i < 20 && Seen(kUiMsgKeyDown).empty(); ++i)
    pump(0);  // the main loop
  ASSERT_EQ(Seen(kUiMsgKeyDown).size(), 1u);
  EXPECT_EQ(Seen(kUiMsgKeyDown)[0].window, main);
}

TEST_F(UiModel, DiscardDropsMessagesWithoutRunningTheScript) {
  Start("key Enter\n");
  const UiWindow w = TopLevel("W");
  UiPostMessage(w, kUiMsgUser, 0, 0);
  UiPostQuitMessage(3);
  UiDiscardMessages();
  UiMessage m;
  // Only the paint of the new window is left; then the script's Enter.
  ASSERT_TRUE(Take(&m));
  EXPECT_EQ(m.message, kUiMsgPaint);
  ASSERT_TRUE(Take(&m));
  EXPECT_EQ(m.message, kUiMsgKeyDown);
  EXPECT_EQ(m.wparam, kUiVkReturn);
}

TEST_F(UiModel, QuitCarriesItsExitCode) {
  UiPostQuitMessage(7);
  UiMessage m;
  ASSERT_TRUE(UiPeekMessage(&m, 0, true));
  EXPECT_EQ(m.message, kUiMsgQuit);
  EXPECT_EQ(m.wparam, 7u);
}

// ---------------------------------------------------------------------------
// Timers and paint
// ---------------------------------------------------------------------------

TEST_F(UiModel, TimersFireWhenDueAndOnlyWhenNothingElseWaits) {
  Start("key Enter\nkey Enter\n");
  const UiWindow w = TopLevel("W");
  UiMessage m;
  ASSERT_TRUE(Take(&m));  // the new window's paint
  ASSERT_EQ(m.message, kUiMsgPaint);
  ASSERT_TRUE(UiSetTimer(w, 5, 350));
  EXPECT_EQ(UiNextTimerDelay(), 350);
  // Not due: the script's step comes instead.
  ASSERT_TRUE(Take(&m));
  EXPECT_EQ(m.message, kUiMsgKeyDown);
  ClockAdvanceFake(350);
  UiPostMessage(w, kUiMsgUser, 0, 0);
  ASSERT_TRUE(Take(&m));
  EXPECT_EQ(m.message, kUiMsgUser);  // posted messages first
  ASSERT_TRUE(Take(&m));
  EXPECT_EQ(m.message, kUiMsgKeyUp);  // then the rest of the step's input
  ASSERT_TRUE(Take(&m));
  EXPECT_EQ(m.message, kUiMsgTimer);  // due timers before the next step
  EXPECT_EQ(m.wparam, 5u);
  EXPECT_EQ(m.window, w);
  EXPECT_EQ(UiNextTimerDelay(), 350);  // rescheduled from now
  ASSERT_TRUE(Take(&m));
  EXPECT_EQ(m.message, kUiMsgKeyDown);  // the second step
  ClockAdvanceFake(1000);               // a late timer fires once, not once per interval missed
  while (UiPeekMessage(&m, 0, false) && m.message != kUiMsgTimer)
    UiPeekMessage(&m, 0, true);
  ASSERT_TRUE(Take(&m));
  EXPECT_EQ(m.message, kUiMsgTimer);
  ASSERT_TRUE(Take(&m));
  EXPECT_NE(m.message, kUiMsgTimer);
  EXPECT_TRUE(UiKillTimer(w, 5));
  EXPECT_FALSE(UiKillTimer(w, 5));
  EXPECT_FALSE(UiSetTimer(w, 0, 100));
  ASSERT_TRUE(UiSetTimer(w, 9, 1));
  EXPECT_EQ(UiNextTimerDelay(), 10);  // the shortest interval is 10 ms
}

TEST_F(UiModel, ShownWindowsGetOnePaintMessage) {
  const UiWindow w = TopLevel("W");
  UiMessage m;
  ASSERT_TRUE(Take(&m));
  EXPECT_EQ(m.message, kUiMsgPaint);
  EXPECT_EQ(m.window, w);
  ASSERT_TRUE(Take(&m));
  EXPECT_EQ(m.message, kUiMsgQuit);  // painted: nothing else
  UiInvalidate(w);
  Log().clear();
  UiUpdateWindow(w);
  EXPECT_EQ(Seen(kUiMsgPaint, w).size(), 1u);
  UiUpdateWindow(w);
  EXPECT_EQ(Seen(kUiMsgPaint, w).size(), 1u);
  UiPaintBegin(w);
  UiFillRect(w, UiGetClientRect(w), 0x808080);
  UiDrawText(w, UiGetClientRect(w), "Reorganizando", 0xFFFFFF, kUiFontSystem, kUiTextCenter);
  EXPECT_EQ(UiPaintedTexts(w), (std::vector<std::string>{"Reorganizando"}));
  UiPaintBegin(w);
  EXPECT_TRUE(UiPaintedTexts(w).empty());
}

// ---------------------------------------------------------------------------
// Geometry, scroll bars, fonts
// ---------------------------------------------------------------------------

TEST_F(UiModel, ClientAreasFollowTheFrameStyles) {
  struct Case {
    uint32_t style, ex_style;
    int client_w, client_h;
  };
  // A 200 x 150 window: caption 20, dialog frame 3, border 1, edge 2, bars 16.
  const Case cases[] = {
      {kUiWsPopup, 0, 200, 150},
      {kUiWsPopup | kUiWsBorder, 0, 198, 148},
      {kUiWsCaption, 0, 194, 124},
      {kUiWsCaption, kUiWsExDlgModalFrame, 194, 124},
      {kUiWsCaption | kUiWsThickFrame, 0, 192, 122},
      {kUiWsCaption | kUiWsVScroll | kUiWsHScroll, 0, 178, 108},
      {kUiWsPopup, kUiWsExClientEdge, 196, 146},
  };
  for (const Case& c : cases) {
    UiCreateParams p;
    p.class_name = "Rec";
    p.style = c.style;
    p.ex_style = c.ex_style;
    p.x = 0, p.y = 0, p.width = 200, p.height = 150;
    const UiWindow w = UiCreateWindow(p);
    const UiRect r = UiGetClientRect(w);
    EXPECT_EQ(r.Width(), c.client_w) << std::hex << c.style;
    EXPECT_EQ(r.Height(), c.client_h) << std::hex << c.style;
    // The adjustment gives the outer size back (without the scroll bars).
    const UiRect outer = UiAdjustWindowRect(UiRect{0, 0, 10, 10},
                                            c.style & ~(kUiWsVScroll | kUiWsHScroll), c.ex_style);
    const int bars_w = (c.style & kUiWsVScroll) ? 16 : 0,
              bars_h = (c.style & kUiWsHScroll) ? 16 : 0;
    EXPECT_EQ(outer.Width() - 10, 200 - c.client_w - bars_w);
    EXPECT_EQ(outer.Height() - 10, 150 - c.client_h - bars_h);
  }
}

TEST_F(UiModel, ScreenPositionsMaximizingAndDefaults) {
  const UiWindow w = TopLevel("W");  // at 10,10 with a caption
  const UiWindow c = Control(w, "Rec", "", 1, 0, 5, 6, 20, 10);
  const UiRect r = UiGetWindowRect(c);
  EXPECT_EQ(r.left, 10 + 3 + 5);
  EXPECT_EQ(r.top, 10 + 3 + 20 + 6);
  EXPECT_EQ(UiGetPlacement(c).left, 5);
  UiShowWindow(w, kUiSwShowMaximized);
  EXPECT_TRUE(UiIsMaximized(w));
  EXPECT_EQ(UiGetWindowRect(w).Width(), UiGetWorkArea().Width());
  UiShowWindow(w, kUiSwShowNormal);
  EXPECT_FALSE(UiIsMaximized(w));
  EXPECT_EQ(UiGetWindowRect(w).left, 10);
  EXPECT_EQ(UiGetWindowRect(w).Width(), 200);
  UiCreateParams p;
  p.class_name = "Rec";
  const UiWindow d = UiCreateWindow(p);
  EXPECT_EQ(UiGetPlacement(d).left, 1024 / 8);
  EXPECT_EQ(UiGetPlacement(d).Width(), 512);
  Log().clear();
  UiMoveWindow(c, 1, 2, 30, 40);
  ASSERT_EQ(Seen(kUiMsgSize, c).size(), 1u);
  EXPECT_EQ(UiLparamX(Seen(kUiMsgSize, c)[0].lparam), 30);
  EXPECT_EQ(UiLparamY(Seen(kUiMsgSize, c)[0].lparam), 40);
}

TEST_F(UiModel, ScrollPositionsStayInRangeAndScrollingMovesChildren) {
  const UiWindow w = TopLevel("W");
  const UiWindow c = Control(w, "Rec", "", 1, 0, 5, 50, 10, 10);
  UiSetScrollRange(w, kUiSbVert, 0, 40);
  EXPECT_EQ(UiSetScrollPos(w, kUiSbVert, 100), 0);
  EXPECT_EQ(UiGetScrollPos(w, kUiSbVert), 40);
  UiSetScrollRange(w, kUiSbVert, 0, 10);
  EXPECT_EQ(UiGetScrollPos(w, kUiSbVert), 10);
  EXPECT_EQ(UiSetScrollPos(w, kUiSbVert, -5), 10);
  EXPECT_EQ(UiGetScrollPos(w, kUiSbVert), 0);
  UiShowScrollBar(w, kUiSbVert, true);
  EXPECT_TRUE(UiGetStyle(w) & kUiWsVScroll);
  UiScrollWindow(w, 0, -20);
  EXPECT_EQ(UiGetPlacement(c).top, 30);
}

TEST_F(UiModel, HeadlessTextMetricsAreFixedCells) {
  struct Case {
    int height, width, weight;
    int cell_w, cell_h;
  };
  const Case cases[] = {{26, 9, 700, 9, 26},
                        {26, 0, 400, 13, 26},
                        {-20, 0, 400, 10, 20},
                        {0, 0, 400, 8, 16},
                        {1, 0, 400, 1, 1}};
  for (const Case& c : cases) {
    const UiFont f = UiCreateFont(UiFontDesc{"Lucida", c.height, c.width, c.weight, false, false});
    const UiTextMetrics m = UiGetTextMetrics(f);
    EXPECT_EQ(m.average_width, c.cell_w) << c.height << "x" << c.width;
    EXPECT_EQ(m.height, c.cell_h) << c.height << "x" << c.width;
    EXPECT_EQ(m.ascent + m.descent, m.height);
    EXPECT_EQ(UiGetTextExtent(f, "abc\xF1").Width(), 4 * c.cell_w);  // one cell per byte
  }
  EXPECT_EQ(UiGetTextMetrics(kUiFontSystem).average_width, 8);
  EXPECT_EQ(UiGetTextMetrics(kUiFontSystem).height, 16);
  const UiWindow w = TopLevel("W");
  EXPECT_EQ(UiGetFont(w), kUiFontSystem);
  const UiFont big = UiCreateFont(UiFontDesc{"Big", 30, 12, 400, false, false});
  UiSetFont(w, big);
  EXPECT_EQ(UiGetFont(w), big);
  UiDeleteFont(big);
  EXPECT_EQ(UiGetTextMetrics(UiGetFont(w)).height, 16);  // a deleted font reads as the system's
  UiFontDesc d;
  EXPECT_FALSE(UiGetFontDesc(big, &d));
  UiDeleteFont(kUiFontSystem);
  EXPECT_TRUE(UiGetFontDesc(kUiFontSystem, &d));  // stock fonts stay
}

TEST_F(UiModel, UserDataAndTextsBelongToEachWindow) {
  const UiWindow a = TopLevel("A");
  const UiWindow b = TopLevel("B");
  EXPECT_EQ(UiSetUserData(a, 17), 0);
  EXPECT_EQ(UiSetUserData(a, 18), 17);
  EXPECT_EQ(UiGetUserData(b), 0);
  EXPECT_EQ(UiGetText(a), "A");
  UiSetText(b, "Nuevo t\xEDtulo");
  EXPECT_EQ(UiGetText(b), "Nuevo t\xEDtulo");
  EXPECT_EQ(UiGetClassName(a), "Rec");
}

TEST_F(UiModel, ShutdownAndInitBringAFreshModel) {
  const UiWindow w = TopLevel("W");
  UiShutdown();
  EXPECT_FALSE(UiIsUp());
  EXPECT_FALSE(UiIsWindow(w));
  EXPECT_EQ(UiCreateWindow(UiCreateParams{}), 0u);
  EXPECT_FALSE(UiPostMessage(0, kUiMsgUser, 0, 0));
  UiMessage m;
  EXPECT_FALSE(UiPeekMessage(&m, 0, true));
  UiShutdown();  // twice is harmless
  Start("");
  EXPECT_FALSE(UiInitWith(UiConfig{}));  // already up
  EXPECT_EQ(UiBackendName(), "headless");
  EXPECT_TRUE(UiGetTopLevelWindows().empty());
  EXPECT_FALSE(UiClassInfo("Refuser", nullptr));  // classes went with the model
  EXPECT_EQ(TopLevel("Again"), 1u);
}

TEST_F(UiModel, ChoosingTheSdlBackendRunsHeadlessAndSaysSo) {
  UiShutdown();
  UiConfig c;
  c.backend = "sdl";
  c.use_environment = false;
  testing::internal::CaptureStderr();
  ASSERT_TRUE(UiInitWith(c));
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("SDL backend is not built"), std::string::npos) << err;
  EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1);
  EXPECT_EQ(UiBackendName(), "headless");
  UiShutdown();
  c.backend = "";
  testing::internal::CaptureStderr();
  ASSERT_TRUE(UiInitWith(c));  // no environment, no display: headless, quietly
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

}  // namespace
