#include "support/runtime_fixture.h"

#include "core/mem_pool.h"
#include "core/status.h"
#include "shell/environment.h"

namespace qtest {

Status RuntimeUp(const RuntimeOptions& options) {
  MemFailNextAllocations(0);
  MemConfigure(options.temp_kb, options.table_capacity < 0 ? 64 : options.table_capacity);
  // The program's own first steps: the block table, TempStack and DynStrings,
  // the record tables, the system variables, the hook table, the locale text.
  return RuntimeCoreUp();
}

Status RuntimeDown() {
  MemFailNextAllocations(0);
  // The program's own shutdown: data files closed, module tables released,
  // variables, then the memory shutdown (which force-frees any leftover
  // after reporting its owner).
  Status st = RuntimeShutdown();
  if (MemReady()) MemShutdown(true);
  StatusReset();
  return st;
}

std::string S(StrDesc s) {
  if (StrIsError(s)) return "<error " + std::to_string(StrCheck(s)) + ">";
  return std::string(s.ptr, s.len);
}

}  // namespace qtest
