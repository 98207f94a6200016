// Decoding the largest textures the decoder accepts, from a file, in both formats.
#include "platform/stream.h"
#include "preview/tex.h"
#include "support/archive_builder.h"
#include "support/tex_builder.h"

#include <benchmark/benchmark.h>

#include <set>

using namespace kvb;
using namespace kvb::test;

namespace {

// Each texture is written once and kept for the whole run.
std::string TexFile(bool palettised, int32_t side)
{
    static TempDir dir;
    static std::set<std::string> written;
    std::string path = dir / ((palettised ? "p" : "d") + std::to_string(side) + ".tex");
    if (written.insert(path).second)
        WriteFile(path, (palettised ? GradientTex(side, side) : PictureTex(side, side)).Build());
    return path;
}

void BM_DecodeTex(benchmark::State &state)
{
    const bool palettised = state.range(0) != 0;
    const auto side = int32_t(state.range(1));
    const std::string path = TexFile(palettised, side);
    for (auto _ : state) {
        TFileStream stream(path, TFileStream::Mode::OpenRead);
        TTexImage image = TexToBitmap(stream, kTexImageDataPosition);
        benchmark::DoNotOptimize(image.Width);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * side * side * (palettised ? 1 : 2));
}

} // namespace

BENCHMARK(BM_DecodeTex)
    ->ArgsProduct({{1, 0}, {1024, 4096}})
    ->ArgNames({"palettised", "side"})
    ->Unit(benchmark::kMillisecond);
