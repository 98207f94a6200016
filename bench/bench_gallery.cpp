// The gallery on 10,000 textures of 256 x 256 in the Qt window: how soon the first screen of
// thumbnails is painted after "Texture gallery...", how soon the last screen after End, how much
// memory the window holds above what the program held with the archive open (the baseline,
// read in the same run), and the longest the window's thread was kept from its events.
#include "no_face.h"
#include "support/archive_builder.h"
#include "support/tex_builder.h"
#include "ui/app_windows.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QListView>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <fstream>
#include <string>

using namespace kvb;
using namespace kvb::test;
using namespace kvb::ui;
using kvb::bench::NoDialogs;
using kvb::bench::NoPlayer;

namespace {

// The process's resident memory now, in bytes.
double ResidentBytes()
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stod(line.substr(6)) * 1024;
    return 0;
}

// The items whose cells the grid shows now.
std::vector<int> VisibleItems(const QListView &grid)
{
    std::vector<int> items;
    const QRect shown = grid.viewport()->rect();
    for (int row = 0; row < grid.model()->rowCount(); ++row)
        if (grid.visualRect(grid.model()->index(row, 0)).intersects(shown))
            items.push_back(row);
    return items;
}

// Runs the events until every item the grid shows has its thumbnail; the milliseconds it took.
double UntilShown(QListView &grid, logic::TGalleryLogic &logic)
{
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        QApplication::processEvents(QEventLoop::AllEvents, 5);
        bool all = true;
        for (const int item : VisibleItems(grid))
            all = logic.Thumbnail(item) && all;
        if (all)
            break;
    }
    // The paint of what arrived last.
    grid.viewport()->repaint();
    return double(clock.nsecsElapsed()) / 1e6;
}

void BM_GalleryOfTenThousandTextures(benchmark::State &state)
{
    TempDir dir;
    {
        ArchiveBuilder archive;
        const std::string texture = GradientTex(256, 256).Build();
        for (int i = 0; i < 10000; ++i)
            archive.Add("T" + std::to_string(i) + ".TEX", texture);
        WriteFile(dir / "textures.kvb", archive.Build());
    }
    NoDialogs dialogs;
    NoPlayer player;
    TAppWindows windows = CreateAppWindows(dialogs, player);
    TfrmKVBEditor &main = *windows.frmKVBEditor;
    TfrmGallery &gallery = *windows.frmGallery;
    main.show();
    main.Logic().OpenArchive(dir / "textures.kvb");
    QApplication::processEvents();
    const double floor = ResidentBytes();

    // A beat every millisecond: the longest wait between two beats is the longest the thread
    // was kept from its events.
    QElapsedTimer beat;
    double longestGap = 0;
    QTimer heart;
    heart.setInterval(1);
    QObject::connect(&heart, &QTimer::timeout, [&] {
        if (beat.isValid())
            longestGap = std::max(longestGap, double(beat.nsecsElapsed()) / 1e6);
        beat.restart();
    });

    double firstScreen = 0, lastScreen = 0, most = 0;
    int pages = 0;
    size_t keptMost = 0;
    for (auto _ : state) {
        heart.start();
        main.Logic().mnuGalleryClick();
        firstScreen = UntilShown(*gallery.lstThumbs, gallery.Logic());

        QKeyEvent end(QEvent::KeyPress, Qt::Key_End, Qt::NoModifier);
        QApplication::sendEvent(gallery.lstThumbs, &end);
        lastScreen = UntilShown(*gallery.lstThumbs, gallery.Logic());

        // Back to the top, then a page at a time to the end, every page painted in full.
        QKeyEvent home(QEvent::KeyPress, Qt::Key_Home, Qt::NoModifier);
        QApplication::sendEvent(gallery.lstThumbs, &home);
        UntilShown(*gallery.lstThumbs, gallery.Logic());
        for (pages = 0; pages < 2000; ++pages) {
            QKeyEvent down(QEvent::KeyPress, Qt::Key_PageDown, Qt::NoModifier);
            QApplication::sendEvent(gallery.lstThumbs, &down);
            UntilShown(*gallery.lstThumbs, gallery.Logic());
            most = std::max(most, ResidentBytes() - floor);
            keptMost = std::max(keptMost, gallery.Logic().KeptBytes());
            if (VisibleItems(*gallery.lstThumbs).back() == gallery.lstThumbs->model()->rowCount() - 1)
                break;
        }
        heart.stop();
        gallery.Close();
    }
    state.counters["first_screen_ms"] = firstScreen;
    state.counters["end_key_ms"] = lastScreen;
    state.counters["above_floor_MiB"] = most / (1 << 20);
    state.counters["kept_MiB"] = double(keptMost) / (1 << 20);
    state.counters["longest_wait_ms"] = longestGap;
    state.counters["pages"] = pages;
}
BENCHMARK(BM_GalleryOfTenThousandTextures)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
