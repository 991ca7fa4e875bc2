#include "support/runtime_fixture.h"

#include "core/dyn_strings.h"
#include "core/mem_pool.h"
#include "core/rec_table.h"
#include "core/status.h"

namespace qtest {

Status RuntimeUp(const RuntimeOptions& options) {
  MemFailNextAllocations(0);
  MemConfigure(options.temp_kb, options.table_capacity < 0 ? 64 : options.table_capacity);
  StatusReset();
  Status st = DynInit();
  if (st != 0) return st;
  return RecTablesCreate();
}

Status RuntimeDown() {
  MemFailNextAllocations(0);
  RecTablesFree();
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
