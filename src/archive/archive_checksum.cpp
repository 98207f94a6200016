#include "archive/archive_checksum.h"

#include "archive/checksum.h"
#include "archive/format.h"
#include "archive/table_of_contents.h"
#include "platform/errors.h"
#include "platform/stream.h"

#include <algorithm>

namespace kvb {

namespace {

// Large enough that reading costs few calls, small enough to stay in the processor's cache
// while it is summed.
constexpr size_t kReadSize = size_t(1) << 20;

void PutUInt64LE(char *p, uint64_t value)
{
    for (int i = 0; i < 8; ++i)
        p[i] = char(value >> (8 * i));
}

} // namespace

uint64_t TArchiveSums::Archive() const
{
    TChecksum sum;
    char bytes[8];
    const auto add = [&](uint64_t piece) {
        PutUInt64LE(bytes, piece);
        sum.Add(std::string_view(bytes, sizeof bytes));
    };
    add(Head);
    for (size_t i = 0; i < Positions.size(); ++i) {
        add(Headers[i]);
        add(Data[i]);
    }
    add(Tail);
    return sum.Value();
}

std::optional<size_t> TArchiveSums::EntryAt(int64_t position) const
{
    const auto it = std::lower_bound(Positions.begin(), Positions.end(), position);
    if (it == Positions.end() || *it != position)
        return std::nullopt;
    return size_t(it - Positions.begin());
}

int64_t FirstDataPosition(const TFileStream &file)
{
    const int64_t size = file.Size();
    const int32_t count = ReadFileHeader(file).Count;
    if (count <= 0 || TocEnd(count) > size)
        return size;
    int64_t first = INT64_MAX;
    ReadTableOfContents(file, count, [&](const TKVB_TocRecord &record) {
        first = std::min<int64_t>(first, record.Offset);
    });
    return first < TocEnd(count) || first > size ? size : first;
}

TArchiveWalk::TArchiveWalk(const TFileStream &file, const TProgress &progress)
    : file_(file),
      progress_(progress),
      buffer_(kReadSize)
{
    sums_.Size = file.Size();
    TChecksum head;
    Take(FirstDataPosition(file),
         [&](const char *bytes, size_t size) { head.Add(std::string_view(bytes, size)); });
    sums_.Head = head.Value();
}

TArchiveWalk::~TArchiveWalk() = default;

void TArchiveWalk::Take(int64_t count, const std::function<void(const char *bytes, size_t size)> &use)
{
    while (count > 0) {
        if (at_ == bufferStart_ + int64_t(filled_)) {
            bufferStart_ = at_;
            filled_ = size_t(file_.ReadAt(at_, buffer_.data(), int64_t(buffer_.size())));
            if (filled_ == 0)
                throw EReadError("Reading " + file_.FileName() + ": the file ends at byte " +
                                 std::to_string(at_) + ", before the bytes being summed");
            if (progress_)
                progress_(int32_t(at_ >> 20), int32_t(sums_.Size >> 20));
        }
        const size_t piece = size_t(std::min<int64_t>(count, bufferStart_ + int64_t(filled_) - at_));
        if (use)
            use(buffer_.data() + (at_ - bufferStart_), piece);
        at_ += int64_t(piece);
        count -= int64_t(piece);
    }
}

const char *TArchiveWalk::Peek(size_t count)
{
    if (at_ + int64_t(count) > bufferStart_ + int64_t(filled_)) {
        if (progress_)
            progress_(int32_t(at_ >> 20), int32_t(sums_.Size >> 20));
        bufferStart_ = at_;
        filled_ = size_t(file_.ReadAt(at_, buffer_.data(), int64_t(buffer_.size())));
        if (filled_ < count)
            throw EReadError("Reading " + file_.FileName() + ": the file ends at byte " +
                             std::to_string(at_ + int64_t(filled_)) + ", before the bytes being summed");
    }
    return buffer_.data() + (at_ - bufferStart_);
}

std::optional<TArchiveWalk::TEntry> TArchiveWalk::Next()
{
    if (done_)
        return std::nullopt;
    if (dataLeft_ >= 0)
        ReadData({});
    // A header's worth or less is the description; so is whatever follows a header that cannot
    // be an entry's.
    if (sums_.Size - at_ > kDataHeaderSize) {
        const char *header = Peek(kDataHeaderSize);
        const int32_t length = DecodeDataHeader(header).Length;
        if (length >= 0 && EntryEnd(at_, length) <= sums_.Size) {
            const TEntry entry{at_, length};
            sums_.Positions.push_back(entry.Position);
            sums_.Lengths.push_back(length);
            sums_.Headers.push_back(Checksum64(std::string_view(header, kDataHeaderSize)));
            Take(kDataHeaderSize, {});
            dataLeft_ = length;
            return entry;
        }
    }
    TChecksum tail;
    Take(sums_.Size - at_,
         [&](const char *bytes, size_t size) { tail.Add(std::string_view(bytes, size)); });
    sums_.Tail = tail.Value();
    done_ = true;
    return std::nullopt;
}

void TArchiveWalk::ReadData(const std::function<void(const char *bytes, size_t size)> &use)
{
    const int64_t count = std::max<int64_t>(dataLeft_, 0);
    dataLeft_ = -1;
    // An entry that fits the buffer is summed at once, which costs less than a running sum.
    if (count <= int64_t(buffer_.size())) {
        const char *bytes = Peek(size_t(count));
        sums_.Data.push_back(Checksum64(std::string_view(bytes, size_t(count))));
        if (use)
            use(bytes, size_t(count));
        at_ += count;
        return;
    }
    TChecksum data;
    Take(count, [&](const char *bytes, size_t size) {
        data.Add(std::string_view(bytes, size));
        if (use)
            use(bytes, size);
    });
    sums_.Data.push_back(data.Value());
}

TArchiveSums SumArchive(const TFileStream &file, const TProgress &progress)
{
    TArchiveWalk walk(file, progress);
    while (walk.Next()) {
    }
    return walk.Sums();
}

} // namespace kvb
