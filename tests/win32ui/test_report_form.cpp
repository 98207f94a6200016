// The Win32 report window's wiring: shown modally by "Analyse KVB" with the report's lines, Copy
// putting them on the clipboard with the system's line breaks, and Escape closing it. What the
// report says is the logic's tests' business.
#include "drawn_description.h"
#include "win32_windows.h"

#include "platform/win32/wide.h"

#include <gtest/gtest.h>

#include <functional>

using namespace kvb;
using namespace kvb::test;
using kvb::win32ui::TfrmReport;

namespace {

std::string ClipboardText()
{
    std::string text;
    if (!::OpenClipboard(nullptr))
        return "(no clipboard)";
    if (HANDLE data = ::GetClipboardData(CF_UNICODETEXT)) {
        if (const auto *wide = static_cast<const wchar_t *>(::GlobalLock(data))) {
            text = win32::Utf8(wide);
            ::GlobalUnlock(data);
        }
    }
    ::CloseClipboard();
    return text;
}

} // namespace

TEST(ReportForm, AnalyseShowsTheReportModallyCopyFillsTheClipboardAndEscapeCloses)
{
    Win32Windows w;
    TfrmReport &r = *w.windows.frmReport;
    ExpectDrawn(r.Handle(), logic::TReportLogic::Description());
    EXPECT_FALSE(::IsWindowVisible(r.Handle()));
    w.Open(w.Write("two.kvb", NumberedArchive(2)));

    bool ran = false;
    std::vector<std::string> lines;
    std::string copied;
    const auto ready = [&] { return r.Shown(); };
    const auto whenShown = [&] {
        ran = true;
        EXPECT_FALSE(::IsWindowEnabled(w.main.Handle()));
        EXPECT_EQ(Win32Windows::Text(r.Handle()), "Analysis of two.kvb");
        lines = Win32Windows::Lines(r.lstReport);
        // Copy and Close stand below the report.
        EXPECT_LE(Win32Windows::Bounds(r.lstReport).bottom, Win32Windows::Bounds(r.btnCopy).top);
        Win32Windows::Click(r.btnCopy);
        copied = ClipboardText();
        Win32Windows::Key(r.btnClose, VK_ESCAPE);
        EXPECT_FALSE(r.Shown());
    };
    Win32Windows::WhileModal(ready, whenShown, [&] { Win32Windows::Click(w.main.btnAnalyse); });

    EXPECT_TRUE(ran);
    EXPECT_EQ(lines, Win32Windows::Lines(w.main.lstInfo));
    std::string expected;
    for (const std::string &line : Win32Windows::Lines(w.main.lstInfo))
        expected += line + "\r\n";
    EXPECT_EQ(copied, expected);
    EXPECT_FALSE(::IsWindowVisible(r.Handle()));
    EXPECT_TRUE(::IsWindowEnabled(w.main.Handle()));
    EXPECT_TRUE(r.Logic().Lines().empty());
    EXPECT_TRUE(w.dialogs.shown.empty()) << w.dialogs.Last();
}
