#include "tools/analysis.h"

#include "archive/catalogue.h"
#include "platform/errors.h"
#include "archive/format.h"
#include "archive/info_lines.h"
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

void AnalyseArchive(const TKVBFile &catalogue, const std::string &shownFileName,
                    TArchiveAnalysis &analysis)
{
    if (!LookUpPlainFile(catalogue.FileName()))
        throw EKVBError(kNoFileInformationMessage);
    std::vector<std::string> &lines = analysis.Lines;

    for (auto &line : CatalogueInfoLines(catalogue, shownFileName))
        lines.push_back(std::move(line));
    lines.emplace_back();

    const int64_t headerSize = TocEnd(catalogue.Count());
    analysis.HeaderSize = kFileHeaderSize;
    analysis.TableSize = headerSize - kFileHeaderSize;
    lines.push_back("Section 1: Header: " + std::to_string(headerSize) + " bytes.");

    const int64_t validationSize = catalogue.GetSortedEntry(0).Offset - headerSize;
    analysis.ValidationSize = validationSize;
    analysis.DescriptionSize = int64_t(catalogue.Description().size());
    lines.push_back("Section 2: Error check: " + std::to_string(validationSize) + " bytes.");
    if (validationSize != kStandardValidationSize)
        lines.push_back("     (compressed/corrupt data?)");

    analysis.NameMismatches = NameMismatches(catalogue);
    const size_t mismatches = analysis.NameMismatches.size();
    lines.push_back(std::to_string(mismatches) + " files have mismatched filenames.");
    if (mismatches > 0)
        AddExplanation(lines);

    for (int32_t j = 0; j + 1 < catalogue.EntryCount(); ++j) {
        TKVB_Entry a = catalogue.GetSortedEntry(j);
        TKVB_Entry b = catalogue.GetSortedEntry(j + 1);
        const int64_t end = EntryEnd(a.Offset, a.Length);
        if (end != b.Offset) {
            lines.push_back("There is a data gap between files: ");
            lines.push_back("  " + ShownText(a.Name) + " and " + ShownText(b.Name));
            analysis.Gaps.push_back({catalogue.GetSortedIndex(j), catalogue.GetSortedIndex(j + 1),
                                     a.Name, b.Name, end, b.Offset});
        }
    }
    if (analysis.Gaps.empty())
        lines.push_back("There are no data gaps in the file (OK).");
    else
        AddExplanation(lines);
}

void AnalyseArchive(const TKVBFile &catalogue, const std::string &shownFileName,
                    std::vector<std::string> &lines)
{
    TArchiveAnalysis analysis;
    try {
        AnalyseArchive(catalogue, shownFileName, analysis);
    } catch (...) {
        lines.insert(lines.end(), analysis.Lines.begin(), analysis.Lines.end());
        throw;
    }
    lines.insert(lines.end(), analysis.Lines.begin(), analysis.Lines.end());
}

} // namespace kvb
