#include "platform/edit_journal.h"

#include "platform/errors.h"
#include "platform/file_attributes.h"
#include "platform/output_file.h"
#include "platform/paths.h"

#include <cstring>

namespace kvb {

namespace {

constexpr char kMagic[8] = {'K', 'V', 'B', 'E', 'D', 'I', 'T', '1'};
// A record holds a few dozen bytes of an archive; anything much larger is not one of ours.
constexpr int64_t kMaxRecordSize = 64 * 1024;

// Beside the archive itself, not beside a link to it, so that every way to the archive finds it.
std::string JournalPathFor(const std::string &archivePath)
{
    const std::string real = RealPathOf(archivePath);
    return JoinPath(ParentFolderOf(real), "." + FileNameOf(real) + ".kvb-journal");
}

uint64_t Checksum(const std::string &bytes)
{
    uint64_t hash = 14695981039346656037ull; // FNV-1a
    for (unsigned char c : bytes)
        hash = (hash ^ c) * 1099511628211ull;
    return hash;
}

void PutU64(std::string &out, uint64_t v)
{
    for (int i = 0; i < 8; ++i)
        out += char((v >> (8 * i)) & 0xFF);
}

class TReader {
public:
    explicit TReader(const std::string &bytes) : bytes_(bytes) {}
    bool Has(size_t n) const { return bytes_.size() - at_ >= n; }
    uint64_t U64()
    {
        if (!Has(8))
            throw EReadError();
        uint64_t v = 0;
        for (int i = 0; i < 8; ++i)
            v |= uint64_t(static_cast<unsigned char>(bytes_[at_ + i])) << (8 * i);
        at_ += 8;
        return v;
    }
    std::string Bytes(size_t n)
    {
        if (!Has(n))
            throw EReadError();
        std::string s = bytes_.substr(at_, n);
        at_ += n;
        return s;
    }
    size_t At() const { return at_; }

private:
    const std::string &bytes_;
    size_t at_ = 0;
};

std::string Encode(const TFileIdentity &identity, const TEditRepair &repair)
{
    std::string out(kMagic, sizeof kMagic);
    PutU64(out, identity.Device);
    PutU64(out, identity.Inode);
    PutU64(out, uint64_t(repair.effect));
    PutU64(out, repair.edit.size());
    out += repair.edit;
    PutU64(out, uint64_t(repair.size));
    PutU64(out, repair.writes.size());
    for (const auto &[position, bytes] : repair.writes) {
        PutU64(out, uint64_t(position));
        PutU64(out, bytes.size());
        out += bytes;
    }
    PutU64(out, Checksum(out));
    return out;
}

// Nothing when the bytes are not a whole, undamaged record.
std::optional<std::pair<TFileIdentity, TEditRepair>> Decode(const std::string &bytes)
{
    if (bytes.size() < sizeof kMagic + 8 || std::memcmp(bytes.data(), kMagic, sizeof kMagic) != 0)
        return std::nullopt;
    const std::string body = bytes.substr(0, bytes.size() - 8);
    try {
        TReader tail(bytes);
        tail.Bytes(body.size());
        if (tail.U64() != Checksum(body))
            return std::nullopt;
        TReader r(body);
        r.Bytes(sizeof kMagic);
        TFileIdentity identity;
        identity.Device = r.U64();
        identity.Inode = r.U64();
        TEditRepair repair;
        const uint64_t effect = r.U64();
        if (effect > uint64_t(TEditRepair::Effect::Finish))
            return std::nullopt;
        repair.effect = TEditRepair::Effect(effect);
        const uint64_t nameSize = r.U64();
        repair.edit = r.Bytes(size_t(std::min<uint64_t>(nameSize, body.size())));
        repair.size = int64_t(r.U64());
        const uint64_t count = r.U64();
        for (uint64_t i = 0; i < count; ++i) {
            const auto position = int64_t(r.U64());
            const uint64_t size = r.U64();
            if (position < 0 || !r.Has(size_t(std::min<uint64_t>(size, body.size() + 1))))
                return std::nullopt;
            repair.writes.emplace_back(position, r.Bytes(size_t(size)));
        }
        if (r.At() != body.size())
            return std::nullopt;
        return std::make_pair(identity, std::move(repair));
    } catch (const EReadError &) {
        return std::nullopt;
    }
}

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
        // Something other than a record stands there; it is left alone.
        return std::string();
    }
}

} // namespace

void TEditRepair::ApplyTo(TFileStream &file) const
{
    if (size >= 0)
        file.SetSize(size);
    for (const auto &[position, bytes] : writes)
        file.WriteAt(position, bytes.data(), int64_t(bytes.size()));
    file.Flush();
}

TEditJournal::TEditJournal(const std::string &archivePath, const TFileStream &archive)
    : path_(JournalPathFor(archivePath)), identity_(archive.Identity())
{
}

std::optional<std::string> TEditJournal::Recover(TFileStream &archive)
{
    std::optional<std::string> bytes = ReadRecord(path_);
    if (!bytes || bytes->empty())
        return std::nullopt;
    auto record = Decode(*bytes);
    if (!record || record->first != identity_) {
        // Cut short while it was written (so the archive was not touched yet), or left by an
        // archive that has since been replaced: either way there is nothing to apply here.
        RemoveFile(path_);
        return std::nullopt;
    }
    const TEditRepair &repair = record->second;
    repair.ApplyTo(archive);
    RemoveFile(path_);
    if (repair.effect == TEditRepair::Effect::Undo)
        return "The archive's last edit (" + repair.edit +
               ") was interrupted and has been undone: the archive is as it was before that edit";
    return "The archive's last edit (" + repair.edit +
           ") was interrupted and has been finished: the archive is as that edit left it";
}

void TEditJournal::Begin(const TEditRepair &repair)
{
    if (open_)
        throw EKVBError("The archive's previous edit failed and could not be put right; close "
                        "the archive and open it again to repair it");
    const std::string bytes = Encode(identity_, repair);
    // Flushed, linked into place whole and its name made durable: the record is either there
    // complete or not at all.
    TOutputFile record(path_, TOutputKind::Durable);
    record.Stream().WriteBuffer(bytes.data(), int64_t(bytes.size()));
    record.Commit();
    open_ = true;
}

void TEditJournal::End()
{
    RemoveFile(path_);
    open_ = false;
}

bool TEditJournal::Pending(const std::string &archivePath, const TFileIdentity &identity)
{
    std::optional<std::string> bytes = ReadRecord(JournalPathFor(archivePath));
    if (!bytes || bytes->empty())
        return false;
    auto record = Decode(*bytes);
    return record && record->first == identity;
}

} // namespace kvb
