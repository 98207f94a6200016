#include "archive/edit_journal.h"

#include "platform/errors.h"
#include "platform/file_attributes.h"
#include "platform/output_file.h"
#include "platform/paths.h"
#include "platform/random_name.h"
#include "platform/stream.h"

#include <algorithm>

namespace kvb {

namespace {

// A record holds a few dozen bytes of an archive; anything much larger is not one of ours.
constexpr int64_t kMaxRecordSize = 64 * 1024;

// The bytes at path, at most kMaxRecordSize + 1 of them; nothing when no plain file stands
// there (a folder, pipe or device planted there is left alone and never waited on).
std::optional<std::string> ReadRecord(const std::string &path)
{
    if (!FileAttributes(path))
        return std::nullopt;
    try {
        TFileStream in(path, TFileStream::Mode::OpenRead);
        const int64_t size = std::min(in.OpenedSize(), kMaxRecordSize + 1);
        std::string bytes(size_t(size), '\0');
        bytes.resize(size_t(in.ReadAt(0, bytes.data(), size)));
        return bytes;
    } catch (const EFOpenError &) {
        return std::nullopt;
    }
}

std::string Undone(const std::string &edit)
{
    return "The archive's last edit (" + edit +
           ") was interrupted and has been undone: the archive is as it was before that edit";
}

std::string Finished(const std::string &edit)
{
    return "The archive's last edit (" + edit +
           ") was interrupted and has been finished: the archive is as that edit left it";
}

} // namespace

std::string EditRecordPathFor(const std::string &archivePath)
{
    const std::string real = RealPathOf(archivePath);
    return JoinPath(ParentFolderOf(real), "." + FileNameOf(real) + ".kvb-journal");
}

TEditJournal::TEditJournal(const std::string &archivePath)
    : archive_(archivePath), path_(EditRecordPathFor(archivePath))
{
}

std::optional<std::string> TEditJournal::Settle(TFileStream &archive, bool mayRepair)
{
    const std::optional<std::string> bytes = ReadRecord(path_);
    if (!bytes)
        return std::nullopt;
    const std::optional<TEditRecord> record = TEditRecord::Decode(*bytes);

    auto setAside = [&](const std::string &found) {
        // Never deleted: it may be the record of an archive that is still to be put back.
        const std::string aside = path_ + ".not-applied-" + RandomName(8);
        const std::string shown = FileNameOf(path_);
        if (!MoveAside(path_, aside))
            return found + " Nothing was changed, but the record could not be set aside: move " +
                   shown + " away before editing the archive again.";
        return found + " Nothing was changed; the record was kept as " + FileNameOf(aside) +
               ", which can be deleted if " + FileNameOf(archive_) + " is the archive you want.";
    };

    if (!record)
        return setAside("A file that is not a readable edit record lay beside " + archive_ +
                        " under the name " + FileNameOf(path_) + ".");
    const std::string edit = record->EditName();
    switch (record->StateOf(archive)) {
    case TEditState::Before:
        RemoveFile(path_);
        return "The archive's last edit (" + edit +
               ") was interrupted before it changed anything: the archive is as it was before "
               "that edit";
    case TEditState::After:
        RemoveFile(path_);
        return "The archive's last edit (" + edit +
               ") had been completed: the archive is as that edit left it";
    case TEditState::Unrelated:
        return setAside("The record of an interrupted edit (" + edit + ") lay beside " +
                        archive_ + ", but the archive is in none of the states that edit "
                        "would leave: it was replaced or restored since.");
    case TEditState::PartWay:
        break;
    }
    if (!mayRepair)
        throw EKVBError("Archive " + archive_ + " has an edit (" + edit +
                        ") that was not finished; open it for editing (Advanced... or kvb raw) "
                        "to finish or undo that edit first");
    const TEditState now = record->Repair(archive);
    RemoveFile(path_);
    return now == TEditState::After ? Finished(edit) : Undone(edit);
}

std::optional<std::string> TEditJournal::CheckBeforeReading(const TFileStream &archive) const
{
    const std::optional<std::string> bytes = ReadRecord(path_);
    if (!bytes)
        return std::nullopt;
    const std::optional<TEditRecord> record = TEditRecord::Decode(*bytes);
    const TEditState state = record ? record->StateOf(archive) : TEditState::Unrelated;
    if (state == TEditState::PartWay)
        throw EKVBError("Archive " + archive_ + " has an edit (" + record->EditName() +
                        ") that was not finished; open it for editing (Advanced... or kvb raw) "
                        "to finish or undo that edit first");
    if (state == TEditState::Unrelated)
        return "The file " + FileNameOf(path_) + " beside " + archive_ +
               " is not the record of an edit of this archive as it is now, and was ignored; "
               "opening the archive for editing (Advanced... or kvb raw) sets it aside";
    return std::nullopt;
}

void TEditJournal::Begin(const TEditRecord &record)
{
    if (open_)
        throw EKVBError("The archive's previous edit failed and could not be put right; close "
                        "the archive and open it again to repair it");
    const std::string bytes = record.Encode();
    // Flushed, linked into place whole and its name made durable: the record is either there
    // complete or not at all.
    TOutputFile file(path_, TOutputKind::Durable);
    file.Stream().WriteBuffer(bytes.data(), int64_t(bytes.size()));
    file.Commit();
    open_ = record;
}

void TEditJournal::End()
{
    // A record that cannot be removed does no harm: the archive is in the state it describes
    // as complete, and the next editor removes it.
    RemoveFile(path_);
    open_.reset();
}

void TEditJournal::RepairNow(TFileStream &archive)
{
    if (!open_)
        return;
    // Only what puts the archive back as it was is done here: the edit has failed, and a
    // finish is left to the next opening, which says so. Whatever the repair meets, the error
    // that failed the edit is the one to report.
    try {
        const TEditState state = open_->StateOf(archive);
        if (state == TEditState::Before ||
            (state == TEditState::PartWay && open_->RepairGoal(archive) == TEditState::Before)) {
            if (state == TEditState::PartWay)
                open_->Repair(archive);
            End();
        }
    } catch (const EKVBError &) {
    }
}

} // namespace kvb
