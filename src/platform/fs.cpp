#include "platform/fs.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>

#include "platform/cp1252.h"
#include "platform/process.h"

namespace {

// ---------------------------------------------------------------------------
// Path pieces
// ---------------------------------------------------------------------------

bool IsSep(char c) {
  return c == '\\' || c == '/';
}

// The runtime path without its drive letter.
std::string_view DropDrive(std::string_view path) {
  if (path.size() >= 2 && path[1] == ':' &&
      ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'))) {
    path.remove_prefix(2);
  }
  return path;
}

// Splits a runtime path into its components (empty ones dropped); *absolute
// tells whether it started at the root.
std::vector<std::string> Components(std::string_view path, bool* absolute) {
  path = DropDrive(path);
  *absolute = !path.empty() && IsSep(path[0]);
  std::vector<std::string> parts;
  size_t start = 0;
  for (size_t i = 0; i <= path.size(); ++i) {
    if (i == path.size() || IsSep(path[i])) {
      if (i > start) parts.emplace_back(path.substr(start, i - start));
      start = i + 1;
    }
  }
  return parts;
}

std::string Join(const std::string& base, const std::string& name) {
  if (base.empty()) return name;
  if (base.back() == '/') return base + name;
  return base + "/" + name;
}

// A native entry name read as Windows-1252: decoded when it is valid UTF-8,
// else its bytes as they are (a name written by a Windows-1252 program).
std::string NameAsCp1252(const char* native) {
  if (!Utf8IsValid(native)) return std::string(native);
  return Utf8ToCp1252Lossy(native);
}

// The entry of folder `dir` (native) whose name equals `name` (Windows-1252)
// ignoring case; empty when none. Several matches: the first byte-wise.
std::string FindNoCase(const std::string& dir, const std::string& name) {
  DIR* d = opendir(dir.empty() ? "." : dir.c_str());
  if (d == nullptr) return std::string();
  std::string best;
  while (dirent* e = readdir(d)) {
    if (Cp1252EqualNoCase(NameAsCp1252(e->d_name), name)) {
      if (best.empty() || std::string(e->d_name) < best) best = e->d_name;
    }
  }
  closedir(d);
  return best;
}

bool LExists(const std::string& native) {
  struct stat st;
  return lstat(native.empty() ? "." : native.c_str(), &st) == 0;
}

// Resolves components [0, count) of a runtime path; the rest are appended as
// written.
std::string ResolveParts(const std::vector<std::string>& parts, bool absolute, size_t count) {
  std::string out = absolute ? "/" : "";
  bool searching = true;
  for (size_t i = 0; i < parts.size(); ++i) {
    const std::string& part = parts[i];
    const std::string native_part = Cp1252ToUtf8(part);
    if (!searching || i >= count || part == "." || part == "..") {
      out = Join(out, native_part);
      continue;
    }
    const std::string exact = Join(out, native_part);
    if (LExists(exact)) {
      out = exact;
      continue;
    }
    const std::string found = FindNoCase(out, part);
    if (found.empty()) {
      searching = false;
      out = exact;
    } else {
      out = Join(out, found);
    }
  }
  if (out.empty() && absolute) out = "/";
  return out;
}

FsResult FromErrno(int err) {
  switch (err) {
    case ENOENT:
    case ENOTDIR:
    case ENAMETOOLONG:
      return FsResult::kNotFound;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
    case ETXTBSY:
      return FsResult::kAccessDenied;
    case EEXIST:
    case ENOTEMPTY:
      return FsResult::kExists;
    default:
      return FsResult::kFailed;
  }
}

FsEntry EntryOf(const std::string& native, const std::string& name_cp1252) {
  FsEntry e;
  e.name = name_cp1252;
  struct stat st;
  if (stat(native.c_str(), &st) != 0) {
    e.system = true;  // a dangling link: nothing behind the name
    return e;
  }
  e.folder = S_ISDIR(st.st_mode);
  e.system = !e.folder && !S_ISREG(st.st_mode);
  e.size = S_ISREG(st.st_mode) ? static_cast<uint64_t>(st.st_size) : 0;
  e.hidden = !name_cp1252.empty() && name_cp1252[0] == '.';
  e.read_only = access(native.c_str(), W_OK) != 0;
  e.write_time = static_cast<int64_t>(st.st_mtim.tv_sec);
  return e;
}

std::string LastNativeComponent(const std::string& native) {
  const size_t slash = native.find_last_of('/');
  return slash == std::string::npos ? native : native.substr(slash + 1);
}

std::string ParentNative(const std::string& native) {
  const size_t slash = native.find_last_of('/');
  if (slash == std::string::npos) return std::string();
  if (slash == 0) return "/";
  return native.substr(0, slash);
}

bool SameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

}  // namespace

// ---------------------------------------------------------------------------
// Mapping
// ---------------------------------------------------------------------------

std::string FsNativePath(std::string_view path) {
  std::string out = Cp1252ToUtf8(DropDrive(path));
  for (char& c : out) {
    if (c == '\\') c = '/';
  }
  return out;
}

std::string FsResolve(std::string_view path) {
  bool absolute = false;
  const std::vector<std::string> parts = Components(path, &absolute);
  std::string out = ResolveParts(parts, absolute, parts.size());
  // Keep a trailing separator: it means "a folder" to the callers.
  std::string_view rest = DropDrive(path);
  if (!rest.empty() && IsSep(rest.back()) && !out.empty() && out.back() != '/') out += '/';
  return out;
}

std::string FsRuntimePath(std::string_view native) {
  std::string out = Utf8ToCp1252Lossy(native);
  for (char& c : out) {
    if (c == '/') c = '\\';
  }
  return out;
}

// ---------------------------------------------------------------------------
// Files
// ---------------------------------------------------------------------------

FILE* FsOpen(std::string_view path, const char* mode, FsResult* why) {
  if (path.empty() || mode == nullptr) {
    if (why) *why = FsResult::kNotFound;
    return nullptr;
  }
  const std::string native = FsResolve(path);
  FILE* f = std::fopen(native.c_str(), mode);
  if (why) *why = f ? FsResult::kOk : FromErrno(errno);
  return f;
}

bool FsExists(std::string_view path) {
  if (path.empty()) return false;
  struct stat st;
  return stat(FsResolve(path).c_str(), &st) == 0;
}

bool FsIsFolder(std::string_view path) {
  if (path.empty()) return false;
  struct stat st;
  return stat(FsResolve(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

FsResult FsStat(std::string_view path, FsEntry* out) {
  if (path.empty()) return FsResult::kNotFound;
  const std::string native = FsResolve(path);
  struct stat st;
  if (lstat(native.c_str(), &st) != 0) return FromErrno(errno);
  *out = EntryOf(native, NameAsCp1252(LastNativeComponent(native).c_str()));
  return FsResult::kOk;
}

bool FsMatchWildcard(std::string_view pattern, std::string_view name) {
  auto match = [&](std::string_view n) {
    // Iterative matcher with one backtrack point for the last '*'.
    size_t p = 0, s = 0, star = std::string_view::npos, mark = 0;
    while (s < n.size()) {
      if (p < pattern.size() &&
          (pattern[p] == '?' || Cp1252Upper(pattern[p]) == Cp1252Upper(n[s]))) {
        ++p, ++s;
      } else if (p < pattern.size() && pattern[p] == '*') {
        star = p++;
        mark = s;
      } else if (star != std::string_view::npos) {
        p = star + 1;
        s = ++mark;
      } else {
        return false;
      }
    }
    while (p < pattern.size() && pattern[p] == '*')
      ++p;
    return p == pattern.size();
  };
  if (match(name)) return true;
  if (!name.empty() && name.find('.') == std::string_view::npos) {
    return match(std::string(name) + ".");
  }
  return false;
}

FsResult FsList(std::string_view pattern, std::vector<FsEntry>* out) {
  out->clear();
  bool absolute = false;
  std::vector<std::string> parts = Components(pattern, &absolute);
  std::string_view rest = DropDrive(pattern);
  if (parts.empty() || (!rest.empty() && IsSep(rest.back()))) return FsResult::kNotFound;
  const std::string name_pattern = parts.back();
  const bool wild = name_pattern.find_first_of("*?") != std::string::npos;
  if (!wild) {
    FsEntry e;
    const FsResult r = FsStat(pattern, &e);
    if (r != FsResult::kOk) return r;
    if (parts.back() == "." || parts.back() == "..") e.name = parts.back();
    out->push_back(e);
    return FsResult::kOk;
  }
  parts.pop_back();
  std::string folder = ResolveParts(parts, absolute, parts.size());
  DIR* d = opendir(folder.empty() ? "." : folder.c_str());
  if (d == nullptr)
    return FromErrno(errno) == FsResult::kAccessDenied ? FsResult::kAccessDenied
                                                       : FsResult::kNotFound;
  std::vector<std::string> names;
  while (dirent* e = readdir(d)) {
    const std::string n = e->d_name;
    if (n == "." || n == "..") continue;
    if (FsMatchWildcard(name_pattern, NameAsCp1252(n.c_str()))) names.push_back(n);
  }
  closedir(d);
  std::sort(names.begin(), names.end());
  for (const std::string& n : names)
    out->push_back(EntryOf(Join(folder, n), NameAsCp1252(n.c_str())));
  return out->empty() ? FsResult::kNotFound : FsResult::kOk;
}

FsResult FsRemove(std::string_view path) {
  if (path.empty()) return FsResult::kNotFound;
  const std::string native = FsResolve(path);
  struct stat st;
  if (lstat(native.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return FsResult::kAccessDenied;
  return unlink(native.c_str()) == 0 ? FsResult::kOk : FromErrno(errno);
}

FsResult FsRemoveFolder(std::string_view path) {
  if (path.empty()) return FsResult::kNotFound;
  return rmdir(FsResolve(path).c_str()) == 0 ? FsResult::kOk : FromErrno(errno);
}

FsResult FsRename(std::string_view from, std::string_view to, bool replace) {
  if (from.empty() || to.empty()) return FsResult::kNotFound;
  const std::string src = FsResolve(from);
  struct stat src_st;
  if (lstat(src.c_str(), &src_st) != 0) return FromErrno(errno);
  std::string dst = FsResolve(to);
  struct stat dst_st;
  if (lstat(dst.c_str(), &dst_st) == 0) {
    if (SameFile(src_st, dst_st)) {
      // The target is the source in another letter case: rename to the case
      // written, inside the resolved folder.
      bool absolute = false;
      const std::vector<std::string> parts = Components(to, &absolute);
      dst = Join(ParentNative(dst), Cp1252ToUtf8(parts.back()));
    } else if (!replace) {
      return FsResult::kExists;
    }
  }
  return std::rename(src.c_str(), dst.c_str()) == 0 ? FsResult::kOk : FromErrno(errno);
}

FsResult FsMakeFolder(std::string_view path) {
  if (path.empty()) return FsResult::kNotFound;
  const std::string native = FsResolve(path);
  if (LExists(native)) return FsResult::kExists;
  return mkdir(native.c_str(), 0777) == 0 ? FsResult::kOk : FromErrno(errno);
}

FsResult FsCopy(std::string_view from, std::string_view to, bool replace) {
  if (from.empty() || to.empty()) return FsResult::kNotFound;
  const std::string src = FsResolve(from);
  const int in = open(src.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (in < 0) return FromErrno(errno);
  struct stat src_st;
  if (fstat(in, &src_st) != 0 || !S_ISREG(src_st.st_mode)) {
    close(in);
    return FsResult::kAccessDenied;
  }
  fcntl(in, F_SETFL, fcntl(in, F_GETFL) & ~O_NONBLOCK);

  const std::string dst = FsResolve(to);
  struct stat dst_st;
  if (stat(dst.c_str(), &dst_st) == 0) {
    FsResult r = FsResult::kOk;
    if (S_ISDIR(dst_st.st_mode)) {
      r = FsResult::kAccessDenied;
    } else if (SameFile(src_st, dst_st)) {
      r = FsResult::kFailed;
    } else if (!replace) {
      r = FsResult::kExists;
    } else if (access(dst.c_str(), W_OK) != 0) {
      r = FsResult::kAccessDenied;
    }
    if (r != FsResult::kOk) {
      close(in);
      return r;
    }
  }
  std::string temp = Join(ParentNative(dst), "." + LastNativeComponent(dst) + ".copy-XXXXXX");
  const int out = mkostemp(temp.data(), O_CLOEXEC);
  if (out < 0) {
    const FsResult r = FromErrno(errno);
    close(in);
    return r;
  }
  FsResult result = FsResult::kOk;
  char buf[65536];
  for (;;) {
    const ssize_t n = read(in, buf, sizeof buf);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      result = FsResult::kFailed;
      break;
    }
    for (ssize_t done = 0; done < n;) {
      const ssize_t w = write(out, buf + done, static_cast<size_t>(n - done));
      if (w < 0 && errno == EINTR) continue;
      if (w <= 0) {
        result = FsResult::kFailed;
        break;
      }
      done += w;
    }
    if (result != FsResult::kOk) break;
  }
  close(in);
  if (result == FsResult::kOk) {
    fchmod(out, src_st.st_mode & 07777);
    const timespec times[2] = {src_st.st_atim, src_st.st_mtim};
    futimens(out, times);
    if (fsync(out) != 0) result = FsResult::kFailed;
  }
  if (close(out) != 0 && result == FsResult::kOk) result = FsResult::kFailed;
  if (result == FsResult::kOk && std::rename(temp.c_str(), dst.c_str()) != 0) {
    result = FromErrno(errno);
  }
  if (result != FsResult::kOk) unlink(temp.c_str());
  return result;
}

FsResult FsTruncate(FILE* file, uint64_t size) {
  if (file == nullptr) return FsResult::kFailed;
  if (std::fflush(file) != 0) return FsResult::kFailed;
  return ftruncate(fileno(file), static_cast<off_t>(size)) == 0 ? FsResult::kOk : FromErrno(errno);
}

bool FsFlushToDisk(FILE* file) {
  if (file == nullptr) return false;
  if (std::fflush(file) != 0) return false;
  return fsync(fileno(file)) == 0;
}

FsResult FsCreateExclusive(std::string_view path, std::string_view content) {
  if (path.empty()) return FsResult::kNotFound;
  const std::string native = FsResolve(path);
  const int fd = open(native.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) return FromErrno(errno);
  FsResult result = FsResult::kOk;
  for (size_t done = 0; done < content.size();) {
    const ssize_t w = write(fd, content.data() + done, content.size() - done);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) {
      result = FsResult::kFailed;
      break;
    }
    done += static_cast<size_t>(w);
  }
  if (close(fd) != 0) result = FsResult::kFailed;
  // The name stays taken even when writing failed: the file exists.
  return result;
}

// ---------------------------------------------------------------------------
// Folders
// ---------------------------------------------------------------------------

std::string FsTempFolder() {
  for (const char* name : {"TEMP", "TMPDIR"}) {
    const char* v = std::getenv(name);
    if (v != nullptr && *v != '\0') {
      // The value may be written either way; hand it back in runtime form.
      return FsRuntimePath(v);
    }
  }
  return "\\tmp";
}

std::string FsTempName(std::string_view suffix) {
  static unsigned counter = 0;
  const std::string folder = FsTempFolder();
  for (;;) {
    std::string name = "qt" + std::to_string(getpid()) + "_" + std::to_string(++counter);
    if (!suffix.empty()) name += "." + std::string(suffix);
    std::string path = folder;
    if (!path.empty() && path.back() != '\\') path += '\\';
    path += name;
    if (!FsExists(path)) return path;
  }
}

std::string FsWorkingFolder() {
  std::vector<char> buf(4096);
  while (getcwd(buf.data(), buf.size()) == nullptr) {
    if (errno != ERANGE || buf.size() > (1u << 20)) return std::string();
    buf.resize(buf.size() * 2);
  }
  return FsRuntimePath(buf.data());
}

FsResult FsChangeFolder(std::string_view path) {
  if (path.empty()) return FsResult::kNotFound;
  return chdir(FsResolve(path).c_str()) == 0 ? FsResult::kOk : FromErrno(errno);
}

std::string FsProgramFolder() {
  const std::string self = ProcessProgramPath();
  const size_t sep = self.find_last_of('\\');
  if (sep == std::string::npos) return std::string();
  return sep == 0 ? std::string("\\") : self.substr(0, sep);
}
