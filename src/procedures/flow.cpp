// Running procedures: RunProcedure, the run loop, the flow executor, the CALL
// and LOCALVARS statements and command lines.
#include <cstring>

#include "core/dyn_strings.h"
#include "core/fixed_point.h"
#include "core/messages.h"
#include "core/status.h"
#include "core/str_lib.h"
#include "core/temp_stack.h"
#include "core/token_list.h"
#include "language/brackets.h"
#include "language/builtins.h"
#include "language/evaluator.h"
#include "language/scanner.h"
#include "language/variables.h"
#include "procedures/procedure.h"
#include "procedures/procedure_internal.h"
#include "shell/progress.h"
#include "storage/dictionary.h"

namespace {

// The command word shown in a stop message: item (code - 18); the words from
// RC_DELETE on, and every line that is not a command, show an empty word.
constexpr char kCommandWords[] =
    "ACCEPT,BOUNDS,COLOR,CONNECT,DEVICE,DLOCATE,DPRINT,ENDDEVICE,EXPORT,FILESELECT,IMPORT,KILL,"
    "LOADSTRUCT,LOCATE,MESSAGE,PRINT,SHELL,READ,REMOTE,REPORT,DOCPRINT,WAIT,WINMENU,WINOPEN,"
    "WINCLOSE,WINSELECT,WINPROG,";

constexpr uint16_t kResultGroup = 30;
constexpr uint16_t kFileSetGroup = 33;
constexpr uint16_t kTraceBit = 0x08;

// Run flags of the run loop.
constexpr int kRunRestore = 0x01;  // no entry point: restore the environment at the end
constexpr int kRunResult = 0x02;   // keep the result on group 30

// The arguments one CALL pushed on the ArgumentStack, with their types, so
// that LOCALVARS can give a string parameter a number as text and the
// reverse.
struct ArgFrame {
  uint16_t base = 0;
  uint16_t count = 0;
  uint16_t string_bits = 0;
};

ArgFrame g_frames[kPrcMaxRunDepth];
uint16_t g_frame_count = 0;
uint16_t g_run_depth = 0;

// The state of one run of the run loop.
struct Run {
  uint32_t serial = 0;
  uint16_t position = 0;
  int flags = 0;
  uint16_t stop_line = 0;        // the line attempted last
  uint16_t return_base = 0;      // the return depth when the run began
  uint16_t arg_floor = 0;        // ArgumentStack entries below this are not the run's
  TempMarkValue value_mark = 0;  // the last expression value is kept directly above
  StrDesc value = {};
  uint16_t value_type = kTypeNumber;
  bool have_value = false;
  bool result_pushed = false;
};

enum class Stop : uint8_t { kEnd, kCommand, kStatus };

// 0 when the type of the ArgumentStack entry at depth d is not known, else
// 1 + its string bit.
int ArgumentType(uint16_t d) {
  for (uint16_t f = g_frame_count; f > 0; --f) {
    const ArgFrame& frame = g_frames[f - 1];
    if (d >= frame.base && d < frame.base + frame.count)
      return 1 + ((frame.string_bits >> (d - frame.base)) & 1);
  }
  return 0;
}

// Pushes the run's result on group 30: the last expression value (a number
// as its text), or the empty string.
Status PushResult(Run& run) {
  TempMarkValue mark = TempMark();
  StrDesc result = Lit("");
  if (run.have_value) {
    result = run.value_type == kTypeString ? run.value : NumFormatD(NumFromBytes(run.value));
  }
  Status st = StrIsError(result) ? StrCheck(result) : DynPush(kResultGroup, result);
  TempRelease(mark);
  if (st == 0) run.result_pushed = true;
  return st;
}

// The file sets applied during a run are undone with "RESTORE". File sets
// are not available in this build, so a run that left sets on the file-set
// stack cannot have them undone: 148, and the stack stays as it is.
Status RestoreFileSets(uint16_t noted) {
  if (DynCount(kFileSetGroup) <= noted) return 0;
  return kStFeatureRemoved;
}

// The end of a run that restores its environment. Nothing here changes the
// run's status.
void RestoreEnvironment(uint16_t noted_sets, uint16_t noted_files) {
  RestoreFileSets(noted_sets);
  // Data files that the procedure defined cannot be removed again.
  if (DictFileCount() > noted_files) ErrDetail(kStFeatureRemoved, Lit("TempStruct"), false);
}

Status RunFrom(StrDesc entry, StrDesc file, int flags, uint16_t arg_floor);

// --- CALL and LOCALVARS ---

Status CallStatement(StrDesc text) {
  TempMarkValue mark = TempMark();
  const uint16_t blank = StrFindChar(text, ' ', 1);
  StrDesc head = StrSub(text, 0, blank);
  StrDesc rest = blank == kNotFound ? Lit("") : StrTrim(StrSub(text, blank + 1, 0xFFFF), 3);
  StrDesc entry = StrTrim(ListItem(head, ',', 1), 3);
  StrDesc file = StrTrim(ListItem(head, ',', 2), 3);
  StrDesc local_item = StrTrim(ListItem(head, ',', 3), 3);
  bool local = true;
  if (local_item.len != 0) local = EvaluateInteger(local_item) != 0;

  const uint16_t before = DynCount(kArgumentGroup);
  uint16_t count = 0;
  uint16_t string_bits = 0;
  const uint16_t open = StrFindChar(rest, '(', 0);
  if (open != kNotFound) {
    StrDesc group = StrSub(rest, open, 0xFFFF);
    StrDesc list = StrTrim(StrSub(group, 1, GroupLength(group)), 3);
    if (list.len != 0) {
      Status st = PushArguments(list, &count, &string_bits);
      if (st >= kStTypeMismatch) {
        DynTruncate(kArgumentGroup, before);
        TempRelease(mark);
        return st;
      }
    }
  }
  const bool framed = g_frame_count < kPrcMaxRunDepth;
  if (framed) g_frames[g_frame_count++] = ArgFrame{before, count, string_bits};
  Status st = RunFrom(entry, file, local ? kPrcLocal : 0, before);
  if (framed && g_frame_count > 0) --g_frame_count;
  const uint16_t after = DynCount(kArgumentGroup);
  if (after > before) DynTruncate(kArgumentGroup, before);
  if (st == 0 && after != before) st = ErrDetail(kStSyntax, Lit("LOCALVARS"), false);
  TempRelease(mark);
  return st;
}

// Takes the parameters from the ArgumentStack, never below `floor`: the
// entries there belong to whoever called the run (a built-in whose arguments
// hold an EXEC$, an outer CALL); a name with no entry of the run's own gets
// the empty value.
Status LocalVarsStatement(StrDesc text, uint16_t floor) {
  TempMarkValue mark = TempMark();
  for (uint16_t k = ListCount(text, ','); k > 0; --k) {
    StrDesc name = StrTrim(ListItem(text, ',', k), 3);
    const uint8_t type = ClassifyName(name);
    if (type != kVarInteger && type != kVarNumber && type != kVarString) {
      TempRelease(mark);
      return ErrDetail(kStTypeMismatch, name, false);
    }
    StrDesc value = Lit("");
    int known = 0;
    if (const uint16_t depth = DynCount(kArgumentGroup); depth > floor) {
      value = StrCopy(ArgumentValue(DynTop(kArgumentGroup)));
      known = ArgumentType(static_cast<uint16_t>(depth - 1));
      DynPop(kArgumentGroup);
    }
    // A parameter takes a value of the other type converted, as a text or a
    // number; a value of unknown type is assigned as it is.
    if (known == 1 && type == kVarString) value = NumFormatD(NumFromBytes(value));
    if (known == 2 && type != kVarString) value = NumToBytes(NumParse(value));
    Status st = StrIsError(value) ? StrCheck(value) : AssignVariable(name, value);
    TempRelease(mark);
    if (st != 0) return st;
  }
  return 0;
}

// --- command lines ---

// The end of the argument that starts at `from`: the next ',' outside quotes
// and parentheses, or the end of the text.
uint16_t ArgumentEnd(StrDesc s, uint16_t from) {
  int depth = 0;
  for (uint16_t i = from; i < s.len; ++i) {
    const char c = s.ptr[i];
    if (IsQuoteChar(c)) {
      const uint16_t close = StrFindChar(s, c, 1, static_cast<uint16_t>(i + 1));
      if (close == kNotFound) return s.len;
      i = close;
    } else if (c == '(') {
      ++depth;
    } else if (c == ')') {
      if (depth > 0) --depth;
    } else if (c == ',' && depth == 0) {
      return i;
    }
  }
  return s.len;
}

Status CommandLine(uint16_t code, StrDesc text) {
  CommandHandler handler = PrcFirstHandler();
  TempMarkValue mark = TempMark();
  StrDesc expanded = ExpandBrackets(text, kBrPlain);
  if (StrIsError(expanded)) {
    TempRelease(mark);
    return StrCheck(expanded);
  }
  CommandArgs args;
  Status st = 0;
  uint16_t from = 0;
  while (expanded.len != 0 && from <= expanded.len) {
    const uint16_t end = ArgumentEnd(expanded, from);
    if (args.count == kPrcMaxCommandArgs) {
      st = ErrDetail(kStSyntax, expanded, false);
      break;
    }
    const uint16_t result =
        Evaluate(StrTrim(StrSub(expanded, from, static_cast<uint16_t>(end - from)), 3));
    if (result >= kStTypeMismatch) {
      st = result;
      break;
    }
    const StrDesc value = TempTop();
    const uint16_t n = args.count++;
    if (result == kTypeString) {
      args.types[n] = 1;
      args.texts[n] = value;
      args.ints[n] = StrToInt(value);
    } else {
      const int64_t number = NumFromBytes(value);
      args.types[n] = 0;
      args.ints[n] = static_cast<int16_t>(NumScaleDown(number, NumDecimals()));
      args.texts[n] = NumFormatD(number);
    }
    from = static_cast<uint16_t>(end + 1);
  }
  if (st == 0) st = handler(code, args);
  TempRelease(mark);
  return st;
}

// --- the flow executor ---

bool JumpsWhenTrue(uint16_t code) {
  return code == kPrcIfFalse || code == kPrcLoopWhile || code == kPrcDoUntil;
}

// Runs lines until END, the end of the lines, a command line (left for the
// run loop: run.position stays on it) or a status of 122 or more.
Status Execute(Run& run, Stop* stop) {
  for (;;) {
    ProcedureRecord* record = PrcFindBySerial(run.serial, nullptr);
    if (record == nullptr) {
      *stop = Stop::kStatus;
      return kStInternal;
    }
    const uint16_t line = run.position;
    run.stop_line = line;
    if (line >= record->line_count) {
      *stop = Stop::kEnd;
      return (run.flags & kRunResult) ? PushResult(run) : 0;
    }
    const PrcItem item = ProcedureItem(*record, line);
    // The block does not move while the record exists, and a running record
    // is not freed, so the text stays valid through nested runs.
    const StrDesc text = ProcedureLineText(*record, line);
    if (TestBits(kSysTrace, kTraceBit))
      PrcTraceLine(static_cast<uint16_t>(line + 1), item.code, text);
    if (item.code == kPrcEnd && (run.flags & kRunResult)) {
      if (Status st = PushResult(run); st != 0) {
        *stop = Stop::kStatus;
        return st;
      }
    }
    if (Status cancel = ProgressPopUpCancel(); cancel != 0) {
      if (ProcedureRecord* again = PrcFindBySerial(run.serial, nullptr)) again->status = cancel;
      *stop = Stop::kStatus;
      return cancel;
    }
    if (item.code >= kPrcEnd) {
      *stop = item.code == kPrcEnd ? Stop::kEnd : Stop::kCommand;
      return 0;
    }

    run.position = static_cast<uint16_t>(line + 1);
    Status st = 0;
    TempMarkValue mark = TempMark();
    switch (item.code) {
      case kPrcExpression: {
        StrDesc expanded = ExpandBrackets(text, kBrPlain);
        const uint16_t result = StrIsError(expanded) ? StrCheck(expanded) : Evaluate(expanded);
        if (result == kTypeNumber || result == kTypeString) {
          run.value = TempKeep(run.value_mark, TempTop());
          run.value_type = result;
          run.have_value = !StrIsError(run.value);
          if (!run.have_value) st = StrCheck(run.value);
          mark = TempMark();
        } else if (result >= kStTypeMismatch) {
          st = result;
        }
        break;
      }
      case kPrcGoto:
      case kPrcLoop:
      case kPrcElse:
        run.position = item.target;
        break;
      case kPrcGosub:
        if (record->return_depth >= kPrcReturnStack) {
          st = ErrDetail(kStPrcStack, MsgGet("0098"), false);
        } else {
          PrcReturnStack(*record)[record->return_depth++] = run.position;
          run.position = item.target;
        }
        break;
      case kPrcReturn:
        // Only the run's own GOSUBs are returned from: entries below its base
        // belong to an outer run of the same procedure.
        if (record->return_depth <= run.return_base) {
          // Ends as END does, but with no value for the result.
          run.have_value = false;
          TempRelease(mark);
          *stop = Stop::kEnd;
          return 0;
        }
        run.position = PrcReturnStack(*record)[--record->return_depth];
        break;
      case kPrcCall:
        st = CallStatement(text);
        break;
      case kPrcLocalVars:
        st = LocalVarsStatement(text, run.arg_floor);
        break;
      case kPrcEndif:
      case kPrcDo:
        break;
      default: {  // the conditions
        const uint16_t truth = EvaluateCondition(text);
        if (truth >= kStCancelled) {
          st = truth;
        } else if ((truth == 1) == JumpsWhenTrue(item.code)) {
          run.position = item.target;
        }
        break;
      }
    }
    TempRelease(mark);
    if (st >= kStCancelled) {
      if (ProcedureRecord* again = PrcFindBySerial(run.serial, nullptr)) again->status = st;
      *stop = Stop::kStatus;
      return st;
    }
  }
}

// Appends "Line: N (+ remmarks):\r\nWORD TEXT" for the line that stopped.
void AppendStopLine(const Run& run, Status st) {
  TempMarkValue mark = TempMark();
  uint16_t code = kPrcEnd;
  StrDesc text = Lit("");
  if (const ProcedureRecord* record = PrcFindBySerial(run.serial, nullptr);
      record != nullptr && run.stop_line < record->line_count) {
    code = ProcedureItem(*record, run.stop_line).code;
    text = StrSub(ProcedureLineText(*record, run.stop_line), 0, 1024);
  }
  StrDesc word =
      code >= kPrcFirstCommand ? ListItem(Lit(kCommandWords), ',', code - kPrcEnd) : Lit("");
  StrDesc message =
      StrFormat(static_cast<uint16_t>(word.len + text.len + 48),
                "Line: %u (+ remmarks):\r\n%.*s %.*s", unsigned{run.stop_line} + 1u,
                static_cast<int>(word.len), word.ptr, static_cast<int>(text.len), text.ptr);
  if (!StrIsError(message)) ErrDetail(st, message, true);
  TempRelease(mark);
}

Status RunLoop(uint32_t serial, uint16_t position, int flags, uint16_t arg_floor) {
  Run run;
  run.serial = serial;
  run.position = position;
  run.flags = flags;
  run.arg_floor = arg_floor;
  if (const ProcedureRecord* record = PrcFindBySerial(serial, nullptr))
    run.return_base = record->return_depth;
  run.value_mark = TempMark();
  const uint16_t noted_sets = DynCount(kFileSetGroup);
  const uint16_t noted_files = DictFileCount();

  Status st = 0;
  Stop stop = Stop::kEnd;
  for (;;) {
    ErrClear();
    st = Execute(run, &stop);
    if (st != 0 || stop != Stop::kCommand) break;
    const ProcedureRecord* record = PrcFindBySerial(serial, nullptr);
    if (record == nullptr) {
      st = kStInternal;
      break;
    }
    const uint16_t code = ProcedureItem(*record, run.position).code;
    const StrDesc text = ProcedureLineText(*record, run.position);
    if (PrcFirstHandler() == nullptr) {
      // No handler gives command words a meaning in this runtime.
      st = ErrDetail(kStFeatureRemoved, MsgGet("0100"), false);
      break;
    }
    run.position = static_cast<uint16_t>(run.position + 1);
    st = CommandLine(code, text);
    if (st != 0) break;
  }
  if (st == 0 && (run.flags & kRunResult) && !run.result_pushed) st = PushResult(run);
  if ((run.flags & kRunRestore) && st <= kStTypeMismatch)
    RestoreEnvironment(noted_sets, noted_files);
  if (st != 0) {
    ErrSet(1, kModMallocMemAcums, st, st);
    AppendStopLine(run, st);
  }
  // A run that ended inside a subroutine leaves no return behind for the
  // next run of the procedure.
  if (ProcedureRecord* record = PrcFindBySerial(serial, nullptr)) {
    record->position = run.position;
    if (record->return_depth > run.return_base) record->return_depth = run.return_base;
  }
  TempRelease(run.value_mark);
  return st;
}

// RunProcedure; arg_floor is the ArgumentStack size below the run's own
// parameters (a CALL's size before its arguments).
Status RunFrom(StrDesc entry, StrDesc file, int flags, uint16_t arg_floor) {
  if (StrIsError(entry)) return StrCheck(entry);
  if (StrIsError(file)) return StrCheck(file);
  if (entry.len == 0 && file.len == 0) return ErrDetail(kStSyntax, MsgGet("0096"), false);
  if (g_run_depth >= kPrcMaxRunDepth) return ErrDetail(kStPrcStack, MsgGet("0098"), false);

  TempMarkValue mark = TempMark();
  const VarSnapshot snapshot = TakeSnapshot();
  const uint16_t results_before = DynCount(kResultGroup);
  // The names may point into DynStrings (EXEC$ takes them from the
  // ArgumentStack), which loading changes.
  entry = StrCopy(entry);
  file = StrCopy(file);
  if (StrIsError(entry) || StrIsError(file)) {
    TempRelease(mark);
    return StrIsError(entry) ? StrCheck(entry) : StrCheck(file);
  }

  uint32_t loaded = 0;
  if (file.len != 0) {
    const uint16_t index = LoadProcedure(file);
    if (index >= kStCancelled) {
      TempRelease(mark);
      return index;
    }
    loaded = ProcedureAt(index)->serial;
  }

  ProcedureRecord* record = nullptr;
  int position = 0;
  for (uint16_t i = ProcedureCount(); i > 0 && record == nullptr; --i) {
    auto* candidate = const_cast<ProcedureRecord*>(ProcedureAt(i - 1));
    if (entry.len == 0) {
      record = candidate;
      position = candidate->position;
    } else if ((position = PrcFindEntry(*candidate, entry)) >= 0) {
      record = candidate;
    }
  }

  Status st = 0;
  if (record == nullptr) {
    st = ErrDetail(kStSyntax, entry, false);
  } else {
    const uint32_t serial = record->serial;
    record->position = static_cast<uint16_t>(position);
    ++record->running;
    ++g_run_depth;
    ProgressBegin(entry.len != 0 ? entry : ProcedureName(*record));
    const int run_flags = (flags & kPrcKeepResult) | (entry.len == 0 ? kRunRestore : 0);
    st = RunLoop(serial, static_cast<uint16_t>(position), run_flags, arg_floor);
    ProgressEnd();
    --g_run_depth;
    uint16_t index = 0;
    if (ProcedureRecord* again = PrcFindBySerial(serial, &index)) {
      if (--again->running == 0 && again->release_pending) {
        const Status released = PrcRemoveRecord(index);
        if (st == 0) st = released;
      }
    }
  }

  // The procedure this run loaded goes again, whichever procedure ran.
  uint16_t index = 0;
  if (loaded != 0 && PrcFindBySerial(loaded, &index) != nullptr) {
    const Status released = ReleaseProcedure(index);
    if (st == 0) st = released;
  }
  if (flags & kPrcLocal) {
    const Status restored = RestoreSnapshot(snapshot);
    if (st == 0) st = restored;
  }
  if (st != 0 && (flags & kPrcKeepResult)) DynTruncate(kResultGroup, results_before);
  TempRelease(mark);
  return st;
}

}  // namespace

void PrcFlowReset() {
  g_frame_count = 0;
  g_run_depth = 0;
}

Status RunProcedure(StrDesc entry, StrDesc file, int flags) {
  return RunFrom(entry, file, flags, DynCount(kArgumentGroup));
}
