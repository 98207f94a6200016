#include "platform/collation.h"

#include <algorithm>

namespace kvb {

TNameSort SortByCompare(TNameCompare compare)
{
    return [compare = std::move(compare)](std::vector<std::string> &names) {
        std::sort(names.begin(), names.end(), [&](const std::string &a, const std::string &b) {
            const int order = compare(a, b);
            return order != 0 ? order < 0 : a < b;
        });
    };
}

} // namespace kvb
