// Prints the main window's description for the accessibility tree's test, one control a line:
// its kind, its accessible name (empty for text that names itself), its place in the Tab order
// (-1 for none) and whether Tab reaches it before any long work (it is enabled and shown).
#include "logic/main_window.h"

#include <algorithm>
#include <iostream>

using namespace kvb::logic;

namespace {

const char *KindName(TControlKind kind)
{
    switch (kind) {
    case TControlKind::Button: return "Button";
    case TControlKind::CheckBox: return "CheckBox";
    case TControlKind::Label: return "Label";
    case TControlKind::Note: return "Note";
    case TControlKind::Text: return "Text";
    case TControlKind::Link: return "Link";
    case TControlKind::ReportList: return "ReportList";
    case TControlKind::Edit: return "Edit";
    case TControlKind::InfoList: return "InfoList";
    case TControlKind::BlockSelector: return "BlockSelector";
    case TControlKind::StatusText: return "StatusText";
    case TControlKind::ProgressBar: return "ProgressBar";
    case TControlKind::ThumbnailGrid: return "ThumbnailGrid";
    }
    return "?";
}

} // namespace

int main()
{
    const TWindowDescription<TKVBEditorLogic> &w = TKVBEditorLogic::Description();
    const std::vector<std::string> order = w.TabOrder();
    for (const TControl<TKVBEditorLogic> &c : w.Controls) {
        const auto at = std::find(order.begin(), order.end(), c.Name);
        const bool named = !ShowsItsName(c.Kind) || !c.AccessibleName.empty();
        std::cout << KindName(c.Kind) << '\t' << c.Name << '\t' << (named ? AccessibleNameOf(c) : "")
                  << '\t' << (at == order.end() ? -1 : at - order.begin()) << '\t'
                  << (c.DuringWork == TDuringWork::OnlyThen || c.Hidden ? 0 : 1) << '\n';
    }
}
