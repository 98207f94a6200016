// kvb info, list, extract, extract-all, raw, link, append, truncate, template.
#include "cli/commands.h"
#include "cli/json_output.h"

#include "archive/catalogue.h"
#include "archive/extract.h"
#include "archive/format.h"
#include "archive/info_lines.h"
#include "archive/raw_archive.h"
#include "archive/text.h"
#include "platform/errors.h"
#include "platform/folders.h"
#include "platform/paths.h"
#include "platform/standard_output.h"
#include "platform/stream.h"
#include "tools/validation_template.h"

#include <algorithm>
#include <iostream>
#include <memory>
#include <optional>
#include <vector>

namespace kvb::cli {

namespace {

void PrintLines(const std::vector<std::string> &lines)
{
    for (const auto &line : lines)
        std::cout << line << '\n';
}

// Archive texts end at their first NUL, as the text output shows them; the hex keeps it all.
void PutFieldText(ordered_json &object, const std::string &key, const std::string &bytes)
{
    object[key] = Cp1252ToUtf8(bytes.substr(0, bytes.find('\0')));
    object[key + "_hex"] = HexBytes(bytes);
}

void Info(const std::string &archive, bool lengths, bool json)
{
    TKVBFile catalogue(archive, lengths);
    ShowNote(catalogue);
    if (!json) {
        PrintLines(CatalogueInfoLines(catalogue, ShownFileName(archive)));
        return;
    }
    ordered_json out;
    out["file"] = archive;
    out["count"] = catalogue.Count();
    PutFieldText(out, "creator", catalogue.Creator());
    // Read only with the lengths, as the text output leaves it empty without them.
    PutFieldText(out, "description", catalogue.Description());
    PrintJson(out);
}

ordered_json EntryJson(int32_t index, const TKVB_Entry &e)
{
    ordered_json entry;
    entry["number"] = index + 1;
    PutArchiveText(entry, "name", e.Name);
    entry["offset"] = e.Offset;
    entry["length"] = e.Length;
    entry["name_mismatch"] = e.NameMismatch;
    return entry;
}

void List(const std::string &archive, bool lengths, bool sorted, bool json)
{
    TKVBFile catalogue(archive, lengths);
    ShowNote(catalogue);
    if (json) {
        ordered_json out;
        out["file"] = archive;
        out["entries"] = ordered_json::array();
        for (int32_t i = 0; i < catalogue.EntryCount(); ++i) {
            int32_t index = sorted ? catalogue.GetSortedIndex(i) : i;
            out["entries"].push_back(EntryJson(index, catalogue.GetEntry(index)));
        }
        PrintJson(out);
        return;
    }
    std::string out;
    for (int32_t i = 0; i < catalogue.EntryCount(); ++i) {
        int32_t index = sorted ? catalogue.GetSortedIndex(i) : i;
        TKVB_Entry e = catalogue.GetEntry(index);
        out += std::to_string(index + 1) + '\t' + PrintableName(e.Name) + '\t' +
               std::to_string(e.Offset) + '\t' + std::to_string(e.Length) + '\t' +
               (e.NameMismatch ? "1" : "0") + '\n';
    }
    std::cout << out;
}

void Extract(const std::string &archive, const std::string &which, const std::string &output)
{
    TKVBFile catalogue(archive, false);
    ShowNote(catalogue);
    TKVB_Entry entry = catalogue.GetEntry(EntryIndex(catalogue, which, "extract"));
    TFileStream source(catalogue.FileName(), TFileStream::Mode::OpenRead);
    if (output == "-") {
        TStandardOutputStream out;
        ExtractEntry(source, entry, out);
    } else
        ExtractEntry(source, entry, output);
}

void ExtractAllInto(const std::string &archive, const std::string &folder,
                    const std::optional<std::string> &pattern)
{
    // With the lengths, read in few large reads, the room needed is known without reading each
    // entry's header apart, and no entry's header is read again while it is copied.
    TKVBFile catalogue(archive, true);
    ShowNote(catalogue);
    // Typed in UTF-8, compared with the stored Windows-1252 bytes.
    const std::string stored = pattern ? Utf8ToCp1252(*pattern).value_or(*pattern) : "";
    const auto matches = [&stored](const TKVB_Entry &entry) {
        return MatchesPattern(entry.Name, stored);
    };
    // A pattern that matches nothing is most likely mistyped: say so before any folder is made,
    // as an empty folder and success would hide it.
    if (pattern) {
        bool any = false;
        for (int32_t i = 0; i < catalogue.EntryCount() && !any; ++i)
            any = matches(catalogue.GetEntry(i));
        if (!any)
            throw EKVBError("No entry of " + archive + " matches \"" + *pattern +
                            "\"; nothing was extracted");
    }
    if (const std::optional<std::string> why = CreateFolders(folder))
        throw EKVBError("Cannot create folder " + folder + ": " + *why);
    if (!pattern)
        ExtractAll(catalogue, folder);
    else
        ExtractAll(catalogue, folder, {}, matches);
}

// Opens the archive for editing and says on stderr what opening did about an edit that an
// earlier run did not finish.
std::unique_ptr<TRawKVBFile> OpenEditor(const std::string &archive)
{
    auto file = std::make_unique<TRawKVBFile>(archive);
    if (file->RecoveryNote())
        std::cerr << "kvb: " << *file->RecoveryNote() << '\n';
    return file;
}

// Lines gathered and written a block at a time: a walk can find millions of entries, and their
// text must not all be held at once. Once standard output fails, the walk stops with the error.
class TLineWriter {
public:
    ~TLineWriter() { std::cout << out_; }
    std::string &operator*() { return out_; }
    void LineDone()
    {
        if (out_.size() >= 64 * 1024) {
            std::cout << out_;
            out_.clear();
            if (!std::cout)
                FinishStandardOutput();
        }
    }

private:
    std::string out_;
};

// The raw view as one JSON object, written a record at a time like the text.
void RawJson(const TRawKVBFile &file, const std::string &archive)
{
    ordered_json head;
    head["file"] = archive;
    PutFieldText(head, "creator", file.Creator());
    PutFieldText(head, "description", file.Description());
    head["toc_count"] = file.TocCount();
    head["data_count"] = file.DataCount();
    std::string text = head.dump(-1, ' ', false, ordered_json::error_handler_t::replace);
    text.pop_back(); // the closing brace: the record arrays follow
    TLineWriter lines;
    std::string &out = *lines;
    out = text + ",\"toc\":[";
    for (int32_t t = 0; t < file.TocCount(); ++t) {
        TKVB_TocRecord r = file.GetTocRecord(t);
        ordered_json record;
        record["number"] = t + 1;
        PutArchiveText(record, "name", NameFromField(r.Name));
        record["offset"] = r.Offset;
        record["reserved1"] = r.Reserved1;
        record["reserved2"] = r.Reserved2;
        const int32_t j = file.FindDataRecordAt(r.Offset);
        record["data_number"] = j >= 0 ? ordered_json(j + 1) : ordered_json(nullptr);
        out += (t ? "," : "") + record.dump(-1, ' ', false, ordered_json::error_handler_t::replace);
        lines.LineDone();
    }
    out += "],\"data\":[";
    for (int32_t j = 0; j < file.DataCount(); ++j) {
        TKVB_DataRecord d = file.GetDataRecord(j);
        ordered_json record;
        record["number"] = j + 1;
        PutArchiveText(record, "name", NameFromField(d.Name));
        record["position"] = d.Position;
        record["length"] = d.Length;
        out += (j ? "," : "") + record.dump(-1, ' ', false, ordered_json::error_handler_t::replace);
        lines.LineDone();
    }
    out += "]}\n";
}

void Raw(const std::string &archive, bool json)
{
    std::unique_ptr<TRawKVBFile> editor = OpenEditor(archive);
    const TRawKVBFile &file = *editor;
    if (json) {
        RawJson(file, archive);
        return;
    }
    PrintLines(RawInfoLines(file, ShownFileName(archive)));
    TLineWriter lines;
    std::string &out = *lines;
    for (int32_t t = 0; t < file.TocCount(); ++t) {
        TKVB_TocRecord r = file.GetTocRecord(t);
        std::string linked;
        if (int32_t j = file.FindDataRecordAt(r.Offset); j >= 0)
            linked = LinkedDataText(j + 1, NameFromField(file.GetDataRecord(j).Name));
        out += "toc\t" + std::to_string(t + 1) + '\t' + PrintableName(NameFromField(r.Name)) + '\t' +
               std::to_string(r.Offset) + '\t' + std::to_string(r.Reserved1) + '\t' +
               std::to_string(r.Reserved2) + '\t' + PrintableName(linked) + '\n';
        lines.LineDone();
    }
    for (int32_t j = 0; j < file.DataCount(); ++j) {
        TKVB_DataRecord d = file.GetDataRecord(j);
        out += "data\t" + std::to_string(j + 1) + '\t' + PrintableName(NameFromField(d.Name)) + '\t' +
               std::to_string(d.Position) + '\t' + std::to_string(d.Length) + '\n';
        lines.LineDone();
    }
}

void Link(const std::string &archive, const std::string &tocNumber, const std::string &dataNumber)
{
    std::unique_ptr<TRawKVBFile> editor = OpenEditor(archive);
    TRawKVBFile &file = *editor;
    int32_t t = RecordIndex(tocNumber, file.TocCount(), "table-of-contents record");
    int32_t h = RecordIndex(dataNumber, file.DataCount(), "data record");
    file.LinkTocRecord(t, h);
    TKVB_DataRecord d = file.GetDataRecord(h);
    std::cout << "Record " << t + 1 << " -> "
              << PrintableName(LinkedDataText(h + 1, NameFromField(d.Name))) << '\n';
}

void Append(const std::string &archive, const std::string &input)
{
    std::unique_ptr<TRawKVBFile> editor = OpenEditor(archive);
    TRawKVBFile &file = *editor;
    file.AppendData(ReadFileForAppend(input).Record());
    TKVB_DataRecord added = file.GetDataRecord(file.DataCount() - 1);
    std::cout << "Appended " << PrintableName(NameFromField(added.Name)) << " as data record "
              << file.DataCount() << " at position " << added.Position << '\n';
}

// Asks the question on the terminal, No unless the answer is yes. Without a terminal nobody can
// answer, and a script must say --yes itself.
bool Confirmed(const std::string &question, const std::string &archive)
{
    if (!StandardInputIsTerminal())
        throw EKVBError("Not truncating " + archive +
                        ": standard input is no terminal to ask on; add --yes to truncate");
    std::cerr << question << " [y/N] " << std::flush;
    std::string answer;
    if (!std::getline(std::cin, answer))
        std::cerr << '\n';
    return answer == "y" || answer == "Y" || answer == "yes" || answer == "Yes" || answer == "YES";
}

void Truncate(const std::string &archive, const std::string &dataNumber, bool yes)
{
    std::unique_ptr<TRawKVBFile> editor = OpenEditor(archive);
    TRawKVBFile &file = *editor;
    int32_t a = RecordIndex(dataNumber, file.DataCount(), "data record");
    TKVB_DataRecord d = file.GetDataRecord(a);
    if (!yes && !Confirmed(TruncateQuestion(a, NameFromField(d.Name), file.DataCount()), archive))
        throw EKVBError("Nothing changed: " + archive + " was not truncated");
    file.TruncateFrom(a);
    PrintLines(RawCountLines(file));
}

void Template(const std::string &archive, const std::string &folder)
{
    TKVBFile catalogue(archive, false);
    ShowNote(catalogue);
    std::cout << WriteValidationTemplate(catalogue, folder) << '\n';
}

} // namespace

void RegisterArchiveCommands(CLI::App &app)
{
    static const std::string kArchiveHelp = "The archive (.KVB) to read";
    static const std::string kEditedArchiveHelp = "The archive (.KVB) to change in place";
    // Options live as long as the application; each command keeps its own.
    struct Args {
        std::string archive, path, folder;
        std::string entry;                 // a record number from 1, or a name
        std::string tocNumber, dataNumber; // record numbers from 1, as typed
        std::optional<std::string> match;
        bool lengths = false, sorted = false, yes = false, json = false;
    };
    auto args = std::make_shared<Args>();
    const CLI::Validator kRecordNumber = DecimalNumber(0, INT64_MAX, "a record number");

    auto *info = app.add_subcommand("info", "The four info lines of an archive");
    info->add_flag("--lengths", args->lengths, "Read every data header (lengths, description)");
    info->add_flag("--json", args->json, "One JSON object instead of the lines");
    info->add_option("ARCHIVE", args->archive, kArchiveHelp)->required();
    info->callback([args] { Info(args->archive, args->lengths, args->json); });

    auto *list = app.add_subcommand("list", "One line per entry: N, Name, Offset, Length, Mismatch");
    list->add_flag("--lengths", args->lengths, "Read every data header (lengths, name checks)");
    list->add_flag("--sorted", args->sorted, "List in data order");
    list->add_flag("--json", args->json, "One JSON object with an array of the entries");
    list->add_option("ARCHIVE", args->archive, kArchiveHelp)->required();
    list->callback([args] { List(args->archive, args->lengths, args->sorted, args->json); });

    auto *extract = app.add_subcommand("extract", "Copy one entry into a file");
    extract->add_option("ARCHIVE", args->archive, kArchiveHelp)->required();
    extract->add_option("ENTRY", args->entry, "Entry number from 1, or its name (case ignored)")
        ->required();
    extract->add_option("OUTPUT", args->path, "The file to write; - for standard output")->required();
    extract->callback([args] { Extract(args->archive, args->entry, args->path); });

    auto *all = app.add_subcommand("extract-all", "Copy every entry into a folder");
    all->add_option("ARCHIVE", args->archive, kArchiveHelp)->required();
    all->add_option("FOLDER", args->folder, "The folder to write the files into; made when missing")
        ->required();
    all->add_option("--match", args->match,
                    "Only the entries whose names match, * and ? as wildcards, case ignored")
        ->type_name("PATTERN");
    all->callback([args] { ExtractAllInto(args->archive, args->folder, args->match); });

    auto *raw =
        app.add_subcommand("raw", "The table of contents and the data walk, as the editor sees them");
    raw->add_flag("--json", args->json, "One JSON object with the records");
    raw->add_option("ARCHIVE", args->archive, kArchiveHelp)->required();
    raw->callback([args] { Raw(args->archive, args->json); });

    auto *link = app.add_subcommand("link", "Point table-of-contents record TOC_N at data record DATA_N");
    link->add_option("ARCHIVE", args->archive, kEditedArchiveHelp)->required();
    link->add_option("TOC_N", args->tocNumber, "Table-of-contents record number, from 1")
        ->required()
        ->check(kRecordNumber);
    link->add_option("DATA_N", args->dataNumber, "Data record number, from 1, as kvb raw lists them")
        ->required()
        ->check(kRecordNumber);
    link->callback([args] { Link(args->archive, args->tocNumber, args->dataNumber); });

    auto *append = app.add_subcommand("append", "Append FILE as a new data entry");
    append->add_option("ARCHIVE", args->archive, kEditedArchiveHelp)->required();
    append->add_option("FILE", args->path, "The file to append, stored under its own name")->required();
    append->callback([args] { Append(args->archive, args->path); });

    auto *truncate = app.add_subcommand("truncate", "Cut the archive off at data record DATA_N");
    truncate->add_option("ARCHIVE", args->archive, kEditedArchiveHelp)->required();
    truncate->add_option("DATA_N", args->dataNumber, "The first data record to delete, from 1")
        ->required()
        ->check(kRecordNumber);
    truncate->add_flag("--yes", args->yes,
                       "Truncate without asking; without it the question is asked on the "
                       "terminal (No by default), and without a terminal nothing is done");
    truncate->callback([args] { Truncate(args->archive, args->dataNumber, args->yes); });

    auto *tmpl = app.add_subcommand("template", "Write the validation block to FOLDER/KVB.<Count>");
    tmpl->add_option("ARCHIVE", args->archive, kArchiveHelp)->required();
    tmpl->add_option("FOLDER", args->folder, "The folder to write KVB.<Count> into")->required();
    tmpl->callback([args] { Template(args->archive, args->folder); });
}

} // namespace kvb::cli
