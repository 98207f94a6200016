#include "archive/stream.h"

#include "archive/errors.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kvb {

void TStream::Seek(int64_t position)
{
    if (position < 0)
        throw EReadError();
    position_ = position;
}

void TStream::ReadBuffer(void *buffer, int64_t count)
{
    if (count < 0 || Read(buffer, count) != count)
        throw EReadError();
}

TFileStream::TFileStream(const std::string &fileName, Mode mode) : fileName_(fileName)
{
    switch (mode) {
    case Mode::OpenRead:
        fd_ = ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd_ < 0)
            throw EFOpenError(fileName);
        break;
    case Mode::OpenReadWrite:
        fd_ = ::open(fileName.c_str(), O_RDWR | O_CLOEXEC);
        if (fd_ < 0)
            throw EFOpenError(fileName);
        // Only one editor at a time; readers are not affected by the lock.
        if (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
            ::close(fd_);
            fd_ = -1;
            throw EFOpenError(fileName);
        }
        break;
    case Mode::Create:
        fd_ = ::open(fileName.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        if (fd_ < 0)
            throw EFCreateError(fileName);
        break;
    }
    // Opening a folder for writing already failed above (EISDIR); for reading it succeeds and is
    // refused here. The same call gives the size the file had when it was opened.
    if (mode == Mode::OpenRead) {
        struct stat st {};
        if (::fstat(fd_, &st) != 0 || S_ISDIR(st.st_mode)) {
            ::close(fd_);
            fd_ = -1;
            throw EFOpenError(fileName);
        }
        openedSize_ = st.st_size;
    }
}

TFileStream::~TFileStream()
{
    if (fd_ >= 0)
        ::close(fd_);
}

int64_t TFileStream::ReadAt(int64_t position, void *buffer, int64_t count) const
{
    auto *out = static_cast<char *>(buffer);
    int64_t done = 0;
    while (done < count) {
        ssize_t n = ::pread(fd_, out + done, static_cast<size_t>(count - done), position + done);
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

int64_t TFileStream::Read(void *buffer, int64_t count)
{
    int64_t n = ReadAt(position_, buffer, count);
    position_ += n;
    return n;
}

void TFileStream::Write(const void *buffer, int64_t count)
{
    const auto *in = static_cast<const char *>(buffer);
    int64_t done = 0;
    while (done < count) {
        ssize_t n = ::pwrite(fd_, in + done, static_cast<size_t>(count - done), position_ + done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            throw EWriteError();
        done += n;
    }
    position_ += done;
}

int64_t TFileStream::Size() const
{
    struct stat st {};
    if (::fstat(fd_, &st) != 0)
        throw EReadError();
    return st.st_size;
}

void TFileStream::SetSize(int64_t size)
{
    if (::ftruncate(fd_, size) != 0)
        throw EWriteError();
}

void TFileStream::Flush()
{
    if (::fdatasync(fd_) != 0 && errno != EINVAL)
        throw EWriteError();
}

int64_t TMemoryStream::Read(void *buffer, int64_t count)
{
    int64_t available = std::max<int64_t>(0, Size() - position_);
    int64_t n = std::min(count, available);
    if (n > 0)
        std::memcpy(buffer, bytes_.data() + position_, static_cast<size_t>(n));
    position_ += n;
    return n;
}

void TMemoryStream::Write(const void *buffer, int64_t count)
{
    if (position_ + count > Size())
        bytes_.resize(static_cast<size_t>(position_ + count));
    std::memcpy(bytes_.data() + position_, buffer, static_cast<size_t>(count));
    position_ += count;
}

} // namespace kvb
