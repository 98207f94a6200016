#include "platform/random_name.h"

#include <random>

namespace kvb {

std::string RandomName(size_t length)
{
    static constexpr char kChars[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::random_device random;
    std::uniform_int_distribution<size_t> pick(0, sizeof kChars - 2);
    std::string name(length, '\0');
    for (char &c : name)
        c = kChars[pick(random)];
    return name;
}

} // namespace kvb
