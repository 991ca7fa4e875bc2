// Start-up and mode dispatch: the spine of the process.
//
// AppMain brings the runtime up in a fixed order (core and variables, the
// field-value hook, the locale text, the command line, the application's first
// callback, language, identity and folders, the dictionary and data files, the
// font file, the application's second callback), runs the start command (the
// start menu) or the RUN option, runs the main message loop until the last
// window closes, then calls the application's exit callback, shuts the
// runtime down and returns the exit status. A failure before the start command
// ends the process at once with its status (shown first when above 121).
//
// Every command is a mode name and its arguments (RunCommand); the
// application dispatcher takes the modes it handles and passes the rest to
// DefaultDispatch.
#pragma once

#include <cstdint>

#include "core/str_desc.h"

// Start flags.
enum StartFlags : uint8_t {
  kStartLoadEnvironment = 2,     // load the dictionary and data files
  kStartTolerateNoDictionary = 4,  // 156 and 164 from the dictionary load count as success
  kStartLoadWhenRenamed = 8,     // load also when APNAME differs from the application code
};

// Mode numbers: 1-based positions in the mode list.
enum ModeNumber : uint16_t {
  kModeMenu = 1,
  kModeAccept = 2,
  kModeAcceptRun = 3,
  kModeMantAux = 4,
  kModeMantMain = 5,
  kModeMantAuto = 6,
  kModeMantMovs = 7,
  kModeLnManMain = 8,
  kModeLnNavMain = 9,
  kModePrcExec = 10,
  kModeReport = 11,
  kModeReorg = 12,
  kModeCopy = 13,
  kModeFileTrans = 14,
  kModeHelp = 15,
  kModePerform = 16,
  kModeFontSet = 17,
  kModeWizzSelect = 18,
  kModeExpEval = 19,
};

extern const char kModeList[];

// The application callback: code 1 after the core is up, 2 after the
// environment is loaded (start flags x 16 + code), 3 at exit.
using AppCallbackFn = Status (*)(uint32_t code);
// The application dispatcher: (mode number << 16, arguments) → status.
using AppDispatcherFn = Status (*)(uint32_t dispatch_code, StrDesc arguments);

// Fills the dispatcher slot (null empties it; the first dispatch then fills
// it with DefaultDispatch).
void SetAppDispatcher(AppDispatcherFn dispatcher);

// Runs the whole program; returns the exit status.
Status AppMain(int instance, StrDesc command_line, StrDesc application_code, StrDesc title,
               StrDesc start_command, uint8_t start_flags, AppCallbackFn callback);

// Parses "MODE ARGS" (blank-separated when the text has a blank, else
// comma-separated) and calls the application dispatcher. An unknown mode
// gives dispatch code 163 and empty arguments.
Status RunCommand(StrDesc command);

// The runtime's handling of the modes. Modes whose subsystem is not part of
// this build record "Proceso no definido" and give 163.
Status DefaultDispatch(uint32_t dispatch_code, StrDesc arguments);

// A mode handler filled in by the subsystem that owns the mode (menus, runs,
// reports, maintenance, help); an empty slot answers as an undefined mode.
using ModeHandlerFn = Status (*)(StrDesc arguments);
void SetModeHandler(uint16_t mode, ModeHandlerFn handler);

// The remembered instance handle.
int AppInstance();

// Brings the runtime core up the way AppMain's first steps do (variables,
// locale text, the command line stored, language, identity and folders),
// without windows or a start command: for tools and tests. `flags` are start
// flags; with kStartLoadEnvironment the dictionary is loaded (and with
// kStartTolerateNoDictionary a missing one is not an error).
Status RuntimeStart(StrDesc command_line, StrDesc application_code, StrDesc title,
                    uint8_t flags);
// Closes what RuntimeStart opened and shuts the runtime down; returns the
// memory shutdown's result.
Status RuntimeStop();
