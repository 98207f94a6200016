#include "platform/file_attributes.h"

#include "platform/errors.h"

#include "platform/win32/wide.h"

namespace kvb {

std::optional<TFileAttributes> FileAttributes(const std::string &path)
{
    const DWORD attributes = ::GetFileAttributesW(win32::Wide(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return std::nullopt;
    return TFileAttributes{(attributes & FILE_ATTRIBUTE_READONLY) != 0};
}

bool IsPlainFile(const std::string &path)
{
    const DWORD attributes = ::GetFileAttributesW(win32::Wide(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES &&
           !(attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE));
}

std::optional<TFileStamp> FileStamp(const std::string &path)
{
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExW(win32::Wide(path).c_str(), GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)))
        return std::nullopt;
    FILETIME now{};
    ::GetSystemTimeAsFileTime(&now);
    TFileStamp stamp{int64_t((uint64_t(data.nFileSizeHigh) << 32) | data.nFileSizeLow),
                     win32::UnixNanoseconds(data.ftLastWriteTime)};
    constexpr int64_t kSecond = 1000000000;
    stamp.Recent = win32::UnixNanoseconds(now) - stamp.Modified < 2 * kSecond;
    return stamp;
}

void ClearReadOnly(const std::string &path)
{
    const std::wstring name = win32::Wide(path);
    const DWORD attributes = ::GetFileAttributesW(name.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return;
    const DWORD cleared = attributes & ~DWORD(FILE_ATTRIBUTE_READONLY);
    ::SetFileAttributesW(name.c_str(), cleared == 0 ? FILE_ATTRIBUTE_NORMAL : cleared);
}

std::optional<int64_t> FreeSpace(const std::string &folder)
{
    ULARGE_INTEGER available{};
    if (!::GetDiskFreeSpaceExW(win32::Wide(folder).c_str(), &available, nullptr, nullptr))
        return std::nullopt;
    return int64_t(available.QuadPart);
}

bool RemoveFile(const std::string &path)
{
    const std::wstring name = win32::Wide(path);
    const DWORD attributes = ::GetFileAttributesW(name.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return false;
    return ::DeleteFileW(name.c_str()) != 0;
}

void RemoveFileOrRaise(const std::string &path)
{
    if (!::DeleteFileW(win32::Wide(path).c_str()))
        throw EKVBError("Cannot remove " + path + ": " + win32::SystemReason(::GetLastError()));
}

bool MoveAside(const std::string &path, const std::string &newPath)
{
    return ::MoveFileExW(win32::Wide(path).c_str(), win32::Wide(newPath).c_str(), 0) != 0;
}

} // namespace kvb
