#include "archive/checksum.h"
#include "run_kvb.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#ifndef _WIN32
#include <sys/stat.h>
#endif

using namespace kvb::test;

namespace {

std::string Hex64Of(const std::string &bytes)
{
    char hex[17];
    std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(kvb::Checksum64(bytes)));
    return hex;
}

ArchiveBuilder Base()
{
    ArchiveBuilder b;
    b.Validation(StandardValidation());
    b.Add("A.TEX", PatternBytes(100, 1))
        .Add("B.BIN", PatternBytes(50, 2))
        .Add("C.MID", PatternBytes(70, 3));
    return b;
}

struct Pair {
    TempDir dir;
    std::string a = dir / "a.kvb", b = dir / "b.kvb";
    Pair(const ArchiveBuilder &first, const ArchiveBuilder &second)
    {
        WriteFile(a, first.Build());
        WriteFile(b, second.Build());
    }
    RunResult Kvb(std::initializer_list<std::string> args) const { return RunKvb(dir, args); }
};

TEST(CliDiff, SameArchivesSayNothingAndExitZero)
{
    ArchiveBuilder reordered;
    reordered.Validation(StandardValidation());
    reordered.Add("C.MID", PatternBytes(70, 3))
        .Add("A.TEX", PatternBytes(100, 1))
        .Add("B.BIN", PatternBytes(50, 2));
    const Pair pair(Base(), reordered);
    const RunResult r = pair.Kvb({"diff", pair.a, pair.b});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(pair.Kvb({"diff", pair.a, pair.a}).exitCode, 0);
}

TEST(CliDiff, DifferencesAreListedOneALineWithExitOne)
{
    std::string changed = PatternBytes(100, 1);
    changed[0] ^= 1;
    ArchiveBuilder b;
    b.Validation(StandardValidation()).Description("FF8");
    b.Add("A.TEX", changed).Add("B.BIN", PatternBytes(51, 2)).Add("N\x1b[2J.BIN", "new");
    const Pair pair(Base(), b);
    const RunResult r = pair.Kvb({"diff", pair.a, pair.b});
    EXPECT_EQ(r.exitCode, 1) << r.err;
    const std::string sumA = Hex64Of(PatternBytes(100, 1)), sumB = Hex64Of(changed);
    EXPECT_EQ(r.out, "only in " + pair.a +
                         ": entry 3 \"C.MID\", 70 bytes\n"
                         "only in " +
                         pair.b +
                         ": entry 3 \"N\\x1B[2J.BIN\", 3 bytes\n"
                         "differs: entry 1 \"A.TEX\", 100 bytes, checksum " +
                         sumA + " in " + pair.a + "; entry 1, 100 bytes, checksum " + sumB + " in " +
                         pair.b +
                         "\n"
                         "differs: entry 2 \"B.BIN\", 50 bytes in " +
                         pair.a + "; entry 2, 51 bytes in " + pair.b +
                         "\n"
                         "description: \"FINAL FANTASY7\" in " +
                         pair.a + ", \"FF8\" in " + pair.b + "\n");

    const nlohmann::json json = nlohmann::json::parse(pair.Kvb({"diff", "--json", pair.a, pair.b}).out);
    EXPECT_FALSE(json["same"]);
    EXPECT_EQ(json["matched"], 2);
    EXPECT_EQ(json["only_in_a"][0]["number"], 3);
    EXPECT_EQ(json["only_in_b"][0]["name_hex"], "4e1b5b324a2e42494e");
    EXPECT_EQ(json["changed"][0]["checksum_b"], sumB);
    EXPECT_EQ(json["changed"][1]["length_b"], 51);
    EXPECT_EQ(json["changed"][1]["checksum_a"], nullptr);
    EXPECT_FALSE(json["header"]["differs"]);
    EXPECT_FALSE(json["validation"]["differs"]);
    EXPECT_EQ(json["description"]["description_b"], "FF8");
}

TEST(CliDiff, TroubleExitsTwoNamingTheFile)
{
    const Pair pair(Base(), Base());
    RunResult r = pair.Kvb({"diff", pair.a, pair.dir / "missing.kvb"});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("missing.kvb"), std::string::npos) << r.err;

    std::string cut = Base().Build();
    cut.resize(100);
    WriteFile(pair.b, cut);
    r = pair.Kvb({"diff", pair.a, pair.b});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("b.kvb: the file ends at byte 100"), std::string::npos) << r.err;

    r = pair.Kvb({"diff", pair.a});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.err, "kvb: B is required; see kvb diff --help\n");

#ifndef _WIN32
    const std::string fifo = pair.dir / "pipe.kvb";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    r = pair.Kvb({"diff", fifo, pair.a});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("pipe.kvb"), std::string::npos) << r.err;

    // An answer that cannot be printed is trouble too.
    const std::string command = ShellQuote(KVB_BINARY) + " diff " + ShellQuote(pair.a) + ' ' +
                                ShellQuote(fifo + "x") + " >/dev/full 2>/dev/null";
    WriteFile(fifo + "x", Base().Add("D", "d").Build());
    const int status = std::system(command.c_str());
    EXPECT_EQ(WEXITSTATUS(status), 2);
#endif
}

} // namespace
