#include "tools/update.h"

#include "archive/archive_checksum.h"
#include "archive/checksum.h"
#include "archive/edit_journal.h"
#include "archive/format.h"
#include "archive/table_of_contents.h"
#include "archive/text.h"
#include "platform/errors.h"
#include "platform/listing.h"
#include "platform/output_file.h"
#include "platform/paths.h"
#include "tools/folder_files.h"
#include "tools/rebuild.h"

#include <algorithm>
#include <future>
#include <map>
#include <tuple>

namespace kvb {

namespace {

// The archive as the manifest must find it, and the files that changed, found under whatever
// lock the caller holds the archive with.
class TUpdate {
public:
    TUpdate(const std::string &archive, const std::string &folder, const TUpdateOptions &options,
            const TProgress &progress)
        : archive_(archive),
          folder_(folder),
          into_(folder),
          // The folder's files are looked at meanwhile, as git's preloaded index does: one call
          // of the system's per file, the update's largest cost but for the archive's.
          listing_(std::async(std::launch::async, [this] { return ListFolder(into_); })),
          read_(ReadManifest(into_)),
          next_(ReadNextManifest(into_)),
          options_(options),
          progress_(progress)
    {
    }

    std::vector<TReplacement> Choose(const TFileStream &file)
    {
        CheckArchive(file);
        TFolderFiles files(into_, read_, toc_, sums_, options_);
        const std::optional<std::vector<TFolderEntry>> listing = listing_.get();
        if (!listing)
            throw EKVBError("Cannot read folder " + folder_);
        files.Find(*listing, archive_);
        plan_.Missing = files.Missing();
        plan_.Ignored = files.Ignored();
        changes_ = files.Changes(file, progress_);
        plan_.Unchanged = files.Unchanged();
        seenFiles_ = files.Seen();
        plan_.Read = int32_t(seenFiles_.size());
        std::vector<TReplacement> replacements;
        for (const TFileChange &change : changes_)
            replacements.push_back({change.Records.front(), JoinPath(folder_, change.File), change.Data});
        return replacements;
    }

    TUpdatePlan Plan(const std::vector<TReplacedEntry> &replaced)
    {
        for (size_t i = 0; i < replaced.size() && i < changes_.size(); ++i) {
            const TFileChange &change = changes_[i];
            plan_.Changes.push_back({replaced[i].TocIndex, replaced[i].Name, change.File, change.Format,
                                     replaced[i].OldLength, replaced[i].NewLength, change.DataChecksum,
                                     change.Colours});
        }
        std::sort(plan_.Changes.begin(), plan_.Changes.end(),
                  [](const TUpdateChange &a, const TUpdateChange &b) { return a.TocIndex < b.TocIndex; });
        return plan_;
    }

    // The changes found are those confirmed: the same files for the same records, with the
    // same new data.
    void CheckConfirmed(const std::vector<TUpdateChange> &confirmed) const
    {
        using TKey = std::tuple<int32_t, std::string, int64_t, uint64_t>;
        std::vector<TKey> found, shown;
        for (const TFileChange &change : changes_)
            found.emplace_back(change.Records.front(), change.File, change.Length, change.DataChecksum);
        for (const TUpdateChange &change : confirmed)
            shown.emplace_back(change.TocIndex, change.File, change.NewLength, change.Checksum);
        std::sort(found.begin(), found.end());
        std::sort(shown.begin(), shown.end());
        if (found != shown)
            throw EKVBError("The files of " + folder_ +
                            " have changed since the update's plan was "
                            "shown; nothing was written. Update again to see what would change now");
    }

    // Before the rebuilt archive takes its place: its manifest, as the next one.
    void RecordNext(const std::string &headerAndTable)
    {
        // The first piece is the header and the table as rebuilt, and the validation block.
        TChecksum head;
        head.Add(headerAndTable);
        head.Add(validation_);
        recorded_ = Recorded(head.Value(), true);
        const TFileStream archive(archive_, TFileStream::Mode::OpenRead);
        WriteManifest(into_, *recorded_, {&archive}, true);
    }

    // Once the archive is in its place (or nothing had to change): its manifest, which replaces
    // the next one, and the files as they were read.
    void Record()
    {
        if (!recorded_ && seenFiles_.empty() && !adopted_) {
            if (next_)
                RemoveManifest(into_, true); // of an archive that never took its place
            return;
        }
        if (!recorded_)
            recorded_ = Recorded(sums_.Head, false);
        const TFileStream archive(archive_, TFileStream::Mode::OpenRead);
        WriteManifest(into_, *recorded_, {&archive});
        RemoveManifest(into_, true);
    }

private:
    int64_t HeadSize() const { return sums_.Positions.empty() ? sums_.Size : sums_.Positions.front(); }

    // The manifest of the archive, with the changes made when made says so, its first piece
    // summed as head.
    TManifest Recorded(uint64_t head, bool made) const
    {
        TArchiveSums sums = sums_;
        sums.Head = head;
        for (const TFileChange &change : made ? changes_ : std::vector<TFileChange>()) {
            const size_t k = *sums.EntryAt(change.Offset);
            sums.Headers[k] = change.HeaderChecksum;
            sums.Data[k] = change.DataChecksum;
            sums.Size += change.Length - sums.Lengths[k];
            sums.Lengths[k] = int32_t(change.Length);
        }
        TManifest manifest = read_.Manifest;
        manifest.ArchivePath = AbsolutePathOf(archive_);
        manifest.ArchiveSize = sums.Size;
        manifest.ArchiveChecksum = sums.Archive();
        RecordEntries(manifest, sums);
        return manifest;
    }

    void CheckArchive(const TFileStream &file)
    {
        const TManifest &manifest = read_.Manifest;
        const auto changed = [&](const std::string &how) {
            return EKVBError("Archive " + archive_ + " is not the one " + folder_ +
                             " was exported from: " + how +
                             ". It has changed since the export, or it is another archive; "
                             "nothing was written");
        };
        const auto next = [&]() {
            return next_ && next_->Manifest.ArchiveSize == file.Size() &&
                   next_->Manifest.ArchiveChecksum == sums_.Archive();
        };
        if (file.Size() != manifest.ArchiveSize && !(next_ && next_->Manifest.ArchiveSize == file.Size()))
            throw changed("it has " + std::to_string(file.Size()) + " bytes, and the exported one " +
                          std::to_string(manifest.ArchiveSize));
        sums_ = SumArchive(file, progress_);
        if (file.Size() != manifest.ArchiveSize || sums_.Archive() != manifest.ArchiveChecksum) {
            // An update that was cut short once the archive was in place left its manifest as
            // the next one.
            if (!next())
                throw changed("its checksum differs from the exported one's");
            read_ = std::move(*next_);
            next_.reset();
            adopted_ = true;
        }
        validation_.assign(size_t(HeadSize() -
                                  std::min(HeadSize(), TocEnd(std::max(ReadFileHeader(file).Count, 0)))),
                           '\0');
        if (file.ReadAt(HeadSize() - int64_t(validation_.size()), validation_.data(),
                        int64_t(validation_.size())) != int64_t(validation_.size()))
            throw EReadError();
        toc_.clear();
        const int32_t count = ReadFileHeader(file).Count;
        ReadTableOfContents(file, count, [&](const TKVB_TocRecord &record) { toc_.push_back(record); });
        // A rebuild keeps every byte; it needs every record's data where the entries before it
        // lead, which the walk finds.
        for (size_t i = 0; i < toc_.size(); ++i)
            if (!sums_.EntryAt(toc_[i].Offset))
                throw EKVBError("Archive " + archive_ + " cannot be updated: record " +
                                std::to_string(i + 1) +
                                " points at data that the entries before "
                                "it do not lead to (a gap or an overlap between entries); the "
                                "analysis report (Analyse KVB, kvb analyse) shows where");
        CheckManifestEntries();
    }

    // The archive is the exported one; a manifest edited since must still speak of its records.
    void CheckManifestEntries() const
    {
        for (const TManifestEntry &entry : read_.Manifest.Entries) {
            const auto wrong = [&](const std::string &what) {
                return EKVBError("Manifest of " + folder_ + " does not match " + archive_ + ": record " +
                                 std::to_string(entry.Index + 1) + " " + what + "; nothing was written");
            };
            if (entry.Index >= int32_t(toc_.size()))
                throw wrong("is not in the archive, which has " + std::to_string(toc_.size()));
            const TKVB_TocRecord &record = toc_[size_t(entry.Index)];
            if (NameFromField(record.Name) != entry.Name)
                throw wrong("is named \"" + PrintableName(NameFromField(record.Name)) +
                            "\" there, not \"" + PrintableName(entry.Name) + "\"");
            if (const std::optional<size_t> k = sums_.EntryAt(record.Offset))
                if (sums_.Lengths[*k] != entry.Length || sums_.Data[*k] != entry.Checksum)
                    throw wrong("holds other data there than the manifest says");
        }
    }

    // Each entry as the archive now holds it, and each file read as it was read.
    void RecordEntries(TManifest &manifest, const TArchiveSums &sums) const
    {
        std::map<int32_t, TManifestEntry> entries;
        for (TManifestEntry &entry : manifest.Entries)
            entries.emplace(entry.Index, std::move(entry));
        for (const TSeenFile &seen : seenFiles_)
            for (const int32_t index : seen.Records) {
                TManifestEntry &entry = entries[index];
                entry.Index = index;
                entry.Name = NameFromField(toc_[size_t(index)].Name);
                entry.File = seen.Name;
                entry.Format = seen.Format;
                entry.FileStamp = seen.Stamp;
                entry.FileChecksum = seen.Checksum;
            }
        manifest.Entries.clear();
        for (auto &[index, entry] : entries) {
            if (const std::optional<size_t> k = sums.EntryAt(toc_[size_t(index)].Offset)) {
                entry.Length = sums.Lengths[*k];
                entry.Checksum = sums.Data[*k];
            }
            manifest.Entries.push_back(std::move(entry));
        }
    }

    std::string archive_, folder_;
    TOpenFolder into_;
    std::future<std::optional<std::vector<TFolderEntry>>> listing_;
    TReadManifest read_;
    std::optional<TReadManifest> next_;
    TUpdateOptions options_;
    TProgress progress_;
    TArchiveSums sums_;
    std::vector<TKVB_TocRecord> toc_;
    std::vector<TFileChange> changes_;
    std::vector<TSeenFile> seenFiles_;
    bool adopted_ = false;
    std::string validation_; // the validation block, the end of the first piece
    std::optional<TManifest> recorded_;
    TUpdatePlan plan_;
};

} // namespace

TUpdatePlan PlanUpdate(const std::string &archive, const std::string &folder,
                       const TUpdateOptions &options, const TProgress &progress)
{
    TUpdate update(archive, folder, options, progress);
    std::vector<TReplacement> replacements;
    std::optional<std::string> note;
    {
        const TFileStream file(archive, TFileStream::Mode::OpenRead);
        note = TEditJournal(archive).CheckBeforeReading(file);
        replacements = update.Choose(file);
    }
    // The rebuild's own refusals, as the real run would meet them.
    const std::vector<TReplacedEntry> replaced =
        replacements.empty() ? std::vector<TReplacedEntry>() : PlanReplacement(archive, replacements);
    TUpdatePlan plan = update.Plan(replaced);
    if (note)
        plan.Notes.push_back(*note);
    return plan;
}

TUpdatePlan UpdateArchive(const std::string &archive, const std::string &folder,
                          const TUpdateOptions &options, const std::string &output,
                          const TProgress &progress, const std::vector<TUpdateChange> *confirmed)
{
    TUpdate update(archive, folder, options, progress);
    std::optional<std::string> note;
    // In its own place the archive is recorded beside the export before it takes that place.
    TBeforeCommit recordNext;
    if (output.empty())
        recordNext = [&](const std::string &headerAndTable) { update.RecordNext(headerAndTable); };
    const std::vector<TReplacedEntry> replaced = ReplaceEntries(
        archive,
        [&](const TFileStream &file) {
            std::vector<TReplacement> replacements = update.Choose(file);
            if (confirmed)
                update.CheckConfirmed(*confirmed);
            return replacements;
        },
        output, progress, &note, recordNext);
    TUpdatePlan plan = update.Plan(replaced);
    if (note)
        plan.Notes.push_back(*note);
    if (output.empty())
        update.Record();
    return plan;
}

} // namespace kvb
