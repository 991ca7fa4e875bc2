// Helpers for the expression tests: an expression's outcome as one short
// text, and a fixture with the runtime up, the language set and the locale
// taken from the store as the program does at start-up.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "core/dyn_strings.h"
#include "core/fixed_point.h"
#include "core/status.h"
#include "core/temp_stack.h"
#include "language/evaluator.h"
#include "language/local_lists.h"
#include "screens/masks.h"
#include "support/runtime_fixture.h"

namespace qtest {

// "n:TEXT" for a number (NumFormatD), "s:TEXT" for a string, "e:CODE" for a
// status. Checks that Evaluate leaves exactly one entry and releases it.
inline std::string Eval(const std::string& text) {
  const TempMarkValue mark = TempMark();
  const uint16_t r = Evaluate(Lit(text));
  std::string out;
  if (TempMark() != mark + 1) {
    out = "stack:" + std::to_string(TempMark() - mark);
  } else if (r == kTypeNumber) {
    out = "n:" + S(NumFormatD(NumFromBytes(TempTop())));
  } else if (r == kTypeString) {
    out = "s:" + S(TempTop());
  } else {
    out = "e:" + std::to_string(r);
  }
  TempRelease(mark);
  return out;
}

// The raw fixed-point value of a number expression (0 when it is not one).
inline int64_t EvalRaw(const std::string& text) {
  const TempMarkValue mark = TempMark();
  const uint16_t r = Evaluate(Lit(text));
  const int64_t v = r == kTypeNumber ? NumFromBytes(TempTop()) : 0;
  TempRelease(mark);
  return v;
}

struct EvalCase {
  std::string expression;
  std::string expected;
};

}  // namespace qtest

// The runtime with language "ES" and the Spanish locale text in (0, 0), as
// start-up leaves them.
class EvalTest : public RuntimeTest {
 protected:
  void SetUp() override {
    RuntimeTest::SetUp();
    ASSERT_EQ(DynSet(0, 4, Lit("ES")), 0);
    LocaleReset();
  }
  void TearDown() override {
    ReleaseLocalLists();
    LocaleReset();
    RuntimeTest::TearDown();
  }
  // Evaluates a list of cases, each reported by its expression.
  void Check(std::initializer_list<qtest::EvalCase> cases) {
    for (const qtest::EvalCase& c : cases) {
      EXPECT_EQ(qtest::Eval(c.expression), c.expected) << "expression: " << c.expression;
    }
  }
  // Evaluates an expression that must succeed (setting up state).
  void Run(const std::string& text) {
    const std::string r = qtest::Eval(text);
    ASSERT_NE(r.substr(0, 2), "e:") << text << " gave " << r;
  }
};
