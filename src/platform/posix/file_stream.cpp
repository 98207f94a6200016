#include "platform/stream.h"

#include "platform/errors.h"
#include "platform/posix/file_kind.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kvb {


TFileStream::TFileStream(const std::string &fileName, Mode mode) : fileName_(fileName)
{
    // Non-blocking, so that a pipe planted under the name is refused below instead of waiting
    // for a writer for ever; on a plain file the flag changes nothing.
    const int access = mode == Mode::OpenRead ? O_RDONLY : O_RDWR;
    handle_ = ::open(fileName.c_str(), access | O_NONBLOCK | O_CLOEXEC);
    if (handle_ < 0 && errno == EISDIR)
        throw EFOpenError(fileName, WhatItIs(S_IFDIR));
    if (handle_ < 0)
        throw EFOpenError(fileName);
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
    if (mode == Mode::OpenReadWrite && ::flock(handle_, LOCK_EX | LOCK_NB) != 0) {
        ::close(handle_);
        handle_ = -1;
        throw EFOpenError(fileName);
    }
}

TFileStream::TFileStream(TFileHandle handle, const std::string &fileName)
    : fileName_(fileName), handle_(handle)
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
        throw EWriteError();
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
            throw EWriteError();
        done += n;
    }
}

int64_t TFileStream::CopyFrom(const TFileStream &source, int64_t sourcePosition, int64_t position,
                              int64_t count)
{
    // Chunks of at most 1 GiB keep each call's count within what the kernel takes at once.
    constexpr int64_t kChunk = int64_t(1) << 30;
    if (FileWriteHook)
        FileWriteHook("copy");
    loff_t in = sourcePosition;
    loff_t out = position;
    int64_t done = 0;
    while (done < count) {
        ssize_t n = ::copy_file_range(source.handle_, &in, handle_, &out,
                                      size_t(std::min(count - done, kChunk)), 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += n;
    }
    return done;
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
        throw EWriteError();
}

void TFileStream::Flush()
{
    if (FileWriteHook)
        FileWriteHook("flush");
    if (::fdatasync(handle_) != 0 && errno != EINVAL)
        throw EWriteError();
}

} // namespace kvb
