#include "platform/output_file.h"

#include "platform/errors.h"
#include "platform/file_names.h"
#include "platform/paths.h"
#include "platform/posix/file_kind.h"
#include "platform/random_name.h"
#include "platform/signals.h"

#include <cerrno>
#include <fcntl.h>
#include <functional>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kvb {

namespace {

TFileIdentity IdentityOf(const struct stat &st)
{
    return TFileIdentity{uint64_t(st.st_dev), uint64_t(st.st_ino)};
}

// An unnamed file can only be given a name through /proc; without it the temporary file has a
// hidden name from the start.
bool CanNameUnnamedFiles()
{
    static const bool can = ::access("/proc/self/fd", X_OK) == 0;
    return can;
}

std::string ProcPath(TFileHandle fd)
{
    return "/proc/self/fd/" + std::to_string(fd);
}

// Removes the file at name in folder at when it is a temporary file of ours that no program
// holds any more: a writer holds its file locked from creation to its last step.
void RemoveLeftover(int at, const std::string &name)
{
    const int fd = ::openat(at, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return;
    struct stat opened {
    }, named{};
    if (::fstat(fd, &opened) == 0 && S_ISREG(opened.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0 &&
        ::fstatat(at, name.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 &&
        IdentityOf(named) == IdentityOf(opened))
        ::unlinkat(at, name.c_str(), 0);
    ::close(fd);
}

} // namespace

TOpenFolder::TOpenFolder(const std::string &path) : path_(path)
{
    // Only looked up through, never read or written itself.
    handle_ = ::open(path.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (handle_ < 0)
        throw EKVBError("Cannot open folder " + path);
}

TOpenFolder::~TOpenFolder()
{
    ::close(int(handle_));
}

struct TOutputFile::State {
    std::string target; // as messages name it
    int at = AT_FDCWD;  // the folder that name, folder and hidden are relative to
    std::string name;   // the target
    std::string folder; // the target's folder, where the temporary file lives; found only
                        // once a temporary file is needed
    std::string base;   // the path of the folder at stands for, when it is not the current one
    TOutputKind kind = TOutputKind::Whole;
    std::string hidden;   // the hidden name of a temporary file that has one
    bool direct = false;  // created in place: nothing stood at the target
    bool unnamed = false; // the temporary file has no name until Commit
    bool replacing = false;
    mode_t keepMode = 0;
    int editorLock = -1; // an archive being replaced, locked against editors until it is
    bool committed = false;
    std::unique_ptr<TFileStream> stream;

    // The temporary file's name: the same for every writer of the target, so that the next
    // one finds what a killed one left; another name only while a live writer holds that one.
    std::string HiddenName(bool shared) const
    {
        return JoinPath(folder,
                        "." + FileNameOf(name) + ".kvb-new" + (shared ? "" : "-" + RandomName(8)));
    }
    // Finds a hidden name for the temporary file that make (which creates or links it, and
    // fails with EEXIST where something stands) takes; false when none could be taken.
    bool TakeHiddenName(const std::function<bool(const char *name)> &make);

    // A name relative to at as seen from anywhere.
    std::string Shown(const std::string &relative) const
    {
        return at == AT_FDCWD ? relative : JoinPath(base, relative);
    }

    void Open(const std::vector<const TFileStream *> &sources, bool targetLocked);
};

bool TOutputFile::State::TakeHiddenName(const std::function<bool(const char *name)> &make)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        hidden = HiddenName(attempt == 0);
        if (attempt == 0)
            RemoveLeftover(at, hidden);
        if (make(hidden.c_str()))
            return true;
        if (errno != EEXIST)
            break;
    }
    hidden.clear();
    return false;
}

TOutputFile::TOutputFile(const std::string &target, TOutputKind kind,
                         const std::vector<const TFileStream *> &sources, TFileStream *lockedTarget)
    : state_(std::make_unique<State>())
{
    State &s = *state_;
    s.target = target;
    s.name = target;
    s.kind = kind;
    s.Open(sources, lockedTarget != nullptr);
}

TOutputFile::TOutputFile(const TOpenFolder &folder, const std::string &name, TOutputKind kind,
                         const std::vector<const TFileStream *> &sources)
    : state_(std::make_unique<State>())
{
    State &s = *state_;
    s.target = JoinPath(folder.Path(), name);
    // Whatever the caller checked: a name relative to the folder may not lead out of it.
    if (!IsPlainFileName(name))
        throw EFCreateError(s.target, "it is not the name of a file in " + folder.Path());
    s.at = int(folder.Handle());
    s.base = folder.Path();
    s.name = name;
    s.folder = ".";
    s.kind = kind;
    s.Open(sources, false);
}

void TOutputFile::State::Open(const std::vector<const TFileStream *> &sources, bool targetLocked)
{
    TreatFileSizeLimitAsWriteError();

    // The fast path: nothing stands there yet, and one exclusive create makes the file. It
    // follows no link and opens no pipe; anything standing there takes the checks below.
    if (kind == TOutputKind::PartialWhereNew) {
        int fd = ::openat(at, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd >= 0) {
            direct = true;
            stream = std::make_unique<TFileStream>(fd, target);
            return;
        }
        if (errno != EEXIST)
            throw EFCreateError(target, CreateReason(errno));
    }

    // What stands at the target, the link itself and not what it leads to.
    struct stat here {};
    if (::fstatat(at, name.c_str(), &here, AT_SYMLINK_NOFOLLOW) == 0) {
        replacing = true;
        auto refuseIfRead = [&](const TFileIdentity &identity) {
            for (const TFileStream *source : sources)
                if (source && source->Identity() == identity)
                    throw EFCreateError(target,
                                        "it is " + source->FileName() + ", which this operation reads");
        };
        refuseIfRead(IdentityOf(here));
        if (S_ISLNK(here.st_mode)) {
            // Replaced, never followed; but a link to the file being read is refused as well,
            // since whoever planted it meant that file.
            struct stat led {};
            if (::fstatat(at, name.c_str(), &led, 0) == 0)
                refuseIfRead(IdentityOf(led));
        } else if (!S_ISREG(here.st_mode)) {
            throw EFCreateError(target, WhatItIs(here.st_mode));
        } else {
            // Writing over the file would need its write permission; replacing it does too.
            if (::faccessat(at, name.c_str(), W_OK, 0) != 0)
                throw EFCreateError(target, errno == EACCES || errno == EROFS ? "it is read-only"
                                                                              : "it cannot be written");
            keepMode = here.st_mode & 07777;
            if ((kind == TOutputKind::Archive || kind == TOutputKind::Durable) && !targetLocked) {
                editorLock = ::openat(at, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
                if (editorLock >= 0 && ::flock(editorLock, LOCK_EX | LOCK_NB) != 0) {
                    ::close(editorLock);
                    editorLock = -1;
                    throw EFOpenError(target, "another program is editing it");
                }
            }
        }
    } else if (errno != ENOENT) {
        throw EFCreateError(target, CreateReason(errno));
    }

    // The new content goes into a file of its own in the target's folder (so that it can take
    // the target's place in one step): unnamed where the system allows, so that no interruption,
    // kill -9 included, can leave it behind.
    if (folder.empty()) {
        const std::string parent = ParentFolderOf(name);
        folder = parent.empty() ? std::string(".") : parent;
    }
    int fd = -1;
    if (CanNameUnnamedFiles()) {
        fd = ::openat(at, folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
        unnamed = fd >= 0;
        // A killed writer's hidden file goes now, not only when this one needs the name.
        if (unnamed)
            RemoveLeftover(at, HiddenName(true));
    }
    if (fd < 0)
        TakeHiddenName([&](const char *hiddenName) {
            fd = ::openat(at, hiddenName, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            return fd >= 0;
        });
    if (fd < 0) {
        const int error = errno;
        if (editorLock >= 0)
            ::close(editorLock);
        editorLock = -1;
        throw EFCreateError(target, CreateReason(error));
    }
    // Held for the file's whole life, so that no other writer takes it for a leftover.
    ::flock(fd, LOCK_EX);
    if (kind == TOutputKind::Durable) {
        // Trusted later only as long as no one but its owner can have changed it.
        struct stat made {};
        if (::fstat(fd, &made) == 0)
            ::fchmod(fd, (keepMode != 0 ? keepMode : made.st_mode & 07777) & ~mode_t(S_IWGRP | S_IWOTH));
    } else if (keepMode != 0) {
        ::fchmod(fd, keepMode);
    }
    stream = std::make_unique<TFileStream>(fd, unnamed ? target : Shown(hidden));
}

TOutputFile::~TOutputFile()
{
    State &s = *state_;
    if (!s.committed) {
        s.stream.reset();
        if (!s.hidden.empty())
            ::unlinkat(s.at, s.hidden.c_str(), 0);
    }
    if (s.editorLock >= 0)
        ::close(s.editorLock);
}

TFileStream &TOutputFile::Stream()
{
    return *state_->stream;
}

std::string TOutputFile::NameForLibraries() const
{
    const State &s = *state_;
    if (s.unnamed)
        return ProcPath(s.stream->Handle());
    return s.direct ? s.target : s.Shown(s.hidden);
}

void TOutputFile::Commit()
{
    State &s = *state_;
    if (s.direct) {
        s.committed = true;
        s.stream->Close();
        return;
    }
    // From here the file is put in place whole; a request to stop waits for that.
    TStopRequestsDeferred deferred;
    // Where nothing stood, nothing is lost if a power cut takes the new file too.
    const bool durable = s.kind == TOutputKind::Durable ||
                         (s.kind == TOutputKind::Archive && s.replacing);
    if (durable)
        s.stream->Flush();

    if (s.unnamed) {
        const std::string from = ProcPath(s.stream->Handle());
        bool placed = false;
        if (!s.replacing) {
            placed = ::linkat(AT_FDCWD, from.c_str(), s.at, s.name.c_str(), AT_SYMLINK_FOLLOW) == 0;
            if (!placed && errno != EEXIST)
                throw EFCreateError(s.target, CreateReason(errno));
        }
        // A link never replaces a name; a rename does, in one step. So the file gets a hidden
        // name first, for the moment between the two calls.
        if (!placed && !s.TakeHiddenName([&](const char *hiddenName) {
                return ::linkat(AT_FDCWD, from.c_str(), s.at, hiddenName, AT_SYMLINK_FOLLOW) == 0;
            }))
            throw EFCreateError(s.target, CreateReason(errno));
    }
    if (!s.hidden.empty()) {
        if (::renameat(s.at, s.hidden.c_str(), s.at, s.name.c_str()) != 0)
            // The destructor removes the hidden file.
            throw EFCreateError(s.target, CreateReason(errno));
        s.hidden.clear();
    }
    s.committed = true;
    s.stream->Close();

    if (durable) {
        // The new name has to reach the disk as well as the content.
        int folder = ::openat(s.at, s.folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (folder >= 0) {
            ::fsync(folder);
            ::close(folder);
        }
    }
    if (s.editorLock >= 0) {
        ::close(s.editorLock);
        s.editorLock = -1;
    }
}

} // namespace kvb
