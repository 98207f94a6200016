#include "tools/rebuild.h"

#include "archive/edit_journal.h"
#include "archive/format.h"
#include "archive/table_of_contents.h"
#include "platform/errors.h"
#include "platform/output_file.h"
#include "platform/stream.h"

#include <algorithm>
#include <memory>

namespace kvb {

namespace {

// One data entry as it lies in the archive.
struct TDataEntry {
    int64_t position = 0;
    char header[kDataHeaderSize]{};
    int32_t length = 0;
    int32_t replacement = -1; // index into the replacements, or -1: copied as it is
    int64_t newPosition = 0;
    int64_t newLength = 0;
};

// The archive as a rebuild sees it: header and table raw, then the data entries in file order,
// each reached by at least one record, one after the other without gaps or overlaps.
struct TLayout {
    char header[kFileHeaderSize]{};
    int32_t count = 0;
    std::vector<TKVB_TocRecord> toc;
    std::vector<TDataEntry> entries;
    int64_t validationStart = 0;
    int64_t descriptionStart = 0;
    int64_t fileSize = 0;

    // The entry record index points at.
    size_t EntryOf(int32_t index) const
    {
        const int32_t offset = toc[size_t(index)].Offset;
        auto it = std::lower_bound(entries.begin(), entries.end(), offset,
                                   [](const TDataEntry &e, int64_t p) { return e.position < p; });
        return size_t(it - entries.begin());
    }
};

EKVBError NotContiguous(const std::string &archive, const std::string &why)
{
    return EKVBError("Archive " + archive + " cannot be rebuilt: " + why +
                     ". Nothing is ever dropped, so only an archive whose data follow on without "
                     "gaps or overlaps, every data entry reached by a record, can be; the "
                     "analysis report (Analyse KVB, kvb analyse) shows where it does not");
}

TLayout ReadLayout(const TFileStream &file, const std::string &archive)
{
    TLayout layout;
    layout.fileSize = file.Size();
    if (file.ReadAt(0, layout.header, kFileHeaderSize) != kFileHeaderSize)
        throw EReadError();
    layout.count = DecodeFileHeader(layout.header).Count;
    if (layout.count <= 0)
        throw EKVBError("Archive " + archive + " has no entries to replace");
    ReadTableOfContents(file, layout.count, [&](const TKVB_TocRecord &record) {
        if (layout.toc.empty())
            layout.toc.reserve(size_t(layout.count));
        layout.toc.push_back(record);
    });

    // The data entries are where the records point, each position once, in file order.
    std::vector<int64_t> positions;
    positions.reserve(layout.toc.size());
    for (const TKVB_TocRecord &record : layout.toc)
        positions.push_back(record.Offset);
    std::sort(positions.begin(), positions.end());
    positions.erase(std::unique(positions.begin(), positions.end()), positions.end());

    layout.validationStart = TocEnd(layout.count);
    if (positions.front() < layout.validationStart)
        throw NotContiguous(archive, "a record points into the header or the table of contents");
    layout.entries.resize(positions.size());
    for (size_t i = 0; i < positions.size(); ++i) {
        TDataEntry &entry = layout.entries[i];
        entry.position = positions[i];
        if (file.ReadAt(entry.position, entry.header, kDataHeaderSize) != kDataHeaderSize)
            throw EReadError();
        entry.length = DecodeDataHeader(entry.header).Length;
        if (entry.length < 0)
            throw NotContiguous(archive, "the data entry at position " + std::to_string(entry.position) +
                                             " has the invalid length " + std::to_string(entry.length));
        const int64_t end = EntryEnd(entry.position, entry.length);
        if (i + 1 < positions.size() && end != positions[i + 1])
            throw NotContiguous(archive,
                                std::string(end < positions[i + 1] ? "there is a gap" : "data overlap") +
                                    " after the data entry at position " +
                                    std::to_string(entry.position));
    }
    layout.descriptionStart = EntryEnd(layout.entries.back().position, layout.entries.back().length);
    if (layout.descriptionStart > layout.fileSize)
        throw EReadError();
    if (layout.fileSize - layout.descriptionStart > kDataHeaderSize)
        throw NotContiguous(archive, "data that no record reaches follows the last entry");
    return layout;
}

struct TPlan {
    TLayout layout;
    std::vector<std::unique_ptr<TFileStream>> inputs; // per replacement; none for loaded data
    std::vector<TReplacedEntry> changes;
    int32_t newCount = 0;
    int64_t validationSize = 0; // of the block the new archive holds
    size_t kept = 0;            // data entries that stay, the first ones in file order
    std::vector<int64_t> appendedPositions;
    int64_t descriptionPosition = 0; // in the new archive
};

// Marks the data entries of the records taken out, which must be the last ones and reached by
// no record that stays.
void PlanDrop(TPlan &plan, const std::string &archive, int32_t dropLast)
{
    TLayout &layout = plan.layout;
    plan.kept = layout.entries.size();
    if (dropLast == 0)
        return;
    if (dropLast < 0 || dropLast > layout.count)
        throw EListError(layout.count - int64_t(dropLast));
    const int32_t firstDropped = layout.count - dropLast;
    const std::string without = "Archive " + archive + " cannot be rebuilt without its last " +
                                (dropLast == 1 ? "record" : std::to_string(dropLast) + " records");
    std::vector<bool> dropped(layout.entries.size(), false);
    for (int32_t i = firstDropped; i < layout.count; ++i)
        dropped[layout.EntryOf(i)] = true;
    for (int32_t i = 0; i < firstDropped; ++i)
        if (dropped[layout.EntryOf(i)])
            throw EKVBError(without + ": record " + std::to_string(i + 1) + " shares its data");
    plan.kept = size_t(std::find(dropped.begin(), dropped.end(), true) - dropped.begin());
    if (std::find(dropped.begin() + std::ptrdiff_t(plan.kept), dropped.end(), false) != dropped.end())
        throw EKVBError(without + ": its data is not at the end of the archive, after every other "
                                  "entry's");
}

TPlan Plan(const TFileStream &file, const std::string &archive, const TRebuild &changes)
{
    TPlan plan;
    plan.layout = ReadLayout(file, archive);
    TLayout &layout = plan.layout;
    PlanDrop(plan, archive, changes.DropLast);
    const int64_t newCount = int64_t(layout.count) - changes.DropLast + int64_t(changes.Appended.size());
    if (newCount <= 0)
        throw EKVBError("Archive " + archive + " would be left without entries");
    if (newCount > INT32_MAX || TocEnd(newCount) > INT32_MAX)
        throw EKVBError("The rebuilt archive would have too many entries for its 32-bit count");
    if (newCount != layout.count && !changes.Validation)
        throw EKVBError("Archive " + archive +
                        " cannot change its number of entries without the "
                        "validation block for the new number");
    plan.newCount = int32_t(newCount);
    plan.validationSize = changes.Validation ? int64_t(changes.Validation->size())
                                             : layout.entries.front().position - layout.validationStart;

    const std::vector<TReplacement> &replacements = changes.Replacements;
    for (size_t r = 0; r < replacements.size(); ++r) {
        const TReplacement &replacement = replacements[r];
        if (replacement.TocIndex < 0 || replacement.TocIndex >= layout.count)
            throw EListError(replacement.TocIndex);
        const size_t k = layout.EntryOf(replacement.TocIndex);
        TDataEntry &entry = layout.entries[k];
        if (entry.replacement >= 0)
            throw EKVBError("Records " +
                            std::to_string(replacements[size_t(entry.replacement)].TocIndex + 1) +
                            " and " + std::to_string(replacement.TocIndex + 1) +
                            " lead to one data entry, which can be replaced only once");
        if (k >= plan.kept)
            throw EKVBError("Record " + std::to_string(replacement.TocIndex + 1) +
                            " is taken out of the archive, and its data cannot be replaced too");
        std::unique_ptr<TFileStream> input;
        if (!replacement.Load)
            input = std::make_unique<TFileStream>(replacement.FileName, TFileStream::Mode::OpenRead);
        const int64_t length = replacement.Load   ? replacement.Length
                               : replacement.Data ? int64_t(replacement.Data->size())
                                                  : input->OpenedSize();
        if (length < 0 || length > INT32_MAX)
            throw EKVBError("File " + replacement.FileName + " is too large to store in an archive");
        entry.replacement = int32_t(r);
        plan.changes.push_back({replacement.TocIndex,
                                NameFromField(layout.toc[size_t(replacement.TocIndex)].Name),
                                entry.length, length});
        plan.inputs.push_back(std::move(input));
    }

    // The new positions; each, and where the description starts, must fit a signed 32-bit field.
    const auto next = [](int64_t position, int64_t length) {
        const int64_t end = EntryEnd(position, length);
        if (end > INT32_MAX)
            throw EKVBError("The rebuilt archive would be too large for its 32-bit offsets");
        return end;
    };
    int64_t position = TocEnd(newCount) + plan.validationSize;
    if (position > INT32_MAX)
        throw EKVBError("The rebuilt archive would be too large for its 32-bit offsets");
    for (size_t k = 0; k < plan.kept; ++k) {
        TDataEntry &entry = layout.entries[k];
        entry.newPosition = position;
        entry.newLength = entry.replacement >= 0 ? plan.changes[size_t(entry.replacement)].NewLength
                                                 : entry.length;
        position = next(position, entry.newLength);
    }
    for (const TAppendedEntry &appended : changes.Appended) {
        if (appended.Length < 0 || appended.Length > INT32_MAX)
            throw EKVBError("An entry of " + std::to_string(appended.Length) +
                            " bytes is too large to store in an archive");
        plan.appendedPositions.push_back(position);
        position = next(position, appended.Length);
    }
    plan.descriptionPosition = position;
    return plan;
}

} // namespace

std::vector<TReplacedEntry> PlanReplacement(const std::string &archive,
                                            const std::vector<TReplacement> &replacements)
{
    TFileStream file(archive, TFileStream::Mode::OpenRead);
    TEditJournal(archive).CheckBeforeReading(file);
    TRebuild changes;
    changes.Replacements = replacements;
    return Plan(file, archive, changes).changes;
}

std::vector<TReplacedEntry> PlanRebuild(const TFileStream &file, const std::string &archive,
                                        const TRebuild &changes)
{
    return Plan(file, archive, changes).changes;
}

std::vector<TReplacedEntry> ReplaceEntries(const std::string &archive,
                                           const std::vector<TReplacement> &replacements,
                                           const std::string &output, const TProgress &progress,
                                           std::optional<std::string> *note)
{
    return ReplaceEntries(
        archive, [&replacements](const TFileStream &) { return replacements; }, output, progress, note);
}

std::vector<TReplacedEntry> ReplaceEntries(const std::string &archive, const TReplacementChoice &choose,
                                           const std::string &output, const TProgress &progress,
                                           std::optional<std::string> *note,
                                           const TBeforeCommit &beforeCommit)
{
    return RebuildArchive(
        archive,
        [&choose](const TFileStream &file) {
            TRebuild changes;
            changes.Replacements = choose(file);
            return changes;
        },
        output, progress, note, beforeCommit);
}

std::vector<TReplacedEntry> RebuildArchive(const std::string &archive, const TRebuildChoice &choose,
                                           const std::string &output, const TProgress &progress,
                                           std::optional<std::string> *note,
                                           const TBeforeCommit &beforeCommit)
{
    // The file that is replaced (the archive itself, or an archive standing at the output) has
    // the record of an interrupted edit settled first, so that none is left beside the new one.
    std::vector<std::string> notes;
    if (std::optional<std::string> settled = SettleBeforeReplacing(output.empty() ? archive : output))
        notes.push_back(std::move(*settled));
    // Locked before the first byte is read and until the new archive is in place: an edit that
    // landed in between would be read by no one and then replaced.
    TFileStream file(archive, TFileStream::Mode::OpenReadLocked);
    if (std::optional<std::string> settled = TEditJournal(archive).Settle(file, false))
        notes.push_back(std::move(*settled));
    if (note && !notes.empty()) {
        *note = notes.front();
        for (size_t i = 1; i < notes.size(); ++i)
            **note += "\n" + notes[i];
    }
    const TRebuild changes = choose(file);
    if (changes.Empty() && output.empty())
        return {};
    TPlan plan = Plan(file, archive, changes);
    const TLayout &layout = plan.layout;
    const std::vector<TReplacement> &replacements = changes.Replacements;

    // Replacing the archive in its own place is the point; a named output must not be the
    // archive or one of the files put in.
    std::vector<const TFileStream *> sources = changes.Sources;
    if (!output.empty())
        sources.push_back(&file);
    for (const auto &input : plan.inputs)
        if (input)
            sources.push_back(input.get());
    TOutputFile out(output.empty() ? archive : output, TOutputKind::Archive, sources,
                    output.empty() ? &file : nullptr);
    TFileStream &target = out.Stream();

    const int64_t descriptionSize = layout.fileSize - layout.descriptionStart;
    const int64_t total = plan.descriptionPosition + descriptionSize;
    auto report = [&](int64_t done) {
        if (progress)
            progress(int32_t(done >> 10), int32_t(total >> 10));
    };

    // Header and table: the same bytes, but for the count and the offsets, and the records
    // taken out or appended at the end.
    std::vector<char> head(size_t(TocEnd(plan.newCount)));
    TKVB_FileHeader fileHeader = DecodeFileHeader(layout.header);
    fileHeader.Count = plan.newCount;
    EncodeFileHeader(fileHeader, head.data());
    const int32_t keptRecords = layout.count - changes.DropLast;
    for (int32_t i = 0; i < keptRecords; ++i) {
        TKVB_TocRecord record = layout.toc[size_t(i)];
        record.Offset = int32_t(layout.entries[layout.EntryOf(i)].newPosition);
        EncodeTocRecord(record, head.data() + TocRecordPosition(i));
    }
    for (size_t a = 0; a < changes.Appended.size(); ++a) {
        const TAppendedEntry &appended = changes.Appended[a];
        EncodeTocRecord({appended.Name, int32_t(plan.appendedPositions[a]), appended.Reserved1,
                         appended.Reserved2},
                        head.data() + TocRecordPosition(keptRecords + int64_t(a)));
    }
    target.WriteAt(0, head.data(), int64_t(head.size()));
    int64_t written = int64_t(head.size());

    // Then the archive's own bytes in long runs, from the validation block on (or the first
    // entry, after a new block), broken only where a replaced entry's header and data go in.
    int64_t runStart = layout.validationStart;
    if (changes.Validation) {
        target.WriteAt(written, changes.Validation->data(), int64_t(changes.Validation->size()));
        written += int64_t(changes.Validation->size());
        runStart = layout.entries.front().position;
    }
    // Long runs go in pieces, each reported, so that a report may stop the work (a Cancel) in
    // the middle of a large entry; nothing is in place until Commit.
    auto copy = [&](const TFileStream &source, int64_t from, int64_t length) {
        constexpr int64_t kPiece = int64_t(64) << 20;
        for (int64_t done = 0; done < length;) {
            const int64_t piece = std::min(kPiece, length - done);
            CopyFileRange(source, from + done, target, written, piece);
            done += piece;
            written += piece;
            if (done < length)
                report(written);
        }
    };
    // A data header with its name bytes and the new length, and data held in memory.
    auto put = [&](const char *name, int64_t length, const std::string *data) {
        TKVB_DataHeader header = DecodeDataHeader(name);
        header.Length = int32_t(length);
        char bytes[kDataHeaderSize];
        EncodeDataHeader(header, bytes);
        target.WriteAt(written, bytes, kDataHeaderSize);
        written += kDataHeaderSize;
        if (data) {
            target.WriteAt(written, data->data(), int64_t(data->size()));
            written += int64_t(data->size());
        }
    };
    // The length the plan was made with is the one the offsets rely on.
    auto checkLoaded = [](const std::string &data, int64_t length, const std::string &what) {
        if (int64_t(data.size()) != length)
            throw EKVBError("The data of " + what + " has " + std::to_string(data.size()) +
                            " bytes, not the " + std::to_string(length) + " it was planned with");
    };
    for (size_t k = 0; k < plan.kept; ++k) {
        const TDataEntry &entry = layout.entries[k];
        if (entry.replacement < 0)
            continue;
        copy(file, runStart, entry.position - runStart);
        const TReplacement &replacement = replacements[size_t(entry.replacement)];
        if (replacement.Load) {
            const std::string data = replacement.Load();
            checkLoaded(data, entry.newLength, "record " + std::to_string(replacement.TocIndex + 1));
            put(entry.header, entry.newLength, &data);
        } else if (replacement.Data) {
            put(entry.header, entry.newLength, &*replacement.Data);
        } else {
            put(entry.header, entry.newLength, nullptr);
            const TFileStream &input = *plan.inputs[size_t(entry.replacement)];
            copy(input, 0, entry.newLength);
            if (input.Size() != entry.newLength)
                throw EKVBError("File " + input.FileName() +
                                " changed in size while the archive "
                                "was being rebuilt");
        }
        runStart = EntryEnd(entry.position, entry.length);
        report(written);
    }
    copy(file, runStart,
         (plan.kept < layout.entries.size() ? layout.entries[plan.kept].position
                                            : layout.descriptionStart) -
             runStart);
    for (size_t a = 0; a < changes.Appended.size(); ++a) {
        const TAppendedEntry &appended = changes.Appended[a];
        const std::string data = appended.Load();
        checkLoaded(data, appended.Length,
                    "the entry appended as record " + std::to_string(keptRecords + int64_t(a) + 1));
        char name[kDataHeaderSize]{};
        std::copy(appended.Name.begin(), appended.Name.end(), name);
        put(name, appended.Length, &data);
        report(written);
    }
    copy(file, layout.descriptionStart, descriptionSize);
    report(total);

    if (beforeCommit)
        beforeCommit(std::string(head.begin(), head.end()));
    out.Commit();
    return plan.changes;
}

} // namespace kvb
