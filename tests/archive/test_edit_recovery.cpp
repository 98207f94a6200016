// In-place edits cut short at every write and flush they make: by a kill (nothing in the process
// runs any more) or by a write error (the process carries on).
#include "archive/catalogue.h"
#include "archive/edit_journal.h"
#include "archive/raw_archive.h"
#include "platform/errors.h"
#include "platform/stream.h"
#include "support/archive_builder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <sys/stat.h>

using namespace kvb;
using namespace kvb::test;
namespace fs = std::filesystem;

namespace {

struct EditCase {
    std::string name;
    std::string edit; // as the recovery note names it
    std::string archive;
    std::function<void(TRawKVBFile &)> run;
};

// Failure messages name the row, not its bytes.
void PrintTo(const EditCase &edit, std::ostream *out)
{
    *out << edit.name;
}

const std::string &BigData()
{
    static const std::string data = PatternBytes(1 << 20, 9);
    return data;
}

std::string ThreeEntryArchive()
{
    return ArchiveBuilder()
        .Add("FIRST.BIN", PatternBytes(100, 1))
        .Add("SECOND.BIN", PatternBytes(50, 2))
        .Add("THIRD.BIN", PatternBytes(70, 3))
        .Build();
}

std::vector<EditCase> EditCases()
{
    return {
        {"Link", "link", TwoEntryArchive(), [](TRawKVBFile &f) { f.LinkTocRecord(0, 1); }},
        {"AppendSmall", "append", TwoEntryArchive(),
         [](TRawKVBFile &f) { f.AppendData(DataRecordOf("NEW.TEX", "0123456789")); }},
        {"AppendOneMiB", "append", TwoEntryArchive(),
         [](TRawKVBFile &f) { f.AppendData(DataRecordOf("BIG.BIN", BigData())); }},
        {"TruncateFromTheMiddle", "truncate", ThreeEntryArchive(),
         [](TRawKVBFile &f) { f.TruncateFrom(1); }},
        {"TruncateFromZero", "truncate", ThreeEntryArchive(),
         [](TRawKVBFile &f) { f.TruncateFrom(0); }},
    };
}

struct Scene {
    TempDir dir;
    std::string path = dir / "a.kvb";
    explicit Scene(const std::string &bytes) { WriteFile(path, bytes); }
    std::string Journal() const { return EditRecordPathFor(path); }
    bool RecordLeft() const { return fs::exists(fs::symlink_status(Journal())); }
    std::string Bytes() const { return ReadFile(path); }
    // Records set aside, never deleted.
    std::vector<std::string> SetAside() const
    {
        std::vector<std::string> names;
        for (const auto &entry : fs::directory_iterator(dir.Path()))
            if (entry.path().filename().string().find(".kvb-journal.not-applied-") != std::string::npos)
                names.push_back(entry.path().string());
        return names;
    }
};

// What the reader says when it refuses the archive; nothing when it reads it.
std::optional<std::string> ReaderError(const std::string &path)
{
    try {
        TKVBFile reader(path, true);
        return std::nullopt;
    } catch (const EKVBError &e) {
        return std::string(e.what());
    }
}

bool Refuses(const std::string &path)
{
    const std::optional<std::string> error = ReaderError(path);
    return error && error->find("not finished") != std::string::npos;
}

// Stands for kill -9: not a library error, so no handler of the library runs for it.
struct Killed {};

enum class Fault { Kill, WriteErrorOnce, WriteErrorFromThenOn };
Fault gFault = Fault::Kill;
int gCalls = 0;
int gFailAt = -1;

void FaultHook(const char *)
{
    const int call = gCalls++;
    if (call == gFailAt || (gFault == Fault::WriteErrorFromThenOn && call > gFailAt)) {
        if (gFault == Fault::Kill)
            throw Killed{};
        throw EWriteError();
    }
}

struct HookGuard {
    HookGuard(Fault fault, int failAt)
    {
        gFault = fault;
        gCalls = 0;
        gFailAt = failAt;
        FileWriteHook = FaultHook;
    }
    explicit HookGuard(TFileWriteHook hook) { FileWriteHook = hook; }
    ~HookGuard() { FileWriteHook = nullptr; }
};

struct EditResult {
    std::string bytes;
    int32_t dataCount = 0;
};

// The archive after the edit, and the number of data entries an editor opening it finds (a
// link can change where the walk begins).
EditResult EditedWithoutFault(const EditCase &edit)
{
    Scene s(edit.archive);
    {
        TRawKVBFile f(s.path);
        edit.run(f);
    }
    return {s.Bytes(), TRawKVBFile(s.path).DataCount()};
}

// Kills the edit with its record on disk: at the first hooked call after which the archive is
// neither as before nor as after the edit, or, for an edit of a single write (a link), just
// before that write. Returns the archive as the kill left it.
std::string LeaveRecord(const std::string &path, const EditCase &edit)
{
    const std::string before = ReadFile(path);
    const std::string after = EditedWithoutFault(edit).bytes;
    const std::string record = EditRecordPathFor(path);
    std::optional<std::string> recordOfUntouched;
    for (int n = 0;; ++n) {
        WriteFile(path, before);
        fs::remove(record);
        bool killed = false;
        {
            TRawKVBFile f(path);
            HookGuard hook(Fault::Kill, n);
            try {
                edit.run(f);
            } catch (const Killed &) {
                killed = true;
            }
        }
        const std::string now = ReadFile(path);
        if (fs::exists(record) && now != before && now != after)
            return now;
        if (fs::exists(record) && now == before && !recordOfUntouched)
            recordOfUntouched = ReadFile(record);
        if (!killed) {
            EXPECT_TRUE(recordOfUntouched) << "no kill left the edit's record";
            WriteFile(path, before);
            WriteFile(record, recordOfUntouched.value_or(""));
            return before;
        }
    }
}

class EditRecovery : public testing::TestWithParam<EditCase> {};

} // namespace

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
            SCOPED_TRACE(std::string(fault == Fault::WriteErrorOnce ? "one write error"
                                                                    : "write errors from") +
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
                          std::string::npos) << *note;
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
    std::fill(zeroed.begin() + std::ptrdiff_t(block), zeroed.begin() + std::ptrdiff_t(block + 8192), '\0');
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

INSTANTIATE_TEST_SUITE_P(Edits, EditRecovery, testing::ValuesIn(EditCases()),
                         [](const testing::TestParamInfo<EditCase> &info) {
                             return info.param.name;
                         });

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

TEST(RawArchiveWalk, FindDataRecordAtFindsEveryEntryAndNothingBetween)
{
    ArchiveBuilder builder;
    constexpr int kEntries = 40;
    for (int i = 0; i < kEntries; ++i)
        builder.Add("E" + std::to_string(i), PatternBytes(size_t(i * 37 % 120), unsigned(i)));
    const std::string bytes = builder.Build();
    TempDir dir;
    const std::string path = dir / "a.kvb";
    WriteFile(path, bytes);
    TRawKVBFile f(path);
    ASSERT_EQ(f.DataCount(), kEntries);

    auto expectIndexes = [&](const std::map<int32_t, int32_t> &at, int32_t end) {
        int mismatches = 0;
        for (int32_t p = 0; p <= end && mismatches < 5; ++p) {
            auto it = at.find(p);
            const int32_t expected = it == at.end() ? -1 : it->second;
            if (f.FindDataRecordAt(p) != expected) {
                ++mismatches;
                ADD_FAILURE() << "position " << p << ": " << f.FindDataRecordAt(p)
                              << " instead of " << expected;
            }
        }
    };
    std::map<int32_t, int32_t> at;
    for (int i = 0; i < kEntries; ++i) {
        EXPECT_EQ(f.GetDataRecord(i).Position, builder.OffsetOf(size_t(i)));
        at[builder.OffsetOf(size_t(i))] = i;
    }
    expectIndexes(at, int32_t(bytes.size()) + 100);

    const int32_t appendedAt = int32_t(bytes.size() - kNewArchiveDescription.size());
    f.AppendData(DataRecordOf("APPENDED", "xyz"));
    at[appendedAt] = kEntries;
    expectIndexes(at, appendedAt + 100);

    f.TruncateFrom(20);
    for (int i = 20; i <= kEntries; ++i)
        at.erase(builder.OffsetOf(size_t(i)));
    at.erase(appendedAt);
    expectIndexes(at, appendedAt + 100);
}
