// TFolderDialog: the folder chooser that "Extract all" and "Create KVB" use.
#pragma once

#include "ui/dialogs.h"

#include <QString>

namespace kvb::ui {

class TFolderDialog {
public:
    explicit TFolderDialog(Dialogs &dialogs) : dialogs_(dialogs) {}

    QString Title;
    // The folder chosen last, ending with the separator; empty until a folder was chosen.
    const QString &Path() const { return path_; }
    // The chosen folder's own name, as a file manager shows it.
    const QString &SimpleName() const { return simpleName_; }

    // Shows the chooser; true when a folder was chosen. On cancel Path and SimpleName keep
    // their values.
    bool Execute();

private:
    Dialogs &dialogs_;
    QString path_;
    QString simpleName_;
};

} // namespace kvb::ui
