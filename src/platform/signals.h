// Keeping an edit of a file whole when the process is asked to stop.
#pragma once

#include <memory>

namespace kvb {

// While an object lives, SIGINT, SIGTERM and SIGHUP wait: an edit or a commit that has begun
// finishes first, and a request to stop that came meanwhile is acted upon when the outermost
// object ends. Nothing can hold back SIGKILL; what survives that is the edit journal's work.
class TStopRequestsDeferred {
public:
    TStopRequestsDeferred();
    ~TStopRequestsDeferred();
    TStopRequestsDeferred(const TStopRequestsDeferred &) = delete;
    TStopRequestsDeferred &operator=(const TStopRequestsDeferred &) = delete;

private:
    struct Saved;
    std::unique_ptr<Saved> saved_;
};

// From the first call on, a write past the process's file size limit fails as an ordinary
// write error instead of ending the process (SIGXFSZ), so that the writer can put things back.
void TreatFileSizeLimitAsWriteError();

} // namespace kvb
