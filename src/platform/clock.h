// The clock: local date and time, a monotonic millisecond counter and a sleep.
//
// "Now" can be frozen for deterministic runs: the environment variable
// QUILLON_FAKE_NOW=YYYYMMDD, YYYYMMDDhhmm or YYYYMMDDhhmmss (local time) makes
// ClockNow and ClockUnixNow report that instant on every call, with
// millisecond 0; a malformed value is reported once on stderr and ignored.
// Tests can freeze "now" and drive the monotonic counter by hand
// (ClockSetFakeNow, ClockSetFakeMonotonic); while the monotonic counter is
// faked, ClockSleepMs advances it instead of sleeping. ClockReset drops both
// test overrides. Only process-wide state: the two test overrides. Called by
// the calendar functions, the UI timers, the file layer (last-write times) and
// anyone measuring elapsed time.
#pragma once

#include <cstdint>
#include <string_view>

// A broken-down local date and time.
struct ClockDateTime {
  int year = 0;         // e.g. 2024
  int month = 0;        // 1..12
  int day = 0;          // 1..31
  int hour = 0;         // 0..23
  int minute = 0;       // 0..59
  int second = 0;       // 0..60
  int millisecond = 0;  // 0..999
  int weekday = 0;      // 0 Sunday .. 6 Saturday
};

// The current local date and time (frozen when "now" is faked). Never fails;
// a clock before the epoch gives the epoch.
ClockDateTime ClockNow();

// The current time as seconds since the epoch (frozen when faked).
int64_t ClockUnixNow();

// Local broken-down time of a count of seconds since the epoch (millisecond 0).
ClockDateTime ClockLocalFromUnix(int64_t seconds);

// Milliseconds from an arbitrary fixed start; never goes backwards.
uint64_t ClockMonotonicMs();

// Waits at least ms milliseconds (or advances the faked monotonic counter).
void ClockSleepMs(uint32_t ms);

// Parses YYYYMMDD[hhmm[ss]] as local time into *out. Returns false for any
// other length, a non-digit, a year before 1970 or an impossible date or time
// (nothing written).
bool ClockParseStamp(std::string_view stamp, ClockDateTime* out);

// Freezes "now" at a stamp in the QUILLON_FAKE_NOW form, overriding the
// environment. Returns false (and changes nothing) for a malformed stamp.
bool ClockSetFakeNow(std::string_view stamp);

// Makes the monotonic counter a test counter starting at start_ms.
void ClockSetFakeMonotonic(uint64_t start_ms);

// Moves the faked monotonic counter forward; nothing when it is not faked.
void ClockAdvanceFake(uint64_t ms);

// Drops both test overrides (the environment is read again).
void ClockReset();
