#include "media/win32/mci_player.h"

#include "platform/errors.h"
#include "platform/win32/wide.h"

#include <mmsystem.h>

namespace kvb {

namespace {

std::string MciMessage(MCIERROR error)
{
    wchar_t text[256] = {};
    if (!::mciGetErrorStringW(error, text, 256))
        return "MCI error " + std::to_string(error);
    return win32::Utf8(text);
}

} // namespace

MciPlayer::~MciPlayer()
{
    Close();
}

MediaMode MciPlayer::QueryMode()
{
    if (device_ == 0)
        return MediaMode::NotReady;
    MCI_STATUS_PARMS status{};
    status.dwItem = MCI_STATUS_MODE;
    if (::mciSendCommandW(device_, MCI_STATUS, MCI_STATUS_ITEM | MCI_WAIT,
                          reinterpret_cast<DWORD_PTR>(&status)) != 0)
        return MediaMode::NotReady;
    switch (status.dwReturn) {
    case MCI_MODE_STOP: return MediaMode::Stopped;
    case MCI_MODE_PLAY: return MediaMode::Playing;
    case MCI_MODE_RECORD: return MediaMode::Recording;
    case MCI_MODE_SEEK: return MediaMode::Seeking;
    case MCI_MODE_PAUSE: return MediaMode::Paused;
    case MCI_MODE_OPEN: return MediaMode::Open;
    default: return MediaMode::NotReady;
    }
}

void MciPlayer::Stop()
{
    if (device_ != 0)
        ::mciSendCommandW(device_, MCI_STOP, MCI_WAIT, 0);
}

void MciPlayer::Close()
{
    if (device_ != 0) {
        ::mciSendCommandW(device_, MCI_CLOSE, MCI_WAIT, 0);
        device_ = 0;
    }
}

void MciPlayer::Open(const std::string &fileName)
{
    Close();
    const std::wstring name = win32::Wide(fileName);
    MCI_OPEN_PARMSW open{};
    open.lpstrDeviceType = L"sequencer";
    open.lpstrElementName = name.c_str();
    const MCIERROR error = ::mciSendCommandW(0, MCI_OPEN, MCI_OPEN_TYPE | MCI_OPEN_ELEMENT | MCI_WAIT,
                                             reinterpret_cast<DWORD_PTR>(&open));
    if (error != 0)
        throw EKVBError("Cannot play " + fileName + ": " + MciMessage(error));
    device_ = open.wDeviceID;
}

void MciPlayer::Play()
{
    if (device_ == 0)
        return;
    MCI_PLAY_PARMS play{};
    ::mciSendCommandW(device_, MCI_PLAY, 0, reinterpret_cast<DWORD_PTR>(&play));
}

} // namespace kvb
