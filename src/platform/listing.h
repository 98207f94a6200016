// Listing a folder the way the program's tools see it: plain files only.
//
// A directory entry counts when it is a regular file, a symbolic link counting as what it
// points to. Names starting with "." are hidden files here and never count; subfolders are
// neither listed nor descended into.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kvb {

bool IsHiddenName(const std::string &name);

// The names (without folder) of the plain files of folder, in the order the file system gives
// them. Nothing when the folder cannot be read.
std::optional<std::vector<std::string>> ListPlainFiles(const std::string &folder);

// The size of the file at path when a listing of its folder would show it; nothing when it is
// gone, hidden or not a plain file.
std::optional<int64_t> LookUpPlainFile(const std::string &path);

} // namespace kvb
