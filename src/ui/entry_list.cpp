#include "ui/entry_list.h"

#include <QMimeData>
#include <QUrl>

namespace kvb::ui {

TEntryList::TEntryList(QWidget *parent) : QTreeWidget(parent)
{
}

void TEntryList::AllowDragging(std::function<std::string(int row)> extract,
                               std::function<void(const std::exception &)> failed)
{
    ExtractForDrag = std::move(extract);
    DragFailed = std::move(failed);
    setDragEnabled(true);
    setDragDropMode(QAbstractItemView::DragOnly);
    setDefaultDropAction(Qt::CopyAction);
}

QStringList TEntryList::mimeTypes() const
{
    return {QStringLiteral("text/uri-list")};
}

QMimeData *TEntryList::mimeData(const QList<QTreeWidgetItem *> &items) const
{
    if (items.isEmpty() || !ExtractForDrag)
        return nullptr;
    try {
        const std::string path = ExtractForDrag(indexOfTopLevelItem(items.first()));
        auto *data = new QMimeData;
        data->setUrls({QUrl::fromLocalFile(QString::fromStdString(path))});
        return data;
    } catch (const std::exception &e) {
        if (DragFailed)
            DragFailed(e);
        return nullptr;
    }
}

} // namespace kvb::ui
