#include "shell/cmdline.h"

#include <gtest/gtest.h>

#include <string>

#include "core/dyn_strings.h"
#include "core/temp_stack.h"
#include "platform/process.h"
#include "support/runtime_fixture.h"

using qtest::S;

namespace {

class CmdlineTest : public RuntimeTest {
 protected:
  void Store(const std::string& line) { ASSERT_EQ(CmdlineStore(Lit(line)), 0); }
};

// --- normalisation ----------------------------------------------------------

TEST_F(CmdlineTest, TheCommandLineIsNormalisedOutsideQuotes) {
  struct Case {
    const char* given;
    const char* stored;
  } cases[] = {
      {"prog.exe  -APNAME=ab1", "prog.exe /APNAME=ab1"},
      {" \tprog.exe --DPATH=c:\\x \t", "prog.exe /DPATH=c:\\x"},
      {"prog.exe     /A=1      -B=2", "prog.exe /A=1 /B=2"},
      {"prog.exe ---X=1", "prog.exe /-X=1"},
      {"prog.exe \"my  -folder\"  -X=1", "prog.exe \"my  -folder\" /X=1"},
      {"prog.exe /T='a  --b'", "prog.exe /T='a  --b'"},
      {"-A=1", "-A=1"},  // a dash is an option mark only after a blank
      {"prog.exe a-b", "prog.exe a-b"},
      {"   ", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.given);
    Store(c.given);
    EXPECT_EQ(S(DynGet(0, 1)), c.stored);
  }
  EXPECT_EQ(CmdlineStore(StrError(163)), 163);
}

// --- options ------------------------------------------------------------------

TEST_F(CmdlineTest, OptionNamesByNumber) {
  EXPECT_EQ(S(OptionName(kOptHelp)), "?;HELP");
  EXPECT_EQ(S(OptionName(kOptApName)), "APNAME");
  EXPECT_EQ(S(OptionName(kOptRun)), "RUN");
  EXPECT_EQ(S(OptionName(kOptTrace)), "TRACE");
  EXPECT_EQ(S(OptionName(kOptPassw)), "PASSW");
  EXPECT_EQ(S(OptionName(0)), "");
  EXPECT_EQ(S(OptionName(20)), "");
}

TEST_F(CmdlineTest, OptionsAreFoundByNameWithTheirCaseRules) {
  struct Case {
    const char* line;
    const char* name;
    const char* value;
  } cases[] = {
      {"prog.exe  -APNAME=ab1", "APNAME", "AB1"},  // normalised: upper case
      {"prog.exe /apname=x", "APNAME", "X"},       // retried in lower case
      {"prog.exe /APNAME=x", "apname", "X"},       // retried in upper case
      {"prog.exe /ApName=x", "APNAME", ""},        // mixed case is not found
      {"prog.exe /APNAME=x", "ApName", ""},
      {"prog.exe /apname:x", "APNAME", "X"},          // ':' works like '='
      {"prog.exe --DPATH=c:\\x", "DPATH", "C"},       // the colon ends the value
      {"prog.exe /DPATH='c:\\x'", "DPATH", "c:\\x"},  // a quoted value is kept as is
      {"prog.exe /RUN=\"Report X,1\"", "RUN", "Report X,1"},
      {"prog.exe XAPNAME=1", "APNAME", ""},  // must follow a separator
      {"prog.exe /A=1 /APNAME=QO", "APNAME", "QO"},
      {"prog.exe /A=1&B=2", "B", "2"},
      {"prog.exe /TRACE=9", "TRACE", "9"},
      {"prog.exe", "APNAME", ""},
      {"prog.exe /APNAME=x", "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.line) + " / " + c.name);
    Store(c.line);
    TempMarkValue mark = TempMark();
    StrDesc value = OptionByName(Lit(c.name));
    EXPECT_EQ(S(value), c.value);
    EXPECT_EQ(TempMark(), mark + 1);  // one stable copy
    TempRelease(mark);
  }
}

TEST_F(CmdlineTest, OptionsAreFoundByNumber) {
  Store("C:\\APPS\\quillon.exe -apname=qo0001 --TRACE=8 /MODE=b");
  EXPECT_EQ(S(OptionValue(kOptApName)), "QO0001");
  EXPECT_EQ(S(OptionValue(kOptTrace)), "8");
  EXPECT_EQ(S(OptionValue(kOptRun)), "");
  EXPECT_EQ(S(OptionValue(0)), "");

  EXPECT_EQ(OptionPosition(kOptMode, Lit("A,B,C")), 2);
  EXPECT_EQ(OptionPosition(kOptMode, Lit("X,Y")), 0);
  EXPECT_EQ(OptionPosition(kOptRun, Lit("A,,B")), 0);  // an absent option matches nothing
}

// --- placeholders ----------------------------------------------------------------

class PlaceholderTest : public CmdlineTest {
 protected:
  void SetUp() override {
    CmdlineTest::SetUp();
    Store("prog.exe /X=1");
    Set(2, "QO0001");
    Set(3, "Quillon Tally");
    Set(4, "ES");
    Set(5, "C:\\APPS");
    Set(6, "C:\\DOCS");
    Set(7, "C:\\HELP");
    Set(11, "srv,db,usr,'Pw'");
  }
  void Set(uint16_t item, const char* text) { ASSERT_EQ(DynSet(0, item, Lit(text)), 0); }
  std::string Expand(const char* text) {
    TempMarkValue mark = TempMark();
    std::string out = S(ExpandPlaceholders(Lit(text)));
    EXPECT_EQ(TempMark(), mark + 1);
    TempRelease(mark);
    return out;
  }
};

TEST_F(PlaceholderTest, NamesExpandToTheSettings) {
  struct Case {
    const char* text;
    const char* expanded;
  } cases[] = {
      {"%APNAME%CLCUSR.DAT", "QOCLCUSR.DAT"},  // the application prefix only
      {"%COMMANDLINE%", "prog.exe /X=1"},
      {"%APDESCRIP%", "Quillon Tally"},
      {"%LANGMODULE.DOCPATH%", "ES"},
      {"%DATAPATH%\\QODICC.DAT", "C:\\APPS\\QODICC.DAT"},
      {"%HELPPATH%", "C:\\DOCS"},  // item 6, by its position in the list
      {"%DATABASE_HOST%", "SRV"},  // normalised
      {"%DATABASE_USER%", "USR"},
      {"%DATABASE_PASSW%", "Pw"},  // quoted: kept as written
      {"%APNAME%-%APNAME%", "QO-QO"},
      {"%apname%", ""},  // names are case-sensitive
      {"%UNKNOWN%x", "x"},
      {"a%%b", "ab"},
      {"100%", "100%"},  // a single "%" is left alone
      {"", ""},
      {"no placeholders", "no placeholders"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(Expand(c.text), c.expanded);
  }
}

TEST_F(PlaceholderTest, AValueHoldingItsOwnPlaceholderIsExpandedOnce) {
  Set(3, "A%APDESCRIP%B");
  EXPECT_EQ(Expand("%APDESCRIP%"), "A%APDESCRIP%B");
  // The other placeholders of the text are still expanded.
  EXPECT_EQ(Expand("%APDESCRIP% %APNAME%"), "A%APDESCRIP%B QO");

  // Two settings naming each other.
  Set(3, "%LANGMODULE.DOCPATH%");
  Set(4, "[%APDESCRIP%]");
  EXPECT_EQ(Expand("%APDESCRIP%"), "[%APDESCRIP%]");
}

TEST_F(PlaceholderTest, AResultThatDoesNotFitIsAnError) {
  std::string big(40000, 'x');
  Set(3, big.c_str());
  TempMarkValue mark = TempMark();
  StrDesc out = ExpandPlaceholders(Lit("%APDESCRIP%%APDESCRIP%"));
  EXPECT_TRUE(StrIsError(out));
  EXPECT_EQ(TempMark(), mark);
}

// --- environment ----------------------------------------------------------------

class EnvironmentTest : public CmdlineTest {
 protected:
  void TearDown() override {
    ProcessUnsetEnv("QT_CMDLINE_VAR");
    CmdlineTest::TearDown();
  }
};

TEST_F(EnvironmentTest, EnvValueReadsTheProcessEnvironment) {
  ProcessUnsetEnv("QT_CMDLINE_VAR");
  EXPECT_EQ(S(EnvValue(Lit("QT_CMDLINE_VAR"))), "");
  ASSERT_TRUE(ProcessSetEnv("QT_CMDLINE_VAR", "d:\\data"));
  EXPECT_EQ(S(EnvValue(Lit("QT_CMDLINE_VAR"))), "d:\\data");
  EXPECT_EQ(S(EnvValue(Lit("qt_cmdline_var"))), "");  // names are case-sensitive
  EXPECT_EQ(S(EnvValue(Lit(""))), "");
}

TEST_F(EnvironmentTest, WorkingFolderIsInTheRuntimeForm) {
  std::string folder = S(WorkingFolder());
  ASSERT_FALSE(folder.empty());
  EXPECT_EQ(folder.find('/'), std::string::npos);
  EXPECT_LE(folder.size(), 384u);
}

TEST_F(EnvironmentTest, LookupTakesKeysThenOptionsThenEnvironment) {
  ASSERT_TRUE(ProcessSetEnv("QT_CMDLINE_VAR", "from env"));
  struct Case {
    const char* keys;
    const char* line;
    const char* value;
  } cases[] = {
      {"A=1 QT_CMDLINE_VAR='from keys'", "prog.exe /QT_CMDLINE_VAR=cmd", "from keys"},
      {"QT_CMDLINE_VAR:abc", "prog.exe", "abc"},  // raw case
      {"A=1", "prog.exe /QT_CMDLINE_VAR=cmd", "CMD"},
      {"", "prog.exe /qt_cmdline_var=cmd", "CMD"},
      {"QT_CMDLINE_VAR=", "prog.exe", "from env"},
      {"", "prog.exe", "from env"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.keys) + " | " + c.line);
    Store(c.line);
    EXPECT_EQ(S(EnvLookup(Lit(c.keys), Lit("QT_CMDLINE_VAR"))), c.value);
  }
  ProcessUnsetEnv("QT_CMDLINE_VAR");
  Store("prog.exe");
  EXPECT_EQ(S(EnvLookup(Lit(""), Lit("QT_CMDLINE_VAR"))), "");
}

}  // namespace
