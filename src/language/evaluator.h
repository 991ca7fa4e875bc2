// The expression evaluator: the value of an expression text.
//
// Evaluate prepares a text (scanner.h) and walks it token by token: each
// operand (literal, structure constant, variable, array element, field
// reference, built-in call, parenthesised group) is evaluated onto the
// TempStack, and operands are combined by precedence climbing. Values are
// untyped byte strings; whether one is a string travels beside it in the
// operand flags. Numbers are 8-byte fixed point scaled by 10^_PRECIS, and
// every product and quotient is rounded with RoundDiv.
//
// Statuses below 128 are soft and do not stop evaluation (123 an empty
// operand, 125 a built-in with no value, 122 a cancel); 128 and above stop
// it: the status is recorded in the error word under module ExpExec and the
// failing operand and expression texts are appended to the error detail.
// Values already assigned stay assigned. Division by zero yields 0.
//
// Every entry point follows the TempStack convention. Evaluate and
// EvaluateStatus leave exactly one new entry (the value; an empty entry after
// an error). The evaluator is re-entrant: built-ins and procedures evaluate
// further expressions from inside it. Callers: procedures, screens, reports,
// definition files, bracket expansion, built-ins, the application.
#pragma once

#include <cstdint>

#include "core/str_desc.h"
#include "language/scanner.h"

// Result types of Evaluate (any other value is a status).
constexpr uint16_t kTypeNumber = 0;
constexpr uint16_t kTypeString = 1;

// Hook slot 2: an external function, called for a name that begins with '_'
// and is followed by a group but is not a built-in, with the name and its
// first argument rounded to an integer. Returns a text (converted by the
// name's type as a variable's field-hook text is) or an error descriptor.
using ExternalFunctionHook = StrDesc (*)(StrDesc name, int32_t first_argument);

// Evaluates text (several expressions separated by ';' or ',' are evaluated
// in order; the value is the last one's). Returns kTypeNumber or kTypeString
// with the value as the newest TempStack entry, or a status (an empty entry
// is then left): the preparation's 129/147, statuses >= 128, 122, 125 for a
// number expression, and warnings below 122 reported by a built-in.
uint16_t Evaluate(StrDesc text);

// 1 (true) or 0 (false), or a status >= 122. An empty text is true; a number
// is true when not 0; a string, or a status below 122, is false. Nothing
// stays on the TempStack.
uint16_t EvaluateCondition(StrDesc text);

// The value as text, pushed: a number by NumFormatD (0 is the empty text), a
// string unchanged; an error descriptor carrying the status otherwise.
StrDesc EvaluateToText(StrDesc text);

// The number scaled down to an integer (RoundDiv by 10^_PRECIS); 0 for a
// string or a failed evaluation. Nothing stays on the TempStack.
int64_t EvaluateInteger(StrDesc text);

// The status when it is >= 128, else 0; the value stays on the TempStack.
Status EvaluateStatus(StrDesc text);

// Evaluates an expression file: %...% references of name expanded, the file
// looked for as named and then in each folder of DynStrings (0, 5), read
// whole with every line break turned into ';', and evaluated with
// EvaluateStatus (its value stays on the TempStack). A missing or empty file
// gives 164 with the name as detail when must_exist, else 0 (an empty entry
// is then pushed).
Status EvaluateFile(StrDesc name, bool must_exist);

// EvaluateToText(text) when text is a string expression (ExpressionKind),
// otherwise text itself (a view, not copied).
StrDesc EvaluateIfString(StrDesc text);

// Assigns text typed into a screen field to the variable or array element
// (NAME(subscripts)) called name. Unless is_text the text is cleaned as
// number input and read as a number first. 128 for a name of no assignable
// kind; otherwise the variable table's status. Nothing stays on the TempStack.
Status AssignFromInput(StrDesc name, StrDesc text, bool is_text);

// Step functions for walking argument lists (built-ins, procedures).
// EvaluateOperand scans the next token from state.position and, unless it is
// an assignment target (followed by '=') or the scan failed, pushes its value
// (exactly one entry while the status is below 128). Combine applies the
// operators that follow with a precedence of at least min_precedence,
// leaving one value; its flags keep only the string bit.
TokenState EvaluateOperand(TokenState state);
TokenState Combine(TokenState state, uint16_t min_precedence);

// Evaluates one full expression from state.position up to the next separator
// or the end (EvaluateOperand then Combine from precedence 0). The value is
// pushed (an empty entry when nothing was pushed after an error).
TokenState EvaluateNext(TokenState state);

// Evaluates a prepared text (no second preparation) as Evaluate does; used
// for groups and by callers that prepared a text themselves.
uint16_t EvaluatePrepared(const char* text, uint16_t length);
