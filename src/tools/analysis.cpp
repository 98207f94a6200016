#include "tools/analysis.h"

#include "archive/catalogue.h"
#include "archive/format.h"
#include "archive/info_lines.h"
#include "platform/errors.h"
#include "platform/listing.h"
#include "platform/stream.h"

namespace kvb {

namespace {

void AddExplanation(std::vector<std::string> &lines)
{
    lines.push_back("     (these will not necessarily stop the KVB");
    lines.push_back("      from working. However, it indicates a");
    lines.push_back("      corrupt or badly constructed file.)");
}

// The catalogue keeps only whether the names differ; the data header's own name is read again,
// for the few entries where they do.
std::vector<TNameMismatch> NameMismatches(const TKVBFile &catalogue)
{
    std::vector<TNameMismatch> found;
    std::optional<TFileStream> file;
    for (int32_t i = 0; i < catalogue.EntryCount(); ++i) {
        const TKVB_Entry entry = catalogue.GetEntry(i);
        if (!entry.NameMismatch)
            continue;
        if (!file)
            file.emplace(catalogue.FileName(), TFileStream::Mode::OpenRead);
        char header[kDataHeaderSize];
        if (file->ReadAt(entry.Offset, header, kDataHeaderSize) != kDataHeaderSize)
            throw EReadError();
        found.push_back({i, entry.Name, NameFromField(DecodeDataHeader(header).Name)});
    }
    return found;
}

} // namespace

std::optional<TValidationBlock> FindValidationBlock(const TKVBFile &catalogue)
{
    if (catalogue.EntryCount() == 0)
        return std::nullopt;
    return TValidationBlock{TocEnd(catalogue.Count()), catalogue.GetSortedEntry(0).Offset};
}

TArchiveAnalysis AnalyseArchive(const TKVBFile &catalogue, const std::string &shownFileName)
{
    // The figures first.
    if (!LookUpPlainFile(catalogue.FileName()))
        throw EKVBError(kNoFileInformationMessage);
    TArchiveAnalysis analysis;
    const int64_t headerSize = TocEnd(catalogue.Count());
    analysis.HeaderSize = kFileHeaderSize;
    analysis.TableSize = headerSize - kFileHeaderSize;
    const std::optional<TValidationBlock> block = FindValidationBlock(catalogue);
    if (block) {
        analysis.ValidationSize = block->Size();
        analysis.DescriptionSize = int64_t(catalogue.Description().size());
    }
    analysis.NameMismatches = NameMismatches(catalogue);
    for (int32_t j = 0; j + 1 < catalogue.EntryCount(); ++j) {
        const TKVB_Entry a = catalogue.GetSortedEntry(j);
        const TKVB_Entry b = catalogue.GetSortedEntry(j + 1);
        if (const int64_t end = EntryEnd(a.Offset, a.Length); end != b.Offset)
            analysis.Gaps.push_back({catalogue.GetSortedIndex(j), catalogue.GetSortedIndex(j + 1), a.Name,
                                     b.Name, end, b.Offset});
    }

    // Then the report: the info lines, the two sections, the mismatches, the gaps.
    std::vector<std::string> &lines = analysis.Lines;
    lines = CatalogueInfoLines(catalogue, shownFileName);
    lines.emplace_back();
    lines.push_back("Section 1: Header: " + std::to_string(headerSize) + " bytes.");
    if (!analysis.ValidationSize) {
        lines.push_back("Section 2: Error check: unknown, as the archive has no entries to end it.");
    } else {
        lines.push_back("Section 2: Error check: " + std::to_string(*analysis.ValidationSize) +
                        " bytes.");
        if (*analysis.ValidationSize != kStandardValidationSize)
            lines.push_back("     (compressed/corrupt data?)");
    }
    lines.push_back(std::to_string(analysis.NameMismatches.size()) + " files have mismatched filenames.");
    if (!analysis.NameMismatches.empty())
        AddExplanation(lines);
    for (const TDataGap &gap : analysis.Gaps) {
        lines.push_back("There is a data gap between files: ");
        lines.push_back("  " + ShownText(gap.Name) + " and " + ShownText(gap.NextName));
    }
    if (analysis.Gaps.empty())
        lines.push_back("There are no data gaps in the file (OK).");
    else
        AddExplanation(lines);
    return analysis;
}

} // namespace kvb
