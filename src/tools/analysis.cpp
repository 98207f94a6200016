#include "tools/analysis.h"

#include "archive/catalogue.h"
#include "platform/errors.h"
#include "archive/format.h"
#include "archive/info_lines.h"
#include "platform/listing.h"

namespace kvb {

namespace {

void AddExplanation(std::vector<std::string> &lines)
{
    lines.push_back("     (these will not necessarily stop the KVB");
    lines.push_back("      from working. However, it indicates a");
    lines.push_back("      corrupt or badly constructed file.)");
}

} // namespace

void AnalyseArchive(const TKVBFile &catalogue, const std::string &shownFileName,
                    std::vector<std::string> &lines)
{
    if (!LookUpPlainFile(catalogue.FileName()))
        throw EKVBError(kNoFileInformationMessage);

    for (auto &line : CatalogueInfoLines(catalogue, shownFileName))
        lines.push_back(std::move(line));
    lines.emplace_back();

    const int64_t headerSize = TocEnd(catalogue.Count());
    lines.push_back("Section 1: Header: " + std::to_string(headerSize) + " bytes.");

    const int64_t validationSize = catalogue.GetSortedEntry(0).Offset - headerSize;
    lines.push_back("Section 2: Error check: " + std::to_string(validationSize) + " bytes.");
    if (validationSize != kStandardValidationSize)
        lines.push_back("     (compressed/corrupt data?)");

    int32_t mismatches = 0;
    for (int32_t i = 0; i < catalogue.EntryCount(); ++i)
        mismatches += catalogue.GetEntry(i).NameMismatch ? 1 : 0;
    lines.push_back(std::to_string(mismatches) + " files have mismatched filenames.");
    if (mismatches > 0)
        AddExplanation(lines);

    bool noGap = true;
    for (int32_t j = 0; j + 1 < catalogue.EntryCount(); ++j) {
        TKVB_Entry a = catalogue.GetSortedEntry(j);
        TKVB_Entry b = catalogue.GetSortedEntry(j + 1);
        if (EntryEnd(a.Offset, a.Length) != b.Offset) {
            lines.push_back("There is a data gap between files: ");
            lines.push_back("  " + ShownText(a.Name) + " and " + ShownText(b.Name));
            noGap = false;
        }
    }
    if (noGap)
        lines.push_back("There are no data gaps in the file (OK).");
    else
        AddExplanation(lines);
}

} // namespace kvb
