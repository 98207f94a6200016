// Every entry of an archive written into a folder as a file, with a manifest that says what each
// file holds (kvb export): the first half of a modder's round trip, whose second half puts the
// changed files back (update.h).
//
// Files are named as extract-all names them: the entry's name in UTF-8, and an entry whose name
// cannot be a file name (UnusableNameReason) is passed over. Two entries whose names would be
// one file where file names ignore case, or one with the manifest, get one file when they share
// their data, and otherwise the later one a name of its own ("a~7.tex" for record 7), so that
// the folder comes back right from any file system. With Png each texture (".TEX") is written
// as a PNG picture named without the ".TEX" ("GREY.png"), where the picture gives the texture
// back byte for byte (PngKeepsTexture); otherwise as its bytes.
#pragma once

#include "archive/progress.h"
#include "tools/manifest.h"

#include <optional>
#include <string>
#include <vector>

namespace kvb {

struct TExportOptions {
    bool Png = false;
};

struct TExportResult {
    TManifest Manifest;                // as written into the folder
    int32_t Written = 0;               // files
    std::vector<std::string> Warnings; // an entry under another name, a texture as its bytes
    // The message of EUnextractedNames for the entries passed over; nothing when there were none.
    std::optional<std::string> PassedOver;
    std::optional<std::string> Note; // what reading the archive found beside it
};

// Writes the files and then the manifest into folder (made when missing), reading the archive
// front to back once, kept from editors for the time; a manifest already there is removed first,
// so that an export cut short leaves none. Files of the same names are replaced, as extract-all
// replaces them. Refuses, before anything is written, a folder without room for the entries.
// progress hears (files written, files to write).
TExportResult ExportArchive(const std::string &archive, const std::string &folder,
                            const TExportOptions &options = {}, const TProgress &progress = {});

} // namespace kvb
