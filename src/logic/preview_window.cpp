#include "logic/preview_window.h"

#include "platform/paths.h"
#include "preview/png_image.h"

#include <algorithm>

namespace kvb::logic {

TRect RoomBeside(const TRect &workArea, const TRect &mainWindow)
{
    const int workRight = workArea.Left + workArea.Width;
    const int mainRight = mainWindow.Left + mainWindow.Width;
    const int right = std::max(0, workRight - mainRight);
    const int left = std::max(0, mainWindow.Left - workArea.Left);
    TRect room;
    room.Top = std::clamp(mainWindow.Top, workArea.Top, workArea.Top + workArea.Height);
    room.Height = workArea.Top + workArea.Height - room.Top;
    // A side narrower than a tenth of the screen is no room; the window then lies over the
    // main window's right half, which leaves its list's first column in view.
    const int least = workArea.Width / 10;
    if (right >= left && right >= least) {
        room.Left = mainRight;
        room.Width = right;
    } else if (left > right && left >= least) {
        room.Left = workArea.Left;
        room.Width = left;
    } else {
        room.Left = std::max(workArea.Left, mainWindow.Left + mainWindow.Width / 2);
        room.Width = workRight - room.Left;
    }
    return room;
}

TSize ScaledSize(int width, int height, int percent)
{
    return {std::max(1, int(int64_t(width) * percent / 100)),
            std::max(1, int(int64_t(height) * percent / 100))};
}

TSize ClientSizeFor(const TSize &picture, const TRect &free, int horizontalBar, int verticalBar)
{
    TSize client = picture;
    if (client.Width > free.Width)
        client.Height += horizontalBar;
    if (client.Height > free.Height)
        client.Width += verticalBar;
    return {std::max(1, std::min(client.Width, free.Width)),
            std::max(1, std::min(client.Height, free.Height))};
}

TTexViewLogic::TTexViewLogic(TTexView &view, TDialogs &dialogs)
    : savPng{"PNG images|*.png|All files|*.*", "png", {}, {}},
      view_(view),
      dialogs_(dialogs)
{
}

std::string TTexViewLogic::Caption(int percent)
{
    return percent == 100 ? std::string("Preview") : "Preview (" + std::to_string(percent) + "%)";
}

void TTexViewLogic::ShowTexture(const TTexImage &texture, const std::string &fileName)
{
    texture_ = texture;
    fileName_ = fileName;
    // Its own size where it fits; else the largest whole percent that fits, at least 1.
    const TRect room = view_.FreeArea();
    percent_ = 100;
    if (HasPicture() && (texture_.Width > room.Width || texture_.Height > room.Height)) {
        const int64_t across = int64_t(std::max(room.Width, 0)) * 100 / texture_.Width;
        const int64_t down = int64_t(std::max(room.Height, 0)) * 100 / texture_.Height;
        percent_ = int(std::clamp<int64_t>(std::min(across, down), 1, 100));
    }
    view_.ShowPicture(texture_, percent_, Caption(percent_));
}

void TTexViewLogic::SetZoom(int percent)
{
    if (!HasPicture() || percent == percent_)
        return;
    percent_ = percent;
    view_.ShowPicture(texture_, percent_, Caption(percent_));
}

void TTexViewLogic::ZoomIn()
{
    for (int step : kZoomSteps)
        if (step > percent_) {
            SetZoom(step);
            return;
        }
}

void TTexViewLogic::ZoomOut()
{
    for (auto step = std::rbegin(kZoomSteps); step != std::rend(kZoomSteps); ++step)
        if (*step < percent_) {
            SetZoom(*step);
            return;
        }
}

void TTexViewLogic::ZoomReset()
{
    SetZoom(100);
}

void TTexViewLogic::mnuSavePngClick()
{
    if (!HasPicture())
        return;
    savPng.FileName = WithExtension(fileName_, ".png");
    const std::optional<std::string> target = dialogs_.SaveFile(savPng);
    if (!target)
        return;
    WriteTexImageAsPng(texture_, *target);
}

void TTexViewLogic::EscapePressed()
{
    view_.Hide();
}

} // namespace kvb::logic
