#include "platform/file_attributes.h"

#include "platform/errors.h"
#include "platform/posix/file_kind.h"

#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace kvb {

std::optional<TFileAttributes> FileAttributes(const std::string &path)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return std::nullopt;
    return TFileAttributes{(st.st_mode & S_IWUSR) == 0};
}

bool IsPlainFile(const std::string &path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::optional<TFileStamp> FileStamp(const std::string &path)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return std::nullopt;
    constexpr int64_t kSecond = 1000000000;
    TFileStamp stamp = StampOf(st);
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    stamp.Recent = int64_t(now.tv_sec) * kSecond + now.tv_nsec - stamp.Modified < 2 * kSecond;
    return stamp;
}

void ClearReadOnly(const std::string &path)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0)
        ::chmod(path.c_str(), (st.st_mode & 07777) | S_IWUSR);
}

std::optional<int64_t> FreeSpace(const std::string &folder)
{
    struct statvfs st {};
    if (::statvfs(folder.c_str(), &st) != 0)
        return std::nullopt;
    return int64_t(st.f_bavail) * int64_t(st.f_frsize);
}

bool RemoveFile(const std::string &path)
{
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode))
        return false;
    return ::unlink(path.c_str()) == 0;
}

void RemoveFileOrRaise(const std::string &path)
{
    if (::unlink(path.c_str()) != 0)
        throw EKVBError("Cannot remove " + path + ": " + SystemReason(errno));
}

bool MoveAside(const std::string &path, const std::string &newPath)
{
    return ::renameat2(AT_FDCWD, path.c_str(), AT_FDCWD, newPath.c_str(), RENAME_NOREPLACE) == 0;
}

} // namespace kvb
