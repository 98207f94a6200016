#include "platform/game_folder.h"

#include "platform/errors.h"
#include "platform/win32/wide.h"

namespace kvb {

namespace {

const wchar_t kGameKey[] = L"Software\\Square Soft, Inc.\\Final Fantasy VII";

// The installer of a 32-bit game writes to the 32-bit view; a 64-bit one to the other.
std::optional<std::string> AppPathIn(REGSAM view)
{
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kGameKey, 0, KEY_QUERY_VALUE | view, &key) !=
        ERROR_SUCCESS)
        return std::nullopt;
    std::optional<std::string> found;
    DWORD bytes = 0;
    if (::RegGetValueW(key, nullptr, L"AppPath", RRF_RT_REG_SZ, nullptr, nullptr, &bytes) ==
            ERROR_SUCCESS &&
        bytes >= sizeof(wchar_t)) {
        std::wstring value(bytes / sizeof(wchar_t), L'\0');
        if (::RegGetValueW(key, nullptr, L"AppPath", RRF_RT_REG_SZ, nullptr, value.data(),
                           &bytes) == ERROR_SUCCESS) {
            value.resize(bytes / sizeof(wchar_t));
            while (!value.empty() && value.back() == L'\0')
                value.pop_back();
            found = win32::Utf8(value);
        }
    }
    ::RegCloseKey(key);
    return found;
}

} // namespace

TGameFolderSearch SearchGameAppPath()
{
    TGameFolderSearch search;
    const std::string key = "HKEY_LOCAL_MACHINE\\" + win32::Utf8(kGameKey);
    for (auto [view, name] : {std::pair{KEY_WOW64_32KEY, " (32-bit view)"},
                              std::pair{KEY_WOW64_64KEY, " (64-bit view)"}}) {
        search.Searched.push_back(key + name);
        if ((search.AppPath = AppPathIn(view))) {
            search.FoundIn = search.Searched.back();
            break;
        }
    }
    return search;
}

void EnterGameDataFolder(const std::string &folder)
{
    if (!::SetCurrentDirectoryW(win32::Wide(folder).c_str()))
        throw EKVBError("Cannot change to the game's data folder " + folder + ": " +
                        win32::SystemMessage(::GetLastError()));
}

} // namespace kvb
