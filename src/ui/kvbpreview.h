// TfrmTexView: the preview window as Qt draws it: the picture the logic (logic/preview_window.h)
// hands it, and a context menu and keys forwarded to the logic.
#pragma once

#include "logic/preview_window.h"

#include <QWidget>

#include <memory>

class QContextMenuEvent;
class QKeyEvent;
class QLabel;
class QScrollArea;
class QMenu;

namespace kvb::ui {

class TfrmTexView : public QWidget, public logic::TTexView {
    Q_OBJECT
public:
    // beside: the main window, which the preview is placed beside; it does not own the preview.
    explicit TfrmTexView(logic::TDialogs &dialogs, QWidget *beside = nullptr);

    logic::TTexViewLogic &Logic() { return logic_; }

    // The window's context menu: "Save as PNG...", "Zoom in", "Zoom out", "Actual size"
    // (actions mnuSavePng, mnuZoomIn, mnuZoomOut, mnuZoomReset); the menu belongs to the caller.
    std::unique_ptr<QMenu> PictureMenu();

    QScrollArea *Scroller;
    QLabel *Image;

    // TTexView.
    logic::TRect FreeArea() const override;
    void ShowPicture(const TTexImage &texture, int percent, const std::string &caption) override;
    void Hide() override;

protected:
    void contextMenuEvent(QContextMenuEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    // The room beside the main window, frame included, and the frame's share of it.
    logic::TRect Room() const;
    QSize FrameExtra() const;

    logic::TDialogs &dialogs_;
    logic::TTexViewLogic logic_;
    QWidget *beside_;
};

} // namespace kvb::ui
