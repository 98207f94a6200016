#include "archive/checksum.h"

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

} // namespace kvb
