#include "win32ui/kvbgallery.h"

#include "platform/win32/wide.h"
#include "win32ui/controls.h"

#include <commctrl.h>
#include <windowsx.h>

#include <algorithm>

namespace kvb::win32ui {

namespace {

const logic::TWindowDescription<logic::TGalleryLogic> &Description()
{
    return logic::TGalleryLogic::Description();
}

TStackSizes Sizes()
{
    TStackSizes sizes;
    sizes.Margin = 8;
    return sizes;
}

// The timer that looks for thumbnails made, and how often, in milliseconds.
constexpr UINT_PTR kStepTimer = 1;
constexpr UINT kStepInterval = 15;

} // namespace

TfrmGallery::TfrmGallery(logic::TDialogs &dialogs, HWND owner)
    : TForm(dialogs),
      owner_(owner),
      logic_(*this)
{
    Create(L"TfrmGallery", Description().Caption,
           WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX |
               WS_CLIPCHILDREN,
           WS_EX_CONTROLPARENT, owner, reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));
    controls_ =
        std::make_unique<TDescribedControls>(*this, Description().Looks(), Description().Layout, Sizes());
    edtGalleryFilter = controls_->Find("edtGalleryFilter");
    lblGalleryCount = controls_->Find("lblGalleryCount");
    lstThumbs = controls_->Find("lstThumbs");
    btnClose = controls_->Find("btnClose");
    SetIconSizes();
    SetAccelerators(Accelerators(Description()));
    Ready(Description().Width, Description().Height);
}

TfrmGallery::~TfrmGallery()
{
    logic_.FormClose();
    if (icons_)
        ImageList_Destroy(icons_);
}

void TfrmGallery::SetIconSizes()
{
    // One blank picture of the thumbnail's size: every item's icon, over which its thumbnail
    // is drawn.
    const int side = Scale(kThumbnailSide);
    HIMAGELIST icons = ImageList_Create(side, side, ILC_COLOR32 | ILC_MASK, 1, 0);
    std::vector<uint32_t> blank(size_t(side) * size_t(side), 0);
    // Its mask all set: the icon is transparent, and what shows is the thumbnail over it.
    const std::vector<uint8_t> clear(size_t((side + 15) / 16 * 2) * size_t(side), 0xFF);
    HBITMAP picture = ::CreateBitmap(side, side, 1, 32, blank.data());
    HBITMAP mask = ::CreateBitmap(side, side, 1, 1, clear.data());
    ImageList_Add(icons, picture, mask);
    ::DeleteObject(picture);
    ::DeleteObject(mask);
    ::SendMessageW(lstThumbs, LVM_SETIMAGELIST, LVSIL_NORMAL, reinterpret_cast<LPARAM>(icons));
    if (icons_)
        ImageList_Destroy(icons_);
    icons_ = icons;
    // Room for the picture and two lines of caption under it.
    TEXTMETRICW metrics{};
    HDC dc = ::GetDC(lstThumbs);
    const HGDIOBJ old = ::SelectObject(dc, Font());
    ::GetTextMetricsW(dc, &metrics);
    ::SelectObject(dc, old);
    ::ReleaseDC(lstThumbs, dc);
    ::SendMessageW(lstThumbs, LVM_SETICONSPACING, 0,
                   MAKELPARAM(side + Scale(28), side + 2 * metrics.tmHeight + Scale(14)));
}

SIZE TfrmGallery::MinimumClientSize() const
{
    return controls_->LeastClientSize(Scale(Description().LeastWidth));
}

void TfrmGallery::Layout(int width, int height)
{
    controls_->Place(width, height);
    // The icons in as many columns as the grid's new width holds.
    ::SendMessageW(lstThumbs, LVM_ARRANGE, LVA_DEFAULT, 0);
}

LRESULT TfrmGallery::OnMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CONTEXTMENU:
        if (reinterpret_cast<HWND>(wParam) != lstThumbs)
            break;
        ShowItemMenu(lParam);
        return 0;
    case WM_TIMER:
        if (wParam != kStepTimer)
            break;
        Guarded([this] { RedrawItems(logic_.Step()); });
        return 0;
    case WM_DPICHANGED: {
        const LRESULT result = TForm::OnMessage(message, wParam, lParam);
        SetIconSizes();
        return result;
    }
    case WM_CLOSE: Close(); return 0;
    }
    return TForm::OnMessage(message, wParam, lParam);
}

void TfrmGallery::OnCommand(int id, int code, HWND)
{
    RunCommand(Description(), *controls_, logic_, id, code, Guard());
}

LRESULT TfrmGallery::OnNotify(const NMHDR &header)
{
    if (header.hwndFrom == lstThumbs) {
        switch (header.code) {
        case LVN_GETDISPINFOW: {
            // The list holds no items: it asks for each caption as it paints.
            LVITEMW &item = const_cast<NMLVDISPINFOW &>(reinterpret_cast<const NMLVDISPINFOW &>(header)).item;
            if (item.iItem >= 0 && size_t(item.iItem) < captions_.size()) {
                if ((item.mask & LVIF_TEXT) && item.pszText && item.cchTextMax > 0) {
                    const std::wstring &caption = captions_[size_t(item.iItem)];
                    const size_t n = std::min(caption.size(), size_t(item.cchTextMax - 1));
                    std::copy_n(caption.data(), n, item.pszText);
                    item.pszText[n] = L'\0';
                }
                if (item.mask & LVIF_IMAGE)
                    item.iImage = 0;
            }
            return 0;
        }
        case NM_CUSTOMDRAW:
            return DrawItem(const_cast<NMLVCUSTOMDRAW &>(reinterpret_cast<const NMLVCUSTOMDRAW &>(header)));
        case LVN_GETINFOTIPW: {
            auto &tip = const_cast<NMLVGETINFOTIPW &>(reinterpret_cast<const NMLVGETINFOTIPW &>(header));
            const std::wstring text = win32::Wide(logic_.ItemTooltip(tip.iItem));
            if (tip.pszText && tip.cchTextMax > 0) {
                const size_t n = std::min(text.size(), size_t(tip.cchTextMax - 1));
                std::copy_n(text.data(), n, tip.pszText);
                tip.pszText[n] = L'\0';
            }
            return 0;
        }
        }
    }
    RunNotify(Description(), *controls_, logic_, header, Guard());
    return 0;
}

LRESULT TfrmGallery::DrawItem(NMLVCUSTOMDRAW &draw)
{
    switch (draw.nmcd.dwDrawStage) {
    case CDDS_PREPAINT: return CDRF_NOTIFYITEMDRAW;
    case CDDS_ITEMPREPAINT: return CDRF_NOTIFYPOSTPAINT;
    case CDDS_ITEMPOSTPAINT: break;
    default: return CDRF_DODEFAULT;
    }
    const int item = int(draw.nmcd.dwItemSpec);
    RECT icon{LVIR_ICON, 0, 0, 0};
    if (!::SendMessageW(lstThumbs, LVM_GETITEMRECT, WPARAM(item), reinterpret_cast<LPARAM>(&icon)))
        return CDRF_DODEFAULT;
    const int side = Scale(kThumbnailSide);
    const int left = icon.left + (icon.right - icon.left - side) / 2;
    const int top = icon.top + (icon.bottom - icon.top - side) / 2;
    HDC dc = draw.nmcd.hdc;
    // Painting the item is what makes its thumbnail wanted.
    const TThumbnail *thumbnail = logic_.Thumbnail(item);
    if (thumbnail && thumbnail->Fault.empty()) {
        // Scaled to the screen, centred in the icon's square.
        const int w = std::max(1, thumbnail->Width * side / kThumbnailSide);
        const int h = std::max(1, thumbnail->Height * side / kThumbnailSide);
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof(info.bmiHeader);
        info.bmiHeader.biWidth = thumbnail->Width;
        info.bmiHeader.biHeight = -thumbnail->Height; // top row first
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        ::SetStretchBltMode(dc, HALFTONE);
        ::StretchDIBits(dc, left + (side - w) / 2, top + (side - h) / 2, w, h, 0, 0, thumbnail->Width,
                        thumbnail->Height, thumbnail->Pixels.data(), &info, DIB_RGB_COLORS, SRCCOPY);
        return CDRF_DODEFAULT;
    }
    // Not made yet: a frame; no picture: a frame with a cross.
    const RECT frame{left, top, left + side, top + side};
    ::FrameRect(dc, &frame, ::GetSysColorBrush(COLOR_BTNSHADOW));
    if (thumbnail) {
        HPEN pen = ::CreatePen(PS_SOLID, 1, ::GetSysColor(COLOR_BTNSHADOW));
        const HGDIOBJ old = ::SelectObject(dc, pen);
        ::MoveToEx(dc, frame.left, frame.top, nullptr);
        ::LineTo(dc, frame.right, frame.bottom);
        ::MoveToEx(dc, frame.right - 1, frame.top, nullptr);
        ::LineTo(dc, frame.left - 1, frame.bottom);
        ::SelectObject(dc, old);
        ::DeleteObject(pen);
    }
    return CDRF_DODEFAULT;
}

bool TfrmGallery::OnKey(const MSG &message)
{
    return RunKey(Description(), *controls_, logic_, message, Guard());
}

HMENU TfrmGallery::ItemMenu() const
{
    return DescribedMenu(Description(), logic_);
}

void TfrmGallery::ShowItemMenu(LPARAM at)
{
    POINT point{GET_X_LPARAM(at), GET_Y_LPARAM(at)};
    // From the keyboard: at the current item, or the grid's corner.
    if (at == -1) {
        RECT bounds{LVIR_BOUNDS, 0, 0, 0};
        const int current = CurrentItem();
        if (current < 0 || !::SendMessageW(lstThumbs, LVM_GETITEMRECT, WPARAM(current),
                                           reinterpret_cast<LPARAM>(&bounds)))
            bounds = {0, 0, 0, 0};
        point = {bounds.left + Scale(8), bounds.bottom};
        ::ClientToScreen(lstThumbs, &point);
    }
    Guarded([&] {
        HMENU menu = ItemMenu();
        ::TrackPopupMenu(menu, TPM_RIGHTBUTTON, point.x, point.y, 0, Handle(), nullptr);
        ::DestroyMenu(menu);
    });
}

void TfrmGallery::SetCaption(const std::string &caption)
{
    ::SetWindowTextW(Handle(), win32::Wide(caption).c_str());
}

void TfrmGallery::SetItems(const std::vector<std::string> &captions)
{
    captions_.clear();
    captions_.reserve(captions.size());
    for (const std::string &caption : captions)
        captions_.push_back(win32::Wide(caption));
    ::SendMessageW(lstThumbs, LVM_DELETEALLITEMS, 0, 0);
    ::SendMessageW(lstThumbs, LVM_SETITEMCOUNT, WPARAM(captions_.size()), 0);
    if (!captions_.empty())
        ::SendMessageW(lstThumbs, LVM_ENSUREVISIBLE, 0, FALSE);
}

void TfrmGallery::RedrawItems(const std::vector<int> &items)
{
    for (const int item : items)
        ::SendMessageW(lstThumbs, LVM_REDRAWITEMS, WPARAM(item), LPARAM(item));
}

std::vector<int> TfrmGallery::SelectedItems() const
{
    return SelectedRows(lstThumbs);
}

int TfrmGallery::CurrentItem() const
{
    return SelectedRow(lstThumbs);
}

void TfrmGallery::SelectAllItems()
{
    SelectAllRows(lstThumbs);
}

std::string TfrmGallery::FilterText() const
{
    return ControlText(edtGalleryFilter);
}

void TfrmGallery::SetFilterText(const std::string &text)
{
    // From code: the change it makes runs no handler.
    ::SetWindowTextW(edtGalleryFilter, win32::Wide(text).c_str());
}

void TfrmGallery::SetCount(const std::string &text)
{
    ::SetWindowTextW(lblGalleryCount, win32::Wide(text).c_str());
    Relayout();
}

void TfrmGallery::ShowWindow()
{
    if (!shown_) {
        // Beside the main window where the work area has room, otherwise as far right as fits.
        RECT work{}, main{}, frame{};
        ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
        ::GetWindowRect(owner_, &main);
        ::GetWindowRect(Handle(), &frame);
        const LONG w = frame.right - frame.left, h = frame.bottom - frame.top;
        const LONG x = std::max(work.left, std::min(main.right + Scale(8), work.right - w));
        const LONG y = std::max(work.top, std::min(main.top, work.bottom - h));
        ::SetWindowPos(Handle(), nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    shown_ = true;
    ::SetTimer(Handle(), kStepTimer, kStepInterval, nullptr);
    ::ShowWindow(Handle(), SW_SHOW);
    ::SetForegroundWindow(Handle());
    ::SetFocus(lstThumbs);
}

void TfrmGallery::Close()
{
    if (!shown_)
        return;
    shown_ = false;
    ::KillTimer(Handle(), kStepTimer);
    logic_.FormClose();
    ::ShowWindow(Handle(), SW_HIDE);
    if (owner_)
        ::SetActiveWindow(owner_);
}

} // namespace kvb::win32ui
