#include "language/scanner.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/dyn_strings.h"
#include "core/status.h"
#include "core/temp_stack.h"
#include "support/runtime_fixture.h"

using qtest::S;

namespace {

// One scanned token, for comparing a whole scan at once.
struct Tok {
  std::string operand;
  uint16_t op;
  uint16_t flags;
  uint16_t precedence;
  bool operator==(const Tok& o) const {
    return operand == o.operand && op == o.op && flags == o.flags && precedence == o.precedence;
  }
};

std::ostream& operator<<(std::ostream& os, const Tok& t) {
  return os << "{" << t.operand << " op " << t.op << " flags 0x" << std::hex << t.flags << std::dec
            << " prec " << t.precedence << "}";
}

class ScannerTest : public RuntimeTest {
 protected:
  // Prepares text and scans it to the end.
  std::vector<Tok> ScanAll(const std::string& text) {
    std::vector<Tok> out;
    TokenState st = PrepareExpression(Lit(text));
    EXPECT_EQ(st.status, 0) << text;
    do {
      st = NextToken(st);
      out.push_back({S(TokenOperand(st)), st.op, st.flags, st.precedence});
    } while (st.position < st.length && st.status == 0);
    return out;
  }
  std::string Prepared(const std::string& text) {
    const TempMarkValue mark = TempMark();
    const TokenState st = PrepareExpression(Lit(text));
    std::string r = st.status ? "e:" + std::to_string(st.status) : std::string(st.text, st.length);
    TempRelease(mark);
    return r;
  }
};

TEST_F(ScannerTest, ScansOperandsOperatorsAndPrecedence) {
  EXPECT_EQ(ScanAll("A+B*C"), (std::vector<Tok>{{"A", kOpAdd, kClassInteger, 3},
                                                {"B", kOpMul, kClassInteger, 4},
                                                {"C", kOpNone, kClassInteger, 0}}));
  // '-' is not a second character: '<' stands alone and an empty operand follows.
  EXPECT_EQ(ScanAll("X<-1"), (std::vector<Tok>{{"X", kOpLt, kClassInteger, 2},
                                               {"", kOpSub, kClassNumeric, 3},
                                               {"1", kOpNone, kClassNumeric, 0}}));
  // "=>" is not in the table: index 0 ends the first expression.
  EXPECT_EQ(ScanAll("A=>B"),
            (std::vector<Tok>{{"A", kOpNone, kClassInteger, 0}, {"B", kOpNone, kClassInteger, 0}}));
  // The bar binds tighter than '*'; '=' has precedence 0.
  EXPECT_EQ(ScanAll("N#=2*3|4"), (std::vector<Tok>{{"N#", kOpAssign, kClassNumberName, 0},
                                                   {"2", kOpMul, kClassNumeric, 4},
                                                   {"3", kOpBar, kClassNumeric, 5},
                                                   {"4", kOpNone, kClassNumeric, 0}}));
  EXPECT_EQ(ScanAll("A==B<>C>=D<=E&&F||G@@H"), (std::vector<Tok>{{"A", kOpEq, 2, 2},
                                                                 {"B", kOpNe, 2, 2},
                                                                 {"C", kOpGe, 2, 2},
                                                                 {"D", kOpLe, 2, 2},
                                                                 {"E", kOpAnd, 2, 1},
                                                                 {"F", kOpOr, 2, 1},
                                                                 {"G", kOpXor, 2, 1},
                                                                 {"H", kOpNone, 2, 0}}));
}

TEST_F(ScannerTest, OperatorTableIndexesAndPrecedence) {
  // Every text of the table, in table order, with its precedence; texts not
  // in the table have index 0 and precedence 0.
  const char* texts[] = {"*",  "/",  "!",  "%",  "\xF7", "+", "-", "=",  ">",  "<",
                         "==", ">=", "<=", "<>", "&",    "|", "@", "&&", "||", "@@"};
  const uint16_t precedence[] = {4, 4, 4, 4, 4, 3, 3, 0, 2, 2, 2, 2, 2, 2, 1, 5, 1, 1, 1, 1};
  for (uint16_t i = 0; i < 20; ++i) {
    const std::string text = std::string("A") + texts[i] + "B";
    EXPECT_EQ(ScanAll(text).front(),
              (Tok{"A", static_cast<uint16_t>(i + 1), kClassInteger, precedence[i]}))
        << text;
    EXPECT_EQ(OperatorPrecedence(static_cast<uint16_t>(i + 1)), precedence[i]) << text;
  }
  for (const char* text : {"A:B", "A=>B", "A=<B", "A><B", "A!=B", "A&@B", "A*=B"}) {
    EXPECT_EQ(ScanAll(text).front(), (Tok{"A", kOpNone, kClassInteger, 0})) << text;
  }
}

TEST_F(ScannerTest, ClassifiesOperands) {
  struct Case {
    const char* text;
    uint16_t flags;
  } cases[] = {
      {"'a;b'", kClassStringLiteral},
      {"\"x\"", kClassStringLiteral},
      {"X$", kClassStringName},
      {"A#$", kClassStringName},
      {"N#", kClassNumberName},
      {"COUNT", kClassInteger},
      {"_AUX", kClassInteger},
      {"12.5", kClassNumeric},
      {".datey", kClassNumeric},
      {"fn$trim(X$)", kFlagBuiltin | kClassStringName},
      {"FN#VALN(1)", kFlagBuiltin | kClassNumberName},
      {"IER()", kFlagBuiltin | kClassInteger},
      {"T$(1)", kFlagCall | kClassStringName},
      {"(1)", kFlagCall | kClassGroup},
  };
  for (const Case& c : cases) {
    const TempMarkValue mark = TempMark();
    const TokenState st = FirstToken(Lit(c.text));
    EXPECT_EQ(st.status, 0) << c.text;
    EXPECT_EQ(st.flags, c.flags) << c.text;
    TempRelease(mark);
  }
}

TEST_F(ScannerTest, QuotesHideOperatorsAndSeparators) {
  EXPECT_EQ(ScanAll("'a;b'+C"), (std::vector<Tok>{{"'a;b'", kOpAdd, kClassStringLiteral, 3},
                                                  {"C", kOpNone, kClassInteger, 0}}));
  EXPECT_EQ(ScanAll("\"(\"+')'"), (std::vector<Tok>{{"\"(\"", kOpAdd, kClassStringLiteral, 3},
                                                    {"')'", kOpNone, kClassStringLiteral, 0}}));
}

TEST_F(ScannerTest, GroupsAndCalls) {
  const TempMarkValue mark = TempMark();
  TokenState st = FirstToken(Lit("(A+B)*2"));
  EXPECT_EQ(st.flags, kFlagCall | kClassGroup);
  EXPECT_EQ(st.group_length, 3);
  EXPECT_EQ(st.op, kOpMul);
  EXPECT_EQ(S(TokenGroup(st)), "A+B");

  st = FirstToken(Lit("FN$PARM('a,b';(1+1));X"));
  EXPECT_EQ(st.builtin, 18);
  EXPECT_EQ(S(TokenOperand(st)), "FN$PARM");
  EXPECT_EQ(S(TokenGroup(st)), "'a,b';(1+1)");
  EXPECT_TRUE(st.separated);
  st = NextToken(st);
  EXPECT_EQ(S(TokenOperand(st)), "X");
  TempRelease(mark);
}

TEST_F(ScannerTest, SyntaxCheckBlankRules) {
  struct Case {
    const char* text;
    const char* prepared;  // or "e:CODE"
    const char* detail;
  } cases[] = {
      {"A +B", "A+B", ""},           {"A (B)", "A(B)", ""},   {"A  +  (B)", "A+(B)", ""},
      {"'a  b' +1", "'a  b'+1", ""}, {"A + B", "e:147", "B"}, {"A+ B", "e:147", "B"},
      {" A", "e:147", "A"},          {"A ", "e:147", ""},     {"F((1)", "e:129", "F((1)"},
      {"F(')')", "F(')')", ""},
  };
  for (const Case& c : cases) {
    ErrDetailClear();
    EXPECT_EQ(Prepared(c.text), c.prepared) << c.text;
    EXPECT_EQ(S(ErrDetailText()), c.detail) << c.text;
  }
}

TEST_F(ScannerTest, ExpandsAcceptMacros) {
  EXPECT_EQ(Prepared("_ACCEPT#(NAME)+1"),
            "FN#VALN(FN$TRIM(FN$PARM(_$(.envvar;.dialog);NAME);'FIT'))+1");
  EXPECT_EQ(Prepared("X$=_ACCEPT$(2)"), "X$=FN$TRIM(FN$PARM(_$(.envvar;.dialog);2);'FIT')");
  EXPECT_EQ(Prepared("_ACCEPT$(A)+_ACCEPT$(B)"),
            "FN$TRIM(FN$PARM(_$(.envvar;.dialog);A);'FIT')+FN$TRIM(FN$PARM(_$(.envvar;.dialog);B);"
            "'FIT')");
  EXPECT_EQ(Prepared("'_ACCEPT$(A)'"), "'_ACCEPT$(A)'");
}

TEST_F(ScannerTest, ArgumentTextSkipsGroupsAndQuotes) {
  const StrDesc list = Lit("a;(b;c),'d;e';F(1,2)");
  EXPECT_EQ(S(ArgumentText(list, 1)), "a");
  EXPECT_EQ(S(ArgumentText(list, 2)), "(b;c)");
  EXPECT_EQ(S(ArgumentText(list, 3)), "'d;e'");
  EXPECT_EQ(S(ArgumentText(list, 4)), "F(1,2)");
  EXPECT_EQ(S(ArgumentText(list, 5)), "");
  EXPECT_EQ(S(ArgumentText(Lit("x+1;;y"), 2)), "");
  EXPECT_EQ(S(ArgumentText(Lit("x+1;;y"), 3)), "y");
  EXPECT_EQ(S(OperandText(Lit("AB+CD"), 3)), "CD");
}

TEST_F(ScannerTest, GroupLength) {
  EXPECT_EQ(GroupLength(Lit("F(a(b)c)d")), 5);
  EXPECT_EQ(GroupLength(Lit("F(')')")), 3);
  EXPECT_EQ(GroupLength(Lit("F(abc")), 3);
  EXPECT_EQ(GroupLength(Lit("abc")), 0);
}

TEST_F(ScannerTest, BuiltinNamesAreCaseInsensitiveAndListed) {
  EXPECT_EQ(IsBuiltinName(Lit("_#")), 1);
  EXPECT_EQ(IsBuiltinName(Lit("fn$trim")), 19);
  EXPECT_EQ(IsBuiltinName(Lit("SqlChild")), 33);
  EXPECT_EQ(IsBuiltinName(Lit("FN$TRIMS")), 0);
  EXPECT_EQ(IsBuiltinName(Lit("X")), 0);
  // The list is kept NUL-separated in (0, 8).
  const std::string list = S(DynGet(0, 8));
  EXPECT_EQ(list.substr(0, 11), std::string("_#\0FN#FLEN\0", 11));
  EXPECT_EQ(list.size(), std::strlen(kBuiltinList));
}

TEST_F(ScannerTest, ExpressionKind) {
  struct Case {
    const char* text;
    uint16_t kind;
  } cases[] = {
      {"'a'+B$", 1},    {"A$='x'", 1},   {"X$", 1},      {"FN$TRIM(X)", 1},
      {"('a'+'b')", 1}, {"'a'=='b'", 0}, {"1+2", 0},     {"N#", 0},
      {"A;B$", 1},      {"", 0},         {"A + B", 147},
  };
  for (const Case& c : cases) {
    const TempMarkValue mark = TempMark();
    EXPECT_EQ(ExpressionKind(Lit(c.text)), c.kind) << c.text;
    EXPECT_EQ(TempMark(), mark) << c.text;
  }
}

}  // namespace
