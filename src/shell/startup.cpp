#include "shell/startup.h"

#include "core/dyn_strings.h"
#include "core/hook_table.h"
#include "core/mem_pool.h"
#include "core/messages.h"
#include "core/status.h"
#include "core/str_lib.h"
#include "core/temp_stack.h"
#include "core/token_list.h"
#include "language/variables.h"
#include "platform/process.h"
#include "platform/ui.h"
#include "screens/def_file.h"
#include "shell/cmdline.h"
#include "shell/environment.h"
#include "shell/folders_setup.h"
#include "shell/window_stack.h"
#include "storage/folders.h"

const char kModeList[] =
    "Menu,Accept,AcceptRun,MantAux,MantMain,MantAuto,MantMovs,LnManMain,LnNavMain,PrcExec,"
    "Report,Reorg,Copy,FileTrans,Help,Perform,FontSet,WizzSelect,ExpEval";

namespace {

AppDispatcherFn g_dispatcher = nullptr;
ModeHandlerFn g_modes[20] = {};
int g_instance = 0;

Status UndefinedMode() {
  ErrDetail(163, MsgGet("0031"), false);
  return 163;
}

Status CallModeHandler(uint16_t mode, StrDesc arguments) {
  if (mode >= 20 || !g_modes[mode]) return UndefinedMode();
  return g_modes[mode](arguments);
}

// Message boxes through the platform UI, owned by the top window.
MsgButton PlatformBox(StrDesc text, StrDesc caption, int kind) {
  UiMsgBoxButtons buttons = UiMsgBoxButtons::kOk;
  UiMsgBoxIcon icon = UiMsgBoxIcon::kNone;
  switch (kind) {
    case kMsgOkInfo:
      icon = UiMsgBoxIcon::kInfo;
      break;
    case kMsgOkWarning:
      icon = UiMsgBoxIcon::kWarning;
      break;
    case kMsgOkCancelInfo:
      buttons = UiMsgBoxButtons::kOkCancel;
      icon = UiMsgBoxIcon::kInfo;
      break;
    case kMsgOkError:
      icon = UiMsgBoxIcon::kError;
      break;
    case kMsgRetryCancelError:
      buttons = UiMsgBoxButtons::kRetryCancel;
      icon = UiMsgBoxIcon::kError;
      break;
    case kMsgYesNoInfo:
      buttons = UiMsgBoxButtons::kYesNo;
      icon = UiMsgBoxIcon::kInfo;
      break;
    case kMsgYesNoCancelInfo:
      buttons = UiMsgBoxButtons::kYesNoCancel;
      icon = UiMsgBoxIcon::kInfo;
      break;
    default:
      break;
  }
  switch (UiMessageBox(WindowTop(), StrView(text), StrView(caption), buttons, icon)) {
    case UiAnswer::kOk:
      return kMsgOk;
    case UiAnswer::kCancel:
      return kMsgCancel;
    case UiAnswer::kRetry:
      return kMsgRetry;
    case UiAnswer::kYes:
      return kMsgYes;
    case UiAnswer::kNo:
      return kMsgNo;
    default:
      return kMsgFailed;
  }
}

void DiscardWhenNoWindow() {
  if (WindowCount() == 0) UiDiscardMessages();
}

// A status above 121 is shown before start-up gives up.
Status StartFailure(Status st) {
  if (st > 121) ErrShow(st);
  return st;
}

// The start command when the entry point gives none: APSTART, else "\MENU"
// with the application prefix; it must name a menu or parameter definition
// in the definitions folder.
StrDesc ChooseStartCommand(StrDesc given) {
  if (StrCheck(given) == 0 && given.len > 0) return StrCopy(given);
  TempMarkValue mark = TempMark();
  StrDesc command = OptionValue(3);
  if (command.len == 0) {
    StrDesc prefix = StrSub(DynGet(0, 2), 0, 2);
    command = StrReplace(Lit("\\MENU"), Lit("\\"), prefix, 1);
  }
  // Only the definitions folder counts: not the working folder, and a
  // folder name holding a comma is still one folder.
  StrDesc name = ListItem(command, ',', 1);
  bool found = false;
  for (uint16_t kind : {kDefPmt, kDefPpn}) {
    StrDesc file = DefPath(name, kind);
    if (file.len > 0 && FindFileInFolders(Lit(""), file).len > 0) found = true;
  }
  return TempKeep(mark, found ? command : Lit(""));
}

Status RunStartCommand(StrDesc start) {
  TempMarkValue mark = TempMark();
  StrDesc run = StrCopy(OptionValue(12));
  Status st;
  if (start.len == 0 && run.len == 0) {
    st = 163;
  } else if (run.len == 0) {
    st = CallModeHandler(kModeMenu, start);
  } else {
    SetBits(kSysScrStat, 8, true);
    st = RunCommand(run);
  }
  if (st != 0) ErrShow(st);
  TempRelease(mark);
  return st;
}

}  // namespace

void SetAppDispatcher(AppDispatcherFn dispatcher) { g_dispatcher = dispatcher; }

void SetModeHandler(uint16_t mode, ModeHandlerFn handler) {
  if (mode < 20) g_modes[mode] = handler;
}

int AppInstance() { return g_instance; }

Status RunCommand(StrDesc command) {
  Status st = StrCheck(command);
  if (st != 0) return st;
  TempMarkValue mark = TempMark();
  char sep = StrFindChar(command, ' ', 1) != kNotFound ? ' ' : ',';
  StrDesc mode = ListItem(command, sep, 1);
  uint16_t number = ListFind(Lit(kModeList), mode, ',');
  uint32_t code = 163;
  StrDesc arguments = Lit("");
  if (number != 0) {
    code = uint32_t{number} << 16;
    arguments = StrCopy(StrSub(command, static_cast<int32_t>(mode.len) + 1, 0xFFFF));
  }
  if (!g_dispatcher) g_dispatcher = DefaultDispatch;
  st = g_dispatcher(code, arguments);
  TempRelease(mark);
  return st;
}

Status DefaultDispatch(uint32_t dispatch_code, StrDesc arguments) {
  uint16_t mode = static_cast<uint16_t>(dispatch_code >> 16);
  switch (mode) {
    case kModeMenu:
    case kModeAcceptRun:
    case kModeReport:
    case kModeReorg:
      return CallModeHandler(mode, arguments);
    case kModePrcExec:
    case kModeCopy:
    case kModeFileTrans:
    case kModeFontSet:
      return 0;
    case kModeHelp:
      // Help answers 0 whatever the help page did, once help exists.
      if (!g_modes[kModeHelp]) return UndefinedMode();
      g_modes[kModeHelp](arguments);
      return 0;
    default:
      return UndefinedMode();
  }
}

Status RuntimeStart(StrDesc command_line, StrDesc application_code, StrDesc title,
                    uint8_t flags) {
  Status st = RuntimeCoreUp();
  if (st == 0) st = CmdlineStore(command_line);
  if (st == 0) st = RuntimeIdentify(application_code, title);
  if (st == 0 && (flags & kStartLoadEnvironment)) st = RuntimeLoadEnvironment(flags);
  if (st == 0) {
    ErrDetailClear();
    ErrClear();
  }
  return st;
}

Status RuntimeStop() { return RuntimeShutdown(); }

Status AppMain(int instance, StrDesc command_line, StrDesc application_code, StrDesc title,
               StrDesc start_command, uint8_t start_flags, AppCallbackFn callback) {
  g_instance = instance;
  if (UiIsUp()) {
    SetMsgBoxHandler(PlatformBox);
    SetMsgDiscardPending(DiscardWhenNoWindow);
  }
  Status st = RuntimeCoreUp();
  if (st != 0) return StartFailure(st);
  st = CmdlineStore(command_line);
  if (st != 0) return StartFailure(st);
  st = callback ? callback(uint32_t{start_flags} * 16 + 1) : 0;
  if (st != 0) return StartFailure(st);
  st = RuntimeIdentify(application_code, title);
  if (st != 0) return StartFailure(st);

  bool load = (start_flags & kStartLoadEnvironment) != 0;
  if ((start_flags & kStartLoadWhenRenamed) && StrCheck(application_code) == 0 &&
      !StrEq(DynGet(0, 2), StrView(application_code))) {
    load = true;
  }
  if (load) {
    st = RuntimeLoadEnvironment(start_flags);
  }
  if (st == 0) st = RuntimeLoadFonts();
  if (st == 0 || st == 156) st = callback ? callback(uint32_t{start_flags} * 16 + 2) : 0;
  if (st == 0) {
    ErrDetailClear();
    ErrClear();
  }
  if (st != 0) return StartFailure(st);

  TempMarkValue mark = TempMark();
  StrDesc start = ChooseStartCommand(start_command);
  Status r = RunStartCommand(start);
  TempRelease(mark);
  if (r == 0 && WindowCount() > 0) MessageLoop(0);

  Status c = callback ? callback(3) : 0;
  Status d = RuntimeShutdown();
  Status exit_status = r != 0 ? r : (c != 0 ? c : d);
  return exit_status < 128 ? 0 : exit_status;
}
