#include "tools/folder_files.h"

#include "archive/checksum.h"
#include "archive/text.h"
#include "platform/errors.h"
#include "platform/folders.h"
#include "platform/listing.h"
#include "platform/output_file.h"
#include "platform/paths.h"

#include <algorithm>
#include <map>

namespace kvb {

namespace {

// Names enough files to act on and keeps the message one line.
constexpr size_t kFilesNamed = 5;

std::string FileList(const std::vector<std::string> &names)
{
    std::string text;
    for (size_t i = 0; i < names.size() && i < kFilesNamed; ++i)
        text += (i == 0 ? "" : ", ") + names[i];
    if (names.size() > kFilesNamed)
        text += " and " + std::to_string(names.size() - kFilesNamed) + " more";
    return text;
}

// A file name as a message shows it: control characters would steer the terminal.
std::string Shown(const std::string &name)
{
    std::string out;
    for (const char c : name) {
        if (uint8_t(c) < 0x20 || c == 0x7F) {
            static constexpr char kDigits[] = "0123456789ABCDEF";
            out += "\\x";
            out += kDigits[uint8_t(c) >> 4];
            out += kDigits[uint8_t(c) & 15];
        } else {
            out += c;
        }
    }
    return out;
}

const char *WhyNotRead(TEntryKind kind)
{
    switch (kind) {
    case TEntryKind::Link: return "it is a link, which an update never follows";
    case TEntryKind::Folder: return "it is a folder";
    default: return "it is a pipe or a device, not a plain file";
    }
}

bool EndsWithPng(const std::string &name)
{
    return name.size() > 4 && AsciiUpper(name.substr(name.size() - 4)) == ".PNG";
}

// The data header at offset with its length set to length, summed as the archive's pieces are.
uint64_t HeaderChecksum(const TFileStream &archive, int32_t offset, int64_t length)
{
    char header[kDataHeaderSize];
    if (archive.ReadAt(offset, header, kDataHeaderSize) != kDataHeaderSize)
        throw EReadError();
    PutInt32LE(header + kNameFieldSize, int32_t(length));
    return Checksum64(std::string_view(header, kDataHeaderSize));
}

} // namespace

TFolderFiles::TFolderFiles(const TOpenFolder &folder, const TReadManifest &manifest,
                           const std::vector<TKVB_TocRecord> &toc, const TArchiveSums &sums,
                           const TUpdateOptions &options)
    : folder_(folder),
      manifest_(manifest),
      toc_(toc),
      sums_(sums),
      options_(options)
{
}

void TFolderFiles::Refuse(const std::string &what) const
{
    throw EKVBError(what + "; nothing was written");
}

void TFolderFiles::Find(const std::vector<TFolderEntry> &listing, const std::string &archive)
{
    std::unordered_map<std::string, const TFolderEntry *> listed;
    listed.reserve(listing.size());
    for (const TFolderEntry &entry : listing)
        listed.emplace(entry.Name, &entry);
    TakeManifestFiles(listed);
    TakeOtherFiles(listing, archive);
    CheckOneFileEach();
}

void TFolderFiles::TakeManifestFiles(const std::unordered_map<std::string, const TFolderEntry *> &listed)
{
    std::unordered_map<std::string, size_t> byFile;
    std::unordered_map<std::string, std::string> folded; // case-blind name: the file's name
    byFile.reserve(manifest_.Manifest.Entries.size());
    folded.reserve(manifest_.Manifest.Entries.size());
    for (const TManifestEntry &entry : manifest_.Manifest.Entries) {
        if (!entry.File)
            continue;
        const auto [known, added] = byFile.emplace(*entry.File, candidates_.size());
        if (!added) {
            TCandidate &candidate = candidates_[known->second];
            // Records share a file only where they share their data.
            if (toc_[size_t(candidate.Records.front())].Offset != toc_[size_t(entry.Index)].Offset)
                Refuse("The manifest of " + folder_.Path() + " gives records " +
                       std::to_string(candidate.Records.front() + 1) + " and " +
                       std::to_string(entry.Index + 1) + ", which hold different data, one file " +
                       Shown(*entry.File));
            candidate.Records.push_back(entry.Index);
            continue;
        }
        if (const auto [twin, fresh] = folded.emplace(CaseBlindName(*entry.File), *entry.File); !fresh)
            Refuse("The manifest of " + folder_.Path() + " names files " + Shown(twin->second) + " and " +
                   Shown(*entry.File) + ", which are one where file names ignore case");
        candidates_.push_back({*entry.File, entry.Format, {entry.Index}, &entry, {}});
    }
    // Each file as it stands: a hidden one is not listed, so it is looked up on its own.
    std::vector<TCandidate> present;
    for (TCandidate &candidate : candidates_) {
        const auto found = listed.find(candidate.Name);
        std::optional<TFolderEntry> entry;
        if (found != listed.end())
            entry = *found->second;
        else
            entry = LookUpEntry(folder_, candidate.Name);
        if (!entry) {
            missing_.push_back(candidate.Name);
            continue;
        }
        if (entry->Kind != TEntryKind::PlainFile)
            Refuse("File " + Shown(JoinPath(folder_.Path(), candidate.Name)) +
                   " cannot be read: " + WhyNotRead(entry->Kind));
        candidate.Stamp = entry->Stamp;
        present.push_back(std::move(candidate));
    }
    candidates_ = std::move(present);
}

void TFolderFiles::TakeOtherFiles(const std::vector<TFolderEntry> &listing, const std::string &archive)
{
    std::unordered_map<std::string, bool> named; // the manifest's files
    named.reserve(manifest_.Manifest.Entries.size());
    for (const TManifestEntry &entry : manifest_.Manifest.Entries)
        if (entry.File)
            named.emplace(*entry.File, true);
    std::vector<std::string> extra;
    for (const TFolderEntry &entry : listing) {
        if (entry.Kind == TEntryKind::Folder || named.count(entry.Name))
            continue;
        const std::string path = JoinPath(folder_.Path(), entry.Name);
        if (entry.Kind == TEntryKind::PlainFile && SameFileOrFolder(path, archive))
            continue;
        TFileFormat format = TFileFormat::Bytes;
        std::vector<int32_t> records = RecordsNamed(entry.Name, format);
        if (records.empty()) {
            (options_.IgnoreExtra ? ignored_ : extra).push_back(Shown(entry.Name));
            continue;
        }
        if (entry.Kind != TEntryKind::PlainFile)
            Refuse("File " + Shown(path) + " cannot be read: " + WhyNotRead(entry.Kind));
        candidates_.push_back({entry.Name, format, std::move(records), nullptr, entry.Stamp});
    }
    if (!extra.empty())
        Refuse("Folder " + folder_.Path() + " holds " +
               (extra.size() == 1 ? "a file that belongs"
                                  : std::to_string(extra.size()) + " files that belong") +
               " to no entry of " + FileNameOf(archive) + ": " + FileList(extra) +
               (extra.size() == 1 ? "; take it out" : "; take them out") +
               std::string(", or let the update pass over them (kvb update --ignore-extra)"));
}

// The records a file not in the manifest belongs to by its name: the entry's own name gives its
// bytes, a texture's name with ".png" for ".TEX" its picture.
std::vector<int32_t> TFolderFiles::RecordsNamed(const std::string &fileName, TFileFormat &format)
{
    if (byName_.empty())
        for (size_t i = 0; i < toc_.size(); ++i)
            byName_[AsciiUpper(NameFromField(toc_[i].Name))].push_back(int32_t(i));
    const std::optional<std::string> stored = Utf8ToCp1252(fileName);
    if (!stored)
        return {};
    std::vector<int32_t> records;
    format = TFileFormat::Bytes;
    if (const auto found = byName_.find(AsciiUpper(*stored)); found != byName_.end()) {
        records = found->second;
    } else if (EndsWithPng(*stored)) {
        const std::string texture = AsciiUpper(stored->substr(0, stored->size() - 4)) + ".TEX";
        if (const auto tex = byName_.find(texture); tex != byName_.end()) {
            records = tex->second;
            format = TFileFormat::Png;
        }
    }
    for (const int32_t r : records)
        if (toc_[size_t(r)].Offset != toc_[size_t(records.front())].Offset)
            Refuse("File " + Shown(JoinPath(folder_.Path(), fileName)) + " could be records " +
                   std::to_string(records.front() + 1) + " and " + std::to_string(r + 1) +
                   ", which are named alike and hold different data; name it as the manifest does "
                   "or take it out");
    return records;
}

void TFolderFiles::CheckOneFileEach() const
{
    std::map<int32_t, const TCandidate *> fileOf;
    for (const TCandidate &candidate : candidates_)
        for (const int32_t record : candidate.Records)
            if (const auto [other, added] = fileOf.emplace(record, &candidate); !added)
                Refuse("Files " + Shown(other->second->Name) + " and " + Shown(candidate.Name) + " of " +
                       folder_.Path() + " both belong to entry " + std::to_string(record + 1) + " \"" +
                       PrintableName(NameFromField(toc_[size_t(record)].Name)) +
                       "\"; take one of them out");
}

std::vector<TFileChange> TFolderFiles::Changes(const TFileStream &archive, const TProgress &progress)
{
    std::vector<TFileChange> changes;
    std::map<int32_t, size_t> byOffset; // a change of each data entry
    for (size_t i = 0; i < candidates_.size(); ++i) {
        if (progress)
            progress(int32_t(i), int32_t(candidates_.size()));
        std::optional<TFileChange> change = Check(candidates_[i], archive);
        if (!change) {
            ++unchanged_;
            continue;
        }
        const auto [other, added] = byOffset.emplace(change->Offset, changes.size());
        if (added) {
            changes.push_back(std::move(*change));
        } else if (changes[other->second].DataChecksum != change->DataChecksum) {
            Refuse("Files " + Shown(changes[other->second].File) + " and " + Shown(change->File) +
                   " of " + folder_.Path() + " change the data that records " +
                   std::to_string(changes[other->second].Records.front() + 1) + " and " +
                   std::to_string(change->Records.front() + 1) + " share, and each differently");
        }
    }
    std::sort(changes.begin(), changes.end(), [](const TFileChange &a, const TFileChange &b) {
        return a.Records.front() < b.Records.front();
    });
    return changes;
}

std::optional<TFileChange> TFolderFiles::Check(const TCandidate &candidate, const TFileStream &archive)
{
    const TManifestEntry *recorded = candidate.Recorded;
    // Unchanged as make and rsync tell: the stamp it was left with, from before the manifest was
    // written (a file changed in the same tick as it was written would keep its stamp).
    if (recorded && recorded->FileStamp == candidate.Stamp &&
        recorded->FileStamp.Modified < manifest_.Stamp.Modified)
        return std::nullopt;

    const TFileStream file(folder_, candidate.Name, false);
    const int32_t offset = toc_[size_t(candidate.Records.front())].Offset;
    const std::optional<size_t> walked = sums_.EntryAt(offset);
    TFileChange change;
    change.Records = candidate.Records;
    change.Offset = offset;
    change.File = candidate.Name;
    change.Format = candidate.Format;
    std::string bytes;
    TChecksum sum;
    for (int64_t done = 0, size = file.OpenedSize(); done < size;) {
        std::string piece(size_t(std::min<int64_t>(size - done, 1 << 20)), '\0');
        const int64_t got = file.ReadAt(done, piece.data(), int64_t(piece.size()));
        if (got <= 0)
            throw EReadError("Reading " + file.FileName() + ": it ends before its size says");
        piece.resize(size_t(got));
        sum.Add(piece);
        if (candidate.Format == TFileFormat::Png)
            bytes += piece;
        done += got;
    }
    const uint64_t fileSum = sum.Value();
    seen_.push_back({candidate.Name, candidate.Format, candidate.Records, file.Stamp(), fileSum});
    if (recorded && recorded->FileChecksum == fileSum)
        return std::nullopt;
    int64_t length = int64_t(bytes.size());
    if (candidate.Format == TFileFormat::Bytes) {
        change.DataChecksum = fileSum;
        length = file.OpenedSize();
    } else {
        // The entry itself is the reference: the game reads the new texture as it read the old.
        const int64_t oldLength = walked ? sums_.Lengths[*walked] : 0;
        std::string reference(size_t(oldLength), '\0');
        if (archive.ReadAt(DataPosition(offset), reference.data(), oldLength) != oldLength)
            throw EReadError();
        const std::string entryName =
            PrintableName(NameFromField(toc_[size_t(candidate.Records.front())].Name));
        TMadeTexture made =
            MakeTexFromBytes(reference, entryName, bytes, Shown(candidate.Name), options_.NewPalette);
        change.DataChecksum = Checksum64(made.Bytes);
        change.Colours = made.Change;
        length = int64_t(made.Bytes.size());
        change.Data = std::move(made.Bytes);
    }
    // A file that holds what the archive holds already changes nothing.
    if (walked && sums_.Data[*walked] == change.DataChecksum)
        return std::nullopt;
    change.Length = length;
    change.HeaderChecksum = HeaderChecksum(archive, offset, length);
    return change;
}

} // namespace kvb
