#include "platform/stream.h"

#include "platform/errors.h"
#include "platform/file_names.h"
#include "platform/output_file.h"
#include "platform/paths.h"
#include "platform/posix/file_kind.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kvb {

namespace {

// A failed write, resize or flush of file: the system's reason, and the file.
EWriteError WriteFailed(const std::string &file, const char *doing, int error)
{
    return EWriteError(std::string(doing) + " " + file + ": " +
                       (error == 0 ? std::string("the system wrote nothing") : SystemReason(error)));
}

} // namespace

TFileStream::TFileStream(const std::string &fileName, Mode mode) : fileName_(fileName)
{
    Open(AT_FDCWD, fileName, mode);
}

TFileStream::TFileStream(const TOpenFolder &folder, const std::string &name, bool followLinks)
    : fileName_(JoinPath(folder.Path(), name))
{
    if (!IsPlainFileName(name))
        throw EFOpenError(fileName_, "it is not a plain file name");
    Open(folder.Handle(), name, Mode::OpenRead, followLinks);
}

void TFileStream::Open(TFileHandle at, const std::string &name, Mode mode, bool followLinks)
{
    const std::string &fileName = fileName_;
    // Non-blocking, so that a pipe planted under the name is refused below instead of waiting
    // for a writer for ever; on a plain file the flag changes nothing.
    const int access = mode == Mode::OpenReadWrite ? O_RDWR : O_RDONLY;
    handle_ =
        ::openat(int(at), name.c_str(), access | O_NONBLOCK | O_CLOEXEC | (followLinks ? 0 : O_NOFOLLOW));
    if (handle_ < 0 && errno == EISDIR)
        throw EFOpenError(fileName, WhatItIs(S_IFDIR));
    if (handle_ < 0 && errno == ELOOP && !followLinks)
        throw EFOpenError(fileName, WhatItIs(S_IFLNK));
    if (handle_ < 0)
        throw EFOpenError(fileName, SystemReason(errno));
    // Only plain files are archives or inputs; the same call gives the size the file had when
    // it was opened and its identity.
    struct stat st {};
    if (::fstat(handle_, &st) != 0 || !S_ISREG(st.st_mode)) {
        const std::string why = WhatItIs(st.st_mode);
        ::close(handle_);
        handle_ = -1;
        throw EFOpenError(fileName, why);
    }
    openedSize_ = st.st_size;
    identity_ = TFileIdentity{uint64_t(st.st_dev), uint64_t(st.st_ino)};
    // Only one editor at a time; readers are not affected by the lock.
    if (mode != Mode::OpenRead && ::flock(handle_, LOCK_EX | LOCK_NB) != 0) {
        ::close(handle_);
        handle_ = -1;
        throw EFOpenError(fileName, "another program is editing it");
    }
}

TFileStream::TFileStream(TFileHandle handle, const std::string &fileName)
    : fileName_(fileName),
      handle_(handle)
{
}

TFileStream::~TFileStream()
{
    if (handle_ >= 0)
        ::close(handle_);
}

void TFileStream::Close()
{
    const int fd = int(handle_);
    handle_ = -1;
    if (fd >= 0 && ::close(fd) != 0)
        throw WriteFailed(fileName_, "Closing", errno);
}

int64_t TFileStream::ReadAt(int64_t position, void *buffer, int64_t count) const
{
    auto *out = static_cast<char *>(buffer);
    int64_t done = 0;
    while (done < count) {
        ssize_t n = ::pread(handle_, out + done, static_cast<size_t>(count - done), position + done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throw EReadError();
        }
        if (n == 0)
            break;
        done += n;
    }
    return done;
}

void TFileStream::WriteAt(int64_t position, const void *buffer, int64_t count)
{
    if (FileWriteHook)
        FileWriteHook("write");
    const auto *in = static_cast<const char *>(buffer);
    int64_t done = 0;
    while (done < count) {
        ssize_t n = ::pwrite(handle_, in + done, static_cast<size_t>(count - done), position + done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            throw WriteFailed(fileName_, "Writing", n < 0 ? errno : 0);
        done += n;
    }
}

namespace {

// The kernel's own copy from one file to another, of up to count bytes; how many it copied.
int64_t KernelCopy(int from, loff_t &in, int to, loff_t &out, int64_t count)
{
    // Chunks of at most 1 GiB keep each call's count within what the kernel takes at once.
    constexpr int64_t kChunk = int64_t(1) << 30;
    int64_t done = 0;
    while (done < count) {
        ssize_t n = ::copy_file_range(from, &in, to, &out, size_t(std::min(count - done, kChunk)), 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += n;
    }
    return done;
}

// The same through a pipe of our own, in pieces that end on the target's kPiece boundaries.
int64_t PipeCopy(int from, loff_t &in, int to, loff_t &out, int64_t count)
{
    constexpr int64_t kPiece = 256 * 1024;
    int pipe[2];
    if (::pipe2(pipe, O_CLOEXEC) != 0)
        return KernelCopy(from, in, to, out, count);
    // A piece that starts inside a page of the source takes one page more of the pipe.
    if (::fcntl(pipe[1], F_SETPIPE_SZ, int(2 * kPiece)) < 0) {
        ::close(pipe[0]);
        ::close(pipe[1]);
        return KernelCopy(from, in, to, out, count);
    }
    int64_t done = 0;
    while (done < count) {
        const int64_t want = std::min(count - done, kPiece - int64_t(out) % kPiece);
        ssize_t got = ::splice(from, &in, pipe[1], nullptr, size_t(want), 0);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        // What the pipe holds counts only once it is in the target.
        while (got > 0) {
            ssize_t put = ::splice(pipe[0], nullptr, to, &out, size_t(got), 0);
            if (put < 0 && errno == EINTR)
                continue;
            if (put <= 0)
                break;
            got -= put;
            done += put;
        }
        if (got > 0)
            break;
    }
    ::close(pipe[0]);
    ::close(pipe[1]);
    return done;
}

} // namespace

int64_t TFileStream::CopyFrom(const TFileStream &source, int64_t sourcePosition, int64_t position,
                              int64_t count)
{
    if (FileWriteHook)
        FileWriteHook("copy");
    loff_t in = sourcePosition;
    loff_t out = position;
    // The kernel's copy moves 64 KiB at a time through a small pipe of its own, and the page
    // cache builds the target out of blocks as those writes fall. Where the writes straddle the
    // target's 64 KiB boundaries, or the source stands elsewhere within its pages than the
    // target, the copy takes a third longer than cp's of a whole file. Short copies are left as
    // they come; long ones:
    constexpr int64_t kLong = 1024 * 1024;
    constexpr int64_t kAlign = 64 * 1024;
    constexpr int64_t kPage = 4096;
    if (count < kLong)
        return KernelCopy(source.handle_, in, handle_, out, count);
    // 1. Up to the target's next 64 KiB boundary, by the kernel's copy.
    const int64_t lead = (kAlign - position % kAlign) % kAlign;
    const int64_t done = KernelCopy(source.handle_, in, handle_, out, lead);
    if (done < lead)
        return done;
    // 2. The rest by the kernel's copy where the source now stands at a page's start too, which
    //    also lets a file system that shares blocks between files share them; otherwise through
    //    a pipe of our own, whose larger pieces each start on one of the target's boundaries.
    if ((out - in) % kPage == 0)
        return done + KernelCopy(source.handle_, in, handle_, out, count - done);
    return done + PipeCopy(source.handle_, in, handle_, out, count - done);
}

TFileIdentity TFileStream::Identity() const
{
    if (!identity_) {
        struct stat st {};
        if (::fstat(handle_, &st) != 0)
            throw EReadError();
        identity_ = TFileIdentity{uint64_t(st.st_dev), uint64_t(st.st_ino)};
    }
    return *identity_;
}

TFileStamp TFileStream::Stamp() const
{
    struct stat st {};
    if (::fstat(handle_, &st) != 0)
        throw EReadError();
    return StampOf(st);
}

int64_t TFileStream::LinkCount() const
{
    struct stat st {};
    if (::fstat(handle_, &st) != 0)
        throw EReadError();
    return int64_t(st.st_nlink);
}

int64_t TFileStream::Size() const
{
    struct stat st {};
    if (::fstat(handle_, &st) != 0)
        throw EReadError();
    return st.st_size;
}

void TFileStream::SetSize(int64_t size)
{
    if (FileWriteHook)
        FileWriteHook("resize");
    if (::ftruncate(handle_, size) != 0)
        throw WriteFailed(fileName_, "Setting the size of", errno);
}

void TFileStream::Flush()
{
    if (FileWriteHook)
        FileWriteHook("flush");
    if (::fdatasync(handle_) != 0 && errno != EINVAL)
        throw WriteFailed(fileName_, "Flushing", errno);
}

} // namespace kvb
