#include "core/hook_table.h"

namespace {
HookFn g_hooks[kHookSlots] = {};
}  // namespace

uint8_t HookSet(uint16_t slot, HookFn fn) {
  if (slot >= kHookSlots) return 255;
  g_hooks[slot] = fn;
  return 0;
}

HookFn HookGet(uint16_t slot) { return slot < kHookSlots ? g_hooks[slot] : nullptr; }

void HookTableReset() {
  for (HookFn& h : g_hooks) h = nullptr;
}
