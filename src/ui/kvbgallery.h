// TfrmGallery: the gallery as Qt draws it, a window beside the main window. Its grid is a list
// view in icon mode over a model that asks the window's logic (logic/gallery_window.h) for each
// thumbnail as the view paints it; a timer hands the logic's thread what is wanted and paints
// what it made.
#pragma once

#include "logic/face.h"
#include "logic/gallery_window.h"

#include <QAbstractListModel>
#include <QDialog>
#include <QTimer>

#include <memory>

class QLabel;
class QLineEdit;
class QListView;
class QMenu;
class QPushButton;

namespace kvb::ui {

class TDescribedControls;

// The items of the grid: their captions, and their thumbnails as the logic has them.
class TThumbnailModel : public QAbstractListModel {
    Q_OBJECT
public:
    explicit TThumbnailModel(logic::TGalleryLogic &logic, QObject *parent = nullptr);
    void SetCaptions(std::vector<QString> captions);
    // The items whose thumbnails changed.
    void Changed(const std::vector<int> &items);

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;

private:
    logic::TGalleryLogic &logic_;
    std::vector<QString> captions_;
    // What stands for a thumbnail not made yet, and for a texture that shows no picture.
    QImage waiting_, none_;
};

class TfrmGallery : public QDialog, public logic::TGalleryView {
    Q_OBJECT
public:
    // beside: the main window, which the gallery stands beside; the gallery is not modal.
    explicit TfrmGallery(logic::TDialogs &dialogs, QWidget *beside = nullptr);
    ~TfrmGallery() override;

    logic::TGalleryLogic &Logic() { return logic_; }
    // The grid's context menu for the selection, as the window's description has it.
    std::unique_ptr<QMenu> ItemMenu();

    // The controls the window's description names.
    QLineEdit *edtGalleryFilter;
    QLabel *lblGalleryCount;
    QListView *lstThumbs;
    QPushButton *btnClose;

    // Every way of closing ends here, so the thumbnails and their thread go with the window.
    void done(int result) override;

    // TGalleryView.
    void SetCaption(const std::string &caption) override;
    void SetItems(const std::vector<std::string> &captions) override;
    std::vector<int> SelectedItems() const override;
    int CurrentItem() const override;
    void SelectAllItems() override;
    std::string FilterText() const override;
    void SetFilterText(const std::string &text) override;
    void SetCount(const std::string &text) override;
    void ShowWindow() override;
    void Close() override;

private:
    logic::TDialogs &dialogs_;
    std::unique_ptr<TDescribedControls> controls_;
    logic::TGalleryLogic logic_;
    TThumbnailModel model_;
    QTimer steps_;
    QWidget *beside_;
};

} // namespace kvb::ui
