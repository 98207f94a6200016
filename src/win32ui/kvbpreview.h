// TfrmTexView: the preview window as Win32 draws it: the picture the logic
// (logic/preview_window.h) hands it, scaled and scrolled, and a context menu and keys forwarded
// to the logic.
#pragma once

#include "logic/preview_window.h"
#include "win32ui/described_form.h"
#include "win32ui/form.h"
#include "win32ui/tex_dib.h"

namespace kvb::win32ui {

class TfrmTexView : public TForm, public logic::TTexView {
public:
    // beside: the main window, which the preview is placed beside; neither owns the other.
    TfrmTexView(logic::TDialogs &dialogs, HWND beside);

    logic::TTexViewLogic &Logic() { return logic_; }
    // The picture as drawn, and its size at the logic's zoom.
    const TTexDib &Picture() const { return picture_; }
    SIZE PictureSize() const { return size_; }
    // The part of the picture scrolled out of view at the left and the top.
    POINT ScrollPosition() const;
    // The least width of the window (frame included) that shows its whole title: the text in
    // the caption's font, the icon and the caption's buttons.
    int TitleWidth() const;

    // TTexView.
    logic::TRect FreeArea() const override;
    void ShowPicture(const TTexImage &texture, int percent, const std::string &caption) override;
    void Hide() override;

protected:
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    void OnCommand(int id, int code, HWND control) override;
    void Layout(int width, int height) override;
    SIZE MinimumClientSize() const override;
    bool OnKey(const MSG &message) override;
    bool MovesBetweenControls() const override { return false; }

private:
    // The room beside the main window, frame included.
    logic::TRect Room() const;
    SIZE FrameExtra() const;
    void Paint();
    // bar is SB_HORZ or SB_VERT; request one of the SB_ scroll codes.
    void Scroll(int bar, int request, int track = 0);
    void ShowPictureMenu(LPARAM at);
    // Gives the activation back to the window that had it when the preview was shown, and the
    // focus to its control that had it.
    void GiveBackActivation();
    // Whether the window takes no activation (WS_EX_NOACTIVATE).
    void NotActivated(bool on);

    HWND beside_;
    // None: the picture is the window's own; the description brings the menu and the keys.
    TDescribedControls controls_;
    TTexDib picture_;
    SIZE size_{0, 0};
    logic::TTexViewLogic logic_;
    // Shown without activation, the window may still be activated by the system's window
    // manager (Wine's, for one) as it appears: the window and the control that had the keyboard
    // then get it back. Set while the preview appears, for a short while.
    HWND keptActive_ = nullptr;
    HWND keptFocus_ = nullptr;
    DWORD shownAt_ = 0;
};

} // namespace kvb::win32ui
