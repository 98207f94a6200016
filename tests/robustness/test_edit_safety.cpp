// What an interrupted in-place edit's record may and may not do once the archive has moved on,
// edits through a second name of the archive, a rebuild that another editor tries to cut into,
// and an edit whose record could not be removed: all through the real program.
#include "archive/edit_journal.h"
#include "robustness/traced_kvb.h"
#include "support/archive_builder.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <string>

using namespace kvb;
using namespace kvb::test;
namespace fs = std::filesystem;

namespace {

struct Scene {
    TempDir dir, logs;
    std::string archive = dir / "G.KVB";
    std::string Record() const { return EditRecordPathFor(archive); }

    TracedRun Kvb(const std::vector<std::string> &args) const
    {
        return RunTraced({"-o", "/dev/null", "-e", "trace=none"}, args, logs.Path().string());
    }
    // Runs args and kills it just before its n-th call of syscall.
    TracedRun KilledAt(const std::string &syscall, int n, const std::vector<std::string> &args) const
    {
        return RunTraced({"-o", "/dev/null", "-e", "trace=" + syscall, "-e",
                          "inject=" + syscall + ":signal=KILL:when=" + std::to_string(n)},
                         args, logs.Path().string());
    }
};

std::string Entries(int count, unsigned seed)
{
    ArchiveBuilder b;
    for (int i = 0; i < count; ++i)
        b.Add("ENTRY" + std::to_string(i) + ".BIN", PatternBytes(size_t(1000 + 300 * i), seed + unsigned(i)));
    return b.Build();
}

bool Killed(const TracedRun &run)
{
    return run.exitCode == -1 || run.exitCode == 128 + SIGKILL;
}

} // namespace

// A truncation is cut short right after its first change to the archive; the user puts the
// archive back from a backup, by copying over it (which keeps the inode) or as a new file. The
// record must not finish the old truncation on the restored archive.
TEST(StaleEditRecord, IsNotAppliedToAnArchivePutBackFromABackup)
{
    if (!HaveStrace())
        GTEST_SKIP() << "strace is not installed";
    for (const bool overwrite : {true, false}) {
        for (const bool sameAsBefore : {true, false}) {
            SCOPED_TRACE(std::string(overwrite ? "cp over it" : "rm, then cp") +
                         (sameAsBefore ? ", the backup of just before" : ", an older backup"));
            Scene s;
            const std::string before = Entries(5, 1);
            const std::string older = Entries(4, 1);
            WriteFile(s.archive, before);
            // Killed at its second write: the record is written, the archive already cut.
            ASSERT_TRUE(Killed(s.KilledAt("pwrite64", 2, {"truncate", s.archive, "2", "--yes"})));
            ASSERT_TRUE(fs::exists(s.Record()));
            ASSERT_NE(ReadFile(s.archive), before);

            const std::string backup = sameAsBefore ? before : older;
            if (!overwrite)
                fs::remove(s.archive);
            WriteFile(s.archive, backup);

            const TracedRun list = s.Kvb({"list", s.archive});
            EXPECT_EQ(list.exitCode, 0) << list.err;
            const TracedRun raw = s.Kvb({"raw", s.archive});
            EXPECT_EQ(raw.exitCode, 0) << raw.err;
            EXPECT_TRUE(ReadFile(s.archive) == backup) << "the restored archive was changed: " << raw.err;
            EXPECT_FALSE(fs::exists(s.Record()));
            if (sameAsBefore) {
                EXPECT_NE(raw.err.find("before it changed anything"), std::string::npos) << raw.err;
            } else {
                EXPECT_NE(raw.err.find("none of the states"), std::string::npos) << raw.err;
                EXPECT_NE(raw.err.find(".not-applied-"), std::string::npos) << raw.err;
                EXPECT_EQ(std::distance(fs::directory_iterator(s.dir.Path()), {}), 2)
                    << "the record was not kept aside";
            }
        }
    }
}

// The same for an append: its record must not set the size of a smaller archive put back.
TEST(StaleEditRecord, OfAnAppendDoesNotGrowASmallerArchive)
{
    if (!HaveStrace())
        GTEST_SKIP() << "strace is not installed";
    Scene s;
    WriteFile(s.archive, Entries(5, 1));
    WriteFile(s.dir / "NEW.BIN", PatternBytes(20000, 9));
    // Killed at its second write, the first to the archive, with the record written.
    ASSERT_TRUE(Killed(s.KilledAt("pwrite64", 2, {"append", s.archive, s.dir / "NEW.BIN"})));
    ASSERT_TRUE(fs::exists(s.Record()));
    const std::string smaller = Entries(2, 7);
    WriteFile(s.archive, smaller);
    const TracedRun raw = s.Kvb({"append", s.archive, s.dir / "NEW.BIN"});
    EXPECT_EQ(raw.exitCode, 0) << raw.err;
    EXPECT_NE(raw.err.find("none of the states"), std::string::npos) << raw.err;
    // The new append went after the restored archive's own entries.
    EXPECT_EQ(ReadFile(s.archive).size(), smaller.size() + 24 + 20000);
}

// With two names for one archive, an edit through either would leave its record where the
// other name cannot find it.
TEST(HardLinkedArchive, IsNotEditedInPlaceThroughAnyName)
{
    Scene s;
    fs::create_directory(s.dir.Path() / "A");
    fs::create_directory(s.dir.Path() / "B");
    const std::string a = s.dir / "A/G.KVB", b = s.dir / "B/G.KVB";
    const std::string bytes = Entries(3, 1);
    WriteFile(a, bytes);
    fs::create_hard_link(a, b);
    WriteFile(s.dir / "y", "appended");
    for (const std::vector<std::string> &edit :
         {std::vector<std::string>{"append", b, s.dir / "y"}, {"link", a, "1", "2"},
          {"truncate", b, "2", "--yes"}}) {
        const TracedRun run = s.Kvb(edit);
        EXPECT_EQ(run.exitCode, 1) << edit[0];
        EXPECT_NE(run.err.find("has 2 names"), std::string::npos) << run.err;
        EXPECT_NE(run.err.find("Edit a copy"), std::string::npos) << run.err;
    }
    EXPECT_TRUE(ReadFile(a) == bytes);
    // Reading is not affected.
    EXPECT_EQ(s.Kvb({"list", b}).exitCode, 0);
}

// A rebuild keeps editors out from its first read to its last write: an append that tries to
// land while it runs is refused, and nothing is lost.
TEST(RebuildLock, IsHeldFromTheFirstReadSoNoConcurrentEditIsLost)
{
    if (!HaveStrace())
        GTEST_SKIP() << "strace is not installed";
    Scene s;
    WriteFile(s.archive, Entries(3, 1));
    WriteFile(s.dir / "R.BIN", PatternBytes(5000, 4));
    WriteFile(s.dir / "y", "appended");
    // The rebuild stops for a second at its first write, with the layout read; meanwhile an
    // append tries to get in.
    const std::string script =
        "strace -f -qq -o /dev/null -e trace=pwrite64 -e inject=pwrite64:delay_enter=1500000:when=1 -- " +
        Quote(KVB_BINARY) + " replace " + Quote(s.archive) + " 2 " + Quote(s.dir / "R.BIN") +
        " >/dev/null 2>" + Quote(s.logs / "replace") + " & sleep 0.5; " + Quote(KVB_BINARY) +
        " append " + Quote(s.archive) + " " + Quote(s.dir / "y") + " >/dev/null 2>" +
        Quote(s.logs / "append") + "; echo $? >" + Quote(s.logs / "append-status") + "; wait";
    ASSERT_EQ(std::system(script.c_str()), 0);
    const std::string appendErr = ReadFile(s.logs / "append");
    EXPECT_EQ(ReadFile(s.logs / "append-status"), "1\n") << appendErr;
    EXPECT_EQ(appendErr, "kvb: Cannot open file " + s.archive + ": another program is editing it\n");

    // The archive is the rebuild's, and an append now goes through.
    const TracedRun list = s.Kvb({"list", "--lengths", s.archive});
    EXPECT_NE(list.err.find("error"), 0u);
    EXPECT_EQ(ReadFile(s.archive).size(), Entries(3, 1).size() - 1300 + 5000);
    EXPECT_EQ(s.Kvb({"append", s.archive, s.dir / "y"}).exitCode, 0);
}

// An edit that is in the archive, flushed, stays there even when its record cannot be removed
// (here: removing it fails with an I/O error): the command reports success, and the next editor
// finds the archive as the edit left it and keeps it so.
TEST(ReportedEdit, StaysDoneWhenItsRecordCannotBeRemoved)
{
    if (!HaveStrace())
        GTEST_SKIP() << "strace is not installed";
    for (const std::string edit : {"append", "link"}) {
        SCOPED_TRACE(edit);
        Scene s;
        WriteFile(s.archive, Entries(3, 1));
        WriteFile(s.dir / "NEW.BIN", PatternBytes(3000, 5));
        const std::vector<std::string> args =
            edit == "append" ? std::vector<std::string>{"append", s.archive, s.dir / "NEW.BIN"}
                             : std::vector<std::string>{"link", s.archive, "1", "3"};
        const TracedRun run = RunTraced({"-o", "/dev/null", "-e", "trace=unlink,unlinkat", "-e",
                                         "inject=unlink,unlinkat:error=EIO"},
                                        args, s.logs.Path().string());
        ASSERT_EQ(run.exitCode, 0) << run.err;
        ASSERT_TRUE(fs::exists(s.Record()));
        const std::string done = ReadFile(s.archive);

        const TracedRun raw = s.Kvb({"raw", s.archive});
        EXPECT_EQ(raw.exitCode, 0) << raw.err;
        EXPECT_NE(raw.err.find("had been completed"), std::string::npos) << raw.err;
        EXPECT_TRUE(ReadFile(s.archive) == done) << "a reported edit was undone";
        EXPECT_FALSE(fs::exists(s.Record()));
    }
}
