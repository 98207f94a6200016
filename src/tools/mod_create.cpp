// kvb mod create: the package of what a modded archive, or an export's folder, changes.
#include "tools/mod_package.h"

#include "archive/archive_checksum.h"
#include "archive/catalogue.h"
#include "archive/checksum.h"
#include "archive/format.h"
#include "archive/table_of_contents.h"
#include "archive/text.h"
#include "platform/errors.h"
#include "platform/folders.h"
#include "platform/paths.h"
#include "preview/tex_encode.h"
#include "tools/diff.h"
#include "tools/mod_file.h"
#include "tools/update.h"

#include <algorithm>
#include <set>
#include <unordered_map>

namespace kvb {

namespace {

// One archive that a package is made from: its records and their data.
struct TSource {
    explicit TSource(const std::string &path)
        : File(path, TFileStream::Mode::OpenRead),
          Catalogue(path, true),
          ByName(RecordsByName(Catalogue.EntryCount(),
                               [this](int32_t i) { return Catalogue.GetEntry(i).Name; }))
    {
        ReadTableOfContents(File, Catalogue.Count(),
                            [&](const TKVB_TocRecord &record) { Toc.push_back(record); });
    }

    std::string Data(int32_t index) const
    {
        const TKVB_Entry entry = Catalogue.GetEntry(index);
        std::string data(size_t(std::max(entry.Length, 0)), '\0');
        if (File.ReadAt(DataPosition(entry.Offset), data.data(), int64_t(data.size())) !=
            int64_t(data.size()))
            throw EReadError("Reading " + File.FileName() + ": it ends before the data of entry " +
                             std::to_string(index + 1));
        return data;
    }

    // Record index's place among the records of its name.
    int32_t Occurrence(int32_t index) const
    {
        const std::vector<int32_t> &records = ByName.at(Catalogue.GetEntry(index).Name);
        return int32_t(std::find(records.begin(), records.end(), index) - records.begin());
    }

    TFileStream File;
    TKVBFile Catalogue;
    TRecordsByName ByName;
    std::vector<TKVB_TocRecord> Toc;
};

std::string EntryText(const TSource &source, int32_t index)
{
    return "entry " + std::to_string(index + 1) + " (" +
           PrintableName(source.Catalogue.GetEntry(index).Name) + ")";
}

// The manifest's description of the mod and of the archive it applies to.
TModManifest Describe(const TSource &original, const std::string &output, const std::string &name,
                      const std::string &version)
{
    TModManifest manifest;
    manifest.Name = name;
    if (manifest.Name.empty()) {
        manifest.Name = FileNameOf(output);
        if (const size_t dot = manifest.Name.rfind('.'); dot != std::string::npos && dot > 0)
            manifest.Name.resize(dot);
    }
    manifest.Version = version;
    for (const std::string *text : {&manifest.Name, &manifest.Version}) {
        const bool control = std::any_of(text->begin(), text->end(),
                                         [](char c) { return uint8_t(c) < 0x20 || uint8_t(c) == 0x7F; });
        if (control || text->size() > 200 || (text == &manifest.Name && text->empty()))
            throw EKVBError("A mod's name and version must be text of at most 200 bytes without control "
                            "characters, and the name not empty");
    }
    // For the reader: a control character of the file's name is shown as "?".
    manifest.OriginalFile = FileNameOf(original.File.FileName());
    for (char &c : manifest.OriginalFile)
        if (uint8_t(c) < 0x20 || uint8_t(c) == 0x7F)
            c = '?';
    manifest.OriginalSize = original.File.Size();
    manifest.OriginalChecksum = SumArchive(original.File).Archive();
    manifest.OriginalCount = original.Catalogue.Count();
    return manifest;
}

// Adds to the package and its manifest the new data of record index of the original.
void AddReplacement(TPackageWriter &writer, TModManifest &manifest, const TSource &original,
                    int32_t index, const std::string &data)
{
    const std::string old = original.Data(index);
    manifest.Originals.push_back({index, original.Catalogue.GetEntry(index).Name,
                                  original.Occurrence(index), int64_t(old.size()), Checksum64(old)});
    TModEntry entry = writer.Add(data);
    entry.Replaces = index;
    manifest.Entries.push_back(entry);
}

// The changes of diff that a package carries, one per data entry of the original: records that
// share their data there must all change alike, as the rebuild changes them together.
std::vector<const TDiffChange *> Replacements(const TArchiveDiff &diff, const TSource &original,
                                              const TSource &modded, const std::string &moddedPath)
{
    std::unordered_map<int32_t, std::vector<int32_t>> recordsAt;
    for (int32_t i = 0; i < original.Catalogue.EntryCount(); ++i)
        recordsAt[original.Catalogue.GetEntry(i).Offset].push_back(i);
    std::unordered_map<int32_t, const TDiffChange *> changeOf;
    for (const TDiffChange &change : diff.Changed)
        changeOf[change.IndexA] = &change;
    std::vector<const TDiffChange *> kept;
    for (const TDiffChange &change : diff.Changed) {
        const std::vector<int32_t> &sharing =
            recordsAt[original.Catalogue.GetEntry(change.IndexA).Offset];
        bool first = true;
        for (const int32_t other : sharing) {
            if (other == change.IndexA)
                continue;
            const auto found = changeOf.find(other);
            if (found == changeOf.end())
                throw EKVBError(EntryText(original, change.IndexA) + " shares its data with " +
                                EntryText(original, other) + ", which " + moddedPath +
                                " keeps as it was; a mod changes the data of both or of neither");
            if (Checksum64(modded.Data(found->second->IndexB)) != Checksum64(modded.Data(change.IndexB)))
                throw EKVBError(EntryText(original, change.IndexA) + " shares its data with " +
                                EntryText(original, other) + ", and " + moddedPath +
                                " gives them different data; a mod changes the data of both alike");
            first = first && other > change.IndexA;
        }
        if (first)
            kept.push_back(&change);
    }
    return kept;
}

std::vector<std::string> Warnings(const TArchiveDiff &diff, const std::string &modded)
{
    std::vector<std::string> warnings;
    if (diff.CreatorA != diff.CreatorB)
        warnings.push_back("the creator of " + modded + " is not carried by the mod");
    if (diff.DescriptionA != diff.DescriptionB)
        warnings.push_back("the description of " + modded + " is not carried by the mod");
    if (diff.OnlyInB.empty() && diff.ValidationDiffers())
        warnings.push_back("the validation block of " + modded +
                           " is not carried by the mod: an archive keeps its block while its "
                           "number of entries stays");
    return warnings;
}

} // namespace

std::vector<std::string> CreateModPackage(const std::string &original, const std::string &modded,
                                          const std::string &output, const std::string &name,
                                          const std::string &version, const TProgress &progress)
{
    const TArchiveDiff diff = DiffArchives(original, modded);
    if (diff.SameFile)
        throw EKVBError("Archives " + original + " and " + modded +
                        " are one file: there is no mod between them");
    if (!diff.OnlyInA.empty()) {
        std::string lacking;
        for (size_t i = 0; i < diff.OnlyInA.size() && i < 5; ++i)
            lacking += (i ? ", " : "") + std::to_string(diff.OnlyInA[i].Index + 1) + " (" +
                       PrintableName(diff.OnlyInA[i].Name) + ")";
        throw EKVBError(modded + " lacks " + std::to_string(diff.OnlyInA.size()) + " entries of " +
                        original + " (" + lacking + (diff.OnlyInA.size() > 5 ? ", ..." : "") +
                        "); a mod changes and adds entries, it does not remove them");
    }
    if (diff.Changed.empty() && diff.OnlyInB.empty())
        throw EKVBError(modded + " holds the entries of " + original +
                        " with the same data: there is nothing for a mod to carry");

    const TSource a(original), b(modded);
    const std::vector<const TDiffChange *> replacements = Replacements(diff, a, b, modded);
    TModManifest manifest = Describe(a, output, name, version);
    TPackageWriter writer(output, TOutputKind::Whole, {&a.File, &b.File});
    const int32_t total = int32_t(replacements.size() + diff.OnlyInB.size());
    int32_t done = 0;
    for (const TDiffChange *change : replacements) {
        AddReplacement(writer, manifest, a, change->IndexA, b.Data(change->IndexB));
        if (progress)
            progress(++done, total);
    }
    for (const TDiffEntry &added : diff.OnlyInB) {
        TModEntry entry = writer.Add(b.Data(added.Index));
        const TKVB_TocRecord &record = b.Toc[size_t(added.Index)];
        entry.AddedName = added.Name;
        entry.Reserved1 = record.Reserved1;
        entry.Reserved2 = record.Reserved2;
        manifest.Entries.push_back(entry);
        if (progress)
            progress(++done, total);
    }
    writer.Finish(manifest);
    return Warnings(diff, modded);
}

std::vector<std::string> CreateModPackageFromFolder(const std::string &original,
                                                    const std::string &folder, const std::string &output,
                                                    const std::string &name, const std::string &version,
                                                    const TProgress &progress)
{
    const std::string outputFolder = ParentFolderOf(output);
    if (SameFileOrFolder(outputFolder.empty() ? "." : outputFolder, folder))
        throw EKVBError("Mod package " + output + " cannot be written into " + folder +
                        ", the folder it is made from");
    const TUpdatePlan plan = PlanUpdate(original, folder);
    if (plan.Changes.empty())
        throw EKVBError("No file of " + folder +
                        " has changed since the export: there is nothing for a mod to carry");

    const TSource a(original);
    TModManifest manifest = Describe(a, output, name, version);
    std::vector<std::string> warnings;
    const TOpenFolder files(folder);
    TPackageWriter writer(output, TOutputKind::Whole, {&a.File});
    int32_t done = 0;
    for (const TUpdateChange &change : plan.Changes) {
        const TFileStream file(files, change.File, false);
        const int64_t size = file.OpenedSize();
        if (size > INT32_MAX)
            throw EKVBError("File " + JoinPath(folder, change.File) +
                            " is too large to store in an archive");
        std::string bytes(size_t(size), '\0');
        if (file.ReadAt(0, bytes.data(), size) != size)
            throw EReadError("Reading " + file.FileName() + ": it ends before its size says");
        if (change.Format == TFileFormat::Png)
            bytes = MakeTexFromBytes(a.Data(change.TocIndex), PrintableName(change.Name), bytes,
                                     JoinPath(folder, change.File), false)
                        .Bytes;
        if (Checksum64(bytes) != change.Checksum)
            throw EKVBError("File " + JoinPath(folder, change.File) +
                            " changed while the mod was being made");
        if (change.Colours.Pixels > 0)
            warnings.push_back("entry " + std::to_string(change.TocIndex + 1) + " \"" +
                               PrintableName(change.Name) +
                               "\": " + ColourChangeText(change.Colours, change.File));
        AddReplacement(writer, manifest, a, change.TocIndex, bytes);
        if (progress)
            progress(++done, int32_t(plan.Changes.size()));
    }
    writer.Finish(manifest);
    return warnings;
}

} // namespace kvb
