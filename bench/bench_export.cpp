// kvb export --png of 2,000 textures of 256 x 256 against kvb tex2png of each of them, in one
// process: the library calls behind the two commands, on the same textures, in paired rounds.
#include "preview/png_image.h"
#include "support/archive_builder.h"
#include "support/tex_builder.h"
#include "tools/export.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <filesystem>

using namespace kvb;
using namespace kvb::test;
namespace fs = std::filesystem;

namespace {

constexpr int kTextures = 2000;
constexpr int kSide = 256;

// A palettised texture of a picture's sort: runs of colours that deflate can do something with,
// but not everything; each one another.
std::string Texture(int seed)
{
    std::vector<TTexColour> palette(256);
    for (int i = 0; i < 256; ++i)
        palette[size_t(i)] = TTexColour{uint8_t(i), uint8_t(i * 7 + seed), uint8_t(255 - i)};
    const std::string noise = PatternBytes(size_t(kSide) * kSide, unsigned(seed));
    std::string indices(size_t(kSide) * kSide, '\0');
    for (size_t i = 0; i < indices.size(); ++i)
        indices[i] = char((i % kSide + i / kSide) / 4 + (uint8_t(noise[i]) & 7));
    return TexBuilder::Palettised(kSide, kSide, palette, indices).Build();
}

double Seconds(const std::function<void()> &work)
{
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void BM_ExportPngAgainstTex2Png(benchmark::State &state)
{
    TempDir dir;
    const fs::path textures = dir.Path() / "textures";
    fs::create_directory(textures);
    ArchiveBuilder archive;
    for (int i = 0; i < kTextures; ++i) {
        const std::string name = "T" + std::to_string(i) + ".TEX";
        const std::string texture = Texture(i);
        WriteFile(textures / name, texture);
        archive.Add(name, texture);
    }
    const std::string archiveFile = dir / "textures.kvb";
    WriteFile(archiveFile, archive.Build());

    std::vector<double> exported, converted, ratios;
    int round = 0;
    for (auto _ : state) {
        const std::string exportFolder = dir / ("export" + std::to_string(round));
        const fs::path pngFolder = dir.Path() / ("png" + std::to_string(round));
        fs::create_directory(pngFolder);
        const auto exportAll = [&] { ExportArchive(archiveFile, exportFolder, {true}); };
        const auto convertEach = [&] {
            for (int i = 0; i < kTextures; ++i) {
                const std::string name = "T" + std::to_string(i);
                TexFileToPngFile((textures / (name + ".TEX")).string(),
                                 (pngFolder / (name + ".png")).string());
            }
        };
        // Each goes first in every other round.
        double e = 0, c = 0;
        if (round % 2) {
            e = Seconds(exportAll);
            c = Seconds(convertEach);
        } else {
            c = Seconds(convertEach);
            e = Seconds(exportAll);
        }
        exported.push_back(e);
        converted.push_back(c);
        ratios.push_back(e / c);
        ++round;
    }
    const auto median = [](std::vector<double> values) {
        std::sort(values.begin(), values.end());
        const size_t n = values.size();
        return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
    };
    state.counters["export_ms"] = median(exported) * 1000;
    state.counters["tex2png_ms"] = median(converted) * 1000;
    state.counters["ratio"] = median(ratios);
}
BENCHMARK(BM_ExportPngAgainstTex2Png)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();

} // namespace
