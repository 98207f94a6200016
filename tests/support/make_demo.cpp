// Writes the demo archive (support/demo_archive.h) the README's start command opens.
#include "support/archive_builder.h"
#include "support/demo_archive.h"

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
        std::string out = argv[1];
        std::string temp = out + ".tmp";
        kvb::test::WriteFile(temp, kvb::test::DemoArchive());
        std::filesystem::rename(temp, out);
    } catch (const std::exception &e) {
        std::fprintf(stderr, "%s: %s\n", argv[0], e.what());
        return 1;
    }
    return 0;
}
