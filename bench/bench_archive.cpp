// Opening large catalogues, extracting a large entry and appending to a large archive.
#include "archive/catalogue.h"
#include "archive/extract.h"
#include "archive/raw_archive.h"
#include "platform/output_file.h"
#include "platform/stream.h"
#include "support/archive_builder.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <memory>
#include <sys/resource.h>

using namespace kvb;
using namespace kvb::test;

namespace {

constexpr int kEntries = 100000;

// One archive file per order, written once and kept for the whole run.
const std::string &CatalogueArchive(bool descending)
{
    static TempDir dir;
    static std::string paths[2];
    std::string &path = paths[descending];
    if (path.empty()) {
        ArchiveBuilder b;
        for (int i = 0; i < kEntries; ++i)
            b.Add("ENTRY" + std::to_string(i) + ".BIN", std::string(size_t(16 + i % 64), 'x'));
        std::string bytes = b.Build();
        if (descending)
            for (int i = 0; i < kEntries; ++i)
                PatchTocOffset(bytes, i, b.OffsetOf(size_t(kEntries - 1 - i)));
        path = dir / (descending ? "desc.kvb" : "asc.kvb");
        WriteFile(path, bytes);
    }
    return path;
}

void BM_OpenCatalogue(benchmark::State &state)
{
    const bool descending = state.range(0) != 0;
    const bool lengths = state.range(1) != 0;
    const std::string &path = CatalogueArchive(descending);
    for (auto _ : state) {
        TKVBFile catalogue(path, lengths);
        benchmark::DoNotOptimize(catalogue.EntryCount());
    }
    state.SetLabel(std::string(descending ? "offsets descending" : "offsets ascending") +
                   (lengths ? ", lengths read" : ""));
}
BENCHMARK(BM_OpenCatalogue)
    ->ArgsProduct({{0, 1}, {0, 1}})
    ->ArgNames({"desc", "lengths"})
    ->Unit(benchmark::kMillisecond);

// Writes an archive of one entry of size bytes in pieces, so that building it does not raise
// the peak memory measured by the benchmarks, and makes it durable.
void WriteLargeArchive(const std::string &path, int64_t size)
{
    ArchiveBuilder b;
    b.Add("LARGE.BIN", "").Description("");
    std::string head = b.Build();
    PatchDataLength(head, b.OffsetOf(0), int32_t(size));
    TOutputFile file(path, TOutputKind::Archive);
    TFileStream &out = file.Stream();
    out.WriteBuffer(head.data(), int64_t(head.size()));
    std::string piece(1 << 20, 'L');
    for (int64_t done = 0; done < size; done += int64_t(piece.size()))
        out.WriteBuffer(piece.data(), std::min<int64_t>(int64_t(piece.size()), size - done));
    out.WriteBuffer(kNewArchiveDescription.data(), int64_t(kNewArchiveDescription.size()));
    // Flushed, as an archive is, so that the first edit's flush does not write it all out.
    file.Commit();
}

void BM_ExtractLargeEntry(benchmark::State &state)
{
    static TempDir dir;
    const int64_t size = state.range(0) << 20;
    std::string archive = dir / "large.kvb";
    WriteLargeArchive(archive, size);
    TKVBFile catalogue(archive, true);
    TKVB_Entry entry = catalogue.GetEntry(0);
    for (auto _ : state) {
        TFileStream source(archive, TFileStream::Mode::OpenRead);
        ExtractEntry(source, entry, dir / "out.bin");
    }
    state.SetBytesProcessed(state.iterations() * size);
    struct rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    state.counters["peak_rss_MiB"] = double(usage.ru_maxrss) / 1024.0;
}
BENCHMARK(BM_ExtractLargeEntry)->Arg(1024)->Unit(benchmark::kMillisecond)->Iterations(3);

// Opening an archive for editing and appending 1 MiB costs the same whatever the archive's size:
// only the headers are walked and only the new entry and the description are written.
void BM_AppendToArchive(benchmark::State &state)
{
    static TempDir dir;
    const int64_t size = state.range(0) << 20;
    const std::string archive = dir / ("append-" + std::to_string(state.range(0)) + ".kvb");
    WriteLargeArchive(archive, size);
    const std::string data = PatternBytes(1 << 20, 3);
    TKVB_DataRecord record;
    record.Name = NameToField("APPENDED.BIN");
    record.Length = int32_t(data.size());
    record.Data = data;
    for (auto _ : state) {
        TRawKVBFile file(archive);
        file.AppendData(record);
        state.PauseTiming();
        file.TruncateFrom(file.DataCount() - 1);
        state.ResumeTiming();
    }
    state.SetLabel(std::to_string(state.range(0)) + " MiB archive");
}
BENCHMARK(BM_AppendToArchive)->Arg(1)->Arg(1024)->Unit(benchmark::kMillisecond)->Iterations(10);

} // namespace

BENCHMARK_MAIN();
