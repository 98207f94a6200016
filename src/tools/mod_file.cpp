#include "tools/mod_file.h"

#include "archive/checksum.h"
#include "platform/errors.h"
#include "tools/zip_file.h"

namespace kvb {

namespace {

// A manifest holds about 150 bytes an entry; this is room for far more entries than a zip may
// hold, and keeps a hostile package from filling the memory.
constexpr int64_t kMaxManifestSize = int64_t(64) << 20;

} // namespace

TPackageFile::TPackageFile(const std::string &path, const std::string &kind, bool checkData)
    : path_(path),
      kind_(kind),
      file_(std::make_unique<TFileStream>(path, TFileStream::Mode::OpenRead))
{
    TZipLimits limits;
    limits.MaxEntrySize = INT32_MAX; // no entry of an archive is longer
    zip_ = std::make_unique<TZipReader>(*file_, kind + " " + path, limits);
    const TZipEntry *manifest = zip_->Find(kModManifestName);
    if (!manifest)
        Refuse(std::string("it holds no ") + kModManifestName + ", so it is no package of kvb mod");
    if (manifest->Size > kMaxManifestSize)
        Refuse(std::string("its ") + kModManifestName + " has " + std::to_string(manifest->Size) +
               " bytes, more than any package holds");
    manifest_ = ParseModManifest(zip_->Read(*manifest), kind + " " + path);

    std::vector<const TModEntry *> entries;
    for (const TModEntry &entry : manifest_.Entries)
        entries.push_back(&entry);
    if (manifest_.Validation)
        entries.push_back(&*manifest_.Validation);
    for (const TModEntry *entry : entries) {
        const TZipEntry *found = zip_->Find(entry->File);
        if (!found)
            Refuse("its manifest names the entry " + entry->File + ", which it does not hold");
        if (found->Size != entry->Length)
            Refuse("its entry " + entry->File + " holds " + std::to_string(found->Size) +
                   " bytes, and its manifest says " + std::to_string(entry->Length));
        if (checkData)
            Read(*entry);
    }
}

TPackageFile::~TPackageFile() = default;

std::string TPackageFile::Read(const TModEntry &entry) const
{
    const TZipEntry *found = zip_->Find(entry.File);
    if (!found)
        Refuse("its manifest names the entry " + entry.File + ", which it does not hold");
    std::string data = zip_->Read(*found);
    if (int64_t(data.size()) != entry.Length || Checksum64(data) != entry.Checksum)
        Refuse("its entry " + entry.File + " does not hold the data its manifest's checksum " +
               ChecksumText(entry.Checksum) + " says");
    return data;
}

void TPackageFile::Refuse(const std::string &why) const
{
    throw EKVBError(kind_ + " " + path_ + " cannot be used: " + why);
}

TPackageWriter::TPackageWriter(const std::string &path, TOutputKind kind,
                               const std::vector<const TFileStream *> &sources, bool compress)
    : output_(path, kind, sources),
      zip_(std::make_unique<TZipWriter>(output_.Stream())),
      compress_(compress)
{
}

TPackageWriter::~TPackageWriter() = default;

TModEntry TPackageWriter::Add(std::string_view data)
{
    return Add(ModEntryFile(++added_), data);
}

TModEntry TPackageWriter::Add(const std::string &file, std::string_view data)
{
    zip_->Add(file, data, compress_);
    TModEntry entry;
    entry.File = file;
    entry.Length = int64_t(data.size());
    entry.Checksum = Checksum64(data);
    return entry;
}

void TPackageWriter::Finish(const TModManifest &manifest)
{
    zip_->Add(kModManifestName, ModManifestText(manifest));
    zip_->Finish();
    output_.Commit();
}

} // namespace kvb
