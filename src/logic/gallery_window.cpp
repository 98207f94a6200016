#include "logic/gallery_window.h"

#include "archive/info_lines.h"
#include "archive/text.h"
#include "logic/listed_entries.h"
#include "preview/entry_preview.h"

#include <algorithm>

namespace kvb::logic {

TGalleryLogic::TGalleryLogic(TGalleryView &view) : view_(view)
{
}

TGalleryLogic::~TGalleryLogic() = default;

void TGalleryLogic::ShowGallery(const TKVBFile &catalogue, const std::string &name, TGalleryHost &host)
{
    host_ = &host;
    if (!shown_)
        view_.SetFilterText({});
    shown_ = true;
    Load(catalogue, name);
    view_.ShowWindow();
}

void TGalleryLogic::CatalogueChanged(const TKVBFile &catalogue, const std::string &name)
{
    if (shown_)
        Load(catalogue, name);
}

void TGalleryLogic::Load(const TKVBFile &catalogue, const std::string &name)
{
    Forget();
    for (int32_t index = 0; index < catalogue.EntryCount(); ++index) {
        TKVB_Entry entry = catalogue.GetEntry(index);
        if (PreviewExtension(ShownText(entry.Name)) != ".TEX")
            continue;
        upperNames_.push_back(AsciiUpper(entry.Name));
        records_.push_back(index);
        textures_.push_back(std::move(entry));
    }
    maker_ = std::make_unique<TThumbnailMaker>(catalogue.FileName(), textures_, kThumbnailSide);
    view_.SetCaption("Textures of " + name);
    List();
}

void TGalleryLogic::List()
{
    const std::string part = AsciiUpper(view_.FilterText());
    filter_ = part;
    listed_.clear();
    itemOf_.assign(textures_.size(), -1);
    std::vector<std::string> captions;
    for (size_t t = 0; t < textures_.size(); ++t) {
        if (!part.empty() && upperNames_[t].find(part) == std::string::npos)
            continue;
        itemOf_[t] = int(listed_.size());
        listed_.push_back(int32_t(t));
        const std::string size = HumanSize(textures_[t].Length);
        captions.push_back(ShownText(textures_[t].Name) + (size.empty() ? "" : '\n' + size));
    }
    const auto all = int64_t(textures_.size());
    view_.SetCount(part.empty() ? GroupedNumber(all) + (all == 1 ? " texture" : " textures")
                                : GroupedNumber(int64_t(listed_.size())) + " of " + GroupedNumber(all));
    // Nothing is painted yet: what was wanted for the list before is not.
    paintedFirst_ = paintedLast_ = -1;
    windowFirst_ = 0;
    windowLast_ = -1;
    wanted_.clear();
    if (maker_)
        maker_->Want({});
    view_.SetItems(captions);
}

const TThumbnail *TGalleryLogic::Thumbnail(int item)
{
    if (item < 0 || size_t(item) >= listed_.size())
        return nullptr;
    paintedFirst_ = paintedFirst_ < 0 ? item : std::min(paintedFirst_, item);
    paintedLast_ = std::max(paintedLast_, item);
    const auto made = made_.find(listed_[size_t(item)]);
    return made == made_.end() ? nullptr : &made->second;
}

std::string TGalleryLogic::ItemTooltip(int item) const
{
    if (item < 0 || size_t(item) >= listed_.size())
        return {};
    const int32_t t = listed_[size_t(item)];
    const TKVB_Entry &entry = textures_[size_t(t)];
    std::string text = ShownText(entry.Name) + "\nRecord " + GroupedNumber(records_[size_t(t)] + 1);
    if (entry.Length >= 0)
        text += ", " + GroupedNumber(entry.Length) + " bytes";
    const auto made = made_.find(t);
    if (made != made_.end() && !made->second.Fault.empty())
        text += "\nNo picture: " + made->second.Fault;
    return text;
}

std::vector<int32_t> TGalleryLogic::Wanted() const
{
    std::vector<int32_t> wanted;
    const int screen = windowLast_ - windowFirst_ + 1;
    const auto want = [&](int item) {
        if (item >= 0 && size_t(item) < listed_.size() && !made_.count(listed_[size_t(item)]))
            wanted.push_back(listed_[size_t(item)]);
    };
    for (int item = windowFirst_; item <= windowLast_; ++item)
        want(item);
    for (int item = windowLast_ + 1; item <= windowLast_ + screen; ++item)
        want(item);
    for (int item = windowFirst_ - 1; item >= windowFirst_ - screen; --item)
        want(item);
    return wanted;
}

std::vector<int> TGalleryLogic::Step()
{
    if (!maker_)
        return {};
    // What was painted since the last step is what the window shows now.
    if (paintedFirst_ >= 0) {
        windowFirst_ = paintedFirst_;
        windowLast_ = paintedLast_;
        paintedFirst_ = paintedLast_ = -1;
    }
    std::vector<int> redraw;
    for (TThumbnailMaker::TMade &made : maker_->Take()) {
        keptBytes_ += made.Thumbnail.Bytes();
        const auto [at, added] = made_.emplace(made.Index, std::move(made.Thumbnail));
        if (!added)
            keptBytes_ -= at->second.Bytes();
        if (itemOf_[size_t(made.Index)] >= 0)
            redraw.push_back(itemOf_[size_t(made.Index)]);
    }
    LetGo();
    std::vector<int32_t> wanted = Wanted();
    if (wanted != wanted_) {
        wanted_ = wanted;
        maker_->Want(std::move(wanted));
    }
    return redraw;
}

void TGalleryLogic::LetGo()
{
    if (keptBytes_ <= kKeptBytes)
        return;
    // Distance from the painted items, in items; a texture no longer listed is farthest.
    const int screen = windowLast_ - windowFirst_ + 1;
    std::vector<std::pair<int, int32_t>> far;
    for (const auto &[t, thumbnail] : made_) {
        const int item = itemOf_[size_t(t)];
        const int distance = item < 0                 ? INT32_MAX
                             : item < windowFirst_    ? windowFirst_ - item
                             : item > windowLast_     ? item - windowLast_
                                                      : 0;
        if (distance > screen)
            far.emplace_back(distance, t);
    }
    std::sort(far.begin(), far.end(), std::greater<>());
    // Down to three quarters, so that the next few thumbnails do not each let go of one.
    for (const auto &[distance, t] : far) {
        if (keptBytes_ <= kKeptBytes / 4 * 3)
            break;
        const auto at = made_.find(t);
        keptBytes_ -= at->second.Bytes();
        made_.erase(at);
    }
}

void TGalleryLogic::edtGalleryFilterChange()
{
    // A face may report the text set from code too: only a new filter lists again.
    if (shown_ && AsciiUpper(view_.FilterText()) != filter_)
        List();
}

void TGalleryLogic::lstThumbsDblClick()
{
    const int item = view_.CurrentItem();
    if (host_ && item >= 0 && size_t(item) < listed_.size())
        host_->PreviewRecord(records_[size_t(listed_[size_t(item)])]);
}

void TGalleryLogic::lstThumbsSelectAll()
{
    view_.SelectAllItems();
}

std::vector<int> TGalleryLogic::SelectedRecords() const
{
    std::vector<int> records;
    for (const int item : view_.SelectedItems())
        if (item >= 0 && size_t(item) < listed_.size())
            records.push_back(records_[size_t(listed_[size_t(item)])]);
    std::sort(records.begin(), records.end());
    return records;
}

bool TGalleryLogic::HasSelection() const
{
    return !SelectedRecords().empty();
}

void TGalleryLogic::mnuExtractClick()
{
    if (host_)
        host_->ExtractRecords(SelectedRecords());
}

void TGalleryLogic::mnuExportPngClick()
{
    if (host_)
        host_->ExportRecordsAsPng(SelectedRecords());
}

void TGalleryLogic::mnuEditWithClick()
{
    if (host_)
        host_->EditRecords(SelectedRecords(), true);
}

void TGalleryLogic::mnuOpenWithDefaultClick()
{
    if (host_)
        host_->EditRecords(SelectedRecords(), false);
}

void TGalleryLogic::btnCloseClick()
{
    view_.Close();
}

void TGalleryLogic::FormClose()
{
    if (!shown_)
        return;
    shown_ = false;
    Forget();
    view_.SetItems({});
}

void TGalleryLogic::Forget()
{
    // The thread goes first: what it made goes with it.
    maker_.reset();
    made_.clear();
    keptBytes_ = 0;
    textures_.clear();
    records_.clear();
    upperNames_.clear();
    listed_.clear();
    itemOf_.clear();
    wanted_.clear();
}

} // namespace kvb::logic
