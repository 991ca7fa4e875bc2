// The block table ("Malloc-MemAcums"): every long-lived block of memory of the
// runtime is taken here, tagged with the number of the module that owns it and
// followed by four guard bytes (NUL, '!', '!', NUL).
//
// Freeing checks the guard and the owner and refuses (leaving the block in
// place) when either is wrong, so damage is reported rather than hidden. The
// table is a fixed array searched linearly; blocks are few and large. The
// TempStack pool and mark table and the DynStrings buffer are such blocks.
// MemInit creates the table and the TempStack; RuntimeMemoryShutdown frees
// everything at the end and reports the owner of any block left over.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/str_desc.h"

// Owner numbers (module numbers of the status module list).
enum MemOwner : uint16_t {
  kOwnerStringInit = 1,     // the DynStrings buffer
  kOwnerExecCompiler = 7,   // expression compiler
  kOwnerExecRunTime = 9,    // TempStack pool and mark table
  kOwnerVarStruct = 10,     // variable table and arrays
  kOwnerSort = 12,          // sort buffers
  kOwnerBufferFld = 13,     // record buffers
  kOwnerStructFuncs = 15,   // record tables
  kOwnerLocalLists = 19,    // local sorted lists
  kOwnerScreens = 20,       // screens, line tables
  kOwnerDevices = 21,       // output devices
};

struct MemEntryRecord {
  uint16_t owner = 0;
  uint32_t size = 0;
  unsigned char* data = nullptr;  // null when the entry is free
};

// Bounded buffer: a block written front to back; the first failure is kept.
struct BufferRecord {
  unsigned char* data = nullptr;
  uint16_t used = 0;
  uint16_t capacity = 0;
  Status status = 0;  // 145 when no block was obtained, 168 when a write did not fit
};

constexpr uint16_t kMemNoHandle = 0xFFFF;

// Sets the TempStack size in KB (also its mark-table entries) and the block
// table capacity before MemInit; -1 leaves a value unchanged.
void MemConfigure(int temp_kb, int table_capacity);

// Current configuration (after MemConfigure / defaults 128 and 64).
uint16_t MemTempKb();
uint16_t MemTableCapacity();

// Creates the table (zero-filled) and the TempStack. 124 when the table exists
// already, 145 when the table or the pool cannot be had.
Status MemInit();

// True between MemInit and the final shutdown.
bool MemReady();

// Takes a block of `size` bytes filled with `fill` (255: left as found).
// Returns the entry number, or kMemNoHandle when the table is full. A failed
// heap allocation leaves the entry free (and MemAlloc then returns null).
uint16_t MemAllocHandle(uint16_t owner, uint32_t size, uint8_t fill);

// A zero-filled block, or null.
void* MemAlloc(uint16_t owner, uint32_t size);

// The entry of a handle, or null (status 163) when handle is out of range.
const MemEntryRecord* MemEntry(uint16_t handle);

// Frees a block: 0; 154 when no entry holds the pointer; 180 when the guard
// was overwritten; 141 when the owner differs (in the last two cases nothing
// is freed).
Status MemFree(uint16_t owner, void* pointer);

// Copies `source` into the block at `offset` when it fits; else, or when the
// pointer is not a block, 168. An error descriptor's code is returned as it is.
Status MemCopyInto(uint16_t owner, void* pointer, uint32_t offset, StrDesc source);

// A new block of new_size bytes holding the first used_length bytes of the
// old one, which is freed. Null when the new block cannot be had or cannot hold
// the used bytes; then the old block stays as it was.
void* MemResize(uint16_t owner, void* old_pointer, uint32_t used_length, uint32_t new_size);

// The size in bytes of the block at `pointer`, 0 when it is not a block.
uint32_t MemBlockSize(const void* pointer);

// Bounded buffers. BufferOpen gives the record a new block (status 145 when
// none); BufferGrow moves it to a larger block; BufferAppend places bytes at
// `used` (rounded up to 4 first when align is set) and returns where, or null
// after a failure, which is stored in the record (later appends do nothing).
BufferRecord* BufferOpen(BufferRecord* record, uint16_t owner, uint16_t size);
BufferRecord* BufferGrow(BufferRecord* record, uint16_t owner, uint16_t new_size);
void* BufferAppend(uint16_t owner, BufferRecord* record, const void* source, uint16_t length,
                   bool align);
// Frees the record's block (if any) and clears it.
void BufferClose(BufferRecord* record, uint16_t owner);

// Counts entries between from and to (inclusive): mode 1 used, 2 free, 3 the
// span. The owner of the highest used entry is stored in *first_owner.
uint16_t MemCount(uint16_t from, uint16_t to, int mode, uint16_t* first_owner);

// Frees blocks: without force only when no entry is used; with force every
// block and the table. Returns the owner of the highest used entry found
// before freeing (0 when none).
uint16_t MemShutdown(bool force);

// The last step of the runtime shutdown: stops and returns the owner of the
// highest used block when it is not the DynStrings buffer; otherwise frees the
// DynStrings buffer, the TempStack, then whatever is left and the table.
Status RuntimeMemoryShutdown();

// Test hook: the next `count` heap allocations of the block table fail (as if
// the heap were exhausted). 0 turns it off.
void MemFailNextAllocations(int count);
