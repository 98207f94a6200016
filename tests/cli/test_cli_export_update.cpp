#include "preview/tex_encode.h"
#include "run_kvb.h"
#include "support/tex_builder.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <QImage>

#include <algorithm>
#include <filesystem>
#include <set>

using namespace kvb;
using namespace kvb::test;
namespace fs = std::filesystem;

namespace {

const std::string kGrey = GradientTex(32, 16).Build();
const std::string kPicture = PictureTex(32, 16).Build();

ArchiveBuilder Entries()
{
    ArchiveBuilder b;
    b.Add("GREY.TEX", kGrey)
        .Add("A.BIN", PatternBytes(100, 1))
        .Add("PIC.TEX", kPicture)
        .Add("B.BIN", PatternBytes(50, 2));
    return b;
}

// An archive and its export in a folder of their own, away from the captured error output.
struct Exported {
    TempDir dir;
    fs::path work = dir.Path() / "work";
    std::string archive = (work / "GAME.KVB").string();
    std::string folder = (work / "mod").string();
    std::string before;

    explicit Exported(const ArchiveBuilder &builder, bool png = true, int exitCode = 0)
        : before(builder.Build())
    {
        fs::create_directory(work);
        WriteFile(archive, before);
        RunResult r = png ? RunKvb(dir, {"export", "--png", archive, folder})
                          : RunKvb(dir, {"export", archive, folder});
        EXPECT_EQ(r.exitCode, exitCode) << r.err;
    }
    std::string Path(const std::string &name) const { return folder + "/" + name; }
    std::set<std::string> Listing() const { return test::Listing(work); }
    bool Untouched() const { return ReadFile(archive) == before; }
    RunResult Kvb(std::initializer_list<std::string> args) const { return RunKvb(dir, args); }
};

// A picture as another program saves it.
QImage Picture(const std::string &png)
{
    QImage image(QString::fromStdString(png), "PNG");
    return image.convertToFormat(QImage::Format_RGB32);
}

void Save(const QImage &image, const std::string &png)
{
    // The most compression Qt has: other bytes than kvb's writer gives.
    ASSERT_TRUE(image.save(QString::fromStdString(png), "PNG", 0));
}

} // namespace

TEST(KvbExportUpdate, TheFolderRoundTripPutsBackWhatChangedAndKeepsEveryOtherByte)
{
    const Exported t(Entries());
    EXPECT_TRUE(fs::exists(t.Path("GREY.png")));
    EXPECT_TRUE(fs::exists(t.Path(".kvb-export.json")));
    // Changed bytes; an edited picture, in a colour of the palette (index 200); a picture saved
    // again unchanged by another program; a file touched but unchanged.
    WriteFile(t.Path("A.BIN"), "new data");
    QImage grey = Picture(t.Path("GREY.png"));
    grey.setPixel(5, 3, qRgb(200, 100, 55));
    Save(grey, t.Path("GREY.png"));
    const std::string exported = ReadFile(t.Path("PIC.png"));
    Save(Picture(t.Path("PIC.png")), t.Path("PIC.png"));
    ASSERT_NE(ReadFile(t.Path("PIC.png")), exported);
    fs::last_write_time(t.Path("B.BIN"), fs::file_time_type::clock::now());

    const auto listing = t.Listing();
    RunResult dry = t.Kvb({"update", "--dry-run", t.archive, t.folder});
    EXPECT_EQ(dry.exitCode, 0) << dry.err;
    EXPECT_EQ(dry.out, "1\tGREY.TEX\t1772\t1772\t0\n2\tA.BIN\t100\t8\t-\n");
    EXPECT_TRUE(t.Untouched());
    EXPECT_EQ(t.Listing(), listing);

    RunResult r = t.Kvb({"update", t.archive, t.folder});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, dry.out);
    EXPECT_EQ(r.err, "");
    std::string texture = kGrey;
    texture[GradientTex(32, 16).PixelPosition() + 3 * 32 + 5] = char(200);
    EXPECT_TRUE(ReadFile(t.archive) == ArchiveBuilder()
                                           .Add("GREY.TEX", texture)
                                           .Add("A.BIN", "new data")
                                           .Add("PIC.TEX", kPicture)
                                           .Add("B.BIN", PatternBytes(50, 2))
                                           .Build());
    // Nothing is left beside the archive, and the next update finds nothing to do.
    EXPECT_EQ(t.Listing(), listing);
    RunResult again = t.Kvb({"update", t.archive, t.folder});
    EXPECT_EQ(again.exitCode, 0) << again.err;
    EXPECT_EQ(again.out, "");
}

TEST(KvbExportUpdate, JsonOutputAndANewArchiveBesideTheOld)
{
    const Exported t(Entries(), false);
    RunResult exported = t.Kvb({"export", "--json", t.archive, (t.work / "again").string()});
    ASSERT_EQ(exported.exitCode, 0) << exported.err;
    const auto json = nlohmann::json::parse(exported.out);
    EXPECT_EQ(json["files"], 4);
    EXPECT_EQ(json["entries"][2]["file"], "PIC.TEX");
    EXPECT_EQ(json["entries"][2]["format"], "bytes");

    WriteFile(t.Path("B.BIN"), "changed");
    const std::string output = (t.work / "NEW.KVB").string();
    RunResult r = t.Kvb({"update", "--json", "--output", output, t.archive, t.folder});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const auto plan = nlohmann::json::parse(r.out);
    EXPECT_EQ(plan["output"], output);
    EXPECT_EQ(plan["dry_run"], false);
    ASSERT_EQ(plan["changes"].size(), 1u);
    EXPECT_EQ(plan["changes"][0]["number"], 4);
    EXPECT_EQ(plan["changes"][0]["name_hex"], "422e42494e");
    EXPECT_EQ(plan["changes"][0]["new_length"], 7);
    EXPECT_EQ(plan["unchanged"], 3);
    EXPECT_TRUE(t.Untouched());
    ArchiveBuilder expected;
    expected.Add("GREY.TEX", kGrey)
        .Add("A.BIN", PatternBytes(100, 1))
        .Add("PIC.TEX", kPicture)
        .Add("B.BIN", "changed");
    EXPECT_TRUE(ReadFile(output) == expected.Build());
}

TEST(KvbExportUpdate, ColoursThePaletteLacksAreSaidOnStandardError)
{
    const Exported t(Entries());
    QImage grey = Picture(t.Path("GREY.png"));
    grey.setPixel(0, 0, qRgb(0, 255, 0));
    Save(grey, t.Path("GREY.png"));
    RunResult r = t.Kvb({"update", "--dry-run", t.archive, t.folder});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "1\tGREY.TEX\t1772\t1772\t1\n");
    EXPECT_EQ(r.err.rfind("kvb: warning: entry 1 \"GREY.TEX\": 1 of the 512 pixels of GREY.png would "
                          "change colour, by up to ",
                          0),
              0u)
        << r.err;
    EXPECT_NE(r.err.find("--new-palette makes a new palette instead"), std::string::npos);
}

TEST(KvbExportUpdate, EachRefusalSaysWhyAndWritesNothing)
{
    struct Row {
        const char *what;
        std::function<void(const Exported &)> spoil;
        std::string error;
    };
    const std::vector<Row> rows = {
        {"the archive changed since",
         [](const Exported &t) {
             RunKvb(t.dir, {"append", t.archive, t.Path("A.BIN")});
         },
         "kvb: Archive "},
        {"a file of no entry", [](const Exported &t) { WriteFile(t.Path("README.txt"), "x"); },
         "kvb: Folder "},
        {"two files for one entry", [](const Exported &t) { WriteFile(t.Path("GREY.TEX"), kGrey); },
         "kvb: Files GREY.png and GREY.TEX of "},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        const Exported t(Entries());
        WriteFile(t.Path("B.BIN"), "changed");
        row.spoil(t);
        const std::string archive = ReadFile(t.archive);
        const auto listing = t.Listing();
        for (const bool dry : {true, false}) {
            RunResult r = dry ? t.Kvb({"update", "--dry-run", t.archive, t.folder})
                              : t.Kvb({"update", t.archive, t.folder});
            EXPECT_EQ(r.exitCode, 1) << r.out;
            EXPECT_EQ(r.err.rfind(row.error, 0), 0u) << r.err;
            EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
            EXPECT_NE(r.err.find("nothing was written"), std::string::npos) << r.err;
            EXPECT_EQ(r.out, "");
            EXPECT_TRUE(ReadFile(t.archive) == archive);
            EXPECT_EQ(t.Listing(), listing);
        }
    }
    const Exported t(Entries());
    WriteFile(t.Path("README.txt"), "x");
    RunResult passed = t.Kvb({"update", "--ignore-extra", t.archive, t.folder});
    EXPECT_EQ(passed.exitCode, 0) << passed.err;
    EXPECT_EQ(t.Kvb({"update", t.archive}).exitCode, 2);
}

TEST(KvbExportUpdate, ExportWritesEveryOtherEntryAndTheManifestBeforeItFailsOnAName)
{
    ArchiveBuilder b = Entries();
    b.Add("..", "x");
    const Exported t(b, false, 1);
    RunResult r = t.Kvb({"export", t.archive, t.folder});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "kvb: 4 of 5 files exported; 1 name cannot be a file name: entry 5 \"..\" "
                     "(it names a folder)\n");
    EXPECT_TRUE(fs::exists(t.Path(".kvb-export.json")));
    WriteFile(t.Path("A.BIN"), "new");
    RunResult u = t.Kvb({"update", t.archive, t.folder});
    EXPECT_EQ(u.exitCode, 0) << u.err;
    EXPECT_EQ(u.out, "2\tA.BIN\t100\t3\t-\n");
}
