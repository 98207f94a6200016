// The kvb tool given paths that lead where it must not write: an output that is the archive
// itself under another name, links and pipes planted under the names it writes or reads, and
// file names that would not come back out of the archive it creates. Every case runs the built
// program, as a user or a script would.
#include "robustness/watched_kvb.h"
#include "support/archive_builder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>
#include <string>
#include <sys/stat.h>
#include <vector>

using namespace kvb::test;

namespace fs = std::filesystem;

namespace {

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
        Outcome r =
            RunWatched({"create", dir / "src", dir / "new.kvb", "--templates", dir.Path().string()});
        EXPECT_EQ(r.exitCode, 1) << row.files[0] << ": " << r.Describe();
        for (const auto &name : row.files)
            EXPECT_NE(r.err.find(name), std::string::npos) << name << ": " << r.err;
        EXPECT_FALSE(fs::exists(dir / "new.kvb")) << row.files[0];
    }
}
