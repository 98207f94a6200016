#include "platform/file_names.h"

namespace kvb {

bool IsPlainFileName(const std::string &name)
{
    return !name.empty() && name != "." && name != ".." &&
           name.find_first_of("/\\") == std::string::npos && SystemKeepsFileName(name);
}

} // namespace kvb
