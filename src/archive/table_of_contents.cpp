#include "archive/table_of_contents.h"

#include "platform/errors.h"
#include "platform/paths.h"
#include "platform/stream.h"

#include <algorithm>
#include <vector>

namespace kvb {

namespace {

// How many table-of-contents records are read per system call.
constexpr int32_t kTocRecordsPerRead = 4096;

} // namespace

EReadError FileEndsEarly(const TFileStream &file, const std::string &reading, const std::string &needer,
                         int64_t needed)
{
    return EReadError("Reading " + reading + " of " + FileNameOf(file.FileName()) +
                      ": the file ends at byte " + std::to_string(file.Size()) + ", but " + needer +
                      " needs bytes up to " + std::to_string(needed));
}

TKVB_FileHeader ReadFileHeader(const TFileStream &file)
{
    char bytes[kFileHeaderSize];
    if (file.ReadAt(0, bytes, kFileHeaderSize) != kFileHeaderSize)
        throw FileEndsEarly(file, "the header", "the header", kFileHeaderSize);
    return DecodeFileHeader(bytes);
}

void ReadTableOfContents(const TFileStream &file, int32_t count,
                         const std::function<void(const TKVB_TocRecord &record)> &visit)
{
    if (count <= 0)
        return;
    // A hostile count must not size anything before the file shows it holds the records.
    if (const int64_t size = file.Size(); size < TocEnd(count)) {
        const int64_t cut = (size - kFileHeaderSize) / kTocRecordSize; // the first record cut
        throw FileEndsEarly(file, "the table of contents", "record " + std::to_string(cut + 1),
                            TocEnd(cut + 1));
    }
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
