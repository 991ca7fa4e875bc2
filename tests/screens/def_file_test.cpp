// Definition files: line layouts, reading and joining, the definition stack,
// key names and values with their fallbacks.
#include "screens/def_file.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/dyn_strings.h"
#include "core/messages.h"
#include "core/status.h"
#include "core/temp_stack.h"
#include "language/evaluator.h"
#include "language/variables.h"
#include "platform/fs.h"
#include "support/runtime_fixture.h"
#include "support/test_dirs.h"

namespace {

using qtest::S;

StrDesc D(const std::string& s) {
  return StrMake(s.data(), static_cast<uint16_t>(s.size()));
}

std::vector<std::string> Queue() {
  std::vector<std::string> items;
  for (uint16_t i = 0; i < DynCount(kDefQueueGroup); ++i)
    items.push_back(S(DynGet(kDefQueueGroup, i)));
  return items;
}

class DefFileTest : public RuntimeTest {
 protected:
  void SetUp() override {
    RuntimeTest::SetUp();
    dir_ = qtest::MakeTempDir("def_file");
    root_ = FsRuntimePath(dir_);
  }
  void TearDown() override {
    qtest::RemoveTree(dir_);
    RuntimeTest::TearDown();
  }
  // Writes a file into the test folder; returns its runtime path.
  std::string Write(const std::string& name, const std::string& content) {
    EXPECT_TRUE(qtest::WriteFile(dir_ + "/" + name, content));
    return root_ + "\\" + name;
  }
  std::string Fixture() {
    return FsRuntimePath(qtest::SourcePath("tests/screens/fixtures/SAMPLE.PPN"));
  }
  void Current(const std::string& text) {
    DynTruncate(kDefStackGroup, 0);
    ASSERT_EQ(DefPushText(D(text)), 0);
  }
  std::string dir_;
  std::string root_;
};

TEST_F(DefFileTest, LineLayouts) {
  struct Case {
    uint16_t kind;
    const char* line;
    uint16_t id;
    const char* text;
  } cases[] = {
      {1, "05 FD$=A", 5, "FD$=A"},
      {1, " 5 X", 5, "X"},  // a blank in the identifier reads as 0
      {1, "5", 5, ""},
      {1, "ab X", 0, "X"},
      {1, "-1 X", 0xFFFF, "X"},
      {2, "x07TEXT;", 7, "TEXT"},  // the last byte is dropped
      {2, "x07A", 7, ""},
      {2, "x 7 AB;", 7, " AB"},
      {3, "0123 Help text", 123, "Help text"},
      {3, "  12 x", 12, "x"},
      {4, "12REL", 12, "REL"},
      {0, "12 anything", 0, "12 anything"},
      {5, "12 x", 0, "12 x"},
      {6, "00042rest", 42, "00042rest"},
      {7, "05 X", 0, "05 X"},  // kinds above 6 read as 0
      {200, "05 X", 0, "05 X"},
      {1, "", 0, ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(DefLineId(c.kind, StrFromCstr(c.line)), c.id) << c.kind << " '" << c.line << "'";
    EXPECT_EQ(S(DefLineText(c.kind, StrFromCstr(c.line))), c.text)
        << c.kind << " '" << c.line << "'";
  }
  DefLayout help = DefLineLayout(3);
  EXPECT_EQ(help.id_offset, 0);
  EXPECT_EQ(help.id_width, 4);
  EXPECT_EQ(help.text_start, 5);
  EXPECT_EQ(help.tail_cut, 5);
  EXPECT_EQ(DefLineLayout(9).id_width, 0);
}

TEST_F(DefFileTest, FileNames) {
  ASSERT_EQ(DynSet(0, 5, Lit("C:\\defs")), 0);
  EXPECT_EQ(S(DefExtName(Lit("QOMENU"), kDefPmt)), "QOMENU.PMT");
  EXPECT_EQ(S(DefExtName(Lit("X"), 5)), "X.DAT");
  EXPECT_EQ(S(DefExtName(Lit("X"), 14)), "X.CFG");
  EXPECT_EQ(S(DefExtName(Lit("X"), 15)), "X");
  EXPECT_EQ(S(DefPath(Lit("QOPED"), kDefPpn)), "C:\\defs\\QOPED.PPN");
  EXPECT_EQ(S(DefPath(Lit(""), kDefPpn)), "");
  EXPECT_EQ(S(DefPath(Lit("D:\\x\\QOPED"), kDefPan)), "D:\\x\\QOPED.PAN");
  EXPECT_EQ(S(DefPath(Lit("\\x\\QOPED"), kDefPan)), "\\x\\QOPED.PAN");
}

TEST_F(DefFileTest, ReadLinesSelectsOneIdentifierInFileOrder) {
  std::string file = Fixture();
  EXPECT_EQ(DefReadLines(D(file), kLayoutParams, 2, kDefQueueGroup), 2);
  EXPECT_EQ(Queue(), (std::vector<std::string>{"FD$=NOMBRE$,CANT%", "EDIT$=NOMBRE$"}));
  EXPECT_EQ(S(DefJoinLines(2, Lit(":"))), "FD$=NOMBRE$,CANT%:EDIT$=NOMBRE$");
  EXPECT_EQ(DynCount(kDefQueueGroup), 0);

  EXPECT_EQ(DefReadLines(D(file), kLayoutParams, 7, kDefQueueGroup), 0);
  EXPECT_EQ(DefReadLines(D(file), kLayoutWhole, 0, kDefQueueGroup), 7) << "every line, blank too";
  EXPECT_EQ(Queue()[4], "");
  EXPECT_EQ(Queue()[6], "01 RELOPT%=NONE") << "the Ctrl-Z after the last line is not a line";
  DynTruncate(kDefQueueGroup, 0);

  EXPECT_EQ(DefReadLines(D(root_ + "\\missing.ppn"), kLayoutParams, 1, kDefQueueGroup), 0xFFFF);
  EXPECT_EQ(ErrWord(), 0u) << "the caller reports";
}

TEST_F(DefFileTest, ReadLinesFallsBackToTheDefinitionsFolder) {
  Write("LOCAL.PPN", "01 A=1\n");
  ASSERT_EQ(DynSet(0, 5, D(root_)), 0);
  EXPECT_EQ(DefReadLines(Lit("local.ppn"), kLayoutParams, 1, kDefQueueGroup), 1)
      << "a bare name is looked for in the definitions folder";
  DynTruncate(kDefQueueGroup, 0);
  EXPECT_EQ(DefReadLines(Lit("sub\\LOCAL.PPN"), kLayoutParams, 1, kDefQueueGroup), 0xFFFF)
      << "a name with a folder is not";
  EXPECT_EQ(DefReadLines(Lit("CON"), kLayoutParams, 1, kDefQueueGroup), 0xFFFF);
  EXPECT_EQ(DefReadLines(Lit(""), kLayoutParams, 1, kDefQueueGroup), 0xFFFF);
}

TEST_F(DefFileTest, FailedAppendLeavesTheQueueEmpty) {
  // Lines long enough that the store fills before the file ends.
  std::string big;
  for (int i = 0; i < 8; ++i)
    big += "01 " + std::string(9000, static_cast<char>('a' + i)) + "\r\n";
  std::string file = Write("BIG.PPN", big);
  EXPECT_EQ(DefReadLines(D(file), kLayoutParams, 1, kDefQueueGroup), 0xFFFF);
  EXPECT_EQ(DynCount(kDefQueueGroup), 0);
  EXPECT_EQ(DefPush(D(file), kLayoutParams, 1), 0xFFFF);
  EXPECT_EQ(DefDepth(), 0);
}

TEST_F(DefFileTest, JoinLines) {
  for (const char* item : {"", "a", "", "b", "c"})
    ASSERT_EQ(DynPush(kDefQueueGroup, StrFromCstr(item)), 0);
  TempMarkValue mark = TempMark();
  EXPECT_EQ(S(DefJoinLines(4, Lit(":"))), "a:b") << "no separator beside an empty part";
  EXPECT_EQ(TempMark(), mark + 1);
  EXPECT_EQ(Queue(), (std::vector<std::string>{"c"}));
  EXPECT_EQ(S(DefJoinLines(9, Lit("\r\n"))), "c") << "a count beyond the queue stops at its end";
  EXPECT_EQ(S(DefJoinLines(0, Lit(":"))), "");
  TempRelease(mark);

  // A join that no longer fits fails and still takes its lines.
  std::string part(40000, 'x');
  ASSERT_EQ(DynPush(kDefQueueGroup, D(part.substr(0, 30000))), 0);
  ASSERT_EQ(DynPush(kDefQueueGroup, D(part.substr(0, 30000))), 0);
  ASSERT_EQ(DynPush(kDefQueueGroup, Lit("tail")), 0);
  std::string sep(6000, ':');
  EXPECT_TRUE(StrIsError(DefJoinLines(3, D(sep))));
  EXPECT_EQ(DynCount(kDefQueueGroup), 0);
}

TEST_F(DefFileTest, DefinitionStack) {
  std::string file = Fixture();
  EXPECT_EQ(DefPush(D(file), kLayoutParams, 1), 0);
  EXPECT_EQ(S(DefCurrent()),
            "WINNAME$='Pedido nuevo':INDEX%=2:FD$=CODIGO$,PRECIO#:"
            "ALARM$='CODIGO$<>\"\",PRECIO#>0':RELOPT%=NONE");
  EXPECT_EQ(DefPush(D(file), kLayoutParams, 2), 0);
  EXPECT_EQ(S(DefCurrent()), "FD$=NOMBRE$,CANT%:EDIT$=NOMBRE$");
  EXPECT_EQ(DefPush(D(file), kLayoutParams, 3), 0) << "no matching line: an empty definition";
  EXPECT_EQ(S(DefCurrent()), "");
  EXPECT_EQ(DefDepth(), 3);
  EXPECT_EQ(DefPop(), 0);
  EXPECT_EQ(S(DefCurrent()), "FD$=NOMBRE$,CANT%:EDIT$=NOMBRE$");

  std::string missing = root_ + "\\NONE.PPN";
  EXPECT_EQ(DefPush(D(missing), kLayoutParams, 1), 0xFFFF);
  EXPECT_EQ(DefDepth(), 2) << "nothing pushed";
  EXPECT_EQ(DefPushOrEmpty(D(missing), kLayoutParams, 1), 0);
  EXPECT_EQ(DefDepth(), 3);
  EXPECT_EQ(S(DefCurrent()), "");
  EXPECT_EQ(DefPop(), 0);
  EXPECT_EQ(S(DefCurrent()), "FD$=NOMBRE$,CANT%:EDIT$=NOMBRE$");

  std::string help = Write("HELP.HLP", "0101 First line\r\n0102 other\r\n0101 Second line\r\n");
  EXPECT_EQ(DefPushSep(D(help), kLayoutHelp4, 101, Lit("\r\n")), 0);
  EXPECT_EQ(S(DefCurrent()), "First line\r\nSecond line");
  DefPop();
  DefPop();
  DefPop();
  EXPECT_EQ(DefDepth(), 0);
  EXPECT_EQ(DefPop(), 0) << "popping an empty stack";
  EXPECT_EQ(DynCount(kDefQueueGroup), 0);
}

TEST_F(DefFileTest, KeyNames) {
  struct Case {
    uint16_t number;
    const char* name;
  } cases[] = {
      {0, ""},
      {1, "MODULES$"},
      {9, "STATMSG$"},
      {10, ""},
      {11, "SCREENSIZE$"},
      {29, "VOIDMODE%"},
      {30, ""},
      {31, "NUMCAB$"},
      {48, "MAXLIN%"},
      {49, ""},
      {50, ""},
      {51, "FD$"},
      {65, "IK$(1)"},
      {67, "IK$(3)"},
      {68, ""},
      {70, ""},
      {75, "MAXLINE%"},
      {81, "WD"},
      {82, ""},
      {90, ""},
      {94, "INDEX%"},
      {99, "PRCNAME$"},
      {100, ""},
      {101, "ACCEPT_PRC%"},
      {116, "STRUCT$"},
      {117, ""},
      {0xFFFF, ""},
  };
  for (const Case& c : cases)
    EXPECT_EQ(S(DefKeyName(c.number)), c.name) << c.number;
  EXPECT_EQ(S(DefKeyName(kKeyMaxIdsAttr)), "MAX_IDS_ATTR%");
  EXPECT_EQ(S(DefKeyName(kKeyBeginFld)), "BEGINFLD%");
  EXPECT_EQ(S(DefKeyName(kKeyOnCancel)), "ON_CANCEL$");
  EXPECT_EQ(S(DefKeyName(kKeyPrcName)), "PRCNAME$");

  ASSERT_EQ(DynSet(9, 8, Lit("P1,P2")), 0);
  ASSERT_EQ(SetIntegerVar(kSysAux, 2), 0);
  EXPECT_EQ(S(DefKeyName(51)), "P2.FD$");
  EXPECT_EQ(S(DefKeyName(100)), "") << "no name, no prefix";
  ASSERT_EQ(SetIntegerVar(kSysAux, 0), 0);
}

TEST_F(DefFileTest, GetNormalisesTheValue) {
  struct Case {
    const char* definition;
    const char* key;
    const char* value;
  } cases[] = {
      {"X=1:FD$=\"a b\":Y=2", "FD$", "a b"},  // quoted: case kept
      {"FD$=abc", "FD$", "ABC"},
      {"FD$= abc", "FD$", ""},            // the blank ends the value
      {"A=\"KEY=1\":KEY=2", "KEY", "2"},  // a quoted occurrence does not count
      {"XKEY=1:KEY=2", "KEY", "2"},       // nor one after a letter
      {"K=2:K:1", "K", "1"},              // ":" is tried first
      {"A=1&B=x/C=3 D=4", "B", "X"},
      {"A=1", "B", ""},
      {"A='it''s'", "A", "it''s"},
      {"", "A", ""},
  };
  for (const Case& c : cases) {
    Current(c.definition);
    EXPECT_EQ(S(DefGet(StrFromCstr(c.key))), c.value) << c.definition << " / " << c.key;
  }
  Current("FD$=abc:INDEX%=3");
  EXPECT_EQ(S(DefGetKey(kKeyFd)), "ABC");
  EXPECT_EQ(S(DefGetKey(kKeyIndex)), "3");
  EXPECT_EQ(S(DefGetKey(100)), "");
}

TEST_F(DefFileTest, KeyValueItemsQuotesAndPrefix) {
  StrDesc text = Lit("FD$='a,b',c:WINNAME$='My win':INDEX%='3':WD=40");
  EXPECT_EQ(S(DefKeyValue(kKeyFd, 0, text)), "'a,b',c") << "only a whole quoted value is unquoted";
  EXPECT_EQ(S(DefKeyValue(kKeyFd, 1, text)), "'a,b'");
  EXPECT_EQ(S(DefKeyValue(kKeyFd, 2, text)), "c");
  EXPECT_EQ(S(DefKeyValue(kKeyFd, 3, text)), "");
  EXPECT_EQ(S(DefKeyValue(kKeyFd, kDefWholeValue, text)), "'a,b',c");
  EXPECT_EQ(S(DefKeyValue(kKeyWinName, 0, text)), "My win");
  EXPECT_EQ(S(DefKeyValue(kKeyIndex, 0, text)), "'3'") << "a % key keeps its quotes";
  EXPECT_EQ(S(DefKeyValue(kKeyWd, 0, text)), "40");
  EXPECT_EQ(S(DefKeyValue(100, 0, text)), "");

  ASSERT_EQ(DynSet(9, 8, Lit("P1,P2")), 0);
  ASSERT_EQ(SetIntegerVar(kSysAux, 2), 0);
  EXPECT_EQ(S(DefKeyValue(kKeyFd, 0, Lit("FD$=x"))), "x") << "the name without its prefix";
  EXPECT_EQ(S(DefKeyValue(kKeyFd, 0, Lit("FD$=x:P2.FD$=y"))), "y");
  EXPECT_EQ(S(DefKeyValue(kKeyFd, 0, Lit("FD$=x:P1.FD$=y"))), "x");
  ASSERT_EQ(SetIntegerVar(kSysAux, 0), 0);
}

TEST_F(DefFileTest, AbsentKeysFallBackToVariables) {
  ASSERT_EQ(AssignIntegerValue(Lit("MAXLINE"), 12), 0);
  ASSERT_EQ(AssignIntegerValue(Lit("INDEX"), 4), 0);
  TempMarkValue mark = TempMark();
  ASSERT_EQ(TempPushCopy(Lit("abc")), 0);
  ASSERT_EQ(AssignVariable(Lit("FD$"), TempTop()), 0);
  TempRelease(mark);

  EXPECT_EQ(S(DefKeyValue(kKeyMaxLine, 0, Lit("A=1"))), "12") << "MAXLINE% reads MAXLINE";
  EXPECT_EQ(S(DefKeyValue(kKeyFd, 0, Lit("A=1"))), "abc");
  EXPECT_EQ(S(DefKeyValue(kKeyIk1, 0, Lit("A=1"))), "") << "IK$(n) has no fallback";
  EXPECT_EQ(S(DefKeyValue(kKeyIndex, 0, Lit("INDEX%=7"))), "7") << "a present key wins";

  Current("A=1");
  EXPECT_EQ(DefCurrentInt(kKeyIndex, 0), 4);
  EXPECT_EQ(DefCurrentInt(kKeyAcceptPrc, 0), 0) << "an unknown variable reads 0";
}

TEST_F(DefFileTest, IntegerValues) {
  // The bad expression is one the evaluator records as an error.
  EXPECT_EQ(EvaluateInteger(Lit("(1+")), 0);
  ASSERT_NE(ErrWord(), 0u);
  StatusReset();
  ErrDetailClear();

  Current("INDEX%=2+3:ACCEPT_PRC%=:BEGINFLD%=(1+:MENU$='4,5*2'");
  EXPECT_EQ(DefCurrentInt(kKeyIndex, 0), 5);
  EXPECT_EQ(DefCurrentInt(kKeyAcceptPrc, 0), 0) << "empty";
  EXPECT_EQ(DefCurrentInt(kKeyBeginFld, 0), 0) << "a failed evaluation";
  EXPECT_EQ(ErrWord(), 0u) << "is not reported";
  EXPECT_EQ(S(ErrDetailText()), "");
  ErrSet(1, kModDataFile, kStFileNotFound, 0);
  ErrDetail(kStFileNotFound, Lit("QODICC.DAT"), false);
  EXPECT_EQ(DefCurrentInt(kKeyBeginFld, 0), 0);
  EXPECT_EQ(ErrWord(), (uint32_t{kModDataFile} << 16) | kStFileNotFound)
      << "an earlier error stays";
  EXPECT_EQ(S(ErrDetailText()), "QODICC.DAT");
  StatusReset();
  EXPECT_EQ(DefCurrentInt(kKeyMenu, 2), 10);
  EXPECT_EQ(DefCurrentInt(kKeyMenu, 1), 4);

  EXPECT_EQ(DefItemInt(Lit("3,0,(1+,7"), 1, 9), 3);
  EXPECT_EQ(DefItemInt(Lit("3,0,(1+,7"), 2, 9), 9) << "0 takes the default";
  EXPECT_EQ(DefItemInt(Lit("3,0,(1+,7"), 3, 9), 9) << "so does a failure";
  EXPECT_EQ(ErrWord(), 0u);
  EXPECT_EQ(DefItemInt(Lit("3,0,(1+,7"), 4, 9), 7);
  EXPECT_EQ(DefItemInt(Lit("3,0,(1+,7"), 5, 9), 9) << "beyond the list";
  EXPECT_EQ(DefItemInt(Lit("6"), 0, 9), 6) << "item 0: the whole text";
  EXPECT_EQ(DefItemInt(Lit("'1,2'"), 1, 9), 9) << "quotes keep a comma inside one item";
}

TEST_F(DefFileTest, MessageFileThroughTheReader) {
  Write("KV_LANG_ES.MSJ", "0005 Hecho\\nBien\r\n0008 Ojo\x1a");
  ASSERT_EQ(DynSet(0, 4, Lit("ES")), 0);
  ASSERT_EQ(DynSet(0, 5, D(root_)), 0);
  DefInstallMessageReader();
  MessagesReset();
  EXPECT_EQ(S(MsgGet("0005")), "Hecho\r\nBien");
  EXPECT_EQ(S(MsgGet("0008")), "Ojo") << "read by the definition reader: the Ctrl-Z is not text";
  SetMsgLineReader(nullptr);
  MessagesReset();
}

}  // namespace
