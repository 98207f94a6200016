#include "platform/signals.h"

#include <csignal>
#include <mutex>

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

void TreatFileSizeLimitAsWriteError()
{
    static std::once_flag once;
    std::call_once(once, [] { std::signal(SIGXFSZ, SIG_IGN); });
}

} // namespace kvb
