// The manifest an export leaves in its folder: which archive the files came from, and for each
// entry which file holds it and what the entry and the file held. kvb update reads it back to
// tell which files were changed and where each goes. The layout is in docs/format.md.
#pragma once

#include "platform/stream.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kvb {

class TOpenFolder;

// Hidden, so that neither a listing of the folder nor kvb create takes it for an entry.
inline constexpr const char *kManifestName = ".kvb-export.json";
// The manifest of an archive that an update is about to put in place, written before the
// archive takes its place and replacing the manifest after: whichever one the archive matches
// speaks for it, so that an update cut short between the two steps leaves the folder usable.
inline constexpr const char *kNextManifestName = ".kvb-export-next.json";

// How a file holds its entry: the entry's bytes as they are, or a texture as a PNG picture.
enum class TFileFormat { Bytes, Png };

struct TManifestEntry {
    int32_t Index = 0;               // the record's, from 0
    std::string Name;                // the record's name, as stored (Windows-1252)
    int64_t Length = 0;              // of the entry's data
    uint64_t Checksum = 0;           // of the entry's data
    std::optional<std::string> File; // its name in the folder; nothing when none was written
    TFileFormat Format = TFileFormat::Bytes;
    TFileStamp FileStamp;      // the file as it was left
    uint64_t FileChecksum = 0; // of the file's content (for Bytes, Checksum)
};

struct TManifest {
    std::string ArchivePath; // for the reader's information; nothing relies on it
    int64_t ArchiveSize = 0;
    uint64_t ArchiveChecksum = 0;        // ArchiveSums' Archive()
    std::vector<TManifestEntry> Entries; // in record order, each record at most once
};

// The manifest as the text of its file, and back. Parsing refuses what an export cannot have
// written, saying what and where (source names the text): another format or version, a number
// outside its field's range, a record number twice, a name the archive cannot hold, a file name
// that is not a plain name in the folder (a path, "..", the manifest's own).
std::string ManifestText(const TManifest &manifest);
TManifest ParseManifest(std::string_view text, const std::string &source);

// A manifest read from folder, with the stamp of its file.
struct TReadManifest {
    TManifest Manifest;
    TFileStamp Stamp;
};
// Raises EKVBError naming the folder when it holds no manifest (or only a link to one, which is
// not followed).
TReadManifest ReadManifest(const TOpenFolder &folder);
// The next manifest, when the folder holds one (it is read as the manifest is).
std::optional<TReadManifest> ReadNextManifest(const TOpenFolder &folder);
// Writes manifest into folder through the safe writer, as the manifest or as the next one (on
// disk once this returns); sources are files the operation reads.
void WriteManifest(const TOpenFolder &folder, const TManifest &manifest,
                   const std::vector<const TFileStream *> &sources = {}, bool next = false);
// Removes the manifest, or the next one, from folder, if there is one; a link there is removed,
// never followed.
void RemoveManifest(const TOpenFolder &folder, bool next = false);

// Whether name may be the name of an entry's file in an export's folder: a plain file name
// there on any system (no path, no "..", no ":") that is not a manifest's (IsManifestName).
bool IsExportFileName(const std::string &name);
// Whether name is a manifest's, case ignored as file systems that ignore it do.
bool IsManifestName(const std::string &name);

// name as a file system that ignores case compares it: every letter of Windows-1252 in capitals
// where name can be written in it, otherwise the ASCII letters only.
std::string CaseBlindName(const std::string &utf8Name);

} // namespace kvb
