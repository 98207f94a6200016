#include "platform/file_names.h"

namespace kvb {

std::optional<std::string> SystemFileNameFault(const std::string &name)
{
    return WindowsFileNameFault(name);
}

} // namespace kvb
