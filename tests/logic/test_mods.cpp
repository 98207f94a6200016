// "Apply mod..." and "Revert mod..." through the main window's logic: the plan shown as a list,
// the archive rewritten only after OK, the mod named in the info lines, and the original given
// back; what does not fit shown and nothing written.
#include "logic/main_window_fixture.h"
#include "platform/program_folder.h"
#include "support/same_bytes.h"
#include "tools/mod_package.h"
#include "tools/rebuild.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace kvb;
using namespace kvb::test;
namespace fs = std::filesystem;

namespace {

const std::string kV4(3602, '4'), kV5(3700, '5');

ArchiveBuilder Original()
{
    ArchiveBuilder b;
    b.Validation(kV4)
        .Add("A.BIN", PatternBytes(40, 1))
        .Add("B.BIN", PatternBytes(50, 2))
        .Add("C.BIN", PatternBytes(60, 3))
        .Add("D.BIN", PatternBytes(70, 4));
    return b;
}

// B.BIN longer and D.BIN shorter: the archive that applying the mod gives.
ArchiveBuilder Modded()
{
    ArchiveBuilder b;
    b.Validation(kV4)
        .Add("A.BIN", PatternBytes(40, 1))
        .Add("B.BIN", PatternBytes(500, 5))
        .Add("C.BIN", PatternBytes(60, 3))
        .Add("D.BIN", PatternBytes(7, 6));
    return b;
}

// The same with NEW.BIN added, and the validation block of five entries.
std::string ModdedWithAddition()
{
    return Modded().Validation(kV5).Add("NEW.BIN", PatternBytes(77, 7)).Build();
}

struct Mods : Main {
    std::string game = dir / "GAME.KVB";
    std::string package = dir / "fonts.kvbmod";
    std::string undo = dir / "GAME.KVB.Better_fonts.kvbundo";
    // The template for the archive with an added entry, where the window looks for it.
    std::string templatePath = JoinPath(ExecutableFolder(), "KVB.5");

    Mods()
    {
        WriteFile(game, Original().Build());
        Package("Better fonts", "1.2", Modded().Build(), package);
        Open(game);
    }
    ~Mods() { fs::remove(PathFromUtf8(templatePath)); }
    bool PlaceTemplate()
    {
        try {
            WriteFile(PathFromUtf8(templatePath), kV5);
            return true;
        } catch (const std::exception &) {
            return false;
        }
    }
    void Package(const std::string &name, const std::string &version, const std::string &modded,
                 const std::string &output)
    {
        const std::string original = Write("original.kvb", Original().Build());
        const std::string changed = Write("modded.kvb", modded);
        CreateModPackage(original, changed, output, name, version);
    }
    void Apply(const std::string &chosen, std::optional<bool> ok)
    {
        dialogs.files.push_back(chosen);
        if (ok)
            dialogs.answers.push_back(*ok);
        Do([&] { main.mnuApplyModClick(); });
    }
    void Revert(bool yes)
    {
        dialogs.answers.push_back(yes);
        Do([&] { main.mnuRevertModClick(); });
    }
};

} // namespace

TEST(ModWindow, ApplyShowsThePlanWritesOnOkNamesTheModAndRevertGivesBackTheOriginal)
{
    Mods t;
    const Lines plain = t.v.info;
    ASSERT_EQ(plain.size(), 4u) << "no undo package beside it: the four lines alone";

    // Cancel writes nothing.
    t.Apply(t.package, false);
    EXPECT_EQ(t.dialogs.lastFile.Filter, "Mod packages|*.kvbmod|All files|*.*");
    EXPECT_TRUE(SameBytes(ReadFile(t.game), Original().Build()));
    EXPECT_FALSE(fs::exists(t.undo));
    const logic::TListQuestion &list = t.dialogs.lastList;
    EXPECT_EQ(list.Caption, "Apply mod");
    EXPECT_EQ(list.Columns,
              (std::vector<std::string>{"Record", "Entry", "Change", "Old size", "New size"}));
    EXPECT_EQ(list.Rows, (std::vector<std::vector<std::string>>{{"2", "B.BIN", "replaced", "50", "500"},
                                                                {"4", "D.BIN", "replaced", "70", "7"}}));
    EXPECT_EQ(list.Text, "The archive file GAME.KVB will be rewritten with the mod Better fonts 1.2 "
                         "(fonts.kvbmod): 2 entries replaced. What it replaces is kept in "
                         "GAME.KVB.Better_fonts.kvbundo beside the archive, from which \"Revert "
                         "mod...\" puts it back.\nContinue?");

    // OK rewrites the archive, shows it again with the mod named, and selects the first change.
    t.Apply(t.package, true);
    ASSERT_TRUE(SameBytes(ReadFile(t.game), Modded().Build())) << t.dialogs.Last();
    EXPECT_TRUE(fs::exists(t.undo));
    EXPECT_EQ(t.v.status, "Better fonts 1.2 applied to GAME.KVB: 2 entries replaced; undo "
                          "package GAME.KVB.Better_fonts.kvbundo");
    Lines withMod = plain;
    withMod.push_back("Mod applied: Better fonts 1.2");
    EXPECT_EQ(t.v.info, withMod);
    EXPECT_EQ(t.v.selectedRow, 1);

    // Applied once, it is not offered again.
    const size_t shown = t.dialogs.shown.size();
    t.Apply(t.package, std::nullopt);
    ASSERT_EQ(t.dialogs.shown.size(), shown + 1);
    EXPECT_EQ(t.dialogs.Last(), "notice: The mod Better fonts 1.2 (fonts.kvbmod) cannot be applied to "
                                "GAME.KVB; nothing was written.\nIt is applied already: its undo "
                                "package GAME.KVB.Better_fonts.kvbundo is beside the archive, and the "
                                "archive holds what the mod wrote.");

    // No writes the archive nothing; Yes gives back the original, byte for byte.
    t.Revert(false);
    EXPECT_TRUE(SameBytes(ReadFile(t.game), Modded().Build()));
    EXPECT_EQ(t.dialogs.Last(),
              "question Revert mod: The archive file GAME.KVB will be rewritten without mod Better "
              "fonts 1.2: 2 entries put back as they were, from the undo package "
              "GAME.KVB.Better_fonts.kvbundo, which is removed afterwards. Continue?");
    t.Revert(true);
    EXPECT_TRUE(SameBytes(ReadFile(t.game), Original().Build())) << t.dialogs.Last();
    EXPECT_FALSE(fs::exists(t.undo));
    EXPECT_EQ(t.v.info, plain);
    EXPECT_EQ(t.v.status, "Better fonts 1.2 reverted on GAME.KVB: 2 entries put back.");

    // Nothing left to revert.
    t.Do([&] { t.main.mnuRevertModClick(); });
    EXPECT_EQ(t.dialogs.Last(), "notice: No mod is recorded as applied to GAME.KVB: there is no undo "
                                "package of a mod beside it.");
}

TEST(ModWindow, AModThatDoesNotFitIsShownWithWhatDiffersAndNothingIsWritten)
{
    // Another version of the archive: B.BIN is not what the mod replaces.
    Mods t;
    const std::string other = ArchiveBuilder()
                                  .Validation(kV4)
                                  .Add("A.BIN", PatternBytes(40, 1))
                                  .Add("B.BIN", PatternBytes(51, 2))
                                  .Add("C.BIN", PatternBytes(60, 3))
                                  .Add("D.BIN", PatternBytes(70, 4))
                                  .Build();
    WriteFile(t.game, other);
    t.Apply(t.package, std::nullopt);
    EXPECT_TRUE(t.dialogs.lastList.Rows.empty()) << "offered to confirm";
    const std::string shown = t.dialogs.Last();
    EXPECT_EQ(shown.rfind("notice: The mod Better fonts 1.2 (fonts.kvbmod) cannot be applied to "
                          "GAME.KVB; nothing was written.\nGAME.KVB is not the version of the archive "
                          "the mod was made for; 1 entry is not what the mod expects:\nentry 2 "
                          "(B.BIN): 51 bytes",
                          0),
              0u)
        << shown;
    EXPECT_TRUE(SameBytes(ReadFile(t.game), other));
    EXPECT_FALSE(fs::exists(t.undo));

    // A package written again while its plan is shown is not applied unseen.
    WriteFile(t.game, Original().Build());
    t.dialogs.duringNextQuestion = [&] {
        t.Package("Better fonts", "1.3",
                  ArchiveBuilder()
                      .Validation(kV4)
                      .Add("A.BIN", "changed")
                      .Add("B.BIN", PatternBytes(50, 2))
                      .Add("C.BIN", PatternBytes(60, 3))
                      .Add("D.BIN", PatternBytes(70, 4))
                      .Build(),
                  t.package);
    };
    t.Apply(t.package, true);
    EXPECT_EQ(t.dialogs.Last(), "error: The mod package " + t.package +
                                    " has changed since its plan was shown; nothing was written.");
    EXPECT_TRUE(SameBytes(ReadFile(t.game), Original().Build()));
    EXPECT_FALSE(fs::exists(t.undo));

    // Cancel while the archive is rewritten leaves it, and no undo package, as it was.
    t.v.whenEvents = [&] { t.main.btnCancelClick(); };
    t.Apply(t.package, true);
    t.v.whenEvents = nullptr;
    EXPECT_EQ(t.v.status, "Cancelled: GAME.KVB was left as it was.") << t.dialogs.Last();
    EXPECT_TRUE(SameBytes(ReadFile(t.game), Original().Build()));
    EXPECT_FALSE(fs::exists(t.undo));
}

TEST(ModWindow, RevertIsRefusedNamingTheEntriesChangedSinceAndPicksAmongSeveralMods)
{
    Mods t;
    t.Apply(t.package, true);
    ASSERT_TRUE(fs::exists(t.undo)) << t.dialogs.Last();

    // A second mod, of A.BIN only, applied after the first.
    const std::string second = t.dir / "a.kvbmod";
    const std::string secondUndo = t.dir / "GAME.KVB.Tweak.kvbundo";
    t.Package("Tweak", "",
              ArchiveBuilder()
                  .Validation(kV4)
                  .Add("A.BIN", "tweaked")
                  .Add("B.BIN", PatternBytes(50, 2))
                  .Add("C.BIN", PatternBytes(60, 3))
                  .Add("D.BIN", PatternBytes(70, 4))
                  .Build(),
              second);
    t.Apply(second, true);
    ASSERT_TRUE(fs::exists(secondUndo)) << t.dialogs.Last();
    EXPECT_EQ(Lines(t.v.info.end() - 2, t.v.info.end()),
              (Lines{"Mod applied: Better fonts 1.2", "Mod applied: Tweak"}));
    const std::string both = ReadFile(t.game);

    // Several: the user picks an undo package; a file that is none of them is refused.
    t.dialogs.files.push_back(t.package);
    t.Do([&] { t.main.mnuRevertModClick(); });
    EXPECT_EQ(t.dialogs.lastFile.Filter, "Undo packages|*.kvbundo|All files|*.*");
    EXPECT_EQ(t.dialogs.lastFile.Folder, ParentFolderOf(t.game));
    EXPECT_EQ(t.dialogs.Last(), "notice: fonts.kvbmod is not the undo package of a mod applied to "
                                "GAME.KVB. Those beside it are: GAME.KVB.Better_fonts.kvbundo, "
                                "GAME.KVB.Tweak.kvbundo.");
    EXPECT_TRUE(SameBytes(ReadFile(t.game), both));

    // D.BIN, which the first mod wrote, replaced since: its revert names it and writes nothing.
    const std::string replacement = t.Write("d.bin", "replaced since");
    ReplaceEntries(t.game, {{3, replacement}}, {});
    t.Open(t.game);
    EXPECT_EQ(t.v.info[t.v.info.size() - 2],
              "Mod applied: Better fonts 1.2 (the archive does not hold all it wrote)");
    const std::string changed = ReadFile(t.game);
    t.dialogs.files.push_back(t.undo);
    t.Revert(true);
    const std::string refusal = t.dialogs.Last();
    EXPECT_EQ(refusal.rfind("error: Mod Better fonts cannot be reverted on " + t.game +
                                ": entries have changed since it was applied; nothing was written.\n",
                            0),
              0u)
        << refusal;
    EXPECT_NE(refusal.find("D.BIN"), std::string::npos) << refusal;
    EXPECT_TRUE(SameBytes(ReadFile(t.game), changed));
    EXPECT_TRUE(fs::exists(t.undo));

    // The other one, picked, is reverted.
    t.dialogs.files.push_back(secondUndo);
    t.Revert(true);
    EXPECT_EQ(t.v.status, "Tweak reverted on GAME.KVB: 1 entry put back.") << t.dialogs.Last();
    EXPECT_FALSE(fs::exists(secondUndo));
    EXPECT_EQ(Main::Entry(t.game, 0), PatternBytes(40, 1));

    // Without an open archive there is nothing to apply a mod to.
    Main empty;
    empty.Do([&] { empty.main.mnuApplyModClick(); });
    EXPECT_EQ(empty.dialogs.Last(), "notice: No archive is open. Open a KVB file first!");
}

TEST(ModWindow, AModThatAddsEntriesNeedsTheTemplateForTheCountAndRevertTakesThemOut)
{
    Mods t;
    t.Package("Better fonts", "1.2", ModdedWithAddition(), t.package);

    // Without the template for the count it makes, the mod is not offered.
    t.Apply(t.package, std::nullopt);
    EXPECT_NE(t.dialogs.Last().find("needs the template KVB.5"), std::string::npos) << t.dialogs.Last();
    EXPECT_TRUE(SameBytes(ReadFile(t.game), Original().Build()));

    if (!t.PlaceTemplate())
        GTEST_SKIP() << "the program's folder cannot be written here";
    t.Apply(t.package, true);
    EXPECT_EQ(t.dialogs.lastList.Rows.back(),
              (std::vector<std::string>{"5", "NEW.BIN", "added", "-", "77"}));
    ASSERT_TRUE(SameBytes(ReadFile(t.game), ModdedWithAddition())) << t.dialogs.Last();
    EXPECT_EQ(t.v.status, "Better fonts 1.2 applied to GAME.KVB: 2 entries replaced, 1 added; undo "
                          "package GAME.KVB.Better_fonts.kvbundo");
    EXPECT_EQ(t.v.info[1], "# of files in archive: 5");
    EXPECT_EQ(t.v.rows.size(), 5u);

    t.Revert(true);
    EXPECT_NE(t.dialogs.Last().find("2 entries put back as they were, 1 removed, from"),
              std::string::npos)
        << t.dialogs.Last();
    EXPECT_TRUE(SameBytes(ReadFile(t.game), Original().Build())) << t.dialogs.Last();
    EXPECT_EQ(t.v.status, "Better fonts 1.2 reverted on GAME.KVB: 2 entries put back, 1 removed.");
    EXPECT_EQ(t.v.rows.size(), 4u);
}
