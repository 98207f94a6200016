#include "platform/stream.h"

#include "platform/errors.h"

#include <algorithm>
#include <cstring>

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
