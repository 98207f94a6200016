// The kvb commands that need Qt Gui (tex2png) or FluidSynth (midi2wav). They live in a module
// that kvb loads only when one of them runs: those libraries take far longer to load than any
// other command needs to do its work, so every other command starts without them.
#pragma once

#include <string>

namespace kvb::cli {

struct TMediaCommands {
    // Both raise the system's errors, naming the file that failed.
    // size 0 keeps the texture's own size; above 0 it is the longer side of the PNG.
    void (*TexToPng)(const std::string &texFile, const std::string &pngFile, int size);
    // Stops with an error, leaving no WAV file, once the music passes maxMinutes.
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
