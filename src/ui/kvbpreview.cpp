#include "ui/kvbpreview.h"

#include <QImage>
#include <QLabel>
#include <QPixmap>

namespace kvb::ui {

TfrmTexView::TfrmTexView(QWidget *parent) : QDialog(parent, Qt::Tool)
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
}

void TfrmTexView::ShowPicture(int width, int height, const QImage &picture)
{
    setFixedHeight(height);
    setFixedWidth(width);
    Image->setGeometry(0, 0, width, height);
    Image->setPixmap(QPixmap::fromImage(picture));
    show();
    raise();
    activateWindow();
}

} // namespace kvb::ui
