// TfrmTexView: the window that shows a previewed texture at its own size.
#pragma once

#include <QDialog>

class QLabel;
class QImage;

namespace kvb::ui {

class TfrmTexView : public QDialog {
    Q_OBJECT
public:
    explicit TfrmTexView(QWidget *parent = nullptr);

    // Sizes the client area to the picture (height first, then width) and shows it, unscaled,
    // from the top-left corner.
    void ShowPicture(const QImage &picture);

    QLabel *Image;
};

} // namespace kvb::ui
