// How long work reports how far it has got: (position, maximum), called as it goes. A report
// may raise (ECancelled, say) to stop the work at that point.
#pragma once

#include <cstdint>
#include <functional>

namespace kvb {

using TProgress = std::function<void(int32_t position, int32_t maximum)>;

} // namespace kvb
