// The changed files of an export's folder put back into the archive it was made from, in one
// rebuild (kvb update): the second half of the round trip that ExportArchive starts.
//
// A file of the folder belongs to an entry when the manifest names it for the entry, or when it
// is named as an export would name that entry's file ("GREY.TEX", or "GREY.png" for a texture;
// ASCII case ignored, as the archive ignores it). A file whose size and modification time are
// those the manifest recorded, from before the manifest was written, is unchanged without being
// read (as make and rsync tell); any other is read, and is unchanged when its checksum is the
// recorded one. A changed file goes back as its bytes, a PNG as a texture encoded against the
// entry's own (EncodeTex: a picture whose pixels are the texture's gives it back byte for byte),
// which counts as no change when it is the entry's data already.
#pragma once

#include "archive/progress.h"
#include "preview/tex_encode.h"
#include "tools/manifest.h"

#include <optional>
#include <string>
#include <vector>

namespace kvb {

struct TUpdateOptions {
    // Colours a texture's palette lacks get a new palette of the picture's instead of being
    // mapped to the nearest ones.
    bool NewPalette = false;
    // Files that belong to no entry are passed over instead of refused.
    bool IgnoreExtra = false;
};

// One data entry an update changes.
struct TUpdateChange {
    int32_t TocIndex = 0; // the first record that leads to it
    std::string Name;     // that record's, as stored
    std::string File;     // in the folder
    TFileFormat Format = TFileFormat::Bytes;
    int64_t OldLength = 0;
    int64_t NewLength = 0;
    uint64_t Checksum = 0; // of the new data
    TColourChange Colours; // a picture's colours that the texture shows otherwise
};

struct TUpdatePlan {
    std::vector<TUpdateChange> Changes; // in record order
    int32_t Unchanged = 0;              // files of the folder that hold what they held
    int32_t Read = 0;                   // files read to tell whether they changed
    std::vector<std::string> Missing;   // files the manifest names that the folder lacks
    std::vector<std::string> Ignored;   // files that belong to no entry (with IgnoreExtra)
    std::vector<std::string> Notes;     // what opening the archive found beside it
};

// What UpdateArchive would change, reading the archive, the manifest and the files but writing
// nothing. Refuses, naming the reason: a folder without a manifest, an archive that is not the
// one the manifest was made from (another size or checksum: changed since the export), a
// manifest that does not match the archive, a file of the folder that belongs to no entry
// (unless IgnoreExtra), two files for one entry, two changed files for one data entry that
// several records share, a link, folder or pipe standing where a file is read, and whatever
// PlanReplacement refuses. progress hears (files checked, files to check).
TUpdatePlan PlanUpdate(const std::string &archive, const std::string &folder,
                       const TUpdateOptions &options = {}, const TProgress &progress = {});

// Puts the changes back in one rebuild (ReplaceEntries: the archive is kept from editors from
// the first read of it to the last write, and is the old one or the new one after any
// interruption), into output, or with output empty in the archive's own place; without a change
// and without output nothing is written. Refuses as PlanUpdate does, under the rebuild's lock.
// Rebuilt in its own place, the archive is then recorded in the folder's manifest as it now is,
// with the files that were read as they were read, so that the next update starts from it; a
// manifest that cannot be written raises, the archive being updated.
//
// With confirmed (the changes of a plan that a user has looked at), the update refuses and
// writes nothing when the files found under the lock would change anything else: a file saved
// again between the plan and the update is not put back unseen.
TUpdatePlan UpdateArchive(const std::string &archive, const std::string &folder,
                          const TUpdateOptions &options, const std::string &output,
                          const TProgress &progress = {},
                          const std::vector<TUpdateChange> *confirmed = nullptr);

} // namespace kvb
