#include "platform/file_names.h"

#include <algorithm>
#include <string_view>

namespace kvb {

namespace {

// Windows compares device names with the letters a to z in capitals, and nothing else.
bool SameIgnoringAsciiCase(std::string_view a, std::string_view b)
{
    auto upper = [](char c) { return c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c; };
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [&](char x, char y) { return upper(x) == upper(y); });
}

} // namespace

bool IsWindowsDeviceName(const std::string &name)
{
    // The device is named by what comes before the first dot, trailing spaces ignored.
    std::string_view stem = std::string_view(name).substr(0, name.find('.'));
    while (!stem.empty() && stem.back() == ' ')
        stem.remove_suffix(1);
    for (const std::string_view device : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"})
        if (SameIgnoringAsciiCase(stem, device))
            return true;
    if (stem.size() != 4 || (!SameIgnoringAsciiCase(stem.substr(0, 3), "COM") &&
                             !SameIgnoringAsciiCase(stem.substr(0, 3), "LPT")))
        return false;
    const auto digit = static_cast<unsigned char>(stem[3]);
    return (digit >= '1' && digit <= '9') || digit == 0xB9 || digit == 0xB2 || digit == 0xB3;
}

std::optional<std::string> WindowsFileNameFault(const std::string &name)
{
    for (const char c : name) {
        if (static_cast<unsigned char>(c) < 0x20)
            return "Windows takes no control characters in file names";
        if (std::string_view("<>:\"/\\|?*").find(c) != std::string_view::npos)
            return std::string("Windows takes no \"") + c + "\" in file names";
    }
    if (!name.empty() && name.back() == '.')
        return "Windows drops a final dot";
    if (!name.empty() && name.back() == ' ')
        return "Windows drops a final space";
    if (IsWindowsDeviceName(name))
        return "Windows keeps it for a device";
    return std::nullopt;
}

bool SystemKeepsFileName(const std::string &name)
{
    return !name.empty() && !SystemFileNameFault(name);
}

bool IsPlainFileName(const std::string &name)
{
    return !name.empty() && name != "." && name != ".." &&
           std::none_of(name.begin(), name.end(), [](char c) { return c == '/' || c == '\\'; }) &&
           SystemKeepsFileName(name);
}

} // namespace kvb
