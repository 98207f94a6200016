#include "run_kvb.h"
#include "support/png_builder.h"
#include "support/tex_builder.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QImageReader>

using namespace kvb;
using namespace kvb::test;

namespace {

// A 5-bit channel as an 8-bit one, the way the bits are spread to reach full brightness.
int Expand5(unsigned value)
{
    return int((value << 3) | (value >> 2));
}

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
    auto fails = [&](const std::string &tex, const std::string &png, const std::string &message,
                     const char *size = nullptr) {
        RunResult r = size ? RunKvb(dir, {"tex2png", "--size", size, tex, png})
                           : RunKvb(dir, {"tex2png", tex, png});
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_EQ(r.err, "kvb: " + message + "\n");
    };
    // A 16-bit texture cut short is a read error, for the preview as for its picture and thumbnail.
    WriteFile(dir / "short.tex", TexBuilder::Direct(2, 2, {1, 2, 3, 4}).CutShort(1).Build());
    for (const char *size : {static_cast<const char *>(nullptr), "8"})
        fails(dir / "short.tex", dir / "a.png",
              "Stream read error: Reading texture " + (dir / "short.tex") +
                  ": the file ends at byte 243, but its data of 2 x 2 "
                  "pixels of 16 bits needs bytes up to 244",
              size);
    WriteFile(dir / "empty.tex", TexBuilder::Direct(0, 0, {}).HeaderSize(0, 9).Build());
    fails(dir / "empty.tex", dir / "a.png",
          "Texture " + dir / "empty.tex" + " has no pixels (0 x 9), and a PNG needs at least one");
    fails(dir / "missing.tex", dir / "a.png",
          "Cannot open file " + dir / "missing.tex" + ": it does not exist");
    EXPECT_FALSE(std::filesystem::exists(dir / "a.png"));

    WriteFile(dir / "ok.tex", TexBuilder::Direct(1, 1, {0}).Build());
    fails(dir / "ok.tex", dir / "no/such/folder.png",
          "Cannot create file " + dir / "no/such/folder.png" + ": its folder does not exist");
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

TEST(KvbTex2png, ATexturesFileEndingEarlyIsWrittenWithIndex0WhereItHoldsNoData)
{
    TempDir dir;
    const TTexColour unset{10, 20, 30}, set{200, 100, 50};
    const QRgb unsetRgb = qRgb(unset.Red, unset.Green, unset.Blue),
               setRgb = qRgb(set.Red, set.Green, set.Blue);
    // The PNG that kvb tex2png writes of texture, at full size or, with a size, as a thumbnail.
    const auto written = [&](const std::string &name, const TexBuilder &texture,
                             const char *size = nullptr) {
        WriteFile(dir / name, texture.Build());
        const std::string png = dir / (name + ".png");
        RunResult r = size ? RunKvb(dir, {"tex2png", "--size", size, dir / name, png})
                           : RunKvb(dir, {"tex2png", dir / name, png});
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(r.err, "");
        return QImage(QString::fromStdString(png), "PNG");
    };

    // 64 x 64 pixels declared, the top 32 rows held, all of palette entry 1.
    const TexBuilder half =
        TexBuilder::Palettised(64, 32, {unset, set}, std::string(64 * 32, '\1')).HeaderSize(64, 64);
    QImage png = written("half.tex", half);
    ASSERT_EQ(png.size(), QSize(64, 64));
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x)
            ASSERT_EQ(png.pixel(x, y), y < 32 ? setRgb : unsetRgb) << x << "," << y;
    // The thumbnail shows the same.
    png = written("half.tex", half, "2");
    ASSERT_EQ(png.size(), QSize(2, 2));
    EXPECT_EQ(png.pixel(1, 0), setRgb);
    EXPECT_EQ(png.pixel(0, 1), unsetRgb);

    // The data ends inside the second row: it is held in part, the third not at all.
    png = written("short.tex",
                  TexBuilder::Palettised(4, 3, {unset, set}, std::string(12, '\1')).CutShort(7));
    ASSERT_EQ(png.size(), QSize(4, 3));
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x)
            EXPECT_EQ(png.pixel(x, y), y * 4 + x < 5 ? setRgb : unsetRgb) << x << "," << y;

    // Three rows that claim the largest texture: the whole picture, whose cost is a row and the
    // little that its equal rows compress to; and its thumbnail.
    const TexBuilder claim = TexBuilder::Palettised(16384, 3, {unset, set}, std::string(16384 * 3, '\1'))
                                 .HeaderSize(16384, 16384);
    WriteFile(dir / "claim.tex", claim.Build());
    RunResult r = RunKvb(dir, {"tex2png", dir / "claim.tex", dir / "claim.png"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(QImageReader(QString::fromStdString(dir / "claim.png"), "PNG").size(), QSize(16384, 16384));
    EXPECT_LT(std::filesystem::file_size(dir / "claim.png"), uintmax_t(4) << 20);
    png = written("claim.tex", claim, "256");
    ASSERT_EQ(png.size(), QSize(256, 256));
    EXPECT_EQ(png.pixel(255, 255), unsetRgb);
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
    escape.insert(PngChunkPosition(good, 1), PngChunk("\x1b"
                                                      "c\x07x",
                                                      ""));
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
