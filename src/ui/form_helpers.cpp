#include "ui/form_helpers.h"

#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLayout>
#include <QListWidget>
#include <QMimeData>
#include <QPushButton>
#include <QScreen>
#include <QTreeWidget>
#include <QUrl>

#include <algorithm>
#include <cmath>

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

double Luminance(const QColor &colour)
{
    const auto linear = [](double c) {
        return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    };
    const QColor rgb = colour.toRgb();
    return 0.2126 * linear(rgb.redF()) + 0.7152 * linear(rgb.greenF()) + 0.0722 * linear(rgb.blueF());
}

} // namespace

double ContrastRatio(const QColor &a, const QColor &b)
{
    const double la = Luminance(a), lb = Luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QColor ReadableOn(const QColor &colour, const QColor &background, const QColor &fallback)
{
    constexpr double kLeast = 4.5;
    const QColor from = colour.toRgb(), to = fallback.toRgb();
    for (int step = 0; step <= 10; ++step) {
        const double t = step / 10.0;
        const QColor mixed = QColor::fromRgbF(float(from.redF() + (to.redF() - from.redF()) * t),
                                              float(from.greenF() + (to.greenF() - from.greenF()) * t),
                                              float(from.blueF() + (to.blueF() - from.blueF()) * t));
        if (ContrastRatio(mixed, background) >= kLeast)
            return mixed;
    }
    return to;
}

void DerivePalette(QWidget *widget,
                   const std::function<void(QPalette &own, const QPalette &inherited)> &derive)
{
    const QPalette inherited = widget->parentWidget() ? widget->parentWidget()->palette()
                                                      : QApplication::palette(widget);
    QPalette own = widget->palette();
    derive(own, inherited);
    widget->setPalette(own);
}

QListWidget *InfoList(QWidget *parent)
{
    auto *list = new QListWidget(parent);
    list->setObjectName("lstInfo");
    // The window's colours, set apart from the lists' white by the frame; the same in every
    // state, since grey text of a disabled list would be hard to read.
    DerivePalette(list, [](QPalette &own, const QPalette &inherited) {
        for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
            own.setColor(group, QPalette::Base, inherited.color(QPalette::Active, QPalette::Window));
            own.setColor(group, QPalette::Text, inherited.color(QPalette::Active, QPalette::WindowText));
        }
    });
    return list;
}

QSize LeastSize(QWidget *content, int leastWidth)
{
    // Measured, not laid out: the controls take their places once the window has its size.
    const QLayout *layout = content->layout();
    // A layout's own minimum takes a wrapped text at the width that suits it best, not at the
    // narrow width it has in the smallest window, where it needs more lines.
    const QSize minimum = layout->totalMinimumSize();
    const int width = std::max(leastWidth, minimum.width());
    if (!layout->hasHeightForWidth())
        return QSize(width, minimum.height());
    const QMargins margins = layout->contentsMargins();
    const int height = layout->minimumHeightForWidth(width - margins.left() - margins.right()) +
                       margins.top() + margins.bottom();
    return QSize(width, std::max(minimum.height(), height));
}

void PlaceOnScreen(QWidget *window, QSize size, std::optional<QPoint> at)
{
    const QScreen *screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    if (!screen) {
        window->resize(size);
        if (at)
            window->move(*at);
        return;
    }
    const QRect free = screen->availableGeometry();
    // The window manager's frame is known only once the window has been shown: until then, room
    // for a title bar and borders.
    QSize frame = window->frameGeometry().size() - window->geometry().size();
    if (frame.isEmpty())
        frame = QSize(8, 30);
    const QSize least = window->minimumSize();
    size = size.boundedTo(free.size() - frame).expandedTo(least);
    window->resize(size);
    const QSize outer = size + frame;
    QPoint place = at ? *at : free.center() - QPoint(outer.width() / 2, outer.height() / 2);
    place.setX(std::max(free.left(), std::min(place.x(), free.right() + 1 - outer.width())));
    place.setY(std::max(free.top(), std::min(place.y(), free.bottom() + 1 - outer.height())));
    window->move(place);
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
    if (QTreeWidgetItem *current = list->currentItem(); current && current->isSelected())
        return list->indexOfTopLevelItem(current);
    const std::vector<int> rows = SelectedRows(list);
    return rows.empty() ? -1 : rows.front();
}

std::vector<int> SelectedRows(const QTreeWidget *list)
{
    std::vector<int> rows;
    for (QTreeWidgetItem *item : list->selectedItems())
        rows.push_back(list->indexOfTopLevelItem(item));
    std::sort(rows.begin(), rows.end());
    return rows;
}

void SelectReportRow(QTreeWidget *list, int row, bool focus)
{
    QTreeWidgetItem *item = list->topLevelItem(row);
    if (!item)
        return;
    // Alone, whichever keys the user holds: a list of several rows would otherwise add it.
    list->setCurrentItem(item, 0, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    list->scrollToItem(item, QAbstractItemView::EnsureVisible);
    if (focus)
        list->setFocus();
}

std::vector<std::string> DroppedFiles(const QMimeData *data)
{
    std::vector<std::string> paths;
    if (data && data->hasUrls())
        for (const QUrl &url : data->urls())
            if (url.isLocalFile())
                paths.push_back(url.toLocalFile().toStdString());
    return paths;
}

} // namespace kvb::ui
