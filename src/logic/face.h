// What the windows' behaviour asks of a face (Qt on Linux, Win32 on Windows) that every window
// shares: message boxes and file dialogs, in plain types and UTF-8 text.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace kvb::logic {

// The application's title: the caption of its notices and error boxes.
inline const std::string kApplicationTitle = "Tarnwick's KVB Editor";

// A file dialog's settings. Filter pairs descriptions and patterns with "|", as in
// "KVB Archives|*.KVB|All files|*.*"; patterns are matched with case ignored.
struct TFileDialog {
    std::string Filter;
    std::string DefaultExtension; // added when the chosen name has none; without the dot
    std::string FileName;         // pre-filled
    // Where it opens; empty: where the last dialog without a folder of its own was used.
    std::string Folder;
};

// The answer to a question that may also be put off.
enum class TAnswer { Yes, No, Cancel };

// A list to look at before going on, such as the changes an update would make: the text above
// it, the columns' headers, and rows of as many cells.
struct TListQuestion {
    std::string Caption;
    std::string Text;
    std::vector<std::string> Columns;
    std::vector<std::vector<std::string>> Rows;
};

class TDialogs {
public:
    virtual ~TDialogs() = default;
    // A program notice: modal, no icon, one OK button, captioned with the application title.
    virtual void Notice(const std::string &text) = 0;
    // Yes/No with No the default button and no icon; true for Yes.
    virtual bool Question(const std::string &text, const std::string &caption) = 0;
    // Yes/No/Cancel with Cancel the default button (and Escape's), no icon.
    virtual TAnswer QuestionWithCancel(const std::string &text, const std::string &caption) = 0;
    // An error box with the error icon, captioned with the application title.
    virtual void Error(const std::string &text) = 0;
    // The chosen file, or nothing when cancelled. Open needs an existing file; Save asks no
    // overwrite question.
    virtual std::optional<std::string> OpenFile(const TFileDialog &dialog) = 0;
    virtual std::optional<std::string> SaveFile(const TFileDialog &dialog) = 0;
    // The chosen folder, or nothing when cancelled or when the item chosen is not a folder on
    // disk.
    virtual std::optional<std::string> ChooseFolder(const std::string &title) = 0;
    // A line of text typed by the user, or nothing when cancelled.
    virtual std::optional<std::string> AskText(const std::string &text, const std::string &caption) = 0;
    // The list, with OK (the default button) and Cancel (Escape's); true for OK.
    virtual bool ConfirmList(const TListQuestion &question) = 0;
};

// lines as one text, a line break between each two.
std::string JoinLines(const std::vector<std::string> &lines);

// An exception's message as the error box shows it: a "." is added to each of its lines whose
// last character's code is above "." (a letter or a digit, say); "." and "!" endings stay.
std::string ErrorBoxText(const std::string &message);

// Runs the handler of a face's event; an exception that escapes it is shown in an error box and
// the program goes on. Nothing escapes into the face's event loop. While long work runs (see
// work.h) the event is ignored: its window is busy, and the work's own handler is still running.
void Guarded(TDialogs &dialogs, const std::function<void()> &handler);
// The same for the events that act during long work too: Cancel, Escape, the close button.
void GuardedDuringWork(TDialogs &dialogs, const std::function<void()> &handler);
// Whether the handler of an event runs (it may be waiting in a dialog's own event loop). News
// from outside that would change what it works on (a file saved by another program) wait for
// it to end.
bool HandlerRunning();

// The folder chooser of "Extract all" and "Create KVB".
class TFolderDialog {
public:
    explicit TFolderDialog(TDialogs &dialogs) : dialogs_(dialogs) {}

    // The prompt shown with the chooser; empty for both of the main window's uses.
    std::string Title;
    // The folder chosen last, ending with the system's separator; empty until one was chosen.
    const std::string &Path() const { return path_; }

    // Shows the chooser; true when a folder was chosen. On cancel Path keeps its value.
    bool Execute();

private:
    TDialogs &dialogs_;
    std::string path_;
};

// Where the next file dialog or folder chooser opens: the folder used last by any of them in
// this run, or the process's current folder before the first. Nothing of it is kept on disk.
class TFolderMemory {
public:
    // Empty before anything was chosen: the dialog then opens in the current folder.
    const std::string &StartFolder() const { return folder_; }
    // A file (whose folder is remembered) or a folder was chosen.
    void ChoseFile(const std::string &file);
    void ChoseFolder(const std::string &folder);

private:
    std::string folder_;
};

} // namespace kvb::logic
