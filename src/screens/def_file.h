// Program definition files: the one line format shared by screen parameters,
// layouts, menus, help pages, fonts, reports, procedures and message files;
// the definition stack; and the numbered parameter keys read from a
// definition text.
//
// A file is read line by line; each line carries an identifier at fixed
// columns and a text part, both given by the layout kind (DefLineLayout).
// The lines of one identifier, in file order, joined with ":" (help pages
// "\r\n"), form a definition text: a list of KEY=value or KEY:value switches.
// The definition stack is DynStrings group 31 (newest last, the current
// definition); the line queue used while reading is group 37, empty between
// reads. Keys are numbers 1..116 naming entries of seven lists (DefKeyName);
// with the system variable _AUX nonzero a key name takes the prefix item
// _AUX of DynStrings (9, 8) and a dot.
//
// String results are pushed on the TempStack. Callers: menus, help, the
// procedure loader, screens, Accept forms, runs, fields, document lines,
// reports, the application, and the message catalogue (through its reader
// slot, DefInstallMessageReader).
#pragma once

#include <cstdint>

#include "core/str_desc.h"

constexpr uint16_t kDefStackGroup = 31;
constexpr uint16_t kDefQueueGroup = 37;
constexpr uint16_t kDefReadFailed = 0xFFFF;
// The item argument of DefKeyValue that asks for the whole value (as does 0).
constexpr uint16_t kDefWholeValue = 0xFFFF;

// File kinds: 1-based positions in "PPN,PAN,STP,DAT,DAT,PDC,PRX,KVA,PMT,PDF,
// TXT,PDI,HLP,CFG".
enum DefFileKind : uint16_t {
  kDefPpn = 1,  // parameter definitions, run definitions, the font file
  kDefPan = 2,  // screen layouts
  kDefStp = 3,
  kDefDat = 4,
  kDefDat2 = 5,
  kDefPdc = 6,
  kDefPrx = 7,
  kDefKva = 8,
  kDefPmt = 9,  // menus
  kDefPdf = 10,
  kDefTxt = 11,
  kDefPdi = 12,
  kDefHlp = 13,
  kDefCfg = 14,
};

// Line layouts: where a line's identifier and text part lie.
enum DefLayoutKind : uint16_t {
  kLayoutWhole = 0,     // no identifier (every line is 0), the whole line
  kLayoutParams = 1,    // identifier 0..1, text from 3 to the end
  kLayoutScreen = 2,    // identifier 1..2, text from 3, the last byte dropped
  kLayoutHelp4 = 3,     // identifier 0..3, text from 5 to the end
  kLayoutRelation = 4,  // identifier 0..1, text from 2 to the end
  kLayoutNoId = 5,      // as 0
  kLayoutIdInline = 6,  // identifier 0..4, text the whole line
};

struct DefLayout {
  uint16_t id_offset = 0;
  uint16_t id_width = 0;  // 0: the layout has no identifier
  uint16_t text_start = 0;
  uint16_t tail_cut = 0;  // the text part is this much shorter than the line
};

// Parameter key numbers (the names of DefKeyName, in list order).
// clang-format off
enum DefKey : uint16_t {
  kKeyModules = 1, kKeyMenu, kKeyCaller, kKeySubmenu, kKeyLoad, kKeyExec, kKeyCounter,
  kKeyMaxIdsAttr, kKeyStatMsg,
  kKeyScreenSize = 11, kKeySet, kKeyOpen, kKeyEdit, kKeyNoEdit, kKeyWrite, kKeyDoc, kKeyDocSets,
  kKeyHelp, kKeySaved, kKeyHidden, kKeyRelOpt, kKeyUnicNdx, kKeyAutoNdx, kKeyKeyMap, kKeyScanDef,
  kKeyScanWin, kKeyScanSet, kKeyVoidMode,
  kKeyNumCab = 31, kKeyWriteCab0, kKeyWriteCabs, kKeyWriteLins, kKeyFitClc, kKeyFtClc,
  kKeyReadCabs, kKeyReadLins, kKeyLnIns, kKeyLnDel, kKeyAlarmLins, kKeyBounds, kKeyDocTypeTxt,
  kKeyMode, kKeyFastFind, kKeyFldUpdate, kKeyBeginFld, kKeyMaxLin,
  kKeyFd = 51, kKeyAlarm, kKeyAssign, kKeyLnAssign, kKeyFileDef, kKeyPerform, kKeyUpdFields,
  kKeyWidths, kKeyTypes, kKeyWindows, kKeyClear, kKeyOnConfirm, kKeyOnCancel, kKeyUsrCond,
  kKeyIk1, kKeyIk2, kKeyIk3,
  kKeyAtEnd = 71, kKeyBrkEnd, kKeyBreak, kKeyCond, kKeyMaxLine, kKeyLineStep, kKeyTotalBase,
  kKeyContinue, kKeyExtraStep, kKeyTitle, kKeyWd,
  kKeyDevice = 91, kKeyDocName, kKeyAcBound, kKeyIndex, kKeyLimits, kKeyAuxLoad, kKeyReset,
  kKeySteps, kKeyPrcName,
  kKeyAcceptPrc = 101, kKeyWinName, kKeyProgMode, kKeyParmFile, kKeyParmFileWrite,
  kKeySourceFile, kKeyImpMode, kKeyRdExp, kKeyWrExp, kKeyEotExp, kKeyRdCond, kKeyTarget,
  kKeyLoadImport, kKeyMnuImport, kKeyAutoImport, kKeyStruct,
};
// clang-format on

// --- file names ---

// name + "." + extension n (no dot when the extension is empty).
StrDesc DefExtName(StrDesc name, uint16_t n);
// DefExtName joined to the definitions folder (0, 5). An empty name is
// returned unchanged; a name with a drive or a leading "\" is not joined.
StrDesc DefPath(StrDesc name, uint16_t n);

// --- lines ---

// The layout of a kind; kinds above 6 give kind 0.
DefLayout DefLineLayout(uint16_t kind);
// The identifier of a line: its identifier columns (clipped to the line), each
// blank read as "0", through StrToInt; 0 for layouts without identifier.
uint16_t DefLineId(uint16_t kind, StrDesc line);
// The text part of a line (a view), clipped to the line.
StrDesc DefLineText(uint16_t kind, StrDesc line);

// Appends to DynStrings group `group` the text parts of the lines of file
// whose identifier equals id (every line for id 0 with layouts 0 and 5), in
// file order. The file is opened read-only; when it cannot be and the name
// has no folder part, it is looked for in the definitions folder. Returns the
// count (0 when nothing matched), or 65,535 when the file cannot be opened or
// an append fails (the lines this call appended are then removed). Nothing is
// recorded in the error word: callers report.
uint16_t DefReadLines(StrDesc file, uint16_t kind, uint16_t id, uint16_t group);

// Takes the first `count` entries of the line queue (group 37), removing
// each, and joins them with separator (only between two non-empty parts).
// A join that fails returns its error descriptor; the rest of the count is
// still removed so the queue stays empty between reads.
StrDesc DefJoinLines(uint16_t count, StrDesc separator);

// --- the definition stack ---

// Pushes definition id of file (its lines joined with ":") as the current
// definition; a file without matching lines pushes an empty text. 65,535 and
// nothing pushed when the file cannot be opened; else the DynStrings status.
Status DefPush(StrDesc file, uint16_t kind, uint16_t id);
// The same with the caller's separator.
Status DefPushSep(StrDesc file, uint16_t kind, uint16_t id, StrDesc separator);
// As DefPush, but a file that cannot be opened pushes an empty definition.
Status DefPushOrEmpty(StrDesc file, uint16_t kind, uint16_t id);
// Pushes a ready definition text.
Status DefPushText(StrDesc text);
// Removes the current definition (0 also when the stack is empty).
Status DefPop();
// The current definition (a view into DynStrings, valid until its next
// change; empty when the stack is empty).
StrDesc DefCurrent();
// Number of definitions on the stack.
uint16_t DefDepth();

// --- keys ---

// The name of key number (empty for 10, 30, 50, 70, 90, 100, 0 and beyond
// 116); with _AUX nonzero: item _AUX of (9, 8), ".", the name.
StrDesc DefKeyName(uint16_t number);
// The normalised value of key name in the current definition: trimmed, one
// pair of outer quotes removed, upper-cased when neither removed anything.
// Empty when absent.
StrDesc DefGet(StrDesc name);
// DefGet(DefKeyName(number)).
StrDesc DefGetKey(uint16_t number);

// The value of key number in text, with fallbacks: the key as named (raw when
// the name holds "%", else one pair of outer quotes removed); with _AUX
// nonzero the name without its prefix; then, for names without "(", the name
// with every "%" removed evaluated as an expression (its text value, or the
// error descriptor of a failed evaluation). An item other than 0 and 65,535
// selects that comma item of the value (quoted parts do not split).
// An empty key name gives an empty text.
StrDesc DefKeyValue(uint16_t number, uint16_t item, StrDesc text);
// DefKeyValue on the current definition.
StrDesc DefCurrentValue(uint16_t number, uint16_t item);
// DefCurrentValue evaluated as an integer expression; 0 when empty or when
// the evaluation fails (the error word and detail are then left as found).
int32_t DefCurrentInt(uint16_t number, uint16_t item);
// Item `item` of the comma list text (item 0 or 65,535: the whole text)
// evaluated as an integer expression; `fallback` when that gives 0, is empty
// or fails (the error word and detail left as found).
int32_t DefItemInt(StrDesc text, uint16_t item, int32_t fallback);

// Installs DefReadLines (layout 0, identifier 0, group 37) as the message
// catalogue's file reader. Start-up calls it before the first message lookup.
void DefInstallMessageReader();
