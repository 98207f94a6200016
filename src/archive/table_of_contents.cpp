#include "archive/table_of_contents.h"

#include "platform/errors.h"
#include "platform/stream.h"

#include <algorithm>
#include <vector>

namespace kvb {

namespace {

// How many table-of-contents records are read per system call.
constexpr int32_t kTocRecordsPerRead = 4096;

} // namespace

void ReadTableOfContents(const TFileStream &file, int32_t count,
                         const std::function<void(const TKVB_TocRecord &record)> &visit)
{
    if (count <= 0)
        return;
    // A hostile count must not size anything before the file shows it holds the records.
    if (file.Size() < TocEnd(count))
        throw EReadError();
    std::vector<char> chunk(size_t(kTocRecordSize) * std::min(count, kTocRecordsPerRead));
    for (int32_t k = 0; k < count;) {
        const int32_t records = std::min(count - k, kTocRecordsPerRead);
        const int64_t bytes = int64_t(kTocRecordSize) * records;
        if (file.ReadAt(TocRecordPosition(k), chunk.data(), bytes) != bytes)
            throw EReadError();
        for (int32_t r = 0; r < records; ++r, ++k)
            visit(DecodeTocRecord(chunk.data() + size_t(kTocRecordSize) * r));
    }
}

} // namespace kvb
