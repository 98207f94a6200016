// The record an in-place edit leaves beside the archive while it runs, so that an edit cut short
// by kill -9, a power cut or a full disk is undone or finished by the next editor to open the
// archive: the archive is then byte for byte as before the edit or as after the whole edit.
//
// The record says what to do to the file: set its size, then write some bytes. It is on disk,
// complete, before the edit writes its first byte, and it goes once the edit's writes are.
#pragma once

#include "platform/stream.h"

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace kvb {

struct TEditRepair {
    enum class Effect : uint8_t {
        Undo,   // applying it puts the file back as it was before the edit
        Finish, // applying it completes the edit
    };
    Effect effect = Effect::Undo;
    std::string edit;  // what the edit was, for the message: "append", "truncate", "link"
    int64_t size = -1; // the file's size to set first; -1 leaves the size as it is
    std::vector<std::pair<int64_t, std::string>> writes; // then these bytes at these positions

    // Sets the size, writes the bytes and flushes.
    void ApplyTo(TFileStream &file) const;
};

class TEditJournal {
public:
    // The journal of the archive held open by archive under archivePath; nothing is read yet.
    TEditJournal(const std::string &archivePath, const TFileStream &archive);

    // Applies and removes the record an interrupted edit left, and says what that did to the
    // archive; nothing when no record for this archive was there. A record of another file (the
    // archive was replaced meanwhile) or a damaged one is removed without touching the archive.
    std::optional<std::string> Recover(TFileStream &archive);

    // Puts repair on disk before the edit writes anything. Refused while an earlier edit's
    // record is still open.
    void Begin(const TEditRepair &repair);
    // The edit's writes are flushed (or a failed edit was repaired at once): its record goes.
    void End();
    bool Open() const { return open_; }

    // Whether an unfinished edit's record for the archive at archivePath (with identity) is
    // there: a reader must not take a half-written archive for a whole one.
    static bool Pending(const std::string &archivePath, const TFileIdentity &identity);

private:
    std::string path_;
    TFileIdentity identity_;
    bool open_ = false;
};

} // namespace kvb
