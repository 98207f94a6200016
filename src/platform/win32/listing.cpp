#include "platform/listing.h"

#include "platform/paths.h"
#include "platform/win32/wide.h"

namespace kvb {

namespace {

// Windows hides files by their attributes; a listing for the user leaves out what Explorer
// leaves out, and folders.
constexpr DWORD kNotListed =
    FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;

} // namespace

bool IsHiddenName(const std::string &name)
{
    return !name.empty() && name.front() == '.';
}

std::optional<std::vector<std::string>> ListPlainFiles(const std::string &folder)
{
    WIN32_FIND_DATAW found{};
    const std::wstring pattern = win32::Wide(JoinPath(folder.empty() ? "." : folder, "*"));
    HANDLE search = ::FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &found,
                                       FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
    if (search == INVALID_HANDLE_VALUE)
        return std::nullopt;
    std::vector<std::string> names;
    do {
        std::string name = win32::Utf8(found.cFileName);
        if ((found.dwFileAttributes & kNotListed) || IsHiddenName(name)) // also "." and ".."
            continue;
        names.push_back(std::move(name));
    } while (::FindNextFileW(search, &found));
    const DWORD error = ::GetLastError();
    ::FindClose(search);
    if (error != ERROR_NO_MORE_FILES)
        return std::nullopt;
    return names;
}

std::optional<int64_t> LookUpPlainFile(const std::string &path)
{
    if (IsHiddenName(FileNameOf(path)))
        return std::nullopt;
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExW(win32::Wide(path).c_str(), GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & kNotListed))
        return std::nullopt;
    return int64_t((uint64_t(data.nFileSizeHigh) << 32) | data.nFileSizeLow);
}

} // namespace kvb
