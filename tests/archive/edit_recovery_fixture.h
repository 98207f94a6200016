// The in-place edits that the edit recovery tests cut short, the scene each runs in, and the
// hook that stands for a kill or a write error at one of the edit's writes and flushes.
#pragma once

#include "archive/catalogue.h"
#include "archive/edit_journal.h"
#include "archive/raw_archive.h"
#include "platform/errors.h"
#include "platform/stream.h"
#include "support/archive_builder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace kvb::test {

struct EditCase {
    std::string name;
    std::string edit; // as the recovery note names it
    std::string archive;
    std::function<void(TRawKVBFile &)> run;
};

// Failure messages name the row, not its bytes.
inline void PrintTo(const EditCase &edit, std::ostream *out)
{
    *out << edit.name;
}

inline const std::string &BigData()
{
    static const std::string data = PatternBytes(1 << 20, 9);
    return data;
}

inline std::string ThreeEntryArchive()
{
    return ArchiveBuilder()
        .Add("FIRST.BIN", PatternBytes(100, 1))
        .Add("SECOND.BIN", PatternBytes(50, 2))
        .Add("THIRD.BIN", PatternBytes(70, 3))
        .Build();
}

inline std::vector<EditCase> EditCases()
{
    return {
        {"Link", "link", TwoEntryArchive(), [](TRawKVBFile &f) { f.LinkTocRecord(0, 1); }},
        {"AppendSmall", "append", TwoEntryArchive(),
         [](TRawKVBFile &f) { f.AppendData(DataRecordOf("NEW.TEX", "0123456789")); }},
        {"AppendOneMiB", "append", TwoEntryArchive(),
         [](TRawKVBFile &f) { f.AppendData(DataRecordOf("BIG.BIN", BigData())); }},
        {"TruncateFromTheMiddle", "truncate", ThreeEntryArchive(),
         [](TRawKVBFile &f) { f.TruncateFrom(1); }},
        {"TruncateFromZero", "truncate", ThreeEntryArchive(), [](TRawKVBFile &f) { f.TruncateFrom(0); }},
    };
}

struct Scene {
    TempDir dir;
    std::string path = dir / "a.kvb";
    explicit Scene(const std::string &bytes) { WriteFile(path, bytes); }
    std::string Journal() const { return EditRecordPathFor(path); }
    bool RecordLeft() const
    {
        return std::filesystem::exists(std::filesystem::symlink_status(Journal()));
    }
    std::string Bytes() const { return ReadFile(path); }
    // Records set aside, never deleted.
    std::vector<std::string> SetAside() const
    {
        std::vector<std::string> names;
        for (const auto &entry : std::filesystem::directory_iterator(dir.Path()))
            if (entry.path().filename().string().find(".kvb-journal.not-applied-") != std::string::npos)
                names.push_back(entry.path().string());
        return names;
    }
};

// What the reader says when it refuses the archive; nothing when it reads it.
inline std::optional<std::string> ReaderError(const std::string &path)
{
    try {
        TKVBFile reader(path, true);
        return std::nullopt;
    } catch (const EKVBError &e) {
        return std::string(e.what());
    }
}

inline bool Refuses(const std::string &path)
{
    const std::optional<std::string> error = ReaderError(path);
    return error && error->find("not finished") != std::string::npos;
}

// Stands for kill -9: not a library error, so no handler of the library runs for it.
struct Killed {};

enum class Fault { Kill, WriteErrorOnce, WriteErrorFromThenOn };
inline Fault gFault = Fault::Kill;
inline int gCalls = 0;
inline int gFailAt = -1;

inline void FaultHook(const char *)
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
inline EditResult EditedWithoutFault(const EditCase &edit)
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
inline std::string LeaveRecord(const std::string &path, const EditCase &edit)
{
    const std::string before = ReadFile(path);
    const std::string after = EditedWithoutFault(edit).bytes;
    const std::string record = EditRecordPathFor(path);
    std::optional<std::string> recordOfUntouched;
    for (int n = 0;; ++n) {
        WriteFile(path, before);
        std::filesystem::remove(record);
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
        if (std::filesystem::exists(record) && now != before && now != after)
            return now;
        if (std::filesystem::exists(record) && now == before && !recordOfUntouched)
            recordOfUntouched = ReadFile(record);
        if (!killed) {
            EXPECT_TRUE(recordOfUntouched) << "no kill left the edit's record";
            WriteFile(path, before);
            WriteFile(record, recordOfUntouched.value_or(""));
            return before;
        }
    }
}

// Every edit of EditCases(), for the tests of test_edit_recovery.cpp and test_edit_record.cpp;
// the suite is instantiated once, in the first.
class EditRecovery : public testing::TestWithParam<EditCase> {};

} // namespace kvb::test
