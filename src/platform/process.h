// The process: environment, command line, diagnostics and abnormal end.
//
// Texts crossing this interface are Windows-1252 bytes; the environment and
// the terminal are UTF-8 and are converted here ('?' for what cannot be
// represented). Environment names are case-sensitive, as on POSIX. The
// command line is rebuilt from the program's arguments so that the runtime's
// own reading (blank-separated, apostrophes and double quotes protecting what
// they enclose, no escapes) gives each argument back as one item: arguments
// are joined by one blank; an empty one becomes ""; one holding a blank or a
// tab goes as it is when it has quotes of its own, has its value quoted when
// it is an option (/RUN="Report X,1"), and is wrapped in double quotes
// otherwise. The first item is the program's own
// full path in the runtime's path form ("\" separators, see fs.h), so the
// program folder can be read from it. Only process-wide state: the argument
// list recorded by ProcessSetArgs (the kernel's record of the process's
// arguments otherwise). Called by start-up, the path expansion and the logs.
#pragma once

#include <string>
#include <string_view>

// The value of an environment variable; empty when unset.
std::string ProcessGetEnv(std::string_view name);

// True when the variable is set (possibly to an empty value).
bool ProcessHasEnv(std::string_view name);

// Sets (value converted to UTF-8) or, with unset, removes a variable.
// Returns false for an empty name or one holding '='.
bool ProcessSetEnv(std::string_view name, std::string_view value);
bool ProcessUnsetEnv(std::string_view name);

// Records the program's arguments (UTF-8, as main received them) for
// ProcessCommandLine. Without it the kernel's record of the arguments is used.
void ProcessSetArgs(int argc, const char* const* argv);

// Forgets the arguments recorded by ProcessSetArgs.
void ProcessResetArgs();

// The command line as one Windows-1252 text (see above).
std::string ProcessCommandLine();

// The full path of the running program in the runtime's path form; empty when
// the kernel does not say.
std::string ProcessProgramPath();

// Writes one line (Windows-1252, converted to UTF-8, newline added) to stderr.
void ProcessDiagnostic(std::string_view line_cp1252);

// Writes the diagnostic line and ends the process abnormally (abort). Never
// returns.
[[noreturn]] void ProcessAbort(std::string_view diagnostic_cp1252);
