// The kvb tool's edits and creations cut short by signals and limits, and an extraction that fails
// part way: the archive, and what stood at the target, stay whole. Every case runs the built
// program, as a user or a script would.
#include "archive/raw_archive.h"
#include "robustness/watched_kvb.h"
#include "support/archive_builder.h"
#include "support/same_bytes.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <optional>
#include <set>
#include <sys/stat.h>
#include <thread>
#include <vector>

using namespace kvb;
using namespace kvb::test;

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

// size bytes of pattern, written a mebibyte at a time.
void WritePatternFile(const fs::path &path, size_t size, unsigned seed)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    for (size_t done = 0; done < size;) {
        const size_t n = std::min<size_t>(1 << 20, size - done);
        const std::string chunk = PatternBytes(n, seed + unsigned(done >> 20));
        out.write(chunk.data(), std::streamsize(n));
        done += n;
    }
    if (!out)
        throw std::runtime_error("cannot write " + path.string());
}

int64_t SizeOf(const fs::path &path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? int64_t(st.st_size) : -1;
}

} // namespace

// --- Edits cut short ----------------------------------------------------------------------------

// A small archive, a 64 MiB file to append to it, and the archive after the complete append.
class InterruptedEdit : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        files_ = new TempDir;
        before_ = new std::string(TwoEntryArchive());
        WriteFile(Path("before.kvb"), *before_);
        WritePatternFile(Path("BIG.BIN"), 64 << 20, 11);
        fs::copy_file(Path("before.kvb"), Path("after.kvb"));
        Outcome r = RunWatched({"append", Path("after.kvb"), Path("BIG.BIN")});
        ASSERT_EQ(r.exitCode, 0) << r.Describe();
    }
    static void TearDownTestSuite()
    {
        delete files_;
        delete before_;
    }
    static std::string Path(const std::string &name) { return *files_ / name; }

    // A fresh folder holding one copy of from, as "a.kvb".
    struct Work {
        TempDir dir;
        std::string archive;
        explicit Work(const std::string &from) : archive(dir / "a.kvb") { fs::copy_file(from, archive); }
        bool OnlyTheArchive() const { return Listing(dir.Path()) == std::set<std::string>{"a.kvb"}; }
    };

    // Kills command on archive after delay, or once the archive's size lies strictly between
    // the two sizes while it changes; then checks that the next editor to open the archive
    // leaves it as one of the two files, and says so when it had to repair. Returns whether an
    // edit record was left.
    static bool KillAndRecover(const std::vector<std::string> &command, const std::string &from,
                               const std::string &whole, std::optional<std::chrono::milliseconds> delay,
                               int signal = SIGKILL)
    {
        Work work(from);
        std::vector<std::string> args = command;
        args.insert(args.begin() + 1, work.archive);
        Kvb kvb(args);
        if (delay) {
            std::this_thread::sleep_for(*delay);
        } else {
            const int64_t a = SizeOf(from), b = SizeOf(whole);
            const auto deadline = std::chrono::steady_clock::now() + kWatchdog;
            for (;;) {
                const int64_t s = SizeOf(work.archive);
                if ((s > std::min(a, b) && s < std::max(a, b)) || !kvb.Running() ||
                    std::chrono::steady_clock::now() > deadline)
                    break;
            }
        }
        kvb.Signal(signal);
        Outcome killed = kvb.Wait();
        EXPECT_FALSE(killed.hung);
        const std::string moment = delay ? std::to_string(delay->count()) + " ms" : "growing";

        const bool recordLeft = !work.OnlyTheArchive();
        const bool torn = !SameFileBytes(work.archive, from) && !SameFileBytes(work.archive, whole);
        // A reader must not show the half-written archive as it stands, and reads a whole one.
        for (const char *reader : {"info", "list"}) {
            Outcome r = RunWatched({reader, work.archive});
            EXPECT_EQ(r.exitCode, torn ? 1 : 0) << moment << ' ' << reader << ": " << r.err;
            if (torn) {
                EXPECT_NE(r.err.find("that was not finished"), std::string::npos)
                    << moment << ' ' << reader << ": " << r.err;
            }
        }

        Outcome raw = RunWatched({"raw", work.archive});
        EXPECT_EQ(raw.exitCode, 0) << moment << ": " << raw.Describe();
        const bool undone = raw.err.find("has been undone") != std::string::npos;
        const bool finished = raw.err.find("has been finished") != std::string::npos;
        if (torn) {
            EXPECT_TRUE(undone || finished) << moment << ": the repair said nothing: " << raw.err;
        }
        if (undone) {
            EXPECT_TRUE(SameFileBytes(work.archive, from)) << moment << ": " << raw.err;
        } else if (finished) {
            EXPECT_TRUE(SameFileBytes(work.archive, whole)) << moment << ": " << raw.err;
        } else {
            EXPECT_TRUE(SameFileBytes(work.archive, from) || SameFileBytes(work.archive, whole))
                << moment << ": neither as before nor as after, and nothing said";
        }
        EXPECT_TRUE(work.OnlyTheArchive()) << moment;
        EXPECT_EQ(RunWatched({"info", work.archive}).exitCode, 0) << moment;
        return recordLeft;
    }

    static inline TempDir *files_ = nullptr;
    static inline std::string *before_ = nullptr;
};

TEST_F(InterruptedEdit, KilledAppendLeavesTheArchiveAsBeforeOrAsAfter)
{
    for (auto delay : {0ms, 5ms, 20ms, 50ms, 100ms})
        KillAndRecover({"append", Path("BIG.BIN")}, Path("before.kvb"), Path("after.kvb"), delay);
    // While the archive grows, an edit record must be there; a few tries in case the append
    // ends between two looks at its size.
    bool caught = false;
    for (int attempt = 0; attempt < 4 && !caught; ++attempt)
        caught = KillAndRecover({"append", Path("BIG.BIN")}, Path("before.kvb"), Path("after.kvb"),
                                std::nullopt);
    EXPECT_TRUE(caught) << "no kill landed while the archive grew, or it left no edit record";
}

TEST_F(InterruptedEdit, KilledTruncateLeavesTheArchiveAsBeforeOrAsAfter)
{
    // Cutting the appended entry off again gives back the archive before the append.
    for (auto delay : {0ms, 2ms, 4ms, 6ms, 10ms, 20ms, 40ms})
        KillAndRecover({"truncate", "3", "--yes"}, Path("after.kvb"), Path("before.kvb"), delay);
}

TEST_F(InterruptedEdit, KilledLinkLeavesTheArchiveAsBeforeOrAsAfter)
{
    Work linked(Path("before.kvb"));
    Outcome r = RunWatched({"link", linked.archive, "1", "2"});
    ASSERT_EQ(r.exitCode, 0) << r.Describe();
    for (auto delay : {0ms, 1ms, 2ms, 3ms, 5ms, 8ms})
        KillAndRecover({"link", "1", "2"}, Path("before.kvb"), linked.archive, delay);
}

TEST_F(InterruptedEdit, StopRequestsDuringAnAppendLetItFinish)
{
    for (int signal : {SIGTERM, SIGINT}) {
        Work work(Path("before.kvb"));
        Kvb kvb({"append", work.archive, Path("BIG.BIN")});
        const int64_t a = SizeOf(Path("before.kvb"));
        bool growing = false;
        const auto deadline = std::chrono::steady_clock::now() + kWatchdog;
        while (!growing && kvb.Running() && std::chrono::steady_clock::now() < deadline)
            growing = SizeOf(work.archive) > a;
        kvb.Signal(signal);
        Outcome r = kvb.Wait();
        EXPECT_TRUE(growing) << "the append ended before its archive was seen to grow";
        EXPECT_TRUE(r.exitCode == 0 || r.signal == signal) << signal << ": " << r.Describe();
        EXPECT_TRUE(SameFileBytes(work.archive, Path("after.kvb"))) << signal;
        EXPECT_TRUE(work.OnlyTheArchive()) << signal;
    }
}

TEST_F(InterruptedEdit, FileSizeLimitIsAWriteErrorAndTheArchiveStaysAsItWas)
{
    Work work(Path("before.kvb"));
    const std::string input = Path("MID.BIN");
    WriteFile(input, PatternBytes(64 << 10, 12));
    Options limit;
    limit.fileSize = 8192;
    Outcome limited = RunWatched({"append", work.archive, input}, limit);
    EXPECT_EQ(limited.exitCode, 1) << limited.Describe();
    EXPECT_EQ(limited.err, "kvb: Stream write error: Writing " + work.archive + ": file too large\n");
    EXPECT_TRUE(ReadFile(work.archive) == *before_);
    EXPECT_TRUE(work.OnlyTheArchive());

    WriteFile(work.dir / "SMALL.BIN", "small");
    Outcome again = RunWatched({"append", work.archive, work.dir / "SMALL.BIN"});
    EXPECT_EQ(again.exitCode, 0) << again.Describe();
    EXPECT_EQ(TRawKVBFile(work.archive).DataCount(), 3);
}

// --- A failed extraction ------------------------------------------------------------------------

TEST(FailedExtract, KeepsAnOldFileAndLeavesWhatWasCopiedOfANewOne)
{
    TempDir dir;
    std::string archive = TwoEntryArchive();
    PatchDataLength(archive, 3796, 5000); // the last entry runs past the archive's end
    WriteFile(dir / "a.kvb", archive);
    WriteFile(dir / "old.bin", "old content");

    Outcome over = RunWatched({"extract", dir / "a.kvb", "2", dir / "old.bin"});
    EXPECT_EQ(over.exitCode, 1) << over.Describe();
    EXPECT_EQ(ReadFile(dir / "old.bin"), "old content");

    Outcome fresh = RunWatched({"extract", dir / "a.kvb", "2", dir / "new.bin"});
    EXPECT_EQ(fresh.exitCode, 1) << fresh.Describe();
    EXPECT_TRUE(ReadFile(dir / "new.bin") == archive.substr(3796 + 24));
    EXPECT_EQ(Listing(dir.Path()), (std::set<std::string>{"a.kvb", "new.bin", "old.bin"}));
}

// --- create, interrupted or refused -------------------------------------------------------------

TEST(InterruptedCreate, LeavesNothingButTheOldOutput)
{
    TempDir dir;
    const fs::path src = dir.Path() / "src", out = dir.Path() / "out";
    fs::create_directories(src);
    fs::create_directories(out);
    constexpr int kFiles = 200;
    for (int i = 0; i < kFiles; ++i)
        WritePatternFile(src / ("F" + std::to_string(i) + ".BIN"), 256 << 10, unsigned(i));
    WriteFile(dir / ("KVB." + std::to_string(kFiles)), StandardValidation());
    const std::string templates = dir.Path().string();

    Outcome whole = RunWatched({"create", src.string(), dir / "whole.kvb", "--templates", templates});
    ASSERT_EQ(whole.exitCode, 0) << whole.Describe();

    const std::string target = (out / "game.kvb").string();
    for (int signal : {SIGINT, SIGTERM, SIGKILL})
        for (auto delay : {5ms, 30ms, 80ms}) {
            WriteFile(target, "old archive");
            Kvb kvb({"create", src.string(), target, "--templates", templates});
            std::this_thread::sleep_for(delay);
            kvb.Signal(signal);
            Outcome r = kvb.Wait();
            EXPECT_FALSE(r.hung);
            EXPECT_EQ(Listing(out), std::set<std::string>{"game.kvb"})
                << signal << " after " << delay.count() << " ms";
            EXPECT_TRUE(ReadFile(target) == "old archive" || SameFileBytes(target, dir / "whole.kvb"))
                << signal << " after " << delay.count() << " ms";
        }
}

TEST(InterruptedCreate, AnArchiveHeldByAnEditorIsNotReplaced)
{
    TempDir dir;
    fs::create_directory(dir.Path() / "src");
    WriteFile(dir / "src/ONE.BIN", "1");
    WriteFile(dir / "KVB.1", StandardValidation());
    const std::string archive = TwoEntryArchive();
    WriteFile(dir / "held.kvb", archive);

    TRawKVBFile editor(dir / "held.kvb");
    Outcome r = RunWatched({"create", dir / "src", dir / "held.kvb", "--templates", dir.Path().string()});
    EXPECT_EQ(r.exitCode, 1) << r.Describe();
    EXPECT_EQ(r.err, "kvb: Cannot open file " + (dir / "held.kvb") + ": another program is editing it\n");
    EXPECT_TRUE(ReadFile(dir / "held.kvb") == archive);
}
