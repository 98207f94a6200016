// The record an interrupted in-place edit leaves, as the next opening finds it: beside the
// archive put back from a backup, after the edit was completed, damaged, over bytes the edit did
// not write, and beside the archive itself when the edit went through a link.
#include "archive/edit_recovery_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <iterator>
#include <optional>
#include <string>

using namespace kvb;
using namespace kvb::test;
namespace fs = std::filesystem;

// The archive is put back from a backup while an interrupted edit's record lies beside it: in
// place (cp keeps the inode) or as a new file (which may well get the old inode). The record
// acts only on the states it was written for.
TEST_P(EditRecovery, ARecordActsOnlyOnTheArchiveItWasWrittenFor)
{
    const EditCase &edit = GetParam();
    const std::string &before = edit.archive;
    const std::string older = ArchiveBuilder()
                                  .Add("OTHER.BIN", PatternBytes(300, 5))
                                  .Add("MORE.BIN", PatternBytes(20, 6))
                                  .Description("ANOTHER ARCHIVE")
                                  .Build();
    for (const bool sameInode : {true, false}) {
        for (const std::string *backup : {&before, &older}) {
            SCOPED_TRACE(std::string(sameInode ? "copied over" : "removed and written again") +
                         (backup == &before ? ", the archive as before the edit" : ", another archive"));
            Scene s(before);
            LeaveRecord(s.path, edit);
            if (!sameInode)
                fs::remove(s.path);
            WriteFile(s.path, *backup);

            EXPECT_FALSE(Refuses(s.path));
            std::optional<std::string> note;
            {
                TRawKVBFile g(s.path);
                ASSERT_TRUE(g.RecoveryNote());
                note = g.RecoveryNote();
            }
            EXPECT_EQ(s.Bytes(), *backup) << "the restored archive was changed";
            EXPECT_FALSE(s.RecordLeft());
            if (backup == &before) {
                EXPECT_NE(note->find("before it changed anything"), std::string::npos) << *note;
                EXPECT_TRUE(s.SetAside().empty());
            } else {
                EXPECT_NE(note->find("none of the states"), std::string::npos) << *note;
                ASSERT_EQ(s.SetAside().size(), 1u);
                EXPECT_NE(note->find(fs::path(s.SetAside().front()).filename().string()),
                          std::string::npos)
                    << *note;
            }
        }
    }
}

// An edit that completed but whose record could not be removed stays done.
TEST_P(EditRecovery, ACompletedEditWhoseRecordStayedIsKept)
{
    const EditCase &edit = GetParam();
    Scene s(edit.archive);
    const EditResult after = EditedWithoutFault(edit);
    std::string record;
    {
        Scene half(edit.archive);
        LeaveRecord(half.path, edit);
        record = ReadFile(half.Journal());
    }
    {
        TRawKVBFile f(s.path);
        edit.run(f);
    }
    WriteFile(s.Journal(), record);
    EXPECT_FALSE(Refuses(s.path));
    {
        TRawKVBFile g(s.path);
        ASSERT_TRUE(g.RecoveryNote());
        EXPECT_NE(g.RecoveryNote()->find("had been completed"), std::string::npos);
        EXPECT_EQ(g.DataCount(), after.dataCount);
    }
    EXPECT_EQ(s.Bytes(), after.bytes);
    EXPECT_FALSE(s.RecordLeft());
}

TEST_P(EditRecovery, ADamagedRecordIsSetAsideWithoutTouchingTheArchive)
{
    const EditCase &edit = GetParam();
    Scene s(edit.archive);
    const std::string left = LeaveRecord(s.path, edit);
    ASSERT_TRUE(s.RecordLeft());
    const std::string record = ReadFile(s.Journal());

    auto expectSetAside = [&](const std::string &damaged, const std::string &what) {
        SCOPED_TRACE(what);
        for (const std::string &aside : s.SetAside())
            fs::remove(aside);
        WriteFile(s.path, left);
        WriteFile(s.Journal(), damaged);
        EXPECT_FALSE(Refuses(s.path));
        {
            TRawKVBFile g(s.path);
            ASSERT_TRUE(g.RecoveryNote());
            EXPECT_NE(g.RecoveryNote()->find("not a readable edit record"), std::string::npos);
        }
        EXPECT_EQ(s.Bytes(), left);
        EXPECT_FALSE(s.RecordLeft());
        ASSERT_EQ(s.SetAside().size(), 1u);
        EXPECT_EQ(ReadFile(s.SetAside().front()), damaged);
    };
    for (size_t i = 0; i < record.size(); i += 7) {
        std::string damaged = record;
        damaged[i] = char(~damaged[i]);
        expectSetAside(damaged, "byte " + std::to_string(i) + " flipped");
    }
    for (size_t size = 1; size < record.size(); size += 5)
        expectSetAside(record.substr(0, size), "cut to " + std::to_string(size) + " bytes");

    // The same record undamaged is acted on: the cases above were set aside, not merely harmless.
    for (const std::string &aside : s.SetAside())
        fs::remove(aside);
    WriteFile(s.path, left);
    WriteFile(s.Journal(), record);
    {
        TRawKVBFile g(s.path);
        ASSERT_TRUE(g.RecoveryNote());
        EXPECT_EQ(g.RecoveryNote()->find("not a readable edit record"), std::string::npos);
    }
    EXPECT_TRUE(s.SetAside().empty());
}

// Recovery cuts off only bytes the record shows the edit wrote: one byte past the old end that
// differs, and the archive is another file, left as it is. Zeros where the edit had not written
// yet (what a power cut leaves of data not on disk) are the edit's own.
TEST(EditRecoveryOfAnAppend, CutsOffOnlyBytesTheEditWroteOrZeros)
{
    const EditCase append = EditCases()[2]; // a MiB, in many blocks
    const std::string before = append.archive;
    Scene s(before);
    // Killed after the data, before the description: every added block but the last is there.
    std::string left;
    for (int n = 0;; ++n) {
        WriteFile(s.path, before);
        fs::remove(s.Journal());
        {
            TRawKVBFile f(s.path);
            HookGuard hook(Fault::Kill, n);
            try {
                append.run(f);
            } catch (const Killed &) {
            }
        }
        left = s.Bytes();
        if (left.size() >= before.size() + BigData().size())
            break;
    }
    ASSERT_TRUE(s.RecordLeft());
    const std::string record = ReadFile(s.Journal());

    // Two whole blocks (they end at multiples of 4 KiB in the file).
    std::string zeroed = left;
    const size_t block = (before.size() / 4096 + 2) * 4096;
    std::fill(zeroed.begin() + std::ptrdiff_t(block), zeroed.begin() + std::ptrdiff_t(block + 8192),
              '\0');
    WriteFile(s.path, zeroed);
    {
        TRawKVBFile g(s.path);
        ASSERT_TRUE(g.RecoveryNote());
        EXPECT_NE(g.RecoveryNote()->find("undone"), std::string::npos) << *g.RecoveryNote();
    }
    EXPECT_EQ(s.Bytes(), before);

    for (const size_t at : {before.size() + 10, left.size() - 1}) {
        SCOPED_TRACE(at);
        std::string foreign = left;
        foreign[at] = char(foreign[at] ^ 1);
        WriteFile(s.path, foreign);
        WriteFile(s.Journal(), record);
        EXPECT_FALSE(Refuses(s.path));
        {
            TRawKVBFile g(s.path);
            ASSERT_TRUE(g.RecoveryNote());
            EXPECT_NE(g.RecoveryNote()->find("none of the states"), std::string::npos);
        }
        EXPECT_EQ(s.Bytes(), foreign) << "bytes the edit did not write were cut";
        for (const std::string &aside : s.SetAside())
            fs::remove(aside);
    }
}

TEST(EditRecoveryPaths, TheRecordOfAnEditThroughALinkLiesBesideTheArchiveItself)
{
    TempDir dir;
    fs::create_directory(dir.Path() / "real");
    fs::create_directory(dir.Path() / "links");
    const std::string real = dir / "real/a.kvb";
    const std::string link = dir / "links/a.kvb";
    WriteFile(real, TwoEntryArchive());
    fs::create_symlink(real, link);
    const EditCase append = EditCases()[1];
    LeaveRecord(link, append);

    EXPECT_TRUE(fs::exists(EditRecordPathFor(real)));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path() / "links"), {}), 1);
    EXPECT_TRUE(Refuses(real));
    {
        TRawKVBFile g(real);
        ASSERT_TRUE(g.RecoveryNote());
        EXPECT_NE(g.RecoveryNote()->find("undone"), std::string::npos);
    }
    EXPECT_EQ(ReadFile(real), TwoEntryArchive());
    EXPECT_FALSE(fs::exists(EditRecordPathFor(real)));
}

TEST(EditRecoveryPaths, AnArchiveWithMoreThanOneNameIsNotEditedInPlace)
{
    TempDir dir;
    fs::create_directory(dir.Path() / "A");
    fs::create_directory(dir.Path() / "B");
    const std::string a = dir / "A/G.KVB";
    const std::string b = dir / "B/G.KVB";
    WriteFile(a, TwoEntryArchive());
    fs::create_hard_link(a, b);
    for (const EditCase &edit : EditCases()) {
        if (edit.archive != TwoEntryArchive())
            continue;
        SCOPED_TRACE(edit.name);
        TRawKVBFile f(b);
        try {
            edit.run(f);
            ADD_FAILURE() << "an archive with two names was edited in place";
        } catch (const EKVBError &e) {
            const std::string message = e.what();
            EXPECT_NE(message.find(b), std::string::npos) << message;
            EXPECT_NE(message.find("2 names"), std::string::npos) << message;
            EXPECT_NE(message.find("copy"), std::string::npos) << message;
        }
        EXPECT_EQ(ReadFile(a), TwoEntryArchive());
        EXPECT_FALSE(fs::exists(EditRecordPathFor(a)));
        EXPECT_FALSE(fs::exists(EditRecordPathFor(b)));
    }
    // A copy is edited as usual.
    const std::string copy = dir / "B/COPY.KVB";
    fs::copy_file(b, copy);
    TRawKVBFile f(copy);
    EditCases()[0].run(f);
}
