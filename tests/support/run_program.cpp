#include "support/run_program.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "support/test_dirs.h"

namespace qtest {

std::string BuiltProgram(const std::string& relative) {
  return std::string(QUILLON_BINARY_DIR) + "/" + relative;
}

ProgramRun RunProgram(const std::string& program, const std::vector<std::string>& args,
                      const ProgramOptions& options) {
  ProgramRun run;
  std::string work = options.working_folder.empty() ? MakeTempDir("run") : options.working_folder;
  std::string out_path = work + "/.run-stdout";
  std::string err_path = work + "/.run-stderr";
  std::string in_path = work + "/.run-stdin";
  std::string transcript_path = work + "/.run-transcript";
  std::string script_path = work + "/.run-script";
  WriteFile(in_path, options.input);
  if (!options.script.empty()) WriteFile(script_path, options.script);
  std::remove(transcript_path.c_str());

  pid_t pid = fork();
  if (pid == 0) {
    if (chdir(work.c_str()) != 0) _exit(127);
    int in = open(in_path.c_str(), O_RDONLY);
    int out = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(in, 0);
    dup2(out, 1);
    dup2(err, 2);
    setenv("QUILLON_UI", "headless", 1);
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    setenv("QUILLON_UI_TRANSCRIPT", transcript_path.c_str(), 1);
    if (!options.script.empty()) {
      setenv("QUILLON_UI_SCRIPT", script_path.c_str(), 1);
    } else {
      unsetenv("QUILLON_UI_SCRIPT");
    }
    for (const auto& [k, v] : options.env) setenv(k.c_str(), v.c_str(), 1);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  int status = 0;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
  for (;;) {
    pid_t done = waitpid(pid, &status, WNOHANG);
    if (done == pid) break;
    if (std::chrono::steady_clock::now() > deadline) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  if (WIFEXITED(status)) run.exit_code = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) run.exit_code = 128 + WTERMSIG(status);
  run.out = ReadFile(out_path);
  run.err = ReadFile(err_path);
  run.transcript = ReadFile(transcript_path);
  for (const std::string& p : {out_path, err_path, in_path, transcript_path, script_path}) {
    std::remove(p.c_str());
  }
  return run;
}

ProgramRun RunShell(const std::string& command) {
  ProgramRun r;
  FILE* p = popen(command.c_str(), "r");
  if (p == nullptr) return r;
  char buffer[4096];
  size_t n = 0;
  while ((n = std::fread(buffer, 1, sizeof buffer, p)) > 0) r.out.append(buffer, n);
  const int status = pclose(p);
  r.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

bool CopyTree(const std::string& from, const std::string& to) {
  std::error_code ec;
  std::filesystem::copy(from, to,
                        std::filesystem::copy_options::recursive |
                            std::filesystem::copy_options::overwrite_existing,
                        ec);
  return !ec;
}

}  // namespace qtest
