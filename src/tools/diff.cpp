#include "tools/diff.h"

#include "archive/catalogue.h"
#include "archive/checksum.h"
#include "archive/format.h"
#include "archive/table_of_contents.h"
#include "archive/text.h"
#include "platform/errors.h"
#include "platform/paths.h"
#include "platform/stream.h"
#include "tools/analysis.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <unordered_map>

namespace kvb {

namespace {

// Large enough that reading costs few calls, small enough to stay in the processor's cache
// while it is summed.
constexpr int64_t kReadSize = int64_t(1) << 20;

// Bytes of one archive to sum, and where their checksum goes.
struct TRange {
    int64_t Start = 0, Size = 0;
    size_t Slot = 0;
};

// How far the comparison has got, on one scale: the two catalogues, the data compared side by
// side, the data and the validation blocks summed.
class TStages {
public:
    enum TStage { CatalogueA, CatalogueB, Comparing, Summing };

    explicit TStages(const TProgress &report) : report_(report) {}

    // done of total in stage; nothing when nobody asked.
    void Report(TStage stage, int64_t done, int64_t total) const
    {
        if (!report_)
            return;
        static constexpr int32_t kStart[] = {0, 2500, 5000, 7500, kScale};
        const int64_t span = kStart[stage + 1] - kStart[stage];
        report_(kStart[stage] + int32_t(total > 0 ? std::min(done, total) * span / total : span), kScale);
    }
    // A catalogue's own reports, within its stage.
    TProgress For(TStage stage) const
    {
        if (!report_)
            return {};
        return [this, stage](int32_t position, int32_t maximum) { Report(stage, position, maximum); };
    }

private:
    static constexpr int32_t kScale = 10000;
    const TProgress &report_;
};

// The catalogue with every length. A read error of the catalogue that says no more than that
// is told which of the two files it is.
std::shared_ptr<const TKVBFile> ReadCatalogue(const std::string &path, const TProgress &progress)
{
    try {
        return std::make_shared<const TKVBFile>(path, true, progress);
    } catch (const EReadError &e) {
        if (!e.Detail().empty())
            throw;
        throw EReadError("Reading the catalogue of " + FileNameOf(path) + " to compare it");
    }
}

// One archive as the comparison reads it. The stream is opened first, so that a pipe or a
// device is refused before anything waits on it, and it tells whether both names are one file.
struct TSide {
    TFileStream File;
    std::shared_ptr<const TKVBFile> Read;
    const TKVBFile &Catalogue;
    int64_t Size;
    std::unordered_map<int32_t, size_t> SlotOf; // data entries to sum, by offset
    std::vector<TRange> Ranges;
    std::vector<uint64_t> Sums;

    TSide(const std::string &path, const TProgress &progress)
        : File(path, TFileStream::Mode::OpenRead),
          Read(ReadCatalogue(path, progress)),
          Catalogue(*Read),
          Size(File.Size())
    {
    }

    size_t Sum(int64_t start, int64_t size)
    {
        Ranges.push_back({start, size, Ranges.size()});
        return Ranges.back().Slot;
    }
    size_t SumData(const TKVB_Entry &entry)
    {
        const auto [it, added] = SlotOf.try_emplace(entry.Offset, Ranges.size());
        if (added)
            Sum(DataPosition(entry.Offset), entry.Length);
        return it->second;
    }
};

std::string EntryText(int32_t index, const std::string &name)
{
    return "entry " + std::to_string(index + 1) + " (" + PrintableName(name) + ")";
}

// The catalogue has checked every data header lies in the file; the data after it must too.
void CheckData(const TSide &side)
{
    for (int32_t i = 0; i < side.Catalogue.EntryCount(); ++i) {
        const TKVB_Entry entry = side.Catalogue.GetEntry(i);
        if (entry.Length < 0)
            throw EReadError("Reading the data of " + FileNameOf(side.File.FileName()) + ": " +
                             EntryText(i, entry.Name) + " has the negative length " +
                             std::to_string(entry.Length));
        if (EntryEnd(entry.Offset, entry.Length) > side.Size)
            throw FileEndsEarly(side.File, "the data", EntryText(i, entry.Name),
                                EntryEnd(entry.Offset, entry.Length));
    }
}

// Sums the ranges in the order they lie in the file, each read into one buffer in pieces of
// kReadSize that neighbouring ranges share: an archive is read front to back, once. done counts
// the bytes summed, of total, for the progress.
void SumRanges(TSide &side, const TStages &stages, int64_t &done, int64_t total)
{
    std::vector<TRange> ranges = side.Ranges;
    std::sort(ranges.begin(), ranges.end(),
              [](const TRange &a, const TRange &b) { return a.Start < b.Start; });
    side.Sums.assign(ranges.size(), 0);
    std::unique_ptr<char[]> buffer(new char[size_t(kReadSize)]);
    int64_t bufferStart = 0, filled = 0;
    for (const TRange &range : ranges) {
        int64_t at = range.Start, left = range.Size;
        TChecksum sum;
        bool whole = false;
        while (left > 0) {
            if (at < bufferStart || at >= bufferStart + filled) {
                bufferStart = at;
                filled = side.File.ReadAt(at, buffer.get(), std::min(kReadSize, side.Size - at));
                if (filled <= 0)
                    throw FileEndsEarly(side.File, "the data", "the comparison", at + left);
            }
            const int64_t piece = std::min(left, bufferStart + filled - at);
            const std::string_view bytes(buffer.get() + (at - bufferStart), size_t(piece));
            // A range in one piece is summed at once, which costs less than a running sum.
            if (piece == range.Size) {
                side.Sums[range.Slot] = Checksum64(bytes);
                whole = true;
            } else {
                sum.Add(bytes);
            }
            at += piece;
            left -= piece;
            done += piece;
            stages.Report(TStages::Summing, done, total);
        }
        if (!whole)
            side.Sums[range.Slot] = range.Size == 0 ? Checksum64({}) : sum.Value();
    }
}

// Bytes of a file served from one buffer, refilled with a read of kReadSize where a request
// leaves it: reading front to back costs one call a buffer.
class TPieceReader {
public:
    explicit TPieceReader(const TSide &side) : side_(side), buffer_(new char[size_t(kReadSize)]) {}
    // The bytes from position on, and how many of them are at hand (at least one).
    const char *At(int64_t position, int64_t &available)
    {
        if (position < start_ || position >= start_ + filled_) {
            start_ = position;
            filled_ =
                side_.File.ReadAt(position, buffer_.get(), std::min(kReadSize, side_.Size - position));
            if (filled_ <= 0)
                throw FileEndsEarly(side_.File, "the data", "the comparison", position + 1);
        }
        available = start_ + filled_ - position;
        return buffer_.get() + (position - start_);
    }

private:
    const TSide &side_;
    std::unique_ptr<char[]> buffer_;
    int64_t start_ = 0, filled_ = 0;
};

// Data of equal length in both archives, to be compared.
struct TComparison {
    int32_t OffsetA = 0, OffsetB = 0, Length = 0;
    bool Differs = false;
    friend bool operator==(const TComparison &, const TComparison &) = default;
};

bool ByOffsets(const TComparison &x, const TComparison &y)
{
    return x.OffsetA != y.OffsetA ? x.OffsetA < y.OffsetA : x.OffsetB < y.OffsetB;
}

// Compares the data of each pair byte for byte, reading both archives front to back side by
// side; only when the second archive holds the data in the order of the first.
void CompareInStep(const TSide &a, const TSide &b, std::vector<TComparison> &comparisons,
                   const TStages &stages)
{
    TPieceReader readerA(a), readerB(b);
    int64_t total = 0, done = 0;
    for (const TComparison &comparison : comparisons)
        total += comparison.Length;
    for (TComparison &comparison : comparisons) {
        int64_t atA = DataPosition(comparison.OffsetA), atB = DataPosition(comparison.OffsetB);
        for (int64_t left = comparison.Length; left > 0 && !comparison.Differs;) {
            int64_t availableA = 0, availableB = 0;
            const char *bytesA = readerA.At(atA, availableA);
            const char *bytesB = readerB.At(atB, availableB);
            const int64_t piece = std::min({left, availableA, availableB});
            comparison.Differs = std::memcmp(bytesA, bytesB, size_t(piece)) != 0;
            atA += piece;
            atB += piece;
            left -= piece;
            stages.Report(TStages::Comparing, done + comparison.Length - left, total);
        }
        done += comparison.Length;
    }
}

// From the end of the table to the first entry, or to the end of the file without entries.
size_t SumValidation(TSide &side)
{
    const TKVBFile &catalogue = side.Catalogue;
    if (const std::optional<TValidationBlock> block = FindValidationBlock(catalogue))
        return side.Sum(block->Start, std::max<int64_t>(block->Size(), 0));
    const int64_t start = std::min(TocEnd(std::max(catalogue.Count(), 0)), side.Size);
    return side.Sum(start, side.Size - start);
}

struct TPair {
    int32_t A = 0, B = 0;
    bool ByNumber = false;
};

} // namespace

TRecordsByName RecordsByName(int32_t count, const std::function<std::string(int32_t index)> &nameOf)
{
    TRecordsByName records;
    for (int32_t i = 0; i < count; ++i)
        records[nameOf(i)].push_back(i);
    return records;
}

TArchiveDiff DiffArchives(const std::string &a, const std::string &b, const TProgress &progress)
{
    const TStages stages(progress);
    TSide sideA(a, stages.For(TStages::CatalogueA));
    TSide sideB(b, stages.For(TStages::CatalogueB));
    const bool sameFile = sideA.File.Identity() == sideB.File.Identity();
    CheckData(sideA);
    CheckData(sideB);

    TArchiveDiff diff;
    diff.SameFile = sameFile;
    diff.CatalogueA = sideA.Read;
    diff.CatalogueB = sideB.Read;
    diff.CountA = sideA.Catalogue.Count();
    diff.CountB = sideB.Catalogue.Count();
    diff.CreatorA = sideA.Catalogue.Creator();
    diff.CreatorB = sideB.Catalogue.Creator();
    diff.DescriptionA = sideA.Catalogue.Description();
    diff.DescriptionB = sideB.Catalogue.Description();
    for (const TSide *side : {&sideA, &sideB})
        if (side->Catalogue.Note() && (side == &sideA || !sameFile))
            diff.Notes.push_back(*side->Catalogue.Note());

    const auto nameIn = [](const TKVBFile &catalogue) {
        return [&catalogue](int32_t i) { return catalogue.GetEntry(i).Name; };
    };
    const TRecordsByName inA = RecordsByName(sideA.Catalogue.EntryCount(), nameIn(sideA.Catalogue));
    const TRecordsByName inB = RecordsByName(sideB.Catalogue.EntryCount(), nameIn(sideB.Catalogue));
    std::vector<TPair> pairs;
    for (const auto &[name, recordsA] : inA) {
        const auto found = inB.find(name);
        const size_t inBoth = found == inB.end() ? 0 : std::min(recordsA.size(), found->second.size());
        const bool byNumber = recordsA.size() > 1 || (found != inB.end() && found->second.size() > 1);
        for (size_t k = 0; k < inBoth; ++k)
            pairs.push_back({recordsA[k], found->second[k], byNumber});
        for (size_t k = inBoth; k < recordsA.size(); ++k)
            diff.OnlyInA.push_back({recordsA[k], name, sideA.Catalogue.GetEntry(recordsA[k]).Length});
    }
    for (const auto &[name, recordsB] : inB) {
        const auto found = inA.find(name);
        for (size_t k = found == inA.end() ? 0 : found->second.size(); k < recordsB.size(); ++k)
            diff.OnlyInB.push_back({recordsB[k], name, sideB.Catalogue.GetEntry(recordsB[k]).Length});
    }
    const auto byIndex = [](const TDiffEntry &x, const TDiffEntry &y) { return x.Index < y.Index; };
    std::sort(diff.OnlyInA.begin(), diff.OnlyInA.end(), byIndex);
    std::sort(diff.OnlyInB.begin(), diff.OnlyInB.end(), byIndex);
    std::sort(pairs.begin(), pairs.end(), [](const TPair &x, const TPair &y) { return x.A < y.A; });
    diff.Matched = int32_t(pairs.size());

    const size_t validationA = SumValidation(sideA);
    const size_t validationB = SumValidation(sideB);
    // One file holds the same data under both names: nothing of it needs reading.
    std::vector<TComparison> comparisons;
    for (size_t i = 0; i < pairs.size() && !sameFile; ++i) {
        const TKVB_Entry entryA = sideA.Catalogue.GetEntry(pairs[i].A);
        const TKVB_Entry entryB = sideB.Catalogue.GetEntry(pairs[i].B);
        if (entryA.Length == entryB.Length)
            comparisons.push_back({entryA.Offset, entryB.Offset, entryA.Length});
    }
    // Data that several records share is compared once.
    std::sort(comparisons.begin(), comparisons.end(), ByOffsets);
    comparisons.erase(std::unique(comparisons.begin(), comparisons.end()), comparisons.end());
    // Where the second archive holds the data in another order, reading it side by side would
    // jump about in it: each archive is then read front to back on its own and its data summed.
    const bool inStep =
        std::is_sorted(comparisons.begin(), comparisons.end(),
                       [](const TComparison &x, const TComparison &y) { return x.OffsetB < y.OffsetB; });
    if (inStep)
        CompareInStep(sideA, sideB, comparisons, stages);
    for (const TComparison &comparison : comparisons)
        if (!inStep || comparison.Differs) {
            sideA.SumData({"", comparison.OffsetA, comparison.Length, false});
            sideB.SumData({"", comparison.OffsetB, comparison.Length, false});
        }
    int64_t summed = 0, toSum = 0;
    for (const TSide *side : {&sideA, &sideB})
        for (const TRange &range : side->Ranges)
            toSum += range.Size;
    SumRanges(sideA, stages, summed, toSum);
    SumRanges(sideB, stages, summed, toSum);
    stages.Report(TStages::Summing, toSum, toSum);
    diff.ValidationA = {sideA.Ranges[validationA].Size, sideA.Sums[validationA]};
    diff.ValidationB = {sideB.Ranges[validationB].Size, sideB.Sums[validationB]};

    for (size_t i = 0; i < pairs.size() && !sameFile; ++i) {
        const TKVB_Entry entryA = sideA.Catalogue.GetEntry(pairs[i].A);
        const TKVB_Entry entryB = sideB.Catalogue.GetEntry(pairs[i].B);
        TDiffChange change{entryA.Name,   pairs[i].A,    pairs[i].B,   pairs[i].ByNumber,
                           entryA.Length, entryB.Length, std::nullopt, std::nullopt};
        if (entryA.Length == entryB.Length) {
            const TComparison key{entryA.Offset, entryB.Offset, entryA.Length};
            const auto compared =
                std::lower_bound(comparisons.begin(), comparisons.end(), key, ByOffsets);
            if (inStep && !compared->Differs)
                continue;
            change.ChecksumA = sideA.Sums[sideA.SlotOf.at(entryA.Offset)];
            change.ChecksumB = sideB.Sums[sideB.SlotOf.at(entryB.Offset)];
            // Summed only: equal sums are taken for equal data.
            if (!inStep && change.ChecksumA == change.ChecksumB)
                continue;
        }
        diff.Changed.push_back(std::move(change));
    }
    return diff;
}

} // namespace kvb
