// The files of an export's folder held against its manifest and the archive: which file
// belongs to which entry, and which files changed. The rules are update.h's.
#pragma once

#include "archive/archive_checksum.h"
#include "archive/format.h"
#include "platform/listing.h"
#include "tools/update.h"

#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace kvb {

class TOpenFolder;

// A data entry that a file of the folder changes.
struct TFileChange {
    std::vector<int32_t> Records; // that lead to the data entry, in table order
    int32_t Offset = 0;           // of its data header
    std::string File;
    TFileFormat Format = TFileFormat::Bytes;
    std::optional<std::string> Data; // a texture made of a picture; otherwise the file's bytes
    int64_t Length = 0;              // of the new data
    uint64_t DataChecksum = 0;       // of the new data
    uint64_t HeaderChecksum = 0;     // of the data header with the new length
    TColourChange Colours;
};

// A file that was read, as it was then: what the manifest records of it from now on.
struct TSeenFile {
    std::string Name;
    TFileFormat Format = TFileFormat::Bytes;
    std::vector<int32_t> Records;
    TFileStamp Stamp;
    uint64_t Checksum = 0;
};

class TFolderFiles {
public:
    // Everything given must outlive this. toc and sums are the archive's, which the manifest
    // has been found to describe.
    TFolderFiles(const TOpenFolder &folder, const TReadManifest &manifest,
                 const std::vector<TKVB_TocRecord> &toc, const TArchiveSums &sums,
                 const TUpdateOptions &options);

    // Gives each file of listing (the folder's) its records. The archive itself, should it lie
    // in the folder, is no file of the export. Raises for what update.h says it refuses.
    void Find(const std::vector<TFolderEntry> &listing, const std::string &archive);
    // Reads the files that may have changed against archive (the entries' own data, for
    // pictures); progress hears (files checked, files to check).
    std::vector<TFileChange> Changes(const TFileStream &archive, const TProgress &progress);

    const std::vector<std::string> &Missing() const { return missing_; }
    const std::vector<std::string> &Ignored() const { return ignored_; }
    const std::vector<TSeenFile> &Seen() const { return seen_; }
    int32_t Unchanged() const { return unchanged_; }

private:
    struct TCandidate {
        std::string Name;
        TFileFormat Format = TFileFormat::Bytes;
        std::vector<int32_t> Records;
        const TManifestEntry *Recorded = nullptr; // the manifest's, when it names the file
        TFileStamp Stamp;                         // as listed
    };

    void TakeManifestFiles(const std::unordered_map<std::string, const TFolderEntry *> &listed);
    void TakeOtherFiles(const std::vector<TFolderEntry> &listing, const std::string &archive);
    std::vector<int32_t> RecordsNamed(const std::string &fileName, TFileFormat &format);
    void CheckOneFileEach() const;
    std::optional<TFileChange> Check(const TCandidate &candidate, const TFileStream &archive);
    [[noreturn]] void Refuse(const std::string &what) const;

    const TOpenFolder &folder_;
    const TReadManifest &manifest_;
    const std::vector<TKVB_TocRecord> &toc_;
    const TArchiveSums &sums_;
    TUpdateOptions options_;
    std::vector<TCandidate> candidates_;
    std::unordered_map<std::string, std::vector<int32_t>> byName_; // upper-cased record names
    std::vector<std::string> missing_, ignored_;
    std::vector<TSeenFile> seen_;
    int32_t unchanged_ = 0;
};

} // namespace kvb
