#include "platform/file_names.h"

#include "platform/win32/wide.h"

#include <string_view>

namespace kvb {

namespace {

// The system's own comparison, case ignored as Windows ignores it in device names.
bool SameIgnoringCase(const std::wstring &a, const wchar_t *b)
{
    return ::CompareStringOrdinal(a.c_str(), int(a.size()), b, -1, TRUE) == CSTR_EQUAL;
}

bool IsDeviceName(const std::string &name)
{
    // The device is named by what comes before the first dot, trailing spaces ignored.
    std::string stem = name.substr(0, name.find('.'));
    while (!stem.empty() && stem.back() == ' ')
        stem.pop_back();
    const std::wstring wide = win32::Wide(stem);
    for (const wchar_t *device : {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$"})
        if (SameIgnoringCase(wide, device))
            return true;
    // COM1 to COM9 and LPT1 to LPT9, and with the superscript digits 1, 2 and 3 of
    // Windows-1252 as well.
    if (stem.size() != 4)
        return false;
    const std::wstring port = win32::Wide(stem.substr(0, 3));
    if (!SameIgnoringCase(port, L"COM") && !SameIgnoringCase(port, L"LPT"))
        return false;
    const auto digit = static_cast<unsigned char>(stem[3]);
    return (digit >= '1' && digit <= '9') || digit == 0xB9 || digit == 0xB2 || digit == 0xB3;
}

} // namespace

bool SystemKeepsFileName(const std::string &name)
{
    if (name.empty() || name.back() == '.' || name.back() == ' ')
        return false;
    for (const char c : name)
        if (static_cast<unsigned char>(c) < 0x20 || std::string_view("<>:\"/\\|?*").find(c) != std::string_view::npos)
            return false;
    return !IsDeviceName(name);
}

} // namespace kvb
