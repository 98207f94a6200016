// What the program asks of a file as a whole: whether it is there, whether it is read-only,
// when it was written last, making it writable again, and removing it.
#pragma once

#include "platform/stream.h"

#include <cstdint>
#include <optional>
#include <string>

namespace kvb {

struct TFileAttributes {
    // Writing is refused by the file's own attribute (on Linux: the owner's write permission).
    bool ReadOnly = false;
};

// The attributes of whatever path names, a link counting as what it points to; nothing when
// there is nothing there or its properties cannot be read.
std::optional<TFileAttributes> FileAttributes(const std::string &path);

// Whether a plain file stands at path, a link counting as what it leads to.
bool IsPlainFile(const std::string &path);

// A quick look at a file's content (TFileStamp, in platform/stream.h), with Recent set when it
// was written less than two seconds before the look.
std::optional<TFileStamp> FileStamp(const std::string &path);

// Clears the read-only attribute. A failure is not reported here: opening the file for writing
// afterwards fails and says so.
void ClearReadOnly(const std::string &path);

// The bytes that can still be written in folder by this user; nothing when the system does not
// tell.
std::optional<int64_t> FreeSpace(const std::string &folder);

// Removes the file at path, never a folder (nor what a link points to); false when nothing was
// removed.
bool RemoveFile(const std::string &path);

// Removes the file at path (a link itself, never what it leads to); raises EKVBError naming the
// file, with the system's reason, when it cannot.
void RemoveFileOrRaise(const std::string &path);

// Gives whatever stands at path (a link itself, not what it leads to) the name newPath in the
// same folder, unless something stands at newPath already; false when nothing was renamed.
bool MoveAside(const std::string &path, const std::string &newPath);

} // namespace kvb
