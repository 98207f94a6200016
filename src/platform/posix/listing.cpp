#include "platform/listing.h"

#include "platform/output_file.h"
#include "platform/posix/file_kind.h"

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kvb {

namespace {

bool IsPlainFile(const std::string &path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

TFolderEntry EntryOf(std::string name, const struct stat &st)
{
    TFolderEntry entry;
    entry.Name = std::move(name);
    if (S_ISREG(st.st_mode)) {
        entry.Kind = TEntryKind::PlainFile;
        entry.Stamp = StampOf(st);
    } else if (S_ISDIR(st.st_mode)) {
        entry.Kind = TEntryKind::Folder;
    } else if (S_ISLNK(st.st_mode)) {
        entry.Kind = TEntryKind::Link;
    }
    return entry;
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
        bool plain =
            entry->d_type == DT_REG ||
            ((entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN) && IsPlainFile(prefix + name));
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

std::optional<std::vector<TFolderEntry>> ListFolder(const TOpenFolder &folder)
{
    // A descriptor of its own: the folder's is only for looking names up through.
    const int fd = ::openat(int(folder.Handle()), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR *dir = fd >= 0 ? ::fdopendir(fd) : nullptr;
    if (!dir) {
        if (fd >= 0)
            ::close(fd);
        return std::nullopt;
    }
    std::vector<TFolderEntry> entries;
    int error = 0;
    for (;;) {
        errno = 0;
        const dirent *found = ::readdir(dir);
        if (!found) {
            error = errno;
            break;
        }
        if (IsHiddenName(found->d_name)) // also "." and ".."
            continue;
        struct stat st {};
        // Gone since the listing: not there.
        if (::fstatat(fd, found->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0)
            entries.push_back(EntryOf(found->d_name, st));
    }
    ::closedir(dir);
    if (error != 0)
        return std::nullopt;
    return entries;
}

std::optional<TFolderEntry> LookUpEntry(const TOpenFolder &folder, const std::string &name)
{
    struct stat st {};
    if (name.empty() || name.find('/') != std::string::npos ||
        ::fstatat(int(folder.Handle()), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return std::nullopt;
    return EntryOf(name, st);
}

} // namespace kvb
