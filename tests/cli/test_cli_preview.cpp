#include "run_kvb.h"
#include "support/tex_builder.h"

#include <gtest/gtest.h>

#include <QImage>

using namespace kvb;
using namespace kvb::test;

namespace {

// A 5-bit channel as an 8-bit one, the way the bits are spread to reach full brightness.
int Expand5(unsigned value) { return int((value << 3) | (value >> 2)); }

QImage WrittenPng(const TempDir &dir, const TexBuilder &texture)
{
    WriteFile(dir / "in.tex", texture.Build());
    RunResult r = RunKvb(dir, {"tex2png", dir / "in.tex", dir / "out.png"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "");
    return QImage(QString::fromStdString(dir / "out.png"), "PNG");
}

} // namespace

TEST(KvbTex2png, PalettisedGradientReadsBackWithItsPaletteColours)
{
    TempDir dir;
    TexBuilder texture = GradientTex(256, 128);
    QImage png = WrittenPng(dir, texture);
    ASSERT_EQ(png.size(), QSize(256, 128));
    for (int y = 0; y < 128; ++y)
        for (int x = 0; x < 256; ++x) {
            TTexColour c = texture.Palette()[uint8_t(texture.Indices()[size_t(y * 256 + x)])];
            ASSERT_EQ(png.pixel(x, y), qRgb(c.Red, c.Green, c.Blue)) << x << "," << y;
        }
}

TEST(KvbTex2png, DirectColourPictureReadsBackWithItsColours)
{
    TempDir dir;
    TexBuilder texture = PictureTex(128, 128);
    QImage png = WrittenPng(dir, texture);
    ASSERT_EQ(png.size(), QSize(128, 128));
    for (int y = 0; y < 128; ++y)
        for (int x = 0; x < 128; ++x) {
            uint16_t v = texture.Colours()[size_t(y * 128 + x)];
            ASSERT_EQ(png.pixel(x, y), qRgb(Expand5(v >> 10 & 31), Expand5(v >> 5 & 31), Expand5(v & 31)))
                << x << "," << y;
        }
}

TEST(KvbTex2png, FailuresPrintTheMessageAndWriteNoPng)
{
    TempDir dir;
    auto fails = [&](const std::string &tex, const std::string &png, const std::string &message) {
        RunResult r = RunKvb(dir, {"tex2png", tex, png});
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_EQ(r.err, "kvb: " + message + "\n");
    };
    WriteFile(dir / "short.tex", TexBuilder::Direct(2, 2, {1, 2, 3, 4}).CutShort(1).Build());
    fails(dir / "short.tex", dir / "a.png", "Stream read error");
    WriteFile(dir / "empty.tex", TexBuilder::Direct(0, 0, {}).HeaderSize(0, 9).Build());
    fails(dir / "empty.tex", dir / "a.png",
          "Texture " + dir / "empty.tex" + " has no pixels (0 x 9), and a PNG needs at least one");
    fails(dir / "missing.tex", dir / "a.png", "Cannot open file " + dir / "missing.tex");
    EXPECT_FALSE(std::filesystem::exists(dir / "a.png"));

    WriteFile(dir / "ok.tex", TexBuilder::Direct(1, 1, {0}).Build());
    fails(dir / "ok.tex", dir / "no/such/folder.png", "Cannot create file " + dir / "no/such/folder.png");
}

TEST(KvbMediaModule, OnlyMidi2wavNeedsItAndNamesItWhenItIsMissing)
{
    TempDir dir;
    const std::filesystem::path programFolder = dir.Path() / "bin";
    std::filesystem::create_directory(programFolder);
    std::filesystem::copy_file(KVB_BINARY, programFolder / "kvb");
    const std::string kvb = (programFolder / "kvb").string();
    WriteFile(dir / "in.tex", TexBuilder::Direct(1, 1, {0}).Build());
    WriteFile(dir / "a.kvb", ArchiveBuilder().Add("ONE.BIN", "1").Build());

    // Without the module the archive commands and tex2png still work...
    RunResult r = RunProgram(kvb, dir, {"list", dir / "a.kvb"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out.rfind("1\tONE.BIN\t", 0), 0u) << r.out;
    r = RunProgram(kvb, dir, {"tex2png", dir / "in.tex", dir / "out.png"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(QImage(QString::fromStdString(dir / "out.png"), "PNG").size(), QSize(1, 1));
    // ...and midi2wav says what it could not load, writing nothing.
    r = RunProgram(kvb, dir, {"midi2wav", dir / "in.tex", dir / "out"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err.rfind("kvb: Cannot load kvb's media module /", 0), 0u) << r.err;
    EXPECT_NE(r.err.find("/kvb-media.so: no such file\n"), std::string::npos) << r.err;
    EXPECT_FALSE(std::filesystem::exists(dir / "out"));

    // Beside the program it is found, and it is the module that refuses a file that is no MIDI.
    std::filesystem::copy_file(KVB_MEDIA_MODULE, programFolder / "kvb-media.so");
    r = RunProgram(kvb, dir, {"midi2wav", dir / "in.tex", dir / "out.wav"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err.find("media module"), std::string::npos) << r.err;
    EXPECT_FALSE(std::filesystem::exists(dir / "out.wav"));
}

TEST(KvbTex2png, SizeScalesTheLongerSideKeepingTheProportions)
{
    TempDir dir;
    WriteFile(dir / "in.tex", GradientTex(256, 128).Build());
    for (auto [size, expected] : {std::pair{"64", QSize(64, 32)}, {"512", QSize(512, 256)}}) {
        RunResult r = RunKvb(dir, {"tex2png", "--size", size, dir / "in.tex", dir / "out.png"});
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(QImage(QString::fromStdString(dir / "out.png"), "PNG").size(), expected) << size;
    }
    EXPECT_EQ(RunKvb(dir, {"tex2png", "--size", "0", dir / "in.tex", dir / "x.png"}).exitCode, 2);
}
