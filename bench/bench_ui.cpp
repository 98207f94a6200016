// The main window's list: filling one block of 1,000 rows.
#include "support/archive_builder.h"
#include "ui/app_windows.h"
#include "ui/blocks.h"

#include <QApplication>
#include <QComboBox>
#include <QTreeWidget>

#include <benchmark/benchmark.h>

#include <cstdlib>

using namespace kvb;
using namespace kvb::test;
using namespace kvb::ui;

namespace {

// Answers nothing: the benchmark opens its archive directly.
class NoDialogs : public Dialogs {
public:
    void Notice(const QString &) override {}
    bool Question(const QString &, const QString &) override { return false; }
    void Error(const QString &) override {}
    std::optional<QString> OpenFile(const FileDialogOptions &) override { return {}; }
    std::optional<QString> SaveFile(const FileDialogOptions &) override { return {}; }
    std::optional<QString> ChooseFolder(const QString &) override { return {}; }
    std::optional<QString> AskText(const QString &, const QString &) override { return {}; }
};

void BM_FillBlockOfThousandRows(benchmark::State &state)
{
    TempDir dir;
    ArchiveBuilder b;
    for (int i = 0; i < 3000; ++i)
        b.Add("ENTRY" + std::to_string(i) + ".TEX", std::string(size_t(i % 50), 'x'));
    WriteFile(dir / "a.kvb", b.Build());

    NoDialogs dialogs;
    TAppWindows windows = CreateAppWindows(dialogs);
    TfrmKVBEditor &w = *windows.frmKVBEditor;
    w.show();
    w.OpenArchive(QString::fromStdString(dir / "a.kvb"));

    int block = 0;
    for (auto _ : state) {
        block = 1 - block;
        SetShownBlock(w.cmbList, block);
        w.FillFileList();
        QApplication::processEvents(); // the list's layout and first paint count too
    }
    state.counters["rows"] = w.lstFiles->topLevelItemCount();
}
BENCHMARK(BM_FillBlockOfThousandRows)->Unit(benchmark::kMillisecond);

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
