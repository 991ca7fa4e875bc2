// Formatting masks and dates (module FormatStrings): the conversions between
// stored values and the texts a user sees or types that the built-in
// functions need: cleaning typed numbers, laying values into masks, parsing
// and formatting dates.
//
// Everything reads the locale text: until LocaleRefresh it is the built-in
// default ".,'0123456789.-D',' NY','  ,NO,YES'" (with the month names and
// long-date template of message 0117); afterwards DynStrings (0, 0), whose
// part before the first NUL byte describes numbers and logical values and
// whose part after it the dates. The language (DynStrings (0, 4)) decides
// whether dates are written day first ("ES,FR,IT") or month first. Results
// are pushed on the TempStack; an error descriptor given as an argument is
// returned unchanged. The only state is whether LocaleRefresh was called
// (LocaleReset forgets it). Callers: built-ins, the evaluator (typed input),
// screens and reports.
#pragma once

#include <cstdint>

#include "core/str_desc.h"

// The built-in locale text (number part only).
extern const char kDefaultLocale[];

// Makes DynStrings (0, 0) the locale text (an empty item falls back to the
// built-in default). LocaleReset goes back to the built-in default.
void LocaleRefresh();
void LocaleReset();

// The locale characters: the decimal point and thousands separator shown to
// the user.
char LocaleDecimal();
char LocaleThousands();

// A typed number as a number text with "." as decimal point (at most 20
// characters): trimmed; characters copied from the left until one is neither
// in the locale's numeric-input set nor "."; a "-" after the first character
// stops it; leading zeros are skipped unless last or before the decimal
// character; the locale decimal character becomes ".".
StrDesc FmtCleanNumber(StrDesc text);

// The value laid into the mask. mode 1: numeric with "." and ","; any other
// nonzero mode: numeric when the first placeholder is "#" or "0" and the value
// holds only ".-1234567890,D" and blanks (locale characters then); otherwise a
// text mask. A mask without placeholders ("\", "?", "#", "0") is returned
// unchanged, and so is a numeric-looking mask with a value that is not.
StrDesc FmtApplyMask(StrDesc mask, StrDesc value, int mode);
// FmtApplyMask(mask, value, 255).
StrDesc FmtMask(StrDesc mask, StrDesc value);
// The numeric half: digits right-aligned on the decimal point, grouping
// separators, the value rounded to the mask's decimals, extra whole digits
// taking decimal places. plain: "." and "," instead of the locale characters.
StrDesc FmtNumericMask(StrDesc mask, StrDesc value, bool plain);
// The text half: "\" takes the next unused value character; "?" the character
// at the same position when the first placeholder (index `first` in "\?#0")
// is "?" or "0", else the next one. A "\ ... \" group of blanks counts as that
// many "\".
StrDesc FmtTextMask(StrDesc mask, StrDesc value, int first);

// Four-digit year of a two-digit year: below _BKYEAR (default 80) it is
// _BYEAR + yy (default 2000), else _BYEAR + yy - 100.
int DateCentury(int two_digit_year);
// "d-m-y" for the languages "ES,FR,IT", else "m-d-y" (texts as given).
StrDesc DateOrdered(StrDesc year, StrDesc month, StrDesc day);
// The text, or today's date (YYYYMMDD) when it is empty and bit 64 of
// _AUXSTAT is clear.
StrDesc DateOrToday(StrDesc text);
// A typed date as YYYYMMDD: three items separated by "-", "." or "/" (day
// first or month first by language; a two-digit year through DateCentury),
// six digits as DDMMYY; the empty text for an invalid date. A text without
// separator of another length is DateOrToday's answer (8 blanks when empty).
StrDesc DateParse(StrDesc text);
// A date (empty: today unless _AUXSTAT bit 64) in a style: 0 YYYYMMDD, 1 and
// 2 ordered with a two- or four-digit year, 3 "Mon YYYY", 4 the long-date
// template of the locale. An invalid date gives 8 blanks (style 1), 10 blanks
// (style 2) or the empty text; any other style the empty text.
StrDesc DateFormat(StrDesc date, int style);
