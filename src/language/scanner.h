// The expression scanner: preparation of an expression text and the token
// walk that the evaluator, the built-in functions and the procedures use.
//
// Expressions are kept as text; there is no byte code. PrepareExpression runs
// the syntax check on the text as written (balanced parentheses; a blank may
// stand only directly before an operator character), removes the blanks
// outside quotes and expands the macros _ACCEPT#( and _ACCEPT$(. The prepared
// text is pushed on the TempStack; a TokenState points into it, so the caller
// keeps that entry (its mark) alive while it scans.
//
// NextToken yields one operand and the operator after it: the operand's class
// and flags, its group (the parenthesised text after a name), the operator's
// index in the operator table and its precedence. Quoted literals are never
// searched inside. A TokenState is a plain value copied in and out of every
// step. The scanner records nothing in the error word; only the syntax check
// and a failing field reference leave an error detail text.
#pragma once

#include <cstdint>

#include "core/str_desc.h"

// Operand classes (the low bits of the flags; bit 0x01 means string-valued;
// 2, 3 and 6 are also the variable type codes) and the flags added to them.
enum OperandBits : uint16_t {
  kClassNumeric = 0,        // numeric literal, structure constant, empty operand
  kClassStringLiteral = 1,  // contains a quote
  kClassInteger = 2,        // integer name (first byte >= 'A')
  kClassStringName = 3,     // contains '$'
  kClassNumberName = 6,     // contains '#'
  kClassField = 8,          // field reference of a numeric field
  kClassTextField = 9,      // field reference of a text field ("ABCDF")
  kClassGroup = 64,         // empty name followed by '('

  kFlagString = 0x01,
  kFlagVariable = 0x02,
  kFlagFieldRef = 0x08,
  kFlagCall = 0x10,     // followed by '(' and not a built-in: array, external call, group
  kFlagBuiltin = 0x20,  // followed by '(' and a built-in name
  kFlagGroup = 0x40,
};

// Operator indexes: 1-based positions in the operator table.
enum OperatorIndex : uint16_t {
  kOpNone = 0,
  kOpMul = 1,
  kOpDiv = 2,
  kOpRound = 3,        // '!'
  kOpPercent = 4,      // '%'
  kOpLessPercent = 5,  // byte 0xF7
  kOpAdd = 6,
  kOpSub = 7,
  kOpAssign = 8,
  kOpGt = 9,
  kOpLt = 10,
  kOpEq = 11,
  kOpGe = 12,
  kOpLe = 13,
  kOpNe = 14,
  kOpBitAnd = 15,  // '&'
  kOpBar = 16,     // '|', binds tighter than '*'
  kOpAt = 17,      // '@'
  kOpAnd = 18,     // "&&"
  kOpOr = 19,      // "||"
  kOpXor = 20,     // "@@"
};

// The 18 operator characters, in order; a byte of this set ends an operand.
extern const char kOperatorChars[18];
// The operator table as a comma list of its twenty texts, in index order.
extern const char kOperatorTable[];
// The built-in function list, in index order (33 names).
extern const char kBuiltinList[];

// The scanner's state record.
struct TokenState {
  const char* text = nullptr;   // the prepared expression text
  uint16_t length = 0;          // its length
  uint16_t op = 0;              // operator index after the operand (0: separator, end, unknown)
  uint16_t flags = 0;           // class | kFlagCall / kFlagBuiltin
  uint16_t start = 0;           // first byte of the operand
  uint16_t operand_length = 0;  // operand bytes (a call's name, without its group)
  uint16_t position = 0;        // where the next scan starts
  uint16_t group_length = 0;    // bytes between the '(' after the operand and its ')'
  uint16_t precedence = 0;      // of the operator (0 when op is 0)
  uint16_t builtin = 0;         // 1-based built-in index when kFlagBuiltin
  Status status = 0;            // >= 128 stops all scanning
  bool separated = false;       // the operand was followed by ';' or ','
};

// The precedence of an operator index (0 for 0 and unknown indexes).
uint16_t OperatorPrecedence(uint16_t op);

// Syntax check of a text as written: 129 with the text as error detail when
// the parentheses outside quotes do not balance; 147 with the rest of the
// text as detail when a run of blanks is not directly followed by an
// operator character. 0 otherwise.
Status SyntaxCheck(StrDesc text);

// Prepares text (syntax check, blanks outside quotes removed, macros
// expanded) and returns a state at position 0 over the prepared text, which
// is pushed on the TempStack. The status is the syntax check's, else that of
// a failed preparation (145/146 from the TempStack); the text is then empty.
TokenState PrepareExpression(StrDesc text);

// A state at position 0 over an already prepared text (not copied).
TokenState StateOver(const char* text, uint16_t length);

// Scans one operand and the operator after it from state.position. Field
// references are resolved to classify them; a failing one gives its status
// (flags cleared). Needs a state whose status is below 128.
TokenState NextToken(TokenState state);

// Scans one token like NextToken without classifying the operand (no field
// reference is resolved, no built-in looked up; flags and status stay 0).
TokenState ScanRaw(TokenState state);

// Moves past the next argument without evaluating it: tokens are scanned
// (raw) until one is followed by a separator or the end.
TokenState SkipArgument(TokenState state);

// NextToken(PrepareExpression(text)); the prepared text stays pushed.
TokenState FirstToken(StrDesc text);

// Views into the state's text: the current operand / its group's content.
StrDesc TokenOperand(const TokenState& state);
StrDesc TokenGroup(const TokenState& state);

// View of the operand text that starts at pos in text (as written).
StrDesc OperandText(StrDesc text, uint16_t pos);

// View of argument n (1-based) of a list separated by ';' or ',': groups in
// parentheses and quoted literals are skipped whole. Empty when the list has
// fewer arguments.
StrDesc ArgumentText(StrDesc text, uint16_t n);

// Bytes between the first '(' of text (quotes skipped) and its matching ')';
// the rest of the text when the group is not closed; 0 when there is no '('.
uint16_t GroupLength(StrDesc text);

// 1-based index of name in the built-in list (exact, then upper case), or 0.
// The first call also stores the list, NUL-separated, as DynStrings (0, 8).
uint16_t IsBuiltinName(StrDesc name);

// 1 when the expression would yield a string, 0 for a number, or a status
// >= 128 from preparing or scanning it. Nothing stays on the TempStack.
uint16_t ExpressionKind(StrDesc text);
