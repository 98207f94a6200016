#include "ui/kapdlg.h"

#include <QDir>
#include <QFileInfo>

namespace kvb::ui {

bool TFolderDialog::Execute()
{
    std::optional<QString> chosen = dialogs_.ChooseFolder(Title);
    if (!chosen || chosen->isEmpty())
        return false;
    QString path = QDir::toNativeSeparators(*chosen);
    if (!path.endsWith(QDir::separator()))
        path += QDir::separator();
    QString name = QFileInfo(QDir::cleanPath(*chosen)).fileName();
    simpleName_ = name.isEmpty() ? path : name;
    path_ = path;
    return true;
}

} // namespace kvb::ui
