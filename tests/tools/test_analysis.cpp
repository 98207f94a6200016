#include "archive/catalogue.h"
#include "archive/errors.h"
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

Lines Concat(Lines a, const Lines &b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// The report on bytes written as a.kvb.
Lines Report(const std::string &bytes)
{
    TempDir dir;
    WriteFile(dir / "a.kvb", bytes);
    TKVBFile catalogue(dir / "a.kvb", true);
    Lines lines;
    AnalyseArchive(catalogue, "a.kvb", lines);
    return lines;
}

Lines Head(int32_t count, int64_t header, int64_t validation)
{
    return {"File: a.kvb",
            "# of files in archive: " + std::to_string(count),
            "Creator: SQUARESOFT",
            "Description: FINAL FANTASY7",
            "",
            "Section 1: Header: " + std::to_string(header) + " bytes.",
            "Section 2: Error check: " + std::to_string(validation) + " bytes."};
}

} // namespace

TEST(AnalyseArchive, ArchiveAsCreationWritesItHasNoFindings)
{
    Lines report = Report(ArchiveBuilder()
                              .Add("A.TEX", PatternBytes(10, 1))
                              .Add("b.tex", "")
                              .Add("c.p", PatternBytes(5, 2))
                              .Build());
    EXPECT_EQ(report, Concat(Head(3, 97, 3602), {"0 files have mismatched filenames.",
                                                 "There are no data gaps in the file (OK)."}));
}

TEST(AnalyseArchive, SingleEntryHasNoPairsToCompare)
{
    EXPECT_EQ(Report(ArchiveBuilder().Add("ONLY.BIN", "x").Build()),
              Concat(Head(1, 43, 3602), {"0 files have mismatched filenames.",
                                         "There are no data gaps in the file (OK)."}));
}

TEST(AnalyseArchive, UnusualValidationSizeAndMismatchedNamesAreFlagged)
{
    ArchiveBuilder b;
    b.Validation(PatternBytes(4000, 3));
    for (int i = 0; i < 8; ++i)
        b.Add("E" + std::to_string(i), PatternBytes(size_t(i), unsigned(i)));
    b.AddMismatched("TOC.A", "DATA.A", "a").AddMismatched("toc.b", "TOC.C", "b");
    Lines expected = Concat(Head(10, 286, 4000), {"     (compressed/corrupt data?)",
                                                  "2 files have mismatched filenames."});
    expected = Concat(expected, kExplanation);
    expected.push_back("There are no data gaps in the file (OK).");
    EXPECT_EQ(Report(b.Build()), expected);
}

TEST(AnalyseArchive, HolesOverlapsAndSharedEntriesAreGapsInDataOrder)
{
    // A hole: an entry no record points at lies between A.TEX and "ÉTÉ.TEX".
    Lines hole = Report(ArchiveBuilder()
                            .Add("A.TEX", "aaaa")
                            .AddUnlinked("LOOSE", "l")
                            .Add("\xC9T\xC9.TEX", "bb")
                            .Build());
    Lines expected = Concat(Head(2, 70, 3602), {"0 files have mismatched filenames.",
                                                "There is a data gap between files: ",
                                                "  A.TEX and \xC3\x89T\xC3\x89.TEX"});
    EXPECT_EQ(hole, Concat(expected, kExplanation));

    // An overlap: A.TEX claims more data than lies before B.TEX.
    ArchiveBuilder b;
    b.Add("A.TEX", "aaaa").Add("B.TEX", "bb").Add("C.TEX", "c");
    std::string bytes = b.Build();
    PatchDataLength(bytes, b.OffsetOf(0), 5);
    expected = Concat(Head(3, 97, 3602), {"0 files have mismatched filenames.",
                                          "There is a data gap between files: ",
                                          "  A.TEX and B.TEX"});
    EXPECT_EQ(Report(bytes), Concat(expected, kExplanation));

    // Two records of one entry: the later record comes first in data order.
    Lines shared = Report(ArchiveBuilder().Add("A.TEX", "a").Add("B.TEX", "b").AddAlias("a.tex", 0).Build());
    expected = Concat(Head(3, 97, 3602), {"0 files have mismatched filenames.",
                                          "There is a data gap between files: ",
                                          "  a.tex and A.TEX"});
    EXPECT_EQ(shared, Concat(expected, kExplanation));
}

TEST(AnalyseArchive, ArchiveWithoutEntriesStopsAfterTheHeaderLine)
{
    TempDir dir;
    WriteFile(dir / "a.kvb", ArchiveBuilder().Build());
    TKVBFile catalogue(dir / "a.kvb", true);
    Lines lines;
    try {
        AnalyseArchive(catalogue, "a.kvb", lines);
        FAIL() << "no error";
    } catch (const EListError &e) {
        EXPECT_STREQ(e.what(), "List index out of bounds (0)");
    }
    Lines head = Head(0, 16, 0);
    head.pop_back();
    head[3] = "Description: "; // nothing after the header is read for no entries
    EXPECT_EQ(lines, head);
}

TEST(AnalyseArchive, HiddenOrVanishedArchiveGivesNoFileInformation)
{
    TempDir dir;
    for (const char *name : {".hidden.kvb", "gone.kvb"}) {
        WriteFile(dir / name, TwoEntryArchive());
        TKVBFile catalogue(dir / name, true);
        if (std::string(name) == "gone.kvb")
            std::filesystem::remove(dir / name);
        Lines lines;
        try {
            AnalyseArchive(catalogue, name, lines);
            ADD_FAILURE() << name;
        } catch (const EKVBError &e) {
            EXPECT_EQ(e.what(), kNoFileInformationMessage);
        }
        EXPECT_TRUE(lines.empty());
    }
}
