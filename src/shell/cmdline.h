// The command line and the start-up settings.
//
// The process command line is normalised once at start-up and kept as
// DynStrings (0, 1): options follow the program name as /NAME=value or
// NAME:value (written -NAME or --NAME too). Options are read by name or by
// their number in the option list; the value is normalised (trimmed,
// unquoted, upper-cased when it was neither). Texts may carry %NAME%
// placeholders for the group-0 settings (application code, title, language,
// folders) and the database settings (0, 11). An absent option, setting or
// environment variable gives an empty text, never an error.
//
// String results are pushed on the TempStack (one entry) unless said
// otherwise. The environment and the working folder are reached only through
// the platform layer. Called by start-up, help, the maintenance commands, the
// bracket and path expansions and the application.
#pragma once

#include <cstdint>

#include "core/str_desc.h"

// The option list; an option's number is its 1-based position.
enum OptionNumber : uint16_t {
  kOptHelp = 1,  // "?;HELP"
  kOptApName = 2,
  kOptApStart = 3,
  kOptDPath = 4,
  kOptScrWid = 5,
  kOptScrHig = 6,
  kOptInput = 7,
  kOptOutput = 8,
  kOptFile = 9,
  kOptIndex = 10,
  kOptDevice = 11,
  kOptRun = 12,
  kOptMode = 13,
  kOptTrace = 14,
  kOptConfig = 15,
  kOptHost = 16,
  kOptDatabase = 17,
  kOptUser = 18,
  kOptPassw = 19,
};

// Normalises the command line and stores it as (0, 1): blanks and tabs
// trimmed at both ends, runs of blanks reduced to one, " --" and then " -"
// turned into " /" (blanks and dashes inside quotes are kept). Returns 0, the
// text's own error code, or the DynStrings status.
Status CmdlineStore(StrDesc text);

// Item n of the option list (a view of a constant; empty beyond the list).
StrDesc OptionName(uint16_t n);

// The normalised value of NAME=value or NAME:value in the stored command
// line. The name must start the line or follow one of ": &/"; the value ends
// at the first of ": &/" outside quotes. When the name as given finds
// nothing it is tried in lower case (first byte up to 96) or else in upper
// case, so /APNAME=x and /apname=x both work. Empty when absent.
StrDesc OptionByName(StrDesc name);

// OptionByName(OptionName(n)).
StrDesc OptionValue(uint16_t n);

// The 1-based position of option n's value in a comma list; 0 when the
// option is absent or its value is not in the list.
uint16_t OptionPosition(uint16_t n, StrDesc list);

// The text with every %NAME% replaced: "COMMANDLINE,APNAME,APDESCRIP,
// LANGMODULE.DOCPATH,DATAPATH,HELPPATH" give the group-0 item of their
// position (APNAME only its first two characters, the application prefix);
// "DATABASE_HOST,DATABASE_DBNAME,DATABASE_USER,DATABASE_PASSW" give that item
// of (0, 11), normalised; any other name gives an empty text. A name is
// expanded only once, so a value that holds its own placeholder (directly or
// through another) stays as written. A lone "%" is kept. Returns the text,
// or the error descriptor of a result that does not fit.
StrDesc ExpandPlaceholders(StrDesc text);

// The value of the process environment variable `name`; empty when unset.
// 146 when the value does not fit a string.
StrDesc EnvValue(StrDesc name);

// The working folder (at most 384 bytes); empty when it cannot be read or is
// longer.
StrDesc WorkingFolder();

// The environment lookup of the expansions, in its fixed order: the value of
// `name` in the caller's key=value text (unquoted), else OptionByName(name),
// else EnvValue(name). Empty when none has it.
StrDesc EnvLookup(StrDesc keys, StrDesc name);
