// The Win32 face's dialogs: message boxes, the common open and save dialogs, the shell's folder
// browser, a small box that asks for a line of text, and one that shows a list to confirm.
#pragma once

#include "logic/face.h"

#include <windows.h>

namespace kvb::win32ui {

class TWin32Dialogs : public logic::TDialogs {
public:
    // The dialogs belong to the window that is active when they open (or to the modal window
    // that has just disabled it), or to fallback (the main window) when the program has none.
    void SetFallbackOwner(HWND owner) { fallback_ = owner; }

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
    HWND Owner() const;
    std::optional<std::string> RunFileDialog(const logic::TFileDialog &dialog, bool save);

    HWND fallback_ = nullptr;
    logic::TFolderMemory folders_;
};

// The Win32 filter of a "desc|pattern|..." filter: its parts separated by NULs, two at the end.
std::wstring Win32Filter(const std::string &filter);

} // namespace kvb::win32ui
