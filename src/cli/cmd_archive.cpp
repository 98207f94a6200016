// kvb info, list, extract, extract-all, raw, link, append, truncate, template.
#include "cli/commands.h"

#include "archive/catalogue.h"
#include "platform/errors.h"
#include "archive/extract.h"
#include "archive/info_lines.h"
#include "archive/raw_archive.h"
#include "platform/stream.h"
#include "platform/encoding.h"
#include "platform/paths.h"
#include "tools/validation_template.h"

#include <filesystem>
#include <iostream>
#include <memory>

namespace fs = std::filesystem;

namespace kvb::cli {

namespace {

void PrintLines(const std::vector<std::string> &lines)
{
    for (const auto &line : lines)
        std::cout << line << '\n';
}

void Info(const std::string &archive, bool lengths)
{
    TKVBFile catalogue(archive, lengths);
    PrintLines(CatalogueInfoLines(catalogue, ShownFileName(archive)));
}

void List(const std::string &archive, bool lengths, bool sorted)
{
    TKVBFile catalogue(archive, lengths);
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

void Extract(const std::string &archive, const std::string &number, const std::string &output)
{
    TKVBFile catalogue(archive, false);
    TKVB_Entry entry = catalogue.GetEntry(RecordIndex(number, catalogue.EntryCount(), "entry"));
    TFileStream source(catalogue.FileName(), TFileStream::Mode::OpenRead);
    ExtractEntry(source, entry, output);
}

void ExtractAllInto(const std::string &archive, const std::string &folder)
{
    // With the lengths, read in few large reads, the room needed is known without reading each
    // entry's header apart, and no entry's header is read again while it is copied.
    TKVBFile catalogue(archive, true);
    std::error_code ec;
    fs::create_directories(PathFromUtf8(folder), ec);
    if (ec)
        throw EKVBError("Cannot create folder " + folder + ": " + ec.message());
    ExtractAll(catalogue, folder);
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
// text must not all be held at once.
class TLineWriter {
public:
    ~TLineWriter() { std::cout << out_; }
    std::string &operator*() { return out_; }
    void LineDone()
    {
        if (out_.size() >= 64 * 1024) {
            std::cout << out_;
            out_.clear();
        }
    }

private:
    std::string out_;
};

void Raw(const std::string &archive)
{
    std::unique_ptr<TRawKVBFile> editor = OpenEditor(archive);
    const TRawKVBFile &file = *editor;
    PrintLines(RawInfoLines(file, ShownFileName(archive)));
    TLineWriter lines;
    std::string &out = *lines;
    for (int32_t t = 0; t < file.TocCount(); ++t) {
        TKVB_TocRecord r = file.GetTocRecord(t);
        std::string linked;
        if (int32_t j = file.FindDataRecordAt(r.Offset); j >= 0)
            linked = LinkedDataText(j + 1, NameFromField(file.GetDataRecord(j).Name));
        out += "toc\t" + std::to_string(t + 1) + '\t' + PrintableName(NameFromField(r.Name)) +
               '\t' + std::to_string(r.Offset) + '\t' + std::to_string(r.Reserved1) + '\t' +
               std::to_string(r.Reserved2) + '\t' + PrintableName(linked) + '\n';
        lines.LineDone();
    }
    for (int32_t j = 0; j < file.DataCount(); ++j) {
        TKVB_DataRecord d = file.GetDataRecord(j);
        out += "data\t" + std::to_string(j + 1) + '\t' + PrintableName(NameFromField(d.Name)) +
               '\t' + std::to_string(d.Position) + '\t' + std::to_string(d.Length) + '\n';
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
    std::cout << "Record " << t + 1 << " -> " << PrintableName(LinkedDataText(h + 1, NameFromField(d.Name)))
              << '\n';
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

void Truncate(const std::string &archive, const std::string &dataNumber, bool yes)
{
    std::unique_ptr<TRawKVBFile> editor = OpenEditor(archive);
    TRawKVBFile &file = *editor;
    int32_t a = RecordIndex(dataNumber, file.DataCount(), "data record");
    TKVB_DataRecord d = file.GetDataRecord(a);
    if (!yes) {
        std::cout << TruncateQuestion(a, NameFromField(d.Name), file.DataCount())
                  << "\n(nothing changed: add --yes to truncate)\n";
        return;
    }
    file.TruncateFrom(a);
    PrintLines(RawCountLines(file));
}

void Template(const std::string &archive, const std::string &folder)
{
    TKVBFile catalogue(archive, false);
    std::cout << WriteValidationTemplate(catalogue, folder) << '\n';
}

} // namespace

void RegisterArchiveCommands(CLI::App &app)
{
    // Options live as long as the application; each command keeps its own.
    struct Args {
        std::string archive, path, folder;
        std::string a, b;
        bool lengths = false, sorted = false, yes = false;
    };
    auto args = std::make_shared<Args>();
    const CLI::Validator kRecordNumber = DecimalNumber(0, INT64_MAX, "a record number");

    auto *info = app.add_subcommand("info", "The four info lines of an archive");
    info->add_flag("--lengths", args->lengths, "Read every data header (lengths, description)");
    info->add_option("ARCHIVE", args->archive)->required();
    info->callback([args] { Info(args->archive, args->lengths); });

    auto *list = app.add_subcommand("list", "One line per entry: N, Name, Offset, Length, Mismatch");
    list->add_flag("--lengths", args->lengths, "Read every data header (lengths, name checks)");
    list->add_flag("--sorted", args->sorted, "List in data order");
    list->add_option("ARCHIVE", args->archive)->required();
    list->callback([args] { List(args->archive, args->lengths, args->sorted); });

    auto *extract = app.add_subcommand("extract", "Copy entry N into a file");
    extract->add_option("ARCHIVE", args->archive)->required();
    extract->add_option("N", args->a, "Entry number, from 1")->required()->check(kRecordNumber);
    extract->add_option("OUTPUT", args->path)->required();
    extract->callback([args] { Extract(args->archive, args->a, args->path); });

    auto *all = app.add_subcommand("extract-all", "Copy every entry into a folder");
    all->add_option("ARCHIVE", args->archive)->required();
    all->add_option("FOLDER", args->folder)->required();
    all->callback([args] { ExtractAllInto(args->archive, args->folder); });

    auto *raw = app.add_subcommand("raw", "The table of contents and the data walk, as the editor sees them");
    raw->add_option("ARCHIVE", args->archive)->required();
    raw->callback([args] { Raw(args->archive); });

    auto *link = app.add_subcommand("link", "Point table-of-contents record TOC_N at data record DATA_N");
    link->add_option("ARCHIVE", args->archive)->required();
    link->add_option("TOC_N", args->a)->required()->check(kRecordNumber);
    link->add_option("DATA_N", args->b)->required()->check(kRecordNumber);
    link->callback([args] { Link(args->archive, args->a, args->b); });

    auto *append = app.add_subcommand("append", "Append FILE as a new data entry");
    append->add_option("ARCHIVE", args->archive)->required();
    append->add_option("FILE", args->path)->required();
    append->callback([args] { Append(args->archive, args->path); });

    auto *truncate = app.add_subcommand("truncate", "Cut the archive off at data record DATA_N");
    truncate->add_option("ARCHIVE", args->archive)->required();
    truncate->add_option("DATA_N", args->a)->required()->check(kRecordNumber);
    truncate->add_flag("--yes", args->yes, "Really truncate; without it only the question is shown");
    truncate->callback([args] { Truncate(args->archive, args->a, args->yes); });

    auto *tmpl = app.add_subcommand("template", "Write the validation block to FOLDER/KVB.<Count>");
    tmpl->add_option("ARCHIVE", args->archive)->required();
    tmpl->add_option("FOLDER", args->folder)->required();
    tmpl->callback([args] { Template(args->archive, args->folder); });
}

} // namespace kvb::cli
