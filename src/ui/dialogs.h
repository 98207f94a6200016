// Every message box and file dialog the windows show goes through Dialogs, so that tests can
// script the answers and read back every text shown.
#pragma once

#include <QString>

#include <functional>
#include <optional>

class QWidget;

namespace kvb::ui {

// The title of the application: caption of its message boxes.
inline const QString kApplicationTitle = QStringLiteral("Tarnwick's KVB Editor");

struct FileDialogOptions {
    QString filter;        // "KVB Archives (*.KVB *.kvb);;All files (*)"
    QString defaultSuffix; // added when the chosen name has no extension
    QString fileName;      // pre-filled name
};

class Dialogs {
public:
    virtual ~Dialogs() = default;
    // A program notice: modal, no icon, one OK button, captioned with the application title.
    virtual void Notice(const QString &text) = 0;
    // Yes/No with No the default button and no icon; true for Yes.
    virtual bool Question(const QString &text, const QString &caption) = 0;
    // An error box with the error icon, captioned with the application title.
    virtual void Error(const QString &text) = 0;
    // The chosen file, or nothing when cancelled. Open needs an existing file; Save asks no
    // overwrite question.
    virtual std::optional<QString> OpenFile(const FileDialogOptions &options) = 0;
    virtual std::optional<QString> SaveFile(const FileDialogOptions &options) = 0;
    // The chosen folder, or nothing when cancelled.
    virtual std::optional<QString> ChooseFolder(const QString &title) = 0;
    // A line of text typed by the user, or nothing when cancelled.
    virtual std::optional<QString> AskText(const QString &text, const QString &caption) = 0;
};

// Where the next file dialog or folder chooser opens: the folder used last by any of them in
// this run, or the process's current folder before the first. Nothing of it is kept on disk.
class TFolderMemory {
public:
    // Empty before anything was chosen: the dialog then opens in the current folder.
    const QString &StartFolder() const { return folder_; }
    // A file (whose folder is remembered) or a folder was chosen.
    void ChoseFile(const QString &file);
    void ChoseFolder(const QString &folder);

private:
    QString folder_;
};

// The real dialogs, owned by a window.
class QtDialogs : public Dialogs {
public:
    explicit QtDialogs(QWidget *owner) : owner_(owner) {}
    void Notice(const QString &text) override;
    bool Question(const QString &text, const QString &caption) override;
    void Error(const QString &text) override;
    std::optional<QString> OpenFile(const FileDialogOptions &options) override;
    std::optional<QString> SaveFile(const FileDialogOptions &options) override;
    std::optional<QString> ChooseFolder(const QString &title) override;
    std::optional<QString> AskText(const QString &text, const QString &caption) override;

private:
    std::optional<QString> RunFileDialog(const FileDialogOptions &options, bool save);

    QWidget *owner_;
    TFolderMemory folders_;
};

// An exception's message as the error box shows it: a "." is added when the last character's
// code is above "." (a letter or a digit, say); "." and "!" endings stay as they are.
QString ErrorBoxText(const QString &message);

// Runs a handler; an exception that escapes it is shown in an error box and the program goes
// on. Nothing escapes into Qt's event loop.
void Guarded(Dialogs &dialogs, const std::function<void()> &handler);

} // namespace kvb::ui
