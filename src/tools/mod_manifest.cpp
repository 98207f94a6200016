#include "tools/mod_manifest.h"

#include "archive/checksum.h"
#include "platform/errors.h"
#include "tools/json_reader.h"
#include "tools/manifest_json.h"

#include <algorithm>
#include <map>
#include <set>

namespace kvb {

namespace {

constexpr const char *kFormatName = "kvbmod";
constexpr int64_t kFormatVersion = 1;
// A mod's name goes into the undo package's file name and every message about it.
constexpr size_t kMaxNameSize = 200;
constexpr const char *kEntriesFolder = "entries/";

void PutOriginal(std::string &out, const TModOriginalEntry &entry)
{
    out += "{\"number\":";
    PutNumber(out, entry.Index + 1);
    out += ",\"name\":";
    PutArchiveName(out, entry.Name);
    out += ",\"occurrence\":";
    PutNumber(out, entry.Occurrence + 1);
    out += ",\"length\":";
    PutNumber(out, entry.Length);
    out += ",\"checksum\":\"" + ChecksumText(entry.Checksum) + "\"}";
}

void PutEntry(std::string &out, const TModEntry &entry)
{
    out += "{\"file\":";
    PutString(out, entry.File);
    if (entry.Replaces) {
        out += ",\"replaces\":";
        PutNumber(out, *entry.Replaces + 1);
    } else if (entry.File != kUndoValidationName) {
        out += ",\"adds\":";
        PutArchiveName(out, entry.AddedName);
        out += ",\"reserved1\":";
        PutNumber(out, entry.Reserved1);
        out += ",\"reserved2\":";
        PutNumber(out, entry.Reserved2);
    }
    out += ",\"length\":";
    PutNumber(out, entry.Length);
    out += ",\"checksum\":\"" + ChecksumText(entry.Checksum) + "\"}";
}

template <typename T, typename Put>
void PutList(std::string &out, const char *key, const std::vector<T> &items, Put put)
{
    out += std::string(",\n\"") + key + "\":[";
    for (size_t i = 0; i < items.size(); ++i) {
        out += i == 0 ? "\n" : ",\n";
        put(out, items[i]);
    }
    out += "\n]";
}

} // namespace

std::string ModEntryFile(size_t n)
{
    return kEntriesFolder + std::to_string(n);
}

std::string ModManifestText(const TModManifest &manifest)
{
    std::string out = std::string("{\"format\":\"") + kFormatName +
                      "\",\"version\":" + std::to_string(kFormatVersion) + ",\"kind\":\"" +
                      (manifest.Undo ? "undo" : "mod") + "\",\n\"mod\":{\"name\":";
    PutString(out, manifest.Name);
    out += ",\"version\":";
    PutString(out, manifest.Version);
    out += "},\n\"original\":{\"file\":";
    PutString(out, manifest.OriginalFile);
    out += ",\"size\":";
    PutNumber(out, manifest.OriginalSize);
    if (manifest.OriginalChecksum)
        out += ",\"checksum\":\"" + ChecksumText(*manifest.OriginalChecksum) + "\"";
    out += ",\"count\":";
    PutNumber(out, manifest.OriginalCount);
    out += "}";
    PutList(out, "replaces", manifest.Originals, PutOriginal);
    PutList(out, "entries", manifest.Entries, PutEntry);
    if (manifest.Undo) {
        PutList(out, "added", manifest.Added, PutOriginal);
        if (manifest.Validation) {
            out += ",\n\"validation\":";
            PutEntry(out, *manifest.Validation);
        }
    }
    out += "}\n";
    return out;
}

namespace {

// Text shown in messages and used in a file name: no control characters, not empty, not long.
std::string ReadLabel(TJsonReader &json, const std::string &what, bool mayBeEmpty,
                      size_t maxSize = kMaxNameSize)
{
    std::string text = json.String();
    const bool control = std::any_of(text.begin(), text.end(),
                                     [](char c) { return uint8_t(c) < 0x20 || uint8_t(c) == 0x7F; });
    if (control || text.size() > maxSize || (text.empty() && !mayBeEmpty))
        json.Fail(what + " must be text of " + (mayBeEmpty ? "0" : "1") + " to " +
                  std::to_string(maxSize) + " bytes without control characters");
    return text;
}

void ReadMod(TJsonReader &json, TModManifest &manifest)
{
    enum { kName, kVersion };
    static constexpr std::string_view kKnown[] = {"name", "version"};
    TMembers members(json, kKnown);
    for (int member; members.Next(member);) {
        if (member == kName)
            manifest.Name = ReadLabel(json, "The mod's name", false);
        else if (member == kVersion)
            manifest.Version = ReadLabel(json, "The mod's version", true);
        else
            json.Skip();
    }
    members.Require({kName, kVersion});
}

void ReadOriginal(TJsonReader &json, TModManifest &manifest)
{
    enum { kFile, kSize, kChecksum, kCount };
    static constexpr std::string_view kKnown[] = {"file", "size", "checksum", "count"};
    TMembers members(json, kKnown);
    for (int member; members.Next(member);) {
        if (member == kFile)
            manifest.OriginalFile = ReadLabel(json, "The original's file name", true, 4096);
        else if (member == kSize)
            manifest.OriginalSize = json.Integer(0, INT64_MAX, "The original's size");
        else if (member == kChecksum)
            manifest.OriginalChecksum = ReadHex64(json, "The original's checksum");
        else if (member == kCount)
            manifest.OriginalCount = int32_t(json.Integer(1, INT32_MAX, "The original's count"));
        else
            json.Skip();
    }
    members.Require({kFile, kSize, kCount});
}

TModOriginalEntry ReadOriginalEntry(TJsonReader &json)
{
    enum { kNumber, kName, kOccurrence, kLength, kChecksum };
    static constexpr std::string_view kKnown[] = {"number", "name", "occurrence", "length", "checksum"};
    TMembers members(json, kKnown);
    TModOriginalEntry entry;
    for (int member; members.Next(member);) {
        switch (member) {
        case kNumber: entry.Index = int32_t(json.Integer(1, INT32_MAX, "A record number") - 1); break;
        case kName: entry.Name = ReadArchiveName(json); break;
        case kOccurrence:
            entry.Occurrence = int32_t(json.Integer(1, INT32_MAX, "An occurrence") - 1);
            break;
        case kLength: entry.Length = json.Integer(0, INT32_MAX, "A length"); break;
        case kChecksum: entry.Checksum = ReadHex64(json, "A checksum"); break;
        default: json.Skip();
        }
    }
    members.Require({kNumber, kName, kOccurrence, kLength, kChecksum});
    return entry;
}

// "entries/<n>", n a decimal number from 1 without leading zeros: no name an archive or a
// package could hold ever becomes a path.
bool IsEntryFile(const std::string &file)
{
    const std::string_view prefix = kEntriesFolder;
    if (file.compare(0, prefix.size(), prefix) != 0)
        return false;
    const std::string_view digits = std::string_view(file).substr(prefix.size());
    return !digits.empty() && digits.size() <= 9 && digits.front() != '0' &&
           std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; });
}

TModEntry ReadEntry(TJsonReader &json, bool validation)
{
    enum { kFile, kReplaces, kAdds, kReserved1, kReserved2, kLength, kChecksum };
    static constexpr std::string_view kKnown[] = {"file",      "replaces", "adds",    "reserved1",
                                                  "reserved2", "length",   "checksum"};
    TMembers members(json, kKnown);
    TModEntry entry;
    for (int member; members.Next(member);) {
        switch (member) {
        case kFile:
            entry.File = json.String();
            if (validation ? entry.File != kUndoValidationName : !IsEntryFile(entry.File))
                json.Fail(validation ? std::string("the validation block must be the entry \"") +
                                           kUndoValidationName + "\""
                                     : "a file must be named \"entries/\" and a number from 1, "
                                       "not a path of its own");
            break;
        case kReplaces:
            entry.Replaces = int32_t(json.Integer(1, INT32_MAX, "A record number") - 1);
            break;
        case kAdds: entry.AddedName = ReadArchiveName(json); break;
        case kReserved1: entry.Reserved1 = uint8_t(json.Integer(0, UINT8_MAX, "A reserved field")); break;
        case kReserved2:
            entry.Reserved2 = uint16_t(json.Integer(0, UINT16_MAX, "A reserved field"));
            break;
        case kLength: entry.Length = json.Integer(0, INT32_MAX, "A length"); break;
        case kChecksum: entry.Checksum = ReadHex64(json, "A checksum"); break;
        default: json.Skip();
        }
    }
    members.Require({kFile, kLength, kChecksum});
    if (validation) {
        if (members.Has(kReplaces) || members.Has(kAdds))
            json.Fail("the validation block neither replaces nor adds an entry");
    } else if (members.Has(kReplaces) == members.Has(kAdds)) {
        json.Fail("an entry must either replace a record or add one");
    } else if (members.Has(kAdds)) {
        members.Require({kReserved1, kReserved2});
    }
    return entry;
}

template <typename T, typename Read>
std::vector<T> ReadList(TJsonReader &json, Read read)
{
    std::vector<T> items;
    json.BeginArray();
    while (json.NextElement())
        items.push_back(read(json));
    return items;
}

// What the lists say of one another: each record listed once and replaced by exactly one entry,
// each zip entry named once, an added record at most once.
void CheckConsistent(TJsonReader &json, TModManifest &manifest)
{
    const auto byIndex = [](const TModOriginalEntry &a, const TModOriginalEntry &b) {
        return a.Index < b.Index;
    };
    std::map<int32_t, int> replaced;
    std::set<std::pair<std::string, int32_t>> places;
    for (const TModOriginalEntry &original : manifest.Originals) {
        if (!replaced.emplace(original.Index, 0).second)
            json.Fail("record " + std::to_string(original.Index + 1) + " is listed twice");
        if (!places.emplace(original.Name, original.Occurrence).second)
            json.Fail("record " + std::to_string(original.Index + 1) +
                      " is one that another record listed already stands for (the same name and "
                      "occurrence)");
    }
    std::set<std::string> files;
    for (const TModEntry &entry : manifest.Entries) {
        if (!files.insert(entry.File).second)
            json.Fail("the file \"" + entry.File + "\" is named twice");
        if (!entry.Replaces)
            continue;
        const auto found = replaced.find(*entry.Replaces);
        if (found == replaced.end())
            json.Fail("an entry replaces record " + std::to_string(*entry.Replaces + 1) +
                      ", which \"replaces\" does not list");
        if (++found->second > 1)
            json.Fail("record " + std::to_string(*entry.Replaces + 1) + " is replaced twice");
    }
    for (const auto &[index, count] : replaced)
        if (count == 0)
            json.Fail("record " + std::to_string(index + 1) + " is listed, but no entry replaces it");
    std::set<int32_t> added;
    for (const TModOriginalEntry &entry : manifest.Added)
        if (!added.insert(entry.Index).second)
            json.Fail("the added record " + std::to_string(entry.Index + 1) + " is listed twice");
    if (manifest.Entries.empty() && manifest.Added.empty())
        json.Fail("it holds no entries");
    std::sort(manifest.Originals.begin(), manifest.Originals.end(), byIndex);
    std::sort(manifest.Added.begin(), manifest.Added.end(), byIndex);
}

} // namespace

TModManifest ParseModManifest(std::string_view text, const std::string &source)
{
    TJsonReader json(text, source);
    TModManifest manifest;
    enum { kFormat, kVersion, kKind, kMod, kOriginal, kReplaces, kEntries, kAdded, kValidation };
    static constexpr std::string_view kKnown[] = {"format",   "version", "kind",  "mod",       "original",
                                                  "replaces", "entries", "added", "validation"};
    TMembers members(json, kKnown);
    for (int member; members.Next(member);) {
        switch (member) {
        case kFormat:
            if (json.String() != kFormatName)
                json.Fail(std::string("it is not a mod package (its format is not \"") + kFormatName +
                          "\")");
            break;
        case kVersion:
            if (json.Integer(INT64_MIN, INT64_MAX, "The version") != kFormatVersion)
                json.Fail("it is of a version this kvb does not know (it knows version " +
                          std::to_string(kFormatVersion) + ")");
            break;
        case kKind: {
            const std::string kind = json.String();
            if (kind != "mod" && kind != "undo")
                json.Fail("its kind must be \"mod\" or \"undo\"");
            manifest.Undo = kind == "undo";
            break;
        }
        case kMod: ReadMod(json, manifest); break;
        case kOriginal: ReadOriginal(json, manifest); break;
        case kReplaces: manifest.Originals = ReadList<TModOriginalEntry>(json, ReadOriginalEntry); break;
        case kEntries:
            manifest.Entries =
                ReadList<TModEntry>(json, [](TJsonReader &j) { return ReadEntry(j, false); });
            break;
        case kAdded: manifest.Added = ReadList<TModOriginalEntry>(json, ReadOriginalEntry); break;
        case kValidation: manifest.Validation = ReadEntry(json, true); break;
        default: json.Skip();
        }
    }
    members.Require({kFormat, kVersion, kKind, kMod, kOriginal, kReplaces, kEntries});
    if (!manifest.Undo && (members.Has(kAdded) || members.Has(kValidation)))
        json.Fail("only an undo package lists added records or a validation block");
    if (manifest.Undo) {
        members.Require({kAdded});
        for (const TModEntry &entry : manifest.Entries)
            if (!entry.Replaces)
                json.Fail("an undo package adds no entries");
        if (manifest.Added.empty() != !manifest.Validation)
            json.Fail("an undo package holds the validation block exactly when the mod added entries");
    }
    json.End();
    CheckConsistent(json, manifest);
    return manifest;
}

} // namespace kvb
