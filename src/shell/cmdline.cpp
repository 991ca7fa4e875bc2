#include "shell/cmdline.h"

#include <string>

#include "core/dyn_strings.h"
#include "core/str_lib.h"
#include "core/temp_stack.h"
#include "core/token_list.h"
#include "platform/fs.h"
#include "platform/process.h"

namespace {

// Group-0 items of the start-up settings.
constexpr uint16_t kGroupSettings = 0;
constexpr uint16_t kItemCommandLine = 1;
constexpr uint16_t kItemApName = 2;
constexpr uint16_t kItemDatabase = 11;

constexpr char kOptionList[] =
    "?;HELP,APNAME,APSTART,DPATH,SCRWID,SCRHIG,INPUT,OUTPUT,FILE,INDEX,DEVICE,RUN,MODE,TRACE,"
    "CONFIG,HOST,DATABASE,USER,PASSW";

// Placeholder names: the first list by group-0 item, the second by item of
// the database settings.
constexpr char kSettingNames[] =
    "COMMANDLINE,APNAME,APDESCRIP,LANGMODULE.DOCPATH,DATAPATH,HELPPATH";
constexpr char kDatabaseNames[] = "DATABASE_HOST,DATABASE_DBNAME,DATABASE_USER,DATABASE_PASSW";

// The working folder is refused beyond this length (the longest path the
// streams accept plus its terminator).
constexpr size_t kWorkingFolderMax = 384;

StrDesc Empty() {
  return Lit("");
}

// Replaces every occurrence of old_text, quote-aware, until a round changes
// nothing more (so the loop ends whatever the text holds). Keeps the result
// at the mark.
StrDesc ReplaceAll(TempMarkValue mark, StrDesc text, StrDesc old_text, StrDesc new_text,
                   bool repeat) {
  for (;;) {
    StrDesc next = StrReplace(text, old_text, new_text, 0);
    if (StrIsError(next)) return TempKeep(mark, next);
    bool changed = next.len != text.len;
    text = TempKeep(mark, next);
    if (StrIsError(text) || !repeat || !changed) return text;
  }
}

// The value of one placeholder name (a view, or a normalised temporary).
StrDesc PlaceholderValue(StrDesc name) {
  uint16_t p = ListFind(Lit(kSettingNames), name, ',');
  if (p == kItemApName) return StrSub(DynGet(kGroupSettings, kItemApName), 0, 2);
  if (p != 0) return DynGet(kGroupSettings, p);
  uint16_t k = ListFind(Lit(kDatabaseNames), name, ',');
  if (k != 0) return StrNormalize(ListItem(DynGet(kGroupSettings, kItemDatabase), ',', k));
  return Empty();
}

// The names already expanded are kept as entries of a 2-byte length and the
// name's bytes.
bool AlreadyExpanded(StrDesc done, StrDesc name) {
  uint32_t at = 0;
  while (at + 2 <= done.len) {
    uint16_t n = static_cast<uint16_t>(static_cast<unsigned char>(done.ptr[at]) |
                                       (static_cast<unsigned char>(done.ptr[at + 1]) << 8));
    at += 2;
    if (n == name.len && std::string_view(done.ptr + at, n) == StrView(name)) return true;
    at += n;
  }
  return false;
}

StrDesc AddExpanded(StrDesc done, StrDesc name) {
  const char length[2] = {static_cast<char>(name.len & 0xFF), static_cast<char>(name.len >> 8)};
  return StrConcat(StrConcat(done, StrMake(length, 2)), name);
}

StrDesc PushStdString(const std::string& text) {
  if (text.size() > 0xFFFF) return StrError(146);
  return StrCopy(StrMake(text.data(), static_cast<uint16_t>(text.size())));
}

}  // namespace

Status CmdlineStore(StrDesc text) {
  Status st = StrCheck(text);
  if (st != 0) return st;
  TempMarkValue mark = TempMark();
  StrDesc line = StrCopy(StrTrim(text, 3));
  if (!StrIsError(line)) line = ReplaceAll(mark, line, Lit("  "), Lit(" "), true);
  if (!StrIsError(line)) line = ReplaceAll(mark, line, Lit(" --"), Lit(" /"), false);
  if (!StrIsError(line)) line = ReplaceAll(mark, line, Lit(" -"), Lit(" /"), false);
  st = StrIsError(line) ? StrCheck(line) : DynSet(kGroupSettings, kItemCommandLine, line);
  TempRelease(mark);
  return st;
}

StrDesc OptionName(uint16_t n) {
  return ListItem(Lit(kOptionList), ',', n);
}

StrDesc OptionByName(StrDesc name) {
  if (StrIsError(name)) return name;
  TempMarkValue mark = TempMark();
  if (name.len == 0) return TempKeep(mark, Empty());
  StrDesc line = DynGet(kGroupSettings, kItemCommandLine);
  StrDesc value = KvGet(line, name, 3);
  if (!StrIsError(value) && value.len == 0) {
    // A lower-case letter is above 96: such a name is retried in upper case,
    // any other in lower case.
    bool lower_first = static_cast<unsigned char>(name.ptr[0]) <= 96;
    StrDesc other = StrCase(name, lower_first ? 0 : 1);
    if (!StrIsError(other)) value = KvGet(line, other, 3);
  }
  return TempKeep(mark, value);
}

StrDesc OptionValue(uint16_t n) {
  return OptionByName(OptionName(n));
}

uint16_t OptionPosition(uint16_t n, StrDesc list) {
  TempMarkValue mark = TempMark();
  StrDesc value = OptionValue(n);
  uint16_t position = 0;
  if (!StrIsError(value) && value.len > 0) position = ListFind(list, value, ',');
  TempRelease(mark);
  return position;
}

StrDesc ExpandPlaceholders(StrDesc text) {
  if (StrIsError(text)) return text;
  TempMarkValue mark = TempMark();
  StrDesc current = StrCopy(text);
  StrDesc done = Empty();
  uint16_t from = 0;
  while (!StrIsError(current)) {
    uint16_t open = StrFindChar(current, '%', 1, from);
    if (open == kNotFound) break;
    uint16_t close = StrFindChar(current, '%', 1, static_cast<uint16_t>(open + 1));
    if (close == kNotFound) break;
    StrDesc name = StrSub(current, open + 1, static_cast<uint16_t>(close - open - 1));
    if (AlreadyExpanded(done, name)) {
      // Left as written: expanding it again could go on for ever.
      from = static_cast<uint16_t>(close + 1);
      continue;
    }
    StrDesc placeholder = StrSub(current, open, static_cast<uint16_t>(close - open + 1));
    StrDesc next = StrReplace(current, placeholder, PlaceholderValue(name), 1);
    StrDesc next_done = AddExpanded(done, name);
    if (StrIsError(next)) return TempKeep(mark, next);
    if (StrIsError(next_done)) return TempKeep(mark, next_done);
    Status st = TempKeepMany(mark, {&next, &next_done});
    if (st != 0) {
      TempRelease(mark);
      return StrError(st);
    }
    current = next;
    done = next_done;
    from = 0;
  }
  return TempKeep(mark, current);
}

StrDesc EnvValue(StrDesc name) {
  if (StrIsError(name)) return name;
  if (name.len == 0) return StrCopy(Empty());
  return PushStdString(ProcessGetEnv(StrView(name)));
}

StrDesc WorkingFolder() {
  std::string folder = FsWorkingFolder();
  if (folder.size() > kWorkingFolderMax) folder.clear();
  return PushStdString(folder);
}

StrDesc EnvLookup(StrDesc keys, StrDesc name) {
  if (StrIsError(name)) return name;
  if (StrIsError(keys)) return keys;
  TempMarkValue mark = TempMark();
  StrDesc value = name.len > 0 && keys.len > 0 ? KvGet(keys, name, 1) : Empty();
  if (!StrIsError(value) && value.len == 0) value = OptionByName(name);
  if (!StrIsError(value) && value.len == 0) value = EnvValue(name);
  return TempKeep(mark, value);
}
