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
#include "language/variables.h"
#include "platform/process.h"
#include "shell/cmdline.h"
#include "shell/folders_setup.h"
#include "storage/streams.h"

namespace {

// The module shutdowns, in the order they run before the variables go.
void ReleaseModules() {
  StreamsReset();
}

}  // namespace

Status RuntimeCoreUp() {
  HookTableReset();
  MessagesReset();
  StatusReset();
  Status st = InitVariables();
  if (st != 0) return st;
  InstallPathExpander();
  // The locale text: number characters and yes/no words, a NUL, the month
  // names and the long date pattern, a NUL and a blank.
  TempMarkValue mark = TempMark();
  static const char nul = 0;
  StrDesc sep = StrMake(&nul, 1);
  StrDesc locale = StrConcat(StrConcat(StrConcat(MsgGet("0019"), sep), MsgGet("0117")),
                             StrConcat(sep, Lit(" ")));
  st = DynSet(0, 0, locale);
  TempRelease(mark);
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
  if (start_flags & 4) {
    if (st == 156 || st == 164) st = 0;
  }
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
