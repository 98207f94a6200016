// The analysis report on any bytes that the catalogue reads with lengths. A finding is a crash,
// a sanitizer report, or a report that differs from one worked out here straight from the
// bytes: section sizes, mismatch count and every gap between neighbours in data order.
#include "archive/catalogue.h"
#include "archive/format.h"
#include "archive/info_lines.h"
#include "fuzz_support.h"
#include "platform/errors.h"
#include "tools/analysis.h"

#include <algorithm>
#include <memory>
#include <numeric>
#include <string>
#include <string_view>
#include <vector>

using namespace kvb;
using kvb::fuzz::Check;

namespace {

const std::string kName = "archive.kvb";

struct Entry {
    std::string name;
    int32_t offset;
    int32_t length;
    bool mismatch;
};

std::vector<std::string> ExpectedReport(const TKVBFile &catalogue, std::string_view bytes)
{
    const int32_t n = std::max(catalogue.Count(), 0);
    std::vector<Entry> entries;
    for (int32_t i = 0; i < n; ++i) {
        TKVB_TocRecord r = DecodeTocRecord(bytes.data() + kFileHeaderSize + kTocRecordSize * i);
        TKVB_DataHeader h = DecodeDataHeader(bytes.data() + r.Offset);
        std::string name = NameFromField(r.Name);
        entries.push_back({name, r.Offset, h.Length, !SameName(name, NameFromField(h.Name))});
    }
    // Data order: by offset, a later record before an earlier one at the same offset.
    std::vector<size_t> order(entries.size());
    std::iota(order.rbegin(), order.rend(), 0);
    std::stable_sort(order.begin(), order.end(),
                     [&](size_t a, size_t b) { return entries[a].offset < entries[b].offset; });

    std::vector<std::string> lines = CatalogueInfoLines(catalogue, kName);
    lines.emplace_back();
    const int64_t header = kFileHeaderSize + int64_t(kTocRecordSize) * catalogue.Count();
    lines.push_back("Section 1: Header: " + std::to_string(header) + " bytes.");
    if (entries.empty()) {
        lines.push_back("Section 2: Error check: unknown, as the archive has no entries to end it.");
    } else {
        const int64_t validation = entries[order[0]].offset - header;
        lines.push_back("Section 2: Error check: " + std::to_string(validation) + " bytes.");
        if (validation != 3602)
            lines.push_back("     (compressed/corrupt data?)");
    }
    const auto explanation = {std::string("     (these will not necessarily stop the KVB"),
                              std::string("      from working. However, it indicates a"),
                              std::string("      corrupt or badly constructed file.)")};
    const auto mismatches =
        std::count_if(entries.begin(), entries.end(), [](const Entry &e) { return e.mismatch; });
    lines.push_back(std::to_string(mismatches) + " files have mismatched filenames.");
    if (mismatches > 0)
        lines.insert(lines.end(), explanation);
    bool gap = false;
    for (size_t j = 0; j + 1 < order.size(); ++j) {
        const Entry &a = entries[order[j]], &b = entries[order[j + 1]];
        if (int64_t(a.offset) + 24 + a.length != b.offset) {
            lines.push_back("There is a data gap between files: ");
            lines.push_back("  " + ShownText(a.name) + " and " + ShownText(b.name));
            gap = true;
        }
    }
    if (gap)
        lines.insert(lines.end(), explanation);
    else
        lines.push_back("There are no data gaps in the file (OK).");
    return lines;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::string_view bytes(reinterpret_cast<const char *>(data), size);
    fuzz::Scratch::Get().Clear();
    const std::string path = fuzz::WriteInput(kName, bytes);

    std::unique_ptr<TKVBFile> catalogue;
    try {
        catalogue = std::make_unique<TKVBFile>(path, true);
    } catch (const EKVBError &) {
        return 0; // the catalogue target's business
    }
    const std::vector<std::string> lines = AnalyseArchive(*catalogue, kName).Lines;
    Check(lines == ExpectedReport(*catalogue, bytes), "the report matches the bytes");
    return 0;
}
