// In-place edits cut short at every write and flush they make: by a kill (nothing in the process
// runs any more) or by a write error (the process carries on).
#include "archive/catalogue.h"
#include "archive/raw_archive.h"
#include "platform/errors.h"
#include "platform/stream.h"
#include "support/archive_builder.h"

#include <gtest/gtest.h>

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
    TEditRepair::Effect effect;
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
    using E = TEditRepair::Effect;
    return {
        {"Link", "link", TwoEntryArchive(), [](TRawKVBFile &f) { f.LinkTocRecord(0, 1); },
         E::Undo},
        {"AppendSmall", "append", TwoEntryArchive(),
         [](TRawKVBFile &f) { f.AppendData(DataRecordOf("NEW.TEX", "0123456789")); }, E::Undo},
        {"AppendOneMiB", "append", TwoEntryArchive(),
         [](TRawKVBFile &f) { f.AppendData(DataRecordOf("BIG.BIN", BigData())); }, E::Undo},
        {"TruncateFromTheMiddle", "truncate", ThreeEntryArchive(),
         [](TRawKVBFile &f) { f.TruncateFrom(1); }, E::Finish},
        {"TruncateFromZero", "truncate", ThreeEntryArchive(),
         [](TRawKVBFile &f) { f.TruncateFrom(0); }, E::Finish},
    };
}

// Where the record of an edit of the archive at path lies: beside the file itself.
std::string JournalOf(const std::string &path)
{
    const fs::path real = fs::canonical(path);
    return (real.parent_path() / ("." + real.filename().string() + ".kvb-journal")).string();
}

struct Scene {
    TempDir dir;
    std::string path = dir / "a.kvb";
    explicit Scene(const std::string &bytes) { WriteFile(path, bytes); }
    std::string Journal() const { return JournalOf(path); }
    bool RecordLeft() const { return fs::exists(fs::symlink_status(Journal())); }
    std::string Bytes() const { return ReadFile(path); }
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

// Kills the edit at its first operation once its record is on disk, or at its first flush then.
std::string gJournal;
bool gKillAtFlush = false;
void KillOnceRecordedHook(const char *operation)
{
    if (fs::exists(gJournal) && (!gKillAtFlush || std::strcmp(operation, "flush") == 0))
        throw Killed{};
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

EditResult EditedWithoutFault(const EditCase &edit)
{
    Scene s(edit.archive);
    TRawKVBFile f(s.path);
    edit.run(f);
    return {s.Bytes(), f.DataCount()};
}

// Cuts the edit short by a kill with its record on disk, at the point where applying the record
// changes the archive: before the first write for an edit the record finishes, at the final
// flush for one it undoes. Returns the archive as the kill left it.
std::string LeaveRecord(const std::string &path, const EditCase &edit)
{
    TRawKVBFile f(path);
    gJournal = JournalOf(path);
    gKillAtFlush = edit.effect == TEditRepair::Effect::Undo;
    HookGuard hook(KillOnceRecordedHook);
    EXPECT_THROW(edit.run(f), Killed);
    return ReadFile(path);
}

class EditRecovery : public testing::TestWithParam<EditCase> {};

} // namespace

TEST_P(EditRecovery, AKillAtAnyWriteOrFlushIsUndoneOrFinishedOnTheNextOpen)
{
    const EditCase &edit = GetParam();
    const std::string &before = edit.archive;
    const EditResult after = EditedWithoutFault(edit);
    ASSERT_NE(before, after.bytes);
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

        const bool recordLeft = s.RecordLeft();
        if (!recordLeft) {
            EXPECT_EQ(s.Bytes(), before) << "the archive was touched with no record of the edit";
        }
        const std::optional<std::string> readerError = ReaderError(s.path);
        if (recordLeft) {
            ASSERT_TRUE(readerError) << "the reader took a half-edited archive";
            EXPECT_NE(readerError->find("not finished"), std::string::npos) << *readerError;
        } else {
            EXPECT_FALSE(readerError) << *readerError;
        }

        TRawKVBFile g(s.path);
        const std::string now = s.Bytes();
        EXPECT_FALSE(s.RecordLeft());
        // A truncated archive's table may point past its end, which the reader refuses too.
        if (const std::optional<std::string> error = ReaderError(s.path)) {
            EXPECT_EQ(error->find("not finished"), std::string::npos) << *error;
        }
        const std::optional<std::string> &note = g.RecoveryNote();
        if (!recordLeft) {
            EXPECT_FALSE(note) << *note;
        } else {
            ASSERT_TRUE(note);
            EXPECT_NE(note->find("(" + edit.edit + ")"), std::string::npos) << *note;
        }
        if (recordLeft && edit.effect == TEditRepair::Effect::Finish) {
            EXPECT_NE(note->find("finished"), std::string::npos) << *note;
            EXPECT_EQ(now, after.bytes);
            EXPECT_EQ(g.DataCount(), after.dataCount);
        } else {
            if (recordLeft) {
                EXPECT_NE(note->find("undone"), std::string::npos) << *note;
            }
            EXPECT_EQ(now, before);
            // The editor that repaired the archive holds it as it now stands.
            edit.run(g);
            EXPECT_EQ(s.Bytes(), after.bytes);
        }
    }
}

TEST_P(EditRecovery, AWriteErrorAtAnyWriteOrFlushFailsTheEditAndLeavesItRepairable)
{
    const EditCase &edit = GetParam();
    const std::string &before = edit.archive;
    const EditResult after = EditedWithoutFault(edit);
    const bool undoable = edit.effect == TEditRepair::Effect::Undo;
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
            if (undoable && fault == Fault::WriteErrorOnce) {
                EXPECT_FALSE(recordLeft) << "a repair that could run was left for later";
            }
            if (!recordLeft) {
                EXPECT_EQ(s.Bytes(), before);
                EXPECT_FALSE(ReaderError(s.path));
                edit.run(*f);
                EXPECT_EQ(s.Bytes(), after.bytes);
                EXPECT_EQ(f->DataCount(), after.dataCount);
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
            const std::optional<std::string> readerError = ReaderError(s.path);
            ASSERT_TRUE(readerError);
            EXPECT_NE(readerError->find("not finished"), std::string::npos) << *readerError;

            f.reset();
            TRawKVBFile g(s.path);
            ASSERT_TRUE(g.RecoveryNote());
            EXPECT_FALSE(s.RecordLeft());
            const std::string &note = *g.RecoveryNote();
            EXPECT_NE(note.find(undoable ? "undone" : "finished"), std::string::npos) << note;
            EXPECT_EQ(s.Bytes(), undoable ? before : after.bytes);
        }
    }
}

TEST_P(EditRecovery, ARecordOfAReplacedArchiveIsRemovedAndTheNewArchiveLeftAlone)
{
    const EditCase &edit = GetParam();
    Scene s(edit.archive);
    LeaveRecord(s.path, edit);
    ASSERT_TRUE(s.RecordLeft());
    const std::string old = s.dir / "old.kvb";
    // The old file stays, so that the new one cannot get its inode.
    fs::rename(s.path, old);
    const std::string oldBytes = ReadFile(old);
    const std::string replacement = ArchiveBuilder()
                                        .Add("OTHER.BIN", PatternBytes(300, 5))
                                        .Add("MORE.BIN", PatternBytes(20, 6))
                                        .Add("LAST.BIN", PatternBytes(40, 7))
                                        .Description("ANOTHER ARCHIVE")
                                        .Build();
    WriteFile(s.path, replacement);
    struct stat oldStat {}, newStat {};
    ASSERT_EQ(::stat(old.c_str(), &oldStat), 0);
    ASSERT_EQ(::stat(s.path.c_str(), &newStat), 0);
    ASSERT_NE(oldStat.st_ino, newStat.st_ino);

    EXPECT_FALSE(ReaderError(s.path));
    {
        TRawKVBFile g(s.path);
        EXPECT_FALSE(g.RecoveryNote()) << *g.RecoveryNote();
        EXPECT_EQ(g.DataCount(), 3);
    }
    EXPECT_EQ(s.Bytes(), replacement);
    EXPECT_FALSE(s.RecordLeft());
    EXPECT_EQ(ReadFile(old), oldBytes);
}

TEST_P(EditRecovery, ADamagedRecordIsRemovedWithoutTouchingTheArchive)
{
    const EditCase &edit = GetParam();
    Scene s(edit.archive);
    const std::string left = LeaveRecord(s.path, edit);
    ASSERT_TRUE(s.RecordLeft());
    const std::string record = ReadFile(s.Journal());
    const std::string applied = edit.effect == TEditRepair::Effect::Undo
                                    ? edit.archive
                                    : EditedWithoutFault(edit).bytes;
    ASSERT_NE(left, applied) << "applying the record would not show";

    auto expectIgnored = [&](const std::string &damaged, const std::string &what) {
        SCOPED_TRACE(what);
        WriteFile(s.path, left);
        WriteFile(s.Journal(), damaged);
        EXPECT_FALSE(ReaderError(s.path));
        {
            TRawKVBFile g(s.path);
            EXPECT_FALSE(g.RecoveryNote()) << *g.RecoveryNote();
        }
        EXPECT_EQ(s.Bytes(), left);
        EXPECT_FALSE(s.RecordLeft());
    };
    for (size_t i = 0; i < record.size(); ++i) {
        std::string damaged = record;
        damaged[i] = char(~damaged[i]);
        expectIgnored(damaged, "byte " + std::to_string(i) + " flipped");
    }
    for (size_t size = 1; size < record.size(); ++size)
        expectIgnored(record.substr(0, size), "cut to " + std::to_string(size) + " bytes");

    // The same record undamaged is applied: the cases above were ignored, not merely harmless.
    WriteFile(s.path, left);
    WriteFile(s.Journal(), record);
    {
        TRawKVBFile g(s.path);
        EXPECT_TRUE(g.RecoveryNote());
    }
    EXPECT_EQ(s.Bytes(), applied);
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

    EXPECT_TRUE(fs::exists(JournalOf(real)));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path() / "links"), {}), 1);
    const std::optional<std::string> readerError = ReaderError(real);
    ASSERT_TRUE(readerError);
    EXPECT_NE(readerError->find("not finished"), std::string::npos) << *readerError;
    {
        TRawKVBFile g(real);
        ASSERT_TRUE(g.RecoveryNote());
        EXPECT_NE(g.RecoveryNote()->find("undone"), std::string::npos);
    }
    EXPECT_EQ(ReadFile(real), TwoEntryArchive());
    EXPECT_FALSE(fs::exists(JournalOf(real)));
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
