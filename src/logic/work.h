// Long work in a window (opening a large archive, extracting every entry, creating, analysing,
// rebuilding, appending): its progress on the window's bar, a Cancel button beside it, and the
// window kept painting and answering Cancel, Escape and its close button while it runs. The
// work runs in the window's own thread; between its steps it lets the window's events run.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

#include "logic/face.h"

namespace kvb::logic {

// What long work asks of a window.
class TWorkView {
public:
    virtual ~TWorkView() = default;
    // The progress bar: position of maximum.
    virtual void SetProgressMaximum(int32_t maximum) = 0;
    virtual void SetProgressPosition(int32_t position) = 0;
    // While work runs every control but the Cancel button (btnCancel) is disabled, and Cancel
    // is enabled; Escape and the close button still reach the logic.
    virtual void SetBusy(bool busy) = 0;
    // Paints, and delivers the events waiting: a click on Cancel, Escape, the close button.
    virtual void LetEventsRun() = 0;
    // The status line (lblStatus): what the last long work did, or nothing.
    virtual void SetStatus(const std::string &text) = 0;
    // Closes the window once the event being handled is done (after a close the user
    // confirmed during work).
    virtual void CloseWindow() = 0;
};

// Whether long work runs anywhere in the program. The work's handler is still on the stack
// then, so that the face's other events are ignored until it ends (see Guarded).
bool WorkRunning();
// Cancels the long work that runs, if any (the system asked the program to end).
void CancelRunningWork();

class TWork {
public:
    TWork(TWorkView &view, TDialogs &dialogs) : view_(view), dialogs_(dialogs) {}

    // Runs steps with the window busy; the steps hand Report (through the window's progress
    // handler) to the library. Once Cancel is requested the next report raises ECancelled,
    // which stops the steps there. True when the steps ended, false when they were cancelled;
    // other errors go on to the caller, with the bar back at its start. The status line says doing while the steps run, and
    // is empty again after them, for the caller's word on how they ended.
    bool Run(const std::function<void()> &steps, const std::string &doing = {});

    // The library's report of how far the work has got: moves the bar when it moves (by a
    // thousandth), lets events run then or when they have not run for a while, and raises
    // ECancelled once Cancel was requested.
    void Report(int32_t position, int32_t maximum);

    bool Running() const { return running_; }
    // Cancel, Escape, or a close the user confirmed: the work stops at its next step.
    void Cancel();
    // The window's close button: true when the window may close now. During work it asks
    // question; after Yes the work stops, and the window closes once it has.
    bool CloseQuery(const std::string &question);
    bool CancelRequested() const { return cancel_; }
    // The last report of the last work: how far it got, of how much (-1 before any report).
    int32_t Position() const { return position_; }
    int32_t Maximum() const { return maximum_; }

private:
    TWorkView &view_;
    TDialogs &dialogs_;
    bool running_ = false;
    bool closeWhenStopped_ = false;
    bool cancel_ = false;
    int32_t position_ = -1;
    int32_t maximum_ = -1;
    int32_t shown_ = -1; // the bar's position in thousandths of the maximum
    std::chrono::steady_clock::time_point lastEvents_;
};

} // namespace kvb::logic
