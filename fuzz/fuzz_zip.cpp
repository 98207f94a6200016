// TZipReader on any bytes, as a mod package from anywhere is opened. A finding is a crash, a
// sanitizer report, an allocation beyond libFuzzer's limit, a run past its time limit, an entry
// read that disagrees with its record, a name the writer would refuse, or entries that do not
// come back the same through the writer.
#include "fuzz_support.h"
#include "platform/errors.h"
#include "platform/stream.h"
#include "tools/zip_file.h"

#include <string>
#include <utility>
#include <vector>

using namespace kvb;
using kvb::fuzz::Check;

namespace {

using Entries = std::vector<std::pair<std::string, std::string>>;

// Every entry the reader finds in path and reads whole; throws as the reader does.
Entries ReadAll(const std::string &path, const TZipLimits &limits)
{
    TFileStream file(path, TFileStream::Mode::OpenRead);
    TZipReader reader(file, "Package P", limits);
    Entries read;
    for (const TZipEntry &entry : reader.Entries()) {
        Check(ZipNameFault(entry.Name).empty(), "an entry's name is one the writer accepts", entry.Name);
        Check(reader.Find(entry.Name) == &entry, "an entry is found by its name", entry.Name);
        try {
            std::string data = reader.Read(entry);
            Check(int64_t(data.size()) == entry.Size, "an entry read has its size", entry.Name);
            read.emplace_back(entry.Name, std::move(data));
        } catch (const EKVBError &) {
            // A damaged entry is refused on its own; the others still read.
        }
    }
    return read;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::Scratch::Get().Clear();
    const std::string path =
        fuzz::WriteInput("in.kvbmod", std::string_view(reinterpret_cast<const char *>(data), size));
    // An entry may inflate to 1032 times its compressed bytes; the limit keeps that within
    // libFuzzer's memory.
    TZipLimits limits;
    limits.MaxEntrySize = int64_t(16) << 20;
    limits.MaxTotalSize = int64_t(64) << 20;
    Entries read;
    try {
        read = ReadAll(path, limits);
    } catch (const EKVBError &) {
        return 0; // refused with a message, as it should be
    }
    TMemoryStream out;
    TZipWriter writer(out);
    for (const auto &[name, bytes] : read)
        writer.Add(name, bytes);
    writer.Finish();
    Check(ReadAll(fuzz::WriteInput("again.kvbmod", out.Bytes()), limits) == read,
          "the entries come back the same through the writer");
    return 0;
}
