#include "tools/validation_template.h"

#include "archive/catalogue.h"
#include "archive/format.h"
#include "platform/errors.h"
#include "platform/output_file.h"
#include "platform/paths.h"
#include "platform/stream.h"
#include "tools/analysis.h"

namespace kvb {

std::string TemplateFileName(int32_t count)
{
    return "KVB." + std::to_string(count);
}

std::string WriteValidationTemplate(const TKVBFile &catalogue, const std::string &folder)
{
    const std::optional<TValidationBlock> block = FindValidationBlock(catalogue);
    if (!block)
        throw EKVBError("Archive " + catalogue.FileName() +
                        " has no entries, so where its validation block ends is unknown");
    if (block->Size() < 0)
        throw EKVBError("Archive " + catalogue.FileName() +
                        " has its first entry inside its table of contents");
    TFileStream source(catalogue.FileName(), TFileStream::Mode::OpenRead);
    const std::string output = JoinPath(folder, TemplateFileName(catalogue.Count()));
    TOutputFile file(output, TOutputKind::Whole, {&source});
    CopyFileRange(source, block->Start, file.Stream(), 0, block->Size());
    file.Commit();
    return output;
}

} // namespace kvb
