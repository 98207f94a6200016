// The media player of Windows: MIDI files played by the MCI sequencer, the way the game's own
// tools play them.
#pragma once

#include "media/media_player.h"

#include <string>

namespace kvb {

class MciPlayer final : public MediaPlayer {
public:
    MciPlayer() = default;
    ~MciPlayer() override;
    MciPlayer(const MciPlayer &) = delete;
    MciPlayer &operator=(const MciPlayer &) = delete;

    MediaMode QueryMode() override;
    void Stop() override;
    void Close() override;
    // Fails with MCI's own text for a file the sequencer cannot open.
    void Open(const std::string &fileName) override;
    void Play() override;

private:
    unsigned device_ = 0; // MCIDEVICEID; 0 while nothing is open
};

} // namespace kvb
