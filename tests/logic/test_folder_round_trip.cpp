// "Export for editing..." and "Update from folder..." through the main window's logic: the folder
// written, the plan shown as a list, and the archive rewritten only after OK with just what the
// list showed.
#include "logic/main_window_fixture.h"
#include "preview/png_image.h"
#include "support/same_bytes.h"
#include "support/tex_builder.h"
#include "tools/manifest.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

using namespace kvb;
using namespace kvb::test;
namespace fs = std::filesystem;

namespace {

struct RoundTrip : Main {
    std::string path = dir / "a.kvb";
    std::string folder = dir / "mod";
    std::string before;

    RoundTrip()
    {
        before = ArchiveBuilder()
                     .Add("ONE.BIN", "one")
                     .Add("PIC.TEX", GradientTex(16, 8).Build())
                     .Add("TWO.BIN", "second entry")
                     .Build();
        WriteFile(path, before);
        Open(path);
        dialogs.folders.push_back(folder);
        Do([&] { main.mnuExportForEditingClick(); });
        // The manifest an hour ahead: the edits below are told by their content.
        fs::last_write_time(fs::path(folder) / kManifestName,
                            fs::file_time_type::clock::now() + std::chrono::hours(1));
    }
    void Edit(const std::string &name, const std::string &bytes) const
    {
        WriteFile(fs::path(folder) / name, bytes);
        fs::last_write_time(fs::path(folder) / name,
                            fs::file_time_type::clock::now() - std::chrono::hours(1));
    }
    void Update(bool ok)
    {
        dialogs.folders.push_back(folder);
        dialogs.answers.push_back(ok);
        Do([&] { main.mnuUpdateFromFolderClick(); });
    }
};

} // namespace

TEST(FolderRoundTrip, ExportsTexturesAsPicturesAndPutsBackOnlyWhatTheListShowedAfterOk)
{
    RoundTrip t;
    EXPECT_TRUE(fs::exists(fs::path(t.folder) / "PIC.png"));
    EXPECT_TRUE(fs::exists(fs::path(t.folder) / "ONE.BIN"));
    EXPECT_EQ(t.v.status, "3 files exported to " + t.folder +
                              " for editing; \"Update from folder...\" puts the changed ones back.");

    // The picture painted in a colour its palette lacks, and a file of bytes changed.
    TRgbImage picture = DecodePng(ReadFile(fs::path(t.folder) / "PIC.png"), "test");
    picture.Pixels[0] = TTexColour{1, 254, 3};
    t.Edit("PIC.png", EncodePng(picture));
    t.Edit("TWO.BIN", "2");

    // Cancel writes nothing.
    t.Update(false);
    EXPECT_TRUE(SameBytes(ReadFile(t.path), t.before));
    const logic::TListQuestion &list = t.dialogs.lastList;
    EXPECT_EQ(list.Columns,
              (std::vector<std::string>{"Record", "Entry", "File", "Old size", "New size", "Colours"}));
    ASSERT_EQ(list.Rows.size(), 2u);
    EXPECT_EQ(list.Rows[0][0], "2");
    EXPECT_EQ(list.Rows[0][1], "PIC.TEX");
    EXPECT_EQ(list.Rows[0][5].substr(0, 43), "1 of 128 pixels take the nearest colour (by");
    EXPECT_EQ(list.Rows[1], (std::vector<std::string>{"3", "TWO.BIN", "TWO.BIN", "12", "1", ""}));
    EXPECT_NE(list.Text.find("with the data of 2 entries replaced"), std::string::npos);
    EXPECT_NE(list.Text.find("nearest colours"), std::string::npos);

    // OK rewrites the archive, shows it again and selects the first changed entry.
    t.Update(true);
    EXPECT_EQ(t.Entry(t.path, 0), "one");
    EXPECT_EQ(t.Entry(t.path, 2), "2");
    EXPECT_EQ(t.v.rows[2][2], "1");
    EXPECT_EQ(t.v.selectedRow, 1);
    EXPECT_EQ(t.v.status, "2 entries updated from " + t.folder + "; a.kvb was rewritten.");

    // Then nothing is left to put back.
    t.dialogs.folders.push_back(t.folder);
    t.Do([&] { t.main.mnuUpdateFromFolderClick(); });
    EXPECT_EQ(t.dialogs.Last(),
              "notice: Nothing to update: the files of " + t.folder + " hold what a.kvb holds.");
}

TEST(FolderRoundTrip, AFileSavedAgainWhileTheListIsShownIsNotPutBackUnseen)
{
    RoundTrip t;
    t.Edit("ONE.BIN", "111");
    t.dialogs.duringNextQuestion = [&] { t.Edit("ONE.BIN", "222"); };
    t.Update(true);
    EXPECT_NE(t.dialogs.Last().find(
                  "have changed since the update's plan was shown; nothing was written"),
              std::string::npos);
    EXPECT_TRUE(SameBytes(ReadFile(t.path), t.before));

    // Without an open archive there is nothing to export or update.
    Main empty;
    empty.Do([&] { empty.main.mnuUpdateFromFolderClick(); });
    EXPECT_EQ(empty.dialogs.Last(), "notice: No archive is open. Open a KVB file first!");
}
