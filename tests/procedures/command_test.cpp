// Command lines (no handler in this runtime: 148 and the line message; a
// registered handler gets the evaluated arguments), the trace file and the
// Stop button of the progress pop-up pressed through the headless UI.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/dyn_strings.h"
#include "core/rec_table.h"
#include "core/status.h"
#include "language/variables.h"
#include "platform/clock.h"
#include "platform/ui.h"
#include "procedures/procedure.h"
#include "procedures/procedure_fixture.h"
#include "shell/progress.h"

using qtest::S;

namespace {

struct Seen {
  uint16_t code = 0;
  std::vector<uint16_t> types;
  std::vector<int16_t> ints;
  std::vector<std::string> texts;
};
std::vector<Seen> g_seen;
Status g_answer = 0;

Status RecordingHandler(uint16_t code, const CommandArgs& args) {
  Seen seen;
  seen.code = code;
  for (uint16_t i = 0; i < args.count; ++i) {
    seen.types.push_back(args.types[i]);
    seen.ints.push_back(args.ints[i]);
    seen.texts.push_back(S(args.texts[i]));
  }
  g_seen.push_back(seen);
  return g_answer;
}

class CommandTest : public ProcedureTest {
 protected:
  void SetUp() override {
    ProcedureTest::SetUp();
    g_seen.clear();
    g_answer = 0;
  }
  std::string Trace() { return qtest::ReadFile(dir_ + "/PrcLog.txt"); }
};

TEST_F(CommandTest, WithoutHandlerACommandEndsTheRun) {
  struct Case {
    const char* text;
    const char* line;  // the end of the detail text
  } cases[] = {
      {"X=1\nWAIT 5\nX=2", "Line: 2 (+ remmarks):\r\nWAIT 5"},
      {"X=1\n; r\nWINPROG\nX=2", "Line: 2 (+ remmarks):\r\nWINPROG "},
      // The words from RC_DELETE on show no word.
      {"X=1\nRC_DELETE 'x'\nX=2", "Line: 2 (+ remmarks):\r\n 'x'"},
      {"X=1\nSYSTEM\nX=2", "Line: 2 (+ remmarks):\r\n "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    ErrDetailClear();
    EXPECT_EQ(RunText(c.text), 148);
    EXPECT_EQ(Eval("X"), "1") << "the line after the command did not run";
    const std::string detail = Detail();
    EXPECT_EQ(detail.substr(0, Msg("0100").size()), Msg("0100")) << detail;
    const std::string line = c.line;
    ASSERT_GE(detail.size(), line.size());
    EXPECT_EQ(detail.substr(detail.size() - line.size()), line) << detail;
    EXPECT_EQ(ErrWord(), (uint32_t{kModMallocMemAcums} << 16) | 148);
  }
}

TEST_F(CommandTest, HandlerGetsTheEvaluatedArguments) {
  ASSERT_EQ(CommandHandlerSet(3, RecordingHandler), 0);
  EXPECT_EQ(CommandHandlerSet(16, RecordingHandler), 255);
  EXPECT_EQ(RunText("N=4\nMESSAGE 'Hi', 1+1.5, [N]*2, FN$PARM('a,b';2), -2.5\nWAIT\nX=1"), 0)
      << Detail();
  ASSERT_EQ(g_seen.size(), 2u);
  EXPECT_EQ(g_seen[0].code, 33);  // MESSAGE
  EXPECT_EQ(g_seen[0].types, (std::vector<uint16_t>{1, 0, 0, 1, 0}));
  EXPECT_EQ(g_seen[0].ints, (std::vector<int16_t>{0, 3, 8, 0, -3}));
  EXPECT_EQ(g_seen[0].texts, (std::vector<std::string>{"Hi", "2.5", "8", "b", "-2.5"}));
  EXPECT_EQ(g_seen[1].code, 40);  // WAIT
  EXPECT_TRUE(g_seen[1].types.empty());
  EXPECT_EQ(Eval("X"), "1") << "the run goes on after a command";
}

TEST_F(CommandTest, HandlerStatusEndsTheRun) {
  ASSERT_EQ(CommandHandlerSet(0, RecordingHandler), 0);
  g_answer = 131;
  ErrDetailClear();
  EXPECT_EQ(RunText("X=1\nPRINT 7\nX=2"), 131);
  EXPECT_EQ(Eval("X"), "1");
  EXPECT_NE(Detail().find("Line: 2 (+ remmarks):\r\nPRINT 7"), std::string::npos) << Detail();
  g_answer = 0;
  // An argument that does not evaluate, or more than 16 of them.
  EXPECT_EQ(RunText("PRINT 1,'a'-1"), 128);
  EXPECT_EQ(RunText("PRINT 1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16"), 0);
  EXPECT_EQ(RunText("PRINT 1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17"), 147);
  EXPECT_EQ(g_seen.size(), 2u) << "the failing lines never reached the handler";
  // Emptying the slot takes the meaning away again.
  ASSERT_EQ(CommandHandlerSet(0, nullptr), 0);
  EXPECT_EQ(RunText("PRINT 7"), 148);
}

TEST_F(CommandTest, TraceFile) {
  EXPECT_EQ(RunText("X=1"), 0);
  EXPECT_EQ(Trace(), "") << "no trace without the bit";
  SetBits(kSysTrace, 0x08, true);
  EXPECT_EQ(RunText("X=1\n; remark\nIF X==1\nY=2\nENDIF\nEND\nZ=3"), 0);
  EXPECT_EQ(Trace(), "1\t X=1\r\n2\tIF X==1\r\n3\t Y=2\r\n4\tENDIF \r\n5\tEND \r\n");
  // Appended by the next run; a line that stops the run is traced too.
  EXPECT_EQ(RunText("W=1\nWAIT 3"), 148);
  EXPECT_EQ(Trace(),
            "1\t X=1\r\n2\tIF X==1\r\n3\t Y=2\r\n4\tENDIF \r\n5\tEND \r\n"
            "1\t W=1\r\n2\tWAIT 3\r\n");
  SetBits(kSysTrace, 0x08, false);
  const std::string before = Trace();
  EXPECT_EQ(RunText("X=1"), 0);
  EXPECT_EQ(Trace(), before) << "nothing added without the bit";
}

// DEFINE stands for a command that defines a data file, as a host's handler
// could: the dictionary gets one more file.
Status DefineFile(uint16_t, const CommandArgs&) {
  const uint32_t entry = 0;
  return RecPut(kRecDictFiles, RecInfo(kRecDictFiles, 0), &entry, sizeof entry) ? 0 : 145;
}

TEST_F(CommandTest, DataFilesDefinedByARunCannotBeRemoved) {
  ASSERT_EQ(CommandHandlerSet(0, DefineFile), 0);
  ErrDetailClear();
  EXPECT_EQ(RunText("X=1\nLOADSTRUCT\nX=2"), 0) << "the run's status stays";
  EXPECT_EQ(Detail(), "TempStruct");
  // A run of an entry point does not restore its environment.
  ErrDetailClear();
  Write("E.PRC", "DEF_FN E\nLOADSTRUCT");
  EXPECT_EQ(Run("E", "E.PRC"), 0);
  EXPECT_EQ(Detail(), "");
  // A run that ends with 128 or less restores; one with an error above 128
  // does not.
  ErrDetailClear();
  EXPECT_EQ(RunText("LOADSTRUCT\nY$=1"), 128);
  EXPECT_EQ(Detail().rfind("TempStruct", 0), 0u) << Detail();
  ErrDetailClear();
  EXPECT_EQ(RunText("LOADSTRUCT\nX=1+"), 147);
  EXPECT_EQ(Detail().find("TempStruct"), std::string::npos) << Detail();
}

class StopButtonTest : public CommandTest {
 protected:
  void SetUp() override {
    CommandTest::SetUp();
    ClockSetFakeMonotonic(1000);
  }
  void TearDown() override {
    ProgressReset();
    UiShutdown();
    ClockReset();
    CommandTest::TearDown();
  }
  void StartUi(const std::string& script) {
    UiConfig config;
    config.backend = "headless";
    config.use_environment = false;
    config.script_text = script;
    config.transcript_path = dir_ + "/transcript.txt";
    ASSERT_TRUE(UiInitWith(config));
  }
  // WAIT lets 100 ms pass.
  static Status Wait(uint16_t, const CommandArgs&) {
    ClockAdvanceFake(100);
    return 0;
  }
};

TEST_F(StopButtonTest, StopEndsALongRun) {
  StartUi("click Stop\n");
  ASSERT_EQ(CommandHandlerSet(0, Wait), 0);
  ErrDetailClear();
  EXPECT_EQ(RunText("N=0\n:AGAIN\nN=N+1\nWAIT\nGOTO AGAIN"), 122);
  // The pop-up came after half a second (five rounds), and its fourth look
  // let the script press Stop.
  const int n = std::stoi(Eval("N"));
  EXPECT_GE(n, 6);
  EXPECT_LE(n, 12);
  EXPECT_NE(Detail().find("Line: "), std::string::npos) << Detail();
  EXPECT_EQ(ProgressWindow(), 0u) << "the pop-up goes with the run";
  EXPECT_FALSE(ProgressStopRequested()) << "the next run starts afresh";
  const std::string transcript = qtest::ReadFile(dir_ + "/transcript.txt");
  EXPECT_NE(transcript.find("ProgressDlg"), std::string::npos) << transcript;
  EXPECT_EQ(RunText("X=1"), 0);
}

TEST_F(StopButtonTest, WithoutAPressRunsGoToTheirEnd) {
  StartUi("");
  ASSERT_EQ(CommandHandlerSet(0, Wait), 0);
  EXPECT_EQ(RunText("N=0\nDO_WHILE N<20\nN=N+1\nWAIT\nLOOP"), 0) << Detail();
  EXPECT_EQ(Eval("N"), "20");
  EXPECT_EQ(ProgressWindow(), 0u);
  EXPECT_NE(qtest::ReadFile(dir_ + "/transcript.txt").find("ProgressDlg"), std::string::npos)
      << "two seconds of run showed the pop-up";
}

}  // namespace
