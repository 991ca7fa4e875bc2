// The hook table: 25 numbered callback slots (0..24) that the runtime and the
// application fill, so that a lower layer can call into a higher one without
// depending on it.
//
// Slots with a fixed use: 0 field-value access for the language, 1 the
// procedure runner (EXEC$), 2 external functions of the language, 3 the
// relation hook of FILEREL, 4..7 default hooks of runs, 22 the help key
// handler; any of 1..24 may be named by a definition. Each slot's function
// type is fixed by the module that defines its use; callers store and fetch
// through HookAs with that type.
#pragma once

#include <cstdint>

using HookFn = void (*)();

constexpr uint16_t kHookSlots = 25;

enum HookSlot : uint16_t {
  kHookFieldValue = 0,
  kHookProcedureRunner = 1,
  kHookExternalFunction = 2,
  kHookRelation = 3,
  kHookParmFile = 4,
  kHookDocName = 5,
  kHookPrcName = 6,
  kHookSteps = 7,
  kHookHelpKey = 22,
};

// Stores fn in a slot; 0 on success, 255 for a slot above 24.
uint8_t HookSet(uint16_t slot, HookFn fn);
// The function in a slot; null when empty or out of range.
HookFn HookGet(uint16_t slot);
// Empties every slot (runtime start and tests).
void HookTableReset();

// Typed store and fetch.
template <typename F>
uint8_t HookSetAs(uint16_t slot, F fn) {
  return HookSet(slot, reinterpret_cast<HookFn>(fn));
}
template <typename F>
F HookAs(uint16_t slot) {
  return reinterpret_cast<F>(HookGet(slot));
}
