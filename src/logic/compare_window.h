// The compare window's behaviour, whatever draws it: the differences between the open archive
// and a second one, as a summary and a list of entries (changed, or only in one of them), each
// previewed from the archive that holds it, a changed texture as its old and new pictures.
#pragma once

#include "logic/face.h"
#include "logic/window_description.h"
#include "tools/diff.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kvb {
class TKVBFile;
}

namespace kvb::logic {

// What the compare window asks of the main window, whose preview window and player it uses.
class TEntryPreviews {
public:
    virtual ~TEntryPreviews() = default;
    // Previews entry index of catalogue as the main window's entry list previews its own.
    virtual void PreviewEntry(const TKVBFile &catalogue, int32_t index) = 0;
    // Shows a texture's two versions in the preview window, one at a time: entry oldIndex of
    // oldCatalogue (the archive named oldName), and entry newIndex of newCatalogue.
    virtual void PreviewTextures(const TKVBFile &oldCatalogue, int32_t oldIndex,
                                 const std::string &oldName, const TKVBFile &newCatalogue,
                                 int32_t newIndex, const std::string &newName) = 0;
    virtual void StopMusic() = 0;
    virtual bool MusicPlaying() const = 0;
};

// What the logic asks of the compare window's controls.
class TCompareView {
public:
    // Entry, Record(s), Change, Old size, New size.
    using TDiffRow = std::array<std::string, 5>;

    virtual ~TCompareView() = default;
    virtual void SetCaption(const std::string &caption) = 0;
    // lblSummary.
    virtual void SetSummary(const std::string &text) = 0;
    // lstDiff: every row replaced, none selected.
    virtual void SetDiffRows(const std::vector<TDiffRow> &rows) = 0;
    // The selected row, -1 when none.
    virtual int SelectedDiffRow() const = 0;
    // Shows the window modally over the main window; returns once it has closed.
    virtual void ShowModal() = 0;
    virtual void Close() = 0;
};

// The names the window gives the two archives: their file names, or their paths where the
// file names are the same.
std::array<std::string, 2> ComparedNames(const std::string &a, const std::string &b);

class TCompareLogic {
public:
    explicit TCompareLogic(TCompareView &view);

    // The window's controls and where they stand, its row menu and its keys, which both faces
    // draw and bind to the handlers below.
    static const TWindowDescription<TCompareLogic> &Description();

    // Shows diff, the comparison of the open archive at path a (the old) with the one at b (the
    // new), modally; previews go through previews. The diff and the catalogues it holds, the
    // second archive's among them, are let go of when the window closes.
    void ShowComparison(TArchiveDiff diff, const std::string &a, const std::string &b,
                        TEntryPreviews &previews);

    // Handlers. Double-click and Enter: a changed texture shows its old and new pictures, a
    // changed tune plays its new version, an entry only in one archive is previewed from it.
    void lstDiffDblClick();
    void mnuPlayOldClick();
    void mnuPlayNewClick();
    void mnuStopMusicClick();
    // Close and Escape.
    void btnCloseClick();
    // Every way of closing ends here.
    void FormClose();

    // What the row menu offers for the selected row.
    struct TRowMenu {
        bool Music = false;   // Play old, Play new: the row is a tune
        bool Old = false;     // the old archive holds it
        bool New = false;     // the new archive holds it
        bool Playing = false; // Stop music
    };
    TRowMenu RowMenu() const;

    // The comparison shown, or none while the window is closed.
    const TArchiveDiff *Diff() const { return diff_ ? &*diff_ : nullptr; }

    // The summary line, and the rows, of diff between archives shown as nameA and nameB.
    static std::string SummaryText(const TArchiveDiff &diff, const std::string &nameA,
                                   const std::string &nameB);
    static std::vector<TCompareView::TDiffRow>
    DiffRows(const TArchiveDiff &diff, const std::string &nameA, const std::string &nameB);

private:
    // A row's entry in each archive, -1 where that archive lacks it.
    struct TRowEntries {
        std::string Name; // as stored
        int32_t IndexA = -1, IndexB = -1;
    };
    // The selected row's entries; none when no row is selected.
    std::optional<TRowEntries> Selected() const;

    TCompareView &view_;
    std::optional<TArchiveDiff> diff_;
    std::vector<TRowEntries> rows_;
    std::string nameA_, nameB_;
    TEntryPreviews *previews_ = nullptr;
};

} // namespace kvb::logic
