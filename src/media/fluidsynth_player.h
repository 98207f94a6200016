// MIDI playback and MIDI-to-WAV rendering through FluidSynth.
#pragma once

#include "media/media_player.h"
#include "platform/errors.h"

#include <memory>
#include <string>

namespace kvb {

// Music that plays for longer than a render allows.
class EMidiTooLong : public EKVBError {
public:
    EMidiTooLong(const std::string &midiFile, int maxMinutes)
        : EKVBError("MIDI file " + midiFile + " plays for longer than " + std::to_string(maxMinutes) +
                    (maxMinutes == 1 ? " minute" : " minutes") + "; nothing was written")
    {
    }
};

// Where FluidSynth takes its instruments from and where its sound goes.
struct FluidSynthSetup {
    std::string soundFont;     // a General MIDI .sf2 file
    std::string audioDriver;   // a FluidSynth audio driver name; empty: the platform's default
    std::string audioFileName; // the output of the "file" audio driver; empty: FluidSynth's own

    // $KVB_SOUNDFONT, else the Debian General MIDI sound font; $KVB_AUDIO_DRIVER, else the default.
    static FluidSynthSetup FromEnvironment();
};

// Plays standard MIDI files in real time through an audio driver of FluidSynth.
class FluidSynthPlayer final : public MediaPlayer {
public:
    explicit FluidSynthPlayer(FluidSynthSetup setup = FluidSynthSetup::FromEnvironment());
    ~FluidSynthPlayer() override;
    FluidSynthPlayer(const FluidSynthPlayer &) = delete;
    FluidSynthPlayer &operator=(const FluidSynthPlayer &) = delete;

    MediaMode QueryMode() override;
    void Stop() override;
    void Close() override;
    // Fails for a file that is not a MIDI file or one that FluidSynth would not play whole (see
    // SummariseMidi: more tracks than it plays, SMPTE time, damaged tracks), a missing or
    // unusable sound font, and when the audio driver cannot be started.
    void Open(const std::string &fileName) override;
    void Play() override;

private:
    struct Session;
    FluidSynthSetup setup_;
    std::unique_ptr<Session> session_;
};

inline constexpr int kDefaultMaxRenderMinutes = 60;

// Renders midiFile into the WAV file wavFile as fast as the machine allows, replacing any file of
// that name. The sound font of setup is used; its audio settings are not. Music that plays for
// longer than maxMinutes (at least 1) raises EMidiTooLong, at once when the file's own timing
// says so; a file FluidSynth would not play whole is refused before rendering, and a render of
// a file with notes that comes out silent is an error. On every failure the WAV file that
// stood there stays, and no new one is left.
void RenderMidiToWav(const std::string &midiFile, const std::string &wavFile,
                     const FluidSynthSetup &setup, int maxMinutes = kDefaultMaxRenderMinutes);

} // namespace kvb
