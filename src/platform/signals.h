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

// From the first call on, SIGINT, SIGTERM and SIGHUP no longer end the process where it stands:
// each writes its number as one byte to the descriptor returned (the same on every call), for
// an event loop to read and end the program in order, its temporary files removed. -1 where the
// system has no such signals (a window there gets its own message to close).
int StopRequestsAsEvents();
// Once that descriptor is readable: the number of the signal that asked, 0 when none did.
int TakeStopRequest();

// From the first call on, a write past the process's file size limit fails as an ordinary
// write error instead of ending the process (SIGXFSZ), so that the writer can put things back.
void TreatFileSizeLimitAsWriteError();

} // namespace kvb
