// The kvb command that needs FluidSynth (midi2wav). It lives in a module that kvb loads only
// when it runs: FluidSynth takes far longer to load than any other command needs to do its
// work, so every other command starts without it.
#pragma once

#include <string>

namespace kvb::cli {

struct TMediaCommands {
    // Raises the system's errors, naming the file that failed. Stops with an error, leaving no
    // WAV file, once the music passes maxMinutes.
    void (*MidiToWav)(const std::string &midiFile, const std::string &wavFile, int maxMinutes);
};

// The module's file name, and the C name of the function in it that hands out its commands.
inline constexpr char kMediaModuleFile[] = "kvb-media.so";
inline constexpr char kMediaModuleEntry[] = "KvbMediaCommands";
using TMediaModuleEntry = const TMediaCommands *(*)();

// Loads the module on first use, from kvb's own folder or its installed place; raises EKVBError
// naming the module and the loader's reason when it cannot.
const TMediaCommands &MediaCommands();

} // namespace kvb::cli
