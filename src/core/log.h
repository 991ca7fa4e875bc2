// The error log and assertions.
//
// Error reports are appended to a text file framed by a header line of 29
// asterisks with the date, time and user, and a trailer of 22 asterisks; the
// application's log is "<prefix>log.txt" in the working folder (the prefix is
// the first two characters of the application code, DynStrings (0, 2)), or the
// name held in DynStrings (9, 10). A failed assertion tells the user, writes
// its report to "assertions.log" and ends the process abnormally.
#pragma once

#include "core/str_desc.h"

// (9, 10) when set, else the application log name ("QOlog.txt").
StrDesc LogFileName();
// Appends one framed report to file_name (LogFileName() when empty). 164 with
// the file named in the detail text when it cannot be opened for appending.
Status LogErrorReport(StrDesc text, StrDesc file_name);
// Does nothing when condition holds; otherwise shows the message in an error
// box captioned "Assertion Fail", appends it to "assertions.log" and aborts.
void AssertTrue(bool condition, StrDesc message);
