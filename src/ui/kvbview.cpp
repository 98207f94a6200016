// kvbview: the desktop program. Starts the three windows and runs until the main window closes.
#include "platform/fluidsynth_player.h"
#include "ui/app_windows.h"
#include "ui/dialogs.h"

#include <QApplication>
#include <QTimer>

#include <cstdio>
#include <cstdlib>

namespace {

bool HasDisplay()
{
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        if (const char *value = std::getenv(name); value && *value)
            return true;
    return false;
}

} // namespace

int main(int argc, char **argv)
{
    if (!HasDisplay()) {
        std::fprintf(stderr,
                     "kvbview: no display found (DISPLAY and WAYLAND_DISPLAY are not set).\n"
                     "Run it inside a graphical session, or on a headless machine with\n"
                     "  xvfb-run -a kvbview [ARCHIVE]\n");
        return 1;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName("kvbview");
    QApplication::setDesktopFileName("kvbview");

    using namespace kvb::ui;
    // Created before the windows so that FormCreate's errors have an owner-less box.
    QtDialogs dialogs(nullptr);
    kvb::FluidSynthPlayer player;
    TAppWindows windows = CreateAppWindows(dialogs, player);
    TfrmKVBEditor &main = *windows.frmKVBEditor;
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
