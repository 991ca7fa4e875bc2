// Runs one of the built programs (quillon, quillon-eval, quillon-data) as a
// child process with the headless UI, a UI script and a transcript, and
// collects what it left: exit code, standard output and error, transcript.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace qtest {

struct ProgramRun {
  int exit_code = -1;  // the exit status, or 128 + signal number
  std::string out;
  std::string err;
  std::string transcript;  // UTF-8 lines of the headless UI
};

struct ProgramOptions {
  std::string working_folder;  // the child's working folder (must exist)
  std::string script;          // UI script text (empty: none)
  std::string input;           // standard input text
  std::map<std::string, std::string> env;  // extra environment variables
};

// Path of a built program: "src/quillon", "tools/quillon-eval/quillon-eval".
std::string BuiltProgram(const std::string& relative);

// Runs the program with arguments and waits for it (at most 120 seconds).
ProgramRun RunProgram(const std::string& program, const std::vector<std::string>& args,
                      const ProgramOptions& options);

// Runs a shell command line and collects its standard output and exit code
// (for tests that need the shell's quoting or pipes).
ProgramRun RunShell(const std::string& command);

// Copies a folder tree (the bundled application, for example) to a new place.
bool CopyTree(const std::string& from, const std::string& to);

}  // namespace qtest
