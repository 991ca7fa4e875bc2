// Calendar and clock arithmetic: dates as eight-digit texts YYYYMMDD or as
// date numbers (year * 10,000 + month * 100 + day, 0 for no date), times of
// day as milliseconds since midnight.
//
// The calendar has no century rule: February has 29 days in every year
// divisible by 4 (1900 and 2100 included). Month numbers outside 1..12 count
// 31 days. Adding to a date normalises out-of-range fields instead of failing;
// no operation here reports a status except the file-information helpers.
// The clock is read through platform/clock (so tests can freeze "now"), file
// times through platform/fs. Callers: the built-ins FN#VALN, FN$DATE and
// TIME$, the date masks and formats, the serial device's write timing.
#pragma once

#include <cstdint>

#include "core/str_desc.h"

// Unit codes of DatePart and DateArith.
enum DateUnit : int {
  kDateDay = 1,
  kDateMonth = 2,
  kDateYear = 4,
  kDateWhole = 15,
};

constexpr int32_t kMsPerDay = 86400000;

// Days of a month: 30 for 4, 6, 9, 11; for 2, 29 when year % 4 == 0, else
// 28; 31 for every other month number (including those outside 1..12).
int MonthLength(int month, int year);

// True when 0 <= year <= 9999, 1 <= month <= 12 and 1 <= day <= its month
// length (n read as year * 10,000 + month * 100 + day).
bool DateIsValid(int32_t n);

// Today's local date as a date number.
int32_t DateToday();

// The local time of day in milliseconds (whole seconds; the milliseconds are
// 0).
int32_t TimeOfDay();

// Pushes the eight-character text of a valid date number, or an empty text
// when n is not a valid date. Fails only when the TempStack is full (145).
StrDesc DateText(int32_t n);

// A part of a date text, each field read with StrToInt: the day from the last
// two characters, the month from the two before them, the year from the first
// four. selector 1 day, 2 month, 4 year, 15 the date number; any other value:
// the year when it has bit 4, else the month with bit 2, else the day with
// bit 1, else 0. An error descriptor gives 0.
int32_t DatePart(StrDesc date, int selector);

// Date arithmetic on a date text. amount >= 10,001 is a second date number and
// the result is the difference date - amount in days (whole years count 365;
// the months in between are measured in the first date's year), months or
// years (0 for any other unit). amount < 10,001 is added (negative subtracts)
// in the unit (adding months clamps the day to the new month's length) and
// the fields are normalised; the result is the date number reached. Unit 15
// (or any other) adds nothing but still normalises.
int32_t DateArith(StrDesc date, int32_t amount, int unit);

// A time text: "[[H:]M:]S[.fff]" (items read with StrToInt as 16-bit values;
// a fraction of f digits, f <= 3, is milliseconds * 10^(3 - f)); four or more
// ':' items contribute nothing. The empty text (before any fraction) gives
// TimeOfDay().
int32_t TimeParse(StrDesc text);

// Pushes the text of a time value: flags bit 1 puts ':' between the fields,
// bit 2 adds the seconds, bit 4 adds '.' and three digits of milliseconds:
// 0 HHMM, 1 HH:MM, 3 HH:MM:SS, 7 HH:MM:SS.mmm, 6 HHMMSS.mmm. Each field is
// two digits (hours are taken modulo 100); a negative value is first brought
// into the day by adding whole days.
StrDesc TimeFormat(int32_t t, int flags);

// end - start in milliseconds, plus one day when that is negative (the
// interval passed midnight).
int32_t TimeElapsed(int32_t start, int32_t end);

// The local date (as a date number) / time of day (milliseconds) of a file's
// last modification; path is in the runtime's form. 164 when the file does
// not exist (the result is then 0).
Status FileModDate(StrDesc path, int32_t* date);
Status FileModTime(StrDesc path, int32_t* time);
