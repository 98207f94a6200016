#include "archive/catalogue.h"
#include "platform/errors.h"
#include "support/archive_builder.h"
#include "tools/analysis.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace kvb;
using namespace kvb::test;

namespace {

using Lines = std::vector<std::string>;

const Lines kExplanation = {
    "     (these will not necessarily stop the KVB",
    "      from working. However, it indicates a",
    "      corrupt or badly constructed file.)",
};

Lines operator+(Lines a, const Lines &b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// The report on an archive file named name holding bytes; the lines so far when it fails.
Lines Report(const std::string &bytes, const std::string &name = "a.kvb")
{
    TempDir dir;
    WriteFile(dir / name, bytes);
    TKVBFile catalogue(dir / name, true);
    try {
        return AnalyseArchive(catalogue, name).Lines;
    } catch (const EKVBError &e) {
        return {std::string("error: ") + e.what()};
    }
}

// The report's findings: the lines after the two section sizes.
Lines Findings(const std::string &bytes)
{
    Lines lines = Report(bytes);
    return Lines(lines.begin() + std::min<ptrdiff_t>(7, ptrdiff_t(lines.size())), lines.end());
}

} // namespace

TEST(AnalyseArchive, ArchiveAsCreationWritesItHasNoFindings)
{
    ArchiveBuilder created;
    created.Add("A.TEX", "0123456789").Add("b.tex", "").Add("c.p", "12345");
    EXPECT_EQ(Report(created.Build()),
              (Lines{"File: a.kvb", "# of files in archive: 3", "Creator: SQUARESOFT",
                     "Description: FINAL FANTASY7", "", "Section 1: Header: 97 bytes.",
                     "Section 2: Error check: 3602 bytes.", "0 files have mismatched filenames.",
                     "There are no data gaps in the file (OK)."}));
    EXPECT_EQ(Findings(ArchiveBuilder().Add("ONLY", "x").Build()),
              (Lines{"0 files have mismatched filenames.", "There are no data gaps in the file (OK)."}));
}

TEST(AnalyseArchive, UnusualValidationSizeAndMismatchedNamesAreFlagged)
{
    ArchiveBuilder b;
    b.Validation(PatternBytes(4000, 3));
    for (int i = 0; i < 8; ++i)
        b.Add('E' + std::to_string(i), PatternBytes(size_t(i), unsigned(i)));
    b.AddMismatched("TOC.A", "DATA.A", "a").AddMismatched("toc.b", "TOC.C", "b");
    Lines report = Report(b.Build());
    EXPECT_EQ(Lines(report.begin() + 5, report.end()),
              (Lines{"Section 1: Header: 286 bytes.", "Section 2: Error check: 4000 bytes.",
                     "     (compressed/corrupt data?)", "2 files have mismatched filenames."} +
               kExplanation + Lines{"There are no data gaps in the file (OK)."}));
}

TEST(AnalyseArchive, HolesOverlapsAndSharedEntriesAreGapsInDataOrder)
{
    const Lines gap = {"0 files have mismatched filenames.", "There is a data gap between files: "};
    // An entry no record points at lies between A.TEX and "ÉTÉ.TEX".
    ArchiveBuilder hole;
    hole.Add("A.TEX", "aa").AddUnlinked("X", "x").Add("\xC9T\xC9.TEX", "b");
    EXPECT_EQ(Findings(hole.Build()), gap + Lines{"  A.TEX and \xC3\x89T\xC3\x89.TEX"} + kExplanation);

    ArchiveBuilder overlap;
    overlap.Add("A.TEX", "aaaa").Add("B.TEX", "bb").Add("C.TEX", "c");
    std::string bytes = overlap.Build();
    PatchDataLength(bytes, overlap.OffsetOf(0), 5);
    EXPECT_EQ(Findings(bytes), gap + Lines{"  A.TEX and B.TEX"} + kExplanation);

    // Two records of one entry; the later record comes first in data order.
    ArchiveBuilder shared;
    shared.Add("A.TEX", "a").Add("B.TEX", "b").AddAlias("a.tex", 0);
    EXPECT_EQ(Findings(shared.Build()), gap + Lines{"  a.tex and A.TEX"} + kExplanation);
}

TEST(AnalyseArchive, ArchiveWithoutEntriesGetsAWholeReport)
{
    EXPECT_EQ(Report(ArchiveBuilder().Build()),
              (Lines{"File: a.kvb", "# of files in archive: 0", "Creator: SQUARESOFT",
                     "Description: ", "", "Section 1: Header: 16 bytes.",
                     "Section 2: Error check: unknown, as the archive has no entries to end it.",
                     "0 files have mismatched filenames.", "There are no data gaps in the file (OK)."}));
}

TEST(AnalyseArchive, HiddenOrVanishedArchiveGivesNoFileInformation)
{
    EXPECT_EQ(Report(TwoEntryArchive(), ".hidden.kvb"), Lines{"error: " + kNoFileInformationMessage});

    TempDir dir;
    WriteFile(dir / "gone.kvb", TwoEntryArchive());
    TKVBFile catalogue(dir / "gone.kvb", true);
    std::filesystem::remove(dir / "gone.kvb");
    EXPECT_THROW(AnalyseArchive(catalogue, "gone.kvb"), EKVBError);
}
