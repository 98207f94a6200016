// The one pair of conversions between the program's UTF-8 and the UTF-16 of the Win32 calls:
// every path and text crossing into Windows passes through them.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

namespace kvb::win32 {

std::wstring Wide(const std::string &utf8);
std::string Utf8(const std::wstring &utf16);
std::string Utf8(const wchar_t *utf16, size_t length);

// The system's text for error (GetLastError()), without the trailing line break.
std::string SystemMessage(DWORD error);
// The same as a clause of a message: its first letter small, and the common ones in the words
// the other systems use too.
std::string SystemReason(DWORD error);
// Why a file could not be made (or put in place) in its folder, in the words the other systems
// use: the folder is what was missing or refused, not the file.
std::string CreateReason(DWORD error);

// A FILETIME (100 ns steps since 1601) as nanoseconds since 1970, as the other systems count.
inline int64_t UnixNanoseconds(const FILETIME &time)
{
    constexpr int64_t kFrom1601To1970 = 116444736000000000;
    return (int64_t((uint64_t(time.dwHighDateTime) << 32) | time.dwLowDateTime) - kFrom1601To1970) * 100;
}

// Owns a HANDLE from CreateFileW or FindFirstFileExW.
class THandle {
public:
    explicit THandle(HANDLE handle = INVALID_HANDLE_VALUE) : handle_(handle) {}
    ~THandle();
    THandle(const THandle &) = delete;
    THandle &operator=(const THandle &) = delete;
    bool Valid() const { return handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr; }
    HANDLE Get() const { return handle_; }
    HANDLE Release()
    {
        HANDLE h = handle_;
        handle_ = INVALID_HANDLE_VALUE;
        return h;
    }
    void Reset(HANDLE handle = INVALID_HANDLE_VALUE);

private:
    HANDLE handle_;
};

} // namespace kvb::win32
