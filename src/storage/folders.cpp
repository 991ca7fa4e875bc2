#include "storage/folders.h"

#include <string>
#include <vector>

#include "core/dyn_strings.h"
#include "core/status.h"
#include "core/str_lib.h"
#include "core/temp_stack.h"
#include "core/token_list.h"
#include "platform/fs.h"
#include "platform/process.h"

const char kAppFolderNames[] =
    "APPPATH_RUNPATH,APPPATH_DEFAULT,APPPATH_DATA,APPPATH_DOCS,APPPATH_HELP,APPPATH_BACKUP,"
    "APPPATH_BACKREL";
const char kPathEnvNames[] =
    "ALLUSERSPROFILE,APPDATA,CommonProgramFiles,HOMEDRIVE,HOMEPATH,ProgramFiles,SYSTEMDRIVE,"
    "SystemRoot,TEMP,USERPROFILE";

namespace {

constexpr char kKindExtensions[] = ",FD,DIR,NDX,TMP,TXT";
constexpr uint16_t kSettingsGroup = 0;
constexpr uint16_t kItemCommandLine = 1;
constexpr uint16_t kItemDefault = 5;
constexpr uint16_t kItemDocs = 6;
constexpr uint16_t kItemHelp = 7;
constexpr uint16_t kItemDatabase = 11;
constexpr int kMaxExpansionRounds = 64;

PathPlaceholderExpander g_expander = nullptr;

// A TempStack copy of a platform text (cut at 65,535 bytes).
StrDesc PushText(const std::string& text) {
  size_t n = text.size() < 0xFFFF ? text.size() : 0xFFFF;
  return StrCopy(StrMake(text.data(), static_cast<uint16_t>(n)));
}

bool PathExists(StrDesc path) {
  std::vector<FsEntry> entries;
  return FsList(StrView(path), &entries) == FsResult::kOk;
}

// The pieces of a path, as offsets into it.
struct PathPieces {
  uint16_t drive_end = 0;   // length of the drive, ":" included
  uint16_t dir_end = 0;     // end of the directory (the last "\"), or drive_end
  uint16_t name_start = 0;  // first byte of the name
  uint16_t name_end = 0;    // the last "." of the name, or the end
  bool has_ext = false;
};

PathPieces SplitPath(StrDesc p) {
  PathPieces pc;
  uint16_t colon = StrFindChar(p, ':', 1);
  pc.drive_end = colon == kNotFound ? 0 : static_cast<uint16_t>(colon + 1);
  uint16_t slash = StrFindLastChar(p, '\\', 1);
  if (slash != kNotFound && slash >= pc.drive_end) {
    pc.dir_end = slash;
    pc.name_start = static_cast<uint16_t>(slash + 1);
  } else {
    pc.dir_end = pc.drive_end;
    pc.name_start = pc.drive_end;
  }
  uint16_t dot = StrFindLastChar(p, '.', 1);
  pc.has_ext = dot != kNotFound && dot >= pc.name_start;
  pc.name_end = pc.has_ext ? dot : p.len;
  return pc;
}

StrDesc EnvText(StrDesc name) {
  return PushText(ProcessGetEnv(StrView(name)));
}

StrDesc CurrentFolder() {
  return PushText(FsWorkingFolder());
}

// True when text still holds a pair of "%" signs.
bool HasReferencePair(StrDesc text) {
  uint16_t first = StrFindChar(text, '%', 1);
  return first != kNotFound &&
         StrFindChar(text, '%', 1, static_cast<uint16_t>(first + 1)) != kNotFound;
}

}  // namespace

StrDesc PathNormalize(StrDesc p) {
  StrDesc r = StrCopy(p);
  if (StrIsError(r)) return r;
  for (uint16_t i = 0; i < r.len; ++i) {
    if (r.ptr[i] == '/') r.ptr[i] = '\\';
  }
  return r;
}

StrDesc PathJoin(StrDesc a, StrDesc b) {
  if (StrIsError(a)) return a;
  if (StrIsError(b)) return b;
  TempMarkValue mark = TempMark();
  StrDesc na = PathNormalize(a);
  StrDesc nb = PathNormalize(b);
  if (StrIsError(na) || StrIsError(nb)) return TempKeep(mark, StrIsError(na) ? na : nb);
  bool slash = na.len > 0 && nb.len > 0 && na.ptr[na.len - 1] != '\\' && nb.ptr[0] != '\\';
  StrDesc r = slash ? StrConcat(StrConcat(na, Lit("\\")), nb) : StrConcat(na, nb);
  return TempKeep(mark, r);
}

StrDesc PathJoinExt(StrDesc name, StrDesc ext) {
  return StrJoin(name, Lit("."), ext);
}

StrDesc PathPart(StrDesc p, uint16_t parts) {
  if (StrIsError(p)) return p;
  TempMarkValue mark = TempMark();
  PathPieces pc = SplitPath(p);
  StrDesc r = Lit("");
  if (parts & kPathDrive) r = StrSub(p, 0, pc.drive_end);
  if (parts & kPathDir) {
    r = StrConcat(r, StrSub(p, pc.drive_end, static_cast<uint16_t>(pc.dir_end - pc.drive_end)));
  }
  if (parts & kPathName) {
    if (r.len > 0 && r.ptr[r.len - 1] != ':') r = StrConcat(r, Lit("\\"));
    r = StrConcat(r, StrSub(p, pc.name_start, static_cast<uint16_t>(pc.name_end - pc.name_start)));
  }
  if (parts & kPathExt) {
    StrDesc ext = pc.has_ext ? StrSub(p, pc.name_end + 1, p.len) : Lit("");
    r = PathJoinExt(r, ext);
  }
  return TempKeep(mark, r);
}

StrDesc KindExtension(uint16_t kind) {
  StrDesc ext = ListItem(Lit(kKindExtensions), ',', static_cast<uint16_t>(kind & ~kKindLower));
  return (kind & kKindLower) ? StrCase(ext, 0) : StrCopy(ext);
}

StrDesc AppFolder(uint16_t n) {
  TempMarkValue mark = TempMark();
  StrDesc r;
  switch (n) {
    case kAppRunPath: {
      StrDesc program = ListItem(DynGet(kSettingsGroup, kItemCommandLine), ' ', 1);
      r = PathPart(StrUnquote(program), kPathParent);
      break;
    }
    case kAppDefault:
      r = StrCopy(DynGet(kSettingsGroup, kItemDefault));
      break;
    case kAppData: {
      // Drives F: and later take the data folder beside the definitions;
      // others (and no drive at all) beside the documents folder.
      StrDesc drive = PathPart(AppFolder(kAppRunPath), kPathDrive);
      unsigned char letter = drive.len > 0 ? static_cast<unsigned char>(drive.ptr[0]) : 0;
      if (letter >= 'a' && letter <= 'z') letter = static_cast<unsigned char>(letter - 'a' + 'A');
      StrDesc base = AppFolder(letter >= 'F' ? kAppDefault : kAppDocs);
      r = ResolveRelative(base, Lit("..\\data"));
      break;
    }
    case kAppDocs: {
      StrDesc docs = DynGet(kSettingsGroup, kItemDocs);
      r = docs.len > 0 ? StrCopy(docs) : CurrentFolder();
      break;
    }
    case kAppHelp: {
      StrDesc help = DynGet(kSettingsGroup, kItemHelp);
      r = help.len > 0 ? StrCopy(help) : ResolveRelative(AppFolder(kAppDefault), Lit("Help"));
      break;
    }
    case kAppBackup:
      r = ResolveRelative(AppFolder(kAppDefault), Lit("Backups"));
      break;
    case kAppBackRel: {
      StrDesc settings = DynGet(kSettingsGroup, kItemDatabase);
      StrDesc host = StrNormalize(ListItem(settings, ',', 1));
      StrDesc db = StrNormalize(ListItem(settings, ',', 2));
      r = PathJoin(PathJoin(PathJoin(CurrentFolder(), Lit("Backups")), host), db);
      break;
    }
    default:
      r = Lit("");
      break;
  }
  return TempKeep(mark, r);
}

StrDesc AppFolderFile(StrDesc name, uint16_t n) {
  if (StrIsError(name)) return name;
  TempMarkValue mark = TempMark();
  return TempKeep(mark, PathJoin(AppFolder(n), name));
}

StrDesc ResolveRelative(StrDesc base, StrDesc rel) {
  if (StrIsError(base)) return base;
  if (StrIsError(rel)) return rel;
  TempMarkValue mark = TempMark();
  StrDesc r = PathNormalize(rel);
  if (StrIsError(r)) return TempKeep(mark, r);
  StrDesc b = base;
  uint32_t at = 0;
  while (at + 2 <= r.len && r.ptr[at] == '.' && r.ptr[at + 1] == '.' &&
         (at + 2 == r.len || r.ptr[at + 2] == '\\')) {
    b = PathPart(b, kPathParent);
    at += 3;
  }
  StrDesc rest = at < r.len ? StrSub(r, static_cast<int32_t>(at), r.len) : Lit("");
  StrDesc joined = PathJoin(b, rest);
  while (!StrIsError(joined) && StrFind(joined, Lit("\\.\\"), 1) != kNotFound)
    joined = StrReplace(joined, Lit("\\.\\"), Lit("\\"), 1);
  return TempKeep(mark, joined);
}

StrDesc FindFileInFolders(StrDesc folders, StrDesc name) {
  if (StrIsError(folders)) return folders;
  if (StrIsError(name)) return name;
  TempMarkValue mark = TempMark();
  if (name.len == 0) return TempKeep(mark, Lit(""));
  if (PathExists(name)) return TempKeep(mark, name);
  uint16_t count = ListCount(folders, ',');
  for (uint16_t i = 1; i <= count; ++i) {
    StrDesc folder = StrTrim(ListItem(folders, ',', i), 3);
    if (folder.len == 0) continue;
    StrDesc path = PathJoin(folder, name);
    if (StrIsError(path)) return TempKeep(mark, path);
    if (PathExists(path)) return TempKeep(mark, path);
    TempRelease(mark);
  }
  return TempKeep(mark, Lit(""));
}

bool FolderExists(StrDesc path) {
  if (StrIsError(path) || path.len == 0) return false;
  return FsIsFolder(StrView(path));
}

Status MakeFolderTree(StrDesc path) {
  if (StrIsError(path)) return StrCheck(path);
  TempMarkValue mark = TempMark();
  StrDesc dir_and_name = PathPart(path, kPathDir | kPathName);
  if (StrIsError(dir_and_name) || dir_and_name.len == 0) {
    TempRelease(mark);
    return ErrDetail(kStData, path, true);
  }
  TempRelease(mark);
  if (FolderExists(path)) return 0;
  FsResult made = FsMakeFolder(StrView(path));
  if (made == FsResult::kOk) return 0;
  if (made == FsResult::kNotFound) {
    MakeFolderTree(PathPart(path, kPathParent));
    TempRelease(mark);
    made = FsMakeFolder(StrView(path));
  }
  if (made == FsResult::kOk || (made == FsResult::kExists && FolderExists(path))) return 0;
  return 0xFFFF;
}

StrDesc TempFilePath(StrDesc suffix) {
  if (StrIsError(suffix)) return suffix;
  TempMarkValue mark = TempMark();
  StrDesc folder = PushText(FsTempFolder());
  StrDesc fresh = PathPart(PushText(FsTempName("")), kPathFileName);
  StrDesc name = StrReplace(fresh, Lit("."), Lit(""), 1);
  StrDesc path = PathJoin(folder, PathJoinExt(name, suffix));
  if (!StrIsError(path)) FsRemove(StrView(path));
  return TempKeep(mark, path);
}

StrDesc ExpandPathReferences(StrDesc text) {
  if (StrIsError(text)) return text;
  TempMarkValue mark = TempMark();
  StrDesc t = StrCopy(text);
  for (int round = 0; round < kMaxExpansionRounds && !StrIsError(t); ++round) {
    uint16_t open = StrFindChar(t, '%', 1);
    if (open == kNotFound) break;
    uint16_t close = StrFindChar(t, '%', 1, static_cast<uint16_t>(open + 1));
    if (close == kNotFound || close == open + 1) break;
    StrDesc name = StrSub(t, open + 1, static_cast<uint16_t>(close - open - 1));
    StrDesc reference = StrSub(t, open, static_cast<uint16_t>(close - open + 1));
    StrDesc value;
    bool matched = true;
    if (uint16_t folder = ListFind(Lit(kAppFolderNames), name, ','); folder != 0) {
      value = AppFolder(folder);
    } else if (ListFind(Lit(kPathEnvNames), name, ',') != 0) {
      value = EnvText(name);
    } else {
      StrDesc upper = StrCase(name, 1);
      if (ListFind(StrCase(Lit(kPathEnvNames), 1), upper, ',') != 0) {
        value = EnvText(upper);
      } else {
        matched = false;
      }
    }
    StrDesc next;
    if (matched) {
      next = StrReplace(t, reference, value, 1);
    } else if (g_expander != nullptr) {
      // Only this reference goes to the expander: handing it the whole text
      // would blank the folder and environment references behind it.
      next = StrReplace(t, reference, g_expander(reference), 1);
    } else {
      ErrDetail(kStUndefined, text, true);
      return TempKeep(mark, StrError(kStUndefined));
    }
    if (!StrIsError(next) && StrEq(next, StrView(t))) break;  // nothing left to change
    t = TempKeep(mark, next);
  }
  if (!StrIsError(t) && HasReferencePair(t)) {
    if (g_expander == nullptr) {
      ErrDetail(kStUndefined, text, true);
      return TempKeep(mark, StrError(kStUndefined));
    }
    t = g_expander(t);
  }
  return TempKeep(mark, t);
}

void SetPathPlaceholderExpander(PathPlaceholderExpander expander) {
  g_expander = expander;
}
