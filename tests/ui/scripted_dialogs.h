// Dialogs for GUI tests: answers come from queues, and every text shown is recorded.
#pragma once

#include "ui/dialogs.h"

#include <QStringList>

#include <deque>
#include <ostream>
#include <stdexcept>

// Readable failure messages for Qt strings.
inline void PrintTo(const QString &s, std::ostream *os)
{
    *os << '"' << s.toStdString() << '"';
}
inline void PrintTo(const QStringList &l, std::ostream *os)
{
    *os << '{' << l.join("\", \"").toStdString() << '}';
}

namespace kvb::test {

class ScriptedDialogs : public ui::Dialogs {
public:
    QStringList shown; // "notice: ...", "error: ...", "question <caption>: ..."
    std::deque<std::optional<QString>> files;   // answers of OpenFile and SaveFile
    std::deque<std::optional<QString>> folders; // answers of ChooseFolder
    std::deque<bool> answers;                   // answers of Question
    std::deque<std::optional<QString>> texts;   // answers of AskText
    ui::FileDialogOptions lastFileOptions;

    void Notice(const QString &text) override { shown << "notice: " + text; }
    void Error(const QString &text) override { shown << "error: " + text; }
    bool Question(const QString &text, const QString &caption) override
    {
        shown << "question " + caption + ": " + text;
        return Next(answers, "question");
    }
    std::optional<QString> OpenFile(const ui::FileDialogOptions &options) override
    {
        lastFileOptions = options;
        return Next(files, "open dialog");
    }
    std::optional<QString> SaveFile(const ui::FileDialogOptions &options) override
    {
        lastFileOptions = options;
        return Next(files, "save dialog");
    }
    std::optional<QString> ChooseFolder(const QString &) override
    {
        return Next(folders, "folder chooser");
    }
    std::optional<QString> AskText(const QString &text, const QString &caption) override
    {
        shown << "ask " + caption + ": " + text;
        return Next(texts, "text question");
    }

private:
    template <typename T> static T Next(std::deque<T> &queue, const char *what)
    {
        if (queue.empty())
            throw std::logic_error(std::string("test gave no answer for the ") + what);
        T answer = queue.front();
        queue.pop_front();
        return answer;
    }
};

} // namespace kvb::test
