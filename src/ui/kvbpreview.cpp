#include "ui/kvbpreview.h"

#include "qt/tex_image.h"
#include "ui/form_helpers.h"

#include <QContextMenuEvent>
#include <QLabel>
#include <QMenu>
#include <QPixmap>
#include <QShortcut>

namespace kvb::ui {

namespace {

constexpr int kMaxZoom = 8;

} // namespace

TfrmTexView::TfrmTexView(Dialogs &dialogs, QWidget *parent)
    : QDialog(parent, Qt::Tool), dialogs_(dialogs)
{
    setObjectName("frmTexView");
    setWindowTitle("Preview");
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setModal(false);

    Image = new QLabel(this);
    Image->setObjectName("Image");
    Image->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Image->setScaledContents(false);

    setFixedSize(688, 453);
    Image->setGeometry(0, 0, 688, 453);
    move(434, 229);

    savPng = {QStringLiteral("PNG images (*.png *.PNG);;All files (*)"), "png", {}};
    auto key = [this](QKeySequence sequence, void (TfrmTexView::*handler)()) {
        On(this, dialogs_, new QShortcut(sequence, this), &QShortcut::activated, handler);
    };
    key(QKeySequence::ZoomIn, &TfrmTexView::ZoomIn);
    key(QKeySequence(Qt::CTRL | Qt::Key_Equal), &TfrmTexView::ZoomIn);
    key(QKeySequence::ZoomOut, &TfrmTexView::ZoomOut);
    key(QKeySequence(Qt::CTRL | Qt::Key_0), &TfrmTexView::ZoomReset);
}

void TfrmTexView::ShowPicture(int width, int height, const QImage &picture)
{
    picture_ = picture;
    zoom_ = 1;
    setFixedHeight(height);
    setFixedWidth(width);
    Image->setGeometry(0, 0, width, height);
    Image->setPixmap(QPixmap::fromImage(picture));
    show();
    raise();
    activateWindow();
}

void TfrmTexView::ShowZoomed()
{
    const QSize size = picture_.size() * zoom_;
    setFixedSize(size);
    Image->setGeometry(QRect(QPoint(0, 0), size));
    // Each texel becomes a square of zoom × zoom pixels: no smoothing.
    Image->setPixmap(QPixmap::fromImage(picture_.scaled(size, Qt::IgnoreAspectRatio,
                                                        Qt::FastTransformation)));
}

void TfrmTexView::ZoomIn()
{
    if (picture_.isNull() || zoom_ >= kMaxZoom)
        return;
    ++zoom_;
    ShowZoomed();
}

void TfrmTexView::ZoomOut()
{
    if (picture_.isNull() || zoom_ <= 1)
        return;
    --zoom_;
    ShowZoomed();
}

void TfrmTexView::ZoomReset()
{
    if (picture_.isNull() || zoom_ == 1)
        return;
    zoom_ = 1;
    ShowZoomed();
}

void TfrmTexView::mnuSavePngClick()
{
    if (picture_.isNull())
        return;
    std::optional<QString> target = dialogs_.SaveFile(savPng);
    if (!target)
        return;
    SaveImageAsPng(picture_, target->toStdString());
}

std::unique_ptr<QMenu> TfrmTexView::PictureMenu()
{
    auto menu = std::make_unique<QMenu>(this);
    auto add = [&](const char *name, const QString &text, QKeySequence keys,
                   void (TfrmTexView::*handler)()) {
        QAction *action = menu->addAction(text);
        action->setObjectName(name);
        action->setShortcut(keys);
        action->setEnabled(!picture_.isNull());
        On(this, dialogs_, action, &QAction::triggered, handler);
    };
    add("mnuSavePng", "Save as PNG...", {}, &TfrmTexView::mnuSavePngClick);
    menu->addSeparator();
    add("mnuZoomIn", "Zoom in", QKeySequence::ZoomIn, &TfrmTexView::ZoomIn);
    add("mnuZoomOut", "Zoom out", QKeySequence::ZoomOut, &TfrmTexView::ZoomOut);
    add("mnuZoomReset", "Actual size", QKeySequence(Qt::CTRL | Qt::Key_0), &TfrmTexView::ZoomReset);
    return menu;
}

void TfrmTexView::contextMenuEvent(QContextMenuEvent *event)
{
    std::unique_ptr<QMenu> menu = PictureMenu();
    menu->exec(event->globalPos());
}

} // namespace kvb::ui
