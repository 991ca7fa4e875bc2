#include "storage/lock_file.h"

#include <vector>

#include "core/status.h"
#include "core/temp_stack.h"
#include "platform/fs.h"
#include "storage/dictionary.h"
#include "storage/folders.h"

StrDesc LockFileName(uint16_t f) {
  if (DictFile(f) == nullptr) return StrCopy(Lit(""));
  TempMarkValue mark = TempMark();
  return TempKeep(mark, PathJoinExt(DictFileName(f), Lit("lock")));
}

bool LockExists(uint16_t f) {
  TempMarkValue mark = TempMark();
  StrDesc name = LockFileName(f);
  bool found = false;
  if (!StrIsError(name) && name.len > 0) {
    std::vector<FsEntry> entries;
    found = FsList(StrView(name), &entries) == FsResult::kOk;
  }
  TempRelease(mark);
  return found;
}

Status LockTake(uint16_t f) {
  TempMarkValue mark = TempMark();
  StrDesc name = LockFileName(f);
  Status st = 0;
  if (!StrIsError(name) && name.len > 0 &&
      FsCreateExclusive(StrView(name), " ") == FsResult::kExists) {
    ErrSet(1, kModDataFile, kStPermission, 0);
    st = ErrDetail(kStPermission, name, false);
  }
  TempRelease(mark);
  return st;
}

Status LockReleaseName(StrDesc name) {
  if (StrIsError(name) || name.len == 0) return 0;
  FsResult r = FsRemove(StrView(name));
  return r == FsResult::kOk || r == FsResult::kNotFound ? 0 : kStPermission;
}

Status LockRelease(uint16_t f) {
  TempMarkValue mark = TempMark();
  Status st = LockReleaseName(LockFileName(f));
  TempRelease(mark);
  return st;
}
