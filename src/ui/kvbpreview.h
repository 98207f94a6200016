// TfrmTexView: the window that shows a previewed texture at its own size, or enlarged by whole
// steps with its pixels kept sharp, and saves it as a PNG.
#pragma once

#include "ui/dialogs.h"

#include <QDialog>
#include <QImage>

#include <memory>

class QContextMenuEvent;
class QLabel;
class QMenu;

namespace kvb::ui {

class TfrmTexView : public QDialog {
    Q_OBJECT
public:
    explicit TfrmTexView(Dialogs &dialogs, QWidget *parent = nullptr);

    // Sizes the client area to the texture (height first, then width) and shows the picture,
    // unscaled, from the top-left corner. A texture without pixels has a null picture.
    void ShowPicture(int width, int height, const QImage &picture);

    // The window's context menu: "Save as PNG...", "Zoom in", "Zoom out", "Actual size"
    // (actions mnuSavePng, mnuZoomIn, mnuZoomOut, mnuZoomReset); the menu belongs to the caller.
    std::unique_ptr<QMenu> PictureMenu();
    // Ctrl++, Ctrl+- and Ctrl+0: the picture at 1 to 8 times its size.
    void ZoomIn();
    void ZoomOut();
    void ZoomReset();
    int Zoom() const { return zoom_; }
    void mnuSavePngClick();

    QLabel *Image;
    FileDialogOptions savPng;

protected:
    void contextMenuEvent(QContextMenuEvent *event) override;

private:
    void ShowZoomed();

    Dialogs &dialogs_;
    QImage picture_;
    int zoom_ = 1;
};

} // namespace kvb::ui
