// Long work in the windows through their logic: Cancel, Escape and the close button while it
// runs, what stays after a cancel, what the status line says, and the checks and questions that
// come before anything is written (a rebuild that cannot be made, colours an import changes).
#include "archive/extract.h"
#include "logic/scripted_face.h"
#include "platform/program_folder.h"
#include "preview/png_image.h"
#include "preview/tex_encode.h"
#include "support/tex_builder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>

using namespace kvb;
using namespace kvb::test;
namespace fs = std::filesystem;

namespace {

struct Work : ScriptedWindows {
    TempDir dir;
    ScriptedMainView &v = mainView;
    std::string path = dir / "a.kvb";

    explicit Work(const std::string &archive = NumberedArchive(10))
    {
        WriteFile(path, archive);
        dialogs.files.push_back(path);
        Do([&] { main.btnOpenClick(); });
    }
    // The user presses Cancel once the library has reported `after` steps of the next work.
    void CancelAfter(int32_t after)
    {
        v.whenEvents = [this, after] {
            if (v.progressPosition >= after)
                main.btnCancelClick();
        };
    }
};

} // namespace

TEST(LongWork, ACancelledExtractAllKeepsTheFilesWrittenAndSaysHowMany)
{
    Work w;
    fs::create_directory(w.dir / "out");
    const std::string out = (w.dir / "out") + "/";
    // While it runs, the status line says what is being done.
    std::string during;
    w.v.whenEvents = [&] {
        during = w.v.status;
        if (w.v.progressPosition >= 3)
            w.main.btnCancelClick();
    };
    w.dialogs.folders.push_back(out);
    w.Do([&] { w.main.btnExtractAllClick(); });
    EXPECT_TRUE(w.dialogs.shown.empty()) << w.dialogs.Last();
    EXPECT_EQ(during, "Extracting 10 files to " + out + "...");
    EXPECT_EQ(w.v.status, "Cancelled: 3 of 10 files extracted to " + out);
    EXPECT_EQ(Listing(w.dir / "out"), (std::set<std::string>{"E0.BIN", "E1.BIN", "E2.BIN"}));
    EXPECT_FALSE(w.v.busy);

    // Run again to the end: the status says so, in the same words a script would expect.
    w.v.whenEvents = nullptr;
    w.dialogs.folders.push_back(out);
    w.Do([&] { w.main.btnExtractAllClick(); });
    EXPECT_EQ(w.v.status, "10 files extracted to " + out);
    EXPECT_EQ(Listing(w.dir / "out").size(), 10u);
}

TEST(LongWork, ACancelledCreateLeavesNothingAndTheFileThatStoodThere)
{
    Work w;
    fs::create_directory(w.dir / "src");
    for (int i = 0; i < 6; ++i)
        WriteFile(w.dir / ("src/F" + std::to_string(i)), "data");
    fs::create_directory(w.dir / "dest");
    WriteFile(w.dir / "dest/new.kvb", "older");
    // The window looks for its template beside the program only. Under Wine the tests run as a
    // user who cannot write there.
    try {
        WriteFile(fs::path(ExecutableFolder()) / "KVB.6", std::string(1, 'V'));
    } catch (const std::runtime_error &) {
        GTEST_SKIP() << "the program's folder is read-only here";
    }
    w.CancelAfter(3); // half way
    w.dialogs.folders.push_back(w.dir / "src");
    w.dialogs.files.push_back(w.dir / "dest/new.kvb");
    w.Do([&] { w.main.btnCreateClick(); });
    fs::remove(fs::path(ExecutableFolder()) / "KVB.6");
    EXPECT_EQ(w.dialogs.shown.size(), 1u) << w.dialogs.Last(); // the warning alone
    EXPECT_EQ(w.v.status, "Cancelled: no archive was written.");
    EXPECT_EQ(ReadFile(w.dir / "dest/new.kvb"), "older");
    EXPECT_EQ(Listing(w.dir / "dest"), std::set<std::string>{"new.kvb"});
}

TEST(LongWork, ACancelledOpenOrAnalysisKeepsWhatWasShown)
{
    Work w;
    const std::vector<std::string> info = w.v.info;
    WriteFile(w.dir / "big.kvb", NumberedArchive(3000));
    w.CancelAfter(100);
    w.dialogs.files.push_back(w.dir / "big.kvb");
    w.Do([&] { w.main.btnOpenClick(); });
    EXPECT_EQ(w.v.status, "Cancelled: big.kvb was not opened.");
    EXPECT_EQ(w.v.info, info);
    EXPECT_EQ(w.main.Catalogue()->EntryCount(), 10);

    w.v.whenEvents = [&] { w.main.btnCancelClick(); };
    w.Do([&] { w.main.btnAnalyseClick(); });
    EXPECT_EQ(w.v.status, "Cancelled: a.kvb was not analysed.");
    EXPECT_EQ(w.v.info, info);
    EXPECT_TRUE(w.dialogs.shown.empty()) << w.dialogs.Last();
}

TEST(LongWork, AnOpenThatFailsPartWayPutsTheBarBackAtItsStart)
{
    Work w;
    std::string archive = NumberedArchive(3000);
    archive.resize(archive.size() * 2 / 3);
    WriteFile(w.dir / "cut.kvb", archive);
    w.v.fullRead = true;
    int32_t furthest = 0;
    w.v.whenEvents = [&] { furthest = std::max(furthest, w.v.progressPosition); };
    w.dialogs.files.push_back(w.dir / "cut.kvb");
    w.Do([&] { w.main.btnOpenClick(); });
    EXPECT_EQ(w.dialogs.Last().rfind("error: ", 0), 0u) << w.dialogs.Last();
    EXPECT_GT(furthest, 0);
    EXPECT_EQ(w.v.progressPosition, 0);
}

TEST(LongWork, ACancelledReplaceLeavesTheArchiveAsItWas)
{
    Work w;
    const std::string before = ReadFile(w.path);
    WriteFile(w.dir / "new.bin", std::string(3 << 20, 'n'));
    w.v.selectedRow = 4;
    w.CancelAfter(1);
    w.dialogs.files.push_back(w.dir / "new.bin");
    w.dialogs.answers.push_back(true);
    w.Do([&] { w.main.mnuReplaceClick(); });
    EXPECT_EQ(w.v.status, "Cancelled: a.kvb was left as it was.");
    EXPECT_EQ(ReadFile(w.path), before);
    EXPECT_EQ(Listing(w.dir.Path()), (std::set<std::string>{"a.kvb", "new.bin"}));

    w.v.whenEvents = nullptr;
    w.v.selectedRow = 4;
    w.dialogs.files.push_back(w.dir / "new.bin");
    w.dialogs.answers.push_back(true);
    w.Do([&] { w.main.mnuReplaceClick(); });
    EXPECT_EQ(w.v.status, "Entry E4.BIN replaced; a.kvb was rewritten.");
    EXPECT_EQ(TKVBFile(w.path, true).GetEntry(4).Length, 3 << 20);
}

TEST(LongWork, EscapeCancelsWorkOrStopsTheMusicAndOtherEventsWaitForTheWork)
{
    Work w;
    int ran = 0;
    w.v.whenEvents = [&] {
        // A click on another button while the work runs does nothing; Escape cancels.
        w.Do([&] { ++ran; });
        logic::GuardedDuringWork(w.dialogs, [&] { w.main.EscapePressed(); });
    };
    fs::create_directory(w.dir / "out");
    w.dialogs.folders.push_back(w.dir / "out");
    w.Do([&] { w.main.btnExtractAllClick(); });
    EXPECT_EQ(ran, 0);
    EXPECT_EQ(w.v.status.rfind("Cancelled: ", 0), 0u) << w.v.status;
    EXPECT_EQ(w.player.calls, std::vector<std::string>{});

    w.player.mode = MediaMode::Playing;
    w.Do([&] { w.main.EscapePressed(); });
    EXPECT_EQ(w.player.mode, MediaMode::Stopped);
}

TEST(LongWork, ClosingDuringWorkAsksAndClosesOnlyOnceTheWorkHasStopped)
{
    Work w;
    EXPECT_TRUE(w.main.FormCloseQuery()); // idle: no question
    EXPECT_TRUE(w.dialogs.shown.empty());

    fs::create_directory(w.dir / "out");
    std::vector<bool> mayClose;
    // The user clicks the close button once, early in the work.
    w.v.whenEvents = [&] {
        if (mayClose.empty())
            mayClose.push_back(w.main.FormCloseQuery());
    };
    w.dialogs.answers = {false};
    const std::string out = (w.dir / "out") + "/";
    w.dialogs.folders.push_back(out);
    w.Do([&] { w.main.btnExtractAllClick(); });
    // No: the work goes on to the end and the window stays; each close asks again.
    EXPECT_EQ(w.v.status, "10 files extracted to " + out);
    EXPECT_EQ(w.v.closes, 0);
    EXPECT_EQ(mayClose.front(), false);
    w.dialogs.shown.clear();

    mayClose.clear();
    w.dialogs.answers = {true};
    w.dialogs.folders.push_back(w.dir / "out");
    w.Do([&] { w.main.btnExtractAllClick(); });
    ASSERT_EQ(w.dialogs.shown.size(), 1u);
    EXPECT_EQ(w.dialogs.shown[0], "question " + logic::kApplicationTitle +
                                      ": Work is still running. Cancel it and close the program?");
    EXPECT_EQ(mayClose, std::vector<bool>{false});
    EXPECT_EQ(w.v.status.rfind("Cancelled: ", 0), 0u);
    EXPECT_EQ(w.v.closes, 1);
}

TEST(LongWork, TheBarMovesOnlyWhenItMovesAndEventsRunAtItsEnd)
{
    Work w(NumberedArchive(20000));
    const int moves = w.v.progressMoves;
    w.Do([&] { w.main.btnAnalyseClick(); });
    // 40000 reports, but no more than a thousand moves of the bar.
    EXPECT_EQ(w.v.progressMaximum, 40000);
    EXPECT_EQ(w.v.progressPosition, 40000);
    EXPECT_LE(w.v.progressMoves - moves, 1001);
    EXPECT_GE(w.v.eventRuns, 1);
}

TEST(LongWork, AnArchiveThatCannotBeRebuiltIsRefusedBeforeTheQuestion)
{
    // A gap after the first entry's data: a rebuild would lose what lies in it.
    ArchiveBuilder b;
    b.Add("A.BIN", "aaaaaaaa").Add("B.BIN", "bbbb");
    std::string bytes = b.Build();
    PatchDataLength(bytes, b.OffsetOf(0), 4);
    Work w(bytes);
    const std::string before = ReadFile(w.path);
    w.v.selectedRow = 1;
    WriteFile(w.dir / "new.bin", "new");
    w.dialogs.files.push_back(w.dir / "new.bin");
    w.Do([&] { w.main.mnuReplaceClick(); });
    ASSERT_EQ(w.dialogs.shown.size(), 1u);
    EXPECT_EQ(w.dialogs.shown[0].rfind("error: Archive " + w.path + " cannot be rebuilt: there is a gap",
                                       0),
              0u)
        << w.dialogs.shown[0];
    EXPECT_EQ(ReadFile(w.path), before);
}

TEST(LongWork, ImportSaysWhichColoursThePaletteLacksAndOffersANewOne)
{
    // Four shades of grey; the picture brings white, which the palette lacks.
    const std::vector<TTexColour> greys = {{0, 0, 0}, {60, 60, 60}, {120, 120, 120}, {180, 180, 180}};
    std::string indices(16, '\0');
    for (size_t i = 0; i < indices.size(); ++i)
        indices[i] = char(i % 4);
    Work w(ArchiveBuilder().Add("SQ.TEX", TexBuilder::Palettised(4, 4, greys, indices).Build()).Build());
    TRgbImage picture;
    picture.Width = picture.Height = 4;
    picture.Pixels.assign(16, TTexColour{60, 60, 60});
    for (int i = 0; i < 3; ++i)
        picture.Pixels[size_t(i)] = {255, 255, 255};
    WriteFile(w.dir / "white.png", EncodePng(picture));

    // No: the palette stays, and white becomes the nearest grey.
    w.v.selectedRow = 0;
    w.dialogs.files.push_back(w.dir / "white.png");
    // (Without the palette library there is a notice instead of the first question.)
    w.dialogs.answers = NewPalettesAvailable() ? std::deque<bool>{false, true} : std::deque<bool>{true};
    w.Do([&] { w.main.mnuImportPngClick(); });
    ASSERT_EQ(w.dialogs.shown.size(), 2u) << w.dialogs.Last();
    if (NewPalettesAvailable())
        EXPECT_EQ(w.dialogs.shown[0], "question Import PNG: 3 of the 16 pixels of white.png would change "
                                      "colour, by up to 75 of 255 in red, green or blue, because the "
                                      "texture's palette lacks their colours. Make a new palette for "
                                      "the texture from the picture instead?");
    else
        EXPECT_EQ(w.dialogs.shown[0].rfind("notice: 3 of the 16 pixels of white.png would change", 0),
                  0u);
    auto shown = [&] {
        TFileStream archive(w.path, TFileStream::Mode::OpenRead);
        const TKVBFile catalogue(w.path, true);
        const std::string work = w.dir / "back.tex";
        ExtractEntry(archive, catalogue.GetEntry(0), work);
        return TexImageToRgb(ReadTexFile(work)).Pixels[0];
    };
    EXPECT_EQ(shown(), (TTexColour{180, 180, 180}));

    // Yes: a new palette, and white stays white.
    if (!NewPalettesAvailable())
        return;
    w.v.selectedRow = 0;
    w.dialogs.shown.clear();
    w.dialogs.files.push_back(w.dir / "white.png");
    w.dialogs.answers = {true, true};
    w.Do([&] { w.main.mnuImportPngClick(); });
    ASSERT_EQ(w.dialogs.shown.size(), 2u) << w.dialogs.Last();
    EXPECT_EQ(shown(), (TTexColour{255, 255, 255}));
}

TEST(LongWork, ACancelledAppendLeavesTheArchiveAndACompletedOneSaysSo)
{
    Work w;
    const std::string before = ReadFile(w.path);
    WriteFile(w.dir / "large.bin", std::string(40 << 20, 'L'));
    w.advancedView.whileShown = [&] {
        w.advancedView.whenEvents = [&] { w.advanced.btnCancelClick(); };
        w.dialogs.files.push_back(w.dir / "large.bin");
        w.Do([&] { w.advanced.btnAppendClick(); });
        EXPECT_EQ(w.advancedView.status, "Cancelled: nothing was appended.");
        EXPECT_EQ(ReadFile(w.path), before);

        w.advancedView.whenEvents = nullptr;
        w.dialogs.files.push_back(w.dir / "large.bin");
        w.Do([&] { w.advanced.btnAppendClick(); });
        EXPECT_EQ(w.advancedView.status, "large.bin appended.");
    };
    w.Do([&] { w.main.btnAdvancedClick(); });
    ASSERT_EQ(w.dialogs.shown.size(), 1u) << w.dialogs.Last(); // the warning as the window opens
    EXPECT_EQ(w.dialogs.shown[0].rfind("notice: Warning! Edits", 0), 0u);
    EXPECT_EQ(TRawKVBFile(w.path).DataCount(), 11);
}
