#include "cli/json_output.h"

#include "archive/text.h"

#include <iostream>

namespace kvb::cli {

std::string HexBytes(const std::string &bytes)
{
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(bytes.size() * 2);
    for (unsigned char c : bytes) {
        hex += kDigits[c >> 4];
        hex += kDigits[c & 15];
    }
    return hex;
}

void PutArchiveText(ordered_json &object, const std::string &key, const std::string &bytes)
{
    object[key] = Cp1252ToUtf8(bytes);
    object[key + "_hex"] = HexBytes(bytes);
}

void PrintJson(const ordered_json &object)
{
    // Invalid UTF-8 cannot come from the conversion; should it ever, a replacement character
    // is better than no output at all.
    std::cout << object.dump(-1, ' ', false, ordered_json::error_handler_t::replace) << '\n';
}

} // namespace kvb::cli
