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

// What runs once the report window is up: the analysis before it runs messages too, so a
// timer looks each tick, and lets go of its work before it runs it.
std::function<bool()> ready;
std::function<void()> whenShown;

void CALLBACK Tick(HWND, UINT, UINT_PTR timer, DWORD)
{
    if (!ready || !ready())
        return;
    ::KillTimer(nullptr, timer);
    ready = nullptr;
    const std::function<void()> run = std::move(whenShown);
    run();
}

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
    ready = [&] { return r.Shown(); };
    whenShown = [&] {
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
    const UINT_PTR timer = ::SetTimer(nullptr, 0, 20, Tick);
    Win32Windows::Click(w.main.btnAnalyse);
    ::KillTimer(nullptr, timer);
    ready = nullptr;

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
