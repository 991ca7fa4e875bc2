// The transcript: its lines, their escaping and conversion to UTF-8.
#include <gtest/gtest.h>

#include "platform/ui.h"
#include "ui_test_util.h"

namespace {

class UiTranscriptTest : public uitest::UiTest {};

TEST_F(UiTranscriptTest, QuotingEscapesWhatWouldBreakALine) {
  struct Case {
    const char* text;
    const char* quoted;
  };
  const Case cases[] = {
      {"plain", "\"plain\""},
      {"a\"b", "\"a\\\"b\""},
      {"C:\\dir", "\"C:\\\\dir\""},
      {"l1\r\nl2", "\"l1\\r\\nl2\""},
      {"tab\there", "\"tab\\there\""},
      {"gs\x1D"
       "x\x7F",
       "\"gs\\x1Dx\\x7F\""},
      {"", "\"\""},
  };
  for (const Case& c : cases)
    EXPECT_EQ(UiTranscriptQuote(c.text), c.quoted) << c.text;
}

TEST_F(UiTranscriptTest, WindowsFocusAndBoxesLeaveTheirLines) {
  const UiWindow main = TopLevel("Ventas | 20240517");
  UiSetText(main, "Ventas | 20240518");
  UiSetText(main, "Ventas | 20240518");  // unchanged: no line
  const UiWindow dlg = TopLevel("Cantidad \"1\"", main);
  const UiWindow f = Control(dlg, "EDIT", "Compa\xF1ia", 2000);
  const UiWindow pin = Control(dlg, "EDIT", "1234", 2001, kUiEsPassword);
  UiSetFocus(f);
  UiSetFocus(pin);
  UiSetText(f, "changed");  // a control's text is no caption
  EXPECT_EQ(UiMessageBox(dlg, "L\xEDnea 1\r\nL\xEDnea 2", "", UiMsgBoxButtons::kOkCancel,
                         UiMsgBoxIcon::kInfo, 2),
            UiAnswer::kCancel);
  UiMessageBox(0, "x", "Fallo", UiMsgBoxButtons::kRetryCancel, UiMsgBoxIcon::kError);
  UiMessageBox(0, "x", "y", UiMsgBoxButtons::kOk, UiMsgBoxIcon::kNone);
  UiDestroyWindow(dlg);
  UiTranscript("select \"T\xEDtulo\" \"Si,No\" -> 2");
  const std::vector<std::string> expected = {
      "open Rec \"Ventas | 20240517\"",
      "caption \"Ventas | 20240518\"",
      "open Rec \"Cantidad \\\"1\\\"\"",
      "focus #2000 \"Compa\xC3\xB1ia\"",
      "focus #2001 \"****\"",
      "msgbox info-okcancel \"\" \"L\xC3\xADnea 1\\r\\nL\xC3\xADnea 2\" -> Cancel",
      "msgbox error-retrycancel \"Fallo\" \"x\" -> Retry",
      "msgbox none-ok \"y\" \"x\" -> OK",
      "close Rec \"Cantidad \\\"1\\\"\"",
      "select \"T\xC3\xADtulo\" \"Si,No\" -> 2",
  };
  EXPECT_EQ(Transcript(), expected);
}

TEST_F(UiTranscriptTest, RawLineBreaksInAddedLinesAreEscaped) {
  UiTranscript("note a\r\nb\\c");
  EXPECT_EQ(Transcript(), (std::vector<std::string>{"note a\\r\\nb\\c"}));
}

TEST_F(UiTranscriptTest, EachLineIsOnDiskAsSoonAsItIsWritten) {
  TopLevel("Uno");
  // Read while the UI is still up (the file is still open).
  EXPECT_EQ(Transcript(), (std::vector<std::string>{"open Rec \"Uno\""}));
}

TEST_F(UiTranscriptTest, ANewTranscriptReplacesTheOldOneAndCanBeStopped) {
  TopLevel("Uno");
  const std::string second = dir_ + "/second.txt";
  ASSERT_TRUE(UiSetTranscriptFile(second));
  TopLevel("Dos");
  EXPECT_EQ(qtest::ReadFile(second), "open Rec \"Dos\"\n");
  ASSERT_TRUE(UiSetTranscriptFile(""));
  TopLevel("Tres");
  EXPECT_EQ(qtest::ReadFile(second), "open Rec \"Dos\"\n");
  EXPECT_FALSE(UiSetTranscriptFile(dir_ + "/no/such/dir/t.txt"));
}

}  // namespace
