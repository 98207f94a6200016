// The real message boxes and file dialogs of the Qt windows.
#pragma once

#include "logic/face.h"

#include <QString>

class QWidget;

namespace kvb::ui {

// A filter as the logic gives it ("KVB Archives|*.KVB|All files|*.*") as Qt's file dialog takes
// it ("KVB Archives (*.KVB *.kvb);;All files (*)"): patterns in either case, *.* as *.
QString QtFilter(const std::string &filter);

class QtDialogs : public logic::TDialogs {
public:
    // owner: the window that owns a dialog when no window of the program is active (none: the
    // dialog stands in the middle of the screen); it may be set once the window exists.
    explicit QtDialogs(QWidget *owner) : owner_(owner) {}
    void SetOwner(QWidget *owner) { owner_ = owner; }
    void Notice(const std::string &text) override;
    bool Question(const std::string &text, const std::string &caption) override;
    logic::TAnswer QuestionWithCancel(const std::string &text, const std::string &caption) override;
    void Error(const std::string &text) override;
    std::optional<std::string> OpenFile(const logic::TFileDialog &dialog) override;
    std::optional<std::string> SaveFile(const logic::TFileDialog &dialog) override;
    std::optional<std::string> ChooseFolder(const std::string &title) override;
    std::optional<std::string> AskText(const std::string &text, const std::string &caption) override;
    bool ConfirmList(const logic::TListQuestion &question) override;

private:
    std::optional<std::string> RunFileDialog(const logic::TFileDialog &dialog, bool save);

    // The dialogs' owner: the window the user works in, else the one given.
    QWidget *Owner() const;
    QWidget *owner_;
    logic::TFolderMemory folders_;
};

} // namespace kvb::ui
