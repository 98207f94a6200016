// kvbview.exe: the desktop program on Windows. Starts its windows, opens the archive it is
// given (a double-click on a .KVB file), and runs until the main window closes.
#include "media/win32/mci_player.h"
#include "platform/program_arguments.h"
#include "platform/win32/wide.h"
#include "win32ui/app_windows.h"
#include "win32ui/dialogs.h"

#include <ole2.h>

#include <exception>

using namespace kvb;
using namespace kvb::win32ui;

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int show)
{
    // The shell's folder browser and its drag and drop need OLE on this thread.
    const HRESULT ole = ::OleInitialize(nullptr);
    int status = 1;
    {
        TWin32Dialogs dialogs;
        MciPlayer player;
        try {
            TAppWindows windows = CreateAppWindows(dialogs, player);
            TfrmKVBEditor &main = *windows.frmKVBEditor;
            dialogs.SetFallbackOwner(main.Handle());
            main.Closed = [] { ::PostQuitMessage(0); };
            ::ShowWindow(main.Handle(), show);
            ::UpdateWindow(main.Handle());

            const std::vector<std::string> arguments = ProgramArguments(0, nullptr);
            if (arguments.size() > 1)
                logic::Guarded(dialogs, [&] { main.Logic().OpenArchive(arguments[1]); });
            status = TForm::RunMessageLoop();
        } catch (const std::exception &e) {
            // Only the windows' making raises this far: the program cannot start.
            ::MessageBoxW(nullptr, win32::Wide(logic::ErrorBoxText(e.what())).c_str(),
                          win32::Wide(logic::kApplicationTitle).c_str(), MB_OK | MB_ICONERROR);
        }
    }
    if (SUCCEEDED(ole))
        ::OleUninitialize();
    return status;
}
