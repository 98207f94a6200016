#include "platform/folders.h"

#include "platform/paths.h"

#include <filesystem>

namespace fs = std::filesystem;

namespace kvb {

bool IsFolder(const std::string &path)
{
    std::error_code ec;
    return fs::is_directory(PathFromUtf8(path), ec);
}

std::vector<std::string> ListSubfolders(const std::string &folder)
{
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(PathFromUtf8(folder), ec), end; !ec && it != end; it.increment(ec))
        if (it->is_directory(ec))
            names.push_back(Utf8FromPath(it->path().filename()));
    return names;
}

bool SameFileOrFolder(const std::string &a, const std::string &b)
{
    std::error_code ec;
    return fs::equivalent(PathFromUtf8(a), PathFromUtf8(b), ec);
}

std::optional<std::string> CreateFolders(const std::string &folder)
{
    std::error_code ec;
    fs::create_directories(PathFromUtf8(folder), ec);
    if (ec)
        return ec.message();
    return std::nullopt;
}

std::optional<std::string> ChangeCurrentFolder(const std::string &folder)
{
    std::error_code ec;
    fs::current_path(PathFromUtf8(folder), ec);
    if (ec)
        return ec.message();
    return std::nullopt;
}

} // namespace kvb
