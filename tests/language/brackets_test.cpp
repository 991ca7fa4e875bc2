// Bracket expansion: pieces innermost first, the search position after a
// replacement, quoting and trimming flags, keyed lookups (key list, command
// line in both cases, environment), escapes, failures, texts that live in
// DynStrings, and the "[$]" marker.
#include "language/brackets.h"

#include <gtest/gtest.h>

#include <string>

#include "core/dyn_strings.h"
#include "core/temp_stack.h"
#include "language/evaluator.h"
#include "language/variables.h"
#include "platform/process.h"
#include "support/runtime_fixture.h"

namespace {

using qtest::S;

class BracketsTest : public RuntimeTest {
 protected:
  void SetUp() override {
    RuntimeTest::SetUp();
    Let("A#=12");
    Let("S$='  ab  '");
    Let("T$='ab'");
    Let("E$=''");
    Let("O$=\"it's\"");
    Let("B$='[1+1]'");
  }
  void Let(const char* assignment) {
    const TempMarkValue mark = TempMark();
    ASSERT_LT(Evaluate(Lit(assignment)), 2) << assignment;
    TempRelease(mark);
  }
  // The expansion as text ("<error N>" for a failure); the TempStack is left
  // as found.
  std::string Expand(const std::string& text, uint16_t flags) {
    const TempMarkValue mark = TempMark();
    const StrDesc expanded = ExpandBrackets(Lit(text), flags);
    // One result above the caller's mark, or nothing after a failure.
    EXPECT_EQ(TempMark(), StrIsError(expanded) ? mark : mark + 1) << text;
    const std::string result = S(expanded);
    TempRelease(mark);
    return result;
  }
};

TEST_F(BracketsTest, PiecesAndFlags) {
  struct Case {
    const char* text;
    uint16_t flags;
    const char* expanded;
  } cases[] = {
      {"Total:[A#*2]", 0, "Total:24"},
      {"no pieces", 0, "no pieces"},
      {"[1][2][3]", 0, "123"},
      {"[1/4]|[2.50]", 0, ".25|2.5"},
      {"[[1+1]*3]", 0, "[2*3]"},  // the search goes on after the 2
      {"[[1+1]*3]", kBrRescan, "6"},
      {"[B$]", 0, "[1+1]"},      // a replacement is not expanded again
      {"[B$]", kBrRescan, "2"},  // unless asked to
      {"[50%]", 0, "50%"},       // kept as written
      {"'x[1]'", 0, "'x[1]'"},   // inside quotes
      {"'x[1]'", kBrPlain, "'x1'"},
      {"['a]b']", 0, "a]b"},  // a quoted ']' does not close
      {"a]b[1]", 0, "a]b1"},  // a ']' without '[' stays
      {"x[", 0, "x["},
      {"[E$]x[1]", 0, "x1"},  // an empty replacement at the start
      {"[2-2]", 0, "0"},
      {"[2-2]", kBrZeroEmpty, ""},
      {"[T$]", kBrZeroEmpty, "ab"},
      {"<[S$]>", 0, "<ab>"},
      {"<[S$]>", kBrNoTrim, "<  ab  >"},
      {"[T$]", kBrQuote, "'ab'"},
      {"[T$]", kBrQuote | kBrDouble, "\"ab\""},
      {"[O$]", kBrQuote, "\"it's\""},  // the other quote when needed
      {"[A#]", kBrQuote, "'12'"},
      {"\\{A\\}[1]", kBrEscapes, "[A]1"},  // escapes are turned after expansion
      {"\\{A\\}", 0, "\\{A\\}"},
      {"[]", 0, "0"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Expand(c.text, c.flags), c.expanded) << c.text << " flags " << c.flags;
  }
}

TEST_F(BracketsTest, FailuresStopTheExpansion) {
  Let("Q$='a'+\"'\"+'\"'");  // holds both quote characters
  EXPECT_EQ(Expand("ok [1] [A# + 1] [2]", 0), "<error 147>");
  EXPECT_EQ(Expand("[F((1)]", 0), "<error 129>");
  EXPECT_EQ(Expand("[Q$]", kBrQuote), "<error 163>");
  EXPECT_EQ(Expand("[Q$]", 0), "a'\"");
  const TempMarkValue mark = TempMark();
  EXPECT_EQ(StrCheck(ExpandBrackets(StrError(164), 0)), 164);
  EXPECT_EQ(TempMark(), mark);
}

TEST_F(BracketsTest, ASelfReproducingRescanIsStopped) {
  Let("R$='[R$]'");
  EXPECT_EQ(Expand("x[R$]", kBrRescan), "<error 129>");
  EXPECT_EQ(Expand("x[R$]", 0), "x[R$]");
}

TEST_F(BracketsTest, TextInDynStringsSurvivesAssignments) {
  // The text is a string variable's stored value; its pieces create new
  // variables, which moves the store's contents.
  Let("T$=\"[N1$='xxxxxxxx'][N2$='yyyy']done\"");
  const TempMarkValue mark = TempMark();
  ASSERT_EQ(ReadVariable(Lit("T$")), 0);
  const StrDesc stored = StringVar(LookupVariable(Lit("T$")).index);
  EXPECT_EQ(S(ExpandBrackets(stored, 0)), "xxxxxxxxyyyydone");
  TempRelease(mark);
}

class KeyedBracketsTest : public BracketsTest {
 protected:
  void SetUp() override {
    BracketsTest::SetUp();
    ASSERT_EQ(DynSet(0, 1, Lit("/NAME=Cmd /lower=low /UPPER=up /ONLY=line")), 0);
    ASSERT_TRUE(ProcessSetEnv("QTEST_BRACKET_ENV", "fromenv"));
  }
  void TearDown() override {
    ProcessUnsetEnv("QTEST_BRACKET_ENV");
    BracketsTest::TearDown();
  }
  std::string Keyed(const std::string& text, const std::string& keys) {
    const TempMarkValue mark = TempMark();
    const std::string result = S(ExpandBracketsKeyed(Lit(text), Lit(keys)));
    TempRelease(mark);
    return result;
  }
};

TEST_F(KeyedBracketsTest, LookupOrder) {
  const std::string keys = "NAME=Ana:CITY=Lugo";
  struct Case {
    const char* text;
    const char* expanded;
  } cases[] = {
      {"[NAME]", "Ana"},               // the key list first
      {"[CITY]-[ONLY]", "Lugo-line"},  // then the command line
      {"[name]", "Cmd"},               // ...with its case flipped
      {"[LOWER]", "low"},
      {"[upper]", "up"},
      {"[QTEST_BRACKET_ENV]", "fromenv"},  // then the environment
      {"[A#*2]", "24"},                    // else evaluated
      {"[Z#]", ""},                        // 0 is empty in this form
      {"[50%]", "50%"},
      {"'[NAME]'", "'Ana'"},  // quotes are not skipped
  };
  for (const Case& c : cases)
    EXPECT_EQ(Keyed(c.text, keys), c.expanded) << c.text;
  EXPECT_EQ(Keyed("[NAME]", ""), "Cmd");
}

TEST_F(KeyedBracketsTest, KeyedValuesTakeTheOtherFlags) {
  const TempMarkValue mark = TempMark();
  EXPECT_EQ(S(ExpandBrackets(Lit("[NAME]"), kBrKeyed | kBrQuote, Lit("NAME=Ana"))), "'Ana'");
  EXPECT_EQ(S(ExpandBrackets(Lit("[NAME]"), 0, Lit("NAME=Ana"))), "0")
      << "without the keyed flag the key list is not used";
  TempRelease(mark);
}

TEST_F(BracketsTest, DollarMarker) {
  const TempMarkValue mark = TempMark();
  EXPECT_EQ(S(ReplaceDollarMarker(Lit("Total [$] of [$]"), Lit("5"))), "Total 5 of 5");
  EXPECT_EQ(S(ReplaceDollarMarker(Lit("no marker [x]"), Lit("5"))), "no marker [x]");
  EXPECT_EQ(S(ReplaceDollarMarker(Lit("[$]"), StrError(145))), "[$]");
  TempRelease(mark);
}

}  // namespace
