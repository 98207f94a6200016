// kvb diff: two archives compared entry by entry, answering as cmp does.
#include "cli/application.h"
#include "cli/commands.h"
#include "cli/json_output.h"

#include "archive/checksum.h"
#include "archive/text.h"
#include "tools/diff.h"

#include <iostream>
#include <memory>

namespace kvb::cli {

namespace {

// Descriptions are a few bytes; a damaged archive's may be the rest of the file.
constexpr size_t kShownDescription = 80;

std::string Quoted(const std::string &bytes)
{
    if (bytes.size() <= kShownDescription)
        return '"' + PrintableName(bytes) + '"';
    return '"' + PrintableName(bytes.substr(0, kShownDescription)) + "\"... (" +
           std::to_string(bytes.size()) + " bytes)";
}

std::string EntryText(int32_t index, const std::string &name)
{
    return "entry " + std::to_string(index + 1) + " \"" + PrintableName(name) + '"';
}

std::string BytesText(int64_t size, std::optional<uint64_t> checksum)
{
    return std::to_string(size) + " bytes" + (checksum ? ", checksum " + ChecksumText(*checksum) : "");
}

void PrintDiff(const TArchiveDiff &diff, const std::string &a, const std::string &b)
{
    for (const TDiffEntry &entry : diff.OnlyInA)
        std::cout << "only in " << a << ": " << EntryText(entry.Index, entry.Name) << ", "
                  << BytesText(entry.Length, std::nullopt) << '\n';
    for (const TDiffEntry &entry : diff.OnlyInB)
        std::cout << "only in " << b << ": " << EntryText(entry.Index, entry.Name) << ", "
                  << BytesText(entry.Length, std::nullopt) << '\n';
    for (const TDiffChange &change : diff.Changed)
        std::cout << "differs: " << EntryText(change.IndexA, change.Name) << ", "
                  << BytesText(change.LengthA, change.ChecksumA) << " in " << a << "; entry "
                  << change.IndexB + 1 << ", " << BytesText(change.LengthB, change.ChecksumB) << " in "
                  << b << (change.ByNumber ? " (matched by number)" : "") << '\n';
    if (diff.CreatorA != diff.CreatorB)
        std::cout << "header: creator " << Quoted(diff.CreatorA) << " in " << a << ", "
                  << Quoted(diff.CreatorB) << " in " << b << '\n';
    if (diff.CountA != diff.CountB)
        std::cout << "header: count " << diff.CountA << " in " << a << ", " << diff.CountB << " in " << b
                  << '\n';
    if (diff.ValidationDiffers())
        std::cout << "validation block: " << BytesText(diff.ValidationA.Size, diff.ValidationA.Checksum)
                  << " in " << a << "; " << BytesText(diff.ValidationB.Size, diff.ValidationB.Checksum)
                  << " in " << b << '\n';
    if (diff.DescriptionDiffers())
        std::cout << "description: " << Quoted(diff.DescriptionA) << " in " << a << ", "
                  << Quoted(diff.DescriptionB) << " in " << b << '\n';
}

ordered_json EntriesJson(const std::vector<TDiffEntry> &entries)
{
    ordered_json out = ordered_json::array();
    for (const TDiffEntry &entry : entries) {
        ordered_json item;
        item["number"] = entry.Index + 1;
        PutArchiveText(item, "name", entry.Name);
        item["length"] = entry.Length;
        out.push_back(item);
    }
    return out;
}

ordered_json DiffJson(const TArchiveDiff &diff, const std::string &a, const std::string &b)
{
    const auto checksum = [](std::optional<uint64_t> value) {
        return value ? ordered_json(ChecksumText(*value)) : ordered_json(nullptr);
    };
    ordered_json out;
    out["a"] = a;
    out["b"] = b;
    out["same"] = diff.Same();
    out["same_file"] = diff.SameFile;
    out["matched"] = diff.Matched;
    out["only_in_a"] = EntriesJson(diff.OnlyInA);
    out["only_in_b"] = EntriesJson(diff.OnlyInB);
    out["changed"] = ordered_json::array();
    for (const TDiffChange &change : diff.Changed) {
        ordered_json item;
        PutArchiveText(item, "name", change.Name);
        item["number_a"] = change.IndexA + 1;
        item["number_b"] = change.IndexB + 1;
        item["by_number"] = change.ByNumber;
        item["length_a"] = change.LengthA;
        item["length_b"] = change.LengthB;
        item["checksum_a"] = checksum(change.ChecksumA);
        item["checksum_b"] = checksum(change.ChecksumB);
        out["changed"].push_back(item);
    }
    ordered_json header;
    header["differs"] = diff.HeaderDiffers();
    header["count_a"] = diff.CountA;
    header["count_b"] = diff.CountB;
    PutArchiveText(header, "creator_a", diff.CreatorA);
    PutArchiveText(header, "creator_b", diff.CreatorB);
    out["header"] = header;
    out["validation"] = {{"differs", diff.ValidationDiffers()},
                         {"size_a", diff.ValidationA.Size},
                         {"checksum_a", ChecksumText(diff.ValidationA.Checksum)},
                         {"size_b", diff.ValidationB.Size},
                         {"checksum_b", ChecksumText(diff.ValidationB.Checksum)}};
    ordered_json description;
    description["differs"] = diff.DescriptionDiffers();
    PutArchiveText(description, "description_a", diff.DescriptionA);
    PutArchiveText(description, "description_b", diff.DescriptionB);
    out["description"] = description;
    return out;
}

void Diff(const std::string &a, const std::string &b, bool json)
{
    const TArchiveDiff diff = DiffArchives(a, b);
    for (const std::string &note : diff.Notes)
        std::cerr << "kvb: " << note << '\n';
    if (json)
        PrintJson(DiffJson(diff, a, b));
    else
        PrintDiff(diff, a, b);
    if (!diff.Same())
        throw TAnswer{kExitDifferent};
}

} // namespace

void RegisterDiffCommand(CLI::App &app)
{
    struct Args {
        std::string a, b;
        bool json = false;
    };
    auto args = std::make_shared<Args>();
    auto *diff = app.add_subcommand(
        "diff", "Compare two archives entry by entry; exit status 0 same, 1 different, 2 trouble");
    diff->footer("Lists the entries only in A, only in B, and in both with other data (length, and a "
                 "checksum where the lengths agree), then where the header, the validation block and "
                 "the description differ; nothing when the archives hold the same entries and bytes. "
                 "Entries are matched by name, and by number where a name occurs more than once (the "
                 "first record of that name in A with the first in B, and so on; the line says so). "
                 "Record order and where the data lies are not compared. The exit status is that of "
                 "cmp: 0 the same, 1 different, 2 trouble (a file that cannot be read or is no archive, "
                 "a usage error).");
    diff->add_option("A", args->a, "The first archive (.KVB)")->required();
    diff->add_option("B", args->b, "The second archive (.KVB)")->required();
    diff->add_flag("--json", args->json, "One JSON object with the same figures");
    diff->callback([args] { Diff(args->a, args->b, args->json); });
}

} // namespace kvb::cli
