#include "ui/kvbpreview.h"

#include "qt/tex_image.h"
#include "ui/described_form.h"

#include <QContextMenuEvent>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QPixmap>
#include <QScreen>
#include <QScrollArea>
#include <QStyle>
#include <QVBoxLayout>

#include <algorithm>

namespace kvb::ui {

TfrmTexView::TfrmTexView(logic::TDialogs &dialogs, QWidget *beside)
    : QWidget(nullptr, Qt::Window),
      dialogs_(dialogs),
      logic_(*this, dialogs),
      beside_(beside)
{
    const auto &description = logic::TTexViewLogic::Description();
    setObjectName(Q(description.Name));
    setWindowTitle(Q(description.Caption));
    // An ordinary window of its own: not kept above the main window, not taking the focus
    // from its list when a texture is shown, and not keeping the program alive once the main
    // window has closed.
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_QuitOnClose, false);
    if (beside)
        setFont(beside->font());

    Scroller = new QScrollArea(this);
    Scroller->setObjectName("Scroller");
    Scroller->setFrameShape(QFrame::NoFrame);
    Scroller->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    // As small as the smallest texture: the scroll bars' room is no minimum.
    Scroller->setMinimumSize(1, 1);
    Image = new QLabel;
    Image->setObjectName("Image");
    Image->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Image->setScaledContents(false);
    Scroller->setWidget(Image);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(Scroller);
    resize(description.Width, description.Height);
    move(434, 229);

    Bind(this, dialogs_, logic_, logic::TTexViewLogic::Description(), TDescribedControls());
}

logic::TRect TfrmTexView::Room() const
{
    const QScreen *screen = beside_ ? beside_->screen() : QGuiApplication::primaryScreen();
    const QRect work = screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
    const QRect main = beside_ ? beside_->frameGeometry() : QRect(work.topLeft(), QSize(0, 0));
    return logic::RoomBeside({work.x(), work.y(), work.width(), work.height()},
                             {main.x(), main.y(), main.width(), main.height()});
}

QSize TfrmTexView::FrameExtra() const
{
    // The window manager's frame, as far as it is known before the window is first shown.
    const QSize frame = frameGeometry().size() - geometry().size();
    return frame.isValid() && !frame.isEmpty() ? frame : QSize(8, 30);
}

logic::TRect TfrmTexView::FreeArea() const
{
    logic::TRect room = Room();
    room.Width -= FrameExtra().width();
    room.Height -= FrameExtra().height();
    return room;
}

void TfrmTexView::ShowPicture(const TTexImage &texture, int percent, const std::string &caption)
{
    const QImage picture = TexImageToQImage(texture);
    const logic::TSize scaled = logic::ScaledSize(picture.width(), picture.height(), percent);
    const QSize size(scaled.Width, scaled.Height);
    // Enlarged, each texel a sharp square; reduced, smoothed so that thin lines stay visible.
    Image->setPixmap(QPixmap::fromImage(
        percent == 100
            ? picture
            : picture.scaled(size, Qt::IgnoreAspectRatio,
                             percent > 100 ? Qt::FastTransformation : Qt::SmoothTransformation)));
    Image->resize(size);
    setWindowTitle(Q(caption));
    // The picture's name for screen readers: which texture, at which size.
    Image->setAccessibleName(Q(caption));

    // The client area fits the picture within the room beside the main window; scroll bars
    // show the rest.
    const int bar = style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    const logic::TSize client = logic::ClientSizeFor(scaled, FreeArea(), bar, bar);
    // No narrower than its title, with the icon and the caption's buttons beside it: a small
    // picture leaves room at its right rather than cutting the title off. Window managers draw
    // titles in their own font, often a bold one larger than the window's.
    QFont titleFont = QFontDatabase::systemFont(QFontDatabase::TitleFont);
    titleFont.setBold(true);
    const int title = std::max(fontMetrics().horizontalAdvance(Q(caption)),
                               QFontMetrics(titleFont).horizontalAdvance(Q(caption))) +
                      5 * style()->pixelMetric(QStyle::PM_TitleBarHeight);
    resize(std::max(client.Width, std::min(title, FreeArea().Width)), client.Height);
    if (!isVisible()) {
        const logic::TRect room = Room();
        move(room.Left, room.Top);
        show();
    }
}

std::unique_ptr<QMenu> TfrmTexView::PictureMenu()
{
    return DescribedMenu(this, dialogs_, logic_, logic::TTexViewLogic::Description());
}

void TfrmTexView::Hide()
{
    close();
}

void TfrmTexView::contextMenuEvent(QContextMenuEvent *event)
{
    PictureMenu()->exec(event->globalPos());
}

void TfrmTexView::keyPressEvent(QKeyEvent *event)
{
    if (RunShiftedKey(dialogs_, logic_, logic::TTexViewLogic::Description(), *event))
        return;
    QWidget::keyPressEvent(event);
}

} // namespace kvb::ui
