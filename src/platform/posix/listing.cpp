#include "platform/listing.h"

#include <cerrno>
#include <dirent.h>
#include <sys/stat.h>

namespace kvb {

namespace {

bool IsPlainFile(const std::string &path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

} // namespace

bool IsHiddenName(const std::string &name)
{
    return !name.empty() && name.front() == '.';
}

std::optional<std::vector<std::string>> ListPlainFiles(const std::string &folder)
{
    DIR *dir = ::opendir(folder.c_str());
    if (!dir)
        return std::nullopt;
    std::vector<std::string> names;
    std::string prefix = folder.empty() || folder.back() == '/' ? folder : folder + '/';
    for (;;) {
        errno = 0;
        const dirent *entry = ::readdir(dir);
        if (!entry)
            break;
        std::string name = entry->d_name;
        if (IsHiddenName(name)) // also "." and ".."
            continue;
        // The entry's type saves a stat for every ordinary file; links and file systems that
        // do not report types need one.
        bool plain = entry->d_type == DT_REG ||
                     ((entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN) &&
                      IsPlainFile(prefix + name));
        if (plain)
            names.push_back(std::move(name));
    }
    int error = errno;
    ::closedir(dir);
    if (error != 0)
        return std::nullopt;
    return names;
}

std::optional<int64_t> LookUpPlainFile(const std::string &path)
{
    // The name after the last separator.
    if (IsHiddenName(path.substr(path.rfind('/') + 1)))
        return std::nullopt;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return std::nullopt;
    return int64_t(st.st_size);
}

} // namespace kvb
