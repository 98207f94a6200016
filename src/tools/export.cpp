#include "tools/export.h"

#include "archive/archive_checksum.h"
#include "archive/catalogue.h"
#include "archive/checksum.h"
#include "archive/extract.h"
#include "archive/format.h"
#include "archive/text.h"
#include "platform/errors.h"
#include "platform/file_attributes.h"
#include "platform/folders.h"
#include "platform/output_file.h"
#include "platform/paths.h"
#include "preview/entry_preview.h"
#include "preview/png_image.h"
#include "preview/tex_encode.h"

#include <algorithm>
#include <map>
#include <memory>
#include <unordered_map>

namespace kvb {

namespace {

// One file of the export, and the records whose entry it holds (several only where they share
// one data entry).
struct TPlannedFile {
    std::string Name; // in the folder, UTF-8
    TFileFormat Format = TFileFormat::Bytes;
    int32_t Offset = 0;
    int32_t Record = 0; // the first record it holds the entry of
    TFileStamp Stamp;
    uint64_t Checksum = 0; // of the file as written
};

struct TNaming {
    std::vector<TPlannedFile> Files;
    std::vector<int32_t> FileOf;         // per record: its file, or -1 when it was passed over
    std::vector<std::string> PassedOver; // PassedOverText each, in table order
    std::vector<std::string> Warnings;
};

// name with tag before its extension ("a.tex" and "~7": "a~7.tex").
std::string Tagged(const std::string &name, const std::string &tag)
{
    const size_t dot = name.rfind('.');
    return dot == std::string::npos || dot == 0 ? name + tag
                                                : name.substr(0, dot) + tag + name.substr(dot);
}

std::string Folded(std::string name)
{
    for (char &c : name)
        c = Cp1252Upper(c);
    return name;
}

std::string EntryText(int32_t index, const std::string &name)
{
    return "entry " + std::to_string(index + 1) + " \"" + PrintableName(name) + "\"";
}

// Gives every record its file, in table order: the first of a name (case ignored as file
// systems that ignore it do) keeps it.
class TNamer {
public:
    TNamer(const TKVBFile &catalogue, const TFileStream &archive, bool png)
        : catalogue_(catalogue),
          archive_(archive),
          png_(png)
    {
        taken_.reserve(size_t(catalogue.EntryCount()) + 1);
        taken_.emplace(CaseBlindName(kManifestName), -1);
        taken_.emplace(CaseBlindName(kNextManifestName), -1);
        naming_.FileOf.assign(size_t(catalogue.EntryCount()), -1);
        naming_.Files.reserve(size_t(catalogue.EntryCount()));
        for (int32_t index = 0; index < catalogue.EntryCount(); ++index)
            Name(index);
    }

    TNaming Result() { return std::move(naming_); }

private:
    void Name(int32_t index)
    {
        const TKVB_Entry entry = catalogue_.GetEntry(index);
        if (std::optional<std::string> reason = UnusableNameReason(entry.Name)) {
            naming_.PassedOver.push_back(PassedOverText(index, entry.Name, *reason));
            return;
        }
        const TFileFormat format = FormatOf(index, entry);
        std::string stored = format == TFileFormat::Png
                                 ? entry.Name.substr(0, entry.Name.size() - 4) + ".png"
                                 : entry.Name;
        const auto found = taken_.find(Folded(stored));
        if (found != taken_.end() && found->second >= 0) {
            TPlannedFile &file = naming_.Files[size_t(found->second)];
            if (file.Offset == entry.Offset && file.Format == format) {
                naming_.FileOf[size_t(index)] = found->second;
                return;
            }
        }
        if (found != taken_.end())
            stored = Untaken(stored, index, found->second);
        const auto number = int32_t(naming_.Files.size());
        taken_.emplace(Folded(stored), number);
        naming_.Files.push_back({Cp1252ToUtf8(stored), format, entry.Offset, index, {}, 0});
        naming_.FileOf[size_t(index)] = number;
    }

    TFileFormat FormatOf(int32_t index, const TKVB_Entry &entry)
    {
        if (!png_ || PreviewExtension(entry.Name) != ".TEX")
            return TFileFormat::Bytes;
        TEntryStream texture(archive_, DataPosition(entry.Offset), EntryDataLength(archive_, entry.Offset));
        if (PngKeepsTexture(texture))
            return TFileFormat::Png;
        naming_.Warnings.push_back(EntryText(index, entry.Name) +
                                   " is written as its bytes, not as a PNG: no picture gives it "
                                   "back byte for byte (it cannot be read, has no pixels, or "
                                   "ends before them)");
        return TFileFormat::Bytes;
    }

    // A name for record index that no other file has, where file names ignore case.
    std::string Untaken(const std::string &stored, int32_t index, int32_t holder)
    {
        // Appended, not prepended: mingw's GCC 12 warns falsely of an overlap on "~" + number.
        std::string tag = "~";
        tag += std::to_string(index + 1);
        std::string name = Tagged(stored, tag);
        for (int n = 2; taken_.count(Folded(name)) || UnusableNameReason(name); ++n)
            name = Tagged(stored, tag + "~" + std::to_string(n));
        const std::string other =
            holder < 0 ? std::string("the manifest (") + kManifestName + ")"
                       : "the file of " +
                             EntryText(naming_.Files[size_t(holder)].Record,
                                       catalogue_.GetEntry(naming_.Files[size_t(holder)].Record).Name);
        naming_.Warnings.push_back(EntryText(index, catalogue_.GetEntry(index).Name) + " is written as " +
                                   PrintableName(name) +
                                   ": under its own name it would be one file with " + other +
                                   " where file names ignore case (as on Windows)");
        return name;
    }

    const TKVBFile &catalogue_;
    const TFileStream &archive_;
    bool png_;
    TNaming naming_;
    std::unordered_map<std::string, int32_t> taken_; // a folded name: its file, -1 the manifest's
};

// Hands an entry's data to use in pieces as it is read; returns the data's checksum.
using TDataSource = std::function<uint64_t(const std::function<void(const char *, size_t)> &use)>;

// The data of the entry at offset read where it lies, for an entry the walk does not pass
// (in a damaged or hand-made archive); length is set to its length.
TDataSource ReadWhereItLies(const TFileStream &archive, const TKVB_Entry &entry, int64_t &length)
{
    length = EntryDataLength(archive, entry.Offset);
    return [&archive, entry, length](const std::function<void(const char *, size_t)> &use) {
        if (length < 0 || EntryEnd(entry.Offset, length) > archive.Size())
            throw EReadError("Exporting entry " + PrintableName(entry.Name) + ": its data header at " +
                             std::to_string(entry.Offset) +
                             " gives no data that the archive, "
                             "which ends at byte " +
                             std::to_string(archive.Size()) + ", holds");
        std::vector<char> buffer(size_t(std::min<int64_t>(length, 1 << 20)));
        TChecksum sum;
        for (int64_t done = 0; done < length;) {
            const int64_t want = std::min<int64_t>(length - done, int64_t(buffer.size()));
            if (archive.ReadAt(DataPosition(entry.Offset) + done, buffer.data(), want) != want)
                throw EReadError();
            sum.Add(std::string_view(buffer.data(), size_t(want)));
            use(buffer.data(), size_t(want));
            done += want;
        }
        return sum.Value();
    };
}

class TWriter {
public:
    TWriter(const TFileStream &archive, const TOpenFolder &into, TNaming &naming,
            const TProgress &progress)
        : archive_(archive),
          into_(into),
          naming_(naming),
          progress_(progress)
    {
    }

    // Writes files (indices into the naming) of the entry at position, of length data bytes,
    // from source; returns the data's checksum.
    uint64_t Write(const std::vector<int32_t> &files, int64_t position, int64_t length,
                   const TDataSource &source)
    {
        std::vector<std::pair<TPlannedFile *, std::unique_ptr<TOutputFile>>> copies;
        for (const int32_t f : files)
            if (naming_.Files[size_t(f)].Format == TFileFormat::Bytes)
                copies.emplace_back(&naming_.Files[size_t(f)], Output(naming_.Files[size_t(f)]));
        const uint64_t sum = source([&](const char *bytes, size_t size) {
            for (auto &copy : copies)
                copy.second->Stream().WriteBuffer(bytes, int64_t(size));
        });
        for (auto &[file, output] : copies) {
            file->Checksum = sum;
            Done(*file, *output);
        }
        for (const int32_t f : files)
            if (naming_.Files[size_t(f)].Format == TFileFormat::Png)
                WritePng(naming_.Files[size_t(f)], position, length);
        return sum;
    }

private:
    std::unique_ptr<TOutputFile> Output(const TPlannedFile &file) const
    {
        return std::make_unique<TOutputFile>(into_, file.Name, TOutputKind::PartialWhereNew,
                                             std::vector<const TFileStream *>{&archive_});
    }

    void Done(TPlannedFile &file, TOutputFile &output)
    {
        file.Stamp = output.Stream().Stamp();
        output.Commit();
        if (progress_)
            progress_(++written_, int32_t(naming_.Files.size()));
    }

    void WritePng(TPlannedFile &file, int64_t position, int64_t length)
    {
        TEntryStream texture(archive_, DataPosition(position), length);
        TTexRowReader reader(texture, kTexImageDataPosition);
        const std::unique_ptr<TOutputFile> output = Output(file);
        TChecksum sum;
        WriteTexRowsAsPng(reader, file.Name, [&](const char *bytes, size_t size) {
            sum.Add(std::string_view(bytes, size));
            output->Stream().WriteBuffer(bytes, int64_t(size));
        });
        file.Checksum = sum.Value();
        Done(file, *output);
    }

    const TFileStream &archive_;
    const TOpenFolder &into_;
    TNaming &naming_;
    TProgress progress_;
    int32_t written_ = 0;
};

// The bytes the files take, as near as is known before anything is read: each entry up to
// where the next one starts, the last up to the archive's end; a picture counted at its
// texture's size.
int64_t RoomFor(const TKVBFile &catalogue, const TNaming &naming, int64_t archiveSize)
{
    std::vector<int64_t> starts;
    starts.reserve(size_t(catalogue.EntryCount()) + 1);
    for (int32_t i = 0; i < catalogue.EntryCount(); ++i)
        starts.push_back(catalogue.GetSortedEntry(i).Offset);
    starts.push_back(archiveSize);
    int64_t total = 0;
    for (const TPlannedFile &file : naming.Files) {
        const auto next = std::upper_bound(starts.begin(), starts.end(), int64_t(file.Offset));
        total += std::max<int64_t>(0, *std::min(next, starts.end() - 1) - DataPosition(file.Offset));
    }
    return total;
}

// What the export learnt of a data entry, by its Offset.
struct TEntryData {
    int64_t Length = 0;
    uint64_t Checksum = 0;
};

TManifest ManifestOf(const TKVBFile &catalogue, TNaming &naming, const TArchiveSums &pieces,
                     const std::map<int32_t, TEntryData> &elsewhere)
{
    TManifest manifest;
    manifest.Entries.reserve(size_t(catalogue.EntryCount()));
    for (int32_t index = 0; index < catalogue.EntryCount(); ++index) {
        TKVB_Entry entry = catalogue.GetEntry(index);
        TEntryData known;
        if (const std::optional<size_t> k = pieces.EntryAt(entry.Offset))
            known = {pieces.Lengths[*k], pieces.Data[*k]};
        else if (const auto found = elsewhere.find(entry.Offset); found != elsewhere.end())
            known = found->second;
        else // no file holds it, and the walk does not pass it: nothing to speak of
            continue;
        TManifestEntry &record = manifest.Entries.emplace_back();
        record.Index = index;
        record.Name = std::move(entry.Name);
        record.Length = known.Length;
        record.Checksum = known.Checksum;
        if (const int32_t f = naming.FileOf[size_t(index)]; f >= 0) {
            const TPlannedFile &file = naming.Files[size_t(f)];
            record.File = file.Name;
            record.Format = file.Format;
            record.FileStamp = file.Stamp;
            record.FileChecksum = file.Checksum;
        }
    }
    return manifest;
}

} // namespace

TExportResult ExportArchive(const std::string &archive, const std::string &folder,
                            const TExportOptions &options, const TProgress &progress)
{
    // Kept from editors while it is read, so that the manifest speaks of one state of it.
    const TFileStream file(archive, TFileStream::Mode::OpenReadLocked);
    const TKVBFile catalogue(archive, false);
    TNaming naming = TNamer(catalogue, file, options.Png).Result();

    if (const std::optional<std::string> why = CreateFolders(folder))
        throw EKVBError("Cannot create folder " + folder + ": " + *why);
    const int64_t needed = RoomFor(catalogue, naming, file.Size());
    if (std::optional<int64_t> free = FreeSpace(folder); free && needed > *free)
        throw EKVBError("Not enough room in " + folder + ": exporting every entry needs " +
                        std::to_string(needed) + " bytes, and " + std::to_string(*free) +
                        " bytes are free");
    const TOpenFolder into(folder);
    // An export cut short leaves no manifest that would speak for files it did not write.
    RemoveManifest(into);
    RemoveManifest(into, true);

    // The files by the position of their data entry, for the walk to meet in its order.
    std::vector<int32_t> byOffset(naming.Files.size());
    for (size_t f = 0; f < byOffset.size(); ++f)
        byOffset[f] = int32_t(f);
    std::stable_sort(byOffset.begin(), byOffset.end(), [&](int32_t a, int32_t b) {
        return naming.Files[size_t(a)].Offset < naming.Files[size_t(b)].Offset;
    });
    std::vector<bool> written(naming.Files.size(), false);
    TWriter writer(file, into, naming, progress);
    TArchiveWalk walk(file);
    std::vector<int32_t> files;
    for (size_t next = 0; const std::optional<TArchiveWalk::TEntry> entry = walk.Next();) {
        while (next < byOffset.size() && naming.Files[size_t(byOffset[next])].Offset < entry->Position)
            ++next;
        files.clear();
        for (; next < byOffset.size() && naming.Files[size_t(byOffset[next])].Offset == entry->Position;
             ++next)
            files.push_back(byOffset[next]);
        if (files.empty())
            continue;
        writer.Write(files, entry->Position, entry->Length,
                     [&](const std::function<void(const char *, size_t)> &use) {
                         walk.ReadData(use);
                         return walk.Sums().Data.back();
                     });
        for (const int32_t f : files)
            written[size_t(f)] = true;
    }
    const TArchiveSums &pieces = walk.Sums();
    // Entries the walk does not pass (in a damaged or hand-made archive), read where they lie.
    std::map<int32_t, TEntryData> elsewhere;
    for (size_t first = 0; first < byOffset.size();) {
        const int32_t offset = naming.Files[size_t(byOffset[first])].Offset;
        size_t end = first;
        files.clear();
        for (; end < byOffset.size() && naming.Files[size_t(byOffset[end])].Offset == offset; ++end)
            if (!written[size_t(byOffset[end])])
                files.push_back(byOffset[end]);
        first = end;
        if (files.empty())
            continue;
        const TKVB_Entry entry = catalogue.GetEntry(naming.Files[size_t(files.front())].Record);
        int64_t length = 0;
        const TDataSource source = ReadWhereItLies(file, entry, length);
        elsewhere[offset] = TEntryData{length, writer.Write(files, offset, length, source)};
    }

    TExportResult result;
    result.Manifest = ManifestOf(catalogue, naming, pieces, elsewhere);
    result.Manifest.ArchivePath = AbsolutePathOf(archive);
    result.Manifest.ArchiveSize = pieces.Size;
    result.Manifest.ArchiveChecksum = pieces.Archive();
    WriteManifest(into, result.Manifest, {&file});
    result.Written = int32_t(naming.Files.size());
    result.Warnings = std::move(naming.Warnings);
    result.Note = catalogue.Note();
    if (!naming.PassedOver.empty())
        result.PassedOver = UnextractedText(result.Written,
                                            result.Written + int32_t(naming.PassedOver.size()),
                                            naming.PassedOver, "exported");
    return result;
}

} // namespace kvb
