#include "platform/win32/wide.h"

namespace kvb::win32 {

std::wstring Wide(const std::string &utf8)
{
    if (utf8.empty())
        return {};
    const int n = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), nullptr, 0);
    std::wstring out(size_t(n), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), out.data(), n);
    return out;
}

std::string Utf8(const wchar_t *utf16, size_t length)
{
    if (length == 0)
        return {};
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, utf16, int(length), nullptr, 0, nullptr, nullptr);
    std::string out(size_t(n), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, utf16, int(length), out.data(), n, nullptr, nullptr);
    return out;
}

std::string Utf8(const std::wstring &utf16)
{
    return Utf8(utf16.data(), utf16.size());
}

std::string SystemReason(DWORD error)
{
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND: return "it does not exist";
    case ERROR_ACCESS_DENIED: return "access is denied";
    case ERROR_WRITE_PROTECT: return "the file system is read-only";
    }
    std::string reason = SystemMessage(error);
    if (!reason.empty() && reason[0] >= 'A' && reason[0] <= 'Z')
        reason[0] = char(reason[0] - 'A' + 'a');
    return reason;
}

std::string CreateReason(DWORD error)
{
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND: return "its folder does not exist";
    case ERROR_ACCESS_DENIED: return "its folder cannot be written (access is denied)";
    }
    return SystemReason(error);
}

std::string SystemMessage(DWORD error)
{
    wchar_t *text = nullptr;
    const DWORD n = ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                         FORMAT_MESSAGE_IGNORE_INSERTS,
                                     nullptr, error, 0, reinterpret_cast<wchar_t *>(&text), 0, nullptr);
    if (n == 0 || !text)
        return "error " + std::to_string(error);
    std::string message = Utf8(text, n);
    ::LocalFree(text);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' ||
                                message.back() == ' ' || message.back() == '.'))
        message.pop_back();
    return message;
}

THandle::~THandle()
{
    Reset();
}

void THandle::Reset(HANDLE handle)
{
    if (Valid())
        ::CloseHandle(handle_);
    handle_ = handle;
}

} // namespace kvb::win32
