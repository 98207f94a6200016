// "Edit with..." and "Open with default program": the entries' files handed to other programs,
// each save there asked about once, and what is still unsaved offered again before the archive
// is closed.
#include "logic/edit_with.h"

#include "archive/checksum.h"
#include "archive/info_lines.h"
#include "archive/text.h"
#include "logic/main_window.h"
#include "platform/errors.h"
#include "platform/paths.h"
#include "platform/temp_dir.h"
#include "preview/entry_preview.h"
#include "tools/rebuild.h"

#include <algorithm>

namespace kvb::logic {

namespace {

// A question that names many files names the first few, then says how many more there are.
constexpr size_t kFilesNamed = 10;

// Each entry handed over starts a program of its own (or asks for one): a selection of hundreds
// would flood the desktop.
constexpr size_t kEditedAtOnce = 20;

std::string NamesOf(const std::vector<std::string> &names)
{
    const size_t named = std::min(names.size(), kFilesNamed);
    std::string text;
    for (size_t i = 0; i < named; ++i) {
        if (i > 0)
            text += i + 1 == names.size() ? " and " : ", ";
        text += names[i];
    }
    if (names.size() > named)
        text += " and " + std::to_string(names.size() - named) + " more";
    return text;
}

} // namespace

// --- What is known of the edited files ---------------------------------------------------------

TEditedFiles::~TEditedFiles()
{
    Clear();
}

void TEditedFiles::Add(int index, const std::string &file, bool texture)
{
    TEditedFile edit;
    edit.Index = index;
    edit.File = file;
    edit.Texture = texture;
    edit.Stamp = FileStamp(file).value_or(TFileStamp{});
    edit.Seen = edit.Accounted = FileChecksum64(file);
    files_.push_back(edit);
}

TEditedFile *TEditedFiles::Find(int index)
{
    for (TEditedFile &edit : files_)
        if (edit.Index == index)
            return &edit;
    return nullptr;
}

const TEditedFile *TEditedFiles::Of(int index) const
{
    return const_cast<TEditedFiles *>(this)->Find(index);
}

std::vector<int> TEditedFiles::At(const std::string &path) const
{
    std::string folder = path;
    while (folder.size() > 1 && (folder.back() == '/' || folder.back() == '\\'))
        folder.pop_back();
    std::vector<int> indices;
    for (const TEditedFile &edit : files_)
        if (edit.File == path || ParentFolderOf(edit.File) == folder)
            indices.push_back(edit.Index);
    return indices;
}

std::vector<int> TEditedFiles::Indices() const
{
    std::vector<int> indices;
    for (const TEditedFile &edit : files_)
        indices.push_back(edit.Index);
    return indices;
}

std::optional<uint64_t> TEditedFiles::NewContent(int index)
{
    TEditedFile *edit = Find(index);
    if (!edit)
        return std::nullopt;
    const std::optional<TFileStamp> stamp = FileStamp(edit->File);
    if (!stamp)
        return std::nullopt;
    if (*stamp != edit->Stamp || edit->Stamp.Recent) {
        try {
            edit->Seen = FileChecksum64(edit->File);
        } catch (const std::exception &) {
            // Gone between the two looks: the editor's new file is on its way.
            if (!IsPlainFile(edit->File))
                return std::nullopt;
            throw;
        }
        // Taken before the content was read: a write meanwhile makes the next look read again.
        edit->Stamp = *stamp;
    }
    if (edit->Seen == edit->Accounted)
        return std::nullopt;
    return edit->Seen;
}

void TEditedFiles::Account(int index, uint64_t content, bool pending)
{
    if (TEditedFile *edit = Find(index)) {
        edit->Accounted = content;
        edit->Pending = pending;
    }
}

std::vector<int> TEditedFiles::Unsettled()
{
    std::vector<int> indices;
    for (const int index : Indices())
        if (NewContent(index) || Find(index)->Pending)
            indices.push_back(index);
    return indices;
}

void TEditedFiles::Remove(int index)
{
    const auto at = std::find_if(files_.begin(), files_.end(),
                                 [&](const TEditedFile &e) { return e.Index == index; });
    if (at == files_.end())
        return;
    RemoveTempSubfolder(ParentFolderOf(at->File));
    files_.erase(at);
}

void TEditedFiles::Clear()
{
    for (const TEditedFile &edit : files_)
        RemoveTempSubfolder(ParentFolderOf(edit.File));
    files_.clear();
}

// --- The main window's handlers ----------------------------------------------------------------

void TKVBEditorLogic::mnuEditWithClick()
{
    EditEntries(SelectedIndices("Select a file first!"), true);
}

void TKVBEditorLogic::mnuOpenWithDefaultClick()
{
    EditEntries(SelectedIndices("Select a file first!"), false);
}

void TKVBEditorLogic::EditEntries(const std::vector<int> &indices, bool choose)
{
    if (indices.size() > kEditedAtOnce) {
        dialogs_.Notice("Select at most " + std::to_string(kEditedAtOnce) +
                        " files to open in other programs at once.");
        return;
    }
    for (const int index : indices) {
        // An entry edited already opens from its file again, which may hold the user's
        // changes: it is not extracted over them.
        const bool fresh = !edits_.Of(index);
        if (fresh) {
            const std::string file = ExtractForEditing(*catalogue_, index);
            const bool texture = PreviewExtension(Cp1252ToUtf8(catalogue_->GetEntry(index).Name)) ==
                                 ".TEX";
            // Watched before the other program has it, so that no save of its is missed.
            try {
                edits_.Add(index, file, texture);
                view_.WatchFile(file);
            } catch (...) {
                edits_.Remove(index);
                RemoveTempSubfolder(ParentFolderOf(file));
                throw;
            }
        }
        const std::string file = edits_.Of(index)->File;
        const TMainView::TOpened opened = choose ? view_.OpenWithChosenProgram(file)
                                                 : view_.OpenWithDefault(file);
        if (opened != TMainView::TOpened::Opened && fresh) {
            view_.UnwatchFile(file);
            edits_.Remove(index);
        }
        if (opened == TMainView::TOpened::Cancelled)
            return;
        if (opened == TMainView::TOpened::NoProgram)
            throw EKVBError("No program could be started to open " + FileNameOf(file));
        view_.SetStatus(FileNameOf(file) +
                        " is open in another program; each time it is saved there, it can go back into " +
                        openedFileName_ + ".");
    }
    if (indices.size() > 1)
        view_.SetStatus(std::to_string(indices.size()) +
                        " files are open in other programs; each time one is saved there, it can go "
                        "back into " +
                        openedFileName_ + ".");
}

void TKVBEditorLogic::EditedFileChanged(const std::string &path)
{
    // A change reported while another is asked about is looked at once that is done.
    if (askingAboutChanges_) {
        changedMeanwhile_ = true;
        return;
    }
    AskAboutChanges(edits_.At(path));
}

void TKVBEditorLogic::AskAboutChanges(const std::vector<int> &indices)
{
    struct TAsking {
        bool &asking;
        explicit TAsking(bool &a) : asking(a) { asking = true; }
        ~TAsking() { asking = false; }
    } asking(askingAboutChanges_);
    std::vector<int> looking = indices;
    for (;;) {
        changedMeanwhile_ = false;
        for (const int index : looking) {
            // Each file on its own: one that cannot be put back leaves the others to be asked about.
            try {
                const std::optional<uint64_t> content = edits_.NewContent(index);
                if (!content)
                    continue;
                const std::string name = FileNameOf(edits_.Of(index)->File);
                // Pending until it is in the archive: a failed or cancelled rebuild is offered
                // again when the archive is closed, and the same content is not asked about again.
                edits_.Account(index, *content, true);
                if (!dialogs_.Question("The file " + name + " has been changed. Update the archive?",
                                       "Edited file")) {
                    view_.SetStatus(name + " was not put back into " + openedFileName_ + ".");
                    continue;
                }
                if (PutBack({index}))
                    edits_.Account(index, *content, false);
            } catch (const std::exception &e) {
                dialogs_.Error(ErrorBoxText(e.what()));
            }
        }
        if (!changedMeanwhile_)
            return;
        // Where the news came from is not kept: every file is looked at, cheaply.
        looking = edits_.Indices();
    }
}

bool TKVBEditorLogic::PutBack(const std::vector<int> &indices)
{
    std::vector<TReplacement> replacements;
    std::vector<std::string> made;
    struct TMade {
        std::vector<std::string> &files;
        ~TMade()
        {
            for (const std::string &file : files)
                RemoveFile(file);
        }
    } removeMade{made};
    for (const int index : indices) {
        const TEditedFile &edit = *edits_.Of(index);
        if (!edit.Texture) {
            replacements.push_back({index, edit.File});
            continue;
        }
        made.push_back(GetTempDir() + "edited" + std::to_string(index) + ".TEX");
        MakeTextureFor(index, edit.File, made.back());
        replacements.push_back({index, made.back()});
    }
    if (!RewriteArchive(replacements))
        return false;
    view_.SetStatus((indices.size() == 1
                         ? "Entry " + ShownText(catalogue_->GetEntry(indices.front()).Name) +
                               " updated from " + FileNameOf(edits_.Of(indices.front())->File)
                         : std::to_string(indices.size()) + " entries updated from their edited files") +
                    "; " + openedFileName_ + " was rewritten.");
    return true;
}

bool TKVBEditorLogic::CloseEditedFiles(const std::string &closing)
{
    if (edits_.Empty())
        return true;
    const std::vector<int> unsettled = edits_.Unsettled();
    if (!unsettled.empty()) {
        std::vector<std::string> names;
        for (const int index : unsettled)
            names.push_back(FileNameOf(edits_.Of(index)->File));
        const TAnswer answer = dialogs_.QuestionWithCancel("The changes to " + NamesOf(names) +
                                                               " have not been put back into " +
                                                               openedFileName_ +
                                                               ". Put them back before " + closing + "?",
                                                           "Edited files");
        if (answer == TAnswer::Cancel)
            return false;
        if (answer == TAnswer::Yes && !PutBack(unsettled))
            return false;
    }
    ForgetEditedFiles();
    return true;
}

void TKVBEditorLogic::ForgetEditedFiles()
{
    for (const int index : edits_.Indices())
        view_.UnwatchFile(edits_.Of(index)->File);
    edits_.Clear();
}

} // namespace kvb::logic
