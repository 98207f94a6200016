#include "platform/output_file.h"

#include "platform/errors.h"
#include "platform/random_name.h"
#include "platform/posix/file_kind.h"
#include "platform/signals.h"

#include <cerrno>
#include <fcntl.h>
#include <filesystem>
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

} // namespace

struct TOutputFile::State {
    std::string target;
    TOutputKind kind = TOutputKind::Whole;
    std::string folder;    // the target's folder, where the temporary file lives
    std::string hidden;    // the hidden name of a temporary file that has one
    bool direct = false;   // created in place: nothing stood at the target
    bool unnamed = false;  // the temporary file has no name until Commit
    bool replacing = false;
    mode_t keepMode = 0;
    int editorLock = -1;   // an archive being replaced, locked against editors until it is
    bool committed = false;
    std::unique_ptr<TFileStream> stream;

    std::string HiddenName() const
    {
        return (std::filesystem::path(folder) /
                ("." + std::filesystem::path(target).filename().string() + "." + RandomName(8)))
            .string();
    }
};

TOutputFile::TOutputFile(const std::string &target, TOutputKind kind,
                         const std::vector<const TFileStream *> &sources)
    : state_(std::make_unique<State>())
{
    TreatFileSizeLimitAsWriteError();
    State &s = *state_;
    s.target = target;
    s.kind = kind;

    // The fast path: nothing stands there yet, and one exclusive create makes the file. It
    // follows no link and opens no pipe; anything standing there takes the checks below.
    if (kind == TOutputKind::PartialWhereNew) {
        int fd = ::open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd >= 0) {
            s.direct = true;
            s.stream = std::make_unique<TFileStream>(fd, target);
            return;
        }
        if (errno != EEXIST)
            throw EFCreateError(target);
    }

    // What stands at the target, the link itself and not what it leads to.
    struct stat here {};
    if (::lstat(target.c_str(), &here) == 0) {
        s.replacing = true;
        auto refuseIfRead = [&](const TFileIdentity &identity) {
            for (const TFileStream *source : sources)
                if (source && source->Identity() == identity)
                    throw EFCreateError(target, "it is " + source->FileName() +
                                                    ", which this operation reads");
        };
        refuseIfRead(IdentityOf(here));
        if (S_ISLNK(here.st_mode)) {
            // Replaced, never followed; but a link to the file being read is refused as well,
            // since whoever planted it meant that file.
            struct stat led {};
            if (::stat(target.c_str(), &led) == 0)
                refuseIfRead(IdentityOf(led));
        } else if (!S_ISREG(here.st_mode)) {
            throw EFCreateError(target, WhatItIs(here.st_mode));
        } else {
            // Writing over the file would need its write permission; replacing it does too.
            if (::access(target.c_str(), W_OK) != 0)
                throw EFCreateError(target, errno == EACCES || errno == EROFS
                                                ? "it is read-only"
                                                : "it cannot be written");
            s.keepMode = here.st_mode & 07777;
            if (kind == TOutputKind::Archive || kind == TOutputKind::Durable) {
                s.editorLock = ::open(target.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
                if (s.editorLock >= 0 && ::flock(s.editorLock, LOCK_EX | LOCK_NB) != 0) {
                    ::close(s.editorLock);
                    s.editorLock = -1;
                    throw EFOpenError(target);
                }
            }
        }
    } else if (errno != ENOENT) {
        throw EFCreateError(target);
    }

    // The new content goes into a file of its own in the target's folder (so that it can take
    // the target's place in one step): unnamed where the system allows, so that no interruption,
    // kill -9 included, can leave it behind.
    std::filesystem::path parent = std::filesystem::path(target).parent_path();
    s.folder = parent.empty() ? std::string(".") : parent.string();
    int fd = -1;
    if (CanNameUnnamedFiles()) {
        fd = ::open(s.folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
        s.unnamed = fd >= 0;
    }
    for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
        s.hidden = s.HiddenName();
        fd = ::open(s.hidden.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    if (fd < 0) {
        s.hidden.clear();
        if (s.editorLock >= 0)
            ::close(s.editorLock);
        throw EFCreateError(target);
    }
    if (s.keepMode != 0)
        ::fchmod(fd, s.keepMode);
    s.stream = std::make_unique<TFileStream>(fd, s.unnamed ? target : s.hidden);
}

TOutputFile::~TOutputFile()
{
    State &s = *state_;
    if (!s.committed) {
        s.stream.reset();
        if (!s.hidden.empty())
            ::unlink(s.hidden.c_str());
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
    return s.direct ? s.target : s.hidden;
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
            placed = ::linkat(AT_FDCWD, from.c_str(), AT_FDCWD, s.target.c_str(),
                              AT_SYMLINK_FOLLOW) == 0;
            if (!placed && errno != EEXIST)
                throw EFCreateError(s.target);
        }
        if (!placed) {
            // A link never replaces a name; a rename does, in one step. So the file gets a
            // hidden name first, for the moment between the two calls.
            for (int attempt = 0; attempt < 100; ++attempt) {
                s.hidden = s.HiddenName();
                if (::linkat(AT_FDCWD, from.c_str(), AT_FDCWD, s.hidden.c_str(),
                             AT_SYMLINK_FOLLOW) == 0)
                    break;
                s.hidden.clear();
                if (errno != EEXIST)
                    break;
            }
            if (s.hidden.empty())
                throw EFCreateError(s.target);
        }
    }
    if (!s.hidden.empty()) {
        if (::rename(s.hidden.c_str(), s.target.c_str()) != 0)
            throw EFCreateError(s.target); // the destructor removes the hidden file
        s.hidden.clear();
    }
    s.committed = true;
    s.stream->Close();

    if (durable) {
        // The new name has to reach the disk as well as the content.
        int folder = ::open(s.folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
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
