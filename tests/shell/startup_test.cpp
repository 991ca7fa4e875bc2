// The spine run in-process and headless: the order of the start-up steps and
// the application callbacks, the failure and exit-status rules, the start
// command and the RUN option, and the parsing of mode commands.
#include "shell/startup.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "core/dyn_strings.h"
#include "core/mem_pool.h"
#include "core/messages.h"
#include "core/status.h"
#include "language/variables.h"
#include "platform/fs.h"
#include "screens/masks.h"
#include "shell/window_stack.h"
#include "support/runtime_fixture.h"
#include "support/test_dirs.h"

namespace {

using qtest::S;

StrDesc D(const std::string& s) {
  return StrMake(s.data(), static_cast<uint16_t>(s.size()));
}

// What the application saw of the run.
struct Seen {
  std::vector<uint32_t> codes;          // callback codes in order
  std::vector<std::string> dispatches;  // "mode:arguments"
  std::vector<std::string> menus;       // arguments of the Menu handler
  std::vector<bool> scrstat8;           // _SCRSTAT bit 8 at each dispatch or menu
  char decimal_at_first_callback = 0;   // the locale's decimal character then
  std::vector<std::string> languages;   // (0, 4) at each callback
  Status fail_code = 0;                 // the callback fails at this code...
  Status fail_with = 0;                 // ...with this status
  Status exit_result = 0;               // callback 3's result
  Status menu_result = 0;               // the Menu handler's result
};
Seen g_seen;

Status Callback(uint32_t code) {
  g_seen.codes.push_back(code);
  g_seen.languages.push_back(S(DynGet(0, 4)));
  if ((code & 0x0F) == 1) g_seen.decimal_at_first_callback = LocaleDecimal();
  if (g_seen.fail_code != 0 && (code & 0x0F) == g_seen.fail_code) return g_seen.fail_with;
  return (code & 0x0F) == 3 ? g_seen.exit_result : 0;
}

Status Dispatcher(uint32_t code, StrDesc arguments) {
  g_seen.dispatches.push_back(std::to_string(code >> 16) + ":" + S(arguments) +
                              ((code & 0xFFFF) != 0 ? "/" + std::to_string(code & 0xFFFF) : ""));
  g_seen.scrstat8.push_back(TestBits(kSysScrStat, 8));
  return DefaultDispatch(code, arguments);
}

Status ReportHandler(StrDesc) {
  return 0;
}

Status MenuHandler(StrDesc arguments) {
  g_seen.menus.push_back(S(arguments));
  g_seen.scrstat8.push_back(TestBits(kSysScrStat, 8));
  return g_seen.menu_result;
}

class StartupTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_seen = Seen{};
    dir_ = qtest::MakeTempDir("startup");
    root_ = FsRuntimePath(dir_);
    std::string dicc = qtest::ReadFile(qtest::SourcePath("apps/quillon/QODICC.DAT"));
    std::string rel = qtest::ReadFile(qtest::SourcePath("apps/quillon/QOREL.DAT"));
    ASSERT_TRUE(qtest::WriteFile(dir_ + "/QODICC.DAT", dicc));
    ASSERT_TRUE(qtest::WriteFile(dir_ + "/QOREL.DAT", rel));
    MemConfigure(512, 64);
    WindowStackReset();
    SetFixedScreenSize(240, 294);
    SetAppDispatcher(Dispatcher);
    SetModeHandler(kModeMenu, MenuHandler);
    SetModeHandler(kModeReport, ReportHandler);
  }
  void TearDown() override {
    // A start-up that failed leaves the runtime up, as the process would.
    if (MemReady()) qtest::RuntimeDown();
    StatusReset();
    LocaleReset();
    SetAppDispatcher(nullptr);
    SetModeHandler(kModeMenu, nullptr);
    SetModeHandler(kModeReport, nullptr);
    WindowStackReset();
    qtest::RemoveTree(dir_);
  }
  // Runs the program with "<folder>\qo.exe options"; the definitions folder
  // is the program's own.
  Status Run(const std::string& options, uint8_t flags = kStartLoadEnvironment,
             const std::string& start = "QOMENU,1", const std::string& program_folder = "") {
    std::string line = (program_folder.empty() ? root_ : program_folder) + "\\qo.exe " + options;
    return AppMain(1, D(line), Lit("QO0001"), Lit("Quillon Tally"), D(start), flags, Callback);
  }
  // Message boxes shown since the run began (the headless handler counts
  // them from the runtime's start).
  int Boxes() const { return MsgLastBox().count; }
  std::string dir_, root_;
};

TEST_F(StartupTest, CallbacksComeInOrderWithTheStartFlags) {
  EXPECT_EQ(Run(""), 0);
  EXPECT_EQ(g_seen.codes, (std::vector<uint32_t>{2 * 16 + 1, 2 * 16 + 2, 3}));
  EXPECT_EQ(g_seen.languages, (std::vector<std::string>{"", "ES", "ES"}))
      << "the language is settled after the first callback";
  EXPECT_EQ(g_seen.decimal_at_first_callback, ',') << "the catalogue's locale is in force";
  EXPECT_EQ(g_seen.menus, (std::vector<std::string>{"QOMENU,1"}))
      << "the start command opens a menu, not parsed as a mode command";
  EXPECT_TRUE(g_seen.dispatches.empty());
  EXPECT_EQ(g_seen.scrstat8, (std::vector<bool>{false}));
  EXPECT_EQ(Boxes(), 0);
}

// A start command chosen by start-up (none given by the entry point) must
// name a menu or parameter file in the definitions folder.
TEST_F(StartupTest, ChosenStartCommandMustBeInTheDefinitionsFolder) {
  struct Case {
    const char* name;
    const char* program_folder;  // under the test folder ("" the test folder)
    const char* file;            // made in the program folder...
    bool in_working_folder;      // ...or in the working folder beneath it
    const char* options;
    const char* menu;  // the menu opened; "" none (163 shown)
  } cases[] = {
      {"template", "", "QOMENU.PMT", false, "", "QOMENU"},
      {"template, parameter file", "", "QOMENU.PPN", false, "", "QOMENU"},
      {"start option", "", "XMENU.PMT", false, "/APSTART=xmenu,2", "XMENU,2"},
      {"start option without its file", "", "QOMENU.PMT", false, "/APSTART=xmenu,2", ""},
      {"only in the working folder", "", "QOMENU.PMT", true, "", ""},
      {"a folder name with a comma", "a,b", "QOMENU.PMT", false, "", "QOMENU"},
  };
  std::filesystem::path before = std::filesystem::current_path();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    g_seen = Seen{};
    std::string native = dir_ + "/case" + std::to_string(&c - cases);
    if (*c.program_folder) native += "/" + std::string(c.program_folder);
    std::filesystem::create_directories(native + "/cwd");
    std::string file = native + (c.in_working_folder ? "/cwd/" : "/") + c.file;
    ASSERT_TRUE(qtest::WriteFile(file, "Pedidos,Menu QOPED\r\n"));
    std::filesystem::current_path(native + "/cwd");
    Status st = Run(c.options, 0, "", FsRuntimePath(native));
    std::filesystem::current_path(before);
    if (*c.menu) {
      EXPECT_EQ(st, 0);
      EXPECT_EQ(g_seen.menus, (std::vector<std::string>{c.menu}));
    } else {
      EXPECT_EQ(st, 163) << "no start command and no run option";
      EXPECT_TRUE(g_seen.menus.empty());
      EXPECT_EQ(Boxes(), 1);
      EXPECT_EQ(g_seen.codes.back(), 3u) << "a failed start command still ends normally";
    }
  }
}

TEST_F(StartupTest, ExitStatusIgnoresWarnings) {
  struct Case {
    Status run;       // the start command's status
    Status at_exit;   // callback 3's result
    Status expected;  // the exit status
  } cases[] = {
      {0, 0, 0}, {0, 130, 130}, {0, 100, 0}, {163, 200, 163}, {122, 200, 0}, {127, 0, 0},
  };
  for (const Case& c : cases) {
    g_seen = Seen{};
    g_seen.menu_result = c.run;
    g_seen.exit_result = c.at_exit;
    EXPECT_EQ(Run(""), c.expected) << c.run << " / " << c.at_exit;
    EXPECT_EQ(g_seen.codes.back(), 3u);
    EXPECT_EQ(Boxes(), c.run != 0 ? 1 : 0) << "a failed start command is shown";
    EXPECT_FALSE(MemReady()) << "the runtime was shut down";
  }
}

// Failures before the start command end the process at once: no start
// command, no exit callback, no shutdown; above 121 they are shown first.
// Cases marked "missing" have no dictionary in the program folder nor in
// the folder option.
TEST_F(StartupTest, FailuresBeforeTheStartCommand) {
  std::filesystem::create_directories(dir_ + "/empty");
  const std::string empty = FsRuntimePath(dir_ + "/empty");
  struct Case {
    const char* name;
    uint8_t flags;
    const char* options;
    bool missing;
    Status fail_code, fail_with;  // the callback fails at this code with this
    Status expected;
    std::vector<uint32_t> codes;
    int boxes;
  } cases[] = {
      {"first callback fails", 2, "", false, 1, 200, 200, {33}, 1},
      {"first callback fails quietly", 2, "", false, 1, 121, 121, {33}, 0},
      {"second callback fails", 2, "", false, 2, 130, 130, {33, 34}, 1},
      {"dictionary missing", 2, "", true, 0, 0, 164, {33}, 1},
      {"dictionary missing, tolerated", 6, "", true, 0, 0, 0, {97, 98, 3}, 0},
      {"prefix too short, none needed", 2, "/APNAME=Q", true, 0, 0, 0, {33, 34, 3}, 0},
      {"environment not loaded", 0, "", true, 0, 0, 0, {1, 2, 3}, 0},
      {"renamed, loads its own", 8, "/APNAME=XX0001", false, 0, 0, 164, {129}, 1},
      {"not renamed, nothing loaded", 8, "/APNAME=QO0001", true, 0, 0, 0, {129, 130, 3}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    g_seen = Seen{};
    g_seen.fail_code = c.fail_code;
    g_seen.fail_with = c.fail_with;
    std::string options = std::string(c.options) + " /DPATH='" + empty + "'";
    Status st = Run(options, c.flags, "QOMENU,1", c.missing ? empty : "");
    EXPECT_EQ(st, c.expected);
    EXPECT_EQ(g_seen.codes, c.codes);
    EXPECT_EQ(Boxes(), c.boxes);
    bool ended = !c.codes.empty() && c.codes.back() == 3;
    EXPECT_EQ(g_seen.menus.size(), ended ? 1u : 0u);
    EXPECT_EQ(MemReady(), !ended) << "shut down only after a run";
    if (c.expected == 164) {
      EXPECT_NE(MsgLastBox().text.find("DICC.DAT"), std::string::npos) << MsgLastBox().text;
    }
    if (MemReady()) qtest::RuntimeDown();
  }
}

TEST_F(StartupTest, RunOptionIsDispatchedInsteadOfTheStartCommand) {
  struct Case {
    const char* option;
    const char* dispatch;  // "mode:arguments" ("/code" for a code with a low half)
    Status expected;
  } cases[] = {
      {"/RUN='Report X,1'", "11:X,1", 0},    {"/RUN='Report,X'", "11:X", 0},
      {"/RUN='report X'", "0:/163", 163},  // mode names are case-sensitive
      {"/RUN=Copy", "0:/163", 163},        // unquoted, the option is upper-cased
      {"/RUN='Copy X'", "13:X", 0},          {"/RUN='FontSet'", "17:", 0},
      {"/RUN='ExpEval 1+1'", "19:1+1", 163},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.option);
    g_seen = Seen{};
    EXPECT_EQ(Run(c.option), c.expected);
    EXPECT_TRUE(g_seen.menus.empty()) << "the start command is not run";
    EXPECT_EQ(g_seen.dispatches, (std::vector<std::string>{c.dispatch}));
    EXPECT_EQ(g_seen.scrstat8, (std::vector<bool>{true}));
    EXPECT_EQ(Boxes(), c.expected != 0 ? 1 : 0);
    if (c.expected == 163) {
      EXPECT_NE(MsgLastBox().text.find("Proceso no definido"), std::string::npos);
    }
  }
}

TEST_F(StartupTest, NoMemoryForTheRuntime) {
  MemFailNextAllocations(1);
  Status st = Run("");
  MemFailNextAllocations(0);
  EXPECT_GE(st, 128);
  EXPECT_TRUE(g_seen.codes.empty()) << "nothing of the application ran";
  EXPECT_EQ(Boxes(), 1);
}

}  // namespace
