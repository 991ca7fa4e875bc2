#include "app/app_hooks.h"

#include "language/variables.h"
#include "shell/startup.h"

Status AppCallback(uint32_t code) {
  switch (code & 0x0F) {
    case 2:
      // The administration flag 2 marks a run of this application.
      SetBits(kSysAdmStat, 2, true);
      return 0;
    default:
      return 0;
  }
}

Status AppDispatch(uint32_t dispatch_code, StrDesc arguments) {
  return DefaultDispatch(dispatch_code, arguments);
}
