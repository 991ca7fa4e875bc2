// Small helpers shared by the test programs: fresh temporary folders and
// paths into the source tree.
#pragma once

#include <string>

namespace qtest {

// Makes a new empty folder under the system temporary folder and returns its
// path; the folder is removed by RemoveTree or left for inspection.
std::string MakeTempDir(const std::string& tag);

// Removes a folder and everything under it; missing folders are ignored.
void RemoveTree(const std::string& path);

// Absolute path of a file or folder inside the source tree.
std::string SourcePath(const std::string& relative);

// Writes bytes to a file (created or replaced); returns false on failure.
bool WriteFile(const std::string& path, const std::string& bytes);

// True when a file or folder of that exact name exists.
bool FileExists(const std::string& path);

// Reads a whole file; empty when it cannot be read.
std::string ReadFile(const std::string& path);

}  // namespace qtest
