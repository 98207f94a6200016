// What stands at a path when it is not the plain file the program wanted there, in the words
// of its messages; and a plain file's stamp.
#pragma once

#include "platform/stream.h"

#include <cerrno>
#include <cstring>
#include <string>
#include <sys/stat.h>

namespace kvb {

// Size and modification time as a TFileStamp.
inline TFileStamp StampOf(const struct stat &st)
{
    return TFileStamp{int64_t(st.st_size),
                      int64_t(st.st_mtim.tv_sec) * 1000000000 + int64_t(st.st_mtim.tv_nsec)};
}

// The system's reason for a failed call (errno), as a clause of a message; the common ones in
// the same words on every system, so that kvb says the same on Linux and Windows.
inline std::string SystemReason(int error)
{
    switch (error) {
    case ENOENT:
    case ENOTDIR: return "it does not exist";
    case EACCES: return "access is denied";
    case EROFS: return "the file system is read-only";
    }
    std::string reason = std::strerror(error);
    if (!reason.empty() && reason[0] >= 'A' && reason[0] <= 'Z')
        reason[0] = char(reason[0] - 'A' + 'a');
    return reason;
}

// Why a file could not be made (or put in place) in its folder: the folder is what was missing
// or refused, not the file, which did not stand there yet.
inline std::string CreateReason(int error)
{
    switch (error) {
    case ENOENT:
    case ENOTDIR: return "its folder does not exist";
    case EACCES:
    case EPERM: return "its folder cannot be written (access is denied)";
    }
    return SystemReason(error);
}

inline const char *WhatItIs(mode_t mode)
{
    if (S_ISDIR(mode))
        return "it is a folder";
    if (S_ISLNK(mode))
        return "it is a link";
    if (S_ISFIFO(mode))
        return "it is a pipe (FIFO)";
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return "it is a device";
    return "it is not a plain file";
}

} // namespace kvb
