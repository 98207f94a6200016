// The main window's list: filling one block of 1,000 rows; sorting and filtering 200,000 entries.
#include "no_face.h"
#include "support/archive_builder.h"
#include "ui/app_windows.h"
#include "ui/entry_list.h"
#include "ui/kvbviewer.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QTreeWidget>

#include <benchmark/benchmark.h>

#include <cstdlib>

using namespace kvb;
using namespace kvb::test;
using namespace kvb::ui;
using kvb::bench::NoDialogs;
using kvb::bench::NoPlayer;

namespace {

void BM_FillBlockOfThousandRows(benchmark::State &state)
{
    TempDir dir;
    ArchiveBuilder b;
    for (int i = 0; i < 3000; ++i)
        b.Add("ENTRY" + std::to_string(i) + ".TEX", std::string(size_t(i % 50), 'x'));
    WriteFile(dir / "a.kvb", b.Build());

    NoDialogs dialogs;
    NoPlayer player;
    TAppWindows windows = CreateAppWindows(dialogs, player);
    TfrmKVBEditor &w = *windows.frmKVBEditor;
    w.show();
    w.Logic().OpenArchive(dir / "a.kvb");

    // Each round chooses the other block, which the logic then fills into the list.
    int block = 0;
    for (auto _ : state) {
        block = 1 - block;
        w.cmbList->setCurrentIndex(block);
        w.Logic().cmbListChange();
        QApplication::processEvents(); // the list's layout and first paint count too
    }
    state.counters["rows"] = w.lstFiles->topLevelItemCount();
}
BENCHMARK(BM_FillBlockOfThousandRows)->Unit(benchmark::kMillisecond);

// The largest list the window is made for.
constexpr int kLargest = 200000;

const std::string &LargestArchive(const TempDir &dir)
{
    static const std::string path = [&] {
        WriteFile(dir / "largest.kvb", NumberedArchive(kLargest, "ENTRY"));
        return dir / "largest.kvb";
    }();
    return path;
}

// One keystroke in the filter over 200,000 names: the matches listed, their first block filled
// and painted. The text alternates between one that more than half the names hold (111,111 of
// them) and one that 11,111 hold, as typing or erasing its last letter does.
void BM_FilterKeystrokeOverTwoHundredThousand(benchmark::State &state)
{
    static TempDir dir;
    NoDialogs dialogs;
    NoPlayer player;
    TAppWindows windows = CreateAppWindows(dialogs, player);
    TfrmKVBEditor &w = *windows.frmKVBEditor;
    w.show();
    w.Logic().OpenArchive(LargestArchive(dir));
    bool longer = false;
    for (auto _ : state) {
        longer = !longer;
        w.edtFilter->setText(longer ? "Y12" : "Y1");
        w.Logic().edtFilterChange();
        QApplication::processEvents();
    }
    state.counters["rows"] = w.lstFiles->topLevelItemCount();
}
BENCHMARK(BM_FilterKeystrokeOverTwoHundredThousand)->Unit(benchmark::kMillisecond);

// The first click on the name's header: 200,000 names taken from the catalogue and sorted.
void BM_FirstSortByNameOfTwoHundredThousand(benchmark::State &state)
{
    static TempDir dir;
    const TKVBFile catalogue(LargestArchive(dir), false);
    for (auto _ : state) {
        logic::TListedEntries listed;
        listed.Reset(catalogue);
        listed.SortBy(logic::TSortKey::Name);
        benchmark::DoNotOptimize(listed.RecordAt(0));
    }
}
BENCHMARK(BM_FirstSortByNameOfTwoHundredThousand)->Unit(benchmark::kMillisecond);

// Later clicks on a header sorted once: the other way round, its first block filled and painted.
void BM_HeaderClickAgainOverTwoHundredThousand(benchmark::State &state)
{
    static TempDir dir;
    NoDialogs dialogs;
    NoPlayer player;
    TAppWindows windows = CreateAppWindows(dialogs, player);
    TfrmKVBEditor &w = *windows.frmKVBEditor;
    w.show();
    w.Logic().OpenArchive(LargestArchive(dir));
    w.Logic().lstFilesColumnClick(0);
    for (auto _ : state) {
        w.Logic().lstFilesColumnClick(0);
        QApplication::processEvents();
    }
}
BENCHMARK(BM_HeaderClickAgainOverTwoHundredThousand)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    setenv("WINEPREFIX", "/nonexistent/kvb-bench-wine-prefix", 1);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
