#include "run_kvb.h"
#include "support/png_builder.h"
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
    fails(dir / "short.tex", dir / "a.png",
          "Stream read error: Reading texture " + (dir / "short.tex") + ": the file ends at byte 243, but its data of 2 x 2 "
          "pixels of 16 bits needs bytes up to 244");
    WriteFile(dir / "empty.tex", TexBuilder::Direct(0, 0, {}).HeaderSize(0, 9).Build());
    fails(dir / "empty.tex", dir / "a.png",
          "Texture " + dir / "empty.tex" + " has no pixels (0 x 9), and a PNG needs at least one");
    fails(dir / "missing.tex", dir / "a.png", "Cannot open file " + dir / "missing.tex" + ": it does not exist");
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

TEST(KvbTex2png, ATextureCutShortGivesAThumbnailOfWhatItHoldsButNoPng)
{
    TempDir dir;
    const TTexColour unset{10, 20, 30}, set{200, 100, 50};
    // 64 x 64 pixels declared, the top 32 rows held, all of palette entry 1.
    WriteFile(dir / "half.tex",
              TexBuilder::Palettised(64, 32, {unset, set}, std::string(64 * 32, '\1'))
                  .HeaderSize(64, 64)
                  .Build());
    RunResult r = RunKvb(dir, {"tex2png", "--size", "2", dir / "half.tex", dir / "half.png"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    QImage thumbnail(QString::fromStdString(dir / "half.png"), "PNG");
    ASSERT_EQ(thumbnail.size(), QSize(2, 2));
    EXPECT_EQ(thumbnail.pixel(1, 0), qRgb(set.Red, set.Green, set.Blue));
    EXPECT_EQ(thumbnail.pixel(0, 1), qRgb(unset.Red, unset.Green, unset.Blue));

    const auto refused = [&](const std::string &tex, const std::string &held) {
        RunResult r = RunKvb(dir, {"tex2png", tex, dir / "full.png"});
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_EQ(r.err, "kvb: Texture " + tex + held + "; only a complete texture is written as a PNG\n");
        EXPECT_FALSE(std::filesystem::exists(dir / "full.png"));
    };
    refused(dir / "half.tex", " declares 64 rows of 64 pixels, but the file holds data for only 32");
    WriteFile(dir / "short.tex", TexBuilder::Palettised(4, 3, {set}, std::string(12, '\0')).CutShort(5).Build());
    refused(dir / "short.tex",
            " declares 3 rows of 4 pixels, but the file holds data for only 1 and part of one more");

    // 240 bytes that claim the largest texture: a thumbnail of what they hold, at once.
    WriteFile(dir / "claim.tex", TexBuilder::Palettised(1, 1, {unset}, "\1").HeaderSize(16384, 16384).CutShort(1).Build());
    r = RunKvb(dir, {"tex2png", "--size", "256", dir / "claim.tex", dir / "claim.png"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    thumbnail = QImage(QString::fromStdString(dir / "claim.png"), "PNG");
    ASSERT_EQ(thumbnail.size(), QSize(256, 256));
    EXPECT_EQ(thumbnail.pixel(255, 255), qRgb(unset.Red, unset.Green, unset.Blue));
    refused(dir / "claim.tex", " declares 16384 rows of 16384 pixels, but the file holds data for only 0");
}

TEST(KvbTex2png, SizeIsAThumbnailOfAtMost1024Pixels)
{
    TempDir dir;
    WriteFile(dir / "one.tex", TexBuilder::Direct(1, 1, {0x7C00}).Build());
    RunResult r = RunKvb(dir, {"tex2png", "--size", "1024", dir / "one.tex", dir / "big.png"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    QImage png(QString::fromStdString(dir / "big.png"), "PNG");
    EXPECT_EQ(png.size(), QSize(1024, 1024));
    EXPECT_EQ(png.pixel(1023, 1023), qRgb(255, 0, 0));
    for (const char *size : {"1025", "16384"}) {
        r = RunKvb(dir, {"tex2png", "--size", size, dir / "one.tex", dir / "x.png"});
        EXPECT_EQ(r.exitCode, 2) << size;
        EXPECT_NE(r.err.find("a size in pixels from 1 to 1024"), std::string::npos) << r.err;
        EXPECT_FALSE(std::filesystem::exists(dir / "x.png"));
    }
}

TEST(KvbPng2tex, EveryDecodingFailureNamesThePngAndWritesNoTexture)
{
    TempDir dir;
    WriteFile(dir / "ref.tex", TexBuilder::Direct(4, 3, std::vector<uint16_t>(12, 0)).Build());
    const std::string good = PngFile(PngHeader(4, 3, 8, 2), ZlibOfZeros(3 * 13));
    std::string headerCrc = good, dataCrc = good;
    headerCrc[PngChunkPosition(good, 1) - 1] ^= 1;
    dataCrc[PngChunkPosition(good, 2) - 1] ^= 1;
    std::string escape = good;
    escape.insert(PngChunkPosition(good, 1), PngChunk("\x1b" "c\x07x", ""));
    const struct {
        const char *name;
        std::string png, message;
    } cases[] = {
        // 2 MB that claim 16384 x 16384 pixels of 64 bits.
        {"huge.png", PngFile(PngHeader(16384, 16384, 16, 6), ZlibOfZeros(1000)),
         "is damaged: its image data ends before its 16384 x 16384 pixels are complete"},
        {"bomb.png", PngFile(PngHeader(4, 3, 8, 2), ZlibOfZeros(uint64_t(1) << 30)),
         "is damaged: its image data holds more than its 4 x 3 pixels"},
        {"header-crc.png", headerCrc, "is damaged: chunk IHDR does not match its checksum (CRC)"},
        {"data-crc.png", dataCrc, "is damaged: chunk IDAT does not match its checksum (CRC)"},
        {"interlace.png", PngFile(PngHeader(4, 3, 8, 2, 7), ZlibOfZeros(3 * 13)),
         "has an invalid header: interlace method 7 is unknown (PNG has 0 and 1)"},
        {"depth.png", PngFile(PngHeader(4, 3, 2, 6), ZlibOfZeros(3 * 13)),
         "has an invalid header: a bit depth of 2 is not allowed for colour type 6 (RGB with alpha)"},
        {"escape.png", escape,
         "is damaged: the chunk at byte 33 has the type \"\\x1Bc\\x07x\", which is not four letters"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        WriteFile(dir / c.name, c.png);
        RunResult r = RunKvb(dir, {"png2tex", dir / "ref.tex", dir / c.name, dir / "out.tex"});
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_EQ(r.err, "kvb: Image " + dir / c.name + " " + c.message + "\n");
        EXPECT_FALSE(std::filesystem::exists(dir / "out.tex"));
    }
    WriteFile(dir / "good.png", good);
    RunResult r = RunKvb(dir, {"png2tex", dir / "ref.tex", dir / "good.png", dir / "out.tex"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(ReadFile(dir / "out.tex"), ReadFile(dir / "ref.tex"));
}
