#include "ui/entry_list.h"

#include <QMimeData>
#include <QUrl>

#include <algorithm>

namespace kvb::ui {

TEntryList::TEntryList(QWidget *parent) : QTreeWidget(parent)
{
}

void TEntryList::AllowDragging(TExtract extract, std::function<void(const std::exception &)> failed)
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
    std::vector<int> rows;
    for (QTreeWidgetItem *item : items)
        rows.push_back(indexOfTopLevelItem(item));
    std::sort(rows.begin(), rows.end());
    try {
        QList<QUrl> urls;
        for (const std::string &path : ExtractForDrag(rows))
            urls.append(QUrl::fromLocalFile(QString::fromStdString(path)));
        auto *data = new QMimeData;
        data->setUrls(urls);
        return data;
    } catch (const std::exception &e) {
        if (DragFailed)
            DragFailed(e);
        return nullptr;
    }
}

} // namespace kvb::ui
