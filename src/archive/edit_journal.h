// Where an in-place edit keeps its record while it runs, and what opening an archive does about
// a record an earlier edit left: an interrupted edit is undone, and a record that does not fit
// the archive, that cannot be read, or that its owner did not write is never applied.
#pragma once

#include "archive/edit_record.h"

#include <optional>
#include <string>

namespace kvb {

class TFileStream;

// The record of an edit of the archive at archivePath: a hidden file beside the archive itself
// (not beside a link to it), so that every way to the archive finds it.
std::string EditRecordPathFor(const std::string &archivePath);

class TEditJournal {
public:
    explicit TEditJournal(const std::string &archivePath);

    // For an editor or a rebuild, which keep other editors out: acts on the record an earlier
    // edit left and says what it found and did; nothing when there was no record. With the
    // archive open for writing (mayRepair), an edit cut short is undone; otherwise it is
    // refused. A record that fits none of the archive's states, or is damaged, is set aside
    // under a name that says so, and the archive is not touched. A file there that the
    // archive's owner did not write is reported and left alone; a record that cannot be read
    // is refused with the reason.
    std::optional<std::string> Settle(TFileStream &archive, bool mayRepair);

    // For a reader: raises while an edit of the archive is cut short or under way, since the
    // archive is then half written, and while a record of the owner's cannot be read, since it
    // may be. A note when something lies beside the archive that is not a record of it as it is
    // now (and is ignored).
    std::optional<std::string> CheckBeforeReading(const TFileStream &archive) const;

    // Puts record on disk, beside archive, before the edit writes anything. Refused while an
    // earlier edit's record is still open, and while something stands where the record goes
    // that the archive's owner did not write.
    void Begin(const TFileStream &archive, const TEditRecord &record);
    // The edit's writes are flushed: its record goes, which ends the edit. Raises when the record
    // cannot be removed; the edit is then not reported done.
    void End();
    // After a failed edit: puts the archive back as it was before the edit where that can be
    // done, and then ends the record; otherwise the record stays for the next opening.
    void RepairNow(TFileStream &archive);
    bool Open() const { return open_.has_value(); }

private:
    std::string archive_; // as the user named it, for messages
    std::string path_;
    std::optional<TEditRecord> open_;
};

// For whoever puts a new file at path in place of what stands there (a creation, a rebuild
// into that file, a rebuild in place): settles the record an interrupted edit left beside it
// first, as an editor opening it would, under the editor's lock. A record beside no archive at
// all is set aside. Says what it found and did; nothing when no record lies there.
std::optional<std::string> SettleBeforeReplacing(const std::string &path);

} // namespace kvb
