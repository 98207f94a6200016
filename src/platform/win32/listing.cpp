#include "platform/listing.h"

#include "platform/output_file.h"
#include "platform/paths.h"
#include "platform/win32/wide.h"

namespace kvb {

namespace {

// Windows hides files by their attributes; a listing for the user leaves out what Explorer
// leaves out, and folders.
constexpr DWORD kNotListed = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;

TFolderEntry EntryOf(std::string name, DWORD attributes, DWORD sizeHigh, DWORD sizeLow,
                     const FILETIME &written)
{
    TFolderEntry entry;
    entry.Name = std::move(name);
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        entry.Kind = TEntryKind::Link;
    } else if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        entry.Kind = TEntryKind::Folder;
    } else if (attributes & FILE_ATTRIBUTE_DEVICE) {
        entry.Kind = TEntryKind::Other;
    } else {
        entry.Kind = TEntryKind::PlainFile;
        entry.Stamp =
            TFileStamp{int64_t((uint64_t(sizeHigh) << 32) | sizeLow), win32::UnixNanoseconds(written)};
    }
    return entry;
}

} // namespace

bool IsHiddenName(const std::string &name)
{
    return !name.empty() && name.front() == '.';
}

std::optional<std::vector<std::string>> ListPlainFiles(const std::string &folder)
{
    WIN32_FIND_DATAW found{};
    const std::wstring pattern = win32::Wide(JoinPath(folder.empty() ? "." : folder, "*"));
    HANDLE search = ::FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &found, FindExSearchNameMatch,
                                       nullptr, FIND_FIRST_EX_LARGE_FETCH);
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

std::optional<std::vector<TFolderEntry>> ListFolder(const TOpenFolder &folder)
{
    WIN32_FIND_DATAW found{};
    const std::wstring pattern = win32::Wide(JoinPath(folder.Path().empty() ? "." : folder.Path(), "*"));
    HANDLE search = ::FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &found, FindExSearchNameMatch,
                                       nullptr, FIND_FIRST_EX_LARGE_FETCH);
    if (search == INVALID_HANDLE_VALUE)
        return std::nullopt;
    std::vector<TFolderEntry> entries;
    do {
        std::string name = win32::Utf8(found.cFileName);
        // What Explorer hides, the listing leaves out; "." and ".." too.
        if ((found.dwFileAttributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) ||
            IsHiddenName(name))
            continue;
        entries.push_back(EntryOf(std::move(name), found.dwFileAttributes, found.nFileSizeHigh,
                                  found.nFileSizeLow, found.ftLastWriteTime));
    } while (::FindNextFileW(search, &found));
    const DWORD error = ::GetLastError();
    ::FindClose(search);
    if (error != ERROR_NO_MORE_FILES)
        return std::nullopt;
    return entries;
}

std::optional<TFolderEntry> LookUpEntry(const TOpenFolder &folder, const std::string &name)
{
    if (name.empty() || name.find_first_of("/\\") != std::string::npos)
        return std::nullopt;
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExW(win32::Wide(JoinPath(folder.Path(), name)).c_str(), GetFileExInfoStandard,
                                &data))
        return std::nullopt;
    return EntryOf(name, data.dwFileAttributes, data.nFileSizeHigh, data.nFileSizeLow,
                   data.ftLastWriteTime);
}

} // namespace kvb
