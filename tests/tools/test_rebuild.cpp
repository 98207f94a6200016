#include "archive/catalogue.h"
#include "archive/format.h"
#include "archive/raw_archive.h"
#include "platform/errors.h"
#include "platform/stream.h"
#include "support/archive_builder.h"
#include "support/same_bytes.h"
#include "tools/analysis.h"
#include "tools/rebuild.h"

#include <gtest/gtest.h>

#include <set>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>

using namespace kvb;
using namespace kvb::test;
namespace fs = std::filesystem;

namespace {

using Names = std::set<std::string>;

// Record index -> the data that replaces what it points at.
using NewData = std::map<int32_t, std::string>;

// The archive read plainly from its bytes, independently of the library's readers.
struct OldLayout {
    int32_t count = 0;
    std::vector<int64_t> offsets;       // per record
    std::map<int64_t, int64_t> lengths; // data entries by position, in file order
    int64_t descriptionStart = 0;
};

OldLayout Parse(const std::string &bytes)
{
    OldLayout layout;
    layout.count = GetInt32LE(bytes.data() + kCreatorFieldSize);
    for (int32_t i = 0; i < layout.count; ++i) {
        const int64_t offset = GetInt32LE(bytes.data() + TocRecordPosition(i) + kNameFieldSize);
        layout.offsets.push_back(offset);
        layout.lengths[offset] = GetInt32LE(bytes.data() + offset + kNameFieldSize);
    }
    const auto &last = *layout.lengths.rbegin();
    layout.descriptionStart = EntryEnd(last.first, last.second);
    return layout;
}

// Checks that after is before with the data of the records in replaced swapped in: every byte
// the rebuild keeps compared at the place the changed lengths move it to, and every offset
// equal to the recomputed one.
void ExpectRebuilt(const std::string &before, const std::string &after, const NewData &replaced)
{
    const OldLayout old = Parse(before);
    std::map<int64_t, const std::string *> newData;
    for (const auto &[record, data] : replaced)
        newData[old.offsets[size_t(record)]] = &data;
    std::map<int64_t, int64_t> moved;
    int64_t position = old.lengths.begin()->first;
    for (const auto &[from, length] : old.lengths) {
        moved[from] = position;
        auto it = newData.find(from);
        position = EntryEnd(position, it != newData.end() ? int64_t(it->second->size()) : length);
    }
    const std::string description = before.substr(size_t(old.descriptionStart));
    ASSERT_EQ(after.size(), size_t(position) + description.size());

    EXPECT_EQ(after.substr(0, kFileHeaderSize), before.substr(0, kFileHeaderSize)) << "file header";
    for (int32_t i = 0; i < old.count; ++i) {
        const size_t p = size_t(TocRecordPosition(i));
        EXPECT_EQ(after.substr(p, kNameFieldSize), before.substr(p, kNameFieldSize))
            << "name field of record " << i;
        EXPECT_EQ(after.substr(p + 24, 3), before.substr(p + 24, 3)) << "reserved fields of record " << i;
        EXPECT_EQ(GetInt32LE(after.data() + p + kNameFieldSize), moved[old.offsets[size_t(i)]])
            << "offset of record " << i;
    }
    const size_t validation = size_t(TocEnd(old.count));
    const size_t firstEntry = size_t(old.lengths.begin()->first);
    EXPECT_TRUE(SameBytes(after.substr(validation, firstEntry - validation),
                          before.substr(validation, firstEntry - validation)))
        << "validation block";

    for (const auto &[from, length] : old.lengths) {
        const size_t to = size_t(moved[from]);
        auto it = newData.find(from);
        if (it == newData.end()) {
            EXPECT_TRUE(SameBytes(after.substr(to, size_t(kDataHeaderSize + length)),
                                  before.substr(size_t(from), size_t(kDataHeaderSize + length))))
                << "untouched entry from " << from;
            continue;
        }
        const std::string &data = *it->second;
        EXPECT_EQ(after.substr(to, kNameFieldSize), before.substr(size_t(from), kNameFieldSize))
            << "data-header name of the entry from " << from;
        EXPECT_EQ(GetInt32LE(after.data() + to + kNameFieldSize), int32_t(data.size()))
            << "length of the entry from " << from;
        EXPECT_TRUE(SameBytes(after.substr(to + kDataHeaderSize, data.size()), data))
            << "data of the entry from " << from;
    }
    EXPECT_EQ(after.substr(size_t(position)), description) << "description";
}

// The analysis report as kvb analyse prints it, under a fixed shown name.
std::vector<std::string> Report(const std::string &path)
{
    return AnalyseArchive(TKVBFile(path, true), "a.kvb").Lines;
}

bool ReportsNoGaps(const std::vector<std::string> &lines)
{
    return std::find(lines.begin(), lines.end(), "There are no data gaps in the file (OK).") !=
           lines.end();
}

struct Shape {
    std::string description = kNewArchiveDescription;
    size_t validation = 3602;
    bool shared = false;
};

// An archive with everything a rebuild has to carry over untouched: a Creator field with odd
// bytes, data in another order than the table, a data-header name other than its record's,
// bytes after the NUL of every name field, reserved fields of every kind, and, as shape says,
// a description and validation block of any size and a record sharing another's data.
//
// Records: 0 FIRST.TEX -> data 1 (stored as OLD_NAME.TEX), 1 SECOND.BIN -> data 2,
// 2 THIRD.BIN -> data 0, 3 LAST.P -> data 3, and with sharing 4 ALIAS.BIN -> data 2.
std::string OddArchive(const Shape &shape = {})
{
    ArchiveBuilder b;
    b.CreatorField({'\0', '\x01', 'S', 'Q', '\0', '\xff', 'X', ' ', '\x7f', '\0', 'A', '\0'})
        .Validation(PatternBytes(shape.validation, 9))
        .Description(shape.description)
        .AddUnlinked("THIRD.BIN", PatternBytes(300, 3))
        .AddUnlinked("OLD_NAME.TEX", PatternBytes(100, 1))
        .AddUnlinked("SECOND.BIN", PatternBytes(7, 2))
        .AddUnlinked("LAST.P", PatternBytes(40, 4))
        .AddAlias("FIRST.TEX", 1)
        .AddAlias("SECOND.BIN", 2)
        .AddAlias("THIRD.BIN", 0)
        .AddAlias("LAST.P", 3);
    if (shape.shared)
        b.AddAlias("ALIAS.BIN", 2);
    std::string bytes = b.Build();
    const int32_t count = shape.shared ? 5 : 4;
    for (int32_t i = 0; i < count; ++i) {
        char *record = bytes.data() + TocRecordPosition(i);
        record[18] = char(0xA0 + i);
        record[19] = 'z';
        record[24] = char(i * 37 + 1);
        PutUInt16LE(record + 25, uint16_t(0xBEEF + i));
    }
    for (size_t d = 0; d < 4; ++d) {
        char *header = bytes.data() + b.OffsetOf(d);
        header[17] = char(0xC0 + d);
        header[19] = '\x01';
    }
    return bytes;
}

struct Scene {
    TempDir dir;
    std::string path = dir / "a.kvb";
    explicit Scene(const std::string &bytes) { WriteFile(path, bytes); }
    std::string Bytes() const { return ReadFile(path); }
    // Writes each new data to a file of its own and returns the replacements naming them.
    std::vector<TReplacement> Files(const NewData &data) const
    {
        std::vector<TReplacement> replacements;
        for (const auto &[record, bytes] : data) {
            const std::string file = dir / ("new" + std::to_string(record) + ".bin");
            WriteFile(file, bytes);
            replacements.push_back({record, file});
        }
        return replacements;
    }
};

void ExpectChanges(const std::vector<TReplacedEntry> &changes, const std::string &before,
                   const NewData &replaced)
{
    const OldLayout old = Parse(before);
    ASSERT_EQ(changes.size(), replaced.size());
    size_t k = 0;
    for (const auto &[record, data] : replaced) {
        const TReplacedEntry &change = changes[k++];
        EXPECT_EQ(change.TocIndex, record);
        // The record's own name, not the data header's.
        TNameField field;
        std::copy_n(before.data() + TocRecordPosition(record), kNameFieldSize, field.begin());
        EXPECT_EQ(change.Name, NameFromField(field));
        EXPECT_EQ(change.OldLength, old.lengths.at(old.offsets[size_t(record)]));
        EXPECT_EQ(change.NewLength, int64_t(data.size()));
    }
}

struct ReplaceRow {
    const char *what;
    std::string archive;
    NewData data;
};

const std::vector<ReplaceRow> &ReplaceRows()
{
    static const std::vector<ReplaceRow> rows = {
        {"plain archive, first entry larger", TwoEntryArchive(), {{0, PatternBytes(1000, 11)}}},
        {"plain archive, last entry smaller", TwoEntryArchive(), {{1, PatternBytes(3, 12)}}},
        {"plain archive, both entries empty", TwoEntryArchive(), {{0, ""}, {1, ""}}},
        {"first in data order, larger", OddArchive(), {{2, PatternBytes(500, 13)}}},
        {"last in data order and table, smaller", OddArchive(), {{3, PatternBytes(5, 14)}}},
        {"first record, empty", OddArchive(), {{0, ""}}},
        {"two at once", OddArchive(), {{0, PatternBytes(1000, 15)}, {3, ""}}},
        {"same length, other bytes", OddArchive(), {{1, PatternBytes(7, 16)}}},
        {"description of 24 bytes",
         OddArchive({std::string("FINAL\0FANTASY7\xff", 15) + "123456789", 3602, false}),
         {{2, PatternBytes(1, 17)}}},
        {"no description", OddArchive({"", 3602, false}), {{3, PatternBytes(64, 18)}}},
        {"validation block of 5 bytes",
         OddArchive({kNewArchiveDescription, 5, false}),
         {{2, PatternBytes(9, 19)}, {0, PatternBytes(999, 20)}}},
        {"no validation block", OddArchive({kNewArchiveDescription, 0, false}), {{2, ""}}},
    };
    return rows;
}

} // namespace

TEST(ReplaceEntries, KeepsEveryOtherByteAndMovesTheOffsets)
{
    for (const ReplaceRow &row : ReplaceRows()) {
        SCOPED_TRACE(row.what);
        Scene s(row.archive);
        const std::vector<TReplacement> replacements = s.Files(row.data);
        const Names listing = Listing(s.dir.Path());
        ASSERT_TRUE(ReportsNoGaps(Report(s.path)));

        // The plan says what will change and writes nothing.
        ExpectChanges(PlanReplacement(s.path, replacements), row.archive, row.data);
        EXPECT_TRUE(SameBytes(s.Bytes(), row.archive));

        ExpectChanges(ReplaceEntries(s.path, replacements, ""), row.archive, row.data);
        ExpectRebuilt(row.archive, s.Bytes(), row.data);
        EXPECT_EQ(Listing(s.dir.Path()), listing);
        EXPECT_TRUE(ReportsNoGaps(Report(s.path)));
    }
}

TEST(ReplaceEntries, RecordsSharingOneEntryGoOnSharingItWhicheverIsReplaced)
{
    const std::string before = OddArchive({kNewArchiveDescription, 3602, true});
    for (int32_t record : {1, 4}) {
        SCOPED_TRACE("through record " + std::to_string(record));
        Scene s(before);
        const NewData data = {{record, PatternBytes(77, 21)}};
        const std::vector<std::string> reportBefore = Report(s.path);
        ReplaceEntries(s.path, s.Files(data), "");
        const std::string after = s.Bytes();
        ExpectRebuilt(before, after, data);

        TKVBFile catalogue(s.path, true);
        EXPECT_EQ(catalogue.GetEntry(1).Offset, catalogue.GetEntry(4).Offset);
        EXPECT_EQ(catalogue.GetEntry(1).Length, 77);
        EXPECT_EQ(after.substr(size_t(catalogue.GetEntry(4).Offset) + kDataHeaderSize, 77),
                  PatternBytes(77, 21));
        // Shared records count as a gap for the analysis; the rebuild adds none and takes none.
        EXPECT_EQ(Report(s.path), reportBefore);
    }
}

TEST(ReplaceEntries, OutputElsewhereLeavesTheArchiveAlone)
{
    const std::string before = OddArchive();
    Scene s(before);
    const NewData data = {{0, PatternBytes(123, 22)}};
    const std::vector<TReplacement> replacements = s.Files(data);
    Names listing = Listing(s.dir.Path());
    const std::string output = s.dir / "new.kvb";
    ExpectChanges(ReplaceEntries(s.path, replacements, output), before, data);
    EXPECT_TRUE(SameBytes(s.Bytes(), before));
    ExpectRebuilt(before, ReadFile(output), data);
    listing.insert("new.kvb");
    EXPECT_EQ(Listing(s.dir.Path()), listing);
}

namespace {

// The archive with a further data entry appended as an editor appends it, reached by no record.
std::string WithUnlinkedEntry(const std::string &bytes)
{
    Scene s(bytes);
    const std::string data = "unreached";
    TRawKVBFile(s.path).AppendData(DataRecordOf("EXTRA.BIN", data));
    return s.Bytes();
}

std::string WithLength(std::string bytes, int32_t position, int32_t length)
{
    PatchDataLength(bytes, position, length);
    return bytes;
}

struct RefusalRow {
    const char *what;
    std::string archive;
    std::vector<int32_t> records; // each replaced by a file of its own
    std::string output;           // in the scene's folder; empty for the archive itself
    std::function<std::string(const Scene &)> message; // how the message starts
};

std::string NotRebuilt(const Scene &s, const std::string &why)
{
    return "Archive " + s.path + " cannot be rebuilt: " + why;
}

} // namespace

TEST(ReplaceEntries, RefusalsLeaveTheArchiveAndTheFolderAsTheyWere)
{
    // Where TwoEntryArchive's first data header lies.
    const int32_t first = int32_t(TocEnd(2)) + int32_t(StandardValidation().size());
    // A table, a row per refusal, laid out by hand.
    // clang-format off
    const std::vector<RefusalRow> rows = {
        {"a gap between entries", WithLength(TwoEntryArchive(), first, 90), {1}, "",
         [&](const Scene &s) {
             return NotRebuilt(s, "there is a gap after the data entry at position " +
                                      std::to_string(first));
         }},
        {"overlapping entries", WithLength(TwoEntryArchive(), first, 101), {0}, "",
         [&](const Scene &s) {
             return NotRebuilt(s, "data overlap after the data entry at position " +
                                      std::to_string(first));
         }},
        {"data no record reaches", WithUnlinkedEntry(TwoEntryArchive()), {0}, "",
         [](const Scene &s) {
             return NotRebuilt(s, "data that no record reaches follows the last entry");
         }},
        {"record after the table", TwoEntryArchive(), {2}, "",
         [](const Scene &) { return std::string("List index out of bounds (2)"); }},
        {"record before the table", TwoEntryArchive(), {-1}, "",
         [](const Scene &) { return std::string("List index out of bounds (-1)"); }},
        {"one shared entry twice", OddArchive({kNewArchiveDescription, 3602, true}), {1, 4}, "",
         [](const Scene &) {
             return std::string("Records 2 and 5 lead to one data entry, which can be replaced "
                                "only once");
         }},
        {"one record twice", TwoEntryArchive(), {0, 0}, "",
         [](const Scene &) {
             return std::string("Records 1 and 1 lead to one data entry, which can be replaced "
                                "only once");
         }},
        {"output is a replacement file", TwoEntryArchive(), {0}, "new0.bin",
         [](const Scene &s) {
             return "Cannot create file " + s.dir / "new0.bin" + ": it is " + s.dir / "new0.bin" +
                    ", which this operation reads";
         }},
        {"output is the archive by another name", TwoEntryArchive(), {1}, "./a.kvb",
         [](const Scene &s) {
             return "Cannot create file " + s.dir / "./a.kvb" + ": it is " + s.path +
                    ", which this operation reads";
         }},
    };
    // clang-format on
    for (const RefusalRow &row : rows) {
        SCOPED_TRACE(row.what);
        Scene s(row.archive);
        std::vector<TReplacement> replacements;
        for (int32_t record : row.records) {
            const std::string file = s.dir / ("new" + std::to_string(record) + ".bin");
            WriteFile(file, PatternBytes(10, 30));
            replacements.push_back({record, file});
        }
        const Names listing = Listing(s.dir.Path());
        const std::string output = row.output.empty() ? std::string() : s.dir / row.output;
        for (bool dryRun : {true, false}) {
            if (dryRun && !row.output.empty())
                continue; // the plan does not know the output
            try {
                if (dryRun)
                    PlanReplacement(s.path, replacements);
                else
                    ReplaceEntries(s.path, replacements, output);
                ADD_FAILURE() << "not refused" << (dryRun ? " by the plan" : "");
            } catch (const EKVBError &e) {
                EXPECT_EQ(std::string(e.what()).rfind(row.message(s), 0), 0u) << e.what();
            }
            EXPECT_TRUE(SameBytes(s.Bytes(), row.archive));
            EXPECT_EQ(Listing(s.dir.Path()), listing);
        }
    }
}

TEST(ReplaceEntries, RefusesAMissingFileAndAnArchiveHeldByAnEditor)
{
    const std::string before = OddArchive();
    Scene s(before);
    std::vector<TReplacement> replacements = s.Files({{0, "new"}});
    const Names listing = Listing(s.dir.Path());
    auto refusal = [&](const std::vector<TReplacement> &r) {
        try {
            ReplaceEntries(s.path, r, "");
        } catch (const EKVBError &e) {
            return std::string(e.what());
        }
        return std::string("(no error)");
    };

    const std::string missing = s.dir / "missing.bin";
    EXPECT_EQ(refusal({replacements[0], {2, missing}}),
              "Cannot open file " + missing + ": it does not exist");
    EXPECT_TRUE(SameBytes(s.Bytes(), before));
    EXPECT_EQ(Listing(s.dir.Path()), listing);

    {
        TRawKVBFile editor(s.path);
        EXPECT_EQ(refusal(replacements),
                  "Cannot open file " + s.path + ": another program is editing it");
    }
    EXPECT_TRUE(SameBytes(s.Bytes(), before));
    EXPECT_EQ(Listing(s.dir.Path()), listing);
}

namespace {

// Raised from the write hook; not a library error, so nothing on the way treats it as one.
struct Interrupted {};
int gCalls = 0;
int gInterruptAt = -1;
void InterruptingHook(const char *)
{
    if (gCalls++ == gInterruptAt)
        throw Interrupted{};
}

struct HookGuard {
    explicit HookGuard(int at)
    {
        gCalls = 0;
        gInterruptAt = at;
        FileWriteHook = InterruptingHook;
    }
    ~HookGuard() { FileWriteHook = nullptr; }
};

} // namespace

TEST(ReplaceEntries, AnInterruptionAtAnyWriteLeavesTheArchiveAndNothingElse)
{
    const std::string before = OddArchive({kNewArchiveDescription, 3602, true});
    // Both in the middle and at the end, so that the copy runs before, between and after them.
    const NewData data = {{0, PatternBytes(5000, 40)}, {3, PatternBytes(3, 41)}};
    for (bool inPlace : {true, false}) {
        SCOPED_TRACE(inPlace ? "in place" : "to another file");
        Scene s(before);
        const std::vector<TReplacement> replacements = s.Files(data);
        const Names listing = Listing(s.dir.Path());
        const std::string output = inPlace ? s.path : s.dir / "new.kvb";
        const std::string named = inPlace ? std::string() : output;
        int n = 0;
        for (;; ++n) {
            SCOPED_TRACE("interrupted at hooked call " + std::to_string(n));
            ASSERT_LT(n, 1000);
            bool interrupted = false;
            try {
                HookGuard hook(n);
                ReplaceEntries(s.path, replacements, named);
            } catch (const Interrupted &) {
                interrupted = true;
            }
            if (!interrupted)
                break;
            EXPECT_TRUE(SameBytes(s.Bytes(), before));
            EXPECT_EQ(Listing(s.dir.Path()), listing);
        }
        // At least a write and the flush before the new archive takes any place.
        EXPECT_GE(n, 2);
        ExpectRebuilt(before, ReadFile(output), data);
        if (!inPlace) {
            EXPECT_TRUE(SameBytes(s.Bytes(), before));
        }
    }
}

namespace {

TRebuild Appending(std::vector<std::pair<std::string, std::string>> entries, std::string validation)
{
    TRebuild changes;
    for (auto &[name, data] : entries)
        changes.Appended.push_back({NameToField(name), kNewArchiveReserved1, kNewArchiveReserved2,
                                    int64_t(data.size()), [data] { return data; }});
    changes.Validation = std::move(validation);
    return changes;
}

} // namespace

// Appending with the block for the new count, a replacement in the same run, then taking the
// appended entries out again with the old block: each step gives the archive a builder makes of
// the same entries, and the last one the first archive byte for byte.
TEST(RebuildArchive, AppendsAndTakesOutTheLastEntriesWithTheValidationBlockOfTheirCount)
{
    const std::string v2(3602, 'a'), v4(3700, 'b');
    const std::string a = PatternBytes(700, 1), b = PatternBytes(900, 2), b2 = PatternBytes(50, 3);
    const std::string x = PatternBytes(1234, 4), y = PatternBytes(0, 5);
    const std::string before =
        ArchiveBuilder().Validation(v2).Description("DESC").Add("A.BIN", a).Add("B.BIN", b).Build();
    const std::string expected = ArchiveBuilder()
                                     .Validation(v4)
                                     .Description("DESC")
                                     .Add("A.BIN", a)
                                     .Add("B.BIN", b2)
                                     .Add("X.TEX", x)
                                     .Add("Y", y)
                                     .Build();
    TempDir dir;
    const std::string path = dir / "G.KVB";
    WriteFile(path, before);

    TRebuild add = Appending({{"X.TEX", x}, {"Y", y}}, v4);
    add.Replacements.emplace_back(1, int64_t(b2.size()), [b2] { return b2; });
    const auto replaced = RebuildArchive(
        path, [&](const TFileStream &) { return add; }, "");
    ASSERT_EQ(replaced.size(), 1u);
    EXPECT_EQ(replaced[0].NewLength, 50);
    EXPECT_TRUE(SameBytes(ReadFile(path), expected));

    TRebuild drop;
    drop.DropLast = 2;
    drop.Validation = v2;
    drop.Replacements.emplace_back(1, int64_t(b.size()), [b] { return b; });
    RebuildArchive(
        path, [&](const TFileStream &) { return drop; }, "");
    EXPECT_TRUE(SameBytes(ReadFile(path), before));
    EXPECT_EQ(Listing(dir.Path()), Names{"G.KVB"});
}

TEST(RebuildArchive, RefusesWhatWouldLoseOrMisplaceData)
{
    const std::string v(3602, 'v');
    // Record 3 shares the data of record 1; the data of record 2 lies before record 1's.
    ArchiveBuilder builder;
    builder.Validation(v).Add("A", PatternBytes(10, 1)).Add("B", PatternBytes(20, 2)).AddAlias("C", 0);
    const std::string shared = builder.Build();
    const std::string plain = ArchiveBuilder().Validation(v).Add("A", "aaaa").Add("B", "bbbb").Build();
    std::string swapped = plain;
    {
        // Record 2 points at the first data entry, record 1 at the second.
        std::string offsets = swapped;
        PatchTocOffset(swapped, 0, GetInt32LE(offsets.data() + TocRecordPosition(1) + kNameFieldSize));
        PatchTocOffset(swapped, 1, GetInt32LE(offsets.data() + TocRecordPosition(0) + kNameFieldSize));
    }
    struct Row {
        const char *what;
        const std::string &archive;
        std::function<TRebuild()> changes;
        const char *message;
    };
    const auto dropping = [&](int32_t n, bool validation) {
        return [=] {
            TRebuild changes;
            changes.DropLast = n;
            if (validation)
                changes.Validation = v;
            return changes;
        };
    };
    const Row rows[] = {
        {"shared data", shared, dropping(1, true), "record 1 shares its data"},
        {"data not at the end", swapped, dropping(1, true), "not at the end of the archive"},
        {"no record left", swapped, dropping(2, true), "without entries"},
        {"a new count without its block", plain, dropping(1, false), "validation block"},
        {"data replaced and taken out", plain,
         [&] {
             TRebuild changes = dropping(1, true)();
             changes.Replacements.emplace_back(1, 3, [] { return std::string("new"); });
             return changes;
         },
         "is taken out"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        TempDir dir;
        const std::string path = dir / "G.KVB";
        WriteFile(path, row.archive);
        const TRebuild changes = row.changes();
        try {
            RebuildArchive(
                path, [&](const TFileStream &) { return changes; }, "");
            ADD_FAILURE() << "not refused";
        } catch (const EKVBError &e) {
            EXPECT_NE(std::string(e.what()).find(row.message), std::string::npos) << e.what();
        }
        EXPECT_TRUE(SameBytes(ReadFile(path), row.archive));
        EXPECT_EQ(Listing(dir.Path()), Names{"G.KVB"});
    }
}

// A loader that gives other data than planned (a package changed under the rebuild) leaves the
// archive as it was.
TEST(RebuildArchive, DataOfAnotherLengthThanPlannedLeavesTheArchive)
{
    TempDir dir;
    const std::string path = dir / "G.KVB";
    const std::string before = TwoEntryArchive();
    WriteFile(path, before);
    TRebuild changes = Appending({{"X", "12345"}}, std::string(3602, 'w'));
    changes.Appended[0].Length = 4;
    EXPECT_THROW(RebuildArchive(
                     path, [&](const TFileStream &) { return changes; }, ""),
                 EKVBError);
    EXPECT_TRUE(SameBytes(ReadFile(path), before));
    EXPECT_EQ(Listing(dir.Path()), Names{"G.KVB"});
}
