#include "tools/mod_state.h"

#include "archive/checksum.h"
#include "archive/table_of_contents.h"
#include "archive/text.h"
#include "platform/errors.h"
#include "platform/stream.h"

#include <algorithm>
#include <map>

namespace kvb {

namespace {

std::string Bytes(int64_t n)
{
    return std::to_string(n) + (n == 1 ? " byte" : " bytes");
}

} // namespace

std::string Grouped(int64_t n)
{
    const std::string digits = std::to_string(n);
    std::string grouped;
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && digits[i - 1] != '-' && (digits.size() - i) % 3 == 0)
            grouped += ',';
        grouped += digits[i];
    }
    return grouped;
}

TArchiveState::TArchiveState(const TFileStream &file) : file_(file)
{
    count_ = std::max(ReadFileHeader(file).Count, 0);
    ReadTableOfContents(file, count_, [&](const TKVB_TocRecord &record) {
        if (toc_.empty())
            toc_.reserve(size_t(count_));
        toc_.push_back(record);
    });
    byName_ = RecordsByName(count_, [&](int32_t i) { return NameOf(i); });
}

int64_t TArchiveState::FirstData() const
{
    int64_t first = file_.Size();
    for (const TKVB_TocRecord &record : toc_)
        first = std::min<int64_t>(first, record.Offset);
    return first;
}

std::optional<int32_t> TArchiveState::Find(const std::string &name, int32_t occurrence) const
{
    const auto found = byName_.find(name);
    if (found == byName_.end() || occurrence >= int32_t(found->second.size()))
        return std::nullopt;
    return found->second[size_t(occurrence)];
}

int32_t TArchiveState::RecordsNamed(const std::string &name) const
{
    const auto found = byName_.find(name);
    return found == byName_.end() ? 0 : int32_t(found->second.size());
}

std::optional<TModMismatch> TArchiveState::Compare(int32_t index, const TModOriginalEntry &wanted,
                                                   const std::string &expects) const
{
    const std::string entry = "entry " + std::to_string(index + 1) + " (" + PrintableName(wanted.Name) +
                              ")";
    const std::string want = expects + " " + Bytes(wanted.Length) + ", checksum " +
                             ChecksumText(wanted.Checksum);
    const int64_t position = toc_[size_t(index)].Offset;
    char header[kDataHeaderSize];
    if (position < 0 || file_.ReadAt(position, header, kDataHeaderSize) != kDataHeaderSize)
        return TModMismatch{wanted.Name, entry + ": its data header lies outside the file; " + want};
    const int64_t length = DecodeDataHeader(header).Length;
    if (length != wanted.Length)
        return TModMismatch{wanted.Name, entry + ": " + Bytes(length) + "; " + want};
    const uint64_t checksum = Checksum(DataPosition(position), length);
    if (checksum != wanted.Checksum)
        return TModMismatch{wanted.Name, entry + ": " + Bytes(length) + ", checksum " +
                                             ChecksumText(checksum) + "; " + want};
    return std::nullopt;
}

std::optional<TModMismatch> TArchiveState::CompareNamed(const TModOriginalEntry &wanted,
                                                        const std::string &expects, int32_t *index) const
{
    const std::optional<int32_t> found = Find(wanted.Name, wanted.Occurrence);
    if (!found)
        return TModMismatch{wanted.Name, "entry " + PrintableName(wanted.Name) +
                                             (wanted.Occurrence > 0
                                                  ? " (number " + std::to_string(wanted.Occurrence + 1) +
                                                        " of that name)"
                                                  : std::string()) +
                                             ": not in the archive; " + expects + " " +
                                             Bytes(wanted.Length)};
    if (index)
        *index = *found;
    return Compare(*found, wanted, expects);
}

std::string TArchiveState::Data(int64_t position, int64_t length) const
{
    std::string data(size_t(length), '\0');
    if (file_.ReadAt(position, data.data(), length) != length)
        throw EReadError("Reading " + file_.FileName() + ": it ends before the data of an entry");
    return data;
}

uint64_t TArchiveState::Checksum(int64_t position, int64_t length) const
{
    constexpr int64_t kPiece = int64_t(1) << 20;
    TChecksum sum;
    std::string piece;
    for (int64_t done = 0; done < length;) {
        const int64_t size = std::min(kPiece, length - done);
        piece.resize(size_t(size));
        if (file_.ReadAt(position + done, piece.data(), size) != size)
            return ~Checksum64(piece); // data past the end: no checksum it could match
        sum.Add(piece);
        done += size;
    }
    return length == 0 ? Checksum64({}) : sum.Value();
}

std::vector<TModMismatch> ChangedSinceApplied(const TModManifest &undo, const TArchiveState &state)
{
    std::vector<TModMismatch> changed;
    if (state.Count() != undo.OriginalCount)
        changed.push_back({"", "the archive has " + Grouped(state.Count()) + " records; the mod left " +
                                   Grouped(undo.OriginalCount)});
    for (const TModOriginalEntry &entry : undo.Originals)
        if (std::optional<TModMismatch> mismatch = state.CompareNamed(entry, "the mod wrote"))
            changed.push_back(std::move(*mismatch));
    for (const TModOriginalEntry &entry : undo.Added) {
        if (entry.Index >= state.Count() || state.NameOf(entry.Index) != entry.Name)
            changed.push_back({entry.Name, "record " + std::to_string(entry.Index + 1) + " is not " +
                                               PrintableName(entry.Name) + ", which the mod added"});
        else if (std::optional<TModMismatch> mismatch =
                     state.Compare(entry.Index, entry, "the mod wrote"))
            changed.push_back(std::move(*mismatch));
    }
    return changed;
}

bool HoldsWhatTheModReplaced(const TModManifest &undo, const TArchiveState &state)
{
    if (state.Count() != undo.OriginalCount - int32_t(undo.Added.size()))
        return false;
    std::map<int32_t, const TModOriginalEntry *> written;
    for (const TModOriginalEntry &entry : undo.Originals)
        written[entry.Index] = &entry;
    for (const TModEntry &entry : undo.Entries) {
        TModOriginalEntry before = *written.at(*entry.Replaces);
        before.Length = entry.Length;
        before.Checksum = entry.Checksum;
        if (state.CompareNamed(before, ""))
            return false;
    }
    return true;
}

std::string JoinMismatches(const std::vector<TModMismatch> &mismatches)
{
    std::string text;
    for (const TModMismatch &mismatch : mismatches)
        text += (text.empty() ? "" : "; ") + mismatch.Text;
    return text;
}

} // namespace kvb
