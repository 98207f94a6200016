// The kvb tool given values meant to mislead it: record numbers with leading zeros or in other
// bases, sizes in an archive far beyond what it holds, and texts with control bytes bound for
// the terminal. Every case runs the built program, as a user or a script would.
#include "archive/format.h"
#include "archive/raw_archive.h"
#include "robustness/watched_kvb.h"
#include "support/archive_builder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/resource.h>
#include <vector>

using namespace kvb;
using namespace kvb::test;

namespace fs = std::filesystem;

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

} // namespace

// --- Numbers ------------------------------------------------------------------------------------

TEST(RecordNumbers, LeadingZerosAreDecimalAndOtherBasesAreUsageErrors)
{
    TempDir dir;
    ArchiveBuilder b;
    for (int i = 1; i <= 12; ++i)
        b.Add("E" + std::to_string(i) + ".BIN", PatternBytes(size_t(10 + i), unsigned(i)));
    const std::string archive = b.Build();
    WriteFile(dir / "a.kvb", archive);

    Outcome extract = RunWatched({"extract", dir / "a.kvb", "010", dir / "out"});
    EXPECT_EQ(extract.exitCode, 0) << extract.Describe();
    EXPECT_EQ(ReadFile(dir / "out"), PatternBytes(20, 10));

    Outcome link = RunWatched({"link", dir / "a.kvb", "02", "011"});
    EXPECT_EQ(link.exitCode, 0) << link.Describe();
    {
        TRawKVBFile f(dir / "a.kvb");
        EXPECT_EQ(f.GetTocRecord(1).Offset, b.OffsetOf(10));
    }

    Outcome truncate = RunWatched({"truncate", dir / "a.kvb", "010", "--yes"});
    EXPECT_EQ(truncate.exitCode, 0) << truncate.Describe();
    EXPECT_EQ(TRawKVBFile(dir / "a.kvb").DataCount(), 9);

    const std::string before = ReadFile(dir / "a.kvb");
    // extract takes names too: 0x1 is then a name no entry carries, never entry 1.
    Outcome named = RunWatched({"extract", dir / "a.kvb", "0x1", dir / "hex"});
    EXPECT_EQ(named.exitCode, 1) << named.Describe();
    for (const auto &args : std::vector<std::vector<std::string>>{
             {"truncate", dir / "a.kvb", "0x1", "--yes"},
             {"link", dir / "a.kvb", "0x1", "1"},
             {"link", dir / "a.kvb", "1", "0x1"},
         }) {
        Outcome r = RunWatched(args);
        EXPECT_EQ(r.exitCode, 2) << args[0] << ": " << r.Describe();
    }
    EXPECT_TRUE(ReadFile(dir / "a.kvb") == before);
    EXPECT_FALSE(fs::exists(dir / "hex"));
}
// --- Hostile sizes ------------------------------------------------------------------------------

TEST(HostileSizes, ATemplateOfAClaimedTwoGigabytesFailsWithoutTheMemory)
{
    TempDir dir;
    std::string archive = ArchiveBuilder().Add("ONLY.BIN", PatternBytes(100, 1)).Build();
    PatchTocOffset(archive, 0, 2'000'000'000);
    WriteFile(dir / "a.kvb", archive);
    fs::create_directory(dir.Path() / "t");

    Options options;
    if (!kSanitized) // the sanitizers' shadow memory alone takes more address space
        options.addressSpace = rlim_t(512) << 20;
    Outcome r = RunWatched({"template", dir / "a.kvb", dir / "t"}, options);
    EXPECT_EQ(r.exitCode, 1) << r.Describe();
    EXPECT_EQ(r.err.rfind("kvb: ", 0), 0u) << r.err;
    EXPECT_EQ(r.err.find("alloc"), std::string::npos) << r.err;
    EXPECT_TRUE(fs::is_empty(dir.Path() / "t"));
}

TEST(HostileSizes, RawWalksFiftyMegabytesOfShortEntriesAndStreamsItsLines)
{
    TempDir dir;
    // A header and one table record leading to the first data header.
    std::string front(size_t(TocEnd(1)), '\0');
    EncodeFileHeader(TKVB_FileHeader{CreatorToField(kNewArchiveCreator), 1}, front.data());
    EncodeTocRecord(TKVB_TocRecord{NameToField("FF"), int32_t(TocEnd(1)), 0, 0},
                    front.data() + kFileHeaderSize);
    // Each data header of 0xFF bytes claims length -1: the next one starts 23 bytes on.
    // Under the sanitizers no memory limit can be set, and a tenth of the walk shows the lines.
    const size_t tail = kSanitized ? 5'000'000 : 50'000'000;
    {
        std::ofstream out(dir / "ff.kvb", std::ios::binary);
        out.write(front.data(), std::streamsize(front.size()));
        const std::string chunk(1 << 20, '\xFF');
        for (size_t done = 0; done < tail; done += chunk.size())
            out.write(chunk.data(), std::streamsize(std::min(chunk.size(), tail - done)));
    }
    WriteFile(dir / "short.kvb", front + std::string(10, '\xFF'));

    // The walk holds a few bytes per entry and the lines go out as they are made: the limit
    // leaves room for that, not for the text of all the lines at once.
    Options options;
    options.keepOutput = false;
    if (!kSanitized)
        options.addressSpace = rlim_t(400) << 20;
    Outcome none = RunWatched({"raw", dir / "short.kvb"}, options);
    ASSERT_EQ(none.exitCode, 0) << none.Describe();
    Outcome r = RunWatched({"raw", dir / "ff.kvb"}, options);
    ASSERT_EQ(r.signal, 0) << r.Describe();
    if (r.exitCode == 0) {
        // Records while more than one header's worth is left: (tail - 24) / 23 rounded up.
        const size_t records = (tail - kDataHeaderSize + 22) / 23;
        EXPECT_EQ(r.lines, none.lines + records);
    } else {
        EXPECT_EQ(r.exitCode, 1) << r.Describe();
        EXPECT_EQ(r.err.rfind("kvb: ", 0), 0u) << r.err;
        EXPECT_EQ(r.err.find("alloc"), std::string::npos) << r.err;
    }
}

// Two gigabytes of zeros after the last entry (a sparse file, or a download that unpacks to one)
// read as an empty entry every 24 bytes. The editor's walk stops at its bound, in little memory,
// and says where the zeros start.
TEST(HostileSizes, RawRefusesATailOfZerosInLittleMemoryAndSaysWhereItStarts)
{
    TempDir dir;
    const std::string archive = TwoEntryArchive();
    WriteFile(dir / "zeros.kvb", archive);
    fs::resize_file(dir / "zeros.kvb", uint64_t(INT32_MAX) - 100);
    Options options;
    if (!kSanitized)
        options.addressSpace = rlim_t(256) << 20;
    for (const std::vector<std::string> &args : {std::vector<std::string>{"raw", dir / "zeros.kvb"},
                                                 {"truncate", dir / "zeros.kvb", "3", "--yes"}}) {
        Outcome r = RunWatched(args, options);
        EXPECT_FALSE(r.hung);
        EXPECT_EQ(r.exitCode, 1) << r.Describe();
        EXPECT_NE(r.err.find("from position " + std::to_string(archive.size() + 10) + " on"),
                  std::string::npos)
            << r.err;
        EXPECT_EQ(r.err.find("alloc"), std::string::npos) << r.err;
    }
}

// --- Hostile texts ------------------------------------------------------------------------------

TEST(ControlBytes, NeverReachTheTerminalAndShowAsEscapes)
{
    TempDir dir;
    const std::string bytes = "\x1B\x07\x0A\x9D";
    TCreatorField creator{};
    const std::string creatorText = "C" + bytes + "]0;X";
    std::copy(creatorText.begin(), creatorText.end(), creator.begin());
    WriteFile(dir / "a.kvb", ArchiveBuilder()
                                 .CreatorField(creator)
                                 .Add("N" + bytes + "[2J.BIN", "one")
                                 .Add("M" + bytes + ".BIN", "two")
                                 .Description("D" + bytes + "]2;T\x07")
                                 .Build());
    for (const auto &args : std::vector<std::vector<std::string>>{
             {"info", "--lengths", dir / "a.kvb"},
             {"list", "--lengths", dir / "a.kvb"},
             {"raw", dir / "a.kvb"},
             {"analyse", dir / "a.kvb"},
         }) {
        Outcome r = RunWatched(args);
        ASSERT_EQ(r.exitCode, 0) << args[0] << ": " << r.Describe();
        for (size_t i = 0; i < r.out.size(); ++i) {
            const auto c = static_cast<unsigned char>(r.out[i]);
            // Line ends, and the tabs between the fields of list and raw.
            const bool layout = c == '\n' || c == '\t';
            EXPECT_TRUE(layout || (c >= 0x20 && c != 0x7F))
                << args[0] << ": byte " << int(c) << " at " << i;
            if (c == 0xC2 && i + 1 < r.out.size()) {
                const auto next = static_cast<unsigned char>(r.out[i + 1]);
                EXPECT_FALSE(next >= 0x80 && next <= 0x9F) << args[0] << ": a C1 control at " << i;
            }
        }
        for (const char *escape : {"\\x1B", "\\x07", "\\x0A", "\\x9D"})
            EXPECT_NE(r.out.find(escape), std::string::npos) << args[0] << ' ' << escape << '\n' << r.out;
    }
}
