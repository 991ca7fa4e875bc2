// The progress pop-up: a small top-most window that shows what is running
// and has a Stop button, and the stop answers that long runs ask for between
// their steps (procedure lines, report groups, the record search of a
// report).
//
// ProgressPopUpCancel and ProgressStopTest answer 0 until the user presses
// Stop, then 122 until the pop-up is closed (or, inside a session, until the
// session ends). The pop-up appears when ProgressPopUp asks for it, or by
// itself when a session (ProgressBegin .. ProgressEnd, the procedure runner
// opens one around each run) has gone on for more than kProgressDelayMs. While
// it is shown, each stop answer (at most every kProgressPumpMs) takes and
// dispatches the messages waiting for the pop-up itself, then looks once at
// the whole queue without taking anything, which lets the input source run
// as it does for a waiting loop (a live backend reads its devices; a UI
// script carries out its next step after a few such looks, so `click Stop`
// works). Nothing waits, no message loop runs, and messages of other windows
// and any quit request stay in the queue. The window is made through the
// platform UI and is not a window of the window stack, so modal loops below
// it are not disturbed. Without the UI (tools, unit tests) nothing is shown
// and the answers stay 0. Texts are Windows-1252. Single thread.
#pragma once

#include <cstdint>

#include "core/str_desc.h"
#include "platform/ui.h"

// A session shows the pop-up after this long.
constexpr uint64_t kProgressDelayMs = 500;
// Least time between two looks at the pop-up's messages.
constexpr uint64_t kProgressPumpMs = 50;
// The Stop button's control identifier, and the pop-up's window class.
constexpr int kProgressStopId = 2;
extern const char kProgressClass[];

// Shows the pop-up for a run over data file `file` (65,535: no particular
// file; the text is then the catalogue's "Imprimiendo"); nothing changes
// when it is shown already. 0; 179 when the window cannot be made (the UI is
// not up). flags are not used.
Status ProgressPopUp(uint16_t file, uint16_t flags);
// Removes the pop-up (nothing when none is shown). Outside a session the stop
// request is forgotten.
void ProgressPopUpClose();
// The stop request before a further step: 0 to go on, 122 after Stop.
Status ProgressPopUpCancel();
// The per-record stop test of the record search: as ProgressPopUpCancel; the
// pop-up shows `current` (the current record's key text) as its progress.
Status ProgressStopTest(StrDesc current);

// A session around a run that may be long. Sessions nest; the outermost one
// notes the start time and shows `what` (copied) in the pop-up. When the
// outermost session ends, a pop-up it showed is removed and the stop request
// forgotten.
void ProgressBegin(StrDesc what);
void ProgressEnd();

// The pop-up window (0 when none), whether Stop was pressed, the nesting of
// sessions (tests, diagnostics).
UiWindow ProgressWindow();
bool ProgressStopRequested();
uint16_t ProgressDepth();
// Destroys the pop-up and forgets every state (runtime shutdown, tests).
void ProgressReset();
