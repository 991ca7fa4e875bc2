#include "support/test_dirs.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace qtest {

std::string MakeTempDir(const std::string& tag) {
  std::string templ = (std::filesystem::temp_directory_path() / ("quillon-" + tag + "-XXXXXX")).string();
  char* made = mkdtemp(templ.data());
  return made ? std::string(made) : std::string();
}

void RemoveTree(const std::string& path) {
  std::error_code ec;
  std::filesystem::remove_all(path, ec);
}

std::string SourcePath(const std::string& relative) {
  return std::string(QUILLON_SOURCE_DIR) + "/" + relative;
}

bool WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

bool FileExists(const std::string& path) {
  std::error_code ec;
  return std::filesystem::exists(path, ec);
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

}  // namespace qtest
