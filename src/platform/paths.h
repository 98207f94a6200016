// Paths as the program handles them: UTF-8 strings on every system. std::filesystem takes a
// narrow string in the system's code page on Windows, where names outside it are lost; every
// path the program hands to std::filesystem or takes back from it passes through here.
#pragma once

#include <filesystem>
#include <string>

namespace kvb {

std::filesystem::path PathFromUtf8(const std::string &path);
std::string Utf8FromPath(const std::filesystem::path &path);

// name inside folder: "/" between them unless folder is empty or already ends in a separator.
// The same text on every system, so that messages naming the file read alike.
std::string JoinPath(const std::string &folder, const std::string &name);

// The last part of path ("" when path ends in a separator), and everything before it.
std::string FileNameOf(const std::string &path);
std::string ParentFolderOf(const std::string &path);
// A file name with its last extension replaced by extension (".png"), or extension added where
// it has none: "GREY.TEX" becomes "GREY.png", not "GREY.TEX.png".
std::string WithExtension(const std::string &fileName, const std::string &extension);

// path made absolute against the current folder, links left as they are.
std::string AbsolutePathOf(const std::string &path);

// The absolute path with links resolved as far as the path exists; path itself when even that
// fails.
std::string RealPathOf(const std::string &path);

} // namespace kvb
