// Checks that a Win32 window draws its description: every control there under its identifier
// with its caption, accessible name, columns and first state, and Tab moving through them in the
// described order.
#pragma once

#include "win32_windows.h"
#include "win32ui/described_form.h"

#include <gtest/gtest.h>

namespace kvb::test {

template <typename Logic>
void ExpectDrawn(HWND window, const logic::TWindowDescription<Logic> &description)
{
    using Kind = logic::TControlKind;
    EXPECT_EQ(Win32Windows::Text(window), description.Caption);
    for (const logic::TControl<Logic> &c : description.Controls) {
        SCOPED_TRACE(c.Name);
        const HWND control = ::GetDlgItem(window, win32ui::ControlId(description, c.Name));
        ASSERT_NE(control, nullptr);
        // Braced: an EXPECT_EQ is an if-else of its own.
        if (c.Kind == Kind::Button || c.Kind == Kind::CheckBox || c.Kind == Kind::Label ||
            c.Kind == Kind::Note || c.Kind == Kind::Link) {
            EXPECT_EQ(Win32Windows::Text(control), c.Caption);
        }
        // Lists and the progress bar carry their names as the window text they do not show.
        if (c.Kind == Kind::ReportList || c.Kind == Kind::InfoList || c.Kind == Kind::ProgressBar) {
            EXPECT_EQ(Win32Windows::Text(control), logic::AccessibleNameOf(c));
        }
        if (c.Kind == Kind::CheckBox) {
            EXPECT_EQ(::SendMessageW(control, BM_GETCHECK, 0, 0) == BST_CHECKED, c.Checked);
        }
        if (c.Kind == Kind::ReportList) {
            std::vector<std::string> captions;
            for (const logic::TColumn &column : c.Columns)
                captions.push_back(column.Caption);
            EXPECT_EQ(Win32Windows::Columns(control), captions);
        }
        EXPECT_EQ(::IsWindowEnabled(control) != FALSE, c.DuringWork != logic::TDuringWork::OnlyThen);
        EXPECT_EQ((::GetWindowLongW(control, GWL_STYLE) & WS_VISIBLE) == 0, c.Hidden);
    }
    // Tab from the first control on, as the dialog manager moves (disabled and hidden controls
    // are passed over, so Cancel, enabled only during work, is left out).
    std::vector<std::string> expected;
    for (const std::string &name : description.TabOrder())
        if (description.Find(name)->DuringWork != logic::TDuringWork::OnlyThen &&
            !description.Find(name)->Hidden)
            expected.push_back(name);
    if (expected.empty())
        return;
    std::vector<std::string> order;
    const HWND first = ::GetDlgItem(window, win32ui::ControlId(description, expected.front()));
    HWND at = first;
    do {
        order.push_back(description.Controls[size_t(::GetDlgCtrlID(at) - win32ui::kFirstControlId)].Name);
        at = ::GetNextDlgTabItem(window, at, FALSE);
    } while (at && at != first && order.size() <= expected.size());
    EXPECT_EQ(order, expected);
}

} // namespace kvb::test
