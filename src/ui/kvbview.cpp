// kvbview: the desktop program. Starts its windows and runs until the main window closes.
#include "media/fluidsynth_player.h"
#include "ui/app_windows.h"
#include "ui/dialogs.h"

#include "logic/work.h"
#include "platform/signals.h"

#include <QApplication>
#include <QSocketNotifier>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

namespace {

bool HasDisplay()
{
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        if (const char *value = std::getenv(name); value && *value)
            return true;
    return false;
}

// In the form help2man reads: the manual page is made from it.
constexpr const char *kHelp =
    "Usage: kvbview [ARCHIVE]\n"
    "Lists, extracts, previews, builds, analyses and patches the resource archives (.KVB) of a\n"
    "PC game in a window, and opens ARCHIVE when one is given. The command-line tool kvb does\n"
    "the same from scripts.\n"
    "\n"
    "At start kvbview changes to the game's data folder when a Wine registry (system.reg) of\n"
    "$WINEPREFIX, ~/.wine or a Steam Proton prefix records the game's install folder.\n"
    "\"Create KVB\" needs the validation template KVB.<count> next to kvbview (kvb template\n"
    "writes one). kvbview exits with 0 when its window is closed, and with 1 when it finds\n"
    "no display: on a machine without one, run it as xvfb-run -a kvbview. SIGINT, SIGTERM and\n"
    "SIGHUP end it as its close button does (long work cancelled, temporary files removed),\n"
    "with the exit status 128 + the signal's number.\n"
    "\n"
    "Options:\n"
    "  -h, --help     show this help and exit\n"
    "      --version  show the version and exit\n"
    "\n"
    "Environment:\n"
    "  DISPLAY, WAYLAND_DISPLAY  the display to show the window on\n"
    "  WINEPREFIX     the Wine prefix searched first for the game's install folder\n"
    "  HOME           where ~/.wine and the Steam libraries are found\n"
    "  KVB_SOUNDFONT  the SoundFont (.sf2) music plays with, instead of\n"
    "                 /usr/share/sounds/sf2/default-GM.sf2\n"
    "  KVB_AUDIO_DRIVER  the FluidSynth audio driver (alsa, pulseaudio, jack, ...)\n";

} // namespace

int main(int argc, char **argv)
{
    // Before anything needs a display: the manual page is made from these. Every other
    // argument is Qt's or the archive's.
    const std::string first = argc > 1 ? argv[1] : "";
    if (first == "-h" || first == "--help") {
        std::fputs(kHelp, stdout);
        return std::fflush(stdout) == 0 ? 0 : 1;
    }
    if (first == "--version") {
        std::puts("kvbview " KVB_VERSION);
        return std::fflush(stdout) == 0 ? 0 : 1;
    }
    if (!HasDisplay()) {
        std::fprintf(stderr, "kvbview: no display found (DISPLAY and WAYLAND_DISPLAY are not set).\n"
                             "Run it inside a graphical session, or on a headless machine with\n"
                             "  xvfb-run -a kvbview [ARCHIVE]\n");
        return 1;
    }
    // Asked to stop, the program ends as its close button ends it, without a question: long
    // work is cancelled, and the preview's temporary files go with the windows.
    const int stopRequests = kvb::StopRequestsAsEvents();
    QApplication app(argc, argv);
    std::unique_ptr<QSocketNotifier> stops;
    if (stopRequests >= 0) {
        stops = std::make_unique<QSocketNotifier>(stopRequests, QSocketNotifier::Read);
        QObject::connect(stops.get(), &QSocketNotifier::activated, [] {
            const int signal = kvb::TakeStopRequest();
            kvb::logic::CancelRunningWork();
            QCoreApplication::exit(128 + signal);
        });
    }
    QApplication::setApplicationName("kvbview");
    QApplication::setDesktopFileName("kvbview");

    using namespace kvb::ui;
    // Created before the windows so that FormCreate's errors have an owner-less box.
    QtDialogs dialogs(nullptr);
    kvb::FluidSynthPlayer player;
    TAppWindows windows = CreateAppWindows(dialogs, player);
    TfrmKVBEditor &main = *windows.frmKVBEditor;
    dialogs.SetOwner(&main);
    main.show();

    const QStringList args = QApplication::arguments();
    if (args.size() > 1) {
        const std::string archive = args.at(1).toStdString();
        QTimer::singleShot(0, &main, [&main, &dialogs, archive] {
            kvb::logic::Guarded(dialogs, [&] { main.Logic().OpenArchive(archive); });
        });
    }
    return QApplication::exec();
}
