#include "ui/kvbpreview.h"

#include "qt/tex_image.h"
#include "ui/form_helpers.h"

#include <QContextMenuEvent>
#include <QLabel>
#include <QMenu>
#include <QPixmap>
#include <QShortcut>

namespace kvb::ui {

TfrmTexView::TfrmTexView(logic::TDialogs &dialogs, QWidget *parent)
    : QDialog(parent, Qt::Tool), dialogs_(dialogs), logic_(*this, dialogs)
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

    logic::TTexViewLogic &l = logic_;
    auto key = [&](QKeySequence keys, std::function<void()> call) {
        On(this, dialogs_, new QShortcut(keys, this), &QShortcut::activated, call);
    };
    key(QKeySequence::ZoomIn, [&l] { l.ZoomIn(); });
    key(QKeySequence(Qt::CTRL | Qt::Key_Equal), [&l] { l.ZoomIn(); });
    key(QKeySequence::ZoomOut, [&l] { l.ZoomOut(); });
    key(QKeySequence(Qt::CTRL | Qt::Key_0), [&l] { l.ZoomReset(); });
}

void TfrmTexView::ShowPicture(const TTexImage &texture, int zoom)
{
    const QImage picture = TexImageToQImage(texture);
    const QSize size = picture.size() * zoom;
    // Height first, then width, as the window is sized for a new texture.
    setFixedHeight(size.height());
    setFixedWidth(size.width());
    Image->setGeometry(QRect(QPoint(0, 0), size));
    // Each texel becomes a square of zoom × zoom pixels: no smoothing.
    Image->setPixmap(QPixmap::fromImage(
        zoom == 1 ? picture : picture.scaled(size, Qt::IgnoreAspectRatio, Qt::FastTransformation)));
    if (zoom == 1) {
        show();
        raise();
        activateWindow();
    }
}

std::unique_ptr<QMenu> TfrmTexView::PictureMenu()
{
    auto menu = std::make_unique<QMenu>(this);
    logic::TTexViewLogic &l = logic_;
    auto add = [&](const char *name, const QString &text, QKeySequence keys, std::function<void()> call) {
        QAction *action = menu->addAction(text);
        action->setObjectName(name);
        action->setShortcut(keys);
        action->setEnabled(l.HasPicture());
        On(this, dialogs_, action, &QAction::triggered, call);
    };
    add("mnuSavePng", "Save as PNG...", {}, [&l] { l.mnuSavePngClick(); });
    menu->addSeparator();
    add("mnuZoomIn", "Zoom in", QKeySequence::ZoomIn, [&l] { l.ZoomIn(); });
    add("mnuZoomOut", "Zoom out", QKeySequence::ZoomOut, [&l] { l.ZoomOut(); });
    add("mnuZoomReset", "Actual size", QKeySequence(Qt::CTRL | Qt::Key_0), [&l] { l.ZoomReset(); });
    return menu;
}

void TfrmTexView::contextMenuEvent(QContextMenuEvent *event)
{
    PictureMenu()->exec(event->globalPos());
}

} // namespace kvb::ui
