#include "support/demo_archive.h"

#include "support/archive_builder.h"
#include "support/midi_builder.h"
#include "support/tex_builder.h"

#include <cstdio>

namespace kvb::test {

std::string DemoArchive()
{
    ArchiveBuilder builder;
    builder.Add("README.TXT", "Demo archive of KVB Editor: plain files, music and pictures.\r\n");
    builder.Add("TUNE.MID", SimpleTune());
    builder.Add("GRADIENT.TEX", GradientTex(256, 128).Build());
    builder.Add("PICTURE.TEX", PictureTex(128, 128).Build());
    builder.Add("BANNER.TEX", GradientTex(64, 16).Build());
    for (int i = 1; i <= 2600; ++i) {
        char name[21];
        std::snprintf(name, sizeof name, "FILE%04d.BIN", i);
        builder.Add(name, PatternBytes(64 + (i * 37) % 960, unsigned(i)));
    }
    return builder.Build();
}

} // namespace kvb::test
