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
    std::vector<std::unique_ptr<TFileStream>> inputs;
    std::vector<TReplacedEntry> changes;
};

TPlan Plan(const TFileStream &file, const std::string &archive,
           const std::vector<TReplacement> &replacements)
{
    TPlan plan{ReadLayout(file, archive), {}, {}};
    TLayout &layout = plan.layout;
    for (size_t r = 0; r < replacements.size(); ++r) {
        const TReplacement &replacement = replacements[r];
        if (replacement.TocIndex < 0 || replacement.TocIndex >= layout.count)
            throw EListError(replacement.TocIndex);
        TDataEntry &entry = layout.entries[layout.EntryOf(replacement.TocIndex)];
        if (entry.replacement >= 0)
            throw EKVBError("Records " +
                            std::to_string(replacements[size_t(entry.replacement)].TocIndex + 1) +
                            " and " + std::to_string(replacement.TocIndex + 1) +
                            " lead to one data entry, which can be replaced only once");
        auto input = std::make_unique<TFileStream>(replacement.FileName, TFileStream::Mode::OpenRead);
        const int64_t length = replacement.Data ? int64_t(replacement.Data->size()) : input->OpenedSize();
        if (length > INT32_MAX)
            throw EKVBError("File " + replacement.FileName + " is too large to store in an archive");
        entry.replacement = int32_t(r);
        plan.changes.push_back({replacement.TocIndex,
                                NameFromField(layout.toc[size_t(replacement.TocIndex)].Name),
                                entry.length, length});
        plan.inputs.push_back(std::move(input));
    }

    // The new positions; each, and where the description starts, must fit a signed 32-bit field.
    int64_t position = layout.entries.front().position;
    for (TDataEntry &entry : layout.entries) {
        entry.newPosition = position;
        entry.newLength = entry.replacement >= 0 ? plan.changes[size_t(entry.replacement)].NewLength
                                                 : entry.length;
        position = EntryEnd(position, entry.newLength);
        if (position > INT32_MAX)
            throw EKVBError("The rebuilt archive would be too large for its 32-bit offsets");
    }
    return plan;
}

} // namespace

std::vector<TReplacedEntry> PlanReplacement(const std::string &archive,
                                            const std::vector<TReplacement> &replacements)
{
    TFileStream file(archive, TFileStream::Mode::OpenRead);
    TEditJournal(archive).CheckBeforeReading(file);
    return Plan(file, archive, replacements).changes;
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
    const std::vector<TReplacement> replacements = choose(file);
    if (replacements.empty() && output.empty())
        return {};
    TPlan plan = Plan(file, archive, replacements);
    const TLayout &layout = plan.layout;

    // Replacing the archive in its own place is the point; a named output must not be the
    // archive or one of the files put in.
    std::vector<const TFileStream *> sources;
    if (!output.empty())
        sources.push_back(&file);
    for (const auto &input : plan.inputs)
        sources.push_back(input.get());
    TOutputFile out(output.empty() ? archive : output, TOutputKind::Archive, sources,
                    output.empty() ? &file : nullptr);
    TFileStream &target = out.Stream();

    const int64_t total = EntryEnd(layout.entries.back().newPosition, layout.entries.back().newLength) +
                          (layout.fileSize - layout.descriptionStart);
    auto report = [&](int64_t done) {
        if (progress)
            progress(int32_t(done >> 10), int32_t(total >> 10));
    };

    // Header and table: the same bytes, but for the offsets.
    std::vector<char> head(size_t(layout.validationStart));
    std::copy(layout.header, layout.header + kFileHeaderSize, head.begin());
    for (int32_t i = 0; i < layout.count; ++i) {
        TKVB_TocRecord record = layout.toc[size_t(i)];
        record.Offset = int32_t(layout.entries[layout.EntryOf(i)].newPosition);
        EncodeTocRecord(record, head.data() + TocRecordPosition(i));
    }
    target.WriteAt(0, head.data(), int64_t(head.size()));

    // Then the archive's own bytes in long runs, from the validation block on, broken only where
    // a replaced entry's header and data go in.
    int64_t runStart = layout.validationStart;
    int64_t written = layout.validationStart;
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
    for (const TDataEntry &entry : layout.entries) {
        if (entry.replacement < 0)
            continue;
        copy(file, runStart, entry.position - runStart);
        // The header's own name bytes, with the new length.
        TKVB_DataHeader replaced = DecodeDataHeader(entry.header);
        replaced.Length = int32_t(entry.newLength);
        char header[kDataHeaderSize];
        EncodeDataHeader(replaced, header);
        target.WriteAt(written, header, kDataHeaderSize);
        written += kDataHeaderSize;
        const TFileStream &input = *plan.inputs[size_t(entry.replacement)];
        if (const std::optional<std::string> &data = replacements[size_t(entry.replacement)].Data) {
            target.WriteAt(written, data->data(), int64_t(data->size()));
            written += int64_t(data->size());
        } else {
            copy(input, 0, entry.newLength);
            // The length the plan was made with is the one the offsets rely on.
            if (input.Size() != entry.newLength)
                throw EKVBError("File " + input.FileName() +
                                " changed in size while the archive "
                                "was being rebuilt");
        }
        runStart = EntryEnd(entry.position, entry.length);
        report(written);
    }
    copy(file, runStart, layout.fileSize - runStart);
    report(total);

    if (beforeCommit)
        beforeCommit(std::string(head.begin(), head.end()));
    out.Commit();
    return plan.changes;
}

} // namespace kvb
