// TOutputFile: the one way the program writes a file of its own (extracted entries, the
// preview's file, PNG and WAV exports, templates, new and rebuilt archives).
//
// Whatever stands at the target is looked at, never written through: a symbolic or hard link
// there is replaced (the file it led to keeps its content), a folder, pipe or device is refused
// with a message, nothing ever waits for a pipe's reader, and the file the operation reads is
// never the one it writes. An existing file is replaced only once the new content is complete,
// so a failure keeps what stood there.
//
// The new content is written beside the target under a hidden name of its own, ".NAME.kvb-new"
// (on Linux only for the moment before it takes the target's place). A kill in that moment
// leaves the file there; the next output to the same target removes it, once it is sure that
// no program is still writing it.
#pragma once

#include "platform/stream.h"

#include <memory>
#include <string>
#include <vector>

namespace kvb {

enum class TOutputKind {
    // Extracted files. Where nothing stands yet the file is created in place with one exclusive
    // create, and what a failed copy wrote before the failure stays there.
    PartialWhereNew,
    // Exports and templates: the file appears under its name only when complete.
    Whole,
    // Archives: as Whole, and the new file is on disk before it replaces anything; refused with
    // "Cannot open file %s" while an editor holds the target.
    Archive,
    // Records that later writes rely on: as Whole, and on disk, name included, once Commit
    // returns, whether or not something stood there; no one but its owner may write it.
    Durable,
};

// A folder that many files are read from or go into (every entry of an archive, say), opened
// once so that each file is opened or made relative to it instead of by a path walked again for
// every file. Files opened or made in it must not outlive it. Where the system offers no calls
// relative to an open folder, only the path is kept.
class TOpenFolder {
public:
    // Raises "Cannot open folder %s" when no folder can be opened at path.
    explicit TOpenFolder(const std::string &path);
    ~TOpenFolder();
    TOpenFolder(const TOpenFolder &) = delete;
    TOpenFolder &operator=(const TOpenFolder &) = delete;

    const std::string &Path() const { return path_; }
    TFileHandle Handle() const { return handle_; }

private:
    std::string path_;
    TFileHandle handle_ = kNoFileHandle;
};

class TOutputFile {
public:
    // sources are the files the operation reads; the target may not be any of them, whatever
    // name or link leads there. Raises EFCreateError naming target (with the reason where one
    // is known) or, for an archive held by an editor, EFOpenError. lockedTarget is the target
    // itself as the caller holds it (opened OpenReadLocked, and kept open until Commit), which
    // keeps editors out in place of a lock of the output's own.
    TOutputFile(const std::string &target, TOutputKind kind,
                const std::vector<const TFileStream *> &sources = {},
                TFileStream *lockedTarget = nullptr);
    // The same for the file name in folder; a name that is not a plain file name there (empty,
    // "." or "..", with a separator) is refused, whatever the caller checked.
    TOutputFile(const TOpenFolder &folder, const std::string &name, TOutputKind kind,
                const std::vector<const TFileStream *> &sources = {});
    // Without Commit the new content is dropped (a partial new file of PartialWhereNew stays)
    // and whatever stood at the target is kept.
    ~TOutputFile();
    TOutputFile(const TOutputFile &) = delete;
    TOutputFile &operator=(const TOutputFile &) = delete;

    // The new content is written through this stream, from position 0.
    TFileStream &Stream();
    // A name under which a library that opens files by name (FluidSynth, say) writes into this
    // output instead of the target.
    std::string NameForLibraries() const;

    // Puts the complete file in the target's place; raises EWriteError or EFCreateError.
    void Commit();

private:
    struct State;
    std::unique_ptr<State> state_;
};

} // namespace kvb
