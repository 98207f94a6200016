#include "archive/checksum.h"
#include "platform/errors.h"
#include "platform/stream.h"
#include "preview/png_image.h"
#include "support/archive_builder.h"
#include "support/same_bytes.h"
#include "support/tex_builder.h"
#include "tools/creation.h"
#include "tools/export.h"
#include "tools/manifest.h"
#include "tools/mod_package.h"
#include "tools/rebuild.h"
#include "tools/update.h"
#include "tools/zip_file.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>

using namespace kvb;
using namespace kvb::test;
namespace fs = std::filesystem;

namespace {

const std::string kGrey = GradientTex(16, 8).Build();
const std::string kV3(3602, '3'), kV4(3700, '4');

ArchiveBuilder Original()
{
    ArchiveBuilder b;
    b.Validation(kV3)
        .Add("GREY.TEX", kGrey)
        .Add("A.BIN", PatternBytes(100, 1))
        .Add("B.BIN", PatternBytes(50, 2));
    return b;
}

// The original with A.BIN longer, the texture changed and NEW.BIN added: what applying the mod
// made of the two gives, byte for byte.
std::string Modded()
{
    return ArchiveBuilder()
        .Validation(kV4)
        .Add("GREY.TEX", GradientTex(16, 9).Build())
        .Add("A.BIN", PatternBytes(300, 3))
        .Add("B.BIN", PatternBytes(50, 2))
        .Add("NEW.BIN", PatternBytes(77, 4))
        .Build();
}

std::string Refusal(const std::function<void()> &call)
{
    try {
        call();
    } catch (const EKVBError &e) {
        return e.what();
    }
    return "done";
}

struct Scene {
    TempDir dir;
    std::string original = dir / "ORIG.KVB";
    std::string modded = dir / "MODDED.KVB";
    std::string game = dir / "GAME.KVB";
    std::string package = dir / "better.kvbmod";
    std::string templates = dir / "templates";

    Scene()
    {
        WriteFile(original, Original().Build());
        WriteFile(modded, Modded());
        WriteFile(game, Original().Build());
        fs::create_directory(templates);
        WriteFile(templates + "/KVB.4", kV4);
    }
    std::string Undo() const { return UndoPackagePath(game, "Better fonts"); }
    void Create() const { CreateModPackage(original, modded, package, "Better fonts", "1.2"); }
};

} // namespace

TEST(ModPackage, CreateApplyRevertGivesTheModdedArchiveAndThenTheOriginalByteForByte)
{
    Scene s;
    s.Create();
    const TModManifest manifest = ReadModPackage(s.package);
    EXPECT_EQ(manifest.Name, "Better fonts");
    EXPECT_EQ(manifest.Version, "1.2");
    ASSERT_EQ(manifest.Originals.size(), 2u);
    EXPECT_EQ(manifest.Originals[1].Name, "A.BIN");
    EXPECT_EQ(manifest.Originals[1].Length, 100);
    ASSERT_EQ(manifest.Entries.size(), 3u);
    EXPECT_EQ(manifest.Entries[2].AddedName, "NEW.BIN");

    const TModPlan plan = PlanModApply(s.game, s.package, {s.templates});
    EXPECT_TRUE(plan.CanApply());
    ASSERT_EQ(plan.Changes.size(), 3u);
    EXPECT_EQ(plan.Changes[1].OldLength, 100);
    EXPECT_EQ(plan.Changes[1].NewLength, 300);
    EXPECT_EQ(plan.Changes[2].TocIndex, 3);
    EXPECT_FALSE(plan.Changes[2].OldLength);
    EXPECT_TRUE(SameBytes(ReadFile(s.game), Original().Build())) << "a plan wrote";

    ApplyMod(s.game, s.package, {s.templates});
    EXPECT_TRUE(SameBytes(ReadFile(s.game), Modded()));
    const std::vector<TAppliedMod> applied = AppliedMods(s.game);
    ASSERT_EQ(applied.size(), 1u);
    EXPECT_EQ(applied[0].Name, "Better fonts");
    EXPECT_EQ(applied[0].UndoPackage, s.Undo());
    EXPECT_TRUE(applied[0].InPlace);

    EXPECT_NE(Refusal([&] { ApplyMod(s.game, s.package, {s.templates}); }).find("is applied to"),
              std::string::npos);
    EXPECT_TRUE(PlanModApply(s.game, s.package, {s.templates}).AlreadyApplied);

    const TModRevert reverted = RevertMod(s.game, s.package);
    EXPECT_EQ(reverted.Changes.size(), 3u);
    EXPECT_TRUE(SameBytes(ReadFile(s.game), Original().Build()));
    EXPECT_FALSE(fs::exists(s.Undo()));
    EXPECT_TRUE(AppliedMods(s.game).empty());
}

// A mod made from an export's folder, a picture painted and a file replaced, applies as kvb
// update would have written the archive, and reverts to the original.
TEST(ModPackage, FromAnExportFolderItCarriesWhatTheUpdateWouldPutBack)
{
    Scene s;
    const std::string folder = s.dir / "out";
    ExportArchive(s.original, folder, {true});
    fs::last_write_time(folder + "/" + kManifestName,
                        fs::file_time_type::clock::now() + std::chrono::hours(1));
    TRgbImage image = DecodePng(ReadFile(folder + "/GREY.png"), "test");
    image.Pixels[3] = TTexColour{0, 0, 0};
    WriteFile(folder + "/GREY.png", EncodePng(image));
    WriteFile(folder + "/B.BIN", PatternBytes(20, 9));
    for (const char *name : {"GREY.png", "B.BIN"})
        fs::last_write_time(folder + "/" + name,
                            fs::file_time_type::clock::now() - std::chrono::hours(1));

    CreateModPackageFromFolder(s.original, folder, s.package, "", "1");
    EXPECT_EQ(ReadModPackage(s.package).Name, "better");
    const std::string updated = s.dir / "UPDATED.KVB";
    UpdateArchive(s.original, folder, {}, updated);
    ApplyMod(s.game, s.package);
    EXPECT_TRUE(SameBytes(ReadFile(s.game), ReadFile(updated)));
    RevertMod(s.game, s.package);
    EXPECT_TRUE(SameBytes(ReadFile(s.game), Original().Build()));
    EXPECT_NE(Refusal([&] {
                  CreateModPackageFromFolder(s.original, folder, folder + "/x.kvbmod", "x", "1");
              }).find("the folder it is made from"),
              std::string::npos);
}

TEST(ModPackage, AnotherVersionOfTheArchiveIsRefusedListingEveryEntryAndNothingIsWritten)
{
    Scene s;
    s.Create();
    // A.BIN of another length, GREY.TEX with other data of the same length.
    std::string texture = kGrey;
    texture.back() ^= 1;
    const std::string other = ArchiveBuilder()
                                  .Validation(kV3)
                                  .Add("GREY.TEX", texture)
                                  .Add("A.BIN", PatternBytes(101, 1))
                                  .Add("B.BIN", "b")
                                  .Build();
    WriteFile(s.game, other);
    const auto listing = Listing(s.dir.Path());

    const TModPlan plan = PlanModApply(s.game, s.package, {s.templates});
    EXPECT_FALSE(plan.CanApply());
    ASSERT_EQ(plan.Mismatches.size(), 2u);
    EXPECT_EQ(plan.Mismatches[1].Text.substr(0, 45), "entry 2 (A.BIN): 101 bytes; the mod expects 1");
    EXPECT_NE(plan.Mismatches[0].Text.find("entry 1 (GREY.TEX): " + std::to_string(kGrey.size()) +
                                           " bytes, checksum"),
              std::string::npos);

    const std::string refusal = Refusal([&] { ApplyMod(s.game, s.package, {s.templates}); });
    EXPECT_NE(refusal.find("does not fit archive " + s.game), std::string::npos) << refusal;
    EXPECT_NE(refusal.find("entry 1 (GREY.TEX)"), std::string::npos) << refusal;
    EXPECT_NE(refusal.find("entry 2 (A.BIN)"), std::string::npos) << refusal;
    EXPECT_TRUE(SameBytes(ReadFile(s.game), other));
    EXPECT_EQ(Listing(s.dir.Path()), listing);
}

TEST(ModPackage, AnAddedEntryWithoutItsTemplateIsRefusedSayingWhichTemplate)
{
    Scene s;
    s.Create();
    fs::remove(s.templates + "/KVB.4");
    const TModPlan plan = PlanModApply(s.game, s.package, {s.templates});
    ASSERT_TRUE(plan.MissingTemplate);
    EXPECT_NE(plan.MissingTemplate->find(
                  "Applying Better fonts adds 1 entry: the archive of 4 entries needs the "
                  "template KVB.4"),
              std::string::npos)
        << *plan.MissingTemplate;
    EXPECT_THROW(ApplyMod(s.game, s.package, {s.templates}), ENoTemplateError);
    EXPECT_TRUE(SameBytes(ReadFile(s.game), Original().Build()));
    EXPECT_FALSE(fs::exists(s.Undo()));
}

TEST(ModPackage, RevertRefusesEntriesChangedSinceTheApplyAndWritesNothing)
{
    Scene s;
    s.Create();
    ApplyMod(s.game, s.package, {s.templates});
    WriteFile(s.dir / "other", "other data");
    ReplaceEntries(s.game, {{1, s.dir / "other"}}, "");
    const std::string changed = ReadFile(s.game);
    const std::string refusal = Refusal([&] { RevertMod(s.game, s.package); });
    EXPECT_NE(refusal.find("have changed since it was applied"), std::string::npos) << refusal;
    EXPECT_NE(refusal.find("entry 2 (A.BIN): 10 bytes"), std::string::npos) << refusal;
    EXPECT_TRUE(SameBytes(ReadFile(s.game), changed));
    EXPECT_TRUE(fs::exists(s.Undo()));
    EXPECT_FALSE(AppliedMods(s.game).at(0).InPlace);
}

// An undo package whose archive never took its place (an apply cut short in between) claims
// nothing: the mod is listed as not in place, applies again, and a revert only removes it.
TEST(ModPackage, AnUndoPackageOfAnArchiveThatNeverTookItsPlaceClaimsNothing)
{
    Scene s;
    s.Create();
    ApplyMod(s.game, s.package, {s.templates});
    WriteFile(s.game, Original().Build());
    EXPECT_FALSE(AppliedMods(s.game).at(0).InPlace);
    const TModRevert reverted = RevertMod(s.game, s.package);
    ASSERT_EQ(reverted.Notes.size(), 1u);
    EXPECT_NE(reverted.Notes[0].find("was not applied"), std::string::npos);
    EXPECT_FALSE(fs::exists(s.Undo()));
    EXPECT_TRUE(SameBytes(ReadFile(s.game), Original().Build()));

    ApplyMod(s.game, s.package, {s.templates});
    WriteFile(s.game, Original().Build());
    ApplyMod(s.game, s.package, {s.templates});
    EXPECT_TRUE(SameBytes(ReadFile(s.game), Modded()));
    EXPECT_TRUE(AppliedMods(s.game).at(0).InPlace);
}

TEST(ModPackage, CreationRefusesRemovedEntriesAndNothingToCarry)
{
    Scene s;
    WriteFile(s.modded,
              ArchiveBuilder().Validation(kV3).Add("GREY.TEX", kGrey).Add("B.BIN", "x").Build());
    EXPECT_NE(Refusal([&] { s.Create(); }).find("lacks 1 entries of " + s.original + " (2 (A.BIN))"),
              std::string::npos);
    EXPECT_NE(Refusal([&] {
                  CreateModPackage(s.original, s.game, s.package, "x", "1");
              }).find("nothing for a mod"),
              std::string::npos);
    EXPECT_FALSE(fs::exists(s.package));
}

namespace {

// A package made by hand: entries and a manifest as given.
std::string HandMade(const std::vector<std::pair<std::string, std::string>> &entries)
{
    TMemoryStream out;
    TZipWriter zip(out);
    for (const auto &[name, data] : entries)
        zip.Add(name, data);
    zip.Finish();
    return out.Bytes();
}

std::string ManifestWith(const std::string &entries, const std::string &replaces = "")
{
    return R"({"format":"kvbmod","version":1,"kind":"mod","mod":{"name":"evil","version":"1"},)"
           R"("original":{"file":"GAME.KVB","size":1,"count":3},"replaces":[)" +
           replaces + R"(],"entries":[)" + entries + "]}";
}

} // namespace

TEST(ModPackage, HostilePackagesAreRefusedNamingThePackageAndNothingIsWritten)
{
    const std::string data = "new data";
    const std::string sum = ChecksumText(Checksum64(data));
    const std::string a = ChecksumText(Checksum64(PatternBytes(100, 1)));
    const std::string replacesA =
        R"({"number":2,"name":"A.BIN","occurrence":1,"length":100,"checksum":")" + a + R"("})";
    const auto adds = [&](const std::string &file, const std::string &name, const std::string &length,
                          const std::string &checksum) {
        return R"({"file":")" + file + R"(","adds":")" + name +
               R"(","reserved1":14,"reserved2":0,"length":)" + length + R"(,"checksum":")" + checksum +
               R"("})";
    };
    struct Row {
        const char *what;
        std::string package;
        const char *message;
    };
    const Row rows[] = {
        {"a path with ..",
         HandMade({{"kvbmod.json", ManifestWith(adds("../x", "X", "8", sum))}, {"entries/1", data}}),
         "not a path of its own"},
        {"an absolute path",
         HandMade({{"kvbmod.json", ManifestWith(adds("/etc/x", "X", "8", sum))}, {"entries/1", data}}),
         "not a path of its own"},
        {"a huge size",
         HandMade({{"kvbmod.json", ManifestWith(adds("entries/1", "X", "4294967296", sum))},
                   {"entries/1", data}}),
         "A length must be"},
        {"a size that is not the entry's",
         HandMade({{"kvbmod.json", ManifestWith(adds("entries/1", "X", "7", sum))}, {"entries/1", data}}),
         "holds 8 bytes, and its manifest says 7"},
        {"a checksum that is not the entry's",
         HandMade({{"kvbmod.json", ManifestWith(adds("entries/1", "X", "8", a))}, {"entries/1", data}}),
         "does not hold the data its manifest's checksum"},
        {"an entry it lacks",
         HandMade({{"kvbmod.json", ManifestWith(adds("entries/2", "X", "8", sum))}, {"entries/1", data}}),
         "which it does not hold"},
        {"a record replaced twice",
         HandMade({{"kvbmod.json",
                    ManifestWith(R"({"file":"entries/1","replaces":2,"length":8,"checksum":")" + sum +
                                     R"("},{"file":"entries/2","replaces":2,"length":8,"checksum":")" +
                                     sum + R"("})",
                                 replacesA)},
                   {"entries/1", data},
                   {"entries/2", data}}),
         "record 2 is replaced twice"},
        {"a name the archive cannot hold",
         HandMade({{"kvbmod.json", ManifestWith(adds("entries/1", "A_NAME_OF_TWENTY_ONE1", "8", sum))},
                   {"entries/1", data}}),
         "a name must be text an archive can hold"},
        {"no manifest", HandMade({{"entries/1", data}}), "holds no kvbmod.json"},
        {"no zip", "GAME.KVB is no zip", "Mod package"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        Scene s;
        WriteFile(s.templates + "/KVB.4", kV4);
        WriteFile(s.package, row.package);
        const auto listing = Listing(s.dir.Path());
        const std::string refusal = Refusal([&] { ApplyMod(s.game, s.package, {s.templates}); });
        EXPECT_NE(refusal.find(s.package), std::string::npos) << refusal;
        EXPECT_NE(refusal.find(row.message), std::string::npos) << refusal;
        EXPECT_NE(Refusal([&] { PlanModApply(s.game, s.package, {s.templates}); }), "done");
        EXPECT_TRUE(SameBytes(ReadFile(s.game), Original().Build()));
        EXPECT_EQ(Listing(s.dir.Path()), listing);
    }
}
