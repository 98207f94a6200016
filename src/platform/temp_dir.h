// The program's private temporary folder, where the preview puts the files it extracts.
#pragma once

#include <string>

namespace kvb {

// A folder of this process's own (mode 0700) inside the system temporary folder ($TMPDIR, else
// /tmp; on Windows the user's), created on the first call and removed with everything in it
// when the process exits.
// The path ends in "/". Raises EKVBError when the folder cannot be created.
std::string GetTempDir();

// A new folder of this process's own inside GetTempDir(), its path ending in "/".
std::string NewTempSubfolder();

// Removes a folder that NewTempSubfolder made, with everything in it (links themselves, never
// what they lead to); a path that is no folder inside GetTempDir() is left alone. What cannot be
// removed stays until the process exits.
void RemoveTempSubfolder(const std::string &folder);

} // namespace kvb
