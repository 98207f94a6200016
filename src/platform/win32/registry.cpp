#include "platform/registry.h"

#include "platform/win32/wide.h"

namespace kvb {

std::optional<std::string> ReadMachineRegistryText(const std::string &key, const std::string &name,
                                                   TRegistryView view)
{
    const REGSAM sam = view == TRegistryView::Bits32 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;
    HKEY opened = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, win32::Wide(key).c_str(), 0, KEY_QUERY_VALUE | sam,
                        &opened) != ERROR_SUCCESS)
        return std::nullopt;
    const std::wstring valueName = win32::Wide(name);
    std::optional<std::string> found;
    DWORD bytes = 0;
    if (::RegGetValueW(opened, nullptr, valueName.c_str(), RRF_RT_REG_SZ, nullptr, nullptr, &bytes) ==
            ERROR_SUCCESS &&
        bytes >= sizeof(wchar_t)) {
        std::wstring value(bytes / sizeof(wchar_t), L'\0');
        if (::RegGetValueW(opened, nullptr, valueName.c_str(), RRF_RT_REG_SZ, nullptr, value.data(),
                           &bytes) == ERROR_SUCCESS) {
            value.resize(bytes / sizeof(wchar_t));
            while (!value.empty() && value.back() == L'\0')
                value.pop_back();
            found = win32::Utf8(value);
        }
    }
    ::RegCloseKey(opened);
    return found;
}

} // namespace kvb
