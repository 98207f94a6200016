#include "logic/work.h"

#include "platform/errors.h"

namespace kvb::logic {

namespace {

// How many long works run now: one at most, since each runs inside an event of the one thread
// that runs the windows, and no other event starts work while one runs.
int runningWorks = 0;
TWork *runningWork = nullptr;

// How often at least a long work lets events run while its bar stays where it is: often
// enough that Cancel answers at once.
constexpr std::chrono::milliseconds kEventsEvery{40};

} // namespace

bool WorkRunning()
{
    return runningWorks > 0;
}

void CancelRunningWork()
{
    if (runningWork)
        runningWork->Cancel();
}

bool TWork::Run(const std::function<void()> &steps, const std::string &doing)
{
    // The window is busy from the first step to the last, whatever ends them.
    class TBusy {
    public:
        TBusy(TWork &work, const std::string &doing) : work_(work), doing_(doing)
        {
            work_.running_ = true;
            work_.cancel_ = false;
            work_.position_ = -1;
            work_.maximum_ = -1;
            work_.shown_ = -1;
            work_.lastEvents_ = std::chrono::steady_clock::now();
            ++runningWorks;
            runningWork = &work_;
            work_.view_.SetBusy(true);
            if (!doing_.empty())
                work_.view_.SetStatus(doing_);
        }
        ~TBusy()
        {
            if (!doing_.empty())
                work_.view_.SetStatus("");
            work_.view_.SetBusy(false);
            --runningWorks;
            runningWork = nullptr;
            work_.running_ = false;
            if (work_.closeWhenStopped_) {
                work_.closeWhenStopped_ = false;
                work_.view_.CloseWindow();
            }
        }
        TBusy(const TBusy &) = delete;
        TBusy &operator=(const TBusy &) = delete;

    private:
        TWork &work_;
        const std::string &doing_;
    } busy(*this, doing);

    try {
        steps();
    } catch (const ECancelled &) {
        return false;
    } catch (...) {
        // A bar left part way would tell of work that never ended: a failed open read nothing.
        view_.SetProgressPosition(0);
        throw;
    }
    return true;
}

void TWork::Cancel()
{
    if (running_)
        cancel_ = true;
}

bool TWork::CloseQuery(const std::string &question)
{
    if (!running_)
        return true;
    if (!closeWhenStopped_ && dialogs_.Question(question, kApplicationTitle)) {
        closeWhenStopped_ = true;
        cancel_ = true;
    }
    return false;
}

void TWork::Report(int32_t position, int32_t maximum)
{
    // What was reported is done, whether or not the work goes on.
    position_ = position;
    if (cancel_)
        throw ECancelled();
    // The bar is drawn again only when it moves by a thousandth: some systems repaint it at
    // every change, and an archive has up to millions of steps.
    if (maximum != maximum_) {
        maximum_ = maximum;
        shown_ = -1;
        view_.SetProgressMaximum(maximum);
    }
    // Events run where the bar moves, and between reports that keep it still for long.
    const int32_t shown = maximum > 0 ? int32_t(int64_t(position) * 1000 / maximum) : 0;
    const auto now = std::chrono::steady_clock::now();
    if (shown != shown_) {
        shown_ = shown;
        view_.SetProgressPosition(position);
    } else if (now - lastEvents_ < kEventsEvery) {
        return;
    }
    lastEvents_ = now;
    view_.LetEventsRun();
    // A Cancel delivered just now stops the work before its next step.
    if (cancel_)
        throw ECancelled();
}

} // namespace kvb::logic
