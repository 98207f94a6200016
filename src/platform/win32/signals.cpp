#include "platform/signals.h"

#include "platform/win32/wide.h"

#include <atomic>
#include <mutex>

namespace kvb {

namespace {

std::atomic<int> deferring{0};
std::atomic<bool> stopRequested{false};

// Runs on a thread of its own when Ctrl+C, Ctrl+Break or closing the console asks the process
// to stop: while an edit runs, the request is noted and acted upon when the edit is done.
BOOL WINAPI OnStopRequest(DWORD)
{
    if (deferring.load() == 0)
        return FALSE; // the system's own handling: the process ends
    stopRequested = true;
    return TRUE;
}

} // namespace

struct TStopRequestsDeferred::Saved {};

TStopRequestsDeferred::TStopRequestsDeferred()
{
    static std::once_flag once;
    std::call_once(once, [] { ::SetConsoleCtrlHandler(OnStopRequest, TRUE); });
    ++deferring;
}

TStopRequestsDeferred::~TStopRequestsDeferred()
{
    if (--deferring == 0 && stopRequested.exchange(false))
        ::ExitProcess(STATUS_CONTROL_C_EXIT);
}

int StopRequestsAsEvents()
{
    return -1;
}

int TakeStopRequest()
{
    return 0;
}

void TreatFileSizeLimitAsWriteError()
{
    // Windows has no file size limit that ends a process; a write past what the disk takes fails
    // as a write.
}

} // namespace kvb
