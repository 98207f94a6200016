// Files dropped on the windows, and what the main window does with those that are no archive:
// the entries of the same names replaced in one rebuild, after the user has seen which.
#include "logic/dropped_files.h"

#include "archive/info_lines.h"
#include "archive/text.h"
#include "logic/main_window.h"
#include "platform/errors.h"
#include "platform/listing.h"
#include "platform/output_file.h"
#include "platform/paths.h"
#include "platform/stream.h"
#include "tools/rebuild.h"

#include <map>
#include <unordered_map>

namespace kvb::logic {

namespace {

std::string WhyLeftOut(TEntryKind kind)
{
    switch (kind) {
    case TEntryKind::Folder: return "is a folder; drop the files in it instead";
    case TEntryKind::Link: return "is a link, which is never followed";
    default: return "is a pipe or a device, not a plain file";
    }
}

} // namespace

TDroppedFiles SortDroppedFiles(const std::vector<std::string> &paths)
{
    TDroppedFiles sorted;
    for (const std::string &path : paths) {
        const std::string name = FileNameOf(path);
        try {
            // Looked at in its folder, the link itself and never what it leads to.
            const TOpenFolder folder(ParentFolderOf(AbsolutePathOf(path)));
            const std::optional<TFolderEntry> entry = LookUpEntry(folder, name);
            if (!entry)
                sorted.Refused.push_back(name + " is not there any more");
            else if (entry->Kind != TEntryKind::PlainFile)
                sorted.Refused.push_back(name + ' ' + WhyLeftOut(entry->Kind));
            else
                sorted.Files.push_back({path, name, entry->Stamp.Size});
        } catch (const std::exception &e) {
            sorted.Refused.push_back(name + " cannot be looked at: " + e.what());
        }
    }
    return sorted;
}

std::string ReadDroppedFile(const std::string &path)
{
    const TOpenFolder folder(ParentFolderOf(AbsolutePathOf(path)));
    const TFileStream input(folder, FileNameOf(path), false);
    const int64_t size = input.Size();
    if (size > INT32_MAX)
        throw EKVBError("File " + path + " is too large to store in an archive");
    std::string bytes(size_t(size), '\0');
    if (input.ReadAt(0, bytes.data(), size) != size)
        throw EReadError();
    return bytes;
}

bool TKVBEditorLogic::AcceptsDrop(const std::vector<std::string> &paths) const
{
    return !work_.Running() && (IsDroppedArchive(paths) || (catalogue_ && !paths.empty()));
}

void TKVBEditorLogic::FilesDropped(const std::vector<std::string> &paths)
{
    if (!AcceptsDrop(paths))
        return;
    if (IsDroppedArchive(paths))
        OpenArchive(paths.front());
    else
        ReplaceWithDropped(paths);
}

void TKVBEditorLogic::ReplaceWithDropped(const std::vector<std::string> &paths)
{
    const TDroppedFiles dropped = SortDroppedFiles(paths);

    // The records of each name, ASCII case ignored, as the archive's names are compared.
    std::unordered_map<std::string, std::vector<int32_t>> byName;
    for (int32_t i = 0; i < catalogue_->EntryCount(); ++i)
        byName[AsciiUpper(catalogue_->GetEntry(i).Name)].push_back(i);

    // One replacement for each data entry a dropped file is named for; records that share
    // their data go on sharing it.
    std::vector<TReplacement> replacements;
    std::vector<std::string> files, unmatched;
    std::map<int32_t, std::string> fileOfData; // by the data header's offset
    for (const TDroppedFile &file : dropped.Files) {
        const std::optional<std::string> stored = Utf8ToCp1252(file.Name);
        const auto found = stored ? byName.find(AsciiUpper(*stored)) : byName.end();
        if (found == byName.end()) {
            unmatched.push_back(file.Name);
            continue;
        }
        for (const int32_t record : found->second) {
            const TKVB_Entry entry = catalogue_->GetEntry(record);
            const auto [taken, added] = fileOfData.emplace(entry.Offset, file.Path);
            if (!added) {
                if (taken->second == file.Path)
                    continue;
                throw EKVBError("Both " + taken->second + " and " + file.Path + " would replace entry " +
                                ShownText(entry.Name) + "; drop only one of them");
            }
            // Read at the rebuild, through no link, at the size seen now: a file changed since
            // stops the rebuild before the archive is replaced.
            const std::string path = file.Path;
            TReplacement replacement(record, file.Size, [path] { return ReadDroppedFile(path); });
            replacement.FileName = path;
            replacements.push_back(std::move(replacement));
            files.push_back(file.Name);
        }
    }

    std::vector<std::string> leftOut = dropped.Refused;
    if (!unmatched.empty()) {
        std::string names;
        for (const std::string &name : unmatched)
            names += (names.empty() ? "" : ", ") + name;
        leftOut.push_back("No entry of " + openedFileName_ + " is named as " + names + ".");
    }
    if (replacements.empty()) {
        leftOut.insert(leftOut.begin(), "Nothing was replaced:");
        dialogs_.Notice(JoinLines(leftOut));
        return;
    }

    // Shown as a list, one row per entry, before anything is written.
    const std::vector<TReplacedEntry> planned = PlanReplacement(catalogue_->FileName(), replacements);
    TListQuestion question;
    question.Caption = "Replace entries";
    question.Columns = {"Record", "Entry", "File", "Old size", "New size"};
    for (size_t i = 0; i < planned.size(); ++i)
        question.Rows.push_back({std::to_string(planned[i].TocIndex + 1), ShownText(planned[i].Name),
                                 files[i], std::to_string(planned[i].OldLength),
                                 std::to_string(planned[i].NewLength)});
    std::vector<std::string> said{"The archive file " + openedFileName_ +
                                  " will be rewritten, with the data of " +
                                  std::to_string(planned.size()) +
                                  " entries replaced by the files dropped on the window. Everything "
                                  "else stays as it is."};
    if (!leftOut.empty()) {
        said.push_back("Left out:");
        said.insert(said.end(), leftOut.begin(), leftOut.end());
    }
    said.push_back("Continue?");
    question.Text = JoinLines(said);
    if (!dialogs_.ConfirmList(question))
        return;

    if (RewriteArchive(replacements))
        view_.SetStatus(std::to_string(planned.size()) + " entries replaced by the files dropped; " +
                        openedFileName_ + " was rewritten.");
}

} // namespace kvb::logic
