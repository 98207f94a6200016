#include "platform/stream.h"

#include "platform/errors.h"
#include "platform/file_names.h"
#include "platform/output_file.h"
#include "platform/paths.h"
#include "platform/win32/wide.h"

#include <algorithm>

namespace kvb {

namespace {

// One call moves at most this much, well inside what a DWORD count holds.
constexpr int64_t kChunk = int64_t(1) << 30;

HANDLE Native(TFileHandle handle)
{
    return reinterpret_cast<HANDLE>(handle);
}

OVERLAPPED At(int64_t position)
{
    OVERLAPPED at{};
    at.Offset = DWORD(uint64_t(position) & 0xFFFFFFFFu);
    at.OffsetHigh = DWORD(uint64_t(position) >> 32);
    return at;
}

// A failed write, resize or flush of file: the system's reason, and the file.
EWriteError WriteFailed(const std::string &file, const char *doing, DWORD error)
{
    return EWriteError(
        std::string(doing) + " " + file + ": " +
        (error == 0 ? std::string("the system wrote nothing") : win32::SystemReason(error)));
}

const char *KindOfNonDiskFile(DWORD type)
{
    return type == FILE_TYPE_PIPE ? "it is a pipe (FIFO)" : "it is a device";
}

} // namespace

namespace {

std::string PathIn(const TOpenFolder &folder, const std::string &name)
{
    const std::string path = JoinPath(folder.Path(), name);
    if (!IsPlainFileName(name))
        throw EFOpenError(path, "it is not a plain file name");
    return path;
}

} // namespace

TFileStream::TFileStream(const TOpenFolder &folder, const std::string &name, bool followLinks)
    : fileName_(PathIn(folder, name))
{
    Open(kNoFileHandle, fileName_, Mode::OpenRead, followLinks);
}

TFileStream::TFileStream(const std::string &fileName, Mode mode) : fileName_(fileName)
{
    Open(kNoFileHandle, fileName, mode);
}

void TFileStream::Open(TFileHandle, const std::string &fileName, Mode mode, bool followLinks)
{
    const std::wstring name = win32::Wide(fileName);
    const DWORD attributes = ::GetFileAttributesW(name.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
        throw EFOpenError(fileName, "it is a folder");
    // Readers let everyone in; an editor lets others read but no one else write, so that a
    // second editor is refused by the system itself. A locked reader shares deleting as well,
    // so that the rebuilt archive can take its place while it still keeps editors out.
    const DWORD access = mode == Mode::OpenReadWrite ? GENERIC_READ | GENERIC_WRITE : GENERIC_READ;
    const DWORD share = mode == Mode::OpenRead ? FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE
                        : mode == Mode::OpenReadLocked ? FILE_SHARE_READ | FILE_SHARE_DELETE
                                                       : FILE_SHARE_READ;
    // Without followLinks the link itself is opened, and refused below.
    const DWORD flags = FILE_ATTRIBUTE_NORMAL | (followLinks ? 0 : FILE_FLAG_OPEN_REPARSE_POINT);
    win32::THandle file(
        ::CreateFileW(name.c_str(), access, share, nullptr, OPEN_EXISTING, flags, nullptr));
    if (!file.Valid()) {
        const DWORD error = ::GetLastError();
        if (mode != Mode::OpenRead && error == ERROR_SHARING_VIOLATION)
            throw EFOpenError(fileName, "another program is editing it");
        throw EFOpenError(fileName, win32::SystemReason(error));
    }
    if (const DWORD type = ::GetFileType(file.Get()); type != FILE_TYPE_DISK)
        throw EFOpenError(fileName, KindOfNonDiskFile(type));
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(file.Get(), &info))
        throw EFOpenError(fileName);
    if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        throw EFOpenError(fileName, "it is a folder");
    if (!followLinks && (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
        throw EFOpenError(fileName, "it is a link");
    openedSize_ = int64_t((uint64_t(info.nFileSizeHigh) << 32) | info.nFileSizeLow);
    identity_ = TFileIdentity{info.dwVolumeSerialNumber,
                              (uint64_t(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
    handle_ = reinterpret_cast<TFileHandle>(file.Release());
}

TFileStream::TFileStream(TFileHandle handle, const std::string &fileName)
    : fileName_(fileName),
      handle_(handle)
{
}

TFileStream::~TFileStream()
{
    if (handle_ != kNoFileHandle)
        ::CloseHandle(Native(handle_));
}

void TFileStream::Close()
{
    const TFileHandle handle = handle_;
    handle_ = kNoFileHandle;
    if (handle != kNoFileHandle && !::CloseHandle(Native(handle)))
        throw WriteFailed(fileName_, "Closing", ::GetLastError());
}

int64_t TFileStream::ReadAt(int64_t position, void *buffer, int64_t count) const
{
    auto *out = static_cast<char *>(buffer);
    int64_t done = 0;
    while (done < count) {
        OVERLAPPED at = At(position + done);
        DWORD n = 0;
        if (!::ReadFile(Native(handle_), out + done, DWORD(std::min(count - done, kChunk)), &n, &at)) {
            if (::GetLastError() == ERROR_HANDLE_EOF)
                break;
            throw EReadError();
        }
        if (n == 0)
            break;
        done += n;
    }
    return done;
}

void TFileStream::WriteAt(int64_t position, const void *buffer, int64_t count)
{
    if (FileWriteHook)
        FileWriteHook("write");
    const auto *in = static_cast<const char *>(buffer);
    int64_t done = 0;
    while (done < count) {
        OVERLAPPED at = At(position + done);
        DWORD n = 0;
        if (!::WriteFile(Native(handle_), in + done, DWORD(std::min(count - done, kChunk)), &n, &at))
            throw WriteFailed(fileName_, "Writing", ::GetLastError());
        if (n == 0)
            throw WriteFailed(fileName_, "Writing", 0);
        done += n;
    }
}

int64_t TFileStream::CopyFrom(const TFileStream &, int64_t, int64_t, int64_t)
{
    // Windows copies between open files only through the process; the caller's buffer does it.
    if (FileWriteHook)
        FileWriteHook("copy");
    return 0;
}

TFileIdentity TFileStream::Identity() const
{
    if (!identity_) {
        BY_HANDLE_FILE_INFORMATION info{};
        if (!::GetFileInformationByHandle(Native(handle_), &info))
            throw EReadError();
        identity_ = TFileIdentity{info.dwVolumeSerialNumber,
                                  (uint64_t(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
    }
    return *identity_;
}

TFileStamp TFileStream::Stamp() const
{
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(Native(handle_), &info))
        throw EReadError();
    return TFileStamp{int64_t((uint64_t(info.nFileSizeHigh) << 32) | info.nFileSizeLow),
                      win32::UnixNanoseconds(info.ftLastWriteTime)};
}

int64_t TFileStream::LinkCount() const
{
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(Native(handle_), &info))
        throw EReadError();
    return int64_t(info.nNumberOfLinks);
}

int64_t TFileStream::Size() const
{
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(Native(handle_), &size))
        throw EReadError();
    return size.QuadPart;
}

void TFileStream::SetSize(int64_t size)
{
    if (FileWriteHook)
        FileWriteHook("resize");
    FILE_END_OF_FILE_INFO end{};
    end.EndOfFile.QuadPart = size;
    if (!::SetFileInformationByHandle(Native(handle_), FileEndOfFileInfo, &end, sizeof end))
        throw WriteFailed(fileName_, "Setting the size of", ::GetLastError());
}

void TFileStream::Flush()
{
    if (FileWriteHook)
        FileWriteHook("flush");
    if (!::FlushFileBuffers(Native(handle_)))
        throw WriteFailed(fileName_, "Flushing", ::GetLastError());
}

} // namespace kvb
