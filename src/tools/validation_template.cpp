#include "tools/validation_template.h"

#include "archive/catalogue.h"
#include "archive/format.h"
#include "platform/errors.h"
#include "platform/output_file.h"
#include "platform/paths.h"
#include "platform/stream.h"

#include <algorithm>
#include <vector>

namespace kvb {

namespace {

// The block is copied through a buffer of this size, whatever size the archive claims for it.
constexpr int64_t kCopyChunk = 64 * 1024;

} // namespace

std::string TemplateFileName(int32_t count)
{
    return "KVB." + std::to_string(count);
}

TValidationBlock FindValidationBlock(const TKVBFile &catalogue)
{
    if (catalogue.EntryCount() == 0)
        throw EKVBError("Archive " + catalogue.FileName() +
                        " has no entries, so where its validation block ends is unknown");
    TValidationBlock block{TocEnd(catalogue.Count()), catalogue.GetSortedEntry(0).Offset};
    if (block.End < block.Start)
        throw EKVBError("Archive " + catalogue.FileName() +
                        " has its first entry inside its table of contents");
    return block;
}

std::string WriteValidationTemplate(const TKVBFile &catalogue, const std::string &folder)
{
    const TValidationBlock block = FindValidationBlock(catalogue);
    TFileStream source(catalogue.FileName(), TFileStream::Mode::OpenRead);
    const std::string output = JoinPath(folder, TemplateFileName(catalogue.Count()));
    TOutputFile file(output, TOutputKind::Whole, {&source});
    TFileStream &out = file.Stream();
    std::vector<char> buffer(size_t(std::min(kCopyChunk, block.End - block.Start)));
    for (int64_t position = block.Start; position < block.End;) {
        const int64_t n = std::min<int64_t>(int64_t(buffer.size()), block.End - position);
        if (source.ReadAt(position, buffer.data(), n) != n)
            throw EReadError();
        out.WriteBuffer(buffer.data(), n);
        position += n;
    }
    file.Commit();
    return output;
}

} // namespace kvb
