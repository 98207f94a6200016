#include "platform/output_file.h"

#include "platform/errors.h"
#include "platform/file_names.h"
#include "platform/paths.h"
#include "platform/random_name.h"
#include "platform/signals.h"
#include "platform/win32/wide.h"

#include <algorithm>
#include <vector>

namespace kvb {

namespace {

std::optional<TFileIdentity> IdentityOf(HANDLE file)
{
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(file, &info))
        return std::nullopt;
    return TFileIdentity{info.dwVolumeSerialNumber,
                         (uint64_t(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
}

// Opens what stands at name for nothing but looking at it; a link itself unless follow.
win32::THandle Look(const std::wstring &name, bool follow)
{
    const DWORD flags = FILE_FLAG_BACKUP_SEMANTICS | (follow ? 0 : FILE_FLAG_OPEN_REPARSE_POINT);
    return win32::THandle(::CreateFileW(name.c_str(), 0,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                        OPEN_EXISTING, flags, nullptr));
}

// Renames the open file to name, in its own folder, replacing what stands there even while others hold it open
// (the archive a rebuild reads, say): the rename of POSIX semantics, which Windows 10 has. The
// structure is spelled out since the headers offer it only to programs for Windows 10 alone.
bool RenameOverOpenFile(HANDLE file, const std::wstring &name)
{
    struct RenameInfo {
        DWORD Flags;
        HANDLE RootDirectory;
        DWORD FileNameLength;
        WCHAR FileName[1];
    };
    constexpr auto kFileRenameInfoEx = FILE_INFO_BY_HANDLE_CLASS(22);
    constexpr DWORD kReplaceIfExists = 0x1, kPosixSemantics = 0x2;
    std::vector<char> buffer(sizeof(RenameInfo) + name.size() * sizeof(WCHAR));
    auto *info = reinterpret_cast<RenameInfo *>(buffer.data());
    info->Flags = kReplaceIfExists | kPosixSemantics;
    info->RootDirectory = nullptr;
    info->FileNameLength = DWORD(name.size() * sizeof(WCHAR));
    std::copy(name.begin(), name.end(), info->FileName);
    return ::SetFileInformationByHandle(file, kFileRenameInfoEx, info, DWORD(buffer.size()));
}

// name, when it names a file in folder and nothing else, whatever the caller checked.
const std::string &PlainFileName(const TOpenFolder &folder, const std::string &name)
{
    if (!IsPlainFileName(name))
        throw EFCreateError(JoinPath(folder.Path(), name),
                            "it is not the name of a file in " + folder.Path());
    return name;
}

// What stands at a name that is no file on a disk: Windows opens a device (NUL, CON, COM1) or a
// pipe under it, and what is written there is lost or sent on.
std::string WhatStandsThere(HANDLE handle)
{
    return ::GetFileType(handle) == FILE_TYPE_PIPE ? "it is a pipe" : "it is a device";
}

// A device's name (NUL, nul.txt, \\.\CON) is refused before anything opens it: opening some
// devices already does something, and the exclusive create that makes a new file opens a
// device all the same.
void RefuseDeviceName(const std::string &target)
{
    if (IsWindowsDeviceName(FileNameOf(target)))
        throw EFCreateError(target, "it is a device");
}

bool IsMissing(DWORD error)
{
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

// Removes the file at name when it is a temporary file of ours that no program holds any more:
// a writer keeps its file open from creation to its last step, and a handle that shares
// nothing cannot be opened while it does.
void RemoveLeftover(const std::wstring &name)
{
    const DWORD attributes = ::GetFileAttributesW(name.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES ||
        (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)))
        return;
    win32::THandle(::CreateFileW(name.c_str(), GENERIC_READ | DELETE, 0, nullptr, OPEN_EXISTING,
                                 FILE_FLAG_DELETE_ON_CLOSE | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
}

} // namespace

struct TOutputFile::State {
    std::string target;
    TOutputKind kind = TOutputKind::Whole;
    std::string hidden;  // the temporary file's name until Commit
    bool direct = false; // created in place: nothing stood at the target
    bool replacing = false;
    win32::THandle editorLock;           // an archive being replaced, kept from editors until it is
    TFileStream *lockedTarget = nullptr; // the same, held by the caller
    bool committed = false;
    std::unique_ptr<TFileStream> stream;

    // The temporary file's name: the same for every writer of the target, so that the next
    // one finds what a killed one left; another name only while a live writer holds that one.
    std::string HiddenName(bool shared) const
    {
        return JoinPath(ParentFolderOf(target),
                        '.' + FileNameOf(target) + ".kvb-new" + (shared ? "" : '-' + RandomName(8)));
    }
};

TOpenFolder::TOpenFolder(const std::string &path) : path_(path)
{
    const DWORD attributes = ::GetFileAttributesW(win32::Wide(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
        throw EKVBError("Cannot open folder " + path);
}

TOpenFolder::~TOpenFolder() = default;

TOutputFile::TOutputFile(const TOpenFolder &folder, const std::string &name, TOutputKind kind,
                         const std::vector<const TFileStream *> &sources)
    : TOutputFile(JoinPath(folder.Path(), PlainFileName(folder, name)), kind, sources)
{
}

TOutputFile::TOutputFile(const std::string &target, TOutputKind kind,
                         const std::vector<const TFileStream *> &sources, TFileStream *lockedTarget)
    : state_(std::make_unique<State>())
{
    State &s = *state_;
    s.target = target;
    s.kind = kind;
    s.lockedTarget = lockedTarget;
    RefuseDeviceName(target);
    const std::wstring wideTarget = win32::Wide(target);
    // Shared for deleting, so that Commit can rename the open file into place.
    constexpr DWORD kShare = FILE_SHARE_READ | FILE_SHARE_DELETE;

    if (kind == TOutputKind::PartialWhereNew) {
        HANDLE file = ::CreateFileW(wideTarget.c_str(), GENERIC_READ | GENERIC_WRITE, kShare, nullptr,
                                    CREATE_NEW, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT,
                                    nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            // A name that leads to a device all the same ("NUL:", a path in the device space).
            if (::GetFileType(file) != FILE_TYPE_DISK) {
                const std::string what = WhatStandsThere(file);
                ::CloseHandle(file);
                throw EFCreateError(target, what);
            }
            s.direct = true;
            s.stream = std::make_unique<TFileStream>(reinterpret_cast<TFileHandle>(file), target);
            return;
        }
        if (const DWORD error = ::GetLastError();
            error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS)
            throw EFCreateError(target, win32::CreateReason(error));
    }

    // What stands at the target, the link itself and not what it leads to.
    const DWORD attributes = ::GetFileAttributesW(wideTarget.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        s.replacing = true;
        auto refuseIfRead = [&](const std::optional<TFileIdentity> &identity) {
            for (const TFileStream *source : sources)
                if (identity && source && source->Identity() == *identity)
                    throw EFCreateError(target,
                                        "it is " + source->FileName() + ", which this operation reads");
        };
        win32::THandle here = Look(wideTarget, false);
        if (!here.Valid())
            throw EFCreateError(target, win32::SystemReason(::GetLastError()));
        if (::GetFileType(here.Get()) != FILE_TYPE_DISK)
            throw EFCreateError(target, WhatStandsThere(here.Get()));
        refuseIfRead(IdentityOf(here.Get()));
        if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
            // Replaced, never followed; but a link to the file being read is refused as well,
            // since whoever planted it meant that file.
            win32::THandle led = Look(wideTarget, true);
            if (led.Valid())
                refuseIfRead(IdentityOf(led.Get()));
        } else if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
            throw EFCreateError(target, "it is a folder");
        } else {
            if (attributes & FILE_ATTRIBUTE_READONLY)
                throw EFCreateError(target, "it is read-only");
            if (kind == TOutputKind::Archive || kind == TOutputKind::Durable) {
                // Sharing no writing: refused while an editor holds the file, and no editor
                // gets in until the new file has replaced it.
                s.editorLock.Reset(::CreateFileW(wideTarget.c_str(), GENERIC_READ, kShare, nullptr,
                                                 OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
                if (!s.editorLock.Valid()) {
                    const DWORD error = ::GetLastError();
                    if (error == ERROR_SHARING_VIOLATION)
                        throw EFOpenError(target, "another program is editing it");
                    throw EFCreateError(target, win32::SystemReason(error));
                }
            }
        }
    } else if (const DWORD error = ::GetLastError(); !IsMissing(error)) {
        throw EFCreateError(target, win32::CreateReason(error));
    }

    // The new content goes into a hidden file of its own in the target's folder, so that it can
    // take the target's place in one step.
    HANDLE file = INVALID_HANDLE_VALUE;
    for (int attempt = 0; file == INVALID_HANDLE_VALUE && attempt < 100; ++attempt) {
        s.hidden = s.HiddenName(attempt == 0);
        if (attempt == 0)
            RemoveLeftover(win32::Wide(s.hidden));
        file = ::CreateFileW(win32::Wide(s.hidden).c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, kShare,
                             nullptr, CREATE_NEW, FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_TEMPORARY,
                             nullptr);
        if (file == INVALID_HANDLE_VALUE && ::GetLastError() != ERROR_FILE_EXISTS)
            break;
    }
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        s.hidden.clear();
        throw EFCreateError(target, win32::CreateReason(error));
    }
    s.stream = std::make_unique<TFileStream>(reinterpret_cast<TFileHandle>(file), s.hidden);
}

TOutputFile::~TOutputFile()
{
    State &s = *state_;
    if (!s.committed) {
        s.stream.reset();
        if (!s.hidden.empty())
            ::DeleteFileW(win32::Wide(s.hidden).c_str());
    }
}

TFileStream &TOutputFile::Stream()
{
    return *state_->stream;
}

std::string TOutputFile::NameForLibraries() const
{
    const State &s = *state_;
    return s.direct ? s.target : s.hidden;
}

void TOutputFile::Commit()
{
    State &s = *state_;
    TStopRequestsDeferred deferred;
    const bool durable = s.kind == TOutputKind::Durable ||
                         (s.kind == TOutputKind::Archive && s.replacing);
    if (durable)
        s.stream->Flush();
    if (!s.hidden.empty()) {
        // The file is hidden only while it is incomplete.
        FILE_BASIC_INFO basic{};
        basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
        ::SetFileInformationByHandle(reinterpret_cast<HANDLE>(s.stream->Handle()), FileBasicInfo, &basic,
                                     sizeof basic);
        // The rename of POSIX semantics replaces the target while editors are still kept out;
        // the classic one cannot replace a file that is open, even by the one that holds it.
        const std::wstring target = win32::Wide(s.target);
        const DWORD flags = (s.replacing ? MOVEFILE_REPLACE_EXISTING : 0) |
                            (durable ? MOVEFILE_WRITE_THROUGH : 0);
        bool placed = s.replacing && RenameOverOpenFile(reinterpret_cast<HANDLE>(s.stream->Handle()),
                                                        win32::Wide(FileNameOf(s.target)));
        if (!placed) {
            s.editorLock.Reset();
            if (s.lockedTarget)
                s.lockedTarget->Close();
            placed = ::MoveFileExW(win32::Wide(s.hidden).c_str(), target.c_str(), flags);
        }
        if (!placed)
            // The destructor removes the hidden file.
            throw EFCreateError(s.target, win32::CreateReason(::GetLastError()));
        s.hidden.clear();
    }
    s.committed = true;
    s.stream->Close();
}

} // namespace kvb
