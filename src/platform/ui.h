// The user interface: windows, controls, a message queue, timers, fonts and
// message boxes, behind one interface whatever backend runs.
//
// Backend checklist (what a backend implements, see ui_backend.h):
//   [x] headless  [ ] sdl
//   - name, init and shutdown
//   - desktop work area and frame metrics (caption, borders, scroll bars)
//   - text metrics and text extents of a font
//   - live input: turn device events into key, character and mouse messages
//     posted with UiPostInput (the headless backend has none: the UI script
//     is its only input)
//   - message boxes shown to a user (headless: the default button)
//   - image files for bitmap buttons (size from the file header)
//   - screenshots (headless: a plain-text dump of the window stack)
//   - drawing: whatever the renderer keeps of paint and draw calls (headless:
//     the last painted texts, shown in screenshots)
//
// The model is the same for every backend and lives in memory: window
// classes with procedures, top-level windows (z-ordered, one active) and
// child controls of the classes "EDIT", "BUTTON", "STATIC" and "LISTBOX",
// focus, a message queue, timers, fonts, scroll bars. Message numbers, styles,
// notification codes and virtual-key codes have the values of the Windows
// interface, so the runtime's key and command tables work unchanged. Every
// text crossing this interface is Windows-1252; the backends convert where
// they draw or read typed text. Handles are never reused while the UI is up;
// every function tolerates a handle that is dead or 0 (it fails or does
// nothing). Single thread. Nothing works before UiInit; UiShutdown drops
// every table, so tests can bring the UI up and down in one process.
//
// Queue rules. Posted messages come before input messages (keys, clicks),
// then a quit request, then paint messages, then due timers. When the whole
// queue is empty, the input source is asked for more: a live backend reads its
// devices, a UI script runs its next step (see README-ui-script.md); without
// any (script exhausted or absent, no live input) a quit message is produced
// instead. It is asked only on the fourth poll of the whole queue in a row that
// finds it empty (nothing taken in between); the polls before report the queue
// empty. So loops that only drain what is waiting end at once and the next
// input reaches the loop that waits for it, as with a user who acts after the
// program has settled; every polling loop ends at a quit, nested loops one
// after the other. Polls filtered by a window never ask the input source
// (unless they keep spinning for 100,000 polls). To throw pending messages
// away use UiDiscardMessages, which never runs script steps.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

using UiWindow = uint32_t;  // 0: no window
using UiFont = uint32_t;    // 0: no font
using UiWndProc = intptr_t (*)(UiWindow window, uint32_t message, uintptr_t wparam,
                               intptr_t lparam);

// ---------------------------------------------------------------------------
// Numbers of the Windows interface
// ---------------------------------------------------------------------------

inline constexpr uint32_t kUiMsgNull = 0x0000;
// lparam: const UiCreateParams*; -1 from the procedure refuses.
inline constexpr uint32_t kUiMsgCreate = 0x0001;
inline constexpr uint32_t kUiMsgDestroy = 0x0002;
inline constexpr uint32_t kUiMsgMove = 0x0003;  // lparam: client origin (x, y)
inline constexpr uint32_t kUiMsgSize = 0x0005;  // lparam: client size (width, height)
// wparam: 1 active, 0 inactive; lparam: the other window.
inline constexpr uint32_t kUiMsgActivate = 0x0006;
inline constexpr uint32_t kUiMsgSetFocus = 0x0007;   // wparam: the window losing the focus
inline constexpr uint32_t kUiMsgKillFocus = 0x0008;  // wparam: the window receiving the focus
inline constexpr uint32_t kUiMsgEnable = 0x000A;     // wparam: 1 enabled
inline constexpr uint32_t kUiMsgPaint = 0x000F;
inline constexpr uint32_t kUiMsgClose = 0x0010;
inline constexpr uint32_t kUiMsgQuit = 0x0012;  // wparam: exit code
inline constexpr uint32_t kUiMsgShowWindow = 0x0018;
// Sent by a renderer to the parent of an owner-drawn button.
inline constexpr uint32_t kUiMsgDrawItem = 0x002B;
inline constexpr uint32_t kUiMsgKeyDown = 0x0100;
inline constexpr uint32_t kUiMsgKeyUp = 0x0101;
inline constexpr uint32_t kUiMsgChar = 0x0102;  // wparam: Windows-1252 byte
// wparam: (id, notification code); lparam: the control.
inline constexpr uint32_t kUiMsgCommand = 0x0111;
inline constexpr uint32_t kUiMsgTimer = 0x0113;    // wparam: timer id
inline constexpr uint32_t kUiMsgHScroll = 0x0114;  // wparam: (scroll code, position)
inline constexpr uint32_t kUiMsgVScroll = 0x0115;
inline constexpr uint32_t kUiMsgLButtonDown = 0x0201;  // lparam: client point (x, y)
inline constexpr uint32_t kUiMsgLButtonUp = 0x0202;
inline constexpr uint32_t kUiMsgLButtonDblClk = 0x0203;
inline constexpr uint32_t kUiMsgUser = 0x0400;
inline constexpr uint32_t kUiMsgApp = 0x8000;

// Window styles and extended styles.
inline constexpr uint32_t kUiWsOverlapped = 0x00000000;
inline constexpr uint32_t kUiWsPopup = 0x80000000;
inline constexpr uint32_t kUiWsChild = 0x40000000;
inline constexpr uint32_t kUiWsVisible = 0x10000000;
inline constexpr uint32_t kUiWsDisabled = 0x08000000;
inline constexpr uint32_t kUiWsCaption = 0x00C00000;  // title bar (includes the border)
inline constexpr uint32_t kUiWsBorder = 0x00800000;
inline constexpr uint32_t kUiWsDlgFrame = 0x00400000;
inline constexpr uint32_t kUiWsVScroll = 0x00200000;
inline constexpr uint32_t kUiWsHScroll = 0x00100000;
inline constexpr uint32_t kUiWsSysMenu = 0x00080000;  // the close box
inline constexpr uint32_t kUiWsThickFrame = 0x00040000;
inline constexpr uint32_t kUiWsMinimizeBox = 0x00020000;
inline constexpr uint32_t kUiWsMaximizeBox = 0x00010000;
inline constexpr uint32_t kUiWsTabStop = 0x00010000;
inline constexpr uint32_t kUiWsExDlgModalFrame = 0x00000001;
inline constexpr uint32_t kUiWsExTopmost = 0x00000008;
inline constexpr uint32_t kUiWsExClientEdge = 0x00000200;

// Control styles: edit, button, static, list box.
inline constexpr uint32_t kUiEsLeft = 0x0000;
inline constexpr uint32_t kUiEsCenter = 0x0001;
inline constexpr uint32_t kUiEsRight = 0x0002;
inline constexpr uint32_t kUiEsMultiline = 0x0004;
inline constexpr uint32_t kUiEsUppercase = 0x0008;
inline constexpr uint32_t kUiEsLowercase = 0x0010;
inline constexpr uint32_t kUiEsPassword = 0x0020;
inline constexpr uint32_t kUiEsAutoVScroll = 0x0040;
inline constexpr uint32_t kUiEsAutoHScroll = 0x0080;
inline constexpr uint32_t kUiEsReadOnly = 0x0800;
inline constexpr uint32_t kUiEsNumber = 0x2000;
inline constexpr uint32_t kUiBsPushButton = 0x0;
inline constexpr uint32_t kUiBsDefPushButton = 0x1;
inline constexpr uint32_t kUiBsCheckBox = 0x2;      // the owner toggles it
inline constexpr uint32_t kUiBsAutoCheckBox = 0x3;  // toggles itself when clicked
inline constexpr uint32_t kUiBsOwnerDraw = 0xB;
inline constexpr uint32_t kUiBsTypeMask = 0xF;
inline constexpr uint32_t kUiBsBitmap = 0x80;
inline constexpr uint32_t kUiSsLeft = 0x0;
inline constexpr uint32_t kUiSsCenter = 0x1;
inline constexpr uint32_t kUiSsRight = 0x2;
inline constexpr uint32_t kUiSsNotify = 0x100;
// List boxes notify selection changes and double clicks only with it.
inline constexpr uint32_t kUiLbsNotify = 0x1;
inline constexpr uint32_t kUiLbsSort = 0x2;

// Notification codes (high word of a command's wparam).
inline constexpr uint16_t kUiBnClicked = 0;
inline constexpr uint16_t kUiStnClicked = 0;
inline constexpr uint16_t kUiLbnSelChange = 1;
inline constexpr uint16_t kUiLbnDblClk = 2;
inline constexpr uint16_t kUiEnChange = 0x0300;  // sent after typing changed an edit control's text

// Scroll bars and scroll codes.
inline constexpr int kUiSbHorz = 0;
inline constexpr int kUiSbVert = 1;
inline constexpr int kUiSbLineUp = 0;
inline constexpr int kUiSbLineDown = 1;
inline constexpr int kUiSbPageUp = 2;
inline constexpr int kUiSbPageDown = 3;
inline constexpr int kUiSbThumbPosition = 4;
inline constexpr int kUiSbThumbTrack = 5;
inline constexpr int kUiSbTop = 6;
inline constexpr int kUiSbBottom = 7;
inline constexpr int kUiSbEndScroll = 8;

// Show commands.
inline constexpr int kUiSwHide = 0;
inline constexpr int kUiSwShowNormal = 1;
inline constexpr int kUiSwShowMaximized = 3;
inline constexpr int kUiSwShowNoActivate = 4;
inline constexpr int kUiSwShow = 5;

// Virtual-key codes (letters and digits are their upper-case ASCII codes).
inline constexpr uint32_t kUiVkBack = 8;
inline constexpr uint32_t kUiVkTab = 9;
inline constexpr uint32_t kUiVkReturn = 13;
inline constexpr uint32_t kUiVkShift = 16;
inline constexpr uint32_t kUiVkControl = 17;
inline constexpr uint32_t kUiVkMenu = 18;
inline constexpr uint32_t kUiVkEscape = 27;
inline constexpr uint32_t kUiVkSpace = 32;
inline constexpr uint32_t kUiVkPrior = 33;  // Page Up
inline constexpr uint32_t kUiVkNext = 34;   // Page Down
inline constexpr uint32_t kUiVkEnd = 35;
inline constexpr uint32_t kUiVkHome = 36;
inline constexpr uint32_t kUiVkLeft = 37;
inline constexpr uint32_t kUiVkUp = 38;
inline constexpr uint32_t kUiVkRight = 39;
inline constexpr uint32_t kUiVkDown = 40;
inline constexpr uint32_t kUiVkInsert = 45;
inline constexpr uint32_t kUiVkDelete = 46;
inline constexpr uint32_t kUiVkF1 = 112;  // F1..F12 are 112..123
inline constexpr uint32_t kUiVkF11 = 122;
inline constexpr uint32_t kUiVkF12 = 123;
inline constexpr uint32_t kUiVkPacket = 231;  // a typed character with no key of its own

// Key messages: lparam bits 0..15 repeat count, bits 16..23 the Windows-1252
// character the key types (0: none; UiTranslateMessage turns it into a
// character message), bit 24 extended key, bit 30 previous state, bit 31 up.
constexpr intptr_t UiKeyLparam(unsigned char typed, bool extended, bool up) {
  return static_cast<intptr_t>(1u | (static_cast<uint32_t>(typed) << 16) |
                               (extended ? 1u << 24 : 0u) | (up ? 3u << 30 : 0u));
}

constexpr uint16_t UiLoWord(uintptr_t v) {
  return static_cast<uint16_t>(v & 0xFFFF);
}
constexpr uint16_t UiHiWord(uintptr_t v) {
  return static_cast<uint16_t>((v >> 16) & 0xFFFF);
}
constexpr uintptr_t UiMakeWparam(uint16_t lo, uint16_t hi) {
  return static_cast<uintptr_t>(lo) | (static_cast<uintptr_t>(hi) << 16);
}
// A point or size packed as two signed 16-bit halves.
constexpr intptr_t UiMakeLparam(int x, int y) {
  return static_cast<intptr_t>((static_cast<uint32_t>(x) & 0xFFFF) |
                               ((static_cast<uint32_t>(y) & 0xFFFF) << 16));
}
constexpr int UiLparamX(intptr_t v) {
  return static_cast<int16_t>(v & 0xFFFF);
}
constexpr int UiLparamY(intptr_t v) {
  return static_cast<int16_t>((v >> 16) & 0xFFFF);
}

// ---------------------------------------------------------------------------
// Records
// ---------------------------------------------------------------------------

struct UiRect {
  int left = 0, top = 0, right = 0, bottom = 0;
  int Width() const { return right - left; }
  int Height() const { return bottom - top; }
};

struct UiMessage {
  UiWindow window = 0;
  uint32_t message = 0;
  uintptr_t wparam = 0;
  intptr_t lparam = 0;
  uint64_t time = 0;  // monotonic milliseconds when posted
};

constexpr int kUiDefault = INT32_MIN;  // position or size chosen by the system

struct UiCreateParams {
  std::string_view class_name;
  std::string_view text;  // caption or control text
  uint32_t style = 0;
  uint32_t ex_style = 0;
  int x = kUiDefault, y = kUiDefault, width = kUiDefault, height = kUiDefault;
  UiWindow parent = 0;  // the parent of a child (kUiWsChild), else the owner
  int id = 0;           // control identifier of a child
};

struct UiFontDesc {
  std::string face;  // Windows-1252
  int height = 0;    // character height in pixels (sign ignored); 0: default
  int width = 0;     // average character width; 0: from the height
  int weight = 400;  // 400 normal, 700 bold
  bool italic = false;
  bool underline = false;
};

struct UiTextMetrics {
  int height = 0;  // ascent + descent
  int ascent = 0;
  int descent = 0;
  int average_width = 0;
  int max_width = 0;
  int weight = 400;
};

// Stock fonts (always valid while the UI is up).
inline constexpr UiFont kUiFontSystem = 1;
inline constexpr UiFont kUiFontOemFixed = 2;
inline constexpr UiFont kUiFontAnsiFixed = 3;
inline constexpr UiFont kUiFontGui = 4;

enum class UiMsgBoxButtons : uint8_t { kOk, kOkCancel, kRetryCancel, kYesNo, kYesNoCancel };
enum class UiMsgBoxIcon : uint8_t { kNone, kInfo, kWarning, kError };
// Answers carry the Windows numbers; kNone means the box could not be shown.
enum class UiAnswer : uint8_t { kNone = 0, kOk = 1, kCancel = 2, kRetry = 4, kYes = 6, kNo = 7 };

enum class UiMetric : uint8_t {
  kCaptionHeight,  // title bar height
  kBorder,         // thin border (kUiWsBorder)
  kDialogFrame,    // dialog frame (kUiWsDlgFrame, kUiWsExDlgModalFrame)
  kThickFrame,     // sizing frame
  kClientEdge,     // sunken edge (kUiWsExClientEdge)
  kVScrollWidth,
  kHScrollHeight,
};

// Settings of UiInitWith. Empty strings leave the environment's value.
struct UiConfig {
  std::string backend;          // "headless" or "sdl"; else QUILLON_UI
  std::string script_path;      // a UI script file (UTF-8); else QUILLON_UI_SCRIPT
  std::string script_text;      // a UI script given directly (wins over any file)
  std::string transcript_path;  // else QUILLON_UI_TRANSCRIPT
  bool use_environment = true;  // false: read no environment variable at all
  int screen_width = 0;         // headless desktop size; 0: 1024 x 768
  int screen_height = 0;
};

// ---------------------------------------------------------------------------
// Start and end
// ---------------------------------------------------------------------------

// Brings the UI up from the environment: QUILLON_UI=headless|sdl chooses the
// backend (default: sdl when DISPLAY or WAYLAND_DISPLAY is set, else
// headless); the SDL backend is not built yet, so choosing it prints one line
// on stderr and runs headless. QUILLON_UI_SCRIPT and QUILLON_UI_TRANSCRIPT name
// the script and the transcript. Returns false when the UI is already up or
// the backend cannot start. A script that cannot be read or parsed is reported
// (stderr and transcript) and runs as an empty script.
bool UiInit();
bool UiInitWith(const UiConfig& config);

// Destroys every window and drops every table, the script and the
// transcript (closed). Nothing when the UI is down.
void UiShutdown();

bool UiIsUp();

// The running backend's name ("headless"), or "" when the UI is down.
std::string_view UiBackendName();

// Replaces the script (UTF-8 text; `name` is used in error lines) / reads it
// from a file. Returns false, after reporting, when it does not parse: the
// script is then empty.
bool UiSetScript(std::string_view text, std::string_view name);
bool UiSetScriptFile(std::string_view path);

// Starts a new transcript in a file (truncated); an empty path stops it.
// Returns false when the file cannot be created.
bool UiSetTranscriptFile(std::string_view path);

// ---------------------------------------------------------------------------
// Transcript
// ---------------------------------------------------------------------------

// Adds a line (Windows-1252) to the transcript, written as UTF-8 and flushed;
// raw CR, LF and other control bytes are escaped so a line stays one line.
// Nothing without a transcript.
void UiTranscript(std::string_view line_cp1252);

// A text in double quotes with backslash, double quote, CR, LF and tab
// escaped (\\ \" \r \n \t) and other control bytes as \xHH, still
// Windows-1252: the form every quoted field of the transcript takes.
std::string UiTranscriptQuote(std::string_view text_cp1252);

// ---------------------------------------------------------------------------
// Classes and procedures
// ---------------------------------------------------------------------------

// Registers a window class (names compare without case). A null procedure
// means UiDefWindowProc. Returns false for an empty or taken name.
bool UiRegisterClass(std::string_view name, UiWndProc procedure, uint32_t class_style);

// True when the class exists; *procedure (when given) receives its procedure.
bool UiClassInfo(std::string_view name, UiWndProc* procedure);

// The default handling: close destroys the window, activation gives it the
// focus, paint and everything else do nothing. Returns 0.
intptr_t UiDefWindowProc(UiWindow window, uint32_t message, uintptr_t wparam, intptr_t lparam);

// Replaces a window's procedure; returns the previous one (null for a dead
// window, which is left alone). Calling the previous procedure from the new
// one chains them.
UiWndProc UiSetWindowProc(UiWindow window, UiWndProc procedure);
UiWndProc UiGetWindowProc(UiWindow window);

// Calls a procedure (UiDefWindowProc when null). Returns its result, 0 for a
// dead window.
intptr_t UiCallWindowProc(UiWndProc procedure, UiWindow window, uint32_t message, uintptr_t wparam,
                          intptr_t lparam);

// ---------------------------------------------------------------------------
// Windows
// ---------------------------------------------------------------------------

// Creates a window: sends kUiMsgCreate (refused on -1), then shows it when the
// style has kUiWsVisible (a shown top-level window comes to the top and is
// activated when enabled). A top-level window's owner is the top-level window
// of p.parent. Default positions and sizes: top-level windows at one eighth
// of the work area and half its size, controls at 0 with size 0. Returns the
// handle, or 0 for an unknown class, a child without a live parent, or a
// refusal.
UiWindow UiCreateWindow(const UiCreateParams& p);

// Destroys a window, its owned windows and its children: another window is
// activated first when it was active, the focus leaves it, then kUiMsgDestroy
// goes to it and to its children, its timers stop and its queued messages are
// dropped. Returns false for a dead window.
bool UiDestroyWindow(UiWindow window);

bool UiIsWindow(UiWindow window);

// Class name; style and extended style (setting them changes no geometry).
std::string UiGetClassName(UiWindow window);
uint32_t UiGetStyle(UiWindow window);
uint32_t UiGetExStyle(UiWindow window);
void UiSetStyle(UiWindow window, uint32_t style);
void UiSetExStyle(UiWindow window, uint32_t ex_style);

// Relations: the parent of a child (0 for top-level windows); the owner of a
// top-level window; the top-level window of any window; children in creation
// order; top-level windows from the bottom of the z-order to the top.
UiWindow UiGetParent(UiWindow window);
UiWindow UiGetOwner(UiWindow window);
UiWindow UiGetTopLevel(UiWindow window);
std::vector<UiWindow> UiGetChildren(UiWindow window);
std::vector<UiWindow> UiGetTopLevelWindows();

// The visible top-level window highest in the z-order (the one a user sees
// in front), or 0.
UiWindow UiGetTopWindow();

// Control identifiers: the direct child with that id / the first descendant
// with it (depth first, creation order), 0 when none; a window's own id.
UiWindow UiGetDlgItem(UiWindow parent, int id);
UiWindow UiFindControl(UiWindow ancestor, int id);
int UiGetDlgCtrlId(UiWindow window);

// Caption or control text. Changing a top-level window's caption adds a
// caption line to the transcript.
bool UiSetText(UiWindow window, std::string_view text);
std::string UiGetText(UiWindow window);

// Enables or disables (kUiMsgEnable is sent on a change; disabling a window
// that holds the focus removes the focus). Returns whether it was enabled.
// UiIsEnabled: the window and all its ancestors are enabled.
bool UiEnableWindow(UiWindow window, bool enable);
bool UiIsEnabled(UiWindow window);

// Shows or hides with a show command; returns whether it was visible. Hiding
// the active window activates another; hiding a window moves the focus out of
// it. UiIsVisible: the window and all its ancestors are shown.
bool UiShowWindow(UiWindow window, int command);
bool UiIsVisible(UiWindow window);
bool UiIsMaximized(UiWindow window);

// Position (in the parent's client area, or on the screen for top-level
// windows) and outer size; kUiMsgMove and kUiMsgSize are sent on changes.
bool UiMoveWindow(UiWindow window, int x, int y, int width, int height);
// The outer rectangle in screen coordinates / in the parent's client area.
UiRect UiGetWindowRect(UiWindow window);
UiRect UiGetPlacement(UiWindow window);
// The client area (origin 0, 0) and its origin in screen coordinates.
UiRect UiGetClientRect(UiWindow window);
UiRect UiClientToScreen(UiWindow window, UiRect r);
// The outer rectangle for a wanted client rectangle with these styles.
UiRect UiAdjustWindowRect(UiRect client, uint32_t style, uint32_t ex_style);

// Frame metrics and the desktop work area of the backend.
int UiGetMetric(UiMetric metric);
UiRect UiGetWorkArea();

// A value slot per window for its owner's use; set returns the old value.
intptr_t UiSetUserData(UiWindow window, intptr_t value);
intptr_t UiGetUserData(UiWindow window);

// ---------------------------------------------------------------------------
// Activation and focus
// ---------------------------------------------------------------------------

// Activates a top-level window (of any window given): kUiMsgActivate to the
// old and the new one, the new one brought to the top with its owned windows.
// Returns the previously active window; 0 and nothing done for a dead,
// hidden or disabled window.
UiWindow UiSetActiveWindow(UiWindow window);
UiWindow UiGetActiveWindow();

// Gives the keyboard focus (0 removes it): kUiMsgKillFocus to the old, then
// kUiMsgSetFocus to the new window, whose top-level window is activated first.
// Moving the focus to a control adds a focus line to the transcript. Returns
// the previous focus; 0 and nothing done for a dead, hidden or disabled window.
UiWindow UiSetFocus(UiWindow window);
UiWindow UiGetFocus();

// The state of a key as of the last key message taken from the queue.
bool UiKeyState(uint32_t virtual_key);

// ---------------------------------------------------------------------------
// Messages
// ---------------------------------------------------------------------------

// Queues a message for a window (0: for the thread). Returns false for a dead
// window or when the UI is down.
bool UiPostMessage(UiWindow window, uint32_t message, uintptr_t wparam, intptr_t lparam);

// Asks the innermost polling loop to end: the next peek with an otherwise
// empty posted and input queue returns kUiMsgQuit with this exit code.
void UiPostQuitMessage(int exit_code);

// Calls the window's procedure now and returns its result (0 for a dead
// window).
intptr_t UiSendMessage(UiWindow window, uint32_t message, uintptr_t wparam, intptr_t lparam);

// Looks at the queue in the order of the queue rules (above). filter 0 takes
// messages of every window and of the thread; otherwise those of the window
// and its descendants (quit messages whatever the filter). With remove the
// message is taken. Returns false when nothing matched (an empty queue may
// first run the input source, see above).
bool UiPeekMessage(UiMessage* out, UiWindow filter, bool remove);

// For a key-down message whose lparam carries a typed character, queues the
// character message right away (before later input). Returns true when it
// did.
bool UiTranslateMessage(const UiMessage& message);

// Calls the procedure of the message's window (timers of a dead window and
// messages without a window do nothing). Returns the procedure's result.
intptr_t UiDispatchMessage(const UiMessage& message);

// Drops every posted and input message and a pending quit, without running
// the input source.
void UiDiscardMessages();

// ---------------------------------------------------------------------------
// Timers and painting
// ---------------------------------------------------------------------------

// Starts (or restarts) timer id on a window: kUiMsgTimer with wparam id every
// interval (at least 10 ms), delivered when nothing else waits. Returns false
// for a dead window or id 0.
bool UiSetTimer(UiWindow window, uintptr_t id, uint32_t interval_ms);
bool UiKillTimer(UiWindow window, uintptr_t id);
// Milliseconds until the next timer of any window is due (0: due now), or -1
// when no timer runs.
int64_t UiNextTimerDelay();

// Marks a window for painting: a kUiMsgPaint comes when nothing else waits
// (taking it from the queue validates the window). Shown top-level windows
// are marked when shown, moved or resized.
void UiInvalidate(UiWindow window);
// Sends the paint message at once when the window is marked.
void UiUpdateWindow(UiWindow window);

// Drawing into a window's client area, for the window procedures that paint
// themselves. UiPaintBegin starts a new picture of the window (dropping the
// previous one); the drawing calls add to it. Colours are 0xRRGGBB.
void UiPaintBegin(UiWindow window);
void UiFillRect(UiWindow window, UiRect r, uint32_t color);
inline constexpr uint32_t kUiTextLeft = 0;
inline constexpr uint32_t kUiTextCenter = 1;
inline constexpr uint32_t kUiTextRight = 2;
inline constexpr uint32_t kUiTextVCenter = 4;
void UiDrawText(UiWindow window, UiRect r, std::string_view text, uint32_t color, UiFont font,
                uint32_t align);
// The texts drawn since the last UiPaintBegin, in order (for dumps and tests).
std::vector<std::string> UiPaintedTexts(UiWindow window);

// ---------------------------------------------------------------------------
// Scroll bars
// ---------------------------------------------------------------------------

// Range and position of a window's scroll bar (kUiSbHorz or kUiSbVert); the
// position is kept inside the range. Set returns the previous position.
void UiSetScrollRange(UiWindow window, int bar, int min, int max);
void UiGetScrollRange(UiWindow window, int bar, int* min, int* max);
int UiSetScrollPos(UiWindow window, int bar, int pos);
int UiGetScrollPos(UiWindow window, int bar);
// Shows or hides a scroll bar (the kUiWsHScroll / kUiWsVScroll style bit).
void UiShowScrollBar(UiWindow window, int bar, bool show);
// Moves the children of a window by (dx, dy) and marks it for painting.
void UiScrollWindow(UiWindow window, int dx, int dy);

// ---------------------------------------------------------------------------
// Fonts and text metrics
// ---------------------------------------------------------------------------

// Creates a font; returns its handle (0 when the UI is down).
UiFont UiCreateFont(const UiFontDesc& desc);
// Deletes a created font (stock fonts stay). Windows keep the handle, which
// then reads as the system font.
void UiDeleteFont(UiFont font);
bool UiGetFontDesc(UiFont font, UiFontDesc* out);

// The font a window draws with (the system font when none was set).
void UiSetFont(UiWindow window, UiFont font);
UiFont UiGetFont(UiWindow window);

// Metrics of a font and the size of a one-line text drawn with it (an unknown
// font measures as the system font). Headless: the character cell is the
// font's width by its height (width 0: half the height; height 0: 16; the
// stock fonts 8 x 16), every byte one cell wide, bold no wider.
UiTextMetrics UiGetTextMetrics(UiFont font);
UiRect UiGetTextExtent(UiFont font, std::string_view text);

// ---------------------------------------------------------------------------
// Controls
// ---------------------------------------------------------------------------

// Edit controls: selection (end -1: to the end of the text), text limit
// (0: the default 30,000), replacing the selection with text.
void UiEditSetSel(UiWindow edit, int start, int end);
void UiEditGetSel(UiWindow edit, int* start, int* end);
void UiEditSetLimit(UiWindow edit, int limit);
int UiEditGetLimit(UiWindow edit);
void UiEditReplaceSel(UiWindow edit, std::string_view text);

// Buttons: check state (0 clear, 1 set, 2 undetermined); the image of a
// bitmap button, read from a file (false, and no image, when it is not a
// readable BMP or PNG file).
void UiSetCheck(UiWindow button, int state);
int UiGetCheck(UiWindow button);
bool UiSetButtonImage(UiWindow button, std::string_view path);
std::string UiGetButtonImage(UiWindow button);

// List boxes: items (sorted on insertion with kUiLbsSort, ignoring case),
// selection (-1: none; setting it sends no notification), item height, the
// first visible item. Add and insert return the item's index or -1.
int UiListAdd(UiWindow list, std::string_view text);
int UiListInsert(UiWindow list, int index, std::string_view text);
bool UiListDelete(UiWindow list, int index);
void UiListClear(UiWindow list);
int UiListCount(UiWindow list);
std::string UiListText(UiWindow list, int index);
int UiListGetSel(UiWindow list);
bool UiListSetSel(UiWindow list, int index);
void UiListSetItemHeight(UiWindow list, int height);
int UiListGetItemHeight(UiWindow list);
void UiListSetTopIndex(UiWindow list, int index);
int UiListGetTopIndex(UiWindow list);

// ---------------------------------------------------------------------------
// Message boxes
// ---------------------------------------------------------------------------

// Shows a message box owned by a window and returns the answer. The default
// button is the first (default_button 1..3 chooses another). With a UI script
// the answer is the script's next step when it is an answer step, else the
// default button. Headless, the box is answered at once: no window appears and
// the owner is left as it is. Adds a msgbox line to the transcript.
UiAnswer UiMessageBox(UiWindow owner, std::string_view text, std::string_view caption,
                      UiMsgBoxButtons buttons, UiMsgBoxIcon icon, int default_button = 1);
