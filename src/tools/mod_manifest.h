// The manifest of a mod package or an undo package, "kvbmod.json" in its zip: what the package
// holds and what the archive it applies to must hold. The layout is in docs/format.md.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kvb {

inline constexpr const char *kModPackageExtension = ".kvbmod";
inline constexpr const char *kUndoPackageExtension = ".kvbundo";
inline constexpr const char *kModManifestName = "kvbmod.json";
// The zip entry of an undo package that holds the validation block the mod replaced.
inline constexpr const char *kUndoValidationName = "validation";

// An entry the package replaces, as the archive it applies to must hold it.
struct TModOriginalEntry {
    int32_t Index = 0;      // the record, from 0, in the archive the package was made from
    std::string Name;       // the record's name, as stored (Windows-1252)
    int32_t Occurrence = 0; // its place among the records of that name, from 0
    int64_t Length = 0;
    uint64_t Checksum = 0; // Checksum64 of the data
};

// An entry the package holds: the new data of an entry it replaces, or an entry it adds.
struct TModEntry {
    std::string File;                // its entry in the zip: "entries/<n>"
    std::optional<int32_t> Replaces; // the record (TModOriginalEntry::Index) whose data it is
    std::string AddedName;           // for an added entry, its name as stored
    uint8_t Reserved1 = 0;           // for an added entry, its record's reserved fields
    uint16_t Reserved2 = 0;
    int64_t Length = 0;
    uint64_t Checksum = 0;
};

struct TModManifest {
    bool Undo = false; // an undo package rather than a mod
    std::string Name, Version;
    // The archive it was made from (for a mod) or left as (for an undo package): its file name,
    // size, checksum (ArchiveSums' Archive(), as an export's manifest records it; a mod's only)
    // and record count. For the reader; only an undo package's count is checked.
    std::string OriginalFile;
    int64_t OriginalSize = 0;
    std::optional<uint64_t> OriginalChecksum;
    int32_t OriginalCount = 0;
    std::vector<TModOriginalEntry> Originals; // in record order
    std::vector<TModEntry> Entries;           // replacements in record order, then additions
    // Undo packages only: the records the mod added, at the end of the table, as it wrote
    // them (Index: the record's number in the archive after the mod), which revert removes; and
    // the validation block it replaced, which revert puts back ("validation" in the zip).
    std::vector<TModOriginalEntry> Added;
    std::optional<TModEntry> Validation;
};

// The manifest as the text of its file, and back. Parsing refuses what no package of this
// program holds, saying what and where (source names the package): another format, kind or
// version, a number outside its field's range, a name an archive cannot hold, a zip entry that is
// not "entries/<n>" (or an undo package's "validation"), a record replaced twice or not at all,
// an entry named twice, an entry that replaces a record the manifest does not list.
std::string ModManifestText(const TModManifest &manifest);
TModManifest ParseModManifest(std::string_view text, const std::string &source);

// The zip entry name of a package's n-th entry, from 1.
std::string ModEntryFile(size_t n);

} // namespace kvb
