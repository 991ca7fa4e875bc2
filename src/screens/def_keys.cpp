// Parameter key values with their fallbacks, and integer key values: the part
// of the definition-file reader that needs the evaluator.
#include <cstdint>

#include "core/dyn_strings.h"
#include "core/status.h"
#include "core/str_lib.h"
#include "core/temp_stack.h"
#include "core/token_list.h"
#include "language/evaluator.h"
#include "language/variables.h"
#include "screens/def_file.h"

namespace {

// The value of key in text, raw when the key holds "%", else with one pair of
// outer quotes removed; found is false when the key is absent.
StrDesc FindKey(StrDesc text, StrDesc key, bool* found) {
  uint32_t at = KvFind(text, key, 0);
  *found = (at & 0xFFFF) != 0xFFFF;
  if (!*found) return Lit("");
  StrDesc raw = StrSub(text, static_cast<int32_t>(at & 0xFFFF), static_cast<uint16_t>(at >> 16));
  return StrFindChar(key, '%', 1) != kNotFound ? raw : StrUnquote(raw);
}

bool WholeValue(uint16_t item) {
  return item == 0 || item == kDefWholeValue;
}

// Keeps the error word and the detail text as they are across an evaluation
// whose failure the caller answers with a default instead of reporting it.
// The saved detail is a TempStack copy: restore before releasing below it.
class QuietEvaluation {
 public:
  QuietEvaluation() : word_(ErrWord()), detail_(StrCopy(ErrDetailText())) {}
  // Puts back the word and the detail when the evaluation changed either.
  void Restore() {
    if (ErrWord() != word_)
      ErrSet(2, static_cast<uint16_t>(word_ >> 16), static_cast<Status>(word_ & 0xFFFF), 0);
    if (!StrIsError(detail_) && !StrEq(ErrDetailText(), StrView(detail_)))
      ErrDetail(0, detail_, false);
  }

 private:
  uint32_t word_;
  StrDesc detail_;
};

// text evaluated as an integer expression; 0 for an empty text or a failed
// evaluation, which is then not reported.
int32_t QuietInteger(StrDesc text) {
  if (StrIsError(text) || StrTrim(text, 3).len == 0) return 0;
  TempMarkValue mark = TempMark();
  QuietEvaluation quiet;
  int64_t value = EvaluateInteger(text);
  quiet.Restore();
  TempRelease(mark);
  if (value > INT32_MAX) return INT32_MAX;
  if (value < INT32_MIN) return INT32_MIN;
  return static_cast<int32_t>(value);
}

}  // namespace

StrDesc DefKeyValue(uint16_t number, uint16_t item, StrDesc text) {
  if (StrIsError(text)) return text;
  TempMarkValue mark = TempMark();
  StrDesc name = DefKeyName(number);
  if (StrIsError(name) || name.len == 0) return TempKeep(mark, name);

  bool found = false;
  StrDesc value = FindKey(text, name, &found);
  if (!found && IntegerVar(kSysAux) != 0) {
    StrDesc bare = ListItem(name, '.', 2);
    if (bare.len > 0) value = FindKey(text, bare, &found);
  }
  if (!found && StrFindChar(name, '(', 1) == kNotFound) {
    value = EvaluateToText(StrReplace(name, Lit("%"), Lit(""), 1));
  }
  if (!StrIsError(value) && !WholeValue(item)) value = ListItem(value, ',', item);
  return TempKeep(mark, value);
}

StrDesc DefCurrentValue(uint16_t number, uint16_t item) {
  TempMarkValue mark = TempMark();
  // The current definition lives in DynStrings, which an evaluated fallback
  // may change: work on a copy.
  return TempKeep(mark, DefKeyValue(number, item, StrCopy(DefCurrent())));
}

int32_t DefCurrentInt(uint16_t number, uint16_t item) {
  TempMarkValue mark = TempMark();
  QuietEvaluation quiet;
  StrDesc value = DefCurrentValue(number, item);
  int32_t result = 0;
  if (StrIsError(value)) {
    quiet.Restore();
  } else {
    result = QuietInteger(value);
  }
  TempRelease(mark);
  return result;
}

int32_t DefItemInt(StrDesc text, uint16_t item, int32_t fallback) {
  if (StrIsError(text)) return fallback;
  TempMarkValue mark = TempMark();
  StrDesc piece = WholeValue(item) ? text : ListItem(text, ',', item);
  int32_t value = QuietInteger(piece);
  TempRelease(mark);
  return value != 0 ? value : fallback;
}
