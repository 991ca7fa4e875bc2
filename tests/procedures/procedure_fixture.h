// The fixture of the procedure tests: a fresh runtime whose definitions folder
// and working folder are a new temporary folder, with helpers to write
// procedure files there, evaluate expressions and read the error detail.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "core/dyn_strings.h"
#include "core/hook_table.h"
#include "core/messages.h"
#include "core/status.h"
#include "core/temp_stack.h"
#include "language/evaluator.h"
#include "procedures/procedure.h"
#include "shell/progress.h"
#include "storage/streams.h"
#include "support/runtime_fixture.h"
#include "support/test_dirs.h"

class ProcedureTest : public RuntimeTest {
 protected:
  void SetUp() override {
    RuntimeTest::SetUp();
    HookTableReset();
    dir_ = qtest::MakeTempDir("prc");
    ASSERT_FALSE(dir_.empty());
    ASSERT_EQ(DynSet(0, 5, Lit(dir_)), 0);  // the definitions folder
    old_cwd_ = std::filesystem::current_path();
    std::filesystem::current_path(dir_);  // the trace goes to the working folder
  }
  void TearDown() override {
    ProceduresShutdown();
    ProgressReset();
    StreamsReset();
    HookTableReset();
    std::filesystem::current_path(old_cwd_);
    qtest::RemoveTree(dir_);
    RuntimeTest::TearDown();
  }

  // Writes a procedure file: the lines of `text` ('\n' separated) with CR LF.
  void Write(const std::string& name, const std::string& text) {
    std::string bytes;
    size_t start = 0;
    while (start <= text.size()) {
      size_t end = text.find('\n', start);
      if (end == std::string::npos) end = text.size();
      bytes += text.substr(start, end - start) + "\r\n";
      start = end + 1;
    }
    ASSERT_TRUE(qtest::WriteFile(dir_ + "/" + name, bytes));
  }

  // The value of an expression as text ("<error N>" for a failure); the
  // TempStack is left as found.
  std::string Eval(const std::string& text) {
    const TempMarkValue mark = TempMark();
    const std::string value = qtest::S(EvaluateToText(Lit(text)));
    TempRelease(mark);
    return value;
  }

  Status Run(const std::string& entry, const std::string& file, int flags = 0) {
    const TempMarkValue mark = TempMark();
    const Status st = RunProcedure(Lit(entry), Lit(file), flags);
    EXPECT_EQ(TempMark(), mark) << "a run leaves the TempStack as found";
    return st;
  }

  // Writes `text` as T.PRC and runs it from its first line.
  Status RunText(const std::string& text, int flags = 0) {
    Write("T.PRC", text);
    return Run("", "T.PRC", flags);
  }

  std::string Detail() { return qtest::S(ErrDetailText()); }
  std::string Msg(const char* key) {
    const TempMarkValue mark = TempMark();
    const std::string text = qtest::S(MsgGet(key));
    TempRelease(mark);
    return text;
  }

  std::string dir_;
  std::filesystem::path old_cwd_;
};
