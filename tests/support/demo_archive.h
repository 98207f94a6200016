// The demo archive: enough entries for three blocks of the entry list, a MIDI tune, textures of
// both formats and plain files of varied sizes. The build writes it for the README's start
// command; the Windows program's end-to-end test opens it.
#pragma once

#include <string>

namespace kvb::test {

std::string DemoArchive();

} // namespace kvb::test
