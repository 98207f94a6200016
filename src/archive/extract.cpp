#include "archive/extract.h"

#include "archive/format.h"
#include "archive/text.h"
#include "platform/errors.h"
#include "platform/file_attributes.h"
#include "platform/file_names.h"
#include "platform/output_file.h"
#include "platform/paths.h"
#include "platform/stream.h"

#include <algorithm>
#include <vector>

namespace kvb {

namespace {

constexpr int64_t kCopyChunk = 1024 * 1024;

// Copies count bytes from the source's position to output's; between two files the kernel
// copies where it can. Data running out copies what there was, then fails.
void CopyBytes(TStream &source, TStream &output, int64_t count)
{
    auto *file = dynamic_cast<TFileStream *>(&source);
    auto *target = dynamic_cast<TFileStream *>(&output);
    if (file && target) {
        const int64_t from = file->Position();
        try {
            CopyFileRange(*file, from, *target, target->Position(), count);
        } catch (const EReadError &) {
            file->Seek(std::max(from, file->Size()));
            throw;
        }
        file->Seek(from + count);
        target->Seek(target->Position() + count);
        return;
    }
    std::vector<char> buffer(size_t(std::min(count, kCopyChunk)));
    while (count > 0) {
        int64_t want = std::min<int64_t>(count, int64_t(buffer.size()));
        int64_t got = source.Read(buffer.data(), want);
        output.WriteBuffer(buffer.data(), got);
        if (got < want)
            throw EReadError();
        count -= got;
    }
}

// 1. Finds the number of bytes to copy and puts the source at the first data byte.
// The archive's name as messages give it.
std::string ArchiveName(const TStream &source)
{
    const auto *file = dynamic_cast<const TFileStream *>(&source);
    return file ? FileNameOf(file->FileName()) : std::string("the archive");
}

// What the read error says when the entry's header or data lies past the archive's end.
EReadError EntryCutShort(const TStream &source, const TKVB_Entry &entry, const std::string &part,
                         int64_t needed)
{
    return EReadError("Extracting entry " + PrintableName(entry.Name) + " from " + ArchiveName(source) +
                      ": " + part + " needs bytes up to " + std::to_string(needed) +
                      ", but the archive ends at byte " + std::to_string(source.Size()));
}

int64_t FindData(TStream &source, const TKVB_Entry &entry)
{
    int64_t length;
    if (entry.Length == -1) {
        source.Seek(entry.Offset);
        char headerBytes[kDataHeaderSize];
        if (source.Read(headerBytes, kDataHeaderSize) != kDataHeaderSize)
            throw EntryCutShort(source, entry, "its data header",
                                int64_t(entry.Offset) + kDataHeaderSize);
        length = DecodeDataHeader(headerBytes).Length;
    } else {
        source.Seek(DataPosition(entry.Offset));
        length = entry.Length;
    }
    if (length < 0)
        throw EKVBError("Entry " + PrintableName(entry.Name) + " has an invalid data length (" +
                        std::to_string(length) + ")");
    return length;
}

// Copies the entry's data, saying where it ran out when the archive ends first.
void CopyEntryData(TStream &source, const TKVB_Entry &entry, TStream &output, int64_t length)
{
    const int64_t from = source.Position();
    try {
        CopyBytes(source, output, length);
    } catch (const EReadError &) {
        throw EntryCutShort(source, entry, "its data", from + length);
    }
}

// The archive the entries come from, which no output may be.
std::vector<const TFileStream *> ReadFrom(const TStream &source)
{
    return {dynamic_cast<const TFileStream *>(&source)};
}

} // namespace

void ExtractEntry(TStream &source, TKVB_Entry entry, const std::string &outputFileName)
{
    const int64_t length = FindData(source, entry);
    // 2. Create the output file (an existing one is replaced once the copy is complete, and the
    // archive itself is never the output); 3. copy; 4. close it on every path.
    TOutputFile output(outputFileName, TOutputKind::PartialWhereNew, ReadFrom(source));
    CopyEntryData(source, entry, output.Stream(), length);
    output.Commit();
}

void ExtractEntry(TStream &source, TKVB_Entry entry, TStream &output)
{
    const int64_t length = FindData(source, entry);
    CopyEntryData(source, entry, output, length);
}

void ExtractEntry(TStream &source, TKVB_Entry entry, const TOpenFolder &folder, const std::string &name)
{
    const int64_t length = FindData(source, entry);
    TOutputFile output(folder, name, TOutputKind::PartialWhereNew, ReadFrom(source));
    CopyEntryData(source, entry, output.Stream(), length);
    output.Commit();
}

int64_t EntryDataLength(const TFileStream &archive, int32_t offset)
{
    char header[kDataHeaderSize];
    if (offset < 0 || archive.ReadAt(offset, header, kDataHeaderSize) != kDataHeaderSize)
        return -1;
    return DecodeDataHeader(header).Length;
}

TEntryStream::TEntryStream(const TFileStream &archive, int64_t dataPosition, int64_t length)
    : archive_(archive),
      dataPosition_(dataPosition),
      // An entry running past the archive's end holds what there is.
      length_(std::clamp<int64_t>(archive.Size() - dataPosition, 0, std::max<int64_t>(length, 0)))
{
}

int64_t TEntryStream::Read(void *buffer, int64_t count)
{
    // Parsers read a few bytes at a time; one block serves many of their reads.
    constexpr int64_t kBlock = 64 * 1024;
    count = std::clamp<int64_t>(count, 0, std::max<int64_t>(0, length_ - position_));
    auto *out = static_cast<char *>(buffer);
    int64_t done = 0;
    while (done < count) {
        const int64_t at = position_ + done;
        if (at < blockStart_ || at >= blockStart_ + int64_t(block_.size())) {
            if (count - done >= kBlock) {
                const int64_t got = archive_.ReadAt(dataPosition_ + at, out + done, count - done);
                done += got;
                break;
            }
            block_.resize(size_t(std::min(kBlock, length_ - at)));
            blockStart_ = at;
            const int64_t got =
                archive_.ReadAt(dataPosition_ + at, block_.data(), int64_t(block_.size()));
            block_.resize(size_t(got));
            if (got == 0)
                break;
        }
        const int64_t piece = std::min(count - done, blockStart_ + int64_t(block_.size()) - at);
        std::copy_n(block_.data() + (at - blockStart_), piece, out + done);
        done += piece;
    }
    position_ += done;
    return done;
}

void TEntryStream::Write(const void *, int64_t)
{
    throw EWriteError("An entry's data is read where it lies in the archive and never written there");
}

std::optional<std::string> NameFaultAnywhere(const std::string &name)
{
    if (name.empty())
        return "it is empty";
    if (name == "." || name == "..")
        return "it names a folder";
    // ":" names a drive or a stream on Windows, and archives travel between systems.
    for (const char c : name)
        if (c == '/' || c == '\\' || c == ':')
            return std::string("it holds \"") + c + "\"";
    return std::nullopt;
}

std::optional<std::string> UnusableNameReason(const std::string &name)
{
    if (std::optional<std::string> fault = NameFaultAnywhere(name))
        return fault;
    return SystemFileNameFault(name);
}

bool IsSafeEntryName(const std::string &name)
{
    return !UnusableNameReason(name);
}

void CheckSafeEntryName(const std::string &name, const std::string &action)
{
    if (!IsSafeEntryName(name))
        throw EUnusableNameError(PrintableName(name), action);
}

namespace {

// Names enough entries to act on and stays one line, however many there are.
constexpr size_t kPassedOverNamed = 5;

// The bytes extracting the entries at indices writes: each record's length, read from its data
// header where the catalogue has none.
int64_t RoomFor(const TKVBFile &catalogue, const TFileStream &source, const std::vector<int32_t> &indices)
{
    // Records that share one entry are each written out, so each counts.
    int64_t total = 0;
    for (const int32_t index : indices) {
        TKVB_Entry entry = catalogue.GetEntry(index);
        int64_t length = entry.Length;
        if (length == -1) {
            char header[kDataHeaderSize];
            if (source.ReadAt(entry.Offset, header, kDataHeaderSize) == kDataHeaderSize)
                length = DecodeDataHeader(header).Length;
        }
        // What cannot be read or has a corrupt length fails when its turn comes.
        total += std::max<int64_t>(0, length);
    }
    return total;
}

} // namespace

std::string UnextractedText(int32_t written, int32_t wanted, const std::vector<std::string> &passedOver,
                            const std::string &verb)
{
    const size_t count = passedOver.size();
    std::string text = std::to_string(written) + " of " + std::to_string(wanted) + " files " + verb +
                       "; " + std::to_string(count) +
                       (count == 1 ? " name cannot be a file name: " : " names cannot be file names: ");
    const size_t named = std::min(count, kPassedOverNamed);
    for (size_t i = 0; i < named; ++i)
        text += (i == 0 ? "" : ", ") + passedOver[i];
    if (count > named)
        text += " and " + std::to_string(count - named) + " more";
    return text;
}

std::string PassedOverText(int32_t index, const std::string &name, const std::string &reason)
{
    return "entry " + std::to_string(index + 1) + " \"" + PrintableName(name) + "\" (" + reason + ")";
}

namespace {

// Extract-all's steps for the entries candidates; what names them in a message about room.
void ExtractCandidates(const TKVBFile &catalogue, const std::string &folder,
                       const std::vector<int32_t> &candidates, const TProgress &progress,
                       const std::string &what)
{
    TFileStream source(catalogue.FileName(), TFileStream::Mode::OpenRead);
    // The names are settled first, so that one that cannot be a file name costs no other entry
    // its file, and the progress counts the files there are to write.
    std::vector<int32_t> picked;
    std::vector<std::string> passed;
    for (const int32_t index : candidates) {
        const TKVB_Entry entry = catalogue.GetEntry(index);
        if (std::optional<std::string> reason = UnusableNameReason(entry.Name))
            passed.push_back(PassedOverText(index, entry.Name, *reason));
        else
            picked.push_back(index);
    }
    // A folder that fills up half way leaves half the files; the room is checked first.
    const int64_t needed = RoomFor(catalogue, source, picked);
    if (std::optional<int64_t> free = FreeSpace(folder); free && needed > *free)
        throw EKVBError("Not enough room in " + folder + ": extracting " + what + " needs " +
                        std::to_string(needed) + " bytes, and " + std::to_string(*free) +
                        " bytes are free");
    const int32_t count = static_cast<int32_t>(picked.size());
    const TOpenFolder into(folder);
    for (int32_t done = 0; done < count; ++done) {
        TKVB_Entry entry = catalogue.GetEntry(picked[size_t(done)]);
        ExtractEntry(source, entry, into, Cp1252ToUtf8(entry.Name));
        if (progress)
            progress(done + 1, count);
    }
    if (!passed.empty())
        throw EUnextractedNames(
            UnextractedText(count, static_cast<int32_t>(candidates.size()), passed, "extracted"));
}

} // namespace

void ExtractAll(const TKVBFile &catalogue, const std::string &folder, const TProgress &progress,
                const TEntryFilter &wanted)
{
    std::vector<int32_t> candidates;
    for (int32_t index = 0; index < catalogue.EntryCount(); ++index)
        if (!wanted || wanted(catalogue.GetEntry(index)))
            candidates.push_back(index);
    ExtractCandidates(catalogue, folder, candidates, progress, "every entry");
}

void ExtractEntries(const TKVBFile &catalogue, const std::string &folder,
                    const std::vector<int32_t> &indices, const TProgress &progress)
{
    ExtractCandidates(catalogue, folder, indices, progress,
                      "the " + std::to_string(indices.size()) + " entries");
}

} // namespace kvb
