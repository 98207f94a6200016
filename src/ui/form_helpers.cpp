#include "ui/form_helpers.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QListWidget>
#include <QPushButton>
#include <QTreeWidget>

namespace kvb::ui {

QString Q(const std::string &text)
{
    return QString::fromStdString(text);
}

namespace {

// Presses a button on Enter when it has the focus.
class TEnterPresses : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent *>(event)->key();
            if (key == Qt::Key_Return || key == Qt::Key_Enter) {
                static_cast<QPushButton *>(watched)->click();
                return true;
            }
        }
        return false;
    }
};

} // namespace

QListWidget *InfoList(QWidget *parent)
{
    auto *list = new QListWidget(parent);
    list->setObjectName("lstInfo");
    QPalette silver = list->palette();
    silver.setColor(QPalette::Base, QColor(0xC0, 0xC0, 0xC0));
    // Grey text of a disabled list would vanish on the silver.
    silver.setColor(QPalette::Disabled, QPalette::Base, QColor(0xC0, 0xC0, 0xC0));
    silver.setColor(QPalette::Disabled, QPalette::Text, silver.color(QPalette::Active, QPalette::Text));
    list->setPalette(silver);
    return list;
}

void PressOnEnter(QPushButton *button)
{
    button->installEventFilter(new TEnterPresses(button));
}

void SetUpReportList(QTreeWidget *list, const char *name,
                     const std::vector<std::pair<QString, int>> &columns)
{
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
    // The list that has the keyboard focus shows it plainly, by a frame in the selection's colour.
    list->setStyleSheet("QTreeView { border: 1px solid palette(mid); }"
                        "QTreeView:focus { border: 2px solid palette(highlight); }");
}

void FillReportList(QTreeWidget *list, const std::vector<std::vector<std::string>> &rows)
{
    list->setUpdatesEnabled(false);
    list->clear();
    QList<QTreeWidgetItem *> items;
    items.reserve(qsizetype(rows.size()));
    for (const std::vector<std::string> &texts : rows) {
        auto *item = new QTreeWidgetItem;
        for (size_t column = 0; column < texts.size(); ++column) {
            item->setText(int(column), Q(texts[column]));
            item->setToolTip(int(column), Q(texts[column]));
        }
        items.append(item);
    }
    list->addTopLevelItems(items);
    list->scrollToTop();
    list->setUpdatesEnabled(true);
}

int SelectedRow(const QTreeWidget *list)
{
    const QList<QTreeWidgetItem *> selected = list->selectedItems();
    return selected.isEmpty() ? -1 : list->indexOfTopLevelItem(selected.first());
}

void SelectReportRow(QTreeWidget *list, int row, bool focus)
{
    QTreeWidgetItem *item = list->topLevelItem(row);
    if (!item)
        return;
    list->setCurrentItem(item);
    list->scrollToItem(item, QAbstractItemView::EnsureVisible);
    if (focus)
        list->setFocus();
}

} // namespace kvb::ui
