// Every command that writes an archive, cut short at each of its writes, syncs, truncations,
// renames, links and unlinks in turn: by SIGKILL just before the call, or by the call failing
// with EIO. strace injects both into the real program, so nothing in kvb knows it is tested.
// Afterwards, once the next editor (or the next run of the same command) has opened the target,
// the archive is byte for byte as before or as after, nothing is left beside it, and a run that
// reported success has its result kept.
#include "archive/format.h"
#include "robustness/traced_kvb.h"
#include "support/archive_builder.h"
#include "tools/mod_package.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <vector>

using namespace kvb;
using namespace kvb::test;
namespace fs = std::filesystem;

namespace {

// One command that writes target in folder work, from a fresh copy of its starting files.
struct Scenario {
    std::string name;
    std::function<void(const std::string &work, const std::string &inputs)> prepare;
    std::function<std::vector<std::string>(const std::string &work, const std::string &inputs)> args;
    std::string target;    // the file the command writes, in work
    bool inPlace = true;   // an in-place edit, which the next editor (kvb raw) repairs
    std::string untouched; // a file in work the command reads and must never change
    // Its next run refuses to do again what was done (a mod applied, or reverted, already).
    bool rerunRefusesDone = false;
    // A file in work that must be there whenever the target is as after the run (true) or as
    // before it (false): a mod's undo package, while the archive holds the mod.
    std::string recordOf = {};
    bool recordOfAfter = true;
};

const std::string &Inputs()
{
    static const std::string bytes = PatternBytes(5000, 21);
    return bytes;
}

std::string ThreeEntries()
{
    return ArchiveBuilder()
        .Add("FIRST.BIN", PatternBytes(3000, 1))
        .Add("SECOND.BIN", PatternBytes(2000, 2))
        .Add("THIRD.BIN", PatternBytes(1000, 3))
        .Build();
}

// An export of the archive in work/G.KVB into work/mod, with one of its files changed since.
void ExportChanged(const std::string &work)
{
    WriteFile(work + "/G.KVB", ThreeEntries());
    const std::string command = std::string("'") + KVB_BINARY + "' export '" + work + "/G.KVB' '" + work +
                                "/mod'";
    ASSERT_EQ(std::system(command.c_str()), 0);
    WriteFile(work + "/mod/SECOND.BIN", Inputs());
}

// work/G.KVB, and work/fix.kvbmod: a mod of it that replaces SECOND.BIN and adds an entry, with
// the template for the new count in work/t.
void ModOf(const std::string &work)
{
    WriteFile(work + "/G.KVB", ThreeEntries());
    WriteFile(work + "/MODDED.KVB", ArchiveBuilder()
                                        .Validation(std::string(3700, 'v'))
                                        .Add("FIRST.BIN", PatternBytes(3000, 1))
                                        .Add("SECOND.BIN", Inputs())
                                        .Add("THIRD.BIN", PatternBytes(1000, 3))
                                        .Add("FOURTH.BIN", PatternBytes(700, 4))
                                        .Build());
    CreateModPackage(work + "/G.KVB", work + "/MODDED.KVB", work + "/fix.kvbmod", "Fix", "1");
    fs::remove(work + "/MODDED.KVB");
    fs::create_directory(work + "/t");
    WriteFile(work + "/t/KVB.4", std::string(3700, 'v'));
}

std::vector<Scenario> Scenarios()
{
    auto archive = [](const std::string &work, const std::string &) {
        WriteFile(work + "/G.KVB", ThreeEntries());
    };
    return {
        {"link", archive,
         [](const std::string &w, const std::string &) {
             return std::vector<std::string>{"link", w + "/G.KVB", "1", "3"};
         },
         "G.KVB", true, ""},
        {"append", archive,
         [](const std::string &w, const std::string &in) {
             return std::vector<std::string>{"append", w + "/G.KVB", in + "/NEW.BIN"};
         },
         "G.KVB", true, ""},
        {"truncate", archive,
         [](const std::string &w, const std::string &) {
             return std::vector<std::string>{"truncate", w + "/G.KVB", "2", "--yes"};
         },
         "G.KVB", true, ""},
        {"replace", archive,
         [](const std::string &w, const std::string &in) {
             return std::vector<std::string>{"replace", w + "/G.KVB", "2", in + "/NEW.BIN"};
         },
         "G.KVB", false, ""},
        {"replace-output",
         [](const std::string &w, const std::string &) {
             WriteFile(w + "/G.KVB", ThreeEntries());
             WriteFile(w + "/OUT.KVB", "an older output");
         },
         [](const std::string &w, const std::string &in) {
             return std::vector<std::string>{"replace",       w + "/G.KVB", "2",
                                             in + "/NEW.BIN", "--output",   w + "/OUT.KVB"};
         },
         "OUT.KVB", false, "G.KVB"},
        {"update", [](const std::string &w, const std::string &) { ExportChanged(w); },
         [](const std::string &w, const std::string &) {
             return std::vector<std::string>{"update", w + "/G.KVB", w + "/mod"};
         },
         "G.KVB", false, ""},
        {"create",
         [](const std::string &w, const std::string &) { WriteFile(w + "/OUT.KVB", "an older output"); },
         [](const std::string &w, const std::string &in) {
             return std::vector<std::string>{"create", in + "/src", w + "/OUT.KVB", "--templates", in};
         },
         "OUT.KVB", false, ""},
        {"mod-apply", [](const std::string &w, const std::string &) { ModOf(w); },
         [](const std::string &w, const std::string &) {
             return std::vector<std::string>{"mod",         "apply", w + "/G.KVB", w + "/fix.kvbmod",
                                             "--templates", w + "/t"};
         },
         "G.KVB", false, "", true, "G.KVB.Fix.kvbundo", true},
        {"mod-revert",
         [](const std::string &w, const std::string &) {
             ModOf(w);
             ApplyMod(w + "/G.KVB", w + "/fix.kvbmod", {w + "/t"});
         },
         [](const std::string &w, const std::string &) {
             return std::vector<std::string>{"mod", "revert", w + "/G.KVB", w + "/fix.kvbmod"};
         },
         "G.KVB", false, "", true, "G.KVB.Fix.kvbundo", false},
    };
}

class CrashCampaign : public testing::TestWithParam<Scenario> {};

void PrintTo(const Scenario &s, std::ostream *out)
{
    *out << s.name;
}

} // namespace

TEST_P(CrashCampaign, EveryKillAndEveryErrorLeavesTheTargetOldOrNewAndNothingBeside)
{
    if (std::system("strace -V >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "strace is not installed";
    const Scenario &scenario = GetParam();
    TempDir inputs, logs;
    WriteFile(inputs / "NEW.BIN", Inputs());
    fs::create_directory(inputs.Path() / "src");
    for (int i = 0; i < 3; ++i)
        WriteFile(inputs / ("src/F" + std::to_string(i) + ".BIN"), PatternBytes(1500 + 700 * i, 30 + i));
    WriteFile(inputs / "KVB.3", StandardValidation());

    // The target before and after an undisturbed run, and the calls that run makes.
    std::string before, after, untouched;
    std::set<std::string> files;
    std::map<std::string, int> calls;
    {
        TempDir work;
        scenario.prepare(work.Path().string(), inputs.Path().string());
        before = ReadFile(work / scenario.target);
        if (!scenario.untouched.empty())
            untouched = ReadFile(work / scenario.untouched);
        calls =
            CountCalls(scenario.args(work.Path().string(), inputs.Path().string()), logs.Path().string());
        after = ReadFile(work / scenario.target);
        // What the command leaves beside the target (a mod's undo package, or none once reverted).
        files = Listing(work.Path().string());
    }
    ASSERT_NE(before, after);
    int runs = 0;
    for (const auto &[call, count] : calls) {
        for (int n = 1; n <= count; ++n) {
            for (const std::string fault : {"signal=KILL", "error=EIO"}) {
                SCOPED_TRACE(call + " number " + std::to_string(n) + ": " + fault);
                ++runs;
                TempDir work;
                const std::string w = work.Path().string(), in = inputs.Path().string();
                scenario.prepare(w, in);
                const TracedRun cut =
                    RunTraced({"-o", "/dev/null", "-e", "trace=" + call, "-e",
                               "inject=" + call + ":" + fault + ":when=" + std::to_string(n)},
                              scenario.args(w, in), logs.Path().string());
                // The kill lands for sure; an error may be one the command rightly shrugs off.
                if (fault == "signal=KILL") {
                    ASSERT_TRUE(cut.exitCode == -1 || cut.exitCode == 128 + SIGKILL)
                        << "no kill landed: exit " << cut.exitCode << ": " << cut.err;
                }
                const std::string left = ReadFile(work / scenario.target);
                EXPECT_TRUE(left == before || left == after || scenario.inPlace)
                    << "the target is torn: " << cut.err;
                if (cut.exitCode == 0) {
                    EXPECT_TRUE(left == after) << "a run that reported success did not keep it";
                }
                if (!scenario.untouched.empty()) {
                    EXPECT_TRUE(ReadFile(work / scenario.untouched) == untouched)
                        << "the archive read was changed";
                }
                if (!scenario.recordOf.empty() && left == (scenario.recordOfAfter ? after : before)) {
                    EXPECT_TRUE(fs::exists(work / scenario.recordOf))
                        << "the archive holds the mod, and its undo package is gone";
                }

                // The next editor puts an interrupted edit right; the next run of a rebuild or a
                // creation clears what an earlier one left.
                const TracedRun next =
                    RunTraced({"-o", "/dev/null", "-e", "trace=none"},
                              scenario.inPlace
                                  ? std::vector<std::string>{"raw", w + "/" + scenario.target}
                                  : scenario.args(w, in),
                              logs.Path().string());
                EXPECT_TRUE(next.exitCode == 0 || (scenario.rerunRefusesDone && left == after))
                    << next.err;
                const std::string now = ReadFile(work / scenario.target);
                if (scenario.inPlace) {
                    EXPECT_TRUE(now == before || now == after) << "not repaired: " << next.err;
                    if (left == before || left == after) {
                        EXPECT_TRUE(now == left) << "a whole archive was changed: " << next.err;
                    }
                } else {
                    EXPECT_TRUE(now == after) << "the next run did not write the target: " << next.err;
                }
                EXPECT_EQ(Listing(w), files) << "something was left beside the target";
            }
        }
    }
    // Each edit writes its record, itself and the archive, and syncs both at the least.
    EXPECT_GE(runs, 8);
    std::cout << "[ campaign ] " << scenario.name << ": " << runs << " cut-short runs\n";
}

// The recovery of each in-place edit is cut short in turn: for every kill of the edit that leaves
// the archive half edited, the next editor (kvb raw) is killed or failed at each of its own
// writing calls. Whatever it leaves, the one after it puts the archive back as it was, and
// nothing is left beside it.
TEST_P(CrashCampaign, EveryKillAndErrorOfTheRecoveryIsCarriedOnByTheNextEditor)
{
    const Scenario &scenario = GetParam();
    if (!scenario.inPlace)
        GTEST_SKIP() << "a rebuild has no recovery: its next run writes the target again";
    if (!HaveStrace())
        GTEST_SKIP() << "strace is not installed";
    TempDir inputs, logs;
    WriteFile(inputs / "NEW.BIN", Inputs());
    const std::string in = inputs.Path().string();
    std::string before, after;
    std::set<std::string> files;
    std::map<std::string, int> calls;
    {
        TempDir work;
        scenario.prepare(work.Path().string(), in);
        before = ReadFile(work / scenario.target);
        files = Listing(work.Path().string());
        calls = CountCalls(scenario.args(work.Path().string(), in), logs.Path().string());
        after = ReadFile(work / scenario.target);
    }
    int halfEdited = 0, runs = 0;
    for (const auto &[call, count] : calls) {
        for (int n = 1; n <= count; ++n) {
            // The edit, killed here; only the kills that leave it part way have a recovery.
            TempDir first;
            const std::string w = first.Path().string();
            scenario.prepare(w, in);
            RunTraced({"-o", "/dev/null", "-e", "trace=" + call, "-e",
                       "inject=" + call + ":signal=KILL:when=" + std::to_string(n)},
                      scenario.args(w, in), logs.Path().string());
            const std::string half = ReadFile(first / scenario.target);
            const std::string record = first / ("." + scenario.target + ".kvb-journal");
            if (half == before || half == after || !fs::exists(record))
                continue;
            ++halfEdited;
            const std::string recordBytes = ReadFile(record);
            const std::vector<std::string> raw = {"raw", w + "/" + scenario.target};
            for (const auto &[rcall, rcount] : CountCalls(raw, logs.Path().string())) {
                // The count above ran the recovery: the half-edited archive comes back each time.
                for (int r = 1; r <= rcount; ++r) {
                    for (const std::string fault : {"signal=KILL", "error=EIO"}) {
                        SCOPED_TRACE("edit killed at " + call + " " + std::to_string(n) +
                                     ", recovery cut at " + rcall + " " + std::to_string(r) + ": " +
                                     fault);
                        ++runs;
                        WriteFile(first / scenario.target, half);
                        WriteFile(record, recordBytes);
                        RunTraced({"-o", "/dev/null", "-e", "trace=" + rcall, "-e",
                                   "inject=" + rcall + ":" + fault + ":when=" + std::to_string(r)},
                                  raw, logs.Path().string());
                        const TracedRun next =
                            RunTraced({"-o", "/dev/null", "-e", "trace=none"}, raw, logs.Path().string());
                        EXPECT_EQ(next.exitCode, 0) << next.err;
                        EXPECT_TRUE(ReadFile(first / scenario.target) == before) << next.err;
                        EXPECT_EQ(Listing(w), files) << "something was left beside the archive";
                    }
                }
            }
        }
    }
    // A link is a single write, which no kill cuts in two; append and truncate are cut part way.
    if (scenario.name != "link") {
        EXPECT_GT(halfEdited, 0);
        EXPECT_GT(runs, 0);
    }
    std::cout << "[ campaign ] recovery of " << scenario.name << ": " << runs << " cut-short runs\n";
}

INSTANTIATE_TEST_SUITE_P(Commands, CrashCampaign, testing::ValuesIn(Scenarios()),
                         [](const testing::TestParamInfo<Scenario> &info) {
                             std::string name = info.param.name;
                             for (char &c : name)
                                 if (c == '-')
                                     c = '_';
                             return name;
                         });
