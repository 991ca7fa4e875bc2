// The built-in controls on their own: what an edit control, a button and a
// list box do with characters, keys and clicks, and what they tell their
// parent.
#include <gtest/gtest.h>

#include "platform/ui.h"
#include "ui_test_util.h"

namespace {

using uitest::Event;
using uitest::Log;
using uitest::Seen;

class UiControls : public uitest::UiTest {
 protected:
  void SetUp() override {
    UiTest::SetUp();
    form_ = TopLevel("Form");
  }
  // The notification codes the form got from control id, in order.
  std::vector<uint16_t> Notifications(int id) {
    std::vector<uint16_t> out;
    for (const Event& e : Seen(kUiMsgCommand, form_)) {
      if (UiLoWord(e.wparam) == id) out.push_back(UiHiWord(e.wparam));
    }
    return out;
  }
  void Chars(UiWindow w, const std::string& text) {
    for (char c : text)
      UiSendMessage(w, kUiMsgChar, static_cast<unsigned char>(c), 0);
  }
  UiWindow form_ = 0;
};

TEST_F(UiControls, EditControlsTypeAndEditTheirText) {
  struct Case {
    const char* name;
    uint32_t style;
    int limit;
    const char* typed;  // \b is backspace
    const char* text;
  };
  const Case cases[] = {
      {"plain", 0, 0, "abc\bd", "abd"},
      {"limit", 0, 3, "abcdef", "abc"},
      {"upper", kUiEsUppercase, 0, "se\xF1or", "SE\xD1OR"},
      {"lower", kUiEsLowercase, 0, "ABC", "abc"},
      {"number", kUiEsNumber, 0, "1a2.3", "123"},
      {"read only", kUiEsReadOnly, 0, "abc", ""},
      {"control chars", 0, 0,
       "a\tb\r\x1B"
       "c",
       "abc"},                                            // a single line ignores them
      {"multiline", kUiEsMultiline, 0, "a\rb\b\b", "a"},  // backspace takes CR LF whole
      {"backspace at start", 0, 0, "\b\ba", "a"},
  };
  int id = 2000;
  for (const Case& c : cases) {
    const UiWindow e = Control(form_, "EDIT", "", id++, c.style);
    if (c.limit) UiEditSetLimit(e, c.limit);
    Chars(e, c.typed);
    EXPECT_EQ(UiGetText(e), c.text) << c.name;
  }
}

TEST_F(UiControls, TypingReplacesTheSelectionAndNotifiesChanges) {
  const UiWindow e = Control(form_, "EDIT", "12345", 2000);
  UiEditSetSel(e, 0, -1);  // all of it, as a form selects a field's text
  Log().clear();
  Chars(e, "9");
  EXPECT_EQ(UiGetText(e), "9");
  int s = -1, t = -1;
  UiEditGetSel(e, &s, &t);
  EXPECT_EQ(s, 1);
  EXPECT_EQ(t, 1);
  EXPECT_EQ(Notifications(2000), (std::vector<uint16_t>{kUiEnChange}));
  UiSetText(e, "abcd");  // setting the text is no user change
  EXPECT_EQ(Notifications(2000).size(), 1u);
  // Keys move the caret; Delete removes the character after it.
  UiSendMessage(e, kUiMsgKeyDown, kUiVkEnd, 0);
  UiSendMessage(e, kUiMsgKeyDown, kUiVkLeft, 0);
  UiSendMessage(e, kUiMsgKeyDown, kUiVkLeft, 0);
  UiSendMessage(e, kUiMsgKeyDown, kUiVkDelete, 0);
  EXPECT_EQ(UiGetText(e), "abd");
  UiSendMessage(e, kUiMsgKeyDown, kUiVkHome, 0);
  Chars(e, "X");
  EXPECT_EQ(UiGetText(e), "Xabd");
  UiEditReplaceSel(e, "--");
  EXPECT_EQ(UiGetText(e), "X--abd");
}

TEST_F(UiControls, ButtonsNotifyTheirParentWhenClicked) {
  const UiWindow ok = Control(form_, "BUTTON", "&Ok", 3100, kUiWsTabStop);
  const UiWindow check = Control(form_, "BUTTON", "", 2001, kUiBsCheckBox);
  const UiWindow autocheck = Control(form_, "BUTTON", "", 2002, kUiBsAutoCheckBox);
  Log().clear();
  UiSendMessage(ok, kUiMsgLButtonDown, 0, UiMakeLparam(5, 5));
  EXPECT_EQ(UiGetFocus(), ok);  // a click takes the focus first
  EXPECT_TRUE(Notifications(3100).empty());
  UiSendMessage(ok, kUiMsgLButtonUp, 0, UiMakeLparam(5, 5));
  EXPECT_EQ(Notifications(3100), (std::vector<uint16_t>{kUiBnClicked}));
  const std::vector<Event> cmd = Seen(kUiMsgCommand, form_);
  ASSERT_EQ(cmd.size(), 1u);
  EXPECT_EQ(cmd[0].lparam, static_cast<intptr_t>(ok));
  // Released outside the button: no click.
  UiSendMessage(ok, kUiMsgLButtonDown, 0, UiMakeLparam(5, 5));
  UiSendMessage(ok, kUiMsgLButtonUp, 0, UiMakeLparam(500, 5));
  EXPECT_EQ(Notifications(3100).size(), 1u);
  // The space bar clicks the focused button.
  UiSendMessage(ok, kUiMsgKeyDown, kUiVkSpace, 0);
  UiSendMessage(ok, kUiMsgKeyUp, kUiVkSpace, 0);
  EXPECT_EQ(Notifications(3100).size(), 2u);
  // A plain check box leaves toggling to its owner; an automatic one toggles.
  for (UiWindow b : {check, autocheck}) {
    UiSendMessage(b, kUiMsgLButtonDown, 0, UiMakeLparam(1, 1));
    UiSendMessage(b, kUiMsgLButtonUp, 0, UiMakeLparam(1, 1));
  }
  EXPECT_EQ(UiGetCheck(check), 0);
  EXPECT_EQ(UiGetCheck(autocheck), 1);
  EXPECT_EQ(Notifications(2001).size(), 1u);
  EXPECT_EQ(Notifications(2002).size(), 1u);
}

TEST_F(UiControls, BitmapButtonsReadTheirImageHeader) {
  const UiWindow b = Control(form_, "BUTTON", "pic", 1500, kUiBsBitmap);
  std::string bmp(26, '\0');
  bmp[0] = 'B', bmp[1] = 'M', bmp[18] = 40, bmp[22] = 30;
  ASSERT_TRUE(qtest::WriteFile(dir_ + "/pic.bmp", bmp));
  ASSERT_TRUE(qtest::WriteFile(dir_ + "/not.bmp", "plain text, not an image"));
  EXPECT_TRUE(UiSetButtonImage(b, dir_ + "/PIC.BMP"));  // found without case, like any file
  EXPECT_EQ(UiGetButtonImage(b), dir_ + "/PIC.BMP");
  EXPECT_FALSE(UiSetButtonImage(b, dir_ + "/not.bmp"));
  EXPECT_EQ(UiGetButtonImage(b), "");
  EXPECT_FALSE(UiSetButtonImage(b, dir_ + "/missing.png"));
}

TEST_F(UiControls, ListBoxesKeepSortedItemsAndSelection) {
  const UiWindow l = Control(form_, "LISTBOX", "", 3350, kUiLbsSort, 0, 0, 100, 48);
  EXPECT_EQ(UiListAdd(l, "pera"), 0);
  EXPECT_EQ(UiListAdd(l, "Manzana"), 0);
  EXPECT_EQ(UiListAdd(l, "zumo"), 2);
  EXPECT_EQ(UiListAdd(l, "\xC1rbol"), 3);  // byte order after folding: accents sort last
  EXPECT_TRUE(UiListSetSel(l, 1));
  EXPECT_EQ(UiListText(l, UiListGetSel(l)), "pera");
  EXPECT_EQ(UiListInsert(l, 0, "aaa"), 0);
  EXPECT_EQ(UiListGetSel(l), 2);  // the selection moves with its item
  EXPECT_TRUE(UiListDelete(l, 2));
  EXPECT_EQ(UiListGetSel(l), -1);
  EXPECT_FALSE(UiListSetSel(l, 9));
  EXPECT_EQ(UiListInsert(l, 99, "x"), -1);
  UiListClear(l);
  EXPECT_EQ(UiListCount(l), 0);
  EXPECT_EQ(UiListText(l, 0), "");
}

TEST_F(UiControls, ListBoxesNotifyUserSelectionOnlyWithTheNotifyStyle) {
  const UiWindow quiet = Control(form_, "LISTBOX", "", 3350, 0, 0, 0, 100, 48);
  const UiWindow loud = Control(form_, "LISTBOX", "", 3351, kUiLbsNotify, 0, 50, 100, 48);
  for (UiWindow l : {quiet, loud}) {
    for (const char* item : {"Si", "No", "Tal vez", "Nunca"})
      UiListAdd(l, item);
    UiListSetItemHeight(l, 16);  // three rows fit
  }
  Log().clear();
  UiListSetSel(loud, 0);  // set by the program: no notification
  EXPECT_TRUE(Notifications(3351).empty());
  UiSendMessage(loud, kUiMsgKeyDown, kUiVkDown, 0);
  UiSendMessage(loud, kUiMsgKeyDown, kUiVkEnd, 0);
  EXPECT_EQ(UiListGetSel(loud), 3);
  EXPECT_EQ(UiListGetTopIndex(loud), 1);             // scrolled to show the last item
  UiSendMessage(loud, kUiMsgKeyDown, kUiVkDown, 0);  // at the end: no change, no notice
  UiSendMessage(loud, kUiMsgLButtonDblClk, 0, UiMakeLparam(5, 20));  // row 1 = item 2
  EXPECT_EQ(UiListGetSel(loud), 2);
  EXPECT_EQ(Notifications(3351), (std::vector<uint16_t>{kUiLbnSelChange, kUiLbnSelChange,
                                                        kUiLbnSelChange, kUiLbnDblClk}));
  UiSendMessage(quiet, kUiMsgKeyDown, kUiVkDown, 0);
  UiSendMessage(quiet, kUiMsgLButtonDblClk, 0, UiMakeLparam(5, 20));
  EXPECT_EQ(UiListGetSel(quiet), 1);
  EXPECT_TRUE(Notifications(3350).empty());
  UiSendMessage(quiet, kUiMsgLButtonDown, 0, UiMakeLparam(5, 200));  // below the items
  EXPECT_EQ(UiListGetSel(quiet), 1);
  EXPECT_EQ(UiGetFocus(), quiet);
}

TEST_F(UiControls, StaticsTakeNoFocusAndNotifyOnlyWhenAsked) {
  const UiWindow plain = Control(form_, "STATIC", "Total", 4001, kUiSsRight);
  const UiWindow notify = Control(form_, "STATIC", "Link", 4002, kUiSsNotify);
  const UiWindow before = UiGetFocus();
  Log().clear();
  for (UiWindow s : {plain, notify}) {
    UiSendMessage(s, kUiMsgLButtonDown, 0, 0);
    UiSendMessage(s, kUiMsgLButtonUp, 0, 0);
  }
  EXPECT_EQ(UiGetFocus(), before);
  EXPECT_TRUE(Notifications(4001).empty());
  EXPECT_EQ(Notifications(4002), (std::vector<uint16_t>{kUiStnClicked}));
}

}  // namespace
