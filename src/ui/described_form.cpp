#include "ui/described_form.h"
#include "ui/status_label.h"

#include "preview/thumbnail.h"

#include <QBoxLayout>
#include <QFontMetrics>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QProgressBar>
#include <QToolButton>

namespace kvb::ui {

namespace {

using logic::TControlKind;

// Space between the places of a box.
constexpr int kSpacing = 5;

QWidget *Make(const logic::TControlLook &c, QWidget *parent)
{
    QWidget *w = nullptr;
    switch (c.Kind) {
    case TControlKind::Button: {
        auto *b = new QPushButton(Q(c.Caption), parent);
        PressOnEnter(b);
        b->setAutoDefault(false);
        w = b;
        break;
    }
    case TControlKind::CheckBox: {
        auto *box = new QCheckBox(Q(c.Caption), parent);
        box->setChecked(c.Checked);
        w = box;
        break;
    }
    case TControlKind::Label: w = new QLabel(Q(c.Caption), parent); break;
    case TControlKind::Note:
    case TControlKind::Text: {
        auto *label = new QLabel(Q(c.Caption), parent);
        label->setWordWrap(true);
        label->setAlignment((c.Kind == TControlKind::Note ? Qt::AlignHCenter : Qt::AlignLeft) |
                            Qt::AlignTop);
        w = label;
        break;
    }
    case TControlKind::StatusText: {
        auto *label = new TStatusLabel(parent);
        label->SetFullText(Q(c.Caption));
        w = label;
        break;
    }
    case TControlKind::Link: w = new TLinkLabel(Q(c.Caption), parent); break;
    case TControlKind::ReportList: {
        auto *list = new TEntryList(parent);
        std::vector<std::pair<QString, int>> columns;
        for (const logic::TColumn &column : c.Columns)
            columns.emplace_back(Q(column.Caption),
                                 column.WideAs.empty()
                                     ? column.Width
                                     : parent->fontMetrics().horizontalAdvance(Q(column.WideAs)) + 12);
        SetUpReportList(list, c.Name.c_str(), columns);
        if (c.SeveralRows)
            list->setSelectionMode(QAbstractItemView::ExtendedSelection);
        // Clicked, a header sorts; the list's own sorting stays off, the logic sorts.
        list->header()->setSectionsClickable(c.ClickableHeaders);
        // The selection stays visible while another list has the focus (the advanced window
        // links a row of one list to a row of the other).
        DerivePalette(list, [](QPalette &own, const QPalette &inherited) {
            for (auto role : {QPalette::Highlight, QPalette::HighlightedText})
                own.setColor(QPalette::Inactive, role, inherited.color(QPalette::Active, role));
        });
        w = list;
        break;
    }
    case TControlKind::InfoList: w = InfoList(parent); break;
    case TControlKind::Edit: {
        auto *edit = new QLineEdit(parent);
        edit->setPlaceholderText(Q(c.Caption));
        edit->setClearButtonEnabled(true);
        for (QToolButton *clear : edit->findChildren<QToolButton *>())
            clear->setAccessibleName(Q(logic::kClearEditName));
        w = edit;
        break;
    }
    case TControlKind::BlockSelector: {
        auto *combo = new QComboBox(parent);
        combo->setEditable(false);
        // A list with a scroll bar, not a menu as tall as the screen, for archives of many blocks.
        combo->setStyleSheet("combobox-popup: 0;");
        combo->setMaxVisibleItems(20);
        // Qt on Linux names a drop-down list by the label it shows; what it is for is its
        // description there.
        combo->setAccessibleDescription(Q(logic::AccessibleNameOf(c)));
        w = combo;
        break;
    }
    case TControlKind::ThumbnailGrid: {
        // Its model is the window's, which knows the thumbnails.
        auto *grid = new QListView(parent);
        grid->setViewMode(QListView::IconMode);
        grid->setResizeMode(QListView::Adjust);
        grid->setMovement(QListView::Static);
        grid->setUniformItemSizes(true);
        grid->setWordWrap(true);
        grid->setIconSize(QSize(kThumbnailSide, kThumbnailSide));
        // Room for the picture and two lines of caption under it.
        grid->setGridSize(QSize(kThumbnailSide + 28,
                                kThumbnailSide + 2 * parent->fontMetrics().height() + 14));
        grid->setSpacing(4);
        if (c.SeveralRows)
            grid->setSelectionMode(QAbstractItemView::ExtendedSelection);
        w = grid;
        break;
    }
    case TControlKind::ProgressBar: {
        auto *bar = new QProgressBar(parent);
        bar->setRange(0, 100);
        bar->setValue(0);
        bar->setTextVisible(false);
        bar->setFixedHeight(16);
        w = bar;
        break;
    }
    }
    w->setObjectName(Q(c.Name));
    // Text shown is its own name, whatever the logic shows there later.
    if (!logic::ShowsItsName(c.Kind) || !c.AccessibleName.empty())
        w->setAccessibleName(Q(logic::AccessibleNameOf(c)));
    if (c.Width > 0)
        w->setFixedWidth(c.Width);
    if (c.Height > 0)
        w->setFixedHeight(c.Height);
    if (c.LeastWidth > 0)
        w->setMinimumWidth(c.LeastWidth);
    if (c.LeastHeight > 0)
        w->setMinimumHeight(c.LeastHeight);
    if (c.DuringWork == logic::TDuringWork::OnlyThen)
        w->setEnabled(false);
    if (c.Hidden)
        w->hide();
    return w;
}

bool Fills(TControlKind kind)
{
    return kind == TControlKind::ReportList || kind == TControlKind::InfoList ||
           kind == TControlKind::ThumbnailGrid;
}

} // namespace

TDescribedControls::TDescribedControls(QWidget *parent,
                                       const std::vector<const logic::TControlLook *> &controls,
                                       const logic::TPlace &layout, QBoxLayout *box)
{
    for (const logic::TControlLook *c : controls)
        widgets_.emplace_back(c, Make(*c, parent));
    box->setSpacing(kSpacing);
    Lay(layout, box);
}

QWidget *TDescribedControls::Find(const std::string &name) const
{
    for (const auto &[look, widget] : widgets_)
        if (look->Name == name)
            return widget;
    return nullptr;
}

void TDescribedControls::Lay(const logic::TPlace &place, QBoxLayout *box) const
{
    bool grows = false;
    for (const logic::TPlace &item : place.Items) {
        grows = grows || item.Grow > 0;
        if (!item.Control.empty()) {
            QWidget *w = Find(item.Control);
            const logic::TControlLook *look = nullptr;
            for (const auto &[l, widget] : widgets_)
                if (widget == w)
                    look = l;
            // Across a row a control stands at its top (lists fill it); across a column it
            // fills the width; a centred one stands in the middle.
            Qt::Alignment align;
            if (item.Centred)
                align = place.Row ? Qt::AlignVCenter : Qt::AlignHCenter;
            else if (place.Row && !Fills(look->Kind))
                align = Qt::AlignTop;
            box->addWidget(w, item.Grow, align);
        } else if (item.Items.empty()) {
            box->addStretch(item.Grow);
        } else {
            QBoxLayout *inner = item.Row ? static_cast<QBoxLayout *>(new QHBoxLayout)
                                         : static_cast<QBoxLayout *>(new QVBoxLayout);
            inner->setSpacing(item.Row ? 4 : kSpacing);
            box->addLayout(inner, item.Grow);
            Lay(item, inner);
        }
    }
    // Where nothing takes the room a box gains, its places keep together at its start.
    if (!grows)
        box->addStretch(1);
}

void TDescribedControls::SetBusy(bool busy) const
{
    for (const auto &[look, widget] : widgets_) {
        switch (look->DuringWork) {
        case logic::TDuringWork::Disabled: widget->setEnabled(!busy); break;
        case logic::TDuringWork::Kept: break;
        case logic::TDuringWork::OnlyThen: widget->setEnabled(busy); break;
        }
    }
}

void TDescribedControls::SetTabOrder(const std::vector<std::string> &order) const
{
    for (size_t i = 1; i < order.size(); ++i)
        QWidget::setTabOrder(Find(order[i - 1]), Find(order[i]));
}

std::vector<QKeySequence> KeySequences(logic::TKey key)
{
    using logic::TKey;
    switch (key) {
    case TKey::Return: return {QKeySequence(Qt::Key_Return)};
    case TKey::Escape: return {QKeySequence(Qt::Key_Escape)};
    case TKey::CtrlF: return {QKeySequence(Qt::CTRL | Qt::Key_F)};
    case TKey::F3: return {QKeySequence(Qt::Key_F3)};
    case TKey::CtrlO: return {QKeySequence(Qt::CTRL | Qt::Key_O)};
    case TKey::CtrlE: return {QKeySequence(Qt::CTRL | Qt::Key_E)};
    case TKey::CtrlA: return {QKeySequence(Qt::CTRL | Qt::Key_A)};
    // Ctrl++ is Ctrl+Shift+= on many keyboards: both, and Ctrl+= without the Shift.
    case TKey::CtrlPlus:
        return {QKeySequence(Qt::CTRL | Qt::Key_Plus), QKeySequence(Qt::CTRL | Qt::Key_Equal)};
    case TKey::CtrlMinus: return {QKeySequence(Qt::CTRL | Qt::Key_Minus)};
    case TKey::Ctrl0: return {QKeySequence(Qt::CTRL | Qt::Key_0)};
    case TKey::Space: return {QKeySequence(Qt::Key_Space)};
    }
    return {};
}

std::optional<logic::TKey> ShiftedKey(const QKeyEvent &event)
{
    const Qt::KeyboardModifiers modifiers = event.modifiers() & ~Qt::KeypadModifier;
    if (modifiers == (Qt::ControlModifier | Qt::ShiftModifier) &&
        (event.key() == Qt::Key_Plus || event.key() == Qt::Key_Equal))
        return logic::TKey::CtrlPlus;
    return std::nullopt;
}

} // namespace kvb::ui
