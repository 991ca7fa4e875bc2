#include "storage/relations.h"

#include <cstring>

#include "core/status.h"
#include "core/str_lib.h"
#include "core/temp_stack.h"
#include "core/token_list.h"
#include "language/variables.h"
#include "storage/data_file.h"
#include "storage/dictionary.h"

namespace {

RelationTextFn g_text = nullptr;
RelationConditionFn g_condition = nullptr;

bool Boundary(char c) {
  return c == ':' || c == ' ' || c == '&' || c == '/';
}

// The entry name "<target>R<rel>K", pushed.
StrDesc EntryName(uint16_t target, uint16_t rel) {
  return StrFormat(24, "%uR%uK", target, rel);
}

struct UpdateContext {
  StrDesc update;
};

Status EvaluateUpdate(void* context) {
  auto* ctx = static_cast<UpdateContext*>(context);
  TempMarkValue mark = TempMark();
  StrDesc result = g_text(ctx->update);
  Status st = StrIsError(result) ? StrCheck(result) : 0;
  TempRelease(mark);
  return st >= 122 ? st : 0;
}

bool Blank(StrDesc s) {
  for (uint16_t i = 0; i < s.len; ++i)
    if (s.ptr[i] != ' ') return false;
  return true;
}

}  // namespace

void SetRelationEvaluator(RelationTextFn text, RelationConditionFn condition) {
  g_text = text;
  g_condition = condition;
}

uint16_t RelationKey(uint16_t f, uint16_t target, uint16_t rel) {
  TempMarkValue mark = TempMark();
  StrDesc text = StrCopy(DictRelationText(f));
  StrDesc name = EntryName(target, rel);
  uint16_t key = 0;
  if (!StrIsError(text) && !StrIsError(name)) {
    for (uint16_t from = 0; from < text.len && key == 0;) {
      uint16_t at = StrFind(StrSub(text, from, 0xFFFF), name, 0);
      if (at == kNotFound) break;
      at = static_cast<uint16_t>(at + from);
      uint16_t digits = static_cast<uint16_t>(at + name.len);
      bool starts = at == 0 || Boundary(text.ptr[at - 1]);
      if (starts && digits < text.len && text.ptr[digits] >= '0' && text.ptr[digits] <= '9') {
        int16_t k = StrToInt(StrSub(text, digits, 0xFFFF));
        key = k > 0 ? static_cast<uint16_t>(k) : 0;
      }
      from = static_cast<uint16_t>(at + 1);
    }
  }
  TempRelease(mark);
  return key;
}

StrDesc RelationExpression(uint16_t f, uint16_t target, uint16_t rel) {
  uint16_t k = RelationKey(f, target, rel);
  TempMarkValue mark = TempMark();
  if (k == 0) return TempKeep(mark, Lit(""));
  StrDesc text = StrCopy(DictRelationText(f));
  StrDesc key = StrFormat(32, "%uR%uK%u", target, rel, k);
  if (StrIsError(text) || StrIsError(key)) return TempKeep(mark, StrIsError(text) ? text : key);
  return TempKeep(mark, KvGet(text, key, 0));
}

uint16_t RelationalRead(uint16_t f, uint16_t target, uint16_t rel, uint16_t flags, StrDesc update) {
  SetIntegerVar(kSysRelRes, 0);
  if (g_text == nullptr || g_condition == nullptr)
    return ErrDetail(kStFileNotInit, Lit("RelationalRead"), false);
  if (DictFile(f) == nullptr) return DictRangeError(f, 0);
  if (DictFile(target) == nullptr) return DictRangeError(target, 0);
  if (StrIsError(update)) return StrCheck(update);
  TempMarkValue mark = TempMark();
  update = StrCopy(update);
  UpdateContext context{update};
  uint16_t k = RelationKey(f, target, rel);
  StrDesc expression = RelationExpression(f, target, rel);
  if (StrIsError(expression) || expression.len == 0) {
    TempRelease(mark);
    return ErrDetail(kStData, DictRelationText(f), false);
  }
  StrDesc value = g_text(expression);
  if (StrIsError(value)) {
    TempRelease(mark);
    return StrCheck(value);
  }
  if (value.len == 0) {
    TempRelease(mark);
    return 0;
  }
  // Add when missing (0x04) together with write nothing (0x08) asks for the
  // delete; 0x04 with the read-near bit 0x02 is an ordinary read that may add.
  const bool remove = (flags & 0x0C) == 0x0C;
  const bool bulk = TestBits(kSysUpStat, 0x20) && !remove;
  uint16_t result = 0;
  if (!bulk) {
    uint16_t read_flags = flags;
    if (Blank(value) && !TestBits(kSysScrStat, 0x40)) read_flags &= static_cast<uint16_t>(~0x02);
    uint16_t outcome = FileReadKey(target, k, value, read_flags);
    result = outcome;
    if (outcome < 128) {
      if (remove) {
        if (outcome == 0) {
          result = FileDelete(target, 0);
          if (result == 0) SetIntegerVar(kSysRelRes, 12);
        }
      } else if (!(flags & 0x08)) {
        const bool found = outcome == 0;
        if ((found && update.len > 0) || (!found && (flags & 0x04))) {
          Status st = update.len > 0 ? EvaluateUpdate(&context) : 0;
          if (st == 0) st = found ? FileRewrite(target) : FileAdd(target);
          if (st == 0 && !found && outcome == kOutEnd) SetIntegerVar(kSysRelRes, 4);
          if (st >= 128) result = st;
        }
      }
    }
  }
  if (result < 128 && (flags & 0x02) && TestBits(kSysScrStat, 0x40)) {
    uint16_t move = IntegerVar(kSysLastKey) == 23 ? kMovePrevious : kMoveNext;
    uint16_t outcome = FileMove(target, move);
    while ((flags & 0x08) && outcome == 0 && update.len > 0) {
      uint16_t holds = g_condition(update);
      if (holds >= 122) {
        outcome = holds;
        break;
      }
      if (holds == 1) break;
      outcome = FileMove(target, move);
    }
    result = outcome;
    SetIntegerVar(kSysRelRes, 2);
    SetBits(kSysScrStat, 0x40, false);
  }
  if (bulk && update.len > 0) {
    Status st = FileUpdateAll(target, k, value, flags, &context, EvaluateUpdate);
    if (st != 0) result = st;
  }
  TempRelease(mark);
  return result;
}
