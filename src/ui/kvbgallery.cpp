#include "ui/kvbgallery.h"

#include "ui/described_form.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QScreen>

namespace kvb::ui {

namespace {

// How often the timer looks for thumbnails made, in milliseconds.
constexpr int kStepInterval = 15;

// A square of the thumbnail's size: a frame, and for a texture without a picture, a cross.
QImage Placeholder(const QPalette &palette, bool cross)
{
    QImage image(kThumbnailSide, kThumbnailSide, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setPen(palette.color(QPalette::Mid));
    painter.drawRect(0, 0, kThumbnailSide - 1, kThumbnailSide - 1);
    if (cross) {
        painter.drawLine(0, 0, kThumbnailSide - 1, kThumbnailSide - 1);
        painter.drawLine(0, kThumbnailSide - 1, kThumbnailSide - 1, 0);
    }
    return image;
}

} // namespace

TThumbnailModel::TThumbnailModel(logic::TGalleryLogic &logic, QObject *parent)
    : QAbstractListModel(parent),
      logic_(logic),
      waiting_(Placeholder(QApplication::palette(), false)),
      none_(Placeholder(QApplication::palette(), true))
{
}

void TThumbnailModel::SetCaptions(std::vector<QString> captions)
{
    beginResetModel();
    captions_ = std::move(captions);
    endResetModel();
}

void TThumbnailModel::Changed(const std::vector<int> &items)
{
    for (const int item : items)
        if (item >= 0 && size_t(item) < captions_.size())
            emit dataChanged(index(item), index(item), {Qt::DecorationRole, Qt::ToolTipRole});
}

int TThumbnailModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(captions_.size());
}

QVariant TThumbnailModel::data(const QModelIndex &index, int role) const
{
    const int item = index.row();
    if (!index.isValid() || size_t(item) >= captions_.size())
        return {};
    switch (role) {
    case Qt::DisplayRole: return captions_[size_t(item)];
    case Qt::ToolTipRole: return Q(logic_.ItemTooltip(item));
    case Qt::DecorationRole: {
        // Asked for as the view paints the item: that is what makes it wanted.
        const TThumbnail *thumbnail = logic_.Thumbnail(item);
        if (!thumbnail)
            return waiting_;
        if (!thumbnail->Fault.empty())
            return none_;
        // Centred in the square, so that the captions of a row stand in line; drawn into an
        // image of its own, since the logic may let go of its pixels once the item is out of
        // sight.
        const QImage picture(reinterpret_cast<const uchar *>(thumbnail->Pixels.data()), thumbnail->Width,
                             thumbnail->Height, thumbnail->Width * 4, QImage::Format_RGB32);
        QImage square(kThumbnailSide, kThumbnailSide, QImage::Format_ARGB32_Premultiplied);
        square.fill(Qt::transparent);
        QPainter(&square).drawImage((kThumbnailSide - picture.width()) / 2,
                                    (kThumbnailSide - picture.height()) / 2, picture);
        return square;
    }
    default: return {};
    }
}

TfrmGallery::TfrmGallery(logic::TDialogs &dialogs, QWidget *beside)
    : QDialog(beside),
      dialogs_(dialogs),
      logic_(*this),
      model_(logic_),
      beside_(beside)
{
    const auto &description = logic::TGalleryLogic::Description();
    // A window of its own beside the main window, which it may be minimised apart from.
    controls_ = DescribeWindow(this, description,
                               Qt::Window | Qt::WindowTitleHint | Qt::WindowMinMaxButtonsHint |
                                   Qt::WindowCloseButtonHint);
    setModal(false);
    const TDescribedControls &c = *controls_;
    edtGalleryFilter = c.Get<QLineEdit>("edtGalleryFilter");
    lblGalleryCount = c.Get<QLabel>("lblGalleryCount");
    lstThumbs = c.Get<QListView>("lstThumbs");
    btnClose = c.Get<QPushButton>("btnClose");
    lstThumbs->setModel(&model_);
    Bind(this, dialogs_, logic_, description, c);
    lstThumbs->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(lstThumbs, &QWidget::customContextMenuRequested, this, [this](const QPoint &at) {
        logic::Guarded(dialogs_, [&] { ItemMenu()->exec(lstThumbs->viewport()->mapToGlobal(at)); });
    });
    steps_.setInterval(kStepInterval);
    connect(&steps_, &QTimer::timeout, this, [this] {
        logic::Guarded(dialogs_, [this] { model_.Changed(logic_.Step()); });
    });

    setMinimumSize(LeastSize(this, description.LeastWidth));
    resize(description.Width, description.Height);
}

TfrmGallery::~TfrmGallery()
{
    steps_.stop();
    logic_.FormClose();
}

std::unique_ptr<QMenu> TfrmGallery::ItemMenu()
{
    return DescribedMenu(this, dialogs_, logic_, logic::TGalleryLogic::Description());
}

void TfrmGallery::done(int result)
{
    steps_.stop();
    logic_.FormClose();
    QDialog::done(result);
}

void TfrmGallery::SetCaption(const std::string &caption)
{
    setWindowTitle(Q(caption));
}

void TfrmGallery::SetItems(const std::vector<std::string> &captions)
{
    std::vector<QString> shown;
    shown.reserve(captions.size());
    for (const std::string &caption : captions)
        shown.push_back(Q(caption));
    model_.SetCaptions(std::move(shown));
    lstThumbs->scrollToTop();
}

std::vector<int> TfrmGallery::SelectedItems() const
{
    std::vector<int> items;
    for (const QModelIndex &index : lstThumbs->selectionModel()->selectedIndexes())
        items.push_back(index.row());
    std::sort(items.begin(), items.end());
    return items;
}

int TfrmGallery::CurrentItem() const
{
    // The current item when it is selected, otherwise the first selected.
    const QModelIndex current = lstThumbs->currentIndex();
    if (current.isValid() && lstThumbs->selectionModel()->isSelected(current))
        return current.row();
    const std::vector<int> items = SelectedItems();
    return items.empty() ? -1 : items.front();
}

void TfrmGallery::SelectAllItems()
{
    lstThumbs->selectAll();
}

std::string TfrmGallery::FilterText() const
{
    return edtGalleryFilter->text().toStdString();
}

void TfrmGallery::SetFilterText(const std::string &text)
{
    edtGalleryFilter->setText(Q(text));
}

void TfrmGallery::SetCount(const std::string &text)
{
    lblGalleryCount->setText(Q(text));
}

void TfrmGallery::ShowWindow()
{
    if (!isVisible()) {
        // Beside the main window where the screen has room, over it otherwise.
        const auto &description = logic::TGalleryLogic::Description();
        std::optional<QPoint> at;
        if (beside_)
            at = beside_->frameGeometry().topRight() + QPoint(8, 0);
        PlaceOnScreen(this, QSize(description.Width, description.Height), at);
    }
    steps_.start();
    show();
    raise();
    activateWindow();
    lstThumbs->setFocus();
}

void TfrmGallery::Close()
{
    reject();
}

} // namespace kvb::ui
