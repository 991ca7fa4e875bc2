// Loading and preparing procedures: line codes and texts, what is not
// counted, jump targets and block matching, entry points, the limits and
// their messages, loading from the definitions folders and releasing.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/dyn_strings.h"
#include "core/hook_table.h"
#include "core/status.h"
#include "procedures/procedure.h"
#include "procedures/procedure_fixture.h"

using qtest::S;

namespace {

class PrepareTest : public ProcedureTest {
 protected:
  // Loads `text` as P.PRC; the index, or a status.
  uint16_t Load(const std::string& text) {
    Write("P.PRC", text);
    return LoadProcedure(Lit("P.PRC"));
  }
  // "code:target" of every line of record `index`, blank-separated.
  std::string Items(uint16_t index) {
    const ProcedureRecord* record = ProcedureAt(index);
    if (record == nullptr) return "<none>";
    std::string out;
    for (uint16_t i = 0; i < record->line_count; ++i) {
      const PrcItem item = ProcedureItem(*record, i);
      if (!out.empty()) out += ' ';
      out += std::to_string(item.code) + ":" + std::to_string(item.target);
    }
    return out;
  }
  // n copies of `line` joined with '\n'.
  static std::string Repeat(const std::string& line, int n) {
    std::string out;
    for (int i = 0; i < n; ++i)
      out += (i ? "\n" : "") + line;
    return out;
  }
};

TEST_F(PrepareTest, CodesAndTargets) {
  struct Case {
    const char* name;
    const char* text;
    const char* items;
  } cases[] = {
      // IF jumps past its ELSE, ELSE past its ENDIF, ENDIF points at ELSE.
      {"if-else", "IF A==1\nB=1\nELSE\nB=2\nENDIF", "10:3 0:0 9:5 0:0 5:2"},
      {"do-while", "DO_WHILE I<3\nI=I+1\nLOOP", "12:3 0:0 6:0"},
      {"do-until", "DO\nX=1\nLOOP_UNTIL X==1", "15:3 0:0 8:0"},
      {"nested", "IF 1\nDO_UNTIL 1\nLOOP\nENDIF", "10:4 14:3 6:1 5:0"},
      // Blocks match by nesting only, not by kind.
      {"any closer", "DO\nENDIF", "15:2 5:0"},
      // Remarks, blank lines and labels are not counted; a label marks the
      // next counted line.
      {"labels", ":TOP\n; remark\n\n# remark\n/ remark\nX=1\n:L2\nGOTO TOP\nGOSUB L2",
       "0:0 1:0 2:1"},
      {"label at end", "GOTO E\n:E", "1:1"},
      // Keywords are matched exactly, then in upper case.
      {"lower case", "if 1\nendif", "10:2 5:0"},
      {"commands", "ACCEPT x\nWAIT 5\nRC_DELETE\nSYSTEM", "19:0 40:0 46:0 53:0"},
      {"flow words", "LOCALVARS A\nCALL E\nRETURN\nEND", "17:0 3:0 4:0 18:0"},
      // A block left open runs to the end of the procedure.
      {"open if", "IF 0\nX=1", "10:2 0:0"},
      {"open else", "IF 1\nX=1\nELSE\nX=2", "10:3 0:0 9:4 0:0"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const uint16_t index = Load(c.text);
    ASSERT_LT(index, 122) << Detail();
    EXPECT_EQ(Items(index), c.items);
    ReleaseProcedure(index);
    EXPECT_EQ(DynCount(37), 0) << "the line queue is empty after reading";
  }
}

TEST_F(PrepareTest, LineTextsAndEntryPoints) {
  const uint16_t index = Load(
      "  X = 1  \n"   // expression line: the whole trimmed line
      "IF   A==1 \n"  // keyword line: the argument text, trimmed
      "\tENDIF\t\n"
      "DEF_FN FIRST\n"
      "Y=2\n"
      ":L\n"
      "DEF_FN  SECOND\n"
      "END");
  ASSERT_LT(index, 122) << Detail();
  const ProcedureRecord& record = *ProcedureAt(index);
  EXPECT_EQ(record.line_count, 5);
  EXPECT_EQ(S(ProcedureLineText(record, 0)), "X = 1");
  EXPECT_EQ(S(ProcedureLineText(record, 1)), "A==1");
  EXPECT_EQ(S(ProcedureLineText(record, 2)), "");
  EXPECT_EQ(S(ProcedureLineText(record, 3)), "Y=2");
  EXPECT_EQ(S(ProcedureEntryNames(record)), "FIRST,SECOND");
  EXPECT_EQ(ProcedureEntryPosition(record, 1), 3);
  EXPECT_EQ(ProcedureEntryPosition(record, 2), 4);
  EXPECT_EQ(ProcedureEntryPosition(record, 3), 0xFFFF);
  EXPECT_EQ(S(ProcedureName(record)), "P.PRC");
  EXPECT_EQ(record.position, 0);
}

TEST_F(PrepareTest, FailuresAndTheirMessages) {
  struct Case {
    const char* name;
    std::string text;
    Status status;
    const char* detail;  // a part of the detail text
  } cases[] = {
      {"missing label", "X=1\nGOTO NOWHERE", 147,
       "\r\nLabel 'NOWHERE' in line 2 (+ remmarks) not found"},
      {"missing gosub label", "; r\n:L\nGOSUB l", 147, "Label 'l' in line 1 (+ remmarks)"},
      {"closer without opener", "; remark\n:L\nX=1\nENDIF", 147,
       "\r\nFinal of Conditional or loop without \r\nBegin (Loop, Endif...) in line 2 (+ "
       "remmarks)"},
      {"else without if", "ELSE", 147, "in line 1 (+ remmarks)"},
      {"17 open blocks", Repeat("IF 1", 17), 145, "More than 16 open blocks in line 17"},
      {"129 labels", Repeat(":L", 129), 145, "More than 128 labels"},
      {"129 entry points", Repeat("DEF_FN E", 129), 145, "More than 128 entry points"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ErrDetailClear();
    ErrClear();
    EXPECT_EQ(Load(c.text), c.status);
    EXPECT_NE(Detail().find(c.detail), std::string::npos) << Detail();
    EXPECT_EQ(ErrWord(), (uint32_t{kModExecCompiler} << 16) | c.status)
        << "recorded under EXEC_COMPILER";
    EXPECT_EQ(ProcedureCount(), 0);
    EXPECT_EQ(DynCount(37), 0) << "the unused lines leave the queue too";
  }
}

TEST_F(PrepareTest, LimitsThatStillFit) {
  struct Case {
    const char* name;
    std::string text;
  } cases[] = {
      {"16 open blocks", Repeat("IF 1", 16) + "\n" + Repeat("ENDIF", 16)},
      {"128 labels", Repeat(":L", 128) + "\nGOTO L"},
      {"128 entry points", Repeat("DEF_FN E", 128) + "\nEND"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const uint16_t index = Load(c.text);
    ASSERT_LT(index, 122) << Detail();
    ReleaseProcedure(index);
  }
}

TEST_F(PrepareTest, NamesBeyondTheirRoomAreNotFound) {
  // 100 labels of 12 bytes need 1,299 bytes: the late ones are not stored.
  std::string text;
  for (int i = 0; i < 100; ++i)
    text += ":LABEL_" + std::to_string(10000 + i) + "\n";
  EXPECT_LT(Load(text + "GOTO LABEL_10000"), 122) << "an early label is found";
  EXPECT_EQ(Load(text + "GOTO LABEL_10099"), 147) << "a late label was dropped";
  EXPECT_NE(Detail().find("Label 'LABEL_10099'"), std::string::npos);

  std::string entries;
  for (int i = 0; i < 100; ++i)
    entries += "DEF_FN ENTRY_" + std::to_string(10000 + i) + "\nX=1\n";
  Write("E.PRC", entries);
  EXPECT_EQ(Run("ENTRY_10000", "E.PRC"), 0);
  EXPECT_EQ(Run("ENTRY_10099", "E.PRC"), 147) << "a dropped entry point cannot be called";
}

TEST_F(PrepareTest, LoadingFindsTheFileAndRegistersTheRunner) {
  EXPECT_EQ(HookGet(kHookProcedureRunner), nullptr) << "no runner before the first preparation";
  EXPECT_EQ(LoadProcedure(Lit("MISSING.PRC")), 164);
  EXPECT_NE(Detail().find("MISSING.PRC"), std::string::npos);
  EXPECT_EQ(HookGet(kHookProcedureRunner), nullptr) << "a failed load prepares nothing";

  // The definitions folder may be a list: the file is looked for in each.
  const std::string other = dir_ + "/other";
  std::filesystem::create_directory(other);
  ASSERT_TRUE(qtest::WriteFile(other + "/IN2.PRC", "X=1\r\n"));
  ASSERT_EQ(DynSet(0, 5, Lit(dir_ + "/none," + other)), 0);
  EXPECT_EQ(LoadProcedure(Lit("IN2.PRC")), 0);
  EXPECT_NE(HookGet(kHookProcedureRunner), nullptr);
  // A full path is used as it is.
  ASSERT_TRUE(qtest::WriteFile(dir_ + "/FULL.PRC", "X=1\r\n"));
  EXPECT_EQ(LoadProcedure(Lit(dir_ + "/FULL.PRC")), 1);
  EXPECT_EQ(ProcedureCount(), 2);
}

TEST_F(PrepareTest, Releasing) {
  Write("A.PRC", "X=1");
  ASSERT_EQ(LoadProcedure(Lit("A.PRC")), 0);
  ASSERT_EQ(LoadProcedure(Lit("A.PRC")), 1);
  EXPECT_EQ(ReleaseProcedure(164), 164) << "a failed load's status passes through";
  EXPECT_EQ(ReleaseProcedure(7), 141) << "no such record";
  EXPECT_EQ(ReleaseProcedure(0), 0);
  EXPECT_EQ(ProcedureCount(), 1);
  EXPECT_EQ(ReleaseProcedure(0), 0);
  EXPECT_EQ(ProcedureCount(), 0);
  // A procedure loaded for a report and released is loaded afresh by the next
  // one, with no second copy left behind.
  for (int report = 0; report < 3; ++report) {
    const uint16_t index = LoadProcedure(Lit("A.PRC"));
    EXPECT_EQ(index, 0);
    EXPECT_EQ(ReleaseProcedure(index), 0);
  }
  EXPECT_EQ(ProcedureCount(), 0);
}

TEST_F(PrepareTest, ShutdownReleasesEverything) {
  Write("A.PRC", "X=1");
  for (int i = 0; i < 3; ++i)
    ASSERT_LT(LoadProcedure(Lit("A.PRC")), 122);
  ProceduresShutdown();
  EXPECT_EQ(ProcedureCount(), 0);
  EXPECT_EQ(HookGet(kHookProcedureRunner), nullptr);
  // The fixture's shutdown then finds no block left over.
}

}  // namespace
