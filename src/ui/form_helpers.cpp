#include "ui/form_helpers.h"

#include "archive/info_lines.h"

#include <QHeaderView>
#include <QTreeWidget>

namespace kvb::ui {

QString Shown(const std::string &archiveText)
{
    return QString::fromStdString(ShownText(archiveText));
}

QTreeWidget *ReportList(QWidget *parent, const char *name,
                        std::initializer_list<std::pair<QString, int>> columns)
{
    auto *list = new QTreeWidget(parent);
    list->setObjectName(name);
    list->setColumnCount(int(columns.size()));
    QStringList captions;
    for (const auto &[caption, width] : columns)
        captions << caption;
    list->setHeaderLabels(captions);
    int column = 0;
    for (const auto &[caption, width] : columns)
        list->setColumnWidth(column++, width);
    list->header()->setSectionsClickable(false);
    list->header()->setSectionsMovable(false);
    list->setRootIsDecorated(false);
    list->setUniformRowHeights(true);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    return list;
}

} // namespace kvb::ui
