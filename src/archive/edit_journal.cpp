#include "archive/edit_journal.h"

#include "platform/errors.h"
#include "platform/file_attributes.h"
#include "platform/output_file.h"
#include "platform/owned_file.h"
#include "platform/paths.h"
#include "platform/random_name.h"
#include "platform/stream.h"

#include <algorithm>

namespace kvb {

namespace {

// A record holds the bytes an edit overwrites (a few dozen) and a checksum per 4 KiB it adds;
// an append of the most an archive can address needs about 4 MiB. Anything larger is not one
// of ours, and is not read whole.
constexpr int64_t kMaxRecordSize = 8 * 1024 * 1024;

// What stands where an archive's record goes, as far as it was written by the archive's owner.
struct TFoundRecord {
    TOwnersFile::Status State = TOwnersFile::Status::Missing;
    std::string Why;
    std::optional<TEditRecord> Record; // for Opened: nothing when it is no undamaged record
};

TFoundRecord FindRecord(const std::string &path, const TFileStream &archive)
{
    TOwnersFile file = OpenOwnersFile(path, archive);
    TFoundRecord found{file.State, file.Why, std::nullopt};
    if (file.State != TOwnersFile::Status::Opened)
        return found;
    try {
        const int64_t size = std::min(file.Stream->Size(), kMaxRecordSize + 1);
        std::string bytes(size_t(size), '\0');
        bytes.resize(size_t(file.Stream->ReadAt(0, bytes.data(), size)));
        if (int64_t(bytes.size()) <= kMaxRecordSize)
            found.Record = TEditRecord::Decode(bytes);
    } catch (const EReadError &) {
        found.State = TOwnersFile::Status::Unreadable;
        found.Why = "it could not be read to its end";
    }
    return found;
}

std::string Interrupted(const std::string &edit, const std::string &what)
{
    return "The archive's last edit (" + edit + ") " + what;
}

std::string NotTrustedNote(const std::string &record, const std::string &archive, const std::string &why)
{
    return "The file " + record + " beside " + archive + " was not written by the archive's owner (" +
           why + "), so it is no record of an edit of it, and was ignored: nothing was changed";
}

// Raised where an edit cut short cannot be undone here: a reader's, or the archive cannot be
// written where it stands (a disc image, a read-only share).
EKVBError NotFinished(const std::string &archive, const std::string &record, const std::string &edit)
{
    const std::string start = "Archive " + archive + " has an edit (" + edit + ") that was not finished";
    if (const std::optional<std::string> why = WhyNotWritableWhereItIs(archive))
        return EKVBError(start +
                         ": it was being edited when it was copied or mounted where it is "
                         "now, and it cannot be put right there (" +
                         *why + "). Copy " + FileNameOf(archive) + " together with " + record +
                         " beside it into a "
                         "folder you can write, and open the copy for editing (Advanced... or kvb "
                         "raw), which undoes that edit");
    return EKVBError(start + "; open it for editing (Advanced... or kvb raw) to undo that edit first");
}

} // namespace

std::string EditRecordPathFor(const std::string &archivePath)
{
    const std::string real = RealPathOf(archivePath);
    return JoinPath(ParentFolderOf(real), '.' + FileNameOf(real) + ".kvb-journal");
}

TEditJournal::TEditJournal(const std::string &archivePath)
    : archive_(archivePath),
      path_(EditRecordPathFor(archivePath))
{
}

std::optional<std::string> TEditJournal::Settle(TFileStream &archive, bool mayRepair)
{
    const TFoundRecord found = FindRecord(path_, archive);
    const std::string shown = FileNameOf(path_);
    switch (found.State) {
    case TOwnersFile::Status::Missing: return std::nullopt;
    case TOwnersFile::Status::NotTrusted: return NotTrustedNote(shown, archive_, found.Why);
    case TOwnersFile::Status::Unreadable:
        throw EKVBError("Cannot open " + archive_ +
                        " for editing: the record of an earlier edit "
                        "beside it, " +
                        shown + ", cannot be read (" + found.Why +
                        "), so whether "
                        "that edit was finished cannot be told. Nothing was changed. Make " +
                        shown + " readable and open the archive again, or move it away if " +
                        FileNameOf(archive_) + " is as you want it");
    case TOwnersFile::Status::Opened: break;
    }

    auto setAside = [&](const std::string &found) {
        // Never deleted: it may be the record of an archive that is still to be put back.
        const std::string aside = path_ + ".not-applied-" + RandomName(8);
        if (!MoveAside(path_, aside))
            return found + " Nothing was changed, but the record could not be set aside: move " + shown +
                   " away before editing the archive again.";
        return found + " Nothing was changed; the record was kept as " + FileNameOf(aside) +
               ", which can be deleted if " + FileNameOf(archive_) + " is the archive you want.";
    };
    if (!found.Record)
        return setAside("A file that is not a readable edit record lay beside " + archive_ +
                        " under the name " + shown + ".");
    const TEditRecord &record = *found.Record;
    const std::string edit = record.EditName();
    switch (record.StateOf(archive)) {
    case TEditState::Before:
        RemoveFileOrRaise(path_);
        return Interrupted(edit, "was interrupted before it changed anything: the archive is as "
                                 "it was before that edit");
    case TEditState::After:
        RemoveFileOrRaise(path_);
        return Interrupted(edit, "had been completed: the archive is as that edit left it");
    case TEditState::Unrelated:
        return setAside("The record of an interrupted edit (" + edit + ") lay beside " + archive_ +
                        ", but the archive is in none of the states that edit would leave: it "
                        "was replaced or restored since.");
    case TEditState::PartWay: break;
    }
    if (!mayRepair)
        throw NotFinished(archive_, shown, edit);
    record.Restore(archive);
    RemoveFileOrRaise(path_);
    return Interrupted(edit, "was interrupted and has been undone: the archive is as it was "
                             "before that edit");
}

std::optional<std::string> TEditJournal::CheckBeforeReading(const TFileStream &archive) const
{
    const TFoundRecord found = FindRecord(path_, archive);
    const std::string shown = FileNameOf(path_);
    switch (found.State) {
    case TOwnersFile::Status::Missing: return std::nullopt;
    case TOwnersFile::Status::NotTrusted: return NotTrustedNote(shown, archive_, found.Why);
    case TOwnersFile::Status::Unreadable:
        throw EKVBError("Cannot read " + archive_ + ": the record of an edit beside it, " + shown +
                        ", cannot be read (" + found.Why +
                        "), so the archive may be half "
                        "written. Its owner puts it right by opening it for editing (Advanced... "
                        "or kvb raw)");
    case TOwnersFile::Status::Opened: break;
    }
    const TEditState state = found.Record ? found.Record->StateOf(archive) : TEditState::Unrelated;
    if (state == TEditState::PartWay)
        throw NotFinished(archive_, shown, found.Record->EditName());
    if (state == TEditState::Unrelated)
        return "The file " + shown + " beside " + archive_ +
               " is not the record of an edit of this archive as it is now, and was ignored; "
               "opening the archive for editing (Advanced... or kvb raw) sets it aside";
    return std::nullopt;
}

void TEditJournal::Begin(const TFileStream &archive, const TEditRecord &record)
{
    if (open_)
        throw EKVBError("The archive's previous edit failed and could not be put right; close "
                        "the archive and open it again to repair it");
    const TFoundRecord there = FindRecord(path_, archive);
    if (there.State == TOwnersFile::Status::NotTrusted || there.State == TOwnersFile::Status::Unreadable)
        throw EKVBError("Cannot " + record.EditName() + " in " + archive_ + ": the file " +
                        FileNameOf(path_) + " beside it, where the record of the edit goes, " +
                        (there.State == TOwnersFile::Status::NotTrusted
                             ? "was not written by the archive's owner ("
                             : "cannot be read (") +
                        there.Why +
                        "). Nothing was changed; remove it (its owner or an "
                        "administrator can) and try again");
    const std::string bytes = record.Encode();
    // Flushed, linked into place whole and its name made durable: the record is either there
    // complete or not at all.
    TOutputFile file(path_, TOutputKind::Durable);
    file.Stream().WriteBuffer(bytes.data(), int64_t(bytes.size()));
    GiveOwnerOf(archive, file.Stream());
    file.Commit();
    open_ = record;
}

void TEditJournal::End()
{
    // The archive is on disk as the edit leaves it, so the removal need not be: a record that a
    // power cut brings back finds the archive complete, and the next editor only removes it.
    RemoveFileOrRaise(path_);
    open_.reset();
}

void TEditJournal::RepairNow(TFileStream &archive)
{
    if (!open_)
        return;
    // Whatever the repair meets, the error that failed the edit is the one to report.
    try {
        const TEditState state = open_->StateOf(archive);
        // A shortened file cannot be lengthened again: once cut, the edit is complete.
        const bool restorable = state == TEditState::PartWay ||
                                (state == TEditState::After && open_->SizeAfter >= open_->SizeBefore);
        if (restorable)
            open_->Restore(archive);
        if (restorable || state == TEditState::Before)
            End();
    } catch (const EKVBError &) {
    }
}

std::optional<std::string> SettleBeforeReplacing(const std::string &path)
{
    const std::string record = EditRecordPathFor(path);
    if (!FileAttributes(record))
        return std::nullopt;
    if (!IsPlainFile(path)) {
        // The archive it was written for is gone: nothing can be put right with it, and a new
        // file here must not be taken for that archive.
        const std::string aside = record + ".not-applied-" + RandomName(8);
        if (!IsPlainFile(record) || !MoveAside(record, aside))
            return std::nullopt;
        return "The record of an interrupted edit, " + FileNameOf(record) +
               ", lay where no "
               "archive " +
               FileNameOf(path) + " stands; it was kept as " + FileNameOf(aside) +
               ", which can be deleted if no copy of that archive is to be put back";
    }
    TFileStream archive(path, TFileStream::Mode::OpenReadWrite);
    return TEditJournal(path).Settle(archive, true);
}

} // namespace kvb
