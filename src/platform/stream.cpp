#include "platform/stream.h"

#include "platform/errors.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace kvb {

TFileWriteHook FileWriteHook = nullptr;

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

// The stream's position over the positional operations each system provides.
int64_t TFileStream::Read(void *buffer, int64_t count)
{
    int64_t n = ReadAt(position_, buffer, count);
    position_ += n;
    return n;
}

void TFileStream::Write(const void *buffer, int64_t count)
{
    WriteAt(position_, buffer, count);
    position_ += count;
}

void CopyFileRange(const TFileStream &source, int64_t sourcePosition, TFileStream &target,
                   int64_t position, int64_t count)
{
    const int64_t copied = target.CopyFrom(source, sourcePosition, position, count);
    sourcePosition += copied;
    position += copied;
    count -= copied;
    if (count == 0)
        return;
    // What the kernel left: the source's end (reported here), or no kernel copy between these
    // two files.
    constexpr int64_t kChunk = 1024 * 1024;
    std::vector<char> buffer(size_t(std::min(count, kChunk)));
    while (count > 0) {
        const int64_t want = std::min<int64_t>(count, int64_t(buffer.size()));
        const int64_t got = source.ReadAt(sourcePosition, buffer.data(), want);
        target.WriteAt(position, buffer.data(), got);
        if (got < want)
            throw EReadError();
        sourcePosition += got;
        position += got;
        count -= got;
    }
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
