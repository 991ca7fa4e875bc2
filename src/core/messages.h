// The message catalogue and the standard message box.
//
// User-visible texts are numbered "0001" to "0130". The built-in texts are
// Spanish, held as three tab-separated blocks of "NNNN text" entries; a
// per-language message file "KV_LANG_<lang>.MSJ" in the definitions folder
// replaces them (tried once, at the first lookup). Message file lines are
// four digits, one separator and the text, "\n" standing for CR LF; files of
// 256 lines or more are ignored.
//
// Message boxes go through a replaceable handler: the shell installs one that
// shows a real box through the platform UI; until then a headless handler
// answers each box with its default button and records it (MsgLastBox).
#pragma once

#include <cstdint>
#include <string>

#include "core/str_desc.h"

// Message box kinds (buttons and icon).
enum MsgKind : int {
  kMsgOkInfo = 0,
  kMsgOkWarning = 1,
  kMsgOkCancelInfo = 2,
  kMsgOkError = 3,
  kMsgRetryCancelError = 4,
  kMsgYesNoInfo = 5,
  kMsgYesNoCancelInfo = 6,
};

// The button a box was closed with.
enum MsgButton : int { kMsgFailed = 0, kMsgOk, kMsgCancel, kMsgYes, kMsgNo, kMsgRetry };

// Shows a box: text and caption as Windows-1252 bytes (already defaulted),
// kind as above. Returns the button pressed.
using MsgBoxHandler = MsgButton (*)(StrDesc text, StrDesc caption, int kind);
void SetMsgBoxHandler(MsgBoxHandler handler);  // null restores the headless one

// What the headless handler saw last (for tests and headless runs).
struct MsgBoxRecord {
  std::string text;
  std::string caption;
  int kind = -1;
  MsgButton answer = kMsgFailed;
  int count = 0;  // boxes shown since MessagesReset
};
const MsgBoxRecord& MsgLastBox();

// The message file reader: reads the whole lines of `path` into DynStrings
// group 37 (a queue) and returns the count (65,535 when it cannot be opened).
// The definition-file reader installs itself here; until then a plain reader
// is used.
using MsgLineReader = uint16_t (*)(StrDesc path);
void SetMsgLineReader(MsgLineReader reader);

// The text of a four-digit key; a longer key may carry a default text after
// its fifth character, used when no message file is loaded.
StrDesc MsgGet(StrDesc key);
inline StrDesc MsgGet(const char* key) { return MsgGet(StrFromCstr(key)); }
// Shows a box (the default title of the kind when title is empty; discarding
// pending window messages first when no window is open). Answers: the first
// letter of item 1 of "0011" for OK, Retry and Yes; of item 2 for No; 3 for
// Cancel; 0 for a failed box.
char MsgBox(StrDesc text, StrDesc title, int kind);
// Kind 5 with the default title; true on yes.
bool MsgConfirm(StrDesc text);

// 1-based position of the current language (DynStrings (0, 4)) in
// "EN,ES,FR,DE,IT", 0 when absent.
int LangIndex();
// name with a language suffix before its extension (HELP.HLP → HELP_es.HLP):
// index -1 the current language, 0 none.
StrDesc LangFileName(StrDesc name, int language_index);

// Forgets a loaded message file and the last box (runtime start, tests).
void MessagesReset();
// The pending-message discard used by MsgBox when no window is open; the
// shell installs it.
using MsgDiscardPending = void (*)();
void SetMsgDiscardPending(MsgDiscardPending discard);
