// The window stack and the message loops.
//
// The runtime's user interface is a stack of top-level windows: the main menu
// at the bottom and above it every form, list or dialog a command opens. Only
// the top window takes input; the ones below are disabled while it is open.
// The registry keeps up to 32 open windows in opening order with a 16-bit
// value each (the screen number of the screens, -1 when none) and a show
// state. The loops poll the platform's queue: the main loop runs until no
// window is left or a quit message arrives; a modal loop runs until its window
// is no longer on top. A quit ends only the innermost running loop.
//
// Also here: placement of top windows on the (fixed 240 x 294) screen, the
// main caption, the runtime key codes, the centred text panel and the
// selection pop-up (a grid of buttons or a list box).
#pragma once

#include <cstdint>

#include "core/str_desc.h"
#include "platform/ui.h"

constexpr uint16_t kWindowSlots = 32;

// Forgets every registered window and the fixed settings (start-up, tests).
void WindowStackReset();

// The fixed screen size used instead of the desktop work area (0, 0: the
// desktop), and the character cell used to size windows from text grids.
void SetFixedScreenSize(int width, int height);
UiRect ScreenArea();
void SetShellFont(UiFont font);
UiFont ShellFont();
// Character cell of the shell font (width, height).
int CharWidth();
int CharHeight();

// Registers a window with a value; re-registering makes it the top window
// again and replaces its value. Returns the handle, 0 when 32 are open.
UiWindow WindowRegister(UiWindow handle, int16_t value);
// Removes a window (wherever it stands); the new top window is enabled and
// focused. Returns 1 when no window remains, else 0.
int WindowUnregister(UiWindow handle);
// The top registered window, or 0.
UiWindow WindowTop();
// The number of registered windows.
uint16_t WindowCount();
// The value stored with a window; -1 (all ones) when not registered.
int16_t WindowValue(UiWindow handle);
// -1 shows the top window (maximised with show state 4 and no fixed screen)
// and repaints it; 2 shows it normally; 1 clears its show state; any other
// value becomes its show state.
void WindowShow(int request);

// Creates a top-level window owned by the current top window: the class is
// registered on first use (null procedure: the platform default); style bit
// 0x80 disables the current top window first; width or height -1 mean the
// system default. The window is registered with value -1. Null on failure.
UiWindow WindowCreate(const char* class_name, StrDesc title, uint32_t style, int x, int y,
                      int width, int height, int id, UiWndProc procedure);

// Places the top window: the client size wanted (kUiDefault: from the text
// grid cols x rows), at (x, y) or centred, kept inside the screen area, with
// scroll bars when the content (content_width x content_height, 0: none) is
// larger than the client area.
void WindowPlace(UiWindow window, int x, int y, int client_width, int client_height,
                 int content_width, int content_height);

// Takes and dispatches every waiting message of the window (all when 0)
// until none waits or a quit was dispatched. 1 when a quit was seen or no
// window remains.
int PumpPending(UiWindow window);
// Runs until the window is no longer on top (0: until no window is left or a
// quit arrives), then dispatches what is still waiting.
void MessageLoop(UiWindow window);
// Asks the innermost loop to end.
void PostQuit(UiWindow window);

void WindowSetCaption(UiWindow handle, StrDesc text);
// The control's text, at most max bytes (384 when max is -1), trailing
// blanks removed; pushed on the TempStack.
StrDesc WindowGetText(UiWindow handle, int max);
void EnableAndFocus(UiWindow handle);

// The runtime key code of a virtual key (4 for keys without one).
int KeyCode(uint32_t virtual_key);

// The main window caption: the text (or the application title), today's
// date, the database name and the working folder's last component.
StrDesc MainCaption(StrDesc text);

// Paints a centred white text on a grey panel over the client area.
void PaintTextPanel(UiWindow window, StrDesc text);

// Offers the comma list of choices and returns the chosen item (1-based), 0
// when cancelled, 0xFFFF when the title is empty. Flags: bit 1 a pop-up
// window of its own, bit 2 a list box instead of buttons, bit 4 centred over
// the focused control. `x`, `y` place the pop-up when given.
uint16_t SelectFromList(StrDesc title, StrDesc choices, int flags, int x = kUiDefault,
                        int y = kUiDefault);
