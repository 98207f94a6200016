// "Edit with..." and "Open with default program" through the main window's logic, with a
// scripted face that stands in for the other program: it saves the file and reports the change
// as the face's watcher does.
#include "logic/main_window_fixture.h"
#include "platform/temp_dir.h"
#include "preview/png_image.h"
#include "preview/tex.h"
#include "preview/tex_encode.h"
#include "support/tex_builder.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace kvb;
using namespace kvb::test;
namespace fs = std::filesystem;

namespace {

using TOpened = logic::TMainView::TOpened;

const std::string kUpdate = "question Edited file: The file ";

// An archive of a few entries, a texture among them, open in the window.
struct EditMain : Main {
    std::string path = dir / "a.kvb";
    TexBuilder texture = GradientTex(16, 8);

    EditMain()
    {
        WriteFile(path, ArchiveBuilder()
                            .Add("ONE.BIN", "one")
                            .Add("TWO.BIN", "second entry")
                            .Add("PIC.TEX", texture.Build())
                            .Add("THREE.BIN", "3")
                            .Build());
        Open(path);
    }
    // Opens entry index in the default program; the file handed over.
    std::string Edit(int index)
    {
        Select(index);
        Do([&] { main.mnuOpenWithDefaultClick(); });
        const logic::TEditedFile *edit = main.EditedFiles().Of(index);
        if (!edit)
            throw std::logic_error("not edited: " + dialogs.Last());
        return edit->File;
    }
};

} // namespace

TEST(EditWith, HandsTheEntryToAnotherProgramInAFileOfItsOwnAndWatchesIt)
{
    EditMain m;
    m.Do([&] { m.main.mnuEditWithClick(); });
    EXPECT_EQ(m.dialogs.Last(), "notice: Select a file first!");
    EXPECT_TRUE(m.v.opened.empty());

    m.Select(1);
    m.Do([&] { m.main.mnuEditWithClick(); });
    ASSERT_NE(m.main.EditedFiles().Of(1), nullptr) << m.dialogs.Last();
    const std::string file = m.main.EditedFiles().Of(1)->File;
    EXPECT_EQ(FileNameOf(file), "TWO.BIN");
    EXPECT_EQ(file.rfind(GetTempDir(), 0), 0u);
    EXPECT_EQ(ReadFile(PathFromUtf8(file)), "second entry");
    EXPECT_EQ(m.v.opened, Lines{"chosen " + file});
    EXPECT_TRUE(m.v.watched.count(file));
    EXPECT_EQ(
        m.v.status,
        "TWO.BIN is open in another program; each time it is saved there, it can go back into a.kvb.");

    // Opened again, in the default program: from the same file, changes and all.
    WriteFile(PathFromUtf8(file), "being edited");
    m.Do([&] { m.main.mnuOpenWithDefaultClick(); });
    EXPECT_EQ(m.v.opened.back(), "default " + file);
    EXPECT_EQ(ReadFile(PathFromUtf8(file)), "being edited");

    // A texture is handed over as a PNG picture of it.
    const std::string png = m.Edit(2);
    EXPECT_EQ(FileNameOf(png), "PIC.TEX.png");
    const TRgbImage picture = DecodePng(ReadFile(PathFromUtf8(png)), png);
    EXPECT_EQ(picture.Width, 16);
    EXPECT_EQ(picture.Pixels[size_t(2 * 16 + 3)], m.texture.Palette()[5]);
}

TEST(EditWith, EachSaveThatChangesTheFileAsksOnceAndYesPutsItBack)
{
    EditMain m;
    const std::string file = m.Edit(1);

    // A report without a change (the other program only read it, or wrote the same bytes).
    m.Do([&] { m.main.EditedFileChanged(ParentFolderOf(file)); });
    m.SaveEdited(file, "second entry");
    EXPECT_TRUE(m.dialogs.shown.empty()) << m.dialogs.Last();

    // No: the archive stays as it is, and the same content is not asked about again.
    const std::string before = ReadFile(m.path);
    m.dialogs.answers.push_back(false);
    m.SaveEdited(file, "first save!!");
    EXPECT_EQ(m.dialogs.shown, Lines{kUpdate + "TWO.BIN has been changed. Update the archive?"});
    EXPECT_EQ(ReadFile(m.path), before);
    m.Do([&] { m.main.EditedFileChanged(file); });
    EXPECT_EQ(m.dialogs.shown.size(), 1u);

    // A second save of the same size, at once: asked about again; Yes rebuilds the archive
    // with it, and the entry stays selected.
    m.Select(3);
    m.dialogs.answers.push_back(true);
    m.SaveEdited(file, "second save!");
    ASSERT_EQ(m.dialogs.shown.size(), 2u) << m.dialogs.Last();
    EXPECT_EQ(Main::Entry(m.path, 1), "second save!");
    EXPECT_EQ(Main::Entry(m.path, 0), "one");
    EXPECT_EQ(Main::Entry(m.path, 2), m.texture.Build());
    EXPECT_EQ(m.SelectedIndex(), 1);
    EXPECT_EQ(m.v.rows[1][2], "12");
    EXPECT_EQ(m.v.status, "Entry TWO.BIN updated from TWO.BIN; a.kvb was rewritten.");
    EXPECT_FALSE(m.main.EditedFiles().Of(1)->Pending);

    // The file stays in the other program's hands: the next save asks again.
    m.dialogs.answers.push_back(true);
    m.SaveEdited(file, "third");
    EXPECT_EQ(m.dialogs.shown.size(), 3u);
    EXPECT_EQ(Main::Entry(m.path, 1), "third");
}

TEST(EditWith, ASaveDuringTheQuestionIsAskedAboutAfterIt)
{
    EditMain m;
    const std::string one = m.Edit(0), three = m.Edit(3);
    m.dialogs.duringNextQuestion = [&] { m.SaveEdited(three, "three, changed"); };
    m.dialogs.answers = {false, true};
    m.SaveEdited(one, "one, changed");
    EXPECT_EQ(m.dialogs.shown, (Lines{kUpdate + "ONE.BIN has been changed. Update the archive?",
                                      kUpdate + "THREE.BIN has been changed. Update the archive?"}));
    EXPECT_EQ(Main::Entry(m.path, 0), "one");
    EXPECT_EQ(Main::Entry(m.path, 3), "three, changed");
}

TEST(EditWith, ASavedPictureGoesBackAsTheTextureThroughTheImportsColourQuestion)
{
    EditMain m;
    const std::string png = m.Edit(2);
    TRgbImage picture = DecodePng(ReadFile(PathFromUtf8(png)), png);
    picture.Pixels[size_t(2 * 16 + 3)] = m.texture.Palette()[200];
    m.dialogs.answers.push_back(true);
    m.SaveEdited(png, EncodePng(picture));
    ASSERT_EQ(m.dialogs.shown.size(), 1u) << m.dialogs.Last();
    TMemoryStream stream(Main::Entry(m.path, 2));
    const TTexImage back = TexToBitmap(stream, kTexImageDataPosition);
    EXPECT_EQ(back.IndexAt(3, 2), 200);
    EXPECT_EQ(back.IndexAt(4, 2), m.texture.Indices()[2 * 16 + 4]);

    // A colour the palette lacks: the import's own word on it, before anything is written.
    picture.Pixels[0] = {1, 254, 3};
    m.dialogs.answers = NewPalettesAvailable() ? std::deque<bool>{true, false} : std::deque<bool>{true};
    m.SaveEdited(png, EncodePng(picture));
    ASSERT_EQ(m.dialogs.shown.size(), 3u) << m.dialogs.Last();
    EXPECT_NE(m.dialogs.shown[2].find("1 of the 128 pixels of PIC.TEX.png would change colour"),
              std::string::npos)
        << m.dialogs.shown[2];
}

TEST(EditWith, ChangesNotPutBackAreOfferedBeforeTheArchiveClosesAndTheFilesGoWithIt)
{
    EditMain m;
    const std::string one = m.Edit(0), two = m.Edit(1);
    m.dialogs.answers.push_back(false);
    m.SaveEdited(one, "declined");
    // Changed with no report of it (one that came while the window was busy, say).
    WriteFile(PathFromUtf8(two), "unreported");
    const std::string before = ReadFile(m.path);
    const std::string other = m.Write("other.kvb", NumberedArchive(3));
    const std::string question =
        "question Edited files (or cancel): The changes to ONE.BIN and TWO.BIN have not "
        "been put back into a.kvb. Put them back before the archive is closed?";

    // Cancel: the archive stays open, with its edited files.
    m.dialogs.choices.push_back(logic::TAnswer::Cancel);
    m.Open(other);
    EXPECT_EQ(m.dialogs.Last(), question);
    EXPECT_EQ(m.v.info.at(0), "File: a.kvb");
    EXPECT_EQ(m.v.watched.size(), 2u);
    EXPECT_EQ(ReadFile(m.path), before);

    // Yes: both go back in one rebuild, then the other archive opens and the files go.
    m.dialogs.choices.push_back(logic::TAnswer::Yes);
    m.Open(other);
    EXPECT_EQ(m.dialogs.Last(), question);
    EXPECT_EQ(Main::Entry(m.path, 0), "declined");
    EXPECT_EQ(Main::Entry(m.path, 1), "unreported");
    EXPECT_EQ(m.v.info.at(0), "File: other.kvb");
    EXPECT_TRUE(m.main.EditedFiles().Empty());
    EXPECT_TRUE(m.v.watched.empty());
    EXPECT_FALSE(fs::exists(PathFromUtf8(ParentFolderOf(one))));
    EXPECT_FALSE(fs::exists(PathFromUtf8(ParentFolderOf(two))));

    // Nothing left to put back: the next archive opens without a question.
    const size_t asked = m.dialogs.shown.size();
    m.Open(m.path);
    EXPECT_EQ(m.dialogs.shown.size(), asked);
}

TEST(EditWith, ClosingTheWindowOrTheAdvancedWindowOffersThemTooAndNoDropsThem)
{
    EditMain m;
    const std::string before = ReadFile(m.path);
    std::string file = m.Edit(3);
    m.dialogs.answers.push_back(false);
    m.SaveEdited(file, "3, changed");

    bool close = true;
    m.dialogs.choices.push_back(logic::TAnswer::Cancel);
    m.Do([&] { close = m.main.FormCloseQuery(); });
    EXPECT_FALSE(close);
    EXPECT_NE(m.dialogs.Last().find("Put them back before the program ends?"), std::string::npos)
        << m.dialogs.Last();

    // No: the advanced window opens on the archive as it was; the file is gone.
    m.dialogs.choices.push_back(logic::TAnswer::No);
    m.Do([&] { m.main.btnAdvancedClick(); });
    EXPECT_NE(m.dialogs.shown.at(m.dialogs.shown.size() - 2)
                  .find("before the advanced window edits the archive?"),
              std::string::npos);
    EXPECT_EQ(m.dialogs.Last().rfind("notice: Warning!", 0), 0u) << m.dialogs.Last();
    EXPECT_EQ(ReadFile(m.path), before);
    EXPECT_FALSE(fs::exists(PathFromUtf8(file)));

    // The window's end takes the files along, asked or not (a signal ends it without a question).
    m.Open(m.path);
    file = m.Edit(0);
    m.main.FormDestroy();
    EXPECT_FALSE(fs::exists(PathFromUtf8(ParentFolderOf(file))));
    EXPECT_TRUE(m.v.watched.empty());
}

TEST(EditWith, WhatCannotBeOpenedOrPutBackLeavesNothingBehindAndLosesNothing)
{
    EditMain m;
    // No program for the file, or no program chosen: the file goes again.
    m.Select(1);
    m.v.openings = {TOpened::NoProgram, TOpened::Cancelled};
    m.Do([&] { m.main.mnuOpenWithDefaultClick(); });
    EXPECT_EQ(m.dialogs.Last(), "error: No program could be started to open TWO.BIN.");
    m.Do([&] { m.main.mnuEditWithClick(); });
    EXPECT_TRUE(m.main.EditedFiles().Empty());
    EXPECT_TRUE(m.v.watched.empty());
    const std::string handed = m.v.opened.front().substr(std::string("default ").size());
    EXPECT_FALSE(fs::exists(PathFromUtf8(ParentFolderOf(handed))));

    // A name that cannot be a file name is refused before anything is written.
    Main bad;
    bad.Open(bad.Write("bad.kvb", ArchiveBuilder().Add("..", "x").Build()));
    bad.Select(0);
    bad.Do([&] { bad.main.mnuEditWithClick(); });
    EXPECT_EQ(bad.dialogs.Last().rfind(
                  "error: Entry \"..\" has a name that cannot be used as a file name; it was not opened",
                  0),
              0u)
        << bad.dialogs.Last();
    EXPECT_TRUE(bad.v.opened.empty());

    // An archive an editor holds cannot be rebuilt: the change stays pending, to be offered
    // again before the archive closes.
    const std::string file = m.Edit(0);
    const std::string before = ReadFile(m.path);
    {
        TRawKVBFile editor(m.path);
        m.dialogs.answers.push_back(true);
        m.SaveEdited(file, "kept");
    }
    EXPECT_EQ(m.dialogs.Last(), "error: Cannot open file " + m.path + ": another program is editing it.");
    EXPECT_EQ(ReadFile(m.path), before);
    EXPECT_TRUE(m.main.EditedFiles().Of(0)->Pending);
    m.dialogs.choices.push_back(logic::TAnswer::Yes);
    bool close = false;
    m.Do([&] { close = m.main.FormCloseQuery(); });
    EXPECT_TRUE(close);
    EXPECT_EQ(Main::Entry(m.path, 0), "kept");
}

TEST(EditedFiles, AWriteThatKeepsSizeAndTimeIsSeenAndContentAsAccountedForIsNoChange)
{
    TempDir dir;
    const std::string file = dir / "edited.bin";
    WriteFile(PathFromUtf8(file), "aaaa");
    logic::TEditedFiles files;
    files.Add(7, file, false);
    EXPECT_EQ(files.At(Utf8FromPath(dir.Path()) + "/"), std::vector<int>{7});
    EXPECT_EQ(files.At(file), std::vector<int>{7});
    EXPECT_TRUE(files.At(dir / "other.bin").empty());

    // Written within the same tick of the file system's clock: size and time as they were.
    const fs::file_time_type written = fs::last_write_time(PathFromUtf8(file));
    WriteFile(PathFromUtf8(file), "bbbb");
    fs::last_write_time(PathFromUtf8(file), written);
    EXPECT_TRUE(files.NewContent(7));
    EXPECT_EQ(files.Unsettled(), std::vector<int>{7});

    // Back to the content accounted for: nothing new, nothing to put back.
    WriteFile(PathFromUtf8(file), "aaaa");
    EXPECT_FALSE(files.NewContent(7));
    EXPECT_TRUE(files.Unsettled().empty());

    // Declined, it stays to be put back, though the same content asks nothing again.
    WriteFile(PathFromUtf8(file), "cccc");
    const std::optional<uint64_t> content = files.NewContent(7);
    ASSERT_TRUE(content);
    files.Account(7, *content, true);
    EXPECT_FALSE(files.NewContent(7));
    EXPECT_EQ(files.Unsettled(), std::vector<int>{7});

    // Gone (an editor between removing the file and renaming its new one onto it): no change yet.
    fs::remove(PathFromUtf8(file));
    EXPECT_FALSE(files.NewContent(7));
}
