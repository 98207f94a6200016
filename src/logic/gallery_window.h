// The gallery's behaviour, whatever draws it: the textures of the archive open in the main
// window as thumbnails in a grid, each with its name and size under it, filtered by name. The
// thumbnails are made on a thread of their own for what the window paints and a screen beyond
// it, and only so many are kept, however many textures the archive holds.
#pragma once

#include "archive/catalogue.h"
#include "logic/window_description.h"
#include "preview/thumbnail.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace kvb::logic {

// What the gallery asks of the main window: the entry menu's actions on the records chosen.
class TGalleryHost {
public:
    virtual ~TGalleryHost() = default;
    // As a double-click on the record's row previews it.
    virtual void PreviewRecord(int32_t index) = 0;
    // As "Extract...", "Export as PNG...", "Edit with..." and "Open with default program" do with
    // these records selected (indices ascending).
    virtual void ExtractRecords(const std::vector<int> &indices) = 0;
    virtual void ExportRecordsAsPng(const std::vector<int> &indices) = 0;
    virtual void EditRecords(const std::vector<int> &indices, bool choose) = 0;
};

// What the logic asks of the gallery's controls.
class TGalleryView {
public:
    virtual ~TGalleryView() = default;
    virtual void SetCaption(const std::string &caption) = 0;
    // lstThumbs: every item replaced by one of these captions, none selected, scrolled to the top.
    virtual void SetItems(const std::vector<std::string> &captions) = 0;
    // The selected items, ascending; the current one (the keys act on it), -1 when none.
    virtual std::vector<int> SelectedItems() const = 0;
    virtual int CurrentItem() const = 0;
    virtual void SelectAllItems() = 0;
    // edtGalleryFilter's text, set from code without running its handler; lblGalleryCount.
    virtual std::string FilterText() const = 0;
    virtual void SetFilterText(const std::string &text) = 0;
    virtual void SetCount(const std::string &text) = 0;
    // Shows the window beside the main window, or brings it to the front; the list takes the
    // keyboard.
    virtual void ShowWindow() = 0;
    virtual void Close() = 0;
};

class TGalleryLogic {
public:
    explicit TGalleryLogic(TGalleryView &view);
    ~TGalleryLogic();

    static const TWindowDescription<TGalleryLogic> &Description();

    // Shows the textures of catalogue (opened by the user as name) in the window; host acts on
    // them. The filter starts empty.
    void ShowGallery(const TKVBFile &catalogue, const std::string &name, TGalleryHost &host);
    // The main window's archive was read again or another one opened: while the window is
    // shown it lists that one's textures, the filter kept. Nothing of catalogue is held after.
    void CatalogueChanged(const TKVBFile &catalogue, const std::string &name);
    bool Shown() const { return shown_; }

    // The face, painting item: its thumbnail, or nullptr while it is being made (the item is
    // then wanted, with those around it). A thumbnail whose Fault is set shows none.
    const TThumbnail *Thumbnail(int item);
    // The tooltip of item: its name, size and record, and why it shows no picture.
    std::string ItemTooltip(int item) const;
    // Called by the face's timer while the window is shown: hands the maker what is wanted now,
    // and takes what it made; the items whose thumbnails are to be painted again.
    std::vector<int> Step();

    // Handlers.
    void edtGalleryFilterChange();
    // Double-click, Enter and "Preview": the current item's texture in the preview window.
    void lstThumbsDblClick();
    void lstThumbsSelectAll();
    void mnuExtractClick();
    void mnuExportPngClick();
    void mnuEditWithClick();
    void mnuOpenWithDefaultClick();
    // Close and Escape.
    void btnCloseClick();
    // Every way of closing ends here: the thread stops, the thumbnails go.
    void FormClose();

    bool HasSelection() const;
    // What is kept: the thumbnails, and their bytes.
    size_t KeptThumbnails() const { return made_.size(); }
    size_t KeptBytes() const { return keptBytes_; }

    // Thumbnails beyond this many bytes are let go of, those farthest from what is painted first.
    static constexpr size_t kKeptBytes = 32u << 20;

private:
    // The textures of catalogue, and a maker for them.
    void Load(const TKVBFile &catalogue, const std::string &name);
    // Lets go of the textures, the thumbnails and the maker.
    void Forget();
    // Lists the textures whose names hold the filter's text.
    void List();
    std::vector<int> SelectedRecords() const;
    // What to make, the first first: the painted items' thumbnails not made yet, then a screen
    // after them, then one before.
    std::vector<int32_t> Wanted() const;
    // Lets go of the thumbnails farthest from the painted items once more than kKeptBytes are
    // kept, none of those painted or a screen beside them.
    void LetGo();

    // Textures are numbered in table order, from 0; the maker and what is kept know them so.
    TGalleryView &view_;
    TGalleryHost *host_ = nullptr;
    bool shown_ = false;
    std::vector<TKVB_Entry> textures_;    // the archive's textures, in table order
    std::vector<int32_t> records_;        // of textures_
    std::vector<std::string> upperNames_; // of textures_, ASCII letters in capitals
    std::string filter_;                  // the filter's text as applied, in capitals
    std::vector<int32_t> listed_;         // the textures shown, item by item
    std::vector<int> itemOf_;             // the item of each texture; -1 where not listed
    std::unique_ptr<TThumbnailMaker> maker_;
    std::unordered_map<int32_t, TThumbnail> made_; // by texture
    size_t keptBytes_ = 0;
    // The items painted since the last step; the window painted last.
    int paintedFirst_ = -1, paintedLast_ = -1;
    int windowFirst_ = 0, windowLast_ = -1;
    std::vector<int32_t> wanted_; // as last handed to the maker
};

} // namespace kvb::logic
