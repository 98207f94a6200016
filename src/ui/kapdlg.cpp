#include "ui/kapdlg.h"

#include <QDir>

namespace kvb::ui {

bool TFolderDialog::Execute()
{
    std::optional<QString> chosen = dialogs_.ChooseFolder(Title);
    if (!chosen || chosen->isEmpty())
        return false;
    QString path = QDir::toNativeSeparators(*chosen);
    if (!path.endsWith(QDir::separator()))
        path += QDir::separator();
    path_ = path;
    return true;
}

} // namespace kvb::ui
