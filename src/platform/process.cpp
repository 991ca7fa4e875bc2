#include "platform/process.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <vector>

#include "platform/cp1252.h"

namespace {

struct ArgState {
  bool recorded = false;
  std::vector<std::string> args;  // UTF-8
};

ArgState& Args() {
  static ArgState state;
  return state;
}

bool ValidName(std::string_view name) {
  return !name.empty() && name.find('=') == std::string_view::npos &&
         name.find('\0') == std::string_view::npos;
}

// The arguments as the kernel recorded them (NUL-separated).
std::vector<std::string> KernelArgs() {
  std::vector<std::string> out;
  std::ifstream in("/proc/self/cmdline", std::ios::binary);
  const std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  size_t start = 0;
  while (start < all.size()) {
    size_t end = all.find('\0', start);
    if (end == std::string::npos) end = all.size();
    out.push_back(all.substr(start, end - start));
    start = end + 1;
  }
  return out;
}

// The runtime reads the command line with its own rules: blanks separate
// items, and apostrophes or double quotes (no escapes) protect what they
// enclose. An argument is rebuilt so that it reads back as one item: one
// without blanks, or one that already holds its own quotes, goes as it is; an
// option (/NAME=value, -NAME:value) has its value quoted, so the option name
// stays visible; anything else is wrapped in double quotes.
std::string QuoteArg(const std::string& arg) {
  if (arg.empty()) return "\"\"";
  if (arg.find_first_of(" \t") == std::string::npos) return arg;
  if (arg.find_first_of("\"'") != std::string::npos) return arg;
  if (arg[0] == '/' || arg[0] == '-') {
    size_t sep = arg.find_first_of("=:");
    if (sep != std::string::npos && arg.find_first_of(" \t") > sep) {
      return arg.substr(0, sep + 1) + "\"" + arg.substr(sep + 1) + "\"";
    }
  }
  return "\"" + arg + "\"";
}

}  // namespace

std::string ProcessGetEnv(std::string_view name) {
  if (!ValidName(name)) return std::string();
  const char* v = std::getenv(std::string(name).c_str());
  return v ? Utf8ToCp1252Lossy(v) : std::string();
}

bool ProcessHasEnv(std::string_view name) {
  return ValidName(name) && std::getenv(std::string(name).c_str()) != nullptr;
}

bool ProcessSetEnv(std::string_view name, std::string_view value) {
  if (!ValidName(name)) return false;
  return setenv(std::string(name).c_str(), Cp1252ToUtf8(value).c_str(), 1) == 0;
}

bool ProcessUnsetEnv(std::string_view name) {
  if (!ValidName(name)) return false;
  return unsetenv(std::string(name).c_str()) == 0;
}

void ProcessSetArgs(int argc, const char* const* argv) {
  ArgState& st = Args();
  st.recorded = true;
  st.args.clear();
  for (int i = 0; i < argc; ++i)
    st.args.emplace_back(argv[i] ? argv[i] : "");
}

void ProcessResetArgs() {
  Args().recorded = false;
  Args().args.clear();
}

std::string ProcessProgramPath() {
  std::vector<char> buf(4096);
  const ssize_t n = readlink("/proc/self/exe", buf.data(), buf.size() - 1);
  if (n <= 0) return std::string();
  std::string path = Utf8ToCp1252Lossy(std::string_view(buf.data(), static_cast<size_t>(n)));
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  return path;
}

std::string ProcessCommandLine() {
  const std::vector<std::string> args = Args().recorded ? Args().args : KernelArgs();
  std::string line;
  for (size_t i = 0; i < args.size(); ++i) {
    std::string arg = Utf8ToCp1252Lossy(args[i]);
    if (i == 0) {
      const std::string self = ProcessProgramPath();
      if (!self.empty()) arg = self;
    }
    if (i > 0) line += ' ';
    line += QuoteArg(arg);
  }
  return line;
}

void ProcessDiagnostic(std::string_view line_cp1252) {
  const std::string text = Cp1252ToUtf8(line_cp1252) + "\n";
  std::fwrite(text.data(), 1, text.size(), stderr);
  std::fflush(stderr);
}

void ProcessAbort(std::string_view diagnostic_cp1252) {
  ProcessDiagnostic(diagnostic_cp1252);
  std::abort();
}
