#include "logic/compare_window.h"

#include "archive/info_lines.h"
#include "archive/text.h"
#include "platform/paths.h"
#include "preview/entry_preview.h"

namespace kvb::logic {

namespace {

// Descriptions are a few bytes; a damaged archive's may be the rest of the file.
constexpr size_t kShownText = 80;

std::string Quoted(const std::string &bytes)
{
    if (bytes.size() <= kShownText)
        return '"' + PrintableName(bytes) + '"';
    return '"' + PrintableName(bytes.substr(0, kShownText)) + "\"... (" + std::to_string(bytes.size()) +
           " bytes)";
}

std::string Counted(size_t count, const std::string &one, const std::string &more)
{
    return std::to_string(count) + ' ' + (count == 1 ? one : more);
}

} // namespace

std::array<std::string, 2> ComparedNames(const std::string &a, const std::string &b)
{
    if (FileNameOf(a) == FileNameOf(b))
        return {a, b};
    return {FileNameOf(a), FileNameOf(b)};
}

TCompareLogic::TCompareLogic(TCompareView &view) : view_(view)
{
}

std::string TCompareLogic::SummaryText(const TArchiveDiff &diff, const std::string &nameA,
                                       const std::string &nameB)
{
    const size_t same = size_t(diff.Matched) - diff.Changed.size();
    std::string text = Counted(diff.Changed.size(), "entry", "entries") + " changed, " +
                       std::to_string(diff.OnlyInA.size()) + " only in " + nameA + ", " +
                       std::to_string(diff.OnlyInB.size()) + " only in " + nameB + ", " +
                       std::to_string(same) + " the same.";
    if (diff.HeaderDiffers()) {
        std::vector<std::string> fields;
        if (diff.CreatorA != diff.CreatorB)
            fields.push_back("creator " + Quoted(diff.CreatorA) + " in " + nameA + ", " +
                             Quoted(diff.CreatorB) + " in " + nameB);
        if (diff.CountA != diff.CountB)
            fields.push_back("count " + std::to_string(diff.CountA) + " in " + nameA + ", " +
                             std::to_string(diff.CountB) + " in " + nameB);
        text += " The headers differ: " + fields.front() +
                (fields.size() > 1 ? "; " + fields.back() : "") + ".";
    }
    if (diff.ValidationDiffers())
        text += " The validation blocks differ: " + std::to_string(diff.ValidationA.Size) + " bytes in " +
                nameA + ", " + std::to_string(diff.ValidationB.Size) + " bytes in " + nameB +
                (diff.ValidationA.Size == diff.ValidationB.Size ? ", other bytes." : ".");
    if (diff.DescriptionDiffers())
        text += " The descriptions differ: " + Quoted(diff.DescriptionA) + " in " + nameA + ", " +
                Quoted(diff.DescriptionB) + " in " + nameB + ".";
    if (!diff.HeaderDiffers() && !diff.ValidationDiffers() && !diff.DescriptionDiffers())
        text += " The headers, validation blocks and descriptions are the same.";
    return text;
}

std::vector<TCompareView::TDiffRow>
TCompareLogic::DiffRows(const TArchiveDiff &diff, const std::string &nameA, const std::string &nameB)
{
    // In the order kvb diff lists them.
    std::vector<TCompareView::TDiffRow> rows;
    for (const TDiffEntry &entry : diff.OnlyInA)
        rows.push_back({ShownText(entry.Name), std::to_string(entry.Index + 1), "only in " + nameA,
                        std::to_string(entry.Length), ""});
    for (const TDiffEntry &entry : diff.OnlyInB)
        rows.push_back({ShownText(entry.Name), std::to_string(entry.Index + 1), "only in " + nameB, "",
                        std::to_string(entry.Length)});
    for (const TDiffChange &change : diff.Changed) {
        const std::string records =
            std::to_string(change.IndexA + 1) +
            (change.IndexA == change.IndexB ? "" : " / " + std::to_string(change.IndexB + 1));
        rows.push_back({ShownText(change.Name), records,
                        change.ByNumber ? "changed (matched by number)" : "changed",
                        std::to_string(change.LengthA), std::to_string(change.LengthB)});
    }
    return rows;
}

void TCompareLogic::ShowComparison(TArchiveDiff diff, const std::string &a, const std::string &b,
                                   TEntryPreviews &previews)
{
    const auto [nameA, nameB] = ComparedNames(a, b);
    nameA_ = nameA;
    nameB_ = nameB;
    previews_ = &previews;
    rows_.clear();
    for (const TDiffEntry &entry : diff.OnlyInA)
        rows_.push_back({entry.Name, entry.Index, -1});
    for (const TDiffEntry &entry : diff.OnlyInB)
        rows_.push_back({entry.Name, -1, entry.Index});
    for (const TDiffChange &change : diff.Changed)
        rows_.push_back({change.Name, change.IndexA, change.IndexB});
    view_.SetCaption("Compare " + nameA_ + " with " + nameB_);
    view_.SetSummary(SummaryText(diff, nameA_, nameB_));
    view_.SetDiffRows(DiffRows(diff, nameA_, nameB_));
    diff_ = std::move(diff);
    view_.ShowModal();
    // Closed, whichever way: the second archive goes with the window.
    FormClose();
}

void TCompareLogic::FormClose()
{
    diff_.reset();
    rows_.clear();
    previews_ = nullptr;
}

std::optional<TCompareLogic::TRowEntries> TCompareLogic::Selected() const
{
    const int row = view_.SelectedDiffRow();
    if (!diff_ || row < 0 || size_t(row) >= rows_.size())
        return std::nullopt;
    return rows_[size_t(row)];
}

void TCompareLogic::lstDiffDblClick()
{
    const std::optional<TRowEntries> row = Selected();
    if (!row)
        return;
    const TKVBFile &a = *diff_->CatalogueA, &b = *diff_->CatalogueB;
    if (row->IndexA < 0) {
        previews_->PreviewEntry(b, row->IndexB);
    } else if (row->IndexB < 0) {
        previews_->PreviewEntry(a, row->IndexA);
    } else if (PreviewExtension(ShownText(row->Name)) == ".TEX") {
        previews_->PreviewTextures(a, row->IndexA, nameA_, b, row->IndexB, nameB_);
    } else {
        // A changed tune plays as it is now; the menu plays the old one.
        previews_->PreviewEntry(b, row->IndexB);
    }
}

TCompareLogic::TRowMenu TCompareLogic::RowMenu() const
{
    TRowMenu menu;
    if (const std::optional<TRowEntries> row = Selected()) {
        menu.Music = PreviewExtension(ShownText(row->Name)) == ".MID";
        menu.Old = row->IndexA >= 0;
        menu.New = row->IndexB >= 0;
    }
    menu.Playing = previews_ && previews_->MusicPlaying();
    return menu;
}

void TCompareLogic::mnuPlayOldClick()
{
    const std::optional<TRowEntries> row = Selected();
    if (row && row->IndexA >= 0)
        previews_->PreviewEntry(*diff_->CatalogueA, row->IndexA);
}

void TCompareLogic::mnuPlayNewClick()
{
    const std::optional<TRowEntries> row = Selected();
    if (row && row->IndexB >= 0)
        previews_->PreviewEntry(*diff_->CatalogueB, row->IndexB);
}

void TCompareLogic::mnuStopMusicClick()
{
    if (previews_)
        previews_->StopMusic();
}

void TCompareLogic::btnCloseClick()
{
    view_.Close();
}

} // namespace kvb::logic
