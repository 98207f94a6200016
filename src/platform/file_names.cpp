#include "platform/file_names.h"

#include <algorithm>

namespace kvb {

bool IsPlainFileName(const std::string &name)
{
    return !name.empty() && name != "." && name != ".." &&
           std::none_of(name.begin(), name.end(), [](char c) { return c == '/' || c == '\\'; }) &&
           SystemKeepsFileName(name);
}

} // namespace kvb
