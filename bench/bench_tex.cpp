// Decoding the largest textures the decoder accepts, from a file, in both formats, and making
// thumbnails of them.
#include "platform/stream.h"
#include "preview/png_image.h"
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

// What a file manager's thumbnailer costs (kvb tex2png --size 256): for a texture that holds its
// pixels, and for 240 bytes that claim the largest texture there is.
void BM_TexThumbnail(benchmark::State &state)
{
    static TempDir dir;
    const bool claimOnly = state.range(0) != 0;
    const std::string path = dir / (claimOnly ? "claim.tex" : "whole.tex");
    if (claimOnly)
        WriteFile(path, TexBuilder::Palettised(1, 1, {{1, 2, 3}}, "\1")
                            .HeaderSize(kTexMaxSide, kTexMaxSide)
                            .CutShort(1)
                            .Build());
    else
        WriteFile(path, GradientTex(4096, 4096).Build());
    for (auto _ : state)
        TexFileToPngFile(path, dir / "thumbnail.png", 256);
}

// kvb tex2png without a size, written a row at a time: for a texture that holds its pixels, and
// for three rows that claim the largest texture there is, whose cost follows the rows it holds
// and the little that the rest (equal rows of index 0) compress to.
void BM_TexToPng(benchmark::State &state)
{
    static TempDir dir;
    const bool claimOnly = state.range(0) != 0;
    const std::string path = dir / (claimOnly ? "claim3.tex" : "whole.tex");
    if (claimOnly)
        WriteFile(path, TexBuilder::Palettised(kTexMaxSide, 3, {{1, 2, 3}, {4, 5, 6}},
                                               std::string(size_t(kTexMaxSide) * 3, '\1'))
                            .HeaderSize(kTexMaxSide, kTexMaxSide)
                            .Build());
    else
        WriteFile(path, GradientTex(4096, 4096).Build());
    for (auto _ : state)
        TexFileToPngFile(path, dir / "picture.png");
}

} // namespace

BENCHMARK(BM_TexToPng)->Arg(0)->Arg(1)->ArgName("claim_only")->Unit(benchmark::kMillisecond);

BENCHMARK(BM_TexThumbnail)->Arg(0)->Arg(1)->ArgName("claim_only")->Unit(benchmark::kMillisecond);

BENCHMARK(BM_DecodeTex)
    ->ArgsProduct({{1, 0}, {1024, 4096}})
    ->ArgNames({"palettised", "side"})
    ->Unit(benchmark::kMillisecond);
