// What the window benchmarks put behind the windows: dialogs that answer nothing (the benchmarks
// open their archives directly) and a player that plays nothing.
#pragma once

#include "logic/face.h"
#include "media/media_player.h"

#include <optional>
#include <string>

namespace kvb::bench {

class NoDialogs : public logic::TDialogs {
public:
    void Notice(const std::string &) override {}
    bool Question(const std::string &, const std::string &) override { return false; }
    logic::TAnswer QuestionWithCancel(const std::string &, const std::string &) override
    {
        return logic::TAnswer::Cancel;
    }
    void Error(const std::string &) override {}
    std::optional<std::string> OpenFile(const logic::TFileDialog &) override { return {}; }
    std::optional<std::string> SaveFile(const logic::TFileDialog &) override { return {}; }
    std::optional<std::string> ChooseFolder(const std::string &) override { return {}; }
    std::optional<std::string> AskText(const std::string &, const std::string &) override { return {}; }
    bool ConfirmList(const logic::TListQuestion &) override { return false; }
};

class NoPlayer : public MediaPlayer {
public:
    MediaMode QueryMode() override { return MediaMode::NotReady; }
    void Stop() override {}
    void Close() override {}
    void Open(const std::string &) override {}
    void Play() override {}
};

} // namespace kvb::bench
