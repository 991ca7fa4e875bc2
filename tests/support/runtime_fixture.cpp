#include "support/runtime_fixture.h"

#include "core/mem_pool.h"
#include "core/status.h"
#include "language/variables.h"

namespace qtest {

Status RuntimeUp(const RuntimeOptions& options) {
  MemFailNextAllocations(0);
  MemConfigure(options.temp_kb, options.table_capacity < 0 ? 64 : options.table_capacity);
  StatusReset();
  // DynStrings (with the block table and TempStack), the record tables and
  // the system variables.
  return InitVariables();
}

Status RuntimeDown() {
  MemFailNextAllocations(0);
  ReleaseVariables();
  Status st = RuntimeMemoryShutdown();
  if (MemReady()) MemShutdown(true);  // leftovers reported above; free them anyway
  StatusReset();
  return st;
}

std::string S(StrDesc s) {
  if (StrIsError(s)) return "<error " + std::to_string(StrCheck(s)) + ">";
  return std::string(s.ptr, s.len);
}

}  // namespace qtest
