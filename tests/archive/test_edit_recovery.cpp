// In-place edits cut short at every write and flush they make: by a kill (nothing in the process
// runs any more) or by a write error (the process carries on); and the recovery cut short in turn.
#include "archive/edit_recovery_fixture.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

using namespace kvb;
using namespace kvb::test;

TEST_P(EditRecovery, AKillAtAnyWriteOrFlushIsUndoneOnTheNextOpenUnlessTheEditWasComplete)
{
    const EditCase &edit = GetParam();
    const std::string &before = edit.archive;
    const EditResult after = EditedWithoutFault(edit);
    ASSERT_NE(before, after.bytes);
    bool sawHalfEdited = false;
    for (int n = 0;; ++n) {
        SCOPED_TRACE("killed at hooked call " + std::to_string(n));
        Scene s(before);
        bool killed = false;
        {
            TRawKVBFile f(s.path);
            HookGuard hook(Fault::Kill, n);
            try {
                edit.run(f);
            } catch (const Killed &) {
                killed = true;
            }
        }
        if (!killed) {
            EXPECT_EQ(s.Bytes(), after.bytes);
            EXPECT_FALSE(s.RecordLeft());
            // The record's write and flush, the edit's write and flush at the least.
            EXPECT_GE(n, 4);
            break;
        }

        const std::string left = s.Bytes();
        const bool recordLeft = s.RecordLeft();
        const bool whole = left == before || left == after.bytes;
        if (!recordLeft) {
            EXPECT_EQ(left, before) << "the archive was touched with no record of the edit";
        }
        // Readers refuse a half-edited archive, and only that.
        EXPECT_EQ(Refuses(s.path), !whole);
        sawHalfEdited = sawHalfEdited || !whole;

        TRawKVBFile g(s.path);
        const std::string now = s.Bytes();
        EXPECT_FALSE(s.RecordLeft());
        EXPECT_TRUE(s.SetAside().empty());
        EXPECT_FALSE(Refuses(s.path));
        const std::optional<std::string> &note = g.RecoveryNote();
        EXPECT_EQ(note.has_value(), recordLeft);
        if (note) {
            EXPECT_NE(note->find("(" + edit.edit + ")"), std::string::npos) << *note;
        }
        if (whole) {
            EXPECT_EQ(now, left) << "an archive in a whole state was changed";
        }
        if (left == after.bytes) {
            EXPECT_EQ(g.DataCount(), after.dataCount);
        } else {
            // Recovery only restores: it never finishes an edit.
            ASSERT_EQ(now, before);
            if (!whole) {
                EXPECT_NE(note->find("undone"), std::string::npos) << *note;
            }
            // The editor that repaired the archive holds it as it now stands.
            edit.run(g);
            EXPECT_EQ(s.Bytes(), after.bytes);
        }
    }
    // A link is one write of 27 bytes, which a kill cannot cut in two.
    EXPECT_EQ(sawHalfEdited, edit.edit != "link");
}

TEST_P(EditRecovery, AWriteErrorAtAnyWriteOrFlushFailsTheEditAndLeavesItRepairable)
{
    const EditCase &edit = GetParam();
    const std::string &before = edit.archive;
    const EditResult after = EditedWithoutFault(edit);
    for (Fault fault : {Fault::WriteErrorOnce, Fault::WriteErrorFromThenOn}) {
        for (int n = 0;; ++n) {
            SCOPED_TRACE(
                std::string(fault == Fault::WriteErrorOnce ? "one write error" : "write errors from") +
                " at hooked call " + std::to_string(n));
            Scene s(before);
            std::optional<TRawKVBFile> f(std::in_place, s.path);
            bool failed = false;
            {
                HookGuard hook(fault, n);
                try {
                    edit.run(*f);
                } catch (const EKVBError &e) {
                    failed = true;
                    // The first error is the one reported, whatever the repair met.
                    EXPECT_EQ(std::string(e.what()), "Stream write error");
                }
            }
            if (!failed) {
                EXPECT_EQ(s.Bytes(), after.bytes);
                EXPECT_GE(n, 4);
                break;
            }

            const bool recordLeft = s.RecordLeft();
            if (!recordLeft) {
                // Put back at once: the edit can be made again on the same editor.
                EXPECT_EQ(s.Bytes(), before);
                EXPECT_FALSE(ReaderError(s.path));
                edit.run(*f);
                EXPECT_EQ(s.Bytes(), after.bytes);
                continue;
            }

            const std::string left = s.Bytes();
            try {
                edit.run(*f);
                FAIL() << "an edit ran over an unrepaired one";
            } catch (const EKVBError &e) {
                EXPECT_EQ(std::string(e.what()),
                          "The archive's previous edit failed and could not be put right; close "
                          "the archive and open it again to repair it");
            }
            EXPECT_EQ(s.Bytes(), left);
            EXPECT_EQ(Refuses(s.path), left != before && left != after.bytes);

            f.reset();
            TRawKVBFile g(s.path);
            ASSERT_TRUE(g.RecoveryNote());
            EXPECT_FALSE(s.RecordLeft());
            const std::string now = s.Bytes();
            EXPECT_TRUE(now == before || now == after.bytes);
            if (left == before || left == after.bytes) {
                EXPECT_EQ(now, left);
            }
        }
    }
}

// The recovery is itself cut short, at each of its own writes and flushes: the archive it
// leaves is one the next opening recognises and puts back.
TEST_P(EditRecovery, ARecoveryCutShortAtAnyWriteIsCarriedOnByTheNextOpen)
{
    const EditCase &edit = GetParam();
    const std::string &before = edit.archive;
    const std::string after = EditedWithoutFault(edit).bytes;
    Scene s(before);
    const std::string left = LeaveRecord(s.path, edit);
    const std::string record = ReadFile(s.Journal());
    if (left == before)
        return; // a link: nothing part way to put back
    for (int n = 0;; ++n) {
        SCOPED_TRACE("recovery killed at hooked call " + std::to_string(n));
        WriteFile(s.path, left);
        WriteFile(s.Journal(), record);
        bool killed = false;
        try {
            HookGuard hook(Fault::Kill, n);
            TRawKVBFile g(s.path);
        } catch (const Killed &) {
            killed = true;
        }
        if (killed) {
            // Whatever the kill left, the record is there until the archive is as before.
            EXPECT_TRUE(s.RecordLeft() || s.Bytes() == before);
        }
        {
            TRawKVBFile g(s.path);
        }
        EXPECT_EQ(s.Bytes(), before);
        EXPECT_FALSE(s.RecordLeft());
        EXPECT_TRUE(s.SetAside().empty());
        if (!killed)
            break;
    }
}

INSTANTIATE_TEST_SUITE_P(Edits, EditRecovery, testing::ValuesIn(EditCases()),
                         [](const testing::TestParamInfo<EditCase> &info) { return info.param.name; });
