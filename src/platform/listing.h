// Listing a folder the way the program's tools see it: plain files only.
//
// A directory entry counts when it is a regular file, a symbolic link counting as what it
// points to. Names starting with "." are hidden files here and never count; subfolders are
// neither listed nor descended into.
#pragma once

#include "platform/stream.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kvb {

class TOpenFolder;

bool IsHiddenName(const std::string &name);

// The names (without folder) of the plain files of folder, in the order the file system gives
// them. Nothing when the folder cannot be read.
std::optional<std::vector<std::string>> ListPlainFiles(const std::string &folder);

// The size of the file at path when a listing of its folder would show it; nothing when it is
// gone, hidden or not a plain file.
std::optional<int64_t> LookUpPlainFile(const std::string &path);

// What stands under a name in a folder: the link itself, never what it leads to.
enum class TEntryKind {
    PlainFile,
    Folder,
    Link,  // a symbolic link, or on Windows any reparse point
    Other, // a pipe, a device, a socket
};

struct TFolderEntry {
    std::string Name;
    TEntryKind Kind = TEntryKind::Other;
    TFileStamp Stamp; // of a plain file; nothing else
};

// Every entry of folder that a listing shows (hidden names and, on Windows, files with the
// hidden or system attribute left out), of whatever kind, in the order the file system gives
// them: what a tool that reads a folder back must refuse, and not only what it may read.
// Nothing when the folder cannot be read.
std::optional<std::vector<TFolderEntry>> ListFolder(const TOpenFolder &folder);

// What stands at name in folder, hidden or not; nothing when nothing does.
std::optional<TFolderEntry> LookUpEntry(const TOpenFolder &folder, const std::string &name);

} // namespace kvb
