// The UI script driver: every step kind, the answer rule, waiting, errors and
// the end of the script.
#include <gtest/gtest.h>

#include "platform/ui.h"
#include "ui_test_util.h"

namespace {

using uitest::Event;
using uitest::Log;
using uitest::RunLoop;
using uitest::Seen;

class UiScript : public uitest::UiTest {
 protected:
  // A form with an edit field, an Ok button and a list box, like the
  // runtime's data windows and selection lists.
  void MakeForm() {
    form_ = TopLevel("Pedido 12");
    field_ = Control(form_, "EDIT", "", 2000, kUiWsTabStop, 5, 5, 80, 20);
    ok_ = Control(form_, "BUTTON", "&Ok", 3100, kUiWsTabStop, 5, 30, 60, 20);
    list_ = Control(form_, "LISTBOX", "", 3350, kUiLbsNotify, 5, 60, 100, 32);
    for (const char* item : {"Mesa 1", "Mesa 2", "Mesa 3", "Mesa 4"})
      UiListAdd(list_, item);
    UiListSetItemHeight(list_, 16);  // two rows show
    uitest::Record(field_);
    UiSetFocus(field_);
    Log().clear();
  }
  std::vector<uint16_t> Commands(int id) {
    std::vector<uint16_t> out;
    for (const Event& e : Seen(kUiMsgCommand, form_)) {
      if (UiLoWord(e.wparam) == id) out.push_back(UiHiWord(e.wparam));
    }
    return out;
  }
  // The transcript lines that start with a word.
  std::vector<std::string> Lines(const std::string& word) {
    std::vector<std::string> out;
    for (const std::string& l : Transcript()) {
      if (l.rfind(word + " ", 0) == 0) out.push_back(l);
    }
    return out;
  }
  UiWindow form_ = 0, field_ = 0, ok_ = 0, list_ = 0;
};

TEST_F(UiScript, TypeSendsKeysAndWindows1252Characters) {
  Start("type Se\xC3\xB1or 1\n");  // UTF-8 in the script
  MakeForm();
  EXPECT_EQ(RunLoop(), 0);
  EXPECT_EQ(UiGetText(field_), "Se\xF1or 1");  // Windows-1252 in the control
  std::vector<uintptr_t> downs;
  for (const Event& e : Seen(kUiMsgKeyDown, field_))
    downs.push_back(e.wparam);
  EXPECT_EQ(downs, (std::vector<uintptr_t>{'S', 'E', kUiVkPacket, 'O', 'R', kUiVkSpace, '1'}));
  EXPECT_EQ(Seen(kUiMsgKeyUp, field_).size(), 7u);
}

TEST_F(UiScript, QuotedTextKeepsBlanksAndEscapes) {
  Start("type \"  a\\x1D9\\\"\\\\ \"\n");
  MakeForm();
  EXPECT_EQ(RunLoop(), 0);
  EXPECT_EQ(UiGetText(field_), "  a9\"\\ ");  // GS is a control character: not inserted
  bool saw_gs = false;
  for (const Event& e : Seen(kUiMsgChar, field_))
    saw_gs = saw_gs || e.wparam == 0x1D;
  EXPECT_TRUE(saw_gs);  // but it was typed, as a scanner sends it
}

TEST_F(UiScript, KeysArriveAsAKeyboardGivesThem) {
  Start("key Shift+Tab\nkey Ctrl+End\nkey F2\nkey Enter\n");
  MakeForm();
  EXPECT_EQ(RunLoop(), 0);
  std::vector<std::pair<uint32_t, uintptr_t>> seen;
  for (const Event& e : Log()) {
    if (e.window == field_ &&
        (e.message == kUiMsgKeyDown || e.message == kUiMsgKeyUp || e.message == kUiMsgChar)) {
      seen.emplace_back(e.message, e.wparam);
    }
  }
  const std::vector<std::pair<uint32_t, uintptr_t>> expected = {
      {kUiMsgKeyDown, kUiVkShift},  {kUiMsgKeyDown, kUiVkTab},  {kUiMsgChar, '\t'},
      {kUiMsgKeyUp, kUiVkTab},      {kUiMsgKeyUp, kUiVkShift},  {kUiMsgKeyDown, kUiVkControl},
      {kUiMsgKeyDown, kUiVkEnd},    {kUiMsgKeyUp, kUiVkEnd},    {kUiMsgKeyUp, kUiVkControl},
      {kUiMsgKeyDown, kUiVkF1 + 1}, {kUiMsgKeyUp, kUiVkF1 + 1}, {kUiMsgKeyDown, kUiVkReturn},
      {kUiMsgChar, '\r'},           {kUiMsgKeyUp, kUiVkReturn}};
  EXPECT_EQ(seen, expected);
}

TEST_F(UiScript, ClickFindsButtonsByLabelOrIdAndTheFocusMovesFirst) {
  Start("type 3\nclick ok\nclick #3100\n");
  MakeForm();
  EXPECT_EQ(RunLoop(), 0);
  EXPECT_EQ(Commands(3100), (std::vector<uint16_t>{kUiBnClicked, kUiBnClicked}));
  // The field lost the focus to the button before the command came.
  size_t kill = 0, command = 0;
  for (size_t i = 0; i < Log().size(); ++i) {
    if (Log()[i].window == field_ && Log()[i].message == kUiMsgKillFocus && !kill) kill = i + 1;
    if (Log()[i].message == kUiMsgCommand && UiLoWord(Log()[i].wparam) == 3100 && !command) {
      command = i + 1;
    }
  }
  ASSERT_GT(kill, 0u);
  EXPECT_LT(kill, command);
  EXPECT_EQ(UiGetFocus(), ok_);
}

TEST_F(UiScript, ClickingAListItemScrollsToItAndDoubleClicksIt) {
  Start("click MESA 4\n");
  MakeForm();
  EXPECT_EQ(RunLoop(), 0);
  EXPECT_EQ(UiListGetSel(list_), 3);
  EXPECT_EQ(UiListGetTopIndex(list_), 2);
  EXPECT_EQ(Commands(3350), (std::vector<uint16_t>{kUiLbnSelChange, kUiLbnDblClk}));
}

TEST_F(UiScript, ClickPrefersButtonsOverOtherTexts) {
  Start("click Mesa 1\n");
  MakeForm();
  const UiWindow b = Control(form_, "BUTTON", "Mesa 1", 1500, 0, 5, 100, 60, 20);
  Log().clear();
  EXPECT_EQ(RunLoop(), 0);
  EXPECT_EQ(Commands(1500), (std::vector<uint16_t>{kUiBnClicked}));
  EXPECT_TRUE(Commands(3350).empty());
  EXPECT_EQ(UiGetFocus(), b);
}

TEST_F(UiScript, CloseAndWaitFollowTheTopWindow) {
  Start("wait pedido\nclose\nwait Main\nclose\n");
  const UiWindow main = TopLevel("Main");
  MakeForm();
  UiEnableWindow(main, false);  // a modal form over its disabled owner
  // The form's loop: the first close ends it; its window procedure does
  // what the runtime's does on destroy: enable and focus the owner.
  EXPECT_EQ(RunLoop(form_), 1);
  EXPECT_FALSE(UiIsWindow(form_));
  UiEnableWindow(main, true);
  UiSetFocus(main);
  EXPECT_EQ(RunLoop(main), 1);  // the main loop ends at the second close
  EXPECT_EQ(Lines("script-error").size(), 0u);
}

TEST_F(UiScript, AnAnswerStepAnswersTheBoxThatOpensBeforeIt) {
  Start("click Ok\nanswer No\nclick Ok\n");
  MakeForm();
  EXPECT_EQ(RunLoop(), 0);  // the clicks reach the form; it asks nothing here
  // A message box shown now: the next step is "click", so the default.
  EXPECT_EQ(UiMessageBox(form_, "x", "c", UiMsgBoxButtons::kYesNo, UiMsgBoxIcon::kInfo),
            UiAnswer::kYes);
  // "answer No" came after a step that did not open a box: a script error.
  const std::vector<std::string> errors = Lines("script-error");
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0], "script-error 2 \"answer No\" \"no message box is open\"");
  EXPECT_EQ(Commands(3100).size(), 1u);  // the script ended at the error
}

intptr_t AskingForm(UiWindow w, uint32_t msg, uintptr_t wp, intptr_t lp) {
  if (msg == kUiMsgCommand && UiLoWord(wp) == 3100) {
    const UiAnswer a =
        UiMessageBox(w,
                     "\xBF"
                     "Borrar?",
                     "Confirmar", UiMsgBoxButtons::kYesNoCancel, UiMsgBoxIcon::kWarning);
    UiSetUserData(w, static_cast<intptr_t>(a));
  }
  return uitest::RecordingProc(w, msg, wp, lp);
}

TEST_F(UiScript, TheAnswerRuleConsumesOnlyAnImmediateAnswerStep) {
  struct Case {
    const char* script;
    UiAnswer answer;
    int errors;
  };
  const Case cases[] = {
      {"click Ok\nanswer no\n", UiAnswer::kNo, 0},
      {"click Ok\nanswer Cancel\n", UiAnswer::kCancel, 0},
      {"click Ok\n", UiAnswer::kYes, 0},                        // the default button
      {"click Ok\nkey Enter\nanswer No\n", UiAnswer::kYes, 1},  // too late: an error
      {"click Ok\nanswer Retry\n", UiAnswer::kYes, 1},          // not offered: default, error
  };
  for (const Case& c : cases) {
    Start(c.script);
    MakeForm();
    UiSetWindowProc(form_, AskingForm);
    EXPECT_EQ(RunLoop(), 0) << c.script;
    EXPECT_EQ(static_cast<UiAnswer>(UiGetUserData(form_)), c.answer) << c.script;
    EXPECT_EQ(static_cast<int>(Lines("script-error").size()), c.errors) << c.script;
    const std::vector<std::string> boxes = Lines("msgbox");
    ASSERT_EQ(boxes.size(), 1u) << c.script;
    EXPECT_EQ(boxes[0].rfind("msgbox warning-yesnocancel \"Confirmar\" \"\xC2\xBF"
                             "Borrar?\" -> ",
                             0),
              0u)
        << boxes[0];
  }
}

TEST_F(UiScript, WaitWaitsForTimersAndFailsWhenNothingCanChange) {
  // A timer opens the awaited window a little later.
  Start("wait Ticket\nclose\n");
  const UiWindow main = TopLevel("Main");
  ASSERT_TRUE(UiSetTimer(main, 1, 500));
  UiMessage m;
  bool opened = false;
  int quits = 0;
  for (int i = 0; i < 1000 && quits == 0; ++i) {
    if (!UiPeekMessage(&m, 0, true)) continue;
    if (m.message == kUiMsgQuit) ++quits;
    if (m.message == kUiMsgTimer && !opened) {
      opened = true;
      UiKillTimer(main, 1);
      TopLevel("Ticket 7");
    }
    UiDispatchMessage(m);
  }
  EXPECT_TRUE(opened);
  EXPECT_EQ(Lines("close"), (std::vector<std::string>{"close Rec \"Ticket 7\""}));
  EXPECT_TRUE(Lines("script-error").empty());

  // Nothing running that could bring the window: an error at once.
  Start("wait Ticket\nclose\n");
  TopLevel("Main");
  EXPECT_EQ(RunLoop(), 0);
  const std::vector<std::string> errors = Lines("script-error");
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_NE(errors[0].find("nothing left to wait for; the top window is Rec \\\"Main\\\""),
            std::string::npos)
      << errors[0];
  EXPECT_TRUE(Lines("close").empty());  // the script ended there

  // A timer that never helps: given up after ten seconds of its ticks.
  Start("wait Ticket\n");
  const UiWindow idle = TopLevel("Main");
  UiSetTimer(idle, 1, 350);
  EXPECT_EQ(RunLoop(), 0);
  ASSERT_EQ(Lines("script-error").size(), 1u);
  EXPECT_NE(Lines("script-error")[0].find("gave up after 10 s"), std::string::npos);
}

TEST_F(UiScript, StepsThatCannotBeCarriedOutEndTheScript) {
  struct Case {
    const char* script;
    const char* reason;
  };
  const Case cases[] = {
      {"click Guardar\nkey Enter\n",
       "no control \\\"Guardar\\\" in the top window Rec \\\"Pedido 12\\\""},
      {"click #77\n", "no control #77 in the top window Rec \\\"Pedido 12\\\""},
      {"close\n", "the top window Rec \\\"Popup\\\" has no close box"},
  };
  for (const Case& c : cases) {
    Start(c.script);
    MakeForm();
    if (std::string(c.script) == "close\n") {
      UiCreateParams p;
      p.class_name = "Rec";
      p.text = "Popup";
      p.style = kUiWsPopup | kUiWsCaption | kUiWsVisible;  // no close box
      UiCreateWindow(p);
    }
    EXPECT_EQ(RunLoop(), 0);
    const std::vector<std::string> errors = Lines("script-error");
    ASSERT_EQ(errors.size(), 1u) << c.script;
    EXPECT_NE(errors[0].find(c.reason), std::string::npos) << errors[0];
    EXPECT_TRUE(Seen(kUiMsgKeyDown).empty());  // nothing after the failed step
  }
  // A disabled button cannot be clicked.
  Start("click Ok\n");
  MakeForm();
  UiEnableWindow(ok_, false);
  EXPECT_EQ(RunLoop(), 0);
  ASSERT_EQ(Lines("script-error").size(), 1u);
  EXPECT_NE(Lines("script-error")[0].find("disabled"), std::string::npos);
  EXPECT_TRUE(Commands(3100).empty());
  // Keys with no window at all.
  Start("key Enter\n");
  EXPECT_EQ(RunLoop(), 0);
  EXPECT_EQ(Lines("script-error").size(), 1u);
}

TEST_F(UiScript, ABadLineStopsTheWholeScriptBeforeItStarts) {
  struct Case {
    const char* script;
    const char* reason;
  };
  const Case cases[] = {
      {"key Enter\njump 3\n", "unknown step \\\"jump\\\""},
      {"key Enter\nkey Hyper+A\n", "unknown modifier \\\"Hyper\\\""},
      {"key F13\n", "unknown key \\\"F13\\\""},
      {"key\n", "key needs a key name"},
      {"answer Maybe\n", "answer must be OK, Cancel, Yes, No or Retry"},
      {"type \"abc\n", "missing closing double quote"},
      {"type \"a\\q\"\n", "unknown escape \\\\q"},
      {"type \"\\x4\"\n", "\\\\x needs two hexadecimal digits"},
      {"type \xE6\x97\xA5\n", "text holds characters Windows-1252 cannot represent"},
      {"close now\n", "close takes no argument"},
  };
  for (const Case& c : cases) {
    Start(c.script);
    MakeForm();
    EXPECT_EQ(RunLoop(), 0) << c.script;
    const std::vector<std::string> errors = Lines("script-error");
    ASSERT_EQ(errors.size(), 1u) << c.script;
    EXPECT_NE(errors[0].find(c.reason), std::string::npos) << errors[0];
    EXPECT_TRUE(Seen(kUiMsgKeyDown).empty()) << c.script;  // not even the good first line
  }
}

TEST_F(UiScript, CommentsBlankLinesAndCaseAreIgnored) {
  Start("\xEF\xBB\xBF# a comment\n\n   # indented comment\r\nKEY enter\r\n  Click   #3100  \n");
  MakeForm();
  EXPECT_EQ(RunLoop(), 0);
  EXPECT_EQ(Seen(kUiMsgKeyDown, field_).size(), 1u);
  EXPECT_EQ(Commands(3100).size(), 1u);
  EXPECT_TRUE(Lines("script-error").empty());
}

TEST_F(UiScript, ExhaustionEndsNestedLoopsOneAfterTheOther) {
  Start("key Enter\n");
  MakeForm();
  // The inner loop gets the step, then a quit; the outer loop polling on gets
  // a quit of its own.
  EXPECT_EQ(RunLoop(), 0);
  EXPECT_EQ(Seen(kUiMsgKeyDown).size(), 1u);
  UiMessage m;
  ASSERT_TRUE(uitest::Take(&m));
  EXPECT_EQ(m.message, kUiMsgQuit);
  EXPECT_EQ(RunLoop(), 0);
}

TEST_F(UiScript, ScreenshotDumpsTheWindowStack) {
  const std::string shot = dir_ + "/shot.txt";
  Start("type 12\nscreenshot " + shot + "\n");
  MakeForm();
  UiListSetSel(list_, 1);
  const UiWindow pin = Control(form_, "EDIT", "abc", 2001, kUiEsPassword);
  (void)pin;
  EXPECT_EQ(RunLoop(), 0);
  const std::string text = qtest::ReadFile(shot);
  EXPECT_EQ(text.rfind("screen 1024x768\n", 0), 0u) << text;
  EXPECT_NE(text.find("window " + std::to_string(form_) +
                      " Rec \"Pedido 12\" at 10,10 200x150 client 194x124"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find(" active top"), std::string::npos);
  EXPECT_NE(
      text.find("  control " + std::to_string(field_) + " EDIT #2000 \"12\" at 5,5 80x20 focus"),
      std::string::npos)
      << text;
  EXPECT_NE(text.find("BUTTON #3100 \"&Ok\" at 5,30 60x20 push"), std::string::npos) << text;
  EXPECT_NE(text.find("    item 1 \"Mesa 2\" selected\n"), std::string::npos) << text;
  EXPECT_NE(text.find("EDIT #2001 \"***\""), std::string::npos) << text;  // a password stays hidden
  EXPECT_NE(text.find("focus " + std::to_string(field_) + "\n"), std::string::npos) << text;

  Start("screenshot " + dir_ + "/no/such/folder/shot.txt\n");
  EXPECT_EQ(RunLoop(), 0);
  EXPECT_EQ(Lines("script-error").size(), 1u);
}

TEST_F(UiScript, StepsNeverReachedAreReportedAtShutdown) {
  Start("key Enter\nkey Tab\nclose\n");
  MakeForm();
  UiMessage m;
  do {  // only the first step runs
    ASSERT_TRUE(uitest::Take(&m));
  } while (m.message != kUiMsgKeyUp);
  UiShutdown();
  const std::vector<std::string> errors = Lines("script-error");
  ASSERT_EQ(errors.size(), 2u);
  EXPECT_EQ(errors[0], "script-error 2 \"key Tab\" \"not run: the program ended first\"");
  EXPECT_EQ(errors[1], "script-error 3 \"close\" \"not run: the program ended first\"");
}

TEST_F(UiScript, AScriptFileThatCannotBeReadRunsNothing) {
  UiShutdown();
  UiConfig c;
  c.backend = "headless";
  c.use_environment = false;
  c.transcript_path = transcript_;
  c.script_path = dir_ + "/missing-script.txt";
  testing::internal::CaptureStderr();
  ASSERT_TRUE(UiInitWith(c));
  EXPECT_NE(testing::internal::GetCapturedStderr().find("cannot read the UI script"),
            std::string::npos);
  ASSERT_TRUE(UiRegisterClass("Rec", uitest::RecordingProc, 0));
  EXPECT_EQ(RunLoop(), 0);
  ASSERT_EQ(Lines("script-error").size(), 1u);
  EXPECT_EQ(Lines("script-error")[0].rfind("script-error 0 ", 0), 0u);
  // A readable file runs.
  ASSERT_TRUE(qtest::WriteFile(dir_ + "/script.txt", "close\n"));
  ASSERT_TRUE(UiSetScriptFile(dir_ + "/script.txt"));
  const UiWindow w = TopLevel("W");
  EXPECT_EQ(RunLoop(w), 1);
}

}  // namespace
