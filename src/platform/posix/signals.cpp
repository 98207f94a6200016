#include "platform/signals.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <mutex>
#include <unistd.h>

namespace kvb {

struct TStopRequestsDeferred::Saved {
    sigset_t mask;
};

TStopRequestsDeferred::TStopRequestsDeferred() : saved_(std::make_unique<Saved>())
{
    sigset_t stops;
    sigemptyset(&stops);
    sigaddset(&stops, SIGINT);
    sigaddset(&stops, SIGTERM);
    sigaddset(&stops, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &stops, &saved_->mask);
}

TStopRequestsDeferred::~TStopRequestsDeferred()
{
    // Restoring the mask of before delivers whatever came meanwhile, unless an outer object
    // still holds it back.
    pthread_sigmask(SIG_SETMASK, &saved_->mask, nullptr);
}

namespace {

int stopPipe[2] = {-1, -1};

void OnStopSignal(int signal)
{
    const int saved = errno;
    const unsigned char number = static_cast<unsigned char>(signal);
    // A full pipe already holds a request; one more adds nothing.
    [[maybe_unused]] const ssize_t written = ::write(stopPipe[1], &number, 1);
    errno = saved;
}

} // namespace

int StopRequestsAsEvents()
{
    static std::once_flag once;
    std::call_once(once, [] {
        if (::pipe2(stopPipe, O_CLOEXEC | O_NONBLOCK) != 0)
            return;
        struct sigaction action = {};
        action.sa_handler = OnStopSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        for (int signal : {SIGINT, SIGTERM, SIGHUP})
            ::sigaction(signal, &action, nullptr);
    });
    return stopPipe[0];
}

int TakeStopRequest()
{
    unsigned char number = 0;
    return stopPipe[0] >= 0 && ::read(stopPipe[0], &number, 1) == 1 ? number : 0;
}

void TreatFileSizeLimitAsWriteError()
{
    static std::once_flag once;
    std::call_once(once, [] { std::signal(SIGXFSZ, SIG_IGN); });
}

} // namespace kvb
