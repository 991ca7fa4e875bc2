// The procedures of the built-in control classes "EDIT", "BUTTON", "STATIC"
// and "LISTBOX": what a control does with keys and clicks on its own, before
// any subclassing. They keep their state through the public control calls.
#include "platform/ui_backend.h"

#include <algorithm>
#include <string>

#include "platform/cp1252.h"
#include "platform/ui.h"

namespace {

void Notify(UiWindow w, uint16_t code) {
  const UiWindow parent = UiGetParent(w);
  if (parent == 0) return;
  UiSendMessage(parent, kUiMsgCommand, UiMakeWparam(static_cast<uint16_t>(UiGetDlgCtrlId(w)), code),
                static_cast<intptr_t>(w));
}

bool PointInClient(UiWindow w, intptr_t lparam) {
  const UiRect c = UiGetClientRect(w);
  const int x = UiLparamX(lparam), y = UiLparamY(lparam);
  return x >= 0 && y >= 0 && x < std::max(c.right, 1) && y < std::max(c.bottom, 1);
}

// ---------------------------------------------------------------------------
// EDIT
// ---------------------------------------------------------------------------

// Moves the caret; with shift held the selection's anchor stays.
void EditMoveCaret(UiWindow w, int caret) {
  int anchor = 0, old_caret = 0;
  UiEditGetAnchor(w, &anchor, &old_caret);
  caret = std::clamp(caret, 0, static_cast<int>(UiGetText(w).size()));
  UiEditSetSel(w, UiKeyState(kUiVkShift) ? anchor : caret, caret);
}

int EditCaret(UiWindow w) {
  int anchor = 0, caret = 0;
  UiEditGetAnchor(w, &anchor, &caret);
  return caret;
}

void EditType(UiWindow w, char c) {
  const uint32_t style = UiGetStyle(w);
  if (style & kUiEsNumber) {
    if (c < '0' || c > '9') return;
  }
  if (style & kUiEsUppercase) c = Cp1252Upper(c);
  if (style & kUiEsLowercase) c = Cp1252Lower(c);
  const std::string before = UiGetText(w);
  UiEditReplaceSel(w, std::string_view(&c, 1));
  if (UiGetText(w) != before) Notify(w, kUiEnChange);
}

void EditDelete(UiWindow w, bool backwards) {
  const std::string before = UiGetText(w);
  int start = 0, end = 0;
  UiEditGetSel(w, &start, &end);
  if (start == end) {
    if (backwards) {
      if (start == 0) return;
      start -= (start >= 2 && before[start - 2] == '\r' && before[start - 1] == '\n') ? 2 : 1;
    } else {
      if (end >= static_cast<int>(before.size())) return;
      end += (before[end] == '\r' && end + 1 < static_cast<int>(before.size()) &&
              before[end + 1] == '\n')
                 ? 2
                 : 1;
    }
    UiEditSetSel(w, start, end);
  }
  UiEditReplaceSel(w, "");
  if (UiGetText(w) != before) Notify(w, kUiEnChange);
}

}  // namespace

intptr_t UiEditProc(UiWindow w, uint32_t msg, uintptr_t wparam, intptr_t lparam) {
  const bool read_only = (UiGetStyle(w) & kUiEsReadOnly) != 0;
  const bool multiline = (UiGetStyle(w) & kUiEsMultiline) != 0;
  switch (msg) {
    case kUiMsgChar: {
      const char c = static_cast<char>(wparam & 0xFF);
      if (read_only) return 0;
      if (c == '\b') {
        EditDelete(w, true);
      } else if (c == '\r') {
        if (multiline) {
          const std::string before = UiGetText(w);
          UiEditReplaceSel(w, "\r\n");
          if (UiGetText(w) != before) Notify(w, kUiEnChange);
        }
      } else if (static_cast<unsigned char>(c) >= 0x20 && c != 0x7F) {
        EditType(w, c);
      }
      return 0;
    }
    case kUiMsgKeyDown:
      switch (wparam) {
        case kUiVkLeft:
          EditMoveCaret(w, EditCaret(w) - 1);
          break;
        case kUiVkRight:
          EditMoveCaret(w, EditCaret(w) + 1);
          break;
        case kUiVkHome:
          EditMoveCaret(w, 0);
          break;
        case kUiVkEnd:
          EditMoveCaret(w, static_cast<int>(UiGetText(w).size()));
          break;
        case kUiVkDelete:
          if (!read_only) EditDelete(w, false);
          break;
        default:
          break;
      }
      return 0;
    case kUiMsgLButtonDown: {
      UiSetFocus(w);
      const int cell = std::max(1, UiGetTextMetrics(UiGetFont(w)).average_width);
      const int pos = (UiLparamX(lparam) + cell / 2) / cell;
      UiEditSetSel(w, std::min(pos, static_cast<int>(UiGetText(w).size())),
                   std::min(pos, static_cast<int>(UiGetText(w).size())));
      return 0;
    }
    default:
      return UiDefWindowProc(w, msg, wparam, lparam);
  }
}

// ---------------------------------------------------------------------------
// BUTTON
// ---------------------------------------------------------------------------

namespace {

void ButtonClick(UiWindow w) {
  if ((UiGetStyle(w) & kUiBsTypeMask) == kUiBsAutoCheckBox) {
    UiSetCheck(w, UiGetCheck(w) == 1 ? 0 : 1);
  }
  Notify(w, kUiBnClicked);
}

}  // namespace

intptr_t UiButtonProc(UiWindow w, uint32_t msg, uintptr_t wparam, intptr_t lparam) {
  switch (msg) {
    case kUiMsgLButtonDown:
    case kUiMsgLButtonDblClk:
      UiSetFocus(w);
      UiSetPressed(w, true);
      return 0;
    case kUiMsgLButtonUp:
      if (UiGetPressed(w)) {
        UiSetPressed(w, false);
        if (PointInClient(w, lparam)) ButtonClick(w);
      }
      return 0;
    case kUiMsgKeyDown:
      if (wparam == kUiVkSpace) UiSetPressed(w, true);
      return 0;
    case kUiMsgKeyUp:
      if (wparam == kUiVkSpace && UiGetPressed(w)) {
        UiSetPressed(w, false);
        ButtonClick(w);
      }
      return 0;
    case kUiMsgKillFocus:
      UiSetPressed(w, false);
      return 0;
    default:
      return UiDefWindowProc(w, msg, wparam, lparam);
  }
}

// ---------------------------------------------------------------------------
// STATIC
// ---------------------------------------------------------------------------

intptr_t UiStaticProc(UiWindow w, uint32_t msg, uintptr_t wparam, intptr_t lparam) {
  if (msg == kUiMsgLButtonUp && (UiGetStyle(w) & kUiSsNotify)) {
    Notify(w, kUiStnClicked);
    return 0;
  }
  return UiDefWindowProc(w, msg, wparam, lparam);
}

// ---------------------------------------------------------------------------
// LISTBOX
// ---------------------------------------------------------------------------

namespace {

int ListRows(UiWindow w) {
  return std::max(1, UiGetClientRect(w).bottom / std::max(1, UiListGetItemHeight(w)));
}

void ListEnsureVisible(UiWindow w, int index) {
  const int top = UiListGetTopIndex(w);
  const int rows = ListRows(w);
  if (index < top) UiListSetTopIndex(w, index);
  if (index >= top + rows) UiListSetTopIndex(w, index - rows + 1);
}

// Selects an item after user input; notifies a change when the list asks.
void ListUserSelect(UiWindow w, int index) {
  if (index < 0 || index >= UiListCount(w)) return;
  const bool changed = UiListGetSel(w) != index;
  UiListSetSel(w, index);
  ListEnsureVisible(w, index);
  if (changed && (UiGetStyle(w) & kUiLbsNotify)) Notify(w, kUiLbnSelChange);
}

int ListItemAt(UiWindow w, intptr_t lparam) {
  const int y = UiLparamY(lparam);
  if (y < 0) return -1;
  const int index = UiListGetTopIndex(w) + y / std::max(1, UiListGetItemHeight(w));
  return index < UiListCount(w) ? index : -1;
}

}  // namespace

intptr_t UiListBoxProc(UiWindow w, uint32_t msg, uintptr_t wparam, intptr_t lparam) {
  switch (msg) {
    case kUiMsgLButtonDown:
      UiSetFocus(w);
      ListUserSelect(w, ListItemAt(w, lparam));
      return 0;
    case kUiMsgLButtonDblClk: {
      const int index = ListItemAt(w, lparam);
      if (index < 0) return 0;
      ListUserSelect(w, index);
      if (UiGetStyle(w) & kUiLbsNotify) Notify(w, kUiLbnDblClk);
      return 0;
    }
    case kUiMsgKeyDown: {
      const int count = UiListCount(w);
      if (count == 0) return 0;
      const int sel = UiListGetSel(w);
      int next = sel;
      switch (wparam) {
        case kUiVkUp:
          next = sel < 0 ? 0 : std::max(0, sel - 1);
          break;
        case kUiVkDown:
          next = sel < 0 ? 0 : std::min(count - 1, sel + 1);
          break;
        case kUiVkHome:
          next = 0;
          break;
        case kUiVkEnd:
          next = count - 1;
          break;
        case kUiVkPrior:
          next = std::max(0, (sel < 0 ? 0 : sel) - ListRows(w));
          break;
        case kUiVkNext:
          next = std::min(count - 1, (sel < 0 ? 0 : sel) + ListRows(w));
          break;
        default:
          return 0;
      }
      ListUserSelect(w, next);
      return 0;
    }
    default:
      return UiDefWindowProc(w, msg, wparam, lparam);
  }
}
