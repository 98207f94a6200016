// TfrmTexView: the preview window as Qt draws it: the picture the logic (logic/preview_window.h)
// hands it, and a context menu and keys forwarded to the logic.
#pragma once

#include "logic/preview_window.h"

#include <QDialog>

#include <memory>

class QContextMenuEvent;
class QLabel;
class QMenu;

namespace kvb::ui {

class TfrmTexView : public QDialog, public logic::TTexView {
    Q_OBJECT
public:
    explicit TfrmTexView(logic::TDialogs &dialogs, QWidget *parent = nullptr);

    logic::TTexViewLogic &Logic() { return logic_; }

    // The window's context menu: "Save as PNG...", "Zoom in", "Zoom out", "Actual size"
    // (actions mnuSavePng, mnuZoomIn, mnuZoomOut, mnuZoomReset); the menu belongs to the caller.
    std::unique_ptr<QMenu> PictureMenu();

    QLabel *Image;

    // TTexView.
    void ShowPicture(const TTexImage &texture, int zoom) override;

protected:
    void contextMenuEvent(QContextMenuEvent *event) override;

private:
    logic::TDialogs &dialogs_;
    logic::TTexViewLogic logic_;
};

} // namespace kvb::ui
