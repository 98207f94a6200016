// The kvb tool against what can go wrong around an archive on a real system: outputs that are
// the archive itself, links and pipes planted under the names it writes, numbers with leading
// zeros, edits cut short by signals and limits, hostile sizes and texts, and file names that
// cannot come back out. Every case runs the built program, as a user or a script would.
#include "archive/format.h"
#include "archive/raw_archive.h"
#include "cli/run_kvb.h"
#include "support/archive_builder.h"
#include "support/same_bytes.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <optional>
#include <poll.h>
#include <set>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace kvb;
using namespace kvb::test;

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

// Long enough for the slowest honest run (64 MiB under the sanitizers); a run still going then
// is taken to hang, killed, and reported as such.
constexpr auto kWatchdog = 10s;

struct Outcome {
    bool hung = false;
    int exitCode = -1; // -1 unless the program exited
    int signal = 0;    // the signal that ended it, if one did
    std::string out, err;
    size_t lines = 0; // line ends in out, counted also when out is not kept

    std::string Describe() const
    {
        return (hung ? "hung; " : "") + std::string("exit ") + std::to_string(exitCode) +
               " signal " + std::to_string(signal) + "; stderr: " + err;
    }
};

struct Options {
    std::string cwd;
    rlim_t addressSpace = RLIM_INFINITY;
    rlim_t fileSize = RLIM_INFINITY;
    bool keepOutput = true;
};

// kvb running in the background, with stdout read through a pipe and stderr kept in a file of
// its own folder (so that the folders a test lists hold only what kvb left there).
class Kvb {
public:
    Kvb(std::vector<std::string> args, const Options &options = {}) : options_(options)
    {
        args.insert(args.begin(), KVB_BINARY);
        std::vector<char *> argv;
        for (auto &a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        const std::string errPath = logs_ / "stderr";
        int errFd = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        int nullFd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
        int fds[2];
        if (errFd < 0 || nullFd < 0 || ::pipe2(fds, O_CLOEXEC) != 0)
            throw std::runtime_error("cannot set up the child's files");
        std::fflush(nullptr);
        pid_ = ::fork();
        if (pid_ == 0) {
            // Only calls that are safe between fork and exec.
            if (!options.cwd.empty() && ::chdir(options.cwd.c_str()) != 0)
                ::_exit(126);
            rlimit rl{};
            if (options.addressSpace != RLIM_INFINITY) {
                rl.rlim_cur = rl.rlim_max = options.addressSpace;
                ::setrlimit(RLIMIT_AS, &rl);
            }
            if (options.fileSize != RLIM_INFINITY) {
                ::getrlimit(RLIMIT_FSIZE, &rl);
                rl.rlim_cur = options.fileSize;
                ::setrlimit(RLIMIT_FSIZE, &rl);
            }
            for (int s : {SIGXFSZ, SIGTERM, SIGINT, SIGHUP, SIGPIPE})
                ::signal(s, SIG_DFL);
            sigset_t none;
            sigemptyset(&none);
            ::sigprocmask(SIG_SETMASK, &none, nullptr);
            ::dup2(nullFd, 0);
            ::dup2(fds[1], 1);
            ::dup2(errFd, 2);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
        ::close(fds[1]);
        ::close(errFd);
        ::close(nullFd);
        out_ = fds[0];
        if (pid_ < 0)
            throw std::runtime_error("cannot fork");
    }
    ~Kvb()
    {
        if (!reaped_) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        if (out_ >= 0)
            ::close(out_);
    }

    void Signal(int sig) { ::kill(pid_, sig); }

    // Still running (an ended process that is not yet waited for counts as ended).
    bool Running() const
    {
        siginfo_t info{};
        return ::waitid(P_PID, id_t(pid_), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
               info.si_pid == 0;
    }

    Outcome Wait()
    {
        Outcome result;
        const auto deadline = std::chrono::steady_clock::now() + kWatchdog;
        auto left = [&] {
            return std::chrono::duration_cast<std::chrono::milliseconds>(
                       deadline - std::chrono::steady_clock::now())
                .count();
        };
        char buffer[65536];
        while (out_ >= 0 && left() > 0) {
            pollfd p{out_, POLLIN, 0};
            if (::poll(&p, 1, int(std::min<long long>(left(), 100))) <= 0)
                continue;
            ssize_t n = ::read(out_, buffer, sizeof buffer);
            if (n <= 0) {
                ::close(out_);
                out_ = -1;
                break;
            }
            result.lines += size_t(std::count(buffer, buffer + n, '\n'));
            if (options_.keepOutput)
                result.out.append(buffer, size_t(n));
        }
        while (Running() && left() > 0)
            std::this_thread::sleep_for(1ms);
        if (Running()) {
            result.hung = true;
            ::kill(pid_, SIGKILL);
        }
        int status = 0;
        ::waitpid(pid_, &status, 0);
        reaped_ = true;
        if (WIFEXITED(status))
            result.exitCode = WEXITSTATUS(status);
        if (WIFSIGNALED(status))
            result.signal = WTERMSIG(status);
        result.err = ReadFile(logs_ / "stderr");
        return result;
    }

private:
    Options options_;
    TempDir logs_;
    pid_t pid_ = -1;
    int out_ = -1;
    bool reaped_ = false;
};

Outcome RunWatched(std::vector<std::string> args, const Options &options = {})
{
    return Kvb(std::move(args), options).Wait();
}

// Every name in folder, hidden ones included.
std::set<std::string> Listing(const fs::path &folder)
{
    std::set<std::string> names;
    for (const auto &entry : fs::directory_iterator(folder))
        names.insert(entry.path().filename().string());
    return names;
}

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

bool IsRegularNotLink(const fs::path &path)
{
    return fs::is_regular_file(fs::symlink_status(path));
}

void MakeFifo(const fs::path &path)
{
    if (::mkfifo(path.c_str(), 0600) != 0)
        throw std::runtime_error("cannot make a FIFO at " + path.string());
}

} // namespace

// --- The archive as its own output --------------------------------------------------------------

TEST(OwnArchive, IsNeverAnOutputWhateverNameLeadsToIt)
{
    TempDir dir;
    const std::string game = ArchiveBuilder()
                                 .Add("OTHER.BIN", PatternBytes(300, 1))
                                 .Add("GAME.KVB", PatternBytes(200, 2))
                                 .Build();
    WriteFile(dir / "GAME.KVB", game);
    const std::string copy = TwoEntryArchive();
    WriteFile(dir / "COPY.KVB", copy);
    fs::create_hard_link(dir / "COPY.KVB", dir / "hard.bin");
    fs::create_symlink("COPY.KVB", dir / "sym.bin");

    struct Row {
        std::vector<std::string> args;
        std::string archive, bytes, named;
    } rows[] = {
        {{"extract-all", "GAME.KVB", "."}, "GAME.KVB", game, "GAME.KVB"},
        {{"extract", "COPY.KVB", "1", "COPY.KVB"}, "COPY.KVB", copy, "COPY.KVB"},
        {{"extract", "COPY.KVB", "1", "hard.bin"}, "COPY.KVB", copy, "hard.bin"},
        {{"extract", "COPY.KVB", "2", "sym.bin"}, "COPY.KVB", copy, "sym.bin"},
    };
    for (const Row &row : rows) {
        Outcome r = RunWatched(row.args, {.cwd = dir.Path().string()});
        EXPECT_EQ(r.exitCode, 1) << row.args[0] << ' ' << row.named << ": " << r.Describe();
        EXPECT_NE(r.err.find(row.named), std::string::npos) << r.err;
        EXPECT_TRUE(ReadFile(dir / row.archive) == row.bytes) << row.named << " was changed";
    }
    EXPECT_TRUE(fs::is_symlink(dir / "sym.bin"));
}

// --- Links and pipes under the names kvb writes -------------------------------------------------

TEST(PlantedLinks, AreReplacedAndWhatTheyLedToKeepsItsContent)
{
    TempDir dir;
    const std::string a = PatternBytes(1000, 3), b = PatternBytes(2000, 4);
    WriteFile(dir / "a.kvb", ArchiveBuilder().Add("A.BIN", a).Add("B.BIN", b).Build());
    WriteFile(dir / "outside.txt", "outside");
    WriteFile(dir / "other.txt", "other name");
    const fs::path out = dir.Path() / "out";
    fs::create_directory(out);
    fs::create_symlink(dir / "outside.txt", out / "A.BIN");
    fs::create_hard_link(dir / "other.txt", out / "B.BIN");

    Outcome r = RunWatched({"extract-all", dir / "a.kvb", out.string()});
    EXPECT_EQ(r.exitCode, 0) << r.Describe();
    EXPECT_EQ(ReadFile(dir / "outside.txt"), "outside");
    EXPECT_EQ(ReadFile(dir / "other.txt"), "other name");
    EXPECT_TRUE(IsRegularNotLink(out / "A.BIN"));
    EXPECT_TRUE(ReadFile(out / "A.BIN") == a);
    EXPECT_TRUE(ReadFile(out / "B.BIN") == b);
    EXPECT_EQ(fs::hard_link_count(out / "B.BIN"), 1u);
}

// A pipe nobody writes or reads: opening it the ordinary way would wait forever.
TEST(PlantedPipes, AreRefusedWithAMessageAndNeverWaitedOn)
{
    TempDir dir;
    const std::string archive = TwoEntryArchive();
    WriteFile(dir / "a.kvb", archive);
    fs::create_directory(dir.Path() / "out");
    MakeFifo(dir / "out/FIRST.BIN");
    MakeFifo(dir / "pipe.bin");
    MakeFifo(dir / "pipe.kvb");
    fs::create_directory(dir.Path() / "src");
    WriteFile(dir / "src/ONE.BIN", "1");
    fs::create_directory(dir.Path() / "templates");
    MakeFifo(dir / "templates/KVB.1");

    const std::vector<std::vector<std::string>> rows = {
        {"extract-all", dir / "a.kvb", dir / "out"},
        {"extract", dir / "a.kvb", "1", dir / "pipe.bin"},
        {"info", dir / "pipe.kvb"},
        {"list", dir / "pipe.kvb"},
        {"raw", dir / "pipe.kvb"},
        {"create", dir / "src", dir / "new.kvb", "--templates", dir / "templates"},
        {"append", dir / "a.kvb", dir / "pipe.bin"},
    };
    for (const auto &args : rows) {
        Outcome r = RunWatched(args);
        EXPECT_FALSE(r.hung) << args[0];
        EXPECT_EQ(r.exitCode, 1) << args[0] << ": " << r.Describe();
        EXPECT_EQ(r.err.rfind("kvb: ", 0), 0u) << args[0] << ": " << r.err;
    }
    EXPECT_TRUE(ReadFile(dir / "a.kvb") == archive);
    EXPECT_FALSE(fs::exists(dir / "new.kvb"));
    EXPECT_TRUE(fs::is_fifo(dir / "out/FIRST.BIN"));
}

// --- Numbers ------------------------------------------------------------------------------------

TEST(RecordNumbers, LeadingZerosAreDecimalAndOtherBasesAreUsageErrors)
{
    TempDir dir;
    ArchiveBuilder b;
    for (int i = 1; i <= 12; ++i)
        b.Add("E" + std::to_string(i) + ".BIN", PatternBytes(size_t(10 + i), unsigned(i)));
    const std::string archive = b.Build();
    WriteFile(dir / "a.kvb", archive);

    Outcome extract = RunWatched({"extract", dir / "a.kvb", "010", dir / "out"});
    EXPECT_EQ(extract.exitCode, 0) << extract.Describe();
    EXPECT_EQ(ReadFile(dir / "out"), PatternBytes(20, 10));

    Outcome link = RunWatched({"link", dir / "a.kvb", "02", "011"});
    EXPECT_EQ(link.exitCode, 0) << link.Describe();
    {
        TRawKVBFile f(dir / "a.kvb");
        EXPECT_EQ(f.GetTocRecord(1).Offset, b.OffsetOf(10));
    }

    Outcome truncate = RunWatched({"truncate", dir / "a.kvb", "010", "--yes"});
    EXPECT_EQ(truncate.exitCode, 0) << truncate.Describe();
    EXPECT_EQ(TRawKVBFile(dir / "a.kvb").DataCount(), 9);

    const std::string before = ReadFile(dir / "a.kvb");
    // extract takes names too: 0x1 is then a name no entry carries, never entry 1.
    Outcome named = RunWatched({"extract", dir / "a.kvb", "0x1", dir / "hex"});
    EXPECT_EQ(named.exitCode, 1) << named.Describe();
    for (const auto &args : std::vector<std::vector<std::string>>{
             {"truncate", dir / "a.kvb", "0x1", "--yes"},
             {"link", dir / "a.kvb", "0x1", "1"},
             {"link", dir / "a.kvb", "1", "0x1"},
         }) {
        Outcome r = RunWatched(args);
        EXPECT_EQ(r.exitCode, 2) << args[0] << ": " << r.Describe();
    }
    EXPECT_TRUE(ReadFile(dir / "a.kvb") == before);
    EXPECT_FALSE(fs::exists(dir / "hex"));
}

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
        explicit Work(const std::string &from) : archive(dir / "a.kvb")
        {
            fs::copy_file(from, archive);
        }
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
        caught = KillAndRecover({"append", Path("BIG.BIN")}, Path("before.kvb"),
                                Path("after.kvb"), std::nullopt);
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

// --- Hostile sizes ------------------------------------------------------------------------------

TEST(HostileSizes, ATemplateOfAClaimedTwoGigabytesFailsWithoutTheMemory)
{
    TempDir dir;
    std::string archive = ArchiveBuilder().Add("ONLY.BIN", PatternBytes(100, 1)).Build();
    PatchTocOffset(archive, 0, 2'000'000'000);
    WriteFile(dir / "a.kvb", archive);
    fs::create_directory(dir.Path() / "t");

    Options options;
    if (!kSanitized) // the sanitizers' shadow memory alone takes more address space
        options.addressSpace = rlim_t(512) << 20;
    Outcome r = RunWatched({"template", dir / "a.kvb", dir / "t"}, options);
    EXPECT_EQ(r.exitCode, 1) << r.Describe();
    EXPECT_EQ(r.err.rfind("kvb: ", 0), 0u) << r.err;
    EXPECT_EQ(r.err.find("alloc"), std::string::npos) << r.err;
    EXPECT_TRUE(fs::is_empty(dir.Path() / "t"));
}

TEST(HostileSizes, RawWalksFiftyMegabytesOfShortEntriesAndStreamsItsLines)
{
    TempDir dir;
    // A header and one table record leading to the first data header.
    std::string front(size_t(TocEnd(1)), '\0');
    EncodeFileHeader(TKVB_FileHeader{CreatorToField(kNewArchiveCreator), 1}, front.data());
    EncodeTocRecord(TKVB_TocRecord{NameToField("FF"), int32_t(TocEnd(1)), 0, 0},
                    front.data() + kFileHeaderSize);
    // Each data header of 0xFF bytes claims length -1: the next one starts 23 bytes on.
    // Under the sanitizers no memory limit can be set, and a tenth of the walk shows the lines.
    const size_t tail = kSanitized ? 5'000'000 : 50'000'000;
    {
        std::ofstream out(dir / "ff.kvb", std::ios::binary);
        out.write(front.data(), std::streamsize(front.size()));
        const std::string chunk(1 << 20, '\xFF');
        for (size_t done = 0; done < tail; done += chunk.size())
            out.write(chunk.data(), std::streamsize(std::min(chunk.size(), tail - done)));
    }
    WriteFile(dir / "short.kvb", front + std::string(10, '\xFF'));

    // The walk holds a few bytes per entry and the lines go out as they are made: the limit
    // leaves room for that, not for the text of all the lines at once.
    Options options;
    options.keepOutput = false;
    if (!kSanitized)
        options.addressSpace = rlim_t(400) << 20;
    Outcome none = RunWatched({"raw", dir / "short.kvb"}, options);
    ASSERT_EQ(none.exitCode, 0) << none.Describe();
    Outcome r = RunWatched({"raw", dir / "ff.kvb"}, options);
    ASSERT_EQ(r.signal, 0) << r.Describe();
    if (r.exitCode == 0) {
        // Records while more than one header's worth is left: (tail - 24) / 23 rounded up.
        const size_t records = (tail - kDataHeaderSize + 22) / 23;
        EXPECT_EQ(r.lines, none.lines + records);
    } else {
        EXPECT_EQ(r.exitCode, 1) << r.Describe();
        EXPECT_EQ(r.err.rfind("kvb: ", 0), 0u) << r.err;
        EXPECT_EQ(r.err.find("alloc"), std::string::npos) << r.err;
    }
}

// Two gigabytes of zeros after the last entry (a sparse file, or a download that unpacks to one)
// read as an empty entry every 24 bytes. The editor's walk stops at its bound, in little memory,
// and says where the zeros start.
TEST(HostileSizes, RawRefusesATailOfZerosInLittleMemoryAndSaysWhereItStarts)
{
    TempDir dir;
    const std::string archive = TwoEntryArchive();
    WriteFile(dir / "zeros.kvb", archive);
    fs::resize_file(dir / "zeros.kvb", uint64_t(INT32_MAX) - 100);
    Options options;
    if (!kSanitized)
        options.addressSpace = rlim_t(256) << 20;
    for (const std::vector<std::string> &args :
         {std::vector<std::string>{"raw", dir / "zeros.kvb"}, {"truncate", dir / "zeros.kvb", "3", "--yes"}}) {
        Outcome r = RunWatched(args, options);
        EXPECT_FALSE(r.hung);
        EXPECT_EQ(r.exitCode, 1) << r.Describe();
        EXPECT_NE(r.err.find("from position " + std::to_string(archive.size() + 10) + " on"),
                  std::string::npos)
            << r.err;
        EXPECT_EQ(r.err.find("alloc"), std::string::npos) << r.err;
    }
}

// --- Hostile texts ------------------------------------------------------------------------------

TEST(ControlBytes, NeverReachTheTerminalAndShowAsEscapes)
{
    TempDir dir;
    const std::string bytes = "\x1B\x07\x0A\x9D";
    TCreatorField creator{};
    const std::string creatorText = "C" + bytes + "]0;X";
    std::copy(creatorText.begin(), creatorText.end(), creator.begin());
    WriteFile(dir / "a.kvb", ArchiveBuilder()
                                 .CreatorField(creator)
                                 .Add("N" + bytes + "[2J.BIN", "one")
                                 .Add("M" + bytes + ".BIN", "two")
                                 .Description("D" + bytes + "]2;T\x07")
                                 .Build());
    for (const auto &args : std::vector<std::vector<std::string>>{
             {"info", "--lengths", dir / "a.kvb"},
             {"list", "--lengths", dir / "a.kvb"},
             {"raw", dir / "a.kvb"},
             {"analyse", dir / "a.kvb"},
         }) {
        Outcome r = RunWatched(args);
        ASSERT_EQ(r.exitCode, 0) << args[0] << ": " << r.Describe();
        for (size_t i = 0; i < r.out.size(); ++i) {
            const auto c = static_cast<unsigned char>(r.out[i]);
            // Line ends, and the tabs between the fields of list and raw.
            const bool layout = c == '\n' || c == '\t';
            EXPECT_TRUE(layout || (c >= 0x20 && c != 0x7F))
                << args[0] << ": byte " << int(c) << " at " << i;
            if (c == 0xC2 && i + 1 < r.out.size()) {
                const auto next = static_cast<unsigned char>(r.out[i + 1]);
                EXPECT_FALSE(next >= 0x80 && next <= 0x9F)
                    << args[0] << ": a C1 control at " << i;
            }
        }
        for (const char *escape : {"\\x1B", "\\x07", "\\x0A", "\\x9D"})
            EXPECT_NE(r.out.find(escape), std::string::npos) << args[0] << ' ' << escape << '\n'
                                                             << r.out;
    }
}

// --- Names create cannot store ------------------------------------------------------------------

TEST(CreateNames, NamesThatCannotComeBackOutAreRefusedBeforeWriting)
{
    struct Row {
        std::vector<std::string> files;
    } rows[] = {
        {{"a:b.txt"}},
        {{"ABCDEFGHIJKLMNOPQRST1", "ABCDEFGHIJKLMNOPQRST2"}},
        {{"abcdefghijklmnopqrstX", "ABCDEFGHIJKLMNOPQRSTY"}},
    };
    for (const Row &row : rows) {
        TempDir dir;
        fs::create_directory(dir.Path() / "src");
        for (const auto &name : row.files)
            WriteFile(dir / ("src/" + name), name);
        WriteFile(dir / ("KVB." + std::to_string(row.files.size())), StandardValidation());
        Outcome r = RunWatched({"create", dir / "src", dir / "new.kvb", "--templates", dir.Path().string()});
        EXPECT_EQ(r.exitCode, 1) << row.files[0] << ": " << r.Describe();
        for (const auto &name : row.files)
            EXPECT_NE(r.err.find(name), std::string::npos) << name << ": " << r.err;
        EXPECT_FALSE(fs::exists(dir / "new.kvb")) << row.files[0];
    }
}
