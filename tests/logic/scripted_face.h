// A face for the window logic made of plain data: dialogs answer from queues and record every
// text shown, the views hold what the logic put in them, and the player remembers what it was
// asked. No toolkit: these tests run on every system.
#pragma once

#include "logic/advanced_window.h"
#include "logic/compare_window.h"
#include "logic/main_window.h"
#include "logic/preview_window.h"
#include "logic/report_window.h"
#include "media/media_player.h"
#include "platform/file_attributes.h"
#include "preview/entry_preview.h"
#include "support/archive_builder.h"

#include <algorithm>
#include <deque>
#include <functional>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace kvb::test {

class ScriptedDialogs : public logic::TDialogs {
public:
    std::vector<std::string> shown; // "notice: ...", "error: ...", "question <caption>: ..."
    std::deque<std::optional<std::string>> files;   // answers of OpenFile and SaveFile
    std::deque<std::optional<std::string>> folders; // answers of ChooseFolder
    std::deque<bool> answers;                       // answers of Question
    std::deque<logic::TAnswer> choices;             // answers of QuestionWithCancel
    std::deque<std::optional<std::string>> texts;   // answers of AskText
    logic::TFileDialog lastFile;

    void Notice(const std::string &text) override { shown.push_back("notice: " + text); }
    void Error(const std::string &text) override { shown.push_back("error: " + text); }
    // What happens while the next question is up (its box runs the face's events).
    std::function<void()> duringNextQuestion;
    bool Question(const std::string &text, const std::string &caption) override
    {
        shown.push_back("question " + caption + ": " + text);
        if (duringNextQuestion) {
            const std::function<void()> during = std::move(duringNextQuestion);
            duringNextQuestion = nullptr;
            during();
        }
        return Next(answers, "question");
    }
    logic::TAnswer QuestionWithCancel(const std::string &text, const std::string &caption) override
    {
        shown.push_back("question " + caption + " (or cancel): " + text);
        return Next(choices, "question with Cancel");
    }
    std::optional<std::string> OpenFile(const logic::TFileDialog &dialog) override
    {
        lastFile = dialog;
        return Next(files, "open dialog");
    }
    std::optional<std::string> SaveFile(const logic::TFileDialog &dialog) override
    {
        lastFile = dialog;
        return Next(files, "save dialog");
    }
    std::optional<std::string> ChooseFolder(const std::string &) override
    {
        return Next(folders, "folder chooser");
    }
    // What happens while the text is asked for (a dialog takes the focus, say).
    std::function<void()> whileAsking;
    std::optional<std::string> AskText(const std::string &text, const std::string &caption) override
    {
        shown.push_back("ask " + caption + ": " + text);
        if (whileAsking)
            whileAsking();
        return Next(texts, "text question");
    }
    // The list shown last; answered from answers, as a question is.
    logic::TListQuestion lastList;
    bool ConfirmList(const logic::TListQuestion &question) override
    {
        lastList = question;
        return Question(question.Text,
                        question.Caption + " (a list of " + std::to_string(question.Rows.size()) + ")");
    }
    std::string Last() const { return shown.empty() ? std::string() : shown.back(); }

private:
    template <typename T>
    static T Next(std::deque<T> &queue, const char *what)
    {
        if (queue.empty())
            throw std::logic_error(std::string("test gave no answer for the ") + what);
        T answer = queue.front();
        queue.pop_front();
        return answer;
    }
};

// The progress row of a window: what long work put in it, and what the user does while it runs
// (whenEvents runs at each LetEventsRun: a click on Cancel, say).
template <class View>
class ScriptedWork : public View {
public:
    int32_t progressMaximum = 100, progressPosition = 0;
    int progressMoves = 0;
    bool busy = false;
    int busySpells = 0;
    int eventRuns = 0;
    std::function<void()> whenEvents;
    std::string status;
    int closes = 0;

    void SetProgressMaximum(int32_t maximum) override { progressMaximum = maximum; }
    void SetProgressPosition(int32_t position) override
    {
        progressPosition = position;
        ++progressMoves;
    }
    void SetBusy(bool b) override
    {
        busy = b;
        busySpells += b ? 1 : 0;
    }
    void LetEventsRun() override
    {
        ++eventRuns;
        if (whenEvents)
            whenEvents();
    }
    void SetStatus(const std::string &text) override { status = text; }
    void CloseWindow() override { ++closes; }
};

class ScriptedMainView : public ScriptedWork<logic::TMainView> {
public:
    std::vector<std::string> labels;
    int chosenLabel = -1;
    std::vector<TEntryRow> rows;
    int fills = 0; // how often the rows were replaced
    int selectedRow = -1;
    // Several rows selected (Ctrl-click, Shift-click); empty: selectedRow alone, if any.
    std::vector<int> selectedRows;
    bool listFocused = false;
    int sortColumn = -1;
    bool sortDescending = false;
    std::string filterText, filterCount;
    std::vector<std::string> info;
    bool fullRead = true;
    std::vector<std::string> links;
    bool linksOpen = true;           // whether the system has a program for them
    std::vector<std::string> recent; // AddRecentDocument's
    // "default <path>" and "chosen <path>": the files handed to other programs, and how each
    // hand-over ends (opened when none is given).
    std::vector<std::string> opened;
    std::deque<TOpened> openings;
    std::set<std::string> watched;

    void SetBlockLabels(const std::vector<std::string> &l) override
    {
        labels = l;
        chosenLabel = -1;
    }
    void SelectBlockLabel(int index) override { chosenLabel = index; }
    int ChosenBlockLabel() const override { return chosenLabel; }
    void SetEntryRows(const std::vector<TEntryRow> &r) override
    {
        rows = r;
        selectedRow = -1;
        selectedRows.clear();
        ++fills;
    }
    int SelectedEntryRow() const override
    {
        if (selectedRows.empty() ||
            std::find(selectedRows.begin(), selectedRows.end(), selectedRow) != selectedRows.end())
            return selectedRow;
        return selectedRows.front();
    }
    std::vector<int> SelectedEntryRows() const override
    {
        if (!selectedRows.empty())
            return selectedRows;
        return selectedRow < 0 ? std::vector<int>{} : std::vector<int>{selectedRow};
    }
    void SelectEntryRow(int row) override
    {
        selectedRow = row;
        selectedRows.clear();
        listFocused = true;
    }
    void SelectAllEntryRows() override
    {
        selectedRows.clear();
        for (size_t row = 0; row < rows.size(); ++row)
            selectedRows.push_back(int(row));
    }
    void ShowSortColumn(int column, bool descending) override
    {
        sortColumn = column;
        sortDescending = descending;
    }
    std::string FilterText() const override { return filterText; }
    void SetFilterText(const std::string &text) override { filterText = text; }
    void SetFilterCount(const std::string &text) override { filterCount = text; }
    void SetInfoLines(const std::vector<std::string> &lines) override { info = lines; }
    bool FullRead() const override { return fullRead; }
    bool OpenLink(const std::string &url) override
    {
        links.push_back(url);
        return linksOpen;
    }
    TOpened OpenWithDefault(const std::string &path) override { return Open("default " + path); }
    TOpened OpenWithChosenProgram(const std::string &path) override { return Open("chosen " + path); }
    void WatchFile(const std::string &path) override { watched.insert(path); }
    void AddRecentDocument(const std::string &path) override { recent.push_back(path); }
    void UnwatchFile(const std::string &path) override { watched.erase(path); }
    // The playing line's text; empty while it is hidden.
    std::string playing;
    void ShowPlaying(const std::string &text) override { playing = text; }

private:
    TOpened Open(const std::string &call)
    {
        opened.push_back(call);
        if (openings.empty())
            return TOpened::Opened;
        const TOpened answer = openings.front();
        openings.pop_front();
        return answer;
    }
};

class ScriptedAdvancedView : public ScriptedWork<logic::TAdvancedView> {
public:
    logic::TAdvancedLogic *logic = nullptr;
    // What the user does while the window is shown modally; the window then closes.
    std::function<void()> whileShown;
    bool shown = false;

    std::vector<std::string> info;
    std::vector<std::string> tableLabels, dataLabels;
    int tableChosen = -1, dataChosen = -1;
    std::vector<TTableRow> tableRows;
    std::vector<TDataRow> dataRows;
    int tableSelected = -1, dataSelected = -1;
    TList focused = TList::None;

    void SetInfoLines(const std::vector<std::string> &lines) override { info = lines; }
    void SetTableBlockLabels(const std::vector<std::string> &l) override { tableLabels = l; }
    void SetDataBlockLabels(const std::vector<std::string> &l) override { dataLabels = l; }
    void SelectTableBlockLabel(int index) override { tableChosen = index; }
    void SelectDataBlockLabel(int index) override { dataChosen = index; }
    int ChosenTableBlockLabel() const override { return tableChosen; }
    int ChosenDataBlockLabel() const override { return dataChosen; }
    int DataBlockLabelCount() const override { return int(dataLabels.size()); }
    void SetTableRows(const std::vector<TTableRow> &rows) override
    {
        tableRows = rows;
        tableSelected = -1;
    }
    void SetDataRows(const std::vector<TDataRow> &rows) override
    {
        dataRows = rows;
        dataSelected = -1;
    }
    void AddDataRow(const TDataRow &row) override { dataRows.push_back(row); }
    void SetTableRowData(int row, const std::string &data) override
    {
        tableRows.at(size_t(row))[1] = data;
    }
    int SelectedTableRow() const override { return tableSelected; }
    int SelectedDataRow() const override { return dataSelected; }
    std::string TableRowData(int row) const override { return tableRows.at(size_t(row))[1]; }
    void SelectTableRow(int row, bool focus) override
    {
        tableSelected = row;
        if (focus)
            focused = TList::Table;
    }
    void SelectDataRow(int row, bool focus) override
    {
        dataSelected = row;
        if (focus)
            focused = TList::Data;
    }
    TList FocusedList() const override { return focused; }
    void ShowModal() override
    {
        shown = true;
        logic::Guarded(*dialogs, [this] { logic->FormShow(); });
        if (whileShown)
            whileShown();
        logic->FormClose();
        shown = false;
    }
    void Close() override {}

    logic::TDialogs *dialogs = nullptr;
};

class ScriptedCompareView : public logic::TCompareView {
public:
    logic::TCompareLogic *logic = nullptr;
    // What the user does while the window is shown modally; the window then closes.
    std::function<void()> whileShown;
    bool shown = false;
    std::string caption, summary;
    std::vector<TDiffRow> rows;
    int selectedRow = -1;
    int closes = 0;

    void SetCaption(const std::string &c) override { caption = c; }
    void SetSummary(const std::string &text) override { summary = text; }
    void SetDiffRows(const std::vector<TDiffRow> &r) override
    {
        rows = r;
        selectedRow = -1;
    }
    int SelectedDiffRow() const override { return selectedRow; }
    void ShowModal() override
    {
        shown = true;
        if (whileShown)
            whileShown();
        logic->FormClose();
        shown = false;
    }
    void Close() override { ++closes; }
};

class ScriptedGalleryView : public logic::TGalleryView {
public:
    logic::TGalleryLogic *logic = nullptr;
    bool shown = false;
    std::string caption, filterText, count;
    std::vector<std::string> items;
    std::vector<int> selected; // ascending
    int current = -1;

    void SetCaption(const std::string &c) override { caption = c; }
    void SetItems(const std::vector<std::string> &captions) override
    {
        items = captions;
        selected.clear();
        current = -1;
    }
    std::vector<int> SelectedItems() const override { return selected; }
    int CurrentItem() const override { return current; }
    void SelectAllItems() override
    {
        selected.clear();
        for (size_t i = 0; i < items.size(); ++i)
            selected.push_back(int(i));
    }
    std::string FilterText() const override { return filterText; }
    void SetFilterText(const std::string &text) override { filterText = text; }
    void SetCount(const std::string &text) override { count = text; }
    void ShowWindow() override { shown = true; }
    void Close() override
    {
        shown = false;
        logic->FormClose();
    }
};

class ScriptedReportView : public logic::TReportView {
public:
    logic::TReportLogic *logic = nullptr;
    // What the user does while the window is shown modally; the window then closes.
    std::function<void()> whileShown;
    bool shown = false;
    int shows = 0;
    std::string caption;
    std::vector<std::string> lines;
    std::vector<std::string> copied; // the clipboard's texts, in turn
    int closes = 0;

    void SetCaption(const std::string &c) override { caption = c; }
    void SetReportLines(const std::vector<std::string> &l) override { lines = l; }
    void CopyText(const std::string &text) override { copied.push_back(text); }
    void ShowModal() override
    {
        shown = true;
        ++shows;
        if (whileShown)
            whileShown();
        logic->FormClose();
        shown = false;
    }
    void Close() override { ++closes; }
};

class ScriptedTexView : public logic::TTexView {
public:
    std::optional<TTexImage> texture;
    int zoom = 0; // percent
    std::string caption;
    int shows = 0;
    logic::TRect room{0, 0, 1000, 700};
    logic::TRect FreeArea() const override { return room; }
    void ShowPicture(const TTexImage &t, int percent, const std::string &c) override
    {
        texture = t;
        zoom = percent;
        caption = c;
        ++shows;
        visible = true;
    }
    void Hide() override { visible = false; }
    bool visible = false;
};

// Plays nothing; remembers what it was asked to do. At Close it notes whether the preview's
// previous file was still there, which shows the order of the preview's steps.
class ScriptedPlayer : public MediaPlayer {
public:
    MediaMode mode = MediaMode::NotReady;
    std::string openedFile;
    std::string fileContentAtOpen;
    std::vector<std::string> calls;
    std::optional<std::string> openError; // why Open fails, if it does
    std::string previewFileAtClose;
    bool previewFileExistedAtClose = false;

    MediaMode QueryMode() override
    {
        calls.push_back("mode");
        return mode;
    }
    void Stop() override
    {
        calls.push_back("stop");
        if (mode == MediaMode::Playing || mode == MediaMode::Paused)
            mode = MediaMode::Stopped;
    }
    void Close() override
    {
        calls.push_back("close");
        previewFileAtClose = PreviewTempFile;
        previewFileExistedAtClose = !PreviewTempFile.empty() && FileAttributes(PreviewTempFile);
        mode = MediaMode::NotReady;
        openedFile.clear();
    }
    void Open(const std::string &fileName) override
    {
        calls.push_back("open");
        if (openError) // as the players word it
            throw EKVBError("Cannot play " + fileName + ": " + *openError);
        openedFile = fileName;
        fileContentAtOpen = ReadFile(PathFromUtf8(fileName));
        mode = MediaMode::Stopped;
    }
    void Play() override
    {
        calls.push_back("play");
        mode = MediaMode::Playing;
    }
};

// The three windows' logic over the scripted face, wired as the program wires them.
struct ScriptedWindows {
    ScriptedDialogs dialogs;
    ScriptedMainView mainView;
    ScriptedAdvancedView advancedView;
    ScriptedTexView texView;
    ScriptedCompareView compareView;
    ScriptedGalleryView galleryView;
    ScriptedReportView reportView;
    ScriptedPlayer player;
    std::vector<std::pair<std::string, std::string>> rendered; // (mid, wav) asked of the renderer
    logic::TKVBEditorLogic main{mainView, dialogs, player,
                                SortByCompare([](const std::string &a, const std::string &b) {
                                    return a.compare(b);
                                }),
                                [this](const std::string &mid, const std::string &wav) {
                                    rendered.emplace_back(mid, wav);
                                    WriteFile(PathFromUtf8(wav), "RIFF");
                                }};
    logic::TTexViewLogic texViewLogic{texView, dialogs};
    logic::TAdvancedLogic advanced{advancedView, dialogs};
    logic::TCompareLogic compare{compareView};
    logic::TGalleryLogic gallery{galleryView};
    logic::TReportLogic report{reportView};

    ScriptedWindows()
    {
        advancedView.logic = &advanced;
        advancedView.dialogs = &dialogs;
        compareView.logic = &compare;
        galleryView.logic = &gallery;
        reportView.logic = &report;
        main.SetSecondaryWindows(texViewLogic, advanced, compare);
        main.SetGallery(gallery);
        main.SetReportWindow(report);
    }
    // Runs a handler as a face runs every event: inside the error guard.
    void Do(const std::function<void()> &handler) { logic::Guarded(dialogs, handler); }
    // Another program saves bytes into the edited file, and the face reports a change in its
    // folder, as it does for a watched file.
    void SaveEdited(const std::string &file, const std::string &bytes)
    {
        if (!mainView.watched.count(file))
            throw std::logic_error("the file saved is not watched: " + file);
        WriteFile(PathFromUtf8(file), bytes);
        Do([&] { main.EditedFileChanged(ParentFolderOf(file)); });
    }
};

} // namespace kvb::test
