// Small standard MIDI files for tests and the demo archive.
#pragma once

#include <string>

namespace kvb::test {

// A format-0 MIDI file playing a short tune on a piano, about two seconds long.
std::string SimpleTune();

} // namespace kvb::test
