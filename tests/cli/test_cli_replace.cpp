#include "archive/catalogue.h"
#include "platform/stream.h"
#include "preview/tex.h"
#include "run_kvb.h"
#include "support/tex_builder.h"
#include "tools/analysis.h"

#include <gtest/gtest.h>

#include <QImage>

#include <algorithm>
#include <filesystem>

using namespace kvb;
using namespace kvb::test;
namespace fs = std::filesystem;

namespace {

using Names = std::vector<std::string>;

// The archive and the files put in live in a folder of their own, away from the captured
// error output, so that the folder shows exactly what a command left.
struct Replace {
    TempDir dir;
    fs::path work = dir.Path() / "work";
    std::string archive = (work / "a.kvb").string();
    std::string before;

    explicit Replace(const ArchiveBuilder &builder) : before(builder.Build())
    {
        fs::create_directory(work);
        WriteFile(archive, before);
    }
    std::string File(const std::string &name, const std::string &bytes) const
    {
        const std::string path = (work / name).string();
        WriteFile(path, bytes);
        return path;
    }
    Names Listing() const
    {
        Names names;
        for (const auto &entry : fs::directory_iterator(work))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    bool Untouched() const { return ReadFile(archive) == before; }
};

ArchiveBuilder Three()
{
    ArchiveBuilder b;
    b.Add("FIRST.BIN", PatternBytes(100, 1)).Add("second.bin", PatternBytes(50, 2)).Add("Third", "3");
    return b;
}

} // namespace

TEST(KvbReplace, TakesEntriesByNumberAndByNameIgnoringAsciiCase)
{
    Replace t(Three());
    const std::string one = t.File("one", "new first"), two = t.File("two", "2");
    RunResult r = RunKvb(t.dir, {"replace", t.archive, "1", one, "SECOND.BIN", two});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "1\tFIRST.BIN\t100\t9\n2\tsecond.bin\t50\t1\n");
    EXPECT_TRUE(
        ReadFile(t.archive) ==
        ArchiveBuilder().Add("FIRST.BIN", "new first").Add("second.bin", "2").Add("Third", "3").Build());
    EXPECT_EQ(t.Listing(), (Names{"a.kvb", "one", "two"}));
}

TEST(KvbReplace, RefusesEntriesItCannotTellOrFind)
{
    ArchiveBuilder shared = Three();
    shared.AddAlias("SECOND.BIN", 2);
    // Each row replaces two entries, the first one valid.
    struct Row {
        std::string first, second;
        std::string error;
    };
    const std::vector<Row> rows = {
        {"3", "Second.Bin",
         "kvb: Several records carry the name Second.Bin (2, 4); give the "
         "number of the one to replace\n"},
        {"3", "FOURTH", "kvb: The archive has no entry named FOURTH\n"},
        {"3", "5", "kvb: There is no entry 5 (the archive has 4)\n"},
        {"3", "0", "kvb: There is no entry 0 (the archive has 4)\n"},
        {"1", "1", "kvb: Records 1 and 1 lead to one data entry, which can be replaced only once\n"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.second);
        Replace t(shared);
        const std::string file = t.File("new", "x");
        const Names listing = t.Listing();
        RunResult r = RunKvb(t.dir, {"replace", t.archive, row.first, file, row.second, file});
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_EQ(r.err, row.error);
        EXPECT_EQ(r.out, "");
        EXPECT_TRUE(t.Untouched());
        EXPECT_EQ(t.Listing(), listing);
    }
}

TEST(KvbReplace, DryRunPrintsThePlanAndWritesNothing)
{
    Replace t(Three());
    const std::string file = t.File("new", PatternBytes(1234, 5));
    const Names listing = t.Listing();
    RunResult r = RunKvb(t.dir, {"replace", "--dry-run", t.archive, "third", file, "1", file});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "3\tThird\t1\t1234\n1\tFIRST.BIN\t100\t1234\n");
    EXPECT_TRUE(t.Untouched());
    EXPECT_EQ(t.Listing(), listing);
}

TEST(KvbReplace, OutputWritesANewArchiveAndLeavesTheOldOne)
{
    Replace t(Three());
    const std::string file = t.File("new", "NEW");
    const std::string output = (t.work / "out.kvb").string();
    RunResult r = RunKvb(t.dir, {"replace", t.archive, "2", file, "--output", output});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "2\tsecond.bin\t50\t3\n");
    EXPECT_TRUE(t.Untouched());
    EXPECT_TRUE(ReadFile(output) == ArchiveBuilder()
                                        .Add("FIRST.BIN", PatternBytes(100, 1))
                                        .Add("second.bin", "NEW")
                                        .Add("Third", "3")
                                        .Build());
}

// "--output NEW: ARCHIVE stays as it is" holds also when NEW names ARCHIVE or a replacement file.
TEST(KvbReplace, OutputNamingAnInputIsRefused)
{
    for (const char *name : {"new", "a.kvb"}) {
        SCOPED_TRACE(name);
        Replace t(Three());
        const std::string file = t.File("new", "NEW");
        const Names listing = t.Listing();
        const std::string output = (t.work / name).string();
        RunResult r = RunKvb(t.dir, {"replace", t.archive, "2", file, "--output", output});
        EXPECT_EQ(r.exitCode, 1) << r.out;
        EXPECT_EQ(r.err.rfind("kvb: Cannot create file " + output, 0), 0u) << r.err;
        EXPECT_TRUE(t.Untouched());
        EXPECT_EQ(ReadFile(file), "NEW");
        EXPECT_EQ(t.Listing(), listing);
    }
}

TEST(KvbReplace, EachEntryNeedsAFile)
{
    Replace t(Three());
    const std::string file = t.File("new", "NEW");
    for (const RunResult &r :
         {RunKvb(t.dir, {"replace", t.archive, "1"}),
          RunKvb(t.dir, {"replace", t.archive, "1", file, "2"}), RunKvb(t.dir, {"replace", t.archive})}) {
        EXPECT_EQ(r.exitCode, 2) << r.err;
        EXPECT_EQ(r.out, "");
    }
    EXPECT_TRUE(t.Untouched());
}

namespace {

TTexImage DecodeTexFile(const std::string &bytes)
{
    TMemoryStream stream(bytes);
    return TexToBitmap(stream, kTexImageDataPosition);
}

} // namespace

TEST(KvbReplace, AnEditedTextureGoesBackIntoTheArchive)
{
    struct Row {
        const char *what;
        TexBuilder texture;
        QRgb colour; // painted at (5, 3)
    };
    const std::vector<Row> rows = {
        // A colour of the gradient's palette (index 200), so that it maps back exactly.
        {"palettised", GradientTex(32, 16), qRgb(200, 100, 55)},
        {"direct colour", PictureTex(32, 16), qRgb(255, 0, 255)},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        const std::string original = row.texture.Build();
        ArchiveBuilder builder;
        builder.Add("A.BIN", PatternBytes(10, 1))
            .Add("PIC.TEX", original)
            .Add("Z.BIN", PatternBytes(20, 2));
        Replace t(builder);
        auto kvb = [&](std::initializer_list<std::string> args) {
            RunResult r = RunKvb(t.dir, args);
            EXPECT_EQ(r.exitCode, 0) << r.err;
        };
        const std::string extracted = (t.work / "pic.tex").string(), png = (t.work / "pic.png").string(),
                          edited = (t.work / "edited.png").string(), made = (t.work / "new.tex").string(),
                          again = (t.work / "again.tex").string();
        kvb({"extract", t.archive, "2", extracted});
        kvb({"tex2png", extracted, png});
        QImage image = QImage(QString::fromStdString(png), "PNG").convertToFormat(QImage::Format_RGB32);
        ASSERT_EQ(image.size(), QSize(32, 16));
        image.setPixel(5, 3, row.colour);
        ASSERT_TRUE(image.save(QString::fromStdString(edited), "PNG"));
        kvb({"png2tex", extracted, edited, made});
        kvb({"replace", t.archive, "pic.tex", made});
        kvb({"extract", t.archive, "2", again});

        const TTexImage before = DecodeTexFile(original), after = DecodeTexFile(ReadFile(again));
        ASSERT_EQ(after.Format, before.Format);
        ASSERT_EQ(after.Width, 32);
        ASSERT_EQ(after.Height, 16);
        for (int32_t y = 0; y < 16; ++y)
            for (int32_t x = 0; x < 32; ++x) {
                if (x == 5 && y == 3)
                    continue;
                if (before.Format == TTexFormat::Palettised8)
                    ASSERT_EQ(after.IndexAt(x, y), before.IndexAt(x, y)) << x << "," << y;
                else
                    ASSERT_EQ(after.ColourAt(x, y), before.ColourAt(x, y)) << x << "," << y;
            }
        if (before.Format == TTexFormat::Palettised8) {
            EXPECT_EQ(after.Palette, before.Palette);
            EXPECT_EQ(after.IndexAt(5, 3), 200);
        } else {
            // Row 3 is odd: the picture's spare bit 15 stays.
            EXPECT_EQ(after.ColourAt(5, 3), 0x8000 | 31 << 10 | 31);
        }

        // Only the texture changed; the archive stays as creation would have written it.
        EXPECT_TRUE(ReadFile(t.archive) == ArchiveBuilder()
                                               .Add("A.BIN", PatternBytes(10, 1))
                                               .Add("PIC.TEX", ReadFile(made))
                                               .Add("Z.BIN", PatternBytes(20, 2))
                                               .Build());
        TKVBFile catalogue(t.archive, true);
        const std::vector<std::string> lines = AnalyseArchive(catalogue, "a.kvb").Lines;
        EXPECT_NE(std::find(lines.begin(), lines.end(), "There are no data gaps in the file (OK)."),
                  lines.end());
    }
}
