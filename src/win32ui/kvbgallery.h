// TfrmGallery: the gallery as Win32 draws it, a window beside the main window. Its grid is a
// list view in icon mode that holds no items of its own: it asks for each caption as it paints,
// and each thumbnail is drawn over its item's icon (an image list of one blank picture gives the
// icons their size) from what the window's logic (logic/gallery_window.h) has made. A timer hands
// the logic's thread what is wanted and paints what it made.
#pragma once

#include "logic/face.h"
#include "logic/gallery_window.h"
#include "win32ui/described_form.h"
#include "win32ui/form.h"

#include <memory>
#include <string>
#include <vector>

namespace kvb::win32ui {

class TfrmGallery : public TForm, public logic::TGalleryView {
public:
    // owner: the main window, which it stands beside; the gallery is not modal.
    TfrmGallery(logic::TDialogs &dialogs, HWND owner);
    ~TfrmGallery() override;

    logic::TGalleryLogic &Logic() { return logic_; }
    bool Shown() const { return shown_; }
    // The grid's context menu for the selection; its commands reach the window.
    HMENU ItemMenu() const;

    // The controls the window's description names.
    HWND edtGalleryFilter = nullptr, lblGalleryCount = nullptr, lstThumbs = nullptr, btnClose = nullptr;

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

protected:
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    void OnCommand(int id, int code, HWND control) override;
    LRESULT OnNotify(const NMHDR &header) override;
    void Layout(int width, int height) override;
    SIZE MinimumClientSize() const override;
    bool OnKey(const MSG &message) override;

private:
    void ShowItemMenu(LPARAM at);
    // These items' thumbnails were made: they are painted again.
    void RedrawItems(const std::vector<int> &items);
    // The list view's custom drawing: the thumbnail over each item's icon.
    LRESULT DrawItem(NMLVCUSTOMDRAW &draw);
    void SetIconSizes();

    HWND owner_;
    std::unique_ptr<TDescribedControls> controls_;
    HIMAGELIST icons_ = nullptr;
    std::vector<std::wstring> captions_;
    bool shown_ = false;
    logic::TGalleryLogic logic_;
};

} // namespace kvb::win32ui
