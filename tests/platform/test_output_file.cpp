#include "platform/errors.h"
#include "platform/output_file.h"
#include "platform/paths.h"
#include "platform/stream.h"
#include "support/archive_builder.h"

#include <gtest/gtest.h>

#include <set>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#include <vector>

using namespace kvb;
using namespace kvb::test;
namespace fs = std::filesystem;

namespace {

constexpr TOutputKind kAllKinds[] = {TOutputKind::PartialWhereNew, TOutputKind::Whole,
                                     TOutputKind::Archive};
constexpr TOutputKind kWholeKinds[] = {TOutputKind::Whole, TOutputKind::Archive};

const char *KindName(TOutputKind kind)
{
    switch (kind) {
    case TOutputKind::PartialWhereNew: return "PartialWhereNew";
    case TOutputKind::Whole: return "Whole";
    case TOutputKind::Archive: return "Archive";
    case TOutputKind::Durable: return "Durable";
    }
    return "?";
}

using Names = std::set<std::string>;

void Write(TOutputFile &out, const std::string &bytes)
{
    out.Stream().WriteBuffer(bytes.data(), int64_t(bytes.size()));
}

mode_t ModeOf(const std::string &path)
{
    struct stat st {};
    EXPECT_EQ(::lstat(path.c_str(), &st), 0);
    return st.st_mode;
}

// Raised from the write hook; not a library error, so nothing on the way treats it as one.
struct HookFault {};
int gHookCalls = 0;
int gHookFailAt = -1;
void FailingHook(const char *)
{
    if (gHookCalls++ == gHookFailAt)
        throw HookFault{};
}

struct HookGuard {
    explicit HookGuard(int failAt)
    {
        gHookCalls = 0;
        gHookFailAt = failAt;
        FileWriteHook = FailingHook;
    }
    ~HookGuard() { FileWriteHook = nullptr; }
};

// Outputs are made by their path, and by their name in a folder opened first (as extracting a
// whole archive does); each rule must hold both ways.
enum class Made { ByPath, InOpenedFolder };

struct Output {
    std::unique_ptr<TOpenFolder> folder;
    std::unique_ptr<TOutputFile> file;
};

class OutputFile : public ::testing::TestWithParam<Made> {
protected:
    Output Make(const std::string &target, TOutputKind kind,
                const std::vector<const TFileStream *> &sources = {}) const
    {
        Output out;
        if (GetParam() == Made::ByPath) {
            out.file = std::make_unique<TOutputFile>(target, kind, sources);
        } else {
            out.folder = std::make_unique<TOpenFolder>(ParentFolderOf(target));
            out.file = std::make_unique<TOutputFile>(*out.folder, FileNameOf(target), kind, sources);
        }
        return out;
    }
};

INSTANTIATE_TEST_SUITE_P(Both, OutputFile, ::testing::Values(Made::ByPath, Made::InOpenedFolder),
                         [](const auto &info) {
                             return info.param == Made::ByPath ? "ByPath" : "InOpenedFolder";
                         });

} // namespace

TEST_P(OutputFile, ANewTargetAppearsWithItsContentOnCommit)
{
    for (TOutputKind kind : kAllKinds) {
        SCOPED_TRACE(KindName(kind));
        TempDir dir;
        const std::string target = dir / "out.bin";
        Output made = Make(target, kind);
        TOutputFile &out = *made.file;
        Write(out, "new content");
        if (kind != TOutputKind::PartialWhereNew) {
            EXPECT_EQ(Listing(dir.Path()), Names{}) << "visible before Commit";
        }
        out.Commit();
        EXPECT_EQ(Listing(dir.Path()), Names{"out.bin"});
        EXPECT_EQ(ReadFile(target), "new content");
        EXPECT_TRUE(S_ISREG(ModeOf(target)));
    }
}

TEST_P(OutputFile, WithoutCommitOnlyAPartialNewFileStays)
{
    struct Row {
        TOutputKind kind;
        Names left;
    };
    for (const Row &row : {Row{TOutputKind::PartialWhereNew, {"out.bin"}}, Row{TOutputKind::Whole, {}},
                           Row{TOutputKind::Archive, {}}}) {
        SCOPED_TRACE(KindName(row.kind));
        TempDir dir;
        const std::string target = dir / "out.bin";
        {
            Output made = Make(target, row.kind);
            TOutputFile &out = *made.file;
            Write(out, "partial");
        }
        EXPECT_EQ(Listing(dir.Path()), row.left);
        if (!row.left.empty()) {
            EXPECT_EQ(ReadFile(target), "partial");
        }
    }
}

TEST_P(OutputFile, AnExistingFileIsReplacedOnlyOnCommitAndKeepsItsPermissions)
{
    for (TOutputKind kind : kAllKinds) {
        SCOPED_TRACE(KindName(kind));
        TempDir dir;
        const std::string target = dir / "out.bin";
        WriteFile(target, "old content");
        // Unlike what a new file gets under the usual umask.
        ASSERT_EQ(::chmod(target.c_str(), 0751), 0);
        Output made = Make(target, kind);
        TOutputFile &out = *made.file;
        Write(out, "new");
        EXPECT_EQ(ReadFile(target), "old content");
        out.Commit();
        EXPECT_EQ(ReadFile(target), "new");
        EXPECT_EQ(ModeOf(target) & 07777, 0751u);
        EXPECT_EQ(Listing(dir.Path()), Names{"out.bin"});
    }
}

TEST_P(OutputFile, AFailureBeforeCommitKeepsTheOldFileAndLeavesNothingElse)
{
    for (TOutputKind kind : kAllKinds) {
        SCOPED_TRACE(KindName(kind));
        TempDir dir;
        const std::string target = dir / "out.bin";
        WriteFile(target, "old content");
        {
            Output made = Make(target, kind);
            TOutputFile &out = *made.file;
            Write(out, "new content that never gets committed");
        }
        EXPECT_EQ(ReadFile(target), "old content");
        EXPECT_EQ(Listing(dir.Path()), Names{"out.bin"});
    }
}

TEST_P(OutputFile, LinksAtTheTargetAreReplacedAndWhatTheyLedToKeepsItsContent)
{
    enum class Link { Symbolic, Dangling, Hard };
    for (Link link : {Link::Symbolic, Link::Dangling, Link::Hard}) {
        for (TOutputKind kind : kAllKinds) {
            SCOPED_TRACE(std::string(KindName(kind)) + " link " + std::to_string(int(link)));
            TempDir dir;
            const std::string target = dir / "out.bin";
            const std::string other = dir / "other.bin";
            if (link == Link::Dangling) {
                fs::create_symlink(dir / "nowhere.bin", target);
            } else {
                WriteFile(other, "the other file");
                if (link == Link::Symbolic)
                    fs::create_symlink(other, target);
                else
                    fs::create_hard_link(other, target);
            }
            Output made = Make(target, kind);
            TOutputFile &out = *made.file;
            Write(out, "new");
            out.Commit();
            EXPECT_TRUE(S_ISREG(ModeOf(target)));
            EXPECT_EQ(ReadFile(target), "new");
            if (link == Link::Dangling) {
                EXPECT_EQ(Listing(dir.Path()), Names{"out.bin"});
            } else {
                EXPECT_EQ(ReadFile(other), "the other file");
                EXPECT_EQ(Listing(dir.Path()), (Names{"other.bin", "out.bin"}));
            }
        }
    }
}

TEST_P(OutputFile, AFolderPipeOrDeviceAtTheTargetIsRefusedWithTheReason)
{
    struct Row {
        const char *name;
        const char *reason;
    };
    for (const Row &row : {Row{"folder", "it is a folder"}, Row{"pipe", "it is a pipe (FIFO)"},
                           Row{"device", "it is a device"}}) {
        TempDir dir;
        const std::string target = dir / row.name;
        const std::string what = row.name;
        if (what == "folder") {
            fs::create_directory(target);
        } else if (what == "pipe") {
            // Opening a pipe with no reader or writer would wait for ever; it must not be opened.
            ASSERT_EQ(::mkfifo(target.c_str(), 0600), 0);
        } else if (::mknod(target.c_str(), S_IFCHR | 0600, makedev(1, 3)) != 0) {
            continue; // creating devices takes a privilege this run may lack
        }
        const mode_t type = ModeOf(target) & S_IFMT;
        for (TOutputKind kind : kAllKinds) {
            SCOPED_TRACE(std::string(KindName(kind)) + " " + row.name);
            try {
                Make(target, kind);
                FAIL() << "accepted";
            } catch (const EFCreateError &e) {
                EXPECT_EQ(std::string(e.what()), "Cannot create file " + target + ": " + row.reason);
            }
            EXPECT_EQ(ModeOf(target) & S_IFMT, type);
            EXPECT_EQ(Listing(dir.Path()), Names{row.name});
        }
    }
}

TEST_P(OutputFile, TheTargetMayNotBeAFileTheOperationReads)
{
    enum class Way { SameName, HardLink, SymlinkAtTarget, SourceOpenedThroughSymlink };
    for (Way way :
         {Way::SameName, Way::HardLink, Way::SymlinkAtTarget, Way::SourceOpenedThroughSymlink}) {
        for (TOutputKind kind : kAllKinds) {
            SCOPED_TRACE(std::string(KindName(kind)) + " way " + std::to_string(int(way)));
            TempDir dir;
            const std::string file = dir / "input.bin";
            WriteFile(file, "input bytes");
            std::string sourceName = file;
            std::string target = file;
            if (way == Way::HardLink) {
                target = dir / "out.bin";
                fs::create_hard_link(file, target);
            } else if (way == Way::SymlinkAtTarget) {
                target = dir / "out.bin";
                fs::create_symlink(file, target);
            } else if (way == Way::SourceOpenedThroughSymlink) {
                sourceName = dir / "link.bin";
                fs::create_symlink(file, sourceName);
            }
            const Names before = Listing(dir.Path());
            TFileStream source(sourceName, TFileStream::Mode::OpenRead);
            try {
                Make(target, kind, {&source});
                FAIL() << "accepted";
            } catch (const EFCreateError &e) {
                EXPECT_EQ(std::string(e.what()), "Cannot create file " + target + ": it is " +
                                                     sourceName + ", which this operation reads");
            }
            EXPECT_EQ(ReadFile(file), "input bytes");
            EXPECT_EQ(Listing(dir.Path()), before);
        }
    }
}

TEST_P(OutputFile, AnArchiveHeldByAnEditorIsRefusedUntilTheEditorCloses)
{
    TempDir dir;
    const std::string target = dir / "a.kvb";
    WriteFile(target, "old archive");
    {
        TFileStream editor(target, TFileStream::Mode::OpenReadWrite);
        try {
            Make(target, TOutputKind::Archive);
            FAIL() << "accepted";
        } catch (const EFOpenError &e) {
            EXPECT_EQ(std::string(e.what()),
                      "Cannot open file " + target + ": another program is editing it");
        }
        EXPECT_EQ(ReadFile(target), "old archive");
        EXPECT_EQ(Listing(dir.Path()), Names{"a.kvb"});
    }
    Output made = Make(target, TOutputKind::Archive);
    TOutputFile &out = *made.file;
    // Until the new archive stands in its place, no editor may start on the old one.
    EXPECT_THROW(TFileStream(target, TFileStream::Mode::OpenReadWrite), EFOpenError);
    Write(out, "new archive");
    out.Commit();
    EXPECT_EQ(ReadFile(target), "new archive");
    TFileStream editor(target, TFileStream::Mode::OpenReadWrite);
}

TEST_P(OutputFile, AReadOnlyTargetIsRefused)
{
    // Write permission means nothing to root, so the refusal cannot be seen there.
    if (::geteuid() == 0)
        GTEST_SKIP() << "running as root";
    for (TOutputKind kind : kAllKinds) {
        SCOPED_TRACE(KindName(kind));
        TempDir dir;
        const std::string target = dir / "out.bin";
        WriteFile(target, "old content");
        ASSERT_EQ(::chmod(target.c_str(), 0444), 0);
        try {
            Make(target, kind);
            FAIL() << "accepted";
        } catch (const EFCreateError &e) {
            EXPECT_EQ(std::string(e.what()), "Cannot create file " + target + ": it is read-only");
        }
        EXPECT_EQ(ReadFile(target), "old content");
        EXPECT_EQ(Listing(dir.Path()), Names{"out.bin"});
    }
}

TEST_P(OutputFile, AFolderThatCannotBeWrittenIsGivenAsTheReason)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "running as root";
    // A new file, and a writable file whose replacement needs room in the folder beside it.
    for (const bool existing : {false, true}) {
        for (TOutputKind kind : kAllKinds) {
            SCOPED_TRACE(std::string(KindName(kind)) + (existing ? " over a file" : " new"));
            TempDir dir;
            const std::string folder = dir / "locked";
            fs::create_directory(folder);
            const std::string target = folder + "/README.TXT";
            if (existing)
                WriteFile(target, "old content");
            ASSERT_EQ(::chmod(folder.c_str(), 0555), 0);
            try {
                Make(target, kind);
                ADD_FAILURE() << "accepted";
            } catch (const EFCreateError &e) {
                EXPECT_EQ(std::string(e.what()), "Cannot create file " + target +
                                                     ": its folder cannot be written (access is denied)");
            }
            EXPECT_EQ(Listing(folder), existing ? Names{"README.TXT"} : Names{});
            ::chmod(folder.c_str(), 0755);
        }
    }
}

TEST(OutputFolder, AMissingFolderIsRefusedWhetherNamedInThePathOrOpenedFirst)
{
    for (TOutputKind kind : kAllKinds) {
        SCOPED_TRACE(KindName(kind));
        TempDir dir;
        const std::string target = dir / "missing/out.bin";
        try {
            TOutputFile out(target, kind);
            FAIL() << "accepted";
        } catch (const EFCreateError &e) {
            EXPECT_EQ(std::string(e.what()),
                      "Cannot create file " + target + ": its folder does not exist");
        }
        EXPECT_EQ(Listing(dir.Path()), Names{});
    }
    TempDir dir;
    try {
        TOpenFolder folder(dir / "missing");
        FAIL() << "accepted";
    } catch (const EKVBError &e) {
        EXPECT_EQ(std::string(e.what()), "Cannot open folder " + dir / "missing");
    }
    WriteFile(dir / "file", "not a folder");
    EXPECT_THROW(TOpenFolder(dir / "file"), EKVBError);

    // A folder takes only plain names, whoever forgot to check them.
    std::filesystem::create_directory(dir.Path() / "in");
    const TOpenFolder in(dir / "in");
    for (const std::string name : {"", ".", "..", "../up", "a/b", "a\\b"}) {
        try {
            TOutputFile out(in, name, TOutputKind::PartialWhereNew);
            ADD_FAILURE() << "accepted " << name;
        } catch (const EFCreateError &e) {
            EXPECT_NE(std::string(e.what()).find("it is not the name of a file in"), std::string::npos)
                << e.what();
        }
    }
    EXPECT_EQ(Listing(dir.Path()), (Names{"file", "in"}));
    EXPECT_EQ(Listing(dir.Path() / "in"), Names{});
}

TEST_P(OutputFile, ALibraryWritingByNameWritesIntoTheOutput)
{
    struct Row {
        TOutputKind kind;
        bool existing;
    };
    for (const Row &row :
         {Row{TOutputKind::Whole, false}, Row{TOutputKind::Archive, false}, Row{TOutputKind::Whole, true},
          Row{TOutputKind::Archive, true}, Row{TOutputKind::PartialWhereNew, true}}) {
        SCOPED_TRACE(std::string(KindName(row.kind)) + (row.existing ? " existing" : " new"));
        TempDir dir;
        const std::string target = dir / "out.wav";
        if (row.existing)
            WriteFile(target, "old content");
        Output made = Make(target, row.kind);
        TOutputFile &out = *made.file;
        const std::string name = out.NameForLibraries();
        ASSERT_FALSE(name.empty());
        std::FILE *file = std::fopen(name.c_str(), "wb");
        ASSERT_NE(file, nullptr) << name;
        const std::string bytes = "written by the library";
        EXPECT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), file), bytes.size());
        EXPECT_EQ(std::fclose(file), 0);
        if (row.existing)
            EXPECT_EQ(ReadFile(target), "old content");
        else
            EXPECT_FALSE(fs::exists(fs::symlink_status(target)));
        out.Commit();
        EXPECT_EQ(ReadFile(target), bytes);
        EXPECT_EQ(Listing(dir.Path()), Names{"out.wav"});
    }
}

TEST_P(OutputFile, AFaultAtAnyWriteOrFlushKeepsTheOldTarget)
{
    for (TOutputKind kind : kAllKinds) {
        for (int failAt = 0;; ++failAt) {
            SCOPED_TRACE(std::string(KindName(kind)) + " fault at call " + std::to_string(failAt));
            TempDir dir;
            const std::string target = dir / "out.bin";
            WriteFile(target, "old content");
            bool faulted = false;
            {
                HookGuard hook(failAt);
                try {
                    Output made = Make(target, kind);
                    TOutputFile &out = *made.file;
                    Write(out, "first part,");
                    Write(out, "second part");
                    out.Commit();
                } catch (const HookFault &) {
                    faulted = true;
                }
            }
            if (!faulted) {
                EXPECT_EQ(ReadFile(target), "first part,second part");
                EXPECT_GE(failAt, 2) << "the writes never reached the hook";
                break;
            }
            EXPECT_EQ(ReadFile(target), "old content");
            EXPECT_EQ(Listing(dir.Path()), Names{"out.bin"});
        }
    }
}
