// Writes the demo archive the README's start command opens: enough entries for three blocks
// of the entry list, a MIDI tune, textures of both formats and plain files of varied sizes.
#include "support/archive_builder.h"
#include "support/midi_builder.h"
#include "support/tex_builder.h"

#include <cstdio>
#include <exception>
#include <filesystem>

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT\n", argv[0]);
        return 2;
    }
    try {
        using namespace kvb::test;
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
        std::string out = argv[1];
        std::string temp = out + ".tmp";
        WriteFile(temp, builder.Build());
        std::filesystem::rename(temp, out);
    } catch (const std::exception &e) {
        std::fprintf(stderr, "%s: %s\n", argv[0], e.what());
        return 1;
    }
    return 0;
}
