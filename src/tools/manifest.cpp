#include "tools/manifest.h"

#include "archive/checksum.h"
#include "archive/extract.h"
#include "archive/format.h"
#include "archive/text.h"
#include "platform/errors.h"
#include "platform/file_attributes.h"
#include "platform/file_names.h"
#include "platform/listing.h"
#include "platform/output_file.h"
#include "platform/paths.h"
#include "tools/json_reader.h"
#include "tools/manifest_json.h"

#include <algorithm>
#include <charconv>
#include <set>
#include <span>
#include <string_view>

namespace kvb {

namespace {

constexpr const char *kFormatName = "kvb-export";
constexpr int64_t kFormatVersion = 1;
// A manifest holds about 200 bytes an entry; this is room for millions of entries, and keeps
// a file planted under the name from filling the memory.
constexpr int64_t kMaxManifestSize = int64_t(1) << 30;

void PutEntry(std::string &out, const TManifestEntry &entry)
{
    out += "{\"number\":";
    PutNumber(out, entry.Index + 1);
    out += ",\"name\":";
    PutArchiveName(out, entry.Name);
    out += ",\"length\":";
    PutNumber(out, entry.Length);
    out += ",\"checksum\":\"" + ChecksumText(entry.Checksum) + "\",\"file\":";
    if (!entry.File) {
        out += "null}";
        return;
    }
    PutString(out, *entry.File);
    const bool png = entry.Format == TFileFormat::Png;
    out += png ? ",\"format\":\"png\",\"file_size\":" : ",\"format\":\"bytes\",\"file_size\":";
    PutNumber(out, entry.FileStamp.Size);
    out += ",\"file_modified\":";
    PutNumber(out, entry.FileStamp.Modified);
    // A file of bytes holds the entry's, but where an update changed data that several records
    // share, the other records' files still hold what they held.
    if (png || entry.FileChecksum != entry.Checksum)
        out += ",\"file_checksum\":\"" + ChecksumText(entry.FileChecksum) + "\"";
    out += '}';
}

} // namespace

std::string ManifestText(const TManifest &manifest)
{
    std::string out = std::string("{\"format\":\"") + kFormatName +
                      "\",\"version\":" + std::to_string(kFormatVersion) + ",\n\"archive\":{\"path\":";
    PutString(out, manifest.ArchivePath);
    out += ",\"size\":" + std::to_string(manifest.ArchiveSize) + ",\"checksum\":\"" +
           ChecksumText(manifest.ArchiveChecksum) + "\"},\n\"entries\":[";
    out.reserve(out.size() + manifest.Entries.size() * 200);
    for (size_t i = 0; i < manifest.Entries.size(); ++i) {
        out += i == 0 ? "\n" : ",\n";
        PutEntry(out, manifest.Entries[i]);
    }
    out += "\n]}\n";
    return out;
}

std::string CaseBlindName(const std::string &utf8Name)
{
    // ASCII is the same text in either code, and the usual name.
    if (std::all_of(utf8Name.begin(), utf8Name.end(), [](char c) { return uint8_t(c) < 0x80; }))
        return AsciiUpper(utf8Name);
    if (std::optional<std::string> stored = Utf8ToCp1252(utf8Name)) {
        for (char &c : *stored)
            c = Cp1252Upper(c);
        return *stored;
    }
    return AsciiUpper(utf8Name);
}

bool IsManifestName(const std::string &name)
{
    static const std::string manifest = CaseBlindName(kManifestName);
    static const std::string next = CaseBlindName(kNextManifestName);
    const std::string folded = CaseBlindName(name);
    return folded == manifest || folded == next;
}

bool IsExportFileName(const std::string &name)
{
    return IsPlainFileName(name) && !NameFaultAnywhere(name) && name.find('\0') == std::string::npos &&
           !IsManifestName(name);
}

namespace {

void ReadArchive(TJsonReader &json, TManifest &manifest)
{
    enum { kPath, kSize, kChecksum };
    static constexpr std::string_view kKnown[] = {"path", "size", "checksum"};
    TMembers members(json, kKnown);
    for (int member; members.Next(member);) {
        if (member == kPath)
            manifest.ArchivePath = json.String();
        else if (member == kSize)
            manifest.ArchiveSize = json.Integer(0, INT64_MAX, "The archive's size");
        else if (member == kChecksum)
            manifest.ArchiveChecksum = ReadHex64(json, "The archive's checksum");
        else
            json.Skip();
    }
    members.Require({kSize, kChecksum});
}

std::optional<std::string> ReadFileName(TJsonReader &json)
{
    if (json.Null())
        return std::nullopt;
    std::string file = json.String();
    if (!IsExportFileName(file))
        json.Fail("a file must be named by a plain file name in the folder, not a path, \"..\" "
                  "or the manifest's own name");
    return file;
}

TFileFormat ReadFormat(TJsonReader &json)
{
    const std::string format = json.String();
    if (format != "bytes" && format != "png")
        json.Fail("a file's format must be \"bytes\" or \"png\"");
    return format == "png" ? TFileFormat::Png : TFileFormat::Bytes;
}

TManifestEntry ReadEntry(TJsonReader &json)
{
    enum { kNumber, kName, kLength, kChecksum, kFile, kFormat, kFileSize, kFileModified, kFileChecksum };
    static constexpr std::string_view kKnown[] = {"number",    "name",          "length",
                                                  "checksum",  "file",          "format",
                                                  "file_size", "file_modified", "file_checksum"};
    TMembers members(json, kKnown);
    TManifestEntry entry;
    for (int member; members.Next(member);) {
        switch (member) {
        case kNumber: entry.Index = int32_t(json.Integer(1, INT32_MAX, "A record number") - 1); break;
        case kName: entry.Name = ReadArchiveName(json); break;
        case kLength: entry.Length = json.Integer(0, INT32_MAX, "A length"); break;
        case kChecksum: entry.Checksum = ReadHex64(json, "A checksum"); break;
        case kFile: entry.File = ReadFileName(json); break;
        case kFormat: entry.Format = ReadFormat(json); break;
        case kFileSize: entry.FileStamp.Size = json.Integer(0, INT64_MAX, "A file's size"); break;
        case kFileModified:
            entry.FileStamp.Modified = json.Integer(INT64_MIN, INT64_MAX, "A file's time");
            break;
        case kFileChecksum: entry.FileChecksum = ReadHex64(json, "A file's checksum"); break;
        default: json.Skip();
        }
    }
    members.Require({kNumber, kName, kLength, kChecksum, kFile});
    if (entry.File) {
        members.Require({kFormat, kFileSize, kFileModified});
        if (entry.Format == TFileFormat::Png)
            members.Require({kFileChecksum});
        else if (!members.Has(kFileChecksum))
            entry.FileChecksum = entry.Checksum;
    }
    return entry;
}

void ReadEntries(TJsonReader &json, TManifest &manifest)
{
    // Records come in rising order as an export writes them; only a manifest edited out of
    // order needs a set to find a record twice.
    std::optional<std::set<int32_t>> numbers;
    json.BeginArray();
    while (json.NextElement()) {
        TManifestEntry entry = ReadEntry(json);
        const bool rising = manifest.Entries.empty() || entry.Index > manifest.Entries.back().Index;
        if (!rising && !numbers) {
            numbers.emplace();
            for (const TManifestEntry &earlier : manifest.Entries)
                numbers->insert(earlier.Index);
        }
        if (numbers && !numbers->insert(entry.Index).second)
            json.Fail("record " + std::to_string(entry.Index + 1) + " is listed twice");
        manifest.Entries.push_back(std::move(entry));
    }
    if (numbers)
        std::sort(manifest.Entries.begin(), manifest.Entries.end(),
                  [](const TManifestEntry &a, const TManifestEntry &b) { return a.Index < b.Index; });
}

} // namespace

TManifest ParseManifest(std::string_view text, const std::string &source)
{
    TJsonReader json(text, source);
    TManifest manifest;
    enum { kFormat, kVersion, kArchive, kEntries };
    static constexpr std::string_view kKnown[] = {"format", "version", "archive", "entries"};
    TMembers members(json, kKnown);
    for (int member; members.Next(member);) {
        if (member == kFormat) {
            if (json.String() != kFormatName)
                json.Fail(std::string("it is not the manifest of an export (its format is not \"") +
                          kFormatName + "\")");
        } else if (member == kVersion) {
            if (json.Integer(INT64_MIN, INT64_MAX, "The version") != kFormatVersion)
                json.Fail("it is of a version this kvb does not know (it knows version " +
                          std::to_string(kFormatVersion) + ")");
        } else if (member == kArchive) {
            ReadArchive(json, manifest);
        } else if (member == kEntries) {
            ReadEntries(json, manifest);
        } else {
            json.Skip();
        }
    }
    members.Require({kFormat, kVersion, kArchive, kEntries});
    json.End();
    return manifest;
}

namespace {

TReadManifest ReadManifestFile(const TFileStream &file)
{
    const int64_t size = file.OpenedSize();
    if (size > kMaxManifestSize)
        throw EKVBError("Manifest " + file.FileName() + " cannot be read: it has " +
                        std::to_string(size) + " bytes, more than any export writes");
    std::string text(size_t(size), '\0');
    if (file.ReadAt(0, text.data(), size) != size)
        throw EReadError("Reading " + file.FileName() + ": it ends before its size says");
    return {ParseManifest(text, "Manifest " + file.FileName()), file.Stamp()};
}

} // namespace

TReadManifest ReadManifest(const TOpenFolder &folder)
{
    std::optional<TFileStream> file;
    try {
        file.emplace(folder, kManifestName, false);
    } catch (const EFOpenError &e) {
        throw EKVBError("Folder " + folder.Path() + " holds no manifest of an export (" + kManifestName +
                        "): " + e.what());
    }
    return ReadManifestFile(*file);
}

std::optional<TReadManifest> ReadNextManifest(const TOpenFolder &folder)
{
    if (!LookUpEntry(folder, kNextManifestName))
        return std::nullopt;
    const TFileStream file(folder, kNextManifestName, false);
    return ReadManifestFile(file);
}

void WriteManifest(const TOpenFolder &folder, const TManifest &manifest,
                   const std::vector<const TFileStream *> &sources, bool next)
{
    const std::string text = ManifestText(manifest);
    TOutputFile output(folder, next ? kNextManifestName : kManifestName,
                       next ? TOutputKind::Durable : TOutputKind::Whole, sources);
    output.Stream().WriteBuffer(text.data(), int64_t(text.size()));
    output.Commit();
}

void RemoveManifest(const TOpenFolder &folder, bool next)
{
    RemoveFile(JoinPath(folder.Path(), next ? kNextManifestName : kManifestName));
}

} // namespace kvb
