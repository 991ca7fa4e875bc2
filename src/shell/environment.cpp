#include "shell/environment.h"

#include <string>

#include "core/dyn_strings.h"
#include "core/hook_table.h"
#include "core/mem_pool.h"
#include "core/messages.h"
#include "core/rec_table.h"
#include "core/status.h"
#include "core/str_lib.h"
#include "core/temp_stack.h"
#include "core/token_list.h"
#include "language/evaluator.h"
#include "language/field_refs.h"
#include "language/local_lists.h"
#include "language/variables.h"
#include "procedures/procedure.h"
#include "screens/def_file.h"
#include "screens/masks.h"
#include "shell/progress.h"
#include "platform/process.h"
#include "shell/cmdline.h"
#include "shell/folders_setup.h"
#include "storage/data_file.h"
#include "storage/dictionary.h"
#include "storage/relations.h"
#include "storage/streams.h"

namespace {

// The module shutdowns, in the order they run before the variables go:
// the data files first, so their indexes are saved and lock files removed.
void ReleaseModules() {
  ProgressReset();
  ProceduresShutdown();
  DataFilesCloseAll();
  DataFilesReset();
  DictClear();
  ReleaseLocalLists();
  LocaleReset();
  StreamsReset();
}

// Opens every file the dictionary declares for shared update, the last one
// opened (file 1) becoming the current file. Outcomes (0 first record, 2 an
// empty file) are not failures.
Status OpenApplicationFiles() {
  for (uint16_t f = DictFileCount(); f >= 1; --f) {
    Status st = FileOpen(f, 0x08);
    if (st >= 122) return st;
  }
  return 0;
}

}  // namespace

Status RuntimeCoreUp() {
  HookTableReset();
  MessagesReset();
  StatusReset();
  Status st = InitVariables();
  if (st != 0) return st;
  InstallPathExpander();
  SetRelationEvaluator(EvaluateToText, EvaluateCondition);
  // Message files are read by the definition reader from the first lookup on.
  DefInstallMessageReader();
  // The locale text: number characters and yes/no words, a NUL, the month
  // names and the long date pattern, a NUL and a blank.
  TempMarkValue mark = TempMark();
  static const char nul = 0;
  StrDesc sep = StrMake(&nul, 1);
  StrDesc locale = StrConcat(StrConcat(StrConcat(MsgGet("0019"), sep), MsgGet("0117")),
                             StrConcat(sep, Lit(" ")));
  st = DynSet(0, 0, locale);
  TempRelease(mark);
  if (st == 0) LocaleRefresh();
  return st;
}

Status RuntimeIdentify(StrDesc application_code, StrDesc title) {
  TempMarkValue mark = TempMark();
  Status st = 0;
  if (DynGet(0, 4).len == 0) st = DynSet(0, 4, Lit("ES"));
  if (st == 0) {
    int16_t trace = StrToInt(OptionValue(14));
    SetIntegerVar(kSysTrace, static_cast<int16_t>(trace | 1));
    StrDesc code = OptionValue(2);
    if (code.len == 0 && StrCheck(application_code) == 0) code = application_code;
    st = DynSet(0, 2, StrNormalize(ListItem(code, ',', 1)));
  }
  if (st == 0 && StrCheck(title) == 0 && title.len > 0) st = DynSet(0, 3, title);
  if (st == 0) st = ResolveFolders(kFoldersFromProgram);
  TempRelease(mark);
  return st;
}

Status RuntimeLoadEnvironment(uint8_t start_flags) {
  ErrDetailClear();
  ErrClear();
  Status st = 156;
  TempMarkValue mark = TempMark();
  StrDesc prefix = StrCopy(StrSub(DynGet(0, 2), 0, 2));
  if (prefix.len >= 2) {
    st = DictLoad(StrCopy(DynGet(0, 5)), prefix);
    if (st != 0) {
      // Not in the program's folder: the DPATH option, else ..\APPS.
      Status again = ResolveFolders(kFoldersFromOption);
      if (again == 0) {
        DictClear();
        st = DictLoad(StrCopy(DynGet(0, 5)), prefix);
      }
    }
  }
  TempRelease(mark);
  if ((start_flags & 4) && (st == 156 || st == 164)) st = 0;
  if (st == 0) st = DefineFileNameVariables();
  if (st == 0 && DictFileCount() > 0) st = OpenApplicationFiles();
  return st;
}

Status RuntimeLoadFonts() { return 0; }

Status RuntimeShutdown() {
  ReleaseModules();
  ReleaseVariables();
  Status st = RuntimeMemoryShutdown();
  if (st != 0) {
    std::string line = "Memoria sin liberar al terminar (modulo " + std::to_string(st) + ")";
    ProcessDiagnostic(line);
    MemShutdown(true);
  }
  return st;
}
