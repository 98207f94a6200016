#include "archive/catalogue.h"

#include "archive/edit_journal.h"
#include "archive/format.h"
#include "archive/table_of_contents.h"
#include "archive/text.h"
#include "platform/errors.h"
#include "platform/stream.h"

#include <algorithm>
#include <cstring>

namespace kvb {

TProgressHook ProgressHook = nullptr;

namespace {

int32_t ClampToInt32(int64_t value)
{
    return static_cast<int32_t>(std::clamp<int64_t>(value, INT32_MIN, INT32_MAX));
}

// Neighbouring data headers are fetched with one read of at most this many bytes, as long as
// no gap between two of them is wider than kHeaderBatchGap: reading through a wider gap copies
// more than a read of its own costs, and for archives of middle-sized entries the batches would
// copy the whole archive into memory to find a few bytes per entry.
constexpr int64_t kHeaderBatchSpan = 64 * 1024;
constexpr int64_t kHeaderBatchGap = 4 * 1024;

} // namespace

TKVBFile::TKVBFile(const std::string &fileName, bool fullRead, const TProgress &progress)
    : fileName_(fileName)
{
    const TProgress report = progress ? progress : [](int32_t position, int32_t maximum) {
        if (ProgressHook)
            ProgressHook(position, maximum);
    };
    TFileStream file(fileName, TFileStream::Mode::OpenRead);
    // An edit in progress or cut short leaves the archive half written until an editor puts it
    // right; showing it as it stands would pass damage off as the archive.
    note_ = TEditJournal(fileName).CheckBeforeReading(file);

    const TKVB_FileHeader header = ReadFileHeader(file);
    count_ = header.Count;
    creator_ = CreatorFromField(header.Creator);

    int32_t greatestOffset = 0;
    // Two passes count twice; a hostile Count must not overflow the doubling.
    const int32_t maximum = fullRead ? ClampToInt32(2 * int64_t(count_)) : count_;

    if (count_ > 0) {
        ReadTableOfContents(file, count_, [&](const TKVB_TocRecord &record) {
            // The reader has checked the file holds every record before it hands out the first.
            if (entries_.empty())
                entries_.reserve(static_cast<size_t>(count_));
            TKVB_Entry entry;
            entry.Name = NameFromField(record.Name);
            entry.Offset = record.Offset;
            entries_.push_back(std::move(entry));
            greatestOffset = std::max(greatestOffset, record.Offset);
            report(static_cast<int32_t>(entries_.size()), maximum);
        });
        // Data order: ascending Offset, and a later record with an equal Offset before the
        // earlier ones (as inserting each new record after the last smaller one would give).
        sortedEntries_.resize(entries_.size());
        for (size_t i = 0; i < sortedEntries_.size(); ++i)
            sortedEntries_[i] = static_cast<int32_t>(i);
        std::sort(sortedEntries_.begin(), sortedEntries_.end(), [this](int32_t a, int32_t b) {
            if (entries_[a].Offset != entries_[b].Offset)
                return entries_[a].Offset < entries_[b].Offset;
            return a > b;
        });
    }

    if (fullRead)
        ReadDataHeaders(file, greatestOffset, maximum, report);
}

// Visits every entry's data header: its Length, whether its name matches, and after the entry
// with the greatest offset the description. Entries are visited in data order so that headers
// lying close together come from one read; progress still counts one call per entry.
void TKVBFile::ReadDataHeaders(TFileStream &file, int32_t greatestOffset, int32_t maximum,
                               const TProgress &report)
{
    const int64_t fileSize = file.Size();
    std::vector<char> batch;
    int64_t batchStart = 0;
    bool descriptionRead = false;

    for (size_t i = 0; i < sortedEntries_.size(); ++i) {
        TKVB_Entry &entry = entries_[sortedEntries_[i]];
        if (entry.Offset < 0 || DataPosition(entry.Offset) > fileSize)
            throw FileEndsEarly(file, "the data headers",
                                "entry " + std::to_string(sortedEntries_[i] + 1) + " (" +
                                    PrintableName(entry.Name) + "), whose header is at byte " +
                                    std::to_string(entry.Offset) + ",",
                                DataPosition(entry.Offset));

        // Offsets near 2 GiB would wrap in 32 bits; every position here is 64-bit.
        const int64_t headerEnd = DataPosition(entry.Offset);
        if (entry.Offset < batchStart || headerEnd > batchStart + int64_t(batch.size())) {
            // Take in this header and the following ones as long as they stay within one span.
            int64_t end = headerEnd;
            for (size_t j = i + 1; j < sortedEntries_.size(); ++j) {
                const int64_t next = entries_[sortedEntries_[j]].Offset;
                const int64_t nextEnd = DataPosition(next);
                if (next - end > kHeaderBatchGap || nextEnd - entry.Offset > kHeaderBatchSpan ||
                    nextEnd > fileSize)
                    break;
                end = nextEnd;
            }
            batchStart = entry.Offset;
            batch.resize(size_t(end - batchStart));
            if (file.ReadAt(batchStart, batch.data(), int64_t(batch.size())) != int64_t(batch.size()))
                throw EReadError();
        }

        TKVB_DataHeader header = DecodeDataHeader(batch.data() + (entry.Offset - batchStart));
        if (!SameName(NameFromField(header.Name), entry.Name))
            entry.NameMismatch = true;
        entry.Length = header.Length;

        if (entry.Offset == greatestOffset && !descriptionRead) {
            descriptionRead = true;
            int64_t position = EntryEnd(entry.Offset, entry.Length);
            if (position < 0)
                throw EReadError();
            if (position < fileSize) {
                description_.resize(size_t(fileSize - position));
                int64_t n = file.ReadAt(position, description_.data(), fileSize - position);
                description_.resize(size_t(n));
            }
        }

        report(ClampToInt32(int64_t(count_) + int64_t(i) + 1), maximum);
    }
}

TKVB_Entry TKVBFile::GetEntry(int32_t index) const
{
    if (index < 0 || index >= EntryCount())
        throw EListError(index);
    return entries_[index];
}

TKVB_Entry TKVBFile::GetSortedEntry(int32_t index) const
{
    if (index < 0 || index >= EntryCount())
        throw EListError(index);
    return entries_[sortedEntries_[index]];
}

int32_t TKVBFile::GetSortedIndex(int32_t index) const
{
    if (index < 0 || index >= EntryCount())
        throw EListError(index);
    return sortedEntries_[index];
}

} // namespace kvb
