// The media player behind the preview's music: five operations, whatever plays the sound.
#pragma once

#include <string>

namespace kvb {

// What a player can report about itself. This program only ever drives a player into the
// first three; the rest exist because a player may report them.
enum class MediaMode {
    NotReady, // no file open
    Stopped,  // a file is open and nothing sounds: before playing, after Stop, or at the end
    Playing,
    Recording,
    Seeking,
    Paused,
    Open,
};

class MediaPlayer {
public:
    virtual ~MediaPlayer() = default;

    // NotReady while no file is open.
    virtual MediaMode QueryMode() = 0;
    // Halts playback and returns once it is halted; the file stays open, mode Stopped.
    virtual void Stop() = 0;
    // Releases the open file and everything playing it needs; nothing happens when none is open.
    virtual void Close() = 0;
    // Closes what is open, then opens fileName, positioned at its start. Raises EKVBError with
    // the player's own text when the file cannot be played; nothing is open afterwards then.
    virtual void Open(const std::string &fileName) = 0;
    // Starts playback and returns at once; the music goes on in the background. A failure to
    // start is not reported.
    virtual void Play() = 0;
};

} // namespace kvb
