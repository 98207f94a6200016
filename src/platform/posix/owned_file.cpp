#include "platform/owned_file.h"

#include "platform/errors.h"
#include "platform/paths.h"
#include "platform/posix/file_kind.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kvb {

namespace {

std::optional<std::string> Distrust(const struct stat &st, const struct stat &owner)
{
    if (S_ISLNK(st.st_mode))
        return "it is a symbolic link";
    if (!S_ISREG(st.st_mode))
        return WhatItIs(st.st_mode);
    if (st.st_uid != owner.st_uid)
        return "it belongs to another user than the archive does";
    if (st.st_mode & (S_IWGRP | S_IWOTH))
        return "users other than its owner may write it";
    return std::nullopt;
}

TOwnersFile With(TOwnersFile::Status state, std::string why = {})
{
    TOwnersFile file;
    file.State = state;
    file.Why = std::move(why);
    return file;
}

} // namespace

TOwnersFile OpenOwnersFile(const std::string &path, const TFileStream &file)
{
    struct stat owner {};
    if (::fstat(int(file.Handle()), &owner) != 0)
        throw EReadError();
    struct stat named {};
    if (::lstat(path.c_str(), &named) != 0) {
        if (errno == ENOENT || errno == ENOTDIR)
            return With(TOwnersFile::Status::Missing);
        return With(TOwnersFile::Status::Unreadable, SystemReason(errno));
    }
    if (std::optional<std::string> why = Distrust(named, owner))
        return With(TOwnersFile::Status::NotTrusted, *why);
    // Opened without following a link, and checked again through the open file: whatever was
    // put in its place after the look above is what gets checked.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return With(errno == ELOOP ? TOwnersFile::Status::NotTrusted : TOwnersFile::Status::Unreadable,
                    errno == ELOOP ? "it is a symbolic link" : SystemReason(errno));
    struct stat opened {};
    if (::fstat(fd, &opened) != 0) {
        const int error = errno;
        ::close(fd);
        return With(TOwnersFile::Status::Unreadable, SystemReason(error));
    }
    std::optional<std::string> why = Distrust(opened, owner);
    if (!why && (opened.st_dev != named.st_dev || opened.st_ino != named.st_ino))
        why = "it was replaced while it was looked at";
    if (why) {
        ::close(fd);
        return With(TOwnersFile::Status::NotTrusted, *why);
    }
    TOwnersFile result = With(TOwnersFile::Status::Opened);
    result.Stream = std::make_unique<TFileStream>(fd, path);
    return result;
}

void GiveOwnerOf(const TFileStream &owner, TFileStream &file)
{
    if (::geteuid() != 0)
        return;
    struct stat st {};
    if (::fstat(int(owner.Handle()), &st) != 0)
        return;
    // Where the owner cannot be given, the file stays this program's, and is no record that the
    // owner's programs trust.
    if (::fchown(int(file.Handle()), st.st_uid, st.st_gid) != 0)
        return;
}

std::optional<std::string> WhyNotWritableWhereItIs(const std::string &path)
{
    for (const std::string &where : {path, ParentFolderOf(RealPathOf(path))}) {
        if (::access(where.empty() ? "." : where.c_str(), W_OK) != 0)
            return SystemReason(errno);
    }
    return std::nullopt;
}

} // namespace kvb
