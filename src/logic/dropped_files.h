// Files dropped on a window from the desktop, as the windows take them: plain files only, each
// looked at where it stands without following a link, so that what is read is what was dropped
// and not what a link planted in its place leads to.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kvb::logic {

struct TDroppedFile {
    std::string Path; // as dropped
    std::string Name; // without folder
    int64_t Size = 0; // when it was looked at
};

struct TDroppedFiles {
    std::vector<TDroppedFile> Files; // the plain files, in the order dropped
    // A line for each other thing dropped, naming it and why it is left out (a folder, a link,
    // a pipe or device, gone).
    std::vector<std::string> Refused;
};

TDroppedFiles SortDroppedFiles(const std::vector<std::string> &paths);

// The bytes of a dropped file, read through no link; raises, naming the file, when a link or
// anything but a plain file stands there now, or when it can no longer be read.
std::string ReadDroppedFile(const std::string &path);

} // namespace kvb::logic
