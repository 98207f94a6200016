#include "archive/archive_checksum.h"
#include "archive/checksum.h"
#include "platform/errors.h"
#include "platform/output_file.h"
#include "platform/stream.h"
#include "preview/png_image.h"
#include "preview/tex_encode.h"
#include "support/archive_builder.h"
#include "support/png_builder.h"
#include "support/tex_builder.h"
#include "tools/export.h"
#include "tools/update.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <set>
#ifndef _WIN32
#include <sys/stat.h>
#endif

using namespace kvb;
using namespace kvb::test;
namespace fs = std::filesystem;

namespace {

using Names = std::vector<std::string>;

const std::string kGrey = GradientTex(16, 8).Build();
const std::string kPicture = PictureTex(8, 4).Build();

// A texture, a direct-colour one, two other entries and one that shares the first's data.
ArchiveBuilder Mod()
{
    ArchiveBuilder b;
    b.Add("GREY.TEX", kGrey)
        .Add("A.BIN", PatternBytes(100, 1))
        .Add("PIC.TEX", kPicture)
        .Add("B.BIN", PatternBytes(50, 2))
        .AddAlias("SAME.TEX", 0);
    return b;
}

// An archive exported into a folder beside it.
struct Exported {
    TempDir dir;
    std::string archive = dir / "a.kvb";
    std::string folder = dir / "out";
    std::string before;
    TExportResult result;

    Exported(const ArchiveBuilder &builder, bool png) : before(builder.Build())
    {
        WriteFile(archive, before);
        result = ExportArchive(archive, folder, {png});
        Settle();
    }
    // Dates the manifest an hour ahead: files written in the same tick as the manifest could
    // not be told unchanged by their stamps, and a test of that depends on no clock.
    void Settle() const
    {
        fs::last_write_time(Path(kManifestName),
                            fs::file_time_type::clock::now() + std::chrono::hours(1));
    }
    std::string Path(const std::string &name) const { return folder + "/" + name; }
    // Writes a file of the folder as an editor would, some time after the export.
    void Put(const std::string &name, const std::string &bytes) const
    {
        WriteFile(Path(name), bytes);
        Age(name);
    }
    // Dates a file an hour back, well before any manifest the test writes.
    void Age(const std::string &name) const
    {
        fs::last_write_time(Path(name), fs::file_time_type::clock::now() - std::chrono::hours(1));
    }
    bool Untouched() const { return ReadFile(archive) == before; }
};

std::string Refusal(const std::function<void()> &call)
{
    try {
        call();
    } catch (const EKVBError &e) {
        return e.what();
    }
    return "done";
}

// The texture's picture with pixel (x, y) in colour.
std::string Painted(const std::string &png, int32_t x, int32_t y, TTexColour colour)
{
    TRgbImage image = DecodePng(png, "test");
    image.Pixels[size_t(y) * size_t(image.Width) + size_t(x)] = colour;
    return EncodePng(image);
}

// The same picture as another program writes it: other filters, another deflate.
std::string Reencoded(const std::string &png)
{
    const TRgbImage image = DecodePng(png, "test");
    std::string raw;
    for (int32_t y = 0; y < image.Height; ++y) {
        raw += '\0';
        for (int32_t x = 0; x < image.Width; ++x) {
            const TTexColour &c = image.At(x, y);
            raw += {char(c.Red), char(c.Green), char(c.Blue)};
        }
    }
    return PngFile(PngHeader(uint32_t(image.Width), uint32_t(image.Height), 8, 2), Zlib(raw));
}

} // namespace

TEST(Export, NamesEveryEntrysFileSoThatNoTwoAreOneWhereCaseIsIgnored)
{
    ArchiveBuilder b;
    b.Add("GREY.TEX", kGrey)
        .Add("grey.png", "a picture stored as it is")
        .Add("..", "x")
        .Add(".KVB-EXPORT.JSON", "y")
        .Add("CUT.TEX", TexBuilder(GradientTex(16, 8)).CutShort(20).Build())
        .AddAlias("grey.tex", 0);
    const Exported t(b, true);
    EXPECT_EQ(Listing(t.folder), (std::set<std::string>{".KVB-EXPORT~4.JSON", ".kvb-export.json",
                                                        "CUT.TEX", "GREY.png", "grey~2.png"}));
    const std::vector<TManifestEntry> &entries = t.result.Manifest.Entries;
    ASSERT_EQ(entries.size(), 6u);
    EXPECT_EQ(entries[0].File, "GREY.png");
    EXPECT_EQ(entries[0].Format, TFileFormat::Png);
    EXPECT_FALSE(entries[2].File.has_value());
    EXPECT_EQ(entries[4].Format, TFileFormat::Bytes);
    // Records of one data entry share its file.
    EXPECT_EQ(entries[5].File, "GREY.png");
    EXPECT_EQ(ReadFile(t.Path("grey~2.png")), "a picture stored as it is");
    ASSERT_EQ(t.result.Warnings.size(), 3u);
    EXPECT_NE(t.result.Warnings[0].find("entry 2 \"grey.png\" is written as grey~2.png"),
              std::string::npos)
        << t.result.Warnings[0];
    EXPECT_NE(t.result.Warnings[2].find("entry 5 \"CUT.TEX\" is written as its bytes"), std::string::npos)
        << t.result.Warnings[2];
    EXPECT_EQ(t.result.PassedOver, "4 of 5 files exported; 1 name cannot be a file name: entry 3 \"..\" "
                                   "(it names a folder)");
}

TEST(Export, RecordsTheArchiveAndEveryEntrysDataAsTheyAre)
{
    const Exported t(Mod(), false);
    const TFileStream file(t.archive, TFileStream::Mode::OpenRead);
    const TArchiveSums sums = SumArchive(file);
    const TManifest &manifest = t.result.Manifest;
    EXPECT_EQ(manifest.ArchiveSize, int64_t(t.before.size()));
    EXPECT_EQ(manifest.ArchiveChecksum, sums.Archive());
    EXPECT_EQ(manifest.Entries[1].Checksum, Checksum64(PatternBytes(100, 1)));
    EXPECT_EQ(ReadFile(t.Path("A.BIN")), PatternBytes(100, 1));
    EXPECT_EQ(ReadManifest(TOpenFolder(t.folder)).Manifest.Entries.size(), 5u);
}

TEST(ArchiveChecksum, ChangesWithAnyByteAndStillCoversAnArchiveWhoseWalkBreaksOff)
{
    const std::string archive = Mod().Build();
    TempDir dir;
    const auto sum = [&](const std::string &bytes) {
        WriteFile(dir / "x.kvb", bytes);
        const TFileStream file(dir / "x.kvb", TFileStream::Mode::OpenRead);
        return SumArchive(file).Archive();
    };
    const uint64_t whole = sum(archive);
    for (size_t at : {size_t(3), size_t(16 + 27 * 5 + 100), archive.size() - 200, archive.size() - 1}) {
        std::string changed = archive;
        changed[at] ^= 1;
        EXPECT_NE(sum(changed), whole) << at;
    }
    // A length that runs past the end ends the walk; the rest is one piece.
    std::string broken = archive;
    PatchDataLength(broken, Mod().OffsetOf(2), 1 << 30);
    std::string broken2 = broken;
    broken2[archive.size() - 300] ^= 1;
    EXPECT_NE(sum(broken), sum(broken2));
}

TEST(Update, PutsBackTheChangedFilesAndKeepsEveryOtherByte)
{
    const Exported t(Mod(), true);
    // Bytes changed, a picture edited in a colour of its palette, a picture saved again
    // unchanged by another program, a file touched but unchanged.
    t.Put("A.BIN", "new data");
    const std::string grey = ReadFile(t.Path("GREY.png"));
    const std::string painted = Painted(grey, 3, 2, TTexColour{200, 100, 55});
    t.Put("GREY.png", painted);
    const std::string again = Reencoded(ReadFile(t.Path("PIC.png")));
    ASSERT_NE(again, ReadFile(t.Path("PIC.png")));
    t.Put("PIC.png", again);
    t.Age("B.BIN");

    const TUpdatePlan dry = PlanUpdate(t.archive, t.folder);
    EXPECT_TRUE(t.Untouched());
    const TUpdatePlan plan = UpdateArchive(t.archive, t.folder, {}, "");
    for (const TUpdatePlan &p : {dry, plan}) {
        ASSERT_EQ(p.Changes.size(), 2u);
        EXPECT_EQ(p.Changes[0].TocIndex, 0);
        EXPECT_EQ(p.Changes[0].Format, TFileFormat::Png);
        EXPECT_EQ(p.Changes[0].Colours.Pixels, 0);
        EXPECT_EQ(p.Changes[1].TocIndex, 1);
        EXPECT_EQ(p.Changes[1].NewLength, 8);
        EXPECT_EQ(p.Read, 4);
        EXPECT_EQ(p.Unchanged, 3);
    }
    const std::string texture = MakeTexFromBytes(kGrey, "GREY.TEX", painted, "GREY.png", false).Bytes;
    ArchiveBuilder expected;
    expected.Add("GREY.TEX", texture)
        .Add("A.BIN", "new data")
        .Add("PIC.TEX", kPicture)
        .Add("B.BIN", PatternBytes(50, 2))
        .AddAlias("SAME.TEX", 0);
    EXPECT_TRUE(ReadFile(t.archive) == expected.Build());

    // The manifest now speaks of the new archive: nothing more to do, and no file read.
    t.Settle();
    const TUpdatePlan next = UpdateArchive(t.archive, t.folder, {}, "");
    EXPECT_TRUE(next.Changes.empty());
    EXPECT_EQ(next.Read, 0);
    EXPECT_TRUE(ReadFile(t.archive) == expected.Build());
}

TEST(Update, OfAConfirmedPlanRefusesAFileSavedAgainSinceThePlan)
{
    const Exported t(Mod(), false);
    t.Put("A.BIN", "first");
    const TUpdatePlan shown = PlanUpdate(t.archive, t.folder);
    ASSERT_EQ(shown.Changes.size(), 1u);
    // Saved again, to the same length, after the plan was shown.
    t.Put("A.BIN", "again");
    EXPECT_NE(Refusal([&] {
                  UpdateArchive(t.archive, t.folder, {}, "", {}, &shown.Changes);
              }).find("have changed since the update's plan was shown; nothing was written"),
              std::string::npos);
    EXPECT_TRUE(t.Untouched());

    const TUpdatePlan again = PlanUpdate(t.archive, t.folder);
    EXPECT_EQ(UpdateArchive(t.archive, t.folder, {}, "", {}, &again.Changes).Changes.size(), 1u);
    EXPECT_FALSE(t.Untouched());
}

TEST(Update, IntoAnOutputLeavesTheArchiveAndTheManifest)
{
    const Exported t(Mod(), false);
    t.Put("B.BIN", "changed");
    const std::string manifest = ReadFile(t.Path(kManifestName));
    const std::string output = t.dir / "new.kvb";
    UpdateArchive(t.archive, t.folder, {}, output);
    EXPECT_TRUE(t.Untouched());
    EXPECT_EQ(ReadFile(t.Path(kManifestName)), manifest);
    EXPECT_TRUE(ReadFile(output) == ArchiveBuilder()
                                        .Add("GREY.TEX", kGrey)
                                        .Add("A.BIN", PatternBytes(100, 1))
                                        .Add("PIC.TEX", kPicture)
                                        .Add("B.BIN", "changed")
                                        .AddAlias("SAME.TEX", 0)
                                        .Build());
}

TEST(Update, TellsAFileUnchangedByItsStampOnlyWhenTheManifestIsYounger)
{
    const Exported t(Mod(), false);
    const TUpdatePlan quick = PlanUpdate(t.archive, t.folder);
    EXPECT_EQ(quick.Read, 0);
    EXPECT_EQ(quick.Unchanged, 5);
    // A file stamped in the manifest's own tick could have changed in that tick.
    const auto time = fs::last_write_time(t.Path("A.BIN"));
    fs::last_write_time(t.Path(kManifestName), time);
    const TUpdatePlan racy = PlanUpdate(t.archive, t.folder);
    EXPECT_GE(racy.Read, 1);
    EXPECT_TRUE(racy.Changes.empty());
}

TEST(Update, PicturesWithColoursThePaletteLacksAreMappedOrGetANewPalette)
{
    const Exported t(Mod(), true);
    const std::string painted = Painted(ReadFile(t.Path("GREY.png")), 0, 0, TTexColour{0, 255, 0});
    t.Put("GREY.png", painted);
    const TUpdatePlan mapped = PlanUpdate(t.archive, t.folder);
    ASSERT_EQ(mapped.Changes.size(), 1u);
    EXPECT_EQ(mapped.Changes[0].Colours.Pixels, 1);
    EXPECT_GT(mapped.Changes[0].Colours.Largest, 0);
    if (!NewPalettesAvailable())
        return;
    UpdateArchive(t.archive, t.folder, {true, false}, "");
    const std::string made = MakeTexFromBytes(kGrey, "GREY.TEX", painted, "GREY.png", true).Bytes;
    EXPECT_NE(ReadFile(t.archive).find(made), std::string::npos);
}

TEST(Update, MissingFilesAndTheArchiveInTheFolderChangeNothing)
{
    TempDir dir;
    const std::string folder = dir / "mod", archive = folder + "/a.kvb";
    fs::create_directory(folder);
    const std::string before = Mod().Build();
    WriteFile(archive, before);
    ExportArchive(archive, folder);
    fs::remove(folder + "/A.BIN");
    const TUpdatePlan plan = UpdateArchive(archive, folder, {}, "");
    EXPECT_TRUE(plan.Changes.empty());
    EXPECT_EQ(plan.Missing, (Names{"A.BIN"}));
    EXPECT_TRUE(ReadFile(archive) == before);
}

TEST(Update, RefusesAndWritesNothing)
{
    struct Row {
        const char *what;
        std::function<void(const Exported &)> spoil;
        std::string error;
        TUpdateOptions options = {};
    };
    const std::vector<Row> rows = {
        {"another size", [](const Exported &t) { WriteFile(t.archive, t.before + "x"); },
         "is not the one "},
        {"another checksum",
         [](const Exported &t) {
             std::string bytes = t.before;
             bytes[bytes.size() - 30] ^= 1;
             WriteFile(t.archive, bytes);
         },
         "its checksum differs from the exported one's"},
        {"a manifest edited to another record",
         [](const Exported &t) {
             std::string text = ReadFile(t.Path(kManifestName));
             text.replace(text.find("\"name\":\"A.BIN\""), 14, "\"name\":\"X.BIN\"");
             WriteFile(t.Path(kManifestName), text);
         },
         "record 2 is named \"A.BIN\" there, not \"X.BIN\""},
        {"an extra file", [](const Exported &t) { t.Put("NOTES.TXT", "x"); },
         "holds a file that belongs to no entry of a.kvb: NOTES.TXT"},
        {"two files for one entry", [](const Exported &t) { t.Put("grey.png", "x"); },
         "Files GREY.TEX and grey.png of "},
#ifndef _WIN32
        // Wine makes no links, and Windows no pipes in a folder.
        {"a link where a file is read",
         [](const Exported &t) {
             fs::remove(t.Path("A.BIN"));
             fs::create_symlink(t.archive, t.Path("A.BIN"));
         },
         "A.BIN cannot be read: it is a link"},
        {"a pipe where a file is read",
         [](const Exported &t) {
             fs::remove(t.Path("B.BIN"));
             ASSERT_EQ(::mkfifo(t.Path("B.BIN").c_str(), 0600), 0);
         },
         "B.BIN cannot be read: it is a pipe"},
#endif
        {"shared data changed two ways",
         [](const Exported &t) {
             t.Put("SAME.TEX", "one");
             t.Put("GREY.TEX", "two");
         },
         "share, and each differently"},
        {"no manifest", [](const Exported &t) { fs::remove(t.Path(kManifestName)); },
         "holds no manifest of an export"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        const Exported t(Mod(), false);
        row.spoil(t);
        const std::string archive = ReadFile(t.archive);
        const auto listing = Listing(t.folder);
        for (const bool dry : {true, false}) {
            const std::string error = Refusal([&] {
                dry ? PlanUpdate(t.archive, t.folder, row.options)
                    : UpdateArchive(t.archive, t.folder, row.options, "");
            });
            EXPECT_NE(error.find(row.error), std::string::npos) << error;
            EXPECT_TRUE(ReadFile(t.archive) == archive);
            EXPECT_EQ(Listing(t.folder), listing);
        }
    }
}

TEST(Update, PassesOverFilesOfNoEntryOnlyWhenAsked)
{
    const Exported t(Mod(), false);
    t.Put("NOTES.TXT", "x");
    fs::create_directory(t.Path("sub"));
    const TUpdatePlan plan = PlanUpdate(t.archive, t.folder, {false, true});
    EXPECT_EQ(plan.Ignored, (Names{"NOTES.TXT"}));
    // A folder inside is no file of the export, and its own export is not this one's.
    EXPECT_NE(Refusal([&] { PlanUpdate(t.archive, t.Path("sub")); }).find("holds no manifest"),
              std::string::npos);
}

TEST(Update, TakesAFileNamedAsAnEntryAndAPictureForATextureExportedAsBytes)
{
    const Exported t(Mod(), false);
    fs::remove(t.Path("PIC.TEX"));
    TMemoryStream texture(kPicture);
    TTexRowReader reader(texture, kTexImageDataPosition);
    std::string png;
    WriteTexRowsAsPng(reader, "PIC.TEX",
                      [&](const char *bytes, size_t size) { png.append(bytes, size); });
    t.Put("pic.png", Painted(png, 1, 1, TTexColour{255, 255, 255}));
    const TUpdatePlan plan = UpdateArchive(t.archive, t.folder, {}, "");
    t.Settle();
    ASSERT_EQ(plan.Changes.size(), 1u);
    EXPECT_EQ(plan.Changes[0].TocIndex, 2);
    EXPECT_EQ(plan.Changes[0].File, "pic.png");
    // From now on the manifest names the picture for the entry.
    const TReadManifest read = ReadManifest(TOpenFolder(t.folder));
    EXPECT_EQ(read.Manifest.Entries[2].File, "pic.png");
    EXPECT_EQ(read.Manifest.Entries[2].Format, TFileFormat::Png);
    EXPECT_TRUE(UpdateArchive(t.archive, t.folder, {}, "").Changes.empty());
}

TEST(Update, CutShortOnceTheArchiveWasInPlaceIsCarriedOnFromTheNextManifest)
{
    const Exported t(Mod(), false);
    const std::string exported = ReadFile(t.Path(kManifestName));
    t.Put("A.BIN", "new data");
    UpdateArchive(t.archive, t.folder, {}, "");
    const std::string after = ReadFile(t.archive);
    // As a kill between the archive's rename and the manifest's would leave the folder.
    fs::rename(t.Path(kManifestName), t.Path(kNextManifestName));
    WriteFile(t.Path(kManifestName), exported);
    const TUpdatePlan plan = UpdateArchive(t.archive, t.folder, {}, "");
    EXPECT_TRUE(plan.Changes.empty());
    EXPECT_TRUE(ReadFile(t.archive) == after);
    EXPECT_FALSE(fs::exists(t.Path(kNextManifestName)));
    EXPECT_EQ(ReadManifest(TOpenFolder(t.folder)).Manifest.ArchiveSize, int64_t(after.size()));
    // A next manifest of an archive that never took its place is dropped.
    WriteFile(t.Path(kNextManifestName), exported);
    UpdateArchive(t.archive, t.folder, {}, "");
    EXPECT_FALSE(fs::exists(t.Path(kNextManifestName)));
}

#ifndef _WIN32
// Wine makes no links, and Windows no pipes in a folder.
TEST(Export, NeverWritesThroughALinkPlantedInTheFolderAndRefusesAPipe)
{
    TempDir dir;
    const std::string archive = dir / "a.kvb", folder = dir / "out", outside = dir / "outside";
    WriteFile(archive, Mod().Build());
    WriteFile(outside, "mine");
    fs::create_directory(folder);
    fs::create_symlink(outside, folder + "/A.BIN");
    fs::create_symlink(outside, folder + "/" + kManifestName);
    ExportArchive(archive, folder);
    EXPECT_EQ(ReadFile(outside), "mine");
    EXPECT_FALSE(fs::is_symlink(folder + "/A.BIN"));
    EXPECT_EQ(ReadFile(folder + "/A.BIN"), PatternBytes(100, 1));
    EXPECT_FALSE(fs::is_symlink(folder + "/" + kManifestName));

    // A manifest that is a link is not read.
    fs::remove(folder + "/" + kManifestName);
    fs::create_symlink(outside, folder + "/" + kManifestName);
    EXPECT_NE(Refusal([&] { PlanUpdate(archive, folder); }).find("holds no manifest"), std::string::npos);

    fs::remove(folder + "/B.BIN");
    ASSERT_EQ(::mkfifo((folder + "/B.BIN").c_str(), 0600), 0);
    EXPECT_NE(Refusal([&] { ExportArchive(archive, folder); }).find("it is a pipe"), std::string::npos);
    // Cut short, the export leaves no manifest to speak for files it did not write.
    EXPECT_FALSE(fs::exists(fs::symlink_status(folder + "/" + kManifestName)));
}
#endif

TEST(Update, ACancelAtAnyReportLeavesTheArchiveAndTheFolder)
{
    const Exported t(Mod(), false);
    t.Put("A.BIN", "new data");
    const auto listing = Listing(t.folder);
    int reports = 0;
    for (int cancelAt = 1;; ++cancelAt) {
        SCOPED_TRACE(cancelAt);
        int heard = 0;
        const auto progress = [&](int32_t, int32_t) {
            if (++heard == cancelAt)
                throw ECancelled();
        };
        try {
            UpdateArchive(t.archive, t.folder, {}, t.dir / "new.kvb", progress);
        } catch (const ECancelled &) {
            EXPECT_TRUE(t.Untouched());
            EXPECT_FALSE(fs::exists(t.dir / "new.kvb"));
            EXPECT_EQ(Listing(t.folder), listing);
            continue;
        }
        reports = heard;
        break;
    }
    // The archive's checksum, the files and the rebuild each report.
    EXPECT_GE(reports, 3);
}
