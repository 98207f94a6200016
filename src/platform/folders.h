// Folders as the program looks at them beyond its own outputs: what is a folder, what lies in
// one, whether two names lead to the same place, and the process's current folder.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace kvb {

// Whether a folder stands at path, a link counting as what it leads to.
bool IsFolder(const std::string &path);

// The names of the subfolders of folder; none when it cannot be read.
std::vector<std::string> ListSubfolders(const std::string &folder);

// Whether a and b lead to the same file or folder, whatever names or links lead there.
bool SameFileOrFolder(const std::string &a, const std::string &b);

// Creates folder and every folder above it that is missing; the system's reason when that
// cannot be done (something else stands there, say).
std::optional<std::string> CreateFolders(const std::string &folder);

// Makes folder the process's current folder; the system's reason when that cannot be done.
std::optional<std::string> ChangeCurrentFolder(const std::string &folder);

} // namespace kvb
