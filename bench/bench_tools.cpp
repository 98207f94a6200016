// Creating an archive from a folder of many small files.
#include "support/archive_builder.h"
#include "tools/creation.h"
#include "tools/validation_template.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <strings.h>

using namespace kvb;
using namespace kvb::test;

namespace {

constexpr int kFiles = 20000;
constexpr size_t kFileSize = 8 * 1024;

void BM_CreateArchive(benchmark::State &state)
{
    TempDir dir;
    std::filesystem::path src = dir.Path() / "src";
    std::filesystem::create_directory(src);
    for (int i = 0; i < kFiles; ++i)
        WriteFile(src / ("FILE" + std::to_string(i) + ".BIN"), PatternBytes(kFileSize, unsigned(i)));
    WriteFile(dir / TemplateFileName(kFiles), StandardValidation());
    auto compare = [](const std::string &a, const std::string &b) {
        return ::strcasecmp(a.c_str(), b.c_str());
    };

    for (auto _ : state)
        CreateArchive(src.string(), dir / "out.kvb", {dir.Path().string()}, compare);
    state.SetBytesProcessed(state.iterations() * int64_t(kFiles * kFileSize));
    state.counters["files"] = kFiles;
}
BENCHMARK(BM_CreateArchive)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
