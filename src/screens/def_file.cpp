// Definition files: names, line layouts, the reader, the definition stack and
// key names. The keys' values with their evaluated fallbacks are in
// def_keys.cpp.
#include "screens/def_file.h"

#include "core/dyn_strings.h"
#include "core/messages.h"
#include "core/str_lib.h"
#include "core/temp_stack.h"
#include "core/token_list.h"
#include "language/variables.h"
#include "storage/folders.h"
#include "storage/streams.h"

namespace {

constexpr char kDefExtensions[] = "PPN,PAN,STP,DAT,DAT,PDC,PRX,KVA,PMT,PDF,TXT,PDI,HLP,CFG";

// id offset, id width, text start, tail cut, by layout kind 0..6.
constexpr DefLayout kLayouts[] = {
    {0, 0, 0, 0}, {0, 2, 3, 3}, {1, 2, 3, 4}, {0, 4, 5, 5},
    {0, 2, 2, 2}, {0, 0, 0, 0}, {0, 5, 0, 0},
};

// The key lists by threshold, searched from the highest threshold down.
struct KeyList {
  uint16_t threshold;
  const char* names;
};
constexpr KeyList kKeyLists[] = {
    {100,
     "ACCEPT_PRC%,WINNAME$,PROG_MODE$,PARM_FILE$,PARM_FILE_WRITE$,SOURCEFILE%,IMP_MODE%,RD_EXP$,"
     "WR_EXP$,EOT_EXP$,RD_COND$,TARGET$,LOAD_IMPORT$,MNU_IMPORT$,AUTO_IMPORT$,STRUCT$"},
    {90, "DEVICE$,DOCNAME$,ACBOUND$,INDEX%,LIMITS$,AUXLOAD$,RESET$,STEPS$,PRCNAME$"},
    {70,
     "ATEND$,BRKEND$,BREAK$,COND$,MAXLINE%,LINESTEP%,TOTALBASE%,CONTINUE%,EXTRASTEP%,TITLE$,WD"},
    {50,
     "FD$,ALARM$,ASSIGN$,LNASSIGN$,FILEDEF$,PERFORM$,UPDFIELDS$,WIDTHS$,TYPES$,WINDOWS$,CLEAR$,"
     "ON_CONFIRM$,ON_CANCEL$,USR_COND$,IK$(1),IK$(2),IK$(3)"},
    {30,
     "NUMCAB$,WRITECAB0$,WRITECABS$,WRITELINS$,FITCLC$,FTCLC$,READCABS$,READLINS$,LNINS$,LNDEL$,"
     "ALARMLINS$,BOUNDS$,DOCTYPETXT$,MODE$,FASTFIND$,FLDUPDATE$,BEGINFLD%,MAXLIN%"},
    {10,
     "SCREENSIZE$,SET$,OPEN$,EDIT$,NOEDIT$,WRITE$,DOC$,DOCSETS$,HELP$,SAVED$,HIDDEN$,RELOPT%,"
     "UNICNDX%,AUTONDX%,KEYMAP%,SCANDEF$,SCANWIN$,SCANSET$,VOIDMODE%"},
    {0, "MODULES$,MENU$,CALLER$,SUBMENU$,LOAD$,EXEC$,COUNTER$,MAX_IDS_ATTR%,STATMSG$"},
};

constexpr uint16_t kSettingsGroup = 0;
constexpr uint16_t kItemDefault = 5;
constexpr uint16_t kPrefixGroup = 9;
constexpr uint16_t kPrefixItem = 8;

// True when a name carries a drive or starts at the root, so no folder is
// put before it.
bool IsRooted(StrDesc name) {
  if (name.len == 0) return false;
  return name.ptr[0] == '\\' || name.ptr[0] == '/' || StrFindChar(name, ':', 1) != kNotFound;
}

// The bare key name of a number (a view of a constant).
StrDesc KeyBaseName(uint16_t number) {
  for (const KeyList& list : kKeyLists) {
    if (number >= list.threshold)
      return ListItem(Lit(list.names), ',', static_cast<uint16_t>(number - list.threshold));
  }
  return Lit("");
}

// Removes the last `count` items of a group (the ones a failed read added).
void DropLast(uint16_t group, uint16_t count) {
  for (; count > 0 && DynCount(group) > 0; --count)
    DynDelete(group, static_cast<uint16_t>(DynCount(group) - 1));
}

uint16_t MessageFileReader(StrDesc path) {
  return DefReadLines(path, kLayoutWhole, 0, kDefQueueGroup);
}

}  // namespace

StrDesc DefExtName(StrDesc name, uint16_t n) {
  return PathJoinExt(name, ListItem(Lit(kDefExtensions), ',', n));
}

StrDesc DefPath(StrDesc name, uint16_t n) {
  if (StrIsError(name)) return name;
  TempMarkValue mark = TempMark();
  if (name.len == 0) return TempKeep(mark, name);
  StrDesc file = DefExtName(name, n);
  if (IsRooted(name)) return TempKeep(mark, file);
  return TempKeep(mark, PathJoin(DynGet(kSettingsGroup, kItemDefault), file));
}

DefLayout DefLineLayout(uint16_t kind) {
  return kLayouts[kind <= 6 ? kind : 0];
}

uint16_t DefLineId(uint16_t kind, StrDesc line) {
  DefLayout layout = DefLineLayout(kind);
  if (layout.id_width == 0 || StrIsError(line)) return 0;
  StrDesc columns = StrSub(line, layout.id_offset, layout.id_width);
  char digits[8];
  for (uint16_t i = 0; i < columns.len; ++i)
    digits[i] = columns.ptr[i] == ' ' ? '0' : columns.ptr[i];
  return static_cast<uint16_t>(StrToInt(StrMake(digits, columns.len)));
}

StrDesc DefLineText(uint16_t kind, StrDesc line) {
  if (StrIsError(line)) return line;
  DefLayout layout = DefLineLayout(kind);
  if (line.len <= layout.tail_cut) return StrSub(line, 0, 0);
  return StrSub(line, layout.text_start, static_cast<uint16_t>(line.len - layout.tail_cut));
}

uint16_t DefReadLines(StrDesc file, uint16_t kind, uint16_t id, uint16_t group) {
  if (StrIsError(file) || file.len == 0) return kDefReadFailed;
  TempMarkValue mark = TempMark();
  const uint16_t read_only = kStreamReadOnly | kStreamQuiet;
  uint16_t n = StreamOpen(file, read_only);
  if (n >= kStreamCount && PathPart(file, kPathParent).len == 0) {
    StrDesc in_default = PathJoin(DynGet(kSettingsGroup, kItemDefault), file);
    if (!StrIsError(in_default)) n = StreamOpen(in_default, read_only);
  }
  TempRelease(mark);
  // The console ("CON") is never a definition file.
  if (n >= kStreamCount || n < kStreamFirstFile) return kDefReadFailed;

  uint16_t count = 0;
  bool failed = false;
  for (;;) {
    StrDesc line = StreamReadText(n, kStreamHere, kStreamLine);
    if (StrIsError(line)) break;
    if (DefLineId(kind, line) == id) {
      if (DynPush(group, DefLineText(kind, line)) != 0 || count == kDefReadFailed - 1) {
        failed = true;
        break;
      }
      ++count;
    }
    TempRelease(mark);
  }
  TempRelease(mark);
  StreamClose(n);
  if (failed) {
    DropLast(group, count);
    return kDefReadFailed;
  }
  return count;
}

StrDesc DefJoinLines(uint16_t count, StrDesc separator) {
  if (StrIsError(separator)) return separator;
  TempMarkValue mark = TempMark();
  StrDesc joined = Lit("");
  uint16_t taken = 0;
  for (; taken < count && DynCount(kDefQueueGroup) > 0; ++taken) {
    joined = TempKeep(mark, StrJoin(joined, separator, DynTop(kDefQueueGroup)));
    DynPop(kDefQueueGroup);
    if (StrIsError(joined)) {
      ++taken;
      break;
    }
  }
  for (; taken < count && DynCount(kDefQueueGroup) > 0; ++taken)
    DynPop(kDefQueueGroup);
  return joined;
}

Status DefPushSep(StrDesc file, uint16_t kind, uint16_t id, StrDesc separator) {
  uint16_t count = DefReadLines(file, kind, id, kDefQueueGroup);
  if (count == kDefReadFailed) return kDefReadFailed;
  TempMarkValue mark = TempMark();
  StrDesc text = DefJoinLines(count, separator);
  Status st = StrIsError(text) ? StrCheck(text) : DynPush(kDefStackGroup, text);
  TempRelease(mark);
  return st;
}

Status DefPush(StrDesc file, uint16_t kind, uint16_t id) {
  return DefPushSep(file, kind, id, Lit(":"));
}

Status DefPushOrEmpty(StrDesc file, uint16_t kind, uint16_t id) {
  Status st = DefPush(file, kind, id);
  return st == kDefReadFailed ? DynPush(kDefStackGroup, Lit("")) : st;
}

Status DefPushText(StrDesc text) {
  return DynPush(kDefStackGroup, text);
}

Status DefPop() {
  return DynPop(kDefStackGroup);
}

StrDesc DefCurrent() {
  return DynTop(kDefStackGroup);
}

uint16_t DefDepth() {
  return DynCount(kDefStackGroup);
}

StrDesc DefKeyName(uint16_t number) {
  TempMarkValue mark = TempMark();
  StrDesc name = KeyBaseName(number);
  int16_t aux = IntegerVar(kSysAux);
  if (aux == 0 || name.len == 0) return TempKeep(mark, name);
  StrDesc prefix = ListItem(DynGet(kPrefixGroup, kPrefixItem), ',', static_cast<uint16_t>(aux));
  return TempKeep(mark, StrConcat(StrConcat(prefix, Lit(".")), name));
}

StrDesc DefGet(StrDesc name) {
  if (StrIsError(name)) return name;
  TempMarkValue mark = TempMark();
  if (name.len == 0) return TempKeep(mark, Lit(""));
  return TempKeep(mark, KvGet(DefCurrent(), name, 3));
}

StrDesc DefGetKey(uint16_t number) {
  TempMarkValue mark = TempMark();
  return TempKeep(mark, DefGet(DefKeyName(number)));
}

void DefInstallMessageReader() {
  SetMsgLineReader(MessageFileReader);
}
