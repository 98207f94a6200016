// TFolderDialog: the folder chooser that "Extract all" and "Create KVB" use.
#pragma once

#include "ui/dialogs.h"

#include <QString>

namespace kvb::ui {

class TFolderDialog {
public:
    explicit TFolderDialog(Dialogs &dialogs) : dialogs_(dialogs) {}

    // The prompt shown with the chooser; empty for both of the main window's uses.
    QString Title;
    // The folder chosen last, ending with the separator; empty until a folder was chosen.
    const QString &Path() const { return path_; }

    // Shows the chooser; true when a folder was chosen. On cancel Path keeps its value.
    bool Execute();

private:
    Dialogs &dialogs_;
    QString path_;
};

} // namespace kvb::ui
