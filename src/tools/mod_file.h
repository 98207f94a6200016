// A mod or undo package as a file: a zip of its entries and its manifest, written through the
// safe writer and read without trusting anything it says.
#pragma once

#include "platform/output_file.h"
#include "tools/mod_manifest.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace kvb {

class TZipReader;
class TZipWriter;

// A package opened and its manifest checked against its zip: every entry the manifest names is
// there with the manifest's size. kind names it in messages ("Mod package", "Undo package").
class TPackageFile {
public:
    // With checkData, also every entry's data against its checksum. Raises EKVBError naming the
    // package for what ReadModPackage refuses.
    TPackageFile(const std::string &path, const std::string &kind, bool checkData);
    ~TPackageFile();

    const TModManifest &Manifest() const { return manifest_; }
    const TFileStream &Stream() const { return *file_; }
    const std::string &Path() const { return path_; }
    // The data of entry, checked against the manifest's length and checksum.
    std::string Read(const TModEntry &entry) const;
    // "Mod package P cannot be used: why".
    [[noreturn]] void Refuse(const std::string &why) const;

private:
    std::string path_, kind_;
    std::unique_ptr<TFileStream> file_;
    std::unique_ptr<TZipReader> zip_;
    TModManifest manifest_;
};

// Writes a package: its entries one at a time as they are given, then its manifest; the file
// appears only at Finish, complete.
class TPackageWriter {
public:
    // compress: deflate the entries (a package to share), or store them (an undo package, read
    // back only here, where time counts more than room).
    TPackageWriter(const std::string &path, TOutputKind kind,
                   const std::vector<const TFileStream *> &sources, bool compress = true);
    ~TPackageWriter();

    // The data as the package's next entry ("entries/<n>"), and what the manifest says of it.
    TModEntry Add(std::string_view data);
    // The data under a name of its own (an undo package's validation block).
    TModEntry Add(const std::string &file, std::string_view data);
    // Writes the manifest and puts the package in place.
    void Finish(const TModManifest &manifest);

private:
    TOutputFile output_;
    std::unique_ptr<TZipWriter> zip_;
    size_t added_ = 0;
    bool compress_ = true;
};

} // namespace kvb
