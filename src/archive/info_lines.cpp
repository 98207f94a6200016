#include "archive/info_lines.h"

#include "archive/catalogue.h"
#include "archive/raw_archive.h"
#include "archive/text.h"

namespace kvb {

std::string ShownText(const std::string &bytes)
{
    return PrintableName(bytes.substr(0, bytes.find('\0')));
}

std::vector<std::string> CatalogueInfoLines(const TKVBFile &catalogue, const std::string &shownFileName)
{
    return {
        "File: " + shownFileName,
        "# of files in archive: " + std::to_string(catalogue.Count()),
        "Creator: " + ShownText(catalogue.Creator()),
        "Description: " + ShownText(catalogue.Description()),
    };
}

std::vector<std::string> RawCountLines(const TRawKVBFile &file)
{
    return {
        "File has " + std::to_string(file.TocCount()) + " active files.",
        "File has " + std::to_string(file.DataCount()) + " data files in it.",
    };
}

std::vector<std::string> RawInfoLines(const TRawKVBFile &file, const std::string &shownFileName)
{
    std::vector<std::string> lines = {
        "File: " + shownFileName,
        "Creator: " + ShownText(file.Creator()),
        "Description: " + ShownText(file.Description()),
    };
    for (auto &line : RawCountLines(file))
        lines.push_back(std::move(line));
    return lines;
}

} // namespace kvb
