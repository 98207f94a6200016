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

std::string TTexViewLogic::ComparisonCaption(bool newShown, const std::string &archive, int percent)
{
    return std::string(newShown ? "New: " : "Old: ") + archive +
           (percent == 100 ? "" : ", " + std::to_string(percent) + "%") +
           (newShown ? " (Space: old)" : " (Space: new)");
}

std::string TTexViewLogic::ShownCaption() const
{
    if (!compared_)
        return Caption(percent_);
    return ComparisonCaption(compared_->NewShown,
                             compared_->NewShown ? compared_->NewArchive : compared_->OldArchive,
                             percent_);
}

int TTexViewLogic::FittedPercent(int width, int height) const
{
    const TRect room = view_.FreeArea();
    if (width <= 0 || height <= 0 || (width <= room.Width && height <= room.Height))
        return 100;
    const int64_t across = int64_t(std::max(room.Width, 0)) * 100 / width;
    const int64_t down = int64_t(std::max(room.Height, 0)) * 100 / height;
    return int(std::clamp<int64_t>(std::min(across, down), 1, 100));
}

void TTexViewLogic::ShowTexture(const TTexImage &texture, const std::string &fileName)
{
    texture_ = texture;
    fileName_ = fileName;
    compared_.reset();
    percent_ = FittedPercent(texture_.Width, texture_.Height);
    view_.ShowPicture(texture_, percent_, ShownCaption());
}

void TTexViewLogic::ShowComparison(const TTexImage &oldTexture, const std::string &oldArchive,
                                   const TTexImage &newTexture, const std::string &newArchive,
                                   const std::string &fileName)
{
    texture_ = oldTexture;
    fileName_ = fileName;
    compared_ = TCompared{newTexture, oldArchive, newArchive, false};
    percent_ = FittedPercent(std::max(oldTexture.Width, newTexture.Width),
                             std::max(oldTexture.Height, newTexture.Height));
    view_.ShowPicture(texture_, percent_, ShownCaption());
}

void TTexViewLogic::FlipClick()
{
    if (!compared_)
        return;
    std::swap(texture_, compared_->Other);
    compared_->NewShown = !compared_->NewShown;
    view_.ShowPicture(texture_, percent_, ShownCaption());
}

void TTexViewLogic::SetZoom(int percent)
{
    if (!HasPicture() || percent == percent_)
        return;
    percent_ = percent;
    view_.ShowPicture(texture_, percent_, ShownCaption());
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
