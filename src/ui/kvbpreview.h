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

    // Sizes the client area to the texture (height first, then width) and shows the picture,
    // unscaled, from the top-left corner. A texture without pixels has a null picture.
    void ShowPicture(int width, int height, const QImage &picture);

    QLabel *Image;
};

} // namespace kvb::ui
