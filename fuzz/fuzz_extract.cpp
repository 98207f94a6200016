// ExtractEntry on the entries of any bytes, as "Extract all" calls it: one shared source stream,
// each entry into a scratch folder under its own name. Both copy paths run (a file source, which
// the kernel copies, and a memory source, copied through a buffer), with lengths unknown and
// known. A finding is a crash, a sanitizer report, or an output file that is not exactly the
// bytes the archive holds for the entry: all of them, or on a read error those that were there.
#include "archive/catalogue.h"
#include "archive/extract.h"
#include "archive/format.h"
#include "archive/text.h"
#include "fuzz_support.h"
#include "platform/errors.h"
#include "platform/stream.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>

using namespace kvb;
using kvb::fuzz::Check;

namespace {

// Enough entries to reach every shape of archive without spending the run on one input.
constexpr int32_t kMaxEntries = 32;

enum class Outcome { Copied, ReadError, Refused };

struct Expected {
    Outcome outcome;
    bool createsFile = false; // failures before the copy leave no output file
    int64_t start = 0;        // first data byte
    int64_t length = 0;       // bytes the entry claims
};

Expected Expect(const TKVB_Entry &e, std::string_view archive)
{
    const auto size = int64_t(archive.size());
    int64_t length = e.Length;
    if (e.Length == -1) {
        if (e.Offset < 0 || e.Offset + int64_t(kDataHeaderSize) > size)
            return {Outcome::ReadError, false};
        length = GetInt32LE(archive.data() + e.Offset + 20);
    }
    const int64_t start = int64_t(e.Offset) + kDataHeaderSize;
    if (length < 0)
        return {Outcome::Refused, false};
    return {start + length <= size ? Outcome::Copied : Outcome::ReadError, true, start, length};
}

void ExtractOne(TStream &source, const TKVB_Entry &entry, std::string_view archive,
                const std::string &output)
{
    const Expected expected = Expect(entry, archive);
    std::remove(output.c_str());
    Outcome outcome = Outcome::Copied;
    try {
        ExtractEntry(source, entry, output);
    } catch (const EReadError &) {
        outcome = Outcome::ReadError;
    } catch (const EKVBError &) {
        outcome = Outcome::Refused;
    }
    Check(outcome == expected.outcome, "the entry is copied, or fails as its bytes say",
          std::to_string(int(outcome)) + " for " + std::to_string(int(expected.outcome)));

    std::string written;
    const bool exists = fuzz::ReadWholeFile(output, written);
    if (!expected.createsFile) {
        Check(!exists, "no output file when the header is unreadable or its length corrupt");
        return;
    }
    const auto available = std::max<int64_t>(0, int64_t(archive.size()) - expected.start);
    const std::string_view want =
        archive.substr(size_t(std::min(expected.start, int64_t(archive.size()))),
                       size_t(std::min(expected.length, available)));
    Check(exists && written == want, "the output holds the entry's bytes, or those there were");
    if (outcome == Outcome::Copied)
        Check(source.Position() == expected.start + expected.length,
              "the source stands after the entry's data");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::string_view archive(reinterpret_cast<const char *>(data), size);
    auto &scratch = fuzz::Scratch::Get();
    scratch.Clear();
    const std::string path = fuzz::WriteInput("archive.kvb", archive);
    // Outputs go to a folder of their own, so that no entry name can replace the archive.
    const std::string folder = scratch.Path("out");
    std::filesystem::create_directory(folder);

    for (bool fullRead : {false, true}) {
        try {
            TKVBFile catalogue(path, fullRead);
            TFileStream file(path, TFileStream::Mode::OpenRead);
            TMemoryStream memory{std::string(archive)};
            for (int32_t i = 0; i < std::min(catalogue.EntryCount(), kMaxEntries); ++i) {
                TKVB_Entry entry = catalogue.GetEntry(i);
                std::string name = IsSafeEntryName(entry.Name) ? Cp1252ToUtf8(entry.Name) : "out";
                ExtractOne(file, entry, archive, folder + "/" + name);
                ExtractOne(memory, entry, archive, folder + "/" + name);
            }
        } catch (const EKVBError &) {
            // A catalogue refusing hostile bytes is the catalogue target's business.
        }
    }
    return 0;
}
