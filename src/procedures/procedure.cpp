// Loading, preparing and releasing procedures; the command handler chain.
#include "procedures/procedure.h"

#include <cstring>
#include <type_traits>

#include "core/dyn_strings.h"
#include "core/hook_table.h"
#include "core/mem_pool.h"
#include "core/messages.h"
#include "core/rec_table.h"
#include "core/status.h"
#include "core/str_lib.h"
#include "core/temp_stack.h"
#include "core/token_list.h"
#include "language/builtins.h"
#include "procedures/procedure_internal.h"
#include "screens/def_file.h"
#include "storage/folders.h"

const char kPrcKeywords[] =
    "GOTO,GOSUB,CALL,RETURN,ENDIF,LOOP,LOOP_WHILE,LOOP_UNTIL,ELSE,IF,IF_TRUE,DO_WHILE,IF_FALSE,"
    "DO_UNTIL,DO,DEF_FN,LOCALVARS,END,ACCEPT,BOUNDS,COLOR,CONNECT,DEVICE,DLOCATE,DPRINT,ENDDEVICE,"
    "EXPORT,FILESELECT,IMPORT,KILL,LOADSTRUCT,LOCATE,MESSAGE,PRINT,SHELL,READ,REMOTE,REPORT,"
    "DOCPRINT,WAIT,WINMENU,WINOPEN,WINCLOSE,WINSELECT,WINPROG,RC_DELETE,RC_INSERT,RC_UPDATE,"
    "RC_WRITE,FILESTRUCT,FILESCAN,STATSTEPS,SYSTEM";

static_assert(std::is_trivially_copyable_v<ProcedureRecord>, "records are copied bytewise");
static_assert(std::is_same_v<decltype(&RunProcedure), ProcedureRunnerHook>,
              "the runner is the hook of slot 1");

namespace {

constexpr uint16_t kLineQueue = kDefQueueGroup;
// The highest record index LoadProcedure can return: 122 and above are
// statuses.
constexpr uint16_t kMaxRecordIndex = 121;

CommandHandler g_handlers[kPrcHandlerSlots] = {};
uint32_t g_next_serial = 1;

// One label or entry point seen in phase 1.
struct Mark {
  uint16_t offset = 0;  // of its name in the names buffer
  uint16_t length = 0;
  uint16_t position = 0;
};

// Names of labels or entry points, kept while they fit kPrcNamesBytes
// together (a name that does not fit is dropped, so it cannot be found).
struct MarkList {
  Mark marks[kPrcMaxLabels];
  uint16_t stored = 0;  // marks with a stored name
  uint16_t seen = 0;    // all marks, for the limit
  char names[kPrcNamesBytes];
  uint16_t used = 0;  // bytes of names, commas between them included

  // 145 beyond the limit; a name that does not fit is counted, not stored.
  Status Add(StrDesc name, uint16_t position) {
    if (seen >= kPrcMaxLabels) return kStOutOfMemory;
    ++seen;
    const uint16_t comma = used ? 1 : 0;
    if (uint32_t{used} + comma + name.len > kPrcNamesBytes) return 0;
    if (comma) names[used++] = ',';
    std::memcpy(names + used, name.ptr, name.len);
    marks[stored++] = Mark{used, name.len, position};
    used = static_cast<uint16_t>(used + name.len);
    return 0;
  }

  // The position of the first stored mark named `name`, or -1.
  int Find(StrDesc name) const {
    for (uint16_t i = 0; i < stored; ++i) {
      if (marks[i].length == name.len &&
          std::memcmp(names + marks[i].offset, name.ptr, name.len) == 0)
        return marks[i].position;
    }
    return -1;
  }
};

uint16_t KeywordCode(StrDesc word) {
  if (word.len == 0) return 0;
  uint16_t code = ListFind(Lit(kPrcKeywords), word, ',');
  if (code != 0) return code;
  TempMarkValue mark = TempMark();
  code = ListFind(Lit(kPrcKeywords), StrCase(word, 1), ',');
  TempRelease(mark);
  return code;
}

// Appends a formatted message to the error detail and records the status
// under EXEC_COMPILER.
Status PrepareFailure(Status code, StrDesc message) {
  if (!StrIsError(message)) ErrDetail(code, message, true);
  ErrSet(1, kModExecCompiler, code, code);
  return code;
}

// Removes `count` entries from the front of the line queue.
void DropLines(uint16_t count) {
  for (uint16_t i = 0; i < count && DynCount(kLineQueue) > 0; ++i)
    DynPop(kLineQueue);
}

// A short view of a text for messages.
StrDesc Clip(StrDesc s) {
  return StrSub(s, 0, 200);
}

}  // namespace

// ---------------------------------------------------------------------------
// Preparing
// ---------------------------------------------------------------------------

Status PrepareProcedure(uint16_t line_count, StrDesc name, ProcedureRecord* out) {
  if (out == nullptr) return kStInternal;
  if (StrIsError(name)) name = Lit("");
  if (line_count > DynCount(kLineQueue)) line_count = DynCount(kLineQueue);
  TempMarkValue mark = TempMark();

  // One block sized for the worst case: every queued line counted.
  uint32_t text_total = 0;
  for (uint16_t k = 0; k < line_count; ++k)
    text_total += DynGet(kLineQueue, k).len;
  const uint32_t items_bytes = uint32_t{line_count} * sizeof(PrcItem);
  const uint32_t return_offset = items_bytes;
  const uint32_t positions_offset = return_offset + kPrcReturnStack * sizeof(uint16_t);
  // Entry positions, then entry name lengths, kPrcMaxLabels of each.
  const uint32_t names_offset = positions_offset + 2 * kPrcMaxLabels * sizeof(uint16_t);
  const uint32_t texts_offset = names_offset + kPrcNamesBytes;
  const uint32_t name_offset = texts_offset + text_total;
  auto* block =
      static_cast<unsigned char*>(MemAlloc(kOwnerExecCompiler, name_offset + name.len + 1));
  if (block == nullptr) {
    DropLines(line_count);
    return PrepareFailure(kStOutOfMemory, Lit(""));
  }
  auto* items = reinterpret_cast<PrcItem*>(block);

  // Phase 1: codes, texts, labels and entry points.
  MarkList labels;
  MarkList entries;
  uint16_t count = 0;
  uint32_t text_at = texts_offset;
  Status st = 0;
  uint16_t used_lines = 0;
  while (used_lines < line_count && st == 0) {
    StrDesc line = StrTrim(StrCopy(DynTop(kLineQueue)), 3);
    DynPop(kLineQueue);
    ++used_lines;
    if (StrIsError(line)) {
      st = PrepareFailure(StrCheck(line), Lit(""));
      break;
    }
    if (line.len == 0 || std::strchr(";#/", line.ptr[0]) != nullptr) {
      TempRelease(mark);
      continue;
    }
    const uint16_t blank = StrFindChar(line, ' ', 1);
    StrDesc word = StrSub(line, 0, blank);
    StrDesc rest =
        blank == kNotFound ? StrSub(line, 0, 0) : StrTrim(StrSub(line, blank + 1, 0xFFFF), 3);
    if (word.ptr[0] == ':') {
      if (labels.Add(StrSub(word, 1, 0xFFFF), count) != 0) {
        st = PrepareFailure(kStOutOfMemory,
                            StrFormat(100, "\r\nMore than 128 labels in line %u (+ remmarks)",
                                      unsigned{count} + 1));
      }
      TempRelease(mark);
      continue;
    }
    const uint16_t code = KeywordCode(word);
    if (code == kPrcDefFn) {
      if (entries.Add(rest, count) != 0) {
        st = PrepareFailure(kStOutOfMemory,
                            StrFormat(100, "\r\nMore than 128 entry points in line %u (+ remmarks)",
                                      unsigned{count} + 1));
      }
      TempRelease(mark);
      continue;
    }
    StrDesc text = code == kPrcExpression ? line : rest;
    std::memcpy(block + text_at, text.ptr, text.len);
    items[count] = PrcItem{code, 0, text_at, text.len, 0};
    text_at += text.len;
    ++count;
    TempRelease(mark);
  }

  // Phase 2: jump targets and block matching.
  uint16_t open[kPrcMaxNesting];
  uint16_t depth = 0;
  for (uint16_t i = 0; i < count && st == 0; ++i) {
    PrcItem& item = items[i];
    StrDesc text = StrMake(reinterpret_cast<char*>(block + item.text_offset), item.text_length);
    if (item.code == kPrcGoto || item.code == kPrcGosub) {
      const int target = labels.Find(text);
      if (target < 0) {
        const StrDesc label = Clip(text);
        st = PrepareFailure(kStSyntax,
                            StrFormat(320, "\r\nLabel '%.*s' in line %u (+ remmarks) not found",
                                      static_cast<int>(label.len), label.ptr, unsigned{i} + 1));
        break;
      }
      item.target = static_cast<uint16_t>(target);
    }
    if (item.code >= kPrcEndif && item.code <= kPrcElse) {
      if (depth == 0) {
        st = PrepareFailure(kStSyntax,
                            StrFormat(160,
                                      "\r\nFinal of Conditional or loop without \r\nBegin (Loop, "
                                      "Endif...) in line %u (+ remmarks)",
                                      unsigned{i} + 1));
        break;
      }
      const uint16_t opener = open[--depth];
      items[opener].target = static_cast<uint16_t>(i + 1);
      item.target = opener;
    }
    if (item.code >= kPrcElse && item.code <= kPrcDo) {
      if (depth >= kPrcMaxNesting) {
        st = PrepareFailure(kStOutOfMemory,
                            StrFormat(100, "\r\nMore than 16 open blocks in line %u (+ remmarks)",
                                      unsigned{i} + 1));
        break;
      }
      open[depth++] = i;
    }
  }
  // A block left open runs to the end of the procedure: a false condition,
  // or an ELSE reached from its IF, jumps past the last line.
  while (st == 0 && depth > 0)
    items[open[--depth]].target = count;

  DropLines(static_cast<uint16_t>(line_count - used_lines));
  TempRelease(mark);
  if (st != 0) {
    MemFree(kOwnerExecCompiler, block);
    return st;
  }

  auto* positions = reinterpret_cast<uint16_t*>(block + positions_offset);
  for (uint16_t e = 0; e < entries.stored; ++e) {
    positions[e] = entries.marks[e].position;
    positions[kPrcMaxLabels + e] = entries.marks[e].length;
  }
  std::memcpy(block + names_offset, entries.names, entries.used);
  std::memcpy(block + name_offset, name.ptr, name.len);

  ProcedureRecord record;
  record.block = block;
  record.serial = g_next_serial++;
  record.return_offset = return_offset;
  record.entry_positions_offset = positions_offset;
  record.entry_names_offset = names_offset;
  record.name_offset = name_offset;
  record.line_count = count;
  record.entry_count = entries.stored;
  record.entry_names_length = entries.used;
  record.name_length = name.len;
  *out = record;
  HookSetAs(kHookProcedureRunner, &RunProcedure);
  return 0;
}

// ---------------------------------------------------------------------------
// Loading and releasing
// ---------------------------------------------------------------------------

uint16_t LoadProcedure(StrDesc file_name) {
  if (StrIsError(file_name)) return StrCheck(file_name);
  TempMarkValue mark = TempMark();
  Status st = 0;
  StrDesc path = file_name.len ? FindFileInFolders(AppFolder(kAppDefault), file_name) : Lit("");
  uint16_t lines = kDefReadFailed;
  if (!StrIsError(path) && path.len != 0) {
    const uint32_t word_before = ErrWord();
    lines = DefReadLines(path, kLayoutWhole, 0, kLineQueue);
    if (lines == kDefReadFailed) {
      ErrDetail(kStFileNotFound, file_name, true);
      // The line queue refused the file: say so beside the name.
      const uint16_t code = static_cast<uint16_t>(ErrWord() & 0xFFFF);
      if (ErrWord() != word_before && (code == kStStrOutBound || code == kStLoadStr))
        ErrDetail(kStFileNotFound, MsgGet("0101"), true);
      st = kStFileNotFound;
    }
  } else {
    ErrDetail(kStFileNotFound, file_name, true);
    st = kStFileNotFound;
  }
  if (st != 0) {
    TempRelease(mark);
    ErrSet(1, kModExecCompiler, st, st);
    return st;
  }

  ProcedureRecord record;
  st = PrepareProcedure(lines, file_name, &record);
  TempRelease(mark);
  if (st != 0) return st;
  const uint16_t index = RecInfo(kRecProcedures, 0);
  if (index > kMaxRecordIndex) {
    MemFree(kOwnerExecCompiler, record.block);
    return PrepareFailure(kStOutOfMemory, Lit(""));
  }
  if (RecPut(kRecProcedures, index, &record, sizeof record) == nullptr) {
    MemFree(kOwnerExecCompiler, record.block);
    return ErrSet(1, kModExecCompiler, kStInternal, kStInternal);
  }
  return index;
}

Status PrcRemoveRecord(uint16_t index) {
  auto* record = static_cast<ProcedureRecord*>(RecGet(kRecProcedures, index));
  if (record == nullptr) return kStInternal;
  const Status freed = MemFree(kOwnerExecCompiler, record->block);
  const Status removed = RecDelete(kRecProcedures, index);
  return freed != 0 ? freed : removed;
}

Status ReleaseProcedure(uint16_t index) {
  if (index >= kStCancelled) return index;
  auto* record = static_cast<ProcedureRecord*>(RecGet(kRecProcedures, index));
  if (record == nullptr) return kStInternal;
  if (record->running > 0) {
    record->release_pending = 1;
    return 0;
  }
  return PrcRemoveRecord(index);
}

void ProceduresShutdown() {
  if (RecTablesReady()) {
    for (uint16_t i = RecInfo(kRecProcedures, 0); i > 0; --i) {
      auto* record = static_cast<ProcedureRecord*>(RecGet(kRecProcedures, i - 1));
      if (record != nullptr && record->block != nullptr) MemFree(kOwnerExecCompiler, record->block);
    }
    RecTableFree(kRecProcedures);
  }
  for (CommandHandler& handler : g_handlers)
    handler = nullptr;
  if (HookAs<ProcedureRunnerHook>(kHookProcedureRunner) == &RunProcedure)
    HookSet(kHookProcedureRunner, nullptr);
  g_next_serial = 1;
  PrcFlowReset();
}

// ---------------------------------------------------------------------------
// Records
// ---------------------------------------------------------------------------

ProcedureRecord* PrcFindBySerial(uint32_t serial, uint16_t* index) {
  const uint16_t count = RecInfo(kRecProcedures, 0);
  for (uint16_t i = 0; i < count; ++i) {
    auto* record = static_cast<ProcedureRecord*>(RecGet(kRecProcedures, i));
    if (record != nullptr && record->serial == serial) {
      if (index != nullptr) *index = i;
      return record;
    }
  }
  return nullptr;
}

uint16_t* PrcReturnStack(const ProcedureRecord& record) {
  return reinterpret_cast<uint16_t*>(record.block + record.return_offset);
}

uint16_t ProcedureCount() {
  return RecInfo(kRecProcedures, 0);
}

const ProcedureRecord* ProcedureAt(uint16_t index) {
  return static_cast<const ProcedureRecord*>(RecGet(kRecProcedures, index));
}

PrcItem ProcedureItem(const ProcedureRecord& record, uint16_t line) {
  if (record.block == nullptr || line >= record.line_count) return PrcItem{};
  return reinterpret_cast<const PrcItem*>(record.block)[line];
}

StrDesc ProcedureLineText(const ProcedureRecord& record, uint16_t line) {
  const PrcItem item = ProcedureItem(record, line);
  if (record.block == nullptr || line >= record.line_count) return Lit("");
  return StrMake(reinterpret_cast<const char*>(record.block + item.text_offset), item.text_length);
}

StrDesc ProcedureEntryNames(const ProcedureRecord& record) {
  if (record.block == nullptr) return Lit("");
  return StrMake(reinterpret_cast<const char*>(record.block + record.entry_names_offset),
                 record.entry_names_length);
}

uint16_t ProcedureEntryPosition(const ProcedureRecord& record, uint16_t n) {
  if (record.block == nullptr || n == 0 || n > record.entry_count) return 0xFFFF;
  return reinterpret_cast<const uint16_t*>(record.block + record.entry_positions_offset)[n - 1];
}

int PrcFindEntry(const ProcedureRecord& record, StrDesc name) {
  if (record.block == nullptr || StrIsError(name)) return -1;
  const auto* positions =
      reinterpret_cast<const uint16_t*>(record.block + record.entry_positions_offset);
  const char* names = reinterpret_cast<const char*>(record.block + record.entry_names_offset);
  uint32_t offset = 0;
  for (uint16_t e = 0; e < record.entry_count; ++e) {
    const uint16_t length = positions[kPrcMaxLabels + e];
    if (length == name.len && std::memcmp(names + offset, name.ptr, length) == 0)
      return positions[e];
    offset += length + 1u;
  }
  return -1;
}

StrDesc ProcedureName(const ProcedureRecord& record) {
  if (record.block == nullptr) return Lit("");
  return StrMake(reinterpret_cast<const char*>(record.block + record.name_offset),
                 record.name_length);
}

StrDesc PrcKeyword(uint16_t code) {
  return ListItem(Lit(kPrcKeywords), ',', code);
}

// ---------------------------------------------------------------------------
// Command handlers
// ---------------------------------------------------------------------------

uint8_t CommandHandlerSet(uint16_t slot, CommandHandler handler) {
  if (slot >= kPrcHandlerSlots) return 255;
  g_handlers[slot] = handler;
  return 0;
}

CommandHandler CommandHandlerGet(uint16_t slot) {
  return slot < kPrcHandlerSlots ? g_handlers[slot] : nullptr;
}

CommandHandler PrcFirstHandler() {
  for (CommandHandler handler : g_handlers) {
    if (handler != nullptr) return handler;
  }
  return nullptr;
}
