// Where an in-place edit keeps its record while it runs, and what opening an archive does about
// a record an earlier edit left: the archive is put right, or left alone when it is no longer
// the file the record was written for.
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
    // edit left and says what it found and did; nothing when there was no record. An edit cut
    // short is undone or finished when mayRepair (archive is open for writing), and refused
    // otherwise. A record that fits none of the archive's states, or cannot be read, is set
    // aside under a name that says so, and the archive is not touched.
    std::optional<std::string> Settle(TFileStream &archive, bool mayRepair);

    // For a reader: raises while an edit of the archive is cut short or under way, since the
    // archive is then half written. A note when a record lies beside the archive that does not
    // belong to it as it is now.
    std::optional<std::string> CheckBeforeReading(const TFileStream &archive) const;

    // Puts record on disk before the edit writes anything. Refused while an earlier edit's
    // record is still open.
    void Begin(const TEditRecord &record);
    // The edit's writes are flushed, or a failed edit was put right at once: its record goes.
    void End();
    // After a failed edit: puts it right now if that can be done, and ends the record.
    void RepairNow(TFileStream &archive);
    bool Open() const { return open_.has_value(); }

private:
    std::string archive_; // as the user named it, for messages
    std::string path_;
    std::optional<TEditRecord> open_;
};

} // namespace kvb
