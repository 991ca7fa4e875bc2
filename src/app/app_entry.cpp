#include "app/app_entry.h"

#include <string>

#include "app/app_hooks.h"
#include "core/mem_pool.h"
#include "core/str_desc.h"
#include "platform/process.h"
#include "platform/ui.h"
#include "shell/startup.h"
#include "shell/window_stack.h"

int QuillonEntry(int argc, char** argv) {
  ProcessSetArgs(argc, argv);
  // A TempStack of 512 KB with 512 entries; the block table keeps 64 entries.
  MemConfigure(512, -1);
  if (!UiInit()) {
    ProcessDiagnostic("No se pudo iniciar la interfaz de usuario");
    return 1;
  }
  // The terminal's screen: 240 x 294 pixels, laid out in the "System" font.
  WindowStackReset();
  SetFixedScreenSize(240, 294);
  UiFontDesc system_font;
  system_font.face = "System";
  system_font.height = 26;
  system_font.width = 9;
  system_font.weight = 700;
  SetShellFont(UiCreateFont(system_font));
  SetAppDispatcher(AppDispatch);

  std::string command_line = ProcessCommandLine();
  Status st = AppMain(1, Lit(command_line), Lit("QO0001"), Lit("Quillon Tally"), Lit("QOMENU,1"),
                      kStartLoadEnvironment, AppCallback);
  UiShutdown();
  return st;
}
