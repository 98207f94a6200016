#include "platform/paths.h"

namespace fs = std::filesystem;

namespace kvb {

fs::path PathFromUtf8(const std::string &path)
{
    return fs::path(std::u8string(path.begin(), path.end()));
}

std::string Utf8FromPath(const fs::path &path)
{
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

std::string JoinPath(const std::string &folder, const std::string &name)
{
    if (folder.empty())
        return name;
    const char last = folder.back();
    const bool separated = last == '/' || fs::path::value_type(last) == fs::path::preferred_separator;
    // Built in one allocation: creation and extraction join a path for every file.
    std::string path;
    path.reserve(folder.size() + 1 + name.size());
    path += folder;
    if (!separated)
        path += '/';
    path += name;
    return path;
}

std::string FileNameOf(const std::string &path)
{
    return Utf8FromPath(PathFromUtf8(path).filename());
}

std::string ParentFolderOf(const std::string &path)
{
    return Utf8FromPath(PathFromUtf8(path).parent_path());
}

std::string WithExtension(const std::string &fileName, const std::string &extension)
{
    const size_t dot = fileName.rfind('.');
    // A leading dot starts a name, not an extension.
    return (dot == std::string::npos || dot == 0 ? fileName : fileName.substr(0, dot)) + extension;
}

std::string AbsolutePathOf(const std::string &path)
{
    std::error_code ec;
    fs::path absolute = fs::absolute(PathFromUtf8(path), ec);
    return ec ? path : Utf8FromPath(absolute.lexically_normal());
}

std::string RealPathOf(const std::string &path)
{
    std::error_code ec;
    fs::path real = fs::weakly_canonical(PathFromUtf8(path), ec);
    return ec ? path : Utf8FromPath(real);
}

} // namespace kvb
