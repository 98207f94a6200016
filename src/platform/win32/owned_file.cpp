#include "platform/owned_file.h"

#include "platform/errors.h"
#include "platform/paths.h"
#include "platform/win32/wide.h"

#include <aclapi.h>

namespace kvb {

namespace {

TOwnersFile With(TOwnersFile::Status state, std::string why = {})
{
    TOwnersFile file;
    file.State = state;
    file.Why = std::move(why);
    return file;
}

// Whether the two open files have the same owner; true when the system does not tell (a file
// system without owners, such as FAT).
bool SameOwner(HANDLE a, HANDLE b)
{
    PSID ownerA = nullptr, ownerB = nullptr;
    PSECURITY_DESCRIPTOR sdA = nullptr, sdB = nullptr;
    const bool known = ::GetSecurityInfo(a, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &ownerA, nullptr,
                                         nullptr, nullptr, &sdA) == ERROR_SUCCESS &&
                       ::GetSecurityInfo(b, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &ownerB, nullptr,
                                         nullptr, nullptr, &sdB) == ERROR_SUCCESS &&
                       ownerA && ownerB;
    const bool same = !known || ::EqualSid(ownerA, ownerB);
    if (sdA)
        ::LocalFree(sdA);
    if (sdB)
        ::LocalFree(sdB);
    return same;
}

} // namespace

TOwnersFile OpenOwnersFile(const std::string &path, const TFileStream &file)
{
    const std::wstring name = win32::Wide(path);
    const DWORD attributes = ::GetFileAttributesW(name.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = ::GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
            return With(TOwnersFile::Status::Missing);
        return With(TOwnersFile::Status::Unreadable, win32::SystemReason(error));
    }
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
        return With(TOwnersFile::Status::NotTrusted, "it is a link");
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)
        return With(TOwnersFile::Status::NotTrusted, "it is a folder");
    // The link itself, were one put there since the look above, never what it leads to.
    win32::THandle opened(::CreateFileW(name.c_str(), GENERIC_READ | READ_CONTROL,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                        OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!opened.Valid())
        return With(TOwnersFile::Status::Unreadable, win32::SystemReason(::GetLastError()));
    BY_HANDLE_FILE_INFORMATION info{};
    if (::GetFileType(opened.Get()) != FILE_TYPE_DISK ||
        !::GetFileInformationByHandle(opened.Get(), &info) ||
        (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)))
        return With(TOwnersFile::Status::NotTrusted, "it is not a plain file");
    if (!SameOwner(opened.Get(), reinterpret_cast<HANDLE>(file.Handle())))
        return With(TOwnersFile::Status::NotTrusted, "it belongs to another user than the archive does");
    TOwnersFile result = With(TOwnersFile::Status::Opened);
    result.Stream = std::make_unique<TFileStream>(reinterpret_cast<TFileHandle>(opened.Release()), path);
    return result;
}

void GiveOwnerOf(const TFileStream &, TFileStream &)
{
    // An administrator's files on Windows are owned by the Administrators group, which the
    // archive's owner may not be part of; records are left as the system makes them.
}

std::optional<std::string> WhyNotWritableWhereItIs(const std::string &path)
{
    const std::wstring name = win32::Wide(path);
    win32::THandle file(::CreateFileW(name.c_str(), GENERIC_WRITE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid()) {
        const DWORD error = ::GetLastError();
        // Held by an editor is not "cannot be written where it is".
        if (error != ERROR_SHARING_VIOLATION)
            return win32::SystemReason(error);
    }
    return std::nullopt;
}

} // namespace kvb
