#include "archive/edit_record.h"

#include "archive/checksum.h"
#include "platform/errors.h"
#include "platform/stream.h"

#include <algorithm>
#include <cstring>

namespace kvb {

namespace {

constexpr char kMagic[8] = {'K', 'V', 'B', 'E', 'D', 'I', 'T', '3'};

// Files are read this much at a time when their bytes are checked.
constexpr int64_t kReadPiece = 1024 * 1024;

const std::string_view Zeros()
{
    static const std::string zeros(size_t(TEditRecord::kBlock), '\0');
    return zeros;
}

// The checksum of bytes [0, end) of the file, leaving out those the overwrites cover; nothing
// when the file is shorter than end.
std::optional<uint64_t> FixedChecksum(const TFileStream &file, int64_t end,
                                      const std::vector<TOverwrite> &overwrites)
{
    std::vector<std::pair<int64_t, int64_t>> skipped;
    for (const TOverwrite &o : overwrites)
        skipped.emplace_back(o.Position, o.Position + int64_t(o.Before.size()));
    std::sort(skipped.begin(), skipped.end());

    TChecksum sum;
    std::string buffer;
    auto add = [&](int64_t from, int64_t to) {
        for (int64_t at = from; at < to;) {
            const int64_t want = std::min(to - at, kReadPiece);
            buffer.resize(size_t(want));
            if (file.ReadAt(at, buffer.data(), want) != want)
                return false;
            sum.Add(buffer);
            at += want;
        }
        return true;
    };
    int64_t at = 0;
    for (const auto &[from, to] : skipped) {
        if (from >= end)
            break;
        if (from > at && !add(at, from))
            return std::nullopt;
        at = std::max(at, to);
    }
    if (at < end && !add(at, end))
        return std::nullopt;
    return sum.Value();
}

// Walks the bytes the edit's writes put in [from, to), with zeros where no write reaches (a gap
// that the file only spans once a later write lies beyond it), handing them to visit in pieces.
template <typename Visit>
void WrittenBytes(const std::vector<TEditWrite> &writes, size_t &next, int64_t from, int64_t to,
                  Visit &&visit)
{
    for (int64_t at = from; at < to;) {
        while (next < writes.size() && writes[next].Position + int64_t(writes[next].Bytes.size()) <= at)
            ++next;
        if (next == writes.size() || writes[next].Position > at) {
            const int64_t gapEnd = next == writes.size() ? to : std::min(to, writes[next].Position);
            for (; at < gapEnd;) {
                const int64_t n = std::min(gapEnd - at, int64_t(Zeros().size()));
                visit(Zeros().substr(0, size_t(n)));
                at += n;
            }
            continue;
        }
        const TEditWrite &w = writes[next];
        const int64_t end = std::min(to, w.Position + int64_t(w.Bytes.size()));
        visit(w.Bytes.substr(size_t(at - w.Position), size_t(end - at)));
        at = end;
    }
}

void PutU64(std::string &out, uint64_t v)
{
    for (int i = 0; i < 8; ++i)
        out += char((v >> (8 * i)) & 0xFF);
}

void PutBytes(std::string &out, const std::string &bytes)
{
    PutU64(out, bytes.size());
    out += bytes;
}

class TReader {
public:
    explicit TReader(std::string_view bytes) : bytes_(bytes) {}
    uint64_t U64()
    {
        if (bytes_.size() - at_ < 8)
            throw EReadError();
        uint64_t v = 0;
        for (int i = 0; i < 8; ++i)
            v |= uint64_t(static_cast<unsigned char>(bytes_[at_ + i])) << (8 * i);
        at_ += 8;
        return v;
    }
    int64_t Size()
    {
        const uint64_t v = U64();
        if (v > uint64_t(INT64_MAX))
            throw EReadError();
        return int64_t(v);
    }
    std::string Bytes()
    {
        const uint64_t n = U64();
        if (bytes_.size() - at_ < n)
            throw EReadError();
        std::string s(bytes_.substr(at_, size_t(n)));
        at_ += size_t(n);
        return s;
    }
    // A count of items of at least itemSize bytes each that the rest must hold.
    uint64_t Count(size_t itemSize)
    {
        const uint64_t n = U64();
        if (n > (bytes_.size() - at_) / itemSize)
            throw EReadError();
        return n;
    }
    bool AtEnd() const { return at_ == bytes_.size(); }

private:
    std::string_view bytes_;
    size_t at_ = 0;
};

// Whether the record's own figures hang together: a record that passes its checksum but not
// this was not written by an editor.
bool Consistent(const TEditRecord &r)
{
    using Kind = TEditRecord::Kind;
    if (r.FixedEnd > r.SizeBefore)
        return false;
    if ((r.EditKind == Kind::Link && r.SizeAfter != r.SizeBefore) ||
        (r.EditKind == Kind::Append && r.SizeAfter <= r.SizeBefore) ||
        (r.EditKind == Kind::Truncate && r.SizeAfter >= r.SizeBefore))
        return false;
    const int64_t kept = std::min(r.SizeBefore, r.SizeAfter);
    for (const TOverwrite &o : r.Overwrites)
        if (o.Before.size() != o.After.size() || o.Position < 0 ||
            o.Position > kept - int64_t(o.Before.size()))
            return false;
    for (int64_t end : r.WriteEnds)
        if (end <= r.SizeBefore || end >= r.SizeAfter)
            return false;
    return r.AddedSums.size() == r.AddedBlockEnds().size();
}

} // namespace

std::vector<int64_t> TEditRecord::AddedBlockEnds() const
{
    std::vector<int64_t> ends;
    if (SizeAfter <= SizeBefore)
        return ends;
    std::vector<int64_t> writeEnds = WriteEnds;
    std::sort(writeEnds.begin(), writeEnds.end());
    auto nextWriteEnd = writeEnds.begin();
    for (int64_t at = SizeBefore; at < SizeAfter;) {
        int64_t end = std::min(SizeAfter, (at / kBlock + 1) * kBlock);
        while (nextWriteEnd != writeEnds.end() && *nextWriteEnd <= at)
            ++nextWriteEnd;
        if (nextWriteEnd != writeEnds.end())
            end = std::min(end, *nextWriteEnd);
        ends.push_back(end);
        at = end;
    }
    return ends;
}

TEditRecord TEditRecord::For(Kind kind, const TFileStream &archive, int64_t fixedEnd, int64_t sizeAfter,
                             const std::vector<TEditWrite> &writes)
{
    TEditRecord record;
    record.EditKind = kind;
    record.SizeBefore = archive.Size();
    record.SizeAfter = sizeAfter;
    record.FixedEnd = std::min(fixedEnd, record.SizeBefore);

    // What the writes put over bytes the file holds before and keeps after, saved whole; what
    // they put past the old end, known by checksums.
    const int64_t kept = std::min(record.SizeBefore, sizeAfter);
    for (const TEditWrite &w : writes) {
        const int64_t end = std::min(kept, w.Position + int64_t(w.Bytes.size()));
        if (w.Position < end) {
            TOverwrite o;
            o.Position = w.Position;
            o.Before.resize(size_t(end - w.Position));
            if (archive.ReadAt(w.Position, o.Before.data(), end - w.Position) != end - w.Position)
                throw EReadError();
            o.After = std::string(w.Bytes.substr(0, size_t(end - w.Position)));
            record.Overwrites.push_back(std::move(o));
        }
        const int64_t writeEnd = w.Position + int64_t(w.Bytes.size());
        if (writeEnd > record.SizeBefore && writeEnd < sizeAfter)
            record.WriteEnds.push_back(writeEnd);
    }
    size_t next = 0;
    int64_t at = record.SizeBefore;
    for (int64_t end : record.AddedBlockEnds()) {
        TChecksum sum;
        WrittenBytes(writes, next, at, end, [&](std::string_view bytes) { sum.Add(bytes); });
        record.AddedSums.push_back(sum.Value());
        at = end;
    }

    const std::optional<uint64_t> fixed = FixedChecksum(archive, record.FixedEnd, record.Overwrites);
    if (!fixed)
        throw EReadError();
    record.FixedSum = *fixed;
    return record;
}

std::string TEditRecord::EditName() const
{
    switch (EditKind) {
    case Kind::Link: return "link";
    case Kind::Append: return "append";
    case Kind::Truncate: return "truncate";
    }
    return "edit";
}

std::string TEditRecord::Encode() const
{
    std::string out(kMagic, sizeof kMagic);
    PutU64(out, uint64_t(EditKind));
    PutU64(out, uint64_t(SizeBefore));
    PutU64(out, uint64_t(SizeAfter));
    PutU64(out, uint64_t(FixedEnd));
    PutU64(out, FixedSum);
    PutU64(out, Overwrites.size());
    for (const TOverwrite &o : Overwrites) {
        PutU64(out, uint64_t(o.Position));
        PutBytes(out, o.Before);
        PutBytes(out, o.After);
    }
    PutU64(out, WriteEnds.size());
    for (int64_t end : WriteEnds)
        PutU64(out, uint64_t(end));
    PutU64(out, AddedSums.size());
    for (uint64_t sum : AddedSums)
        PutU64(out, sum);
    PutU64(out, Checksum64(out));
    return out;
}

std::optional<TEditRecord> TEditRecord::Decode(const std::string &bytes)
{
    if (bytes.size() < sizeof kMagic + 8 || std::memcmp(bytes.data(), kMagic, sizeof kMagic) != 0)
        return std::nullopt;
    const std::string_view body = std::string_view(bytes).substr(0, bytes.size() - 8);
    try {
        if (TReader(std::string_view(bytes).substr(body.size())).U64() != Checksum64(body))
            return std::nullopt;
        TReader r(body.substr(sizeof kMagic));
        TEditRecord record;
        const uint64_t kind = r.U64();
        if (kind > uint64_t(Kind::Truncate))
            return std::nullopt;
        record.EditKind = Kind(kind);
        record.SizeBefore = r.Size();
        record.SizeAfter = r.Size();
        record.FixedEnd = r.Size();
        record.FixedSum = r.U64();
        for (uint64_t i = 0, n = r.Count(24); i < n; ++i) {
            TOverwrite o;
            o.Position = r.Size();
            o.Before = r.Bytes();
            o.After = r.Bytes();
            record.Overwrites.push_back(std::move(o));
        }
        for (uint64_t i = 0, n = r.Count(8); i < n; ++i)
            record.WriteEnds.push_back(r.Size());
        // An append's blocks are counted from its sizes; a count beyond what the record holds
        // is refused before anything is sized from it.
        const uint64_t sums = r.Count(8);
        record.AddedSums.reserve(size_t(sums));
        for (uint64_t i = 0; i < sums; ++i)
            record.AddedSums.push_back(r.U64());
        if (!r.AtEnd() || !Consistent(record))
            return std::nullopt;
        return record;
    } catch (const EReadError &) {
        return std::nullopt;
    }
}

TEditState TEditRecord::StateOf(const TFileStream &archive) const
{
    const int64_t size = archive.Size();
    const std::vector<int64_t> blockEnds = AddedBlockEnds();
    // 1. The size: before, after, or (while bytes are added) the end of one of the blocks.
    if (size != SizeBefore && size != SizeAfter &&
        !std::binary_search(blockEnds.begin(), blockEnds.end(), size))
        return TEditState::Unrelated;
    // 2. The bytes no state of the edit changes.
    if (FixedChecksum(archive, FixedEnd, Overwrites) != FixedSum)
        return TEditState::Unrelated;
    // 3. Every overwritten byte as it was or as the edit writes it.
    bool allBefore = true, allAfter = true;
    for (const TOverwrite &o : Overwrites) {
        std::string now(o.Before.size(), '\0');
        if (archive.ReadAt(o.Position, now.data(), int64_t(now.size())) != int64_t(now.size()))
            return TEditState::Unrelated;
        for (size_t i = 0; i < now.size(); ++i) {
            const bool before = now[i] == o.Before[i], after = now[i] == o.After[i];
            if (!before && !after)
                return TEditState::Unrelated;
            allBefore = allBefore && before;
            allAfter = allAfter && after;
        }
    }
    // 4. Every block of added bytes that the file holds as the edit writes it, or zeros where
    //    the edit had not written it yet (what a power cut can leave).
    bool allAdded = size >= SizeAfter;
    std::string buffer;
    int64_t bufferStart = 0;
    int64_t at = SizeBefore;
    for (size_t b = 0; b < blockEnds.size() && blockEnds[b] <= size; ++b) {
        const int64_t end = blockEnds[b];
        if (end > bufferStart + int64_t(buffer.size())) {
            bufferStart = at;
            buffer.resize(size_t(std::min(kReadPiece, size - at)));
            if (archive.ReadAt(bufferStart, buffer.data(), int64_t(buffer.size())) !=
                int64_t(buffer.size()))
                return TEditState::Unrelated;
        }
        const std::string_view block =
            std::string_view(buffer).substr(size_t(at - bufferStart), size_t(end - at));
        if (Checksum64(block) != AddedSums[b]) {
            if (block.find_first_not_of('\0') != std::string_view::npos)
                return TEditState::Unrelated;
            allAdded = false;
        }
        at = end;
    }

    if (size == SizeBefore && allBefore)
        return TEditState::Before;
    if (size == SizeAfter && allAfter && allAdded)
        return TEditState::After;
    // A shortening edit cuts the file as its last step, with everything else on disk before.
    if (size == SizeAfter && SizeAfter < SizeBefore)
        return TEditState::Unrelated;
    return TEditState::PartWay;
}

void TEditRecord::Restore(TFileStream &archive) const
{
    // Only bytes that StateOf has shown to be the edit's own lie past the old end.
    if (archive.Size() > SizeBefore)
        archive.SetSize(SizeBefore);
    for (const TOverwrite &o : Overwrites)
        archive.WriteAt(o.Position, o.Before.data(), int64_t(o.Before.size()));
    archive.Flush();
}

} // namespace kvb
