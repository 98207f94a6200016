#include "media/fluidsynth_player.h"

#include "media/midi_file.h"
#include "platform/errors.h"
#include "platform/file_attributes.h"
#include "platform/output_file.h"
#include "platform/stream.h"

#include <fluidsynth.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace kvb {

namespace {

constexpr const char *kDefaultSoundFont = "/usr/share/sounds/sf2/default-GM.sf2";
// FluidSynth's error texts are kept up to this length; a runaway audio thread must not grow them.
constexpr size_t kMaxCapturedText = 2000;

// FluidSynth reports problems through its log, not through return values. Errors raised on the
// thread that asked are collected here and become part of the message; everything else FluidSynth
// would print is dropped so that the program's own output stays clean.
thread_local std::string capturedErrors;

void CaptureError(int, const char *message, void *)
{
    if (capturedErrors.size() >= kMaxCapturedText)
        return;
    if (!capturedErrors.empty())
        capturedErrors += "; ";
    capturedErrors += message;
}

void RouteFluidSynthLog()
{
    static std::once_flag once;
    std::call_once(once, [] {
        fluid_set_log_function(FLUID_PANIC, CaptureError, nullptr);
        fluid_set_log_function(FLUID_ERR, CaptureError, nullptr);
        fluid_set_log_function(FLUID_WARN, nullptr, nullptr);
        fluid_set_log_function(FLUID_INFO, nullptr, nullptr);
        fluid_set_log_function(FLUID_DBG, nullptr, nullptr);
    });
}

// Collects FluidSynth's errors on this thread for as long as it lives.
class ErrorCapture {
public:
    ErrorCapture()
    {
        RouteFluidSynthLog();
        capturedErrors.clear();
    }
    ~ErrorCapture() { capturedErrors.clear(); }
    ErrorCapture(const ErrorCapture &) = delete;
    ErrorCapture &operator=(const ErrorCapture &) = delete;

    EKVBError Failure(const std::string &what) const
    {
        return EKVBError(capturedErrors.empty() ? what : what + ": " + capturedErrors);
    }
};

template <auto Delete>
struct FluidDeleter {
    template <class T>
    void operator()(T *p) const
    {
        Delete(p);
    }
};
using SettingsPtr = std::unique_ptr<fluid_settings_t, FluidDeleter<delete_fluid_settings>>;
using SynthPtr = std::unique_ptr<fluid_synth_t, FluidDeleter<delete_fluid_synth>>;
using PlayerPtr = std::unique_ptr<fluid_player_t, FluidDeleter<delete_fluid_player>>;
using DriverPtr = std::unique_ptr<fluid_audio_driver_t, FluidDeleter<delete_fluid_audio_driver>>;
using RendererPtr = std::unique_ptr<fluid_file_renderer_t, FluidDeleter<delete_fluid_file_renderer>>;

// A synthesizer with its sound font and a MIDI file queued on its player. Members are released
// in reverse order: the player before the synthesizer it drives, the settings last.
struct Engine {
    SettingsPtr settings;
    SynthPtr synth;
    PlayerPtr player;
};

void SetText(fluid_settings_t *settings, const char *name, const std::string &value,
             const ErrorCapture &capture)
{
    if (fluid_settings_setstr(settings, name, value.c_str()) != FLUID_OK)
        throw capture.Failure(std::string("FluidSynth does not accept ") + name + " = " + value);
}

SettingsPtr NewSettings(const ErrorCapture &capture)
{
    SettingsPtr settings(new_fluid_settings());
    if (!settings)
        throw capture.Failure("FluidSynth cannot be set up");
    return settings;
}

// A file read whole for FluidSynth, and what it holds.
struct TMidi {
    std::string bytes;
    TMidiSummary summary;
};

// The whole file, once it proves a standard MIDI file that FluidSynth plays whole: it accepts far
// less than that without a word and plays silence. A file of another kind is turned away by its
// first bytes, so that a large one is not read for nothing.
TMidi ReadMidiFile(const TFileStream &in)
{
    const int64_t size = in.Size();
    char start[4];
    if (size < 14 || in.ReadAt(0, start, sizeof start) != int64_t(sizeof start) ||
        std::memcmp(start, "MThd", 4) != 0)
        throw EKVBError("Cannot play " + in.FileName() + ": it is not a MIDI file");
    TMidi midi;
    midi.bytes.assign(size_t(size), '\0');
    if (in.ReadAt(0, midi.bytes.data(), size) != size)
        throw EReadError();
    midi.summary = SummariseMidi(midi.bytes, in.FileName());
    return midi;
}

// Creates the synthesizer and the player of engine, whose settings are complete by now.
void LoadMusic(Engine &engine, const std::string &soundFont, const std::string &midi,
               const std::string &fileName, const ErrorCapture &capture)
{
    if (soundFont.empty() || !IsPlainFile(soundFont))
        throw EKVBError("No sound font at \"" + soundFont +
                        "\": install timgm6mb-soundfont or set KVB_SOUNDFONT to a .sf2 file");

    engine.synth.reset(new_fluid_synth(engine.settings.get()));
    if (!engine.synth)
        throw capture.Failure("FluidSynth cannot start its synthesizer");
    if (fluid_synth_sfload(engine.synth.get(), soundFont.c_str(), 1) == FLUID_FAILED)
        throw capture.Failure("Cannot load the sound font " + soundFont);

    engine.player.reset(new_fluid_player(engine.synth.get()));
    if (!engine.player)
        throw capture.Failure("FluidSynth cannot start its MIDI player");
    if (fluid_player_add_mem(engine.player.get(), midi.data(), midi.size()) != FLUID_OK)
        throw capture.Failure("Cannot play " + fileName);
}

} // namespace

FluidSynthSetup FluidSynthSetup::FromEnvironment()
{
    FluidSynthSetup setup;
    const char *soundFont = std::getenv("KVB_SOUNDFONT");
    setup.soundFont = soundFont && *soundFont ? soundFont : kDefaultSoundFont;
    if (const char *driver = std::getenv("KVB_AUDIO_DRIVER"))
        setup.audioDriver = driver;
    return setup;
}

// The audio driver calls into the synthesizer from its own thread, so it is released first.
struct FluidSynthPlayer::Session {
    Engine engine;
    DriverPtr driver;
};

FluidSynthPlayer::FluidSynthPlayer(FluidSynthSetup setup) : setup_(std::move(setup))
{
}

FluidSynthPlayer::~FluidSynthPlayer() = default;

MediaMode FluidSynthPlayer::QueryMode()
{
    if (!session_)
        return MediaMode::NotReady;
    switch (fluid_player_get_status(session_->engine.player.get())) {
    case FLUID_PLAYER_PLAYING:
    case FLUID_PLAYER_STOPPING: return MediaMode::Playing;
    default: return MediaMode::Stopped;
    }
}

void FluidSynthPlayer::Stop()
{
    if (!session_)
        return;
    fluid_player_t *player = session_->engine.player.get();
    fluid_player_stop(player);
    fluid_player_join(player);
    // The player leaves sounding notes to ring on; a stop has to be silent at once.
    fluid_synth_all_sounds_off(session_->engine.synth.get(), -1);
}

void FluidSynthPlayer::Close()
{
    session_.reset();
}

void FluidSynthPlayer::Open(const std::string &fileName)
{
    Close();
    ErrorCapture capture;
    const std::string midi = ReadMidiFile(TFileStream(fileName, TFileStream::Mode::OpenRead)).bytes;

    auto session = std::make_unique<Session>();
    Engine &engine = session->engine;
    engine.settings = NewSettings(capture);
    if (!setup_.audioDriver.empty())
        SetText(engine.settings.get(), "audio.driver", setup_.audioDriver, capture);
    if (!setup_.audioFileName.empty())
        SetText(engine.settings.get(), "audio.file.name", setup_.audioFileName, capture);
    LoadMusic(engine, setup_.soundFont, midi, fileName, capture);

    session->driver.reset(new_fluid_audio_driver(engine.settings.get(), engine.synth.get()));
    if (!session->driver)
        throw capture.Failure("No audio output is available");
    session_ = std::move(session);
}

void FluidSynthPlayer::Play()
{
    if (session_)
        fluid_player_play(session_->engine.player.get());
}

void RenderMidiToWav(const std::string &midiFile, const std::string &wavFile,
                     const FluidSynthSetup &setup, int maxMinutes)
{
    ErrorCapture capture;
    TFileStream in(midiFile, TFileStream::Mode::OpenRead);
    const TMidi midi = ReadMidiFile(in);
    // A few bytes of MIDI can hold days of silence (one delta time reaches 2^28 ticks): the
    // length its tracks give is checked before anything is rendered.
    const int64_t maxSeconds = int64_t(std::max(maxMinutes, 1)) * 60;
    if (midi.summary.Seconds > double(maxSeconds))
        throw EMidiTooLong(midiFile, maxMinutes);

    Engine engine;
    engine.settings = NewSettings(capture);
    fluid_settings_t *settings = engine.settings.get();
    // FluidSynth opens the file by name; the name leads into the safe writer's new file, which
    // takes the WAV file's place only once the music is complete.
    TOutputFile output(wavFile, TOutputKind::Whole, {&in});
    SetText(settings, "audio.file.name", output.NameForLibraries(), capture);
    SetText(settings, "audio.file.type", "wav", capture);
    // The player's clock has to follow the rendered samples, not the wall clock, or rendering
    // faster than real time would skip the music.
    SetText(settings, "player.timing-source", "sample", capture);
    LoadMusic(engine, setup.soundFont, midi.bytes, midiFile, capture);

    // The rendered frames are counted against the limit too, in case the player's idea of the
    // music's length differs from the file's.
    int blockFrames = 0;
    double sampleRate = 0;
    if (fluid_settings_getint(settings, "audio.period-size", &blockFrames) != FLUID_OK ||
        fluid_settings_getnum(settings, "synth.sample-rate", &sampleRate) != FLUID_OK ||
        blockFrames <= 0 || sampleRate <= 0)
        throw capture.Failure("FluidSynth does not tell its block size and sample rate");
    const int64_t maxFrames = maxSeconds * int64_t(sampleRate);

    RendererPtr renderer(new_fluid_file_renderer(engine.synth.get()));
    if (!renderer)
        throw EFCreateError(wavFile);
    // The player reports the end only after the last notes have had time to die away.
    fluid_player_play(engine.player.get());
    int64_t frames = 0;
    bool sounded = false;
    while (fluid_player_get_status(engine.player.get()) == FLUID_PLAYER_PLAYING) {
        if (frames >= maxFrames)
            throw EMidiTooLong(midiFile, maxMinutes);
        if (fluid_file_renderer_process_block(renderer.get()) != FLUID_OK)
            throw EWriteError();
        frames += blockFrames;
        sounded = sounded || fluid_synth_get_active_voice_count(engine.synth.get()) > 0;
    }
    // A player that cannot read a file plays nothing and reports no error.
    if (midi.summary.HasNotes && !sounded)
        throw capture.Failure("MIDI file " + midiFile +
                              " holds notes, but FluidSynth rendered only silence; nothing was "
                              "written");
    // The renderer finishes the WAV header when it closes its file.
    renderer.reset();
    output.Commit();
}

} // namespace kvb
