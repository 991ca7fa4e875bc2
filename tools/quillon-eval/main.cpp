// quillon-eval: evaluates expressions of the application language.
//
// The runtime is brought up as the program does it (core, variables, the
// command line normalised and stored, language, application identity and
// folders, the dictionary when one is found), without windows and without a
// start command. Arguments that start with "/" and hold "=" are the program's
// command-line options; every other argument is an expression. Without
// expression arguments each line of standard input is one. All expressions
// run in one session, so variables persist from one to the next. Each gives
// exactly one line:
//   number TEXT              the number as EvaluateToText writes it
//   string TEXT              the string (Windows-1252 shown as UTF-8)
//   status CODE NAME[: DETAIL]
// CR, LF and tab inside TEXT and DETAIL are written as \r, \n and \t.
// --procedures=FILE loads and prepares a procedure file (looked for as named,
// then in the definitions folders) before the first expression, as a report
// loads the procedure file of its DOCNAME$, so that EXEC$ reaches its entry
// points; a file that cannot be loaded ends the program with its status. The
// error word and detail are cleared before every expression. The exit status
// is 0 unless start-up failed (then it is the start-up status).
#include <algorithm>
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "core/fixed_point.h"
#include "core/status.h"
#include "core/temp_stack.h"
#include "language/evaluator.h"
#include "platform/cp1252.h"
#include "platform/process.h"
#include "procedures/procedure.h"
#include "screens/masks.h"
#include "shell/startup.h"

namespace {

// One line of output: Windows-1252 shown as UTF-8, line breaks and tabs
// escaped.
std::string Shown(StrDesc s) {
  std::string escaped;
  for (char c : StrView(s)) {
    if (c == '\r') {
      escaped += "\\r";
    } else if (c == '\n') {
      escaped += "\\n";
    } else if (c == '\t') {
      escaped += "\\t";
    } else {
      escaped += c;
    }
  }
  return Cp1252ToUtf8(escaped);
}

std::string StatusLine(Status code) {
  std::string line = "status " + std::to_string(code) + " " + Shown(ErrName(code));
  const StrDesc detail = ErrDetailText();
  if (detail.len != 0) line += ": " + Shown(detail);
  return line;
}

std::string EvaluateLine(const std::string& utf8) {
  ErrDetailClear();
  ErrClear();
  const std::string text = Utf8ToCp1252Lossy(utf8);
  if (text.size() > 0xFFFF) return StatusLine(kStStringTooLong);
  const TempMarkValue mark = TempMark();
  const uint16_t r = Evaluate(StrMake(text.data(), static_cast<uint16_t>(text.size())));
  std::string line;
  if (r == kTypeNumber) {
    line = "number " + Shown(NumFormatD(NumFromBytes(TempTop())));
  } else if (r == kTypeString) {
    line = "string " + Shown(TempTop());
  } else {
    line = StatusLine(r);
  }
  TempRelease(mark);
  return line;
}

bool IsOption(const std::string& arg) {
  return !arg.empty() && arg[0] == '/' && arg.find('=') != std::string::npos;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<const char*> program_args{argc > 0 ? argv[0] : "quillon-eval"};
  std::vector<std::string> expressions;
  std::string procedures;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg.rfind("--procedures=", 0) == 0) {
      procedures = Utf8ToCp1252Lossy(arg.substr(13));
    } else if (IsOption(arg)) {
      program_args.push_back(argv[i]);
    } else {
      expressions.push_back(arg);
    }
  }
  // The command line the runtime sees: the program and its options.
  ProcessSetArgs(static_cast<int>(program_args.size()), program_args.data());
  const std::string command_line = ProcessCommandLine();
  const Status st = RuntimeStart(
      StrMake(command_line.data(),
              static_cast<uint16_t>(command_line.size() > 0xFFFF ? 0xFFFF : command_line.size())),
      Lit("QO0001"), Lit("Quillon Tally"), kStartLoadEnvironment | kStartTolerateNoDictionary);
  if (st != 0) {
    std::fprintf(stderr, "quillon-eval: %s\n", StatusLine(st).c_str());
    RuntimeStop();
    return st;
  }
  LocaleRefresh();
  if (!procedures.empty()) {
    const auto length = static_cast<uint16_t>(std::min<size_t>(procedures.size(), 0xFFFF));
    const uint16_t loaded = LoadProcedure(StrMake(procedures.data(), length));
    if (loaded >= kStCancelled) {
      std::fprintf(stderr, "quillon-eval: %s\n", StatusLine(loaded).c_str());
      ProceduresShutdown();
      RuntimeStop();
      return loaded;
    }
  }

  if (!expressions.empty()) {
    for (const std::string& e : expressions)
      std::cout << EvaluateLine(e) << '\n';
  } else {
    std::string line;
    while (std::getline(std::cin, line)) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      std::cout << EvaluateLine(line) << '\n';
    }
  }
  std::cout.flush();
  ProceduresShutdown();
  RuntimeStop();
  return 0;
}
