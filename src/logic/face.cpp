#include "logic/face.h"

#include "logic/work.h"
#include "platform/paths.h"

#include <exception>
#include <filesystem>

namespace kvb::logic {

std::string JoinLines(const std::vector<std::string> &lines)
{
    std::string text;
    for (const std::string &line : lines)
        text += (text.empty() ? "" : "\n") + line;
    return text;
}

std::string ErrorBoxText(const std::string &message)
{
    // Each line on its own: the system's text, then what was being done, where and why.
    std::string text;
    size_t start = 0;
    for (;;) {
        const size_t end = message.find('\n', start);
        std::string line = message.substr(start, end == std::string::npos ? end : end - start);
        if (!line.empty() && static_cast<unsigned char>(line.back()) > '.')
            line += '.';
        text += line;
        if (end == std::string::npos)
            return text;
        text += '\n';
        start = end + 1;
    }
}

void Guarded(TDialogs &dialogs, const std::function<void()> &handler)
{
    if (!WorkRunning())
        GuardedDuringWork(dialogs, handler);
}

namespace {

// Handlers on the stack: one, or more where a dialog's event loop runs another event.
int runningHandlers = 0;

} // namespace

void GuardedDuringWork(TDialogs &dialogs, const std::function<void()> &handler)
{
    struct TRunning {
        TRunning() { ++runningHandlers; }
        ~TRunning() { --runningHandlers; }
    } running;
    try {
        handler();
    } catch (const std::exception &e) {
        dialogs.Error(ErrorBoxText(e.what()));
    }
}

bool HandlerRunning()
{
    return runningHandlers > 0;
}

bool TFolderDialog::Execute()
{
    const std::optional<std::string> chosen = dialogs_.ChooseFolder(Title);
    if (!chosen || chosen->empty())
        return false;
    path_ = *chosen;
    const char separator = char(std::filesystem::path::preferred_separator);
    if (path_.back() != separator && path_.back() != '/')
        path_ += separator;
    return true;
}

void TFolderMemory::ChoseFile(const std::string &file)
{
    folder_ = ParentFolderOf(AbsolutePathOf(file));
}

void TFolderMemory::ChoseFolder(const std::string &folder)
{
    folder_ = AbsolutePathOf(folder);
}

} // namespace kvb::logic
