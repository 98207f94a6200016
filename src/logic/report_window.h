// The report window's behaviour, whatever draws it: the analysis report of the open archive at
// a size of its own, read whole without scrolling sideways in the main window's info lines,
// with Copy (the whole report as text on the clipboard) and Close.
#pragma once

#include "logic/window_description.h"

#include <string>
#include <vector>

namespace kvb::logic {

// What the logic asks of the report window's controls.
class TReportView {
public:
    virtual ~TReportView() = default;
    virtual void SetCaption(const std::string &caption) = 0;
    // lstReport: every line replaced.
    virtual void SetReportLines(const std::vector<std::string> &lines) = 0;
    // Puts text on the system's clipboard in place of what it held; lines end with "\n" here
    // and as the system ends them there.
    virtual void CopyText(const std::string &text) = 0;
    // Shows the window modally over the main window; returns once it has closed.
    virtual void ShowModal() = 0;
    virtual void Close() = 0;
};

class TReportLogic {
public:
    explicit TReportLogic(TReportView &view);

    // The window's controls and where they stand, and its keys, which both faces draw and bind
    // to the handlers below.
    static const TWindowDescription<TReportLogic> &Description();

    // Shows lines, the report on the archive called name (without folder), modally.
    void ShowReport(const std::string &name, std::vector<std::string> lines);

    // Handlers. Copy puts the whole report on the clipboard, a line break after each line.
    void btnCopyClick();
    // Close and Escape.
    void btnCloseClick();
    // Every way of closing ends here.
    void FormClose();

    // The report shown; empty while the window is closed.
    const std::vector<std::string> &Lines() const { return lines_; }

private:
    TReportView &view_;
    std::vector<std::string> lines_;
};

} // namespace kvb::logic
