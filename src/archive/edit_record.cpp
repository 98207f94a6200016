#include "archive/edit_record.h"

#include "platform/errors.h"
#include "platform/stream.h"

#include <algorithm>
#include <cstring>

namespace kvb {

namespace {

constexpr char kMagic[8] = {'K', 'V', 'B', 'E', 'D', 'I', 'T', '2'};

// A checksum that tells apart files that differ by accident (another archive, an older copy),
// not one that resists a forger: whoever can write the record can write the archive.
class TChecksum {
public:
    void Add(const char *bytes, size_t size)
    {
        for (size_t i = 0; i < size; ++i) {
            word_ |= uint64_t(static_cast<unsigned char>(bytes[i])) << (8 * (count_ % 8));
            if (++count_ % 8 == 0)
                Mix();
        }
    }
    uint64_t Value()
    {
        Mix();
        uint64_t h = hash_ ^ count_;
        h ^= h >> 33;
        h *= 0xff51afd7ed558ccdull;
        h ^= h >> 33;
        return h;
    }

private:
    void Mix()
    {
        hash_ = (hash_ ^ (word_ * 0x9e3779b97f4a7c15ull)) * 0xc2b2ae3d27d4eb4full;
        hash_ = (hash_ << 31) | (hash_ >> 33);
        word_ = 0;
    }
    uint64_t hash_ = 0x84222325cbf29ce4ull;
    uint64_t word_ = 0;
    uint64_t count_ = 0;
};

bool Covered(const std::vector<TEditChange> &changes, int64_t position)
{
    for (const TEditChange &c : changes)
        if (position >= c.Position && position < c.Position + int64_t(c.After.size()))
            return true;
    return false;
}

// The checksum of bytes [0, end) of the file, leaving out those the changes cover; nothing when
// the file is shorter than end.
std::optional<uint64_t> FixedChecksum(const TFileStream &file, int64_t end,
                                      const std::vector<TEditChange> &changes)
{
    constexpr int64_t kChunk = 1024 * 1024;
    std::vector<char> buffer(size_t(std::min(end, kChunk)));
    TChecksum sum;
    for (int64_t at = 0; at < end;) {
        const int64_t want = std::min(end - at, kChunk);
        if (file.ReadAt(at, buffer.data(), want) != want)
            return std::nullopt;
        for (int64_t i = 0; i < want; ++i)
            if (!Covered(changes, at + i))
                sum.Add(&buffer[size_t(i)], 1);
        at += want;
    }
    return sum.Value();
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
    explicit TReader(const std::string &bytes) : bytes_(bytes) {}
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
    std::string Bytes()
    {
        const uint64_t n = U64();
        if (bytes_.size() - at_ < n)
            throw EReadError();
        std::string s = bytes_.substr(at_, size_t(n));
        at_ += size_t(n);
        return s;
    }
    bool AtEnd() const { return at_ == bytes_.size(); }

private:
    const std::string &bytes_;
    size_t at_ = 0;
};

// The bytes of the file at change's place, as far as the file reaches.
std::string ReadChange(const TFileStream &file, const TEditChange &change)
{
    std::string now(change.After.size(), '\0');
    now.resize(size_t(file.ReadAt(change.Position, now.data(), int64_t(now.size()))));
    return now;
}

// What a byte at index i of a change may be while the edit is under way: what stood there, what
// the edit writes, or nothing yet (zero) where the file did not reach before.
bool PossibleMidEdit(const TEditChange &change, size_t i, char byte)
{
    if (byte == change.After[i])
        return true;
    return i < change.Before.size() ? byte == change.Before[i] : byte == '\0';
}

// Whether some byte shows that the change has begun to be written: a new byte where an old one
// stood, or one that is not zero where the file did not reach (an unwritten part reads as zero).
bool Started(const TEditChange &change, const std::string &now)
{
    for (size_t i = 0; i < now.size(); ++i) {
        if (now[i] != change.After[i])
            continue;
        if (i < change.Before.size() ? now[i] != change.Before[i] : now[i] != '\0')
            return true;
    }
    return false;
}

} // namespace

TEditRecord TEditRecord::For(Kind kind, const TFileStream &archive, int64_t fixedEnd,
                             int64_t sizeAfter, std::vector<TEditChange> changes)
{
    TEditRecord record;
    record.EditKind = kind;
    record.SizeBefore = archive.Size();
    record.SizeAfter = sizeAfter;
    record.FixedEnd = std::min(fixedEnd, record.SizeBefore);
    record.Changes = std::move(changes);
    const std::optional<uint64_t> sum = FixedChecksum(archive, record.FixedEnd, record.Changes);
    if (!sum)
        throw EReadError();
    record.FixedHash = *sum;
    return record;
}

std::string TEditRecord::EditName() const
{
    switch (EditKind) {
    case Kind::Link:
        return "link";
    case Kind::Append:
        return "append";
    case Kind::Truncate:
        return "truncate";
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
    PutU64(out, FixedHash);
    PutU64(out, Changes.size());
    for (const TEditChange &c : Changes) {
        PutU64(out, uint64_t(c.Position));
        PutBytes(out, c.Before);
        PutBytes(out, c.After);
    }
    TChecksum sum;
    sum.Add(out.data(), out.size());
    PutU64(out, sum.Value());
    return out;
}

std::optional<TEditRecord> TEditRecord::Decode(const std::string &bytes)
{
    if (bytes.size() < sizeof kMagic + 8 || std::memcmp(bytes.data(), kMagic, sizeof kMagic) != 0)
        return std::nullopt;
    const std::string body = bytes.substr(0, bytes.size() - 8);
    TChecksum sum;
    sum.Add(body.data(), body.size());
    try {
        const std::string stored = bytes.substr(body.size());
        TReader tail(stored);
        if (tail.U64() != sum.Value())
            return std::nullopt;
        TReader r(body);
        r.U64(); // the magic
        TEditRecord record;
        const uint64_t kind = r.U64();
        if (kind > uint64_t(Kind::Truncate))
            return std::nullopt;
        record.EditKind = Kind(kind);
        record.SizeBefore = int64_t(r.U64());
        record.SizeAfter = int64_t(r.U64());
        record.FixedEnd = int64_t(r.U64());
        record.FixedHash = r.U64();
        const uint64_t count = r.U64();
        if (record.SizeBefore < 0 || record.SizeAfter < 0 || record.FixedEnd < 0 ||
            record.FixedEnd > record.SizeBefore || count > body.size())
            return std::nullopt;
        for (uint64_t i = 0; i < count; ++i) {
            TEditChange c;
            c.Position = int64_t(r.U64());
            c.Before = r.Bytes();
            c.After = r.Bytes();
            if (c.Position < 0 || c.Before.size() > c.After.size())
                return std::nullopt;
            record.Changes.push_back(std::move(c));
        }
        if (!r.AtEnd() || (record.EditKind == Kind::Append && record.Changes.empty()))
            return std::nullopt;
        return record;
    } catch (const EReadError &) {
        return std::nullopt;
    }
}

TEditState TEditRecord::StateOf(const TFileStream &archive) const
{
    const int64_t size = archive.Size();
    if (size < std::min(SizeBefore, SizeAfter) || size > std::max(SizeBefore, SizeAfter))
        return TEditState::Unrelated;
    if (FixedChecksum(archive, FixedEnd, Changes) != FixedHash)
        return TEditState::Unrelated;

    bool before = size == SizeBefore;
    bool after = size == SizeAfter;
    for (const TEditChange &c : Changes) {
        const std::string now = ReadChange(archive, c);
        for (size_t i = 0; i < now.size(); ++i) {
            if (!PossibleMidEdit(c, i, now[i]))
                return TEditState::Unrelated;
            if (now[i] != c.After[i])
                after = false;
        }
        if (now.size() < c.After.size())
            after = false;
        // Where the edit writes over old bytes, they must all still be there (the size says
        // whether the file reaches past them yet).
        if (now.substr(0, c.Before.size()) != c.Before)
            before = false;
    }
    if (after)
        return TEditState::After;
    if (before)
        return TEditState::Before;
    return TEditState::PartWay;
}

TEditState TEditRecord::RepairGoal(const TFileStream &archive) const
{
    switch (EditKind) {
    case Kind::Link:
        return TEditState::Before;
    case Kind::Truncate:
        return TEditState::After;
    case Kind::Append:
        // An append whose header is being written had all its data flushed before.
        return Started(Changes.front(), ReadChange(archive, Changes.front())) &&
                       archive.Size() == SizeAfter
                   ? TEditState::After
                   : TEditState::Before;
    }
    return TEditState::Before;
}

TEditState TEditRecord::Repair(TFileStream &archive) const
{
    const bool finish = RepairGoal(archive) == TEditState::After;
    if (finish) {
        archive.SetSize(SizeAfter);
        for (const TEditChange &c : Changes)
            archive.WriteAt(c.Position, c.After.data(), int64_t(c.After.size()));
    } else {
        archive.SetSize(SizeBefore);
        for (const TEditChange &c : Changes)
            archive.WriteAt(c.Position, c.Before.data(), int64_t(c.Before.size()));
    }
    archive.Flush();
    return finish ? TEditState::After : TEditState::Before;
}

} // namespace kvb
