#include "archive/checksum.h"

#include "platform/stream.h"

#include <vector>

#define XXH_INLINE_ALL
#include <xxhash.h>

namespace kvb {

uint64_t Checksum64(std::string_view bytes)
{
    return XXH3_64bits(bytes.data(), bytes.size());
}

struct TChecksum::State {
    XXH3_state_t xxh;
};

TChecksum::TChecksum() : state_(std::make_unique<State>())
{
    XXH3_64bits_reset(&state_->xxh);
}

TChecksum::~TChecksum() = default;

void TChecksum::Add(std::string_view bytes)
{
    XXH3_64bits_update(&state_->xxh, bytes.data(), bytes.size());
}

uint64_t TChecksum::Value() const
{
    return XXH3_64bits_digest(&state_->xxh);
}

uint64_t FileChecksum64(const std::string &path)
{
    TFileStream file(path, TFileStream::Mode::OpenRead);
    TChecksum sum;
    std::vector<char> piece(size_t(1) << 20);
    for (int64_t got; (got = file.Read(piece.data(), int64_t(piece.size()))) > 0;)
        sum.Add(std::string_view(piece.data(), size_t(got)));
    return sum.Value();
}

std::string ChecksumText(uint64_t checksum)
{
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string hex(16, '0');
    for (int i = 15; i >= 0; --i, checksum >>= 4)
        hex[size_t(i)] = kDigits[checksum & 15];
    return hex;
}

} // namespace kvb
