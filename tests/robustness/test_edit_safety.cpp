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
#include <sys/stat.h>
#include <unistd.h>

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
        b.Add("ENTRY" + std::to_string(i) + ".BIN",
              PatternBytes(size_t(1000 + 300 * i), seed + unsigned(i)));
    return b.Build();
}

bool Killed(const TracedRun &run)
{
    return run.exitCode == -1 || run.exitCode == 128 + SIGKILL;
}

} // namespace

// The finding that led to recovery by restoring only: an append, then a truncation killed before
// it wrote anything to the archive, then the archive put back from a backup made before the
// append (by cp over it, which keeps the inode, or as a new file). The backup's size lies between
// the truncation's sizes, and an append changes neither header nor table; the record must not
// cut the backup, and readers must not refuse it.
TEST(StaleEditRecord, NeverCutsAnArchivePutBackFromABackup)
{
    if (!HaveStrace())
        GTEST_SKIP() << "strace is not installed";
    for (const bool overwrite : {true, false}) {
        for (const bool killedPartWay : {false, true}) {
            SCOPED_TRACE(std::string(overwrite ? "cp over it" : "rm, then cp") +
                         (killedPartWay ? ", truncation cut short part way"
                                        : ", truncation killed before it wrote"));
            Scene s;
            const std::string backup = Entries(5, 1);
            WriteFile(s.archive, backup);
            WriteFile(s.dir / "NEW.BIN", PatternBytes(2000, 9));
            ASSERT_EQ(s.Kvb({"append", s.archive, s.dir / "NEW.BIN"}).exitCode, 0);
            // Its first write is the record's; the second puts the description over the header,
            // the fdatasync after it comes before the cut.
            const TracedRun cut = killedPartWay
                                      ? s.KilledAt("ftruncate", 1, {"truncate", s.archive, "2", "--yes"})
                                      : s.KilledAt("pwrite64", 2, {"truncate", s.archive, "2", "--yes"});
            ASSERT_TRUE(Killed(cut)) << cut.err;
            ASSERT_TRUE(fs::exists(s.Record()));
            if (!overwrite)
                fs::remove(s.archive);
            WriteFile(s.archive, backup);

            const TracedRun list = s.Kvb({"list", s.archive});
            EXPECT_EQ(list.exitCode, 0) << list.err;
            EXPECT_NE(list.err.find("was ignored"), std::string::npos) << list.err;
            const TracedRun raw = s.Kvb({"raw", s.archive});
            EXPECT_EQ(raw.exitCode, 0) << raw.err;
            EXPECT_TRUE(ReadFile(s.archive) == backup) << "the restored archive was changed: " << raw.err;
            EXPECT_FALSE(fs::exists(s.Record()));
            EXPECT_NE(raw.err.find("none of the states"), std::string::npos) << raw.err;
            EXPECT_NE(raw.err.find(".not-applied-"), std::string::npos) << raw.err;
            EXPECT_EQ(std::distance(fs::directory_iterator(s.dir.Path()), {}), 3)
                << "the record was not kept aside";
        }
    }
}

// Whoever replaces an archive settles the record beside it first, so that none is left beside the
// new archive for a later editor to apply to it: creation onto the archive, a rebuild in place and
// a rebuild whose output is that archive. The record is of a truncation cut short before it wrote
// and of one cut short part way.
TEST(StaleEditRecord, IsSettledByWhoeverReplacesTheArchive)
{
    if (!HaveStrace())
        GTEST_SKIP() << "strace is not installed";
    TempDir inputs;
    fs::create_directory(inputs.Path() / "src");
    for (int i = 0; i < 5; ++i)
        WriteFile(inputs / ("src/ENTRY" + std::to_string(i) + ".BIN"),
                  PatternBytes(size_t(900 + 300 * i), 40 + unsigned(i)));
    WriteFile(inputs / "KVB.5", StandardValidation());
    WriteFile(inputs / "R.BIN", PatternBytes(700, 8));
    for (const std::string how : {"create", "replace", "replace --output"}) {
        for (const bool killedPartWay : {false, true}) {
            SCOPED_TRACE(how + (killedPartWay ? ", part way" : ", before it wrote"));
            Scene s;
            const std::string source = s.dir / "SOURCE.KVB";
            WriteFile(s.archive, Entries(5, 1));
            WriteFile(source, Entries(5, 1));
            const TracedRun cut = killedPartWay
                                      ? s.KilledAt("ftruncate", 1, {"truncate", s.archive, "2", "--yes"})
                                      : s.KilledAt("pwrite64", 2, {"truncate", s.archive, "2", "--yes"});
            ASSERT_TRUE(Killed(cut)) << cut.err;
            ASSERT_TRUE(fs::exists(s.Record()));

            const TracedRun run =
                how == "create"
                    ? s.Kvb({"create", inputs / "src", s.archive, "--templates", inputs.Path().string()})
                : how == "replace"
                    ? s.Kvb({"replace", s.archive, "5", inputs / "R.BIN"})
                    : s.Kvb({"replace", source, "5", inputs / "R.BIN", "--output", s.archive});
            ASSERT_EQ(run.exitCode, 0) << run.err;
            EXPECT_NE(run.err.find(killedPartWay ? "has been undone" : "before it changed anything"),
                      std::string::npos)
                << run.err;
            EXPECT_FALSE(fs::exists(s.Record()));
            const std::string rebuilt = ReadFile(s.archive);
            const TracedRun raw = s.Kvb({"raw", s.archive});
            EXPECT_EQ(raw.exitCode, 0) << raw.err;
            EXPECT_TRUE(ReadFile(s.archive) == rebuilt);
            EXPECT_EQ(raw.err, "");
        }
    }
}

// A file at the record's name that the archive's owner did not write (another user's, in a shared
// folder; a link; one that others may write) is reported and never applied, and no in-place edit
// writes through or over it.
TEST(PlantedEditRecord, IsReportedAndNeverApplied)
{
    if (!HaveStrace())
        GTEST_SKIP() << "strace is not installed";
    std::vector<std::string> plants = {"writable by others", "link"};
    if (::geteuid() == 0)
        plants.push_back("another user's");
    for (const std::string &plant : plants) {
        SCOPED_TRACE(plant);
        Scene s;
        const std::string before = Entries(5, 1);
        WriteFile(s.archive, before);
        // A record that would empty the archive, were it applied: that of a truncation at the
        // first entry, cut short part way.
        ASSERT_TRUE(Killed(s.KilledAt("ftruncate", 1, {"truncate", s.archive, "1", "--yes"})));
        const std::string halfCut = ReadFile(s.archive);
        if (plant == "link") {
            fs::rename(s.Record(), s.dir / "elsewhere");
            fs::create_symlink(s.dir / "elsewhere", s.Record());
        } else if (plant == "another user's") {
            ASSERT_EQ(::chown(s.Record().c_str(), 12345, 12345), 0);
        } else {
            fs::permissions(s.Record(), fs::perms::group_write | fs::perms::others_write,
                            fs::perm_options::add);
        }
        const std::string why = plant == "link"             ? "symbolic link"
                                : plant == "another user's" ? "belongs to another user"
                                                            : "users other than its owner may write it";

        for (const std::string command : {"list", "raw"}) {
            const TracedRun run = s.Kvb({command, s.archive});
            EXPECT_EQ(run.exitCode, 0) << run.err;
            EXPECT_NE(run.err.find("not written by the archive's owner"), std::string::npos) << run.err;
            EXPECT_NE(run.err.find(why), std::string::npos) << run.err;
        }
        WriteFile(s.dir / "y", "appended");
        const TracedRun append = s.Kvb({"append", s.archive, s.dir / "y"});
        EXPECT_EQ(append.exitCode, 1);
        EXPECT_NE(append.err.find("where the record of the edit goes"), std::string::npos) << append.err;
        EXPECT_TRUE(ReadFile(s.archive) == halfCut) << "a planted record was acted on";
        EXPECT_TRUE(fs::is_symlink(s.Record()) == (plant == "link"));
    }
}

namespace {

// Runs kvb as a user with no rights of its own (nobody), as another user of a shared folder would.
TracedRun AsAnotherUser(const Scene &s, const std::vector<std::string> &args)
{
    return RunWrapped("setpriv --reuid=65534 --regid=65534 --clear-groups --", args,
                      s.logs.Path().string());
}

} // namespace

// User A's append is cut short in a shared folder with umask 077, so that the record is A's
// alone to read: user B's reader must not take it for no record and read the half-written
// archive.
TEST(UnreadableEditRecord, IsReportedWithItsReasonAndTheArchiveIsNotRead)
{
    if (!HaveStrace() || ::geteuid() != 0 || std::system("setpriv --version >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "needs strace, setpriv and root (to run kvb as a second user)";
    Scene s;
    fs::permissions(s.dir.Path(), fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                      fs::perms::others_read | fs::perms::others_exec);
    WriteFile(s.archive, Entries(5, 1));
    fs::permissions(s.archive, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                                   fs::perms::others_read);
    WriteFile(s.dir / "NEW.BIN", PatternBytes(20000, 9));
    const std::string script = "umask 077; exec strace -f -qq -o /dev/null -e trace=pwrite64 -e "
                               "inject=pwrite64:signal=KILL:when=4 -- " +
                               Quote(KVB_BINARY) + " append " + Quote(s.archive) + " " +
                               Quote(s.dir / "NEW.BIN") + " 2>/dev/null";
    ASSERT_NE(std::system(script.c_str()), 0);
    ASSERT_TRUE(fs::exists(s.Record()));
    ASSERT_EQ(fs::status(s.Record()).permissions() & fs::perms::others_read, fs::perms::none);

    const TracedRun list = AsAnotherUser(s, {"list", s.archive});
    EXPECT_EQ(list.exitCode, 1) << list.err;
    EXPECT_NE(list.err.find("cannot be read (access is denied)"), std::string::npos) << list.err;
    EXPECT_NE(list.err.find("may be half written"), std::string::npos) << list.err;
    // The owner's editor puts it right.
    const TracedRun raw = s.Kvb({"raw", s.archive});
    EXPECT_EQ(raw.exitCode, 0) << raw.err;
    EXPECT_TRUE(ReadFile(s.archive) == Entries(5, 1));
    EXPECT_EQ(AsAnotherUser(s, {"list", s.archive}).exitCode, 0);
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
    for (const std::vector<std::string> &edit : {std::vector<std::string>{"append", b, s.dir / "y"},
                                                 {"link", a, "1", "2"},
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
        " >/dev/null 2>" + Quote(s.logs / "replace") + " & sleep 0.5; " + Quote(KVB_BINARY) + " append " +
        Quote(s.archive) + " " + Quote(s.dir / "y") + " >/dev/null 2>" + Quote(s.logs / "append") +
        "; echo $? >" + Quote(s.logs / "append-status") + "; wait";
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

// The removal of an edit's record is its commit point. When it fails (here: with an I/O error)
// the edit is not reported done: a link or an append is put back, and the next editor finds the
// archive as before; a truncation, whose cut is its last step, stays complete and is said to be.
TEST(ReportedEdit, IsOnlyReportedDoneOnceItsRecordIsGone)
{
    if (!HaveStrace())
        GTEST_SKIP() << "strace is not installed";
    for (const std::string edit : {"append", "link", "truncate"}) {
        SCOPED_TRACE(edit);
        Scene s;
        const std::string before = Entries(3, 1);
        WriteFile(s.archive, before);
        WriteFile(s.dir / "NEW.BIN", PatternBytes(3000, 5));
        const std::vector<std::string> args =
            edit == "append" ? std::vector<std::string>{"append", s.archive, s.dir / "NEW.BIN"}
            : edit == "link" ? std::vector<std::string>{"link", s.archive, "1", "3"}
                             : std::vector<std::string>{"truncate", s.archive, "2", "--yes"};
        const TracedRun run = RunTraced({"-o", "/dev/null", "-e", "trace=unlink,unlinkat", "-e",
                                         "inject=unlink,unlinkat:error=EIO"},
                                        args, s.logs.Path().string());
        EXPECT_EQ(run.exitCode, 1) << run.err;
        EXPECT_NE(run.err.find("Cannot remove " + s.Record() + ": input/output error"), std::string::npos)
            << run.err;
        ASSERT_TRUE(fs::exists(s.Record()));
        const std::string left = ReadFile(s.archive);
        EXPECT_TRUE((left == before) == (edit != "truncate"));

        const TracedRun raw = s.Kvb({"raw", s.archive});
        EXPECT_EQ(raw.exitCode, 0) << raw.err;
        EXPECT_NE(raw.err.find(edit == "truncate" ? "had been completed" : "before it changed anything"),
                  std::string::npos)
            << raw.err;
        EXPECT_TRUE(ReadFile(s.archive) == left);
        EXPECT_FALSE(fs::exists(s.Record()));
    }
}
