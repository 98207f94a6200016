// Writes the seed corpora of the fuzz targets into OUTPUT/<target>/: small archives of every
// shape the readers know (aliases, unlinked and mismatched entries, odd counts and lengths,
// falling offsets), edit scripts over them, textures of both formats, PNG images, MIDI files and
// zips.
#include "edit_script.h"
#include "platform/stream.h"
#include "support/archive_builder.h"
#include "support/midi_builder.h"
#include "support/png_builder.h"
#include "support/tex_builder.h"
#include "tools/manifest.h"
#include "tools/mod_manifest.h"
#include "tools/zip_file.h"

#include <cstdio>
#include <exception>
#include <filesystem>
#include <map>
#include <string>
#include <utility>
#include <vector>

using namespace kvb;
using namespace kvb::test;
using kvb::fuzz::Edit;
using kvb::fuzz::EditKind;

namespace fs = std::filesystem;

namespace {

// A short validation block keeps seeds small; the standard one appears in "two-entry".
const std::string kShortValidation = PatternBytes(40, 3);

std::map<std::string, std::string> Archives()
{
    std::map<std::string, std::string> a;
    a["two-entry"] = TwoEntryArchive();
    a["empty"] = ArchiveBuilder().Validation(kShortValidation).Build();

    std::string negative = ArchiveBuilder().Validation(kShortValidation).Add("A.BIN", "abc").Build();
    PatchCount(negative, -3);
    a["negative-count"] = negative;

    a["odd-records"] = ArchiveBuilder()
                           .Validation(kShortValidation)
                           .Add("ABCDEFGHIJKLMNOPQRST", PatternBytes(30, 4))
                           .AddMismatched("b.mid", "B.MIDX", PatternBytes(12, 5))
                           .AddAlias("ALIAS.BIN", 0)
                           .AddUnlinked("LOOSE.BIN", PatternBytes(20, 6))
                           .Build();

    ArchiveBuilder falling;
    falling.Validation(kShortValidation);
    for (int i = 0; i < 6; ++i)
        falling.Add("F" + std::to_string(i), PatternBytes(size_t(3 * i), unsigned(i)));
    std::string fallingBytes = falling.Build();
    for (int i = 0; i < 6; ++i)
        PatchTocOffset(fallingBytes, i, falling.OffsetOf(size_t(5 - i)));
    a["falling-offsets"] = fallingBytes;

    ArchiveBuilder lengths;
    lengths.Validation("").Add("UNKNOWN", "12345").Add("BACK", "678").Add("LAST", "9");
    std::string lengthBytes = lengths.Build();
    PatchDataLength(lengthBytes, lengths.OffsetOf(0), -1);
    PatchDataLength(lengthBytes, lengths.OffsetOf(2), 1000);
    a["odd-lengths"] = lengthBytes;

    // Offsets where the end of a data header no longer fits 32 bits (from 2^31 - 24 on).
    std::string edge =
        ArchiveBuilder().Validation(kShortValidation).Add("A.BIN", "abc").Add("EDGE.BIN", "de").Build();
    PatchTocOffset(edge, 1, 2147483624);
    a["offset-at-2gib-edge"] = edge;
    PatchTocOffset(edge, 0, 2147483647);
    a["offsets-at-2gib-edge"] = edge;

    // A hole and an overlap in data order, for the analysis report.
    ArchiveBuilder gaps;
    gaps.Validation(kShortValidation).Add("A.TEX", "aaaa").Add("B.TEX", "bb").Add("C.TEX", "c");
    std::string gapBytes = gaps.Build();
    PatchTocOffset(gapBytes, 1, gaps.OffsetOf(1) + 1);
    PatchDataLength(gapBytes, gaps.OffsetOf(2), 9);
    a["gaps"] = gapBytes;

    a["long-description"] = ArchiveBuilder()
                                .Validation(kShortValidation)
                                .Add("ONE", "1")
                                .Description(PatternBytes(30, 8))
                                .Build();

    a["media"] = ArchiveBuilder()
                     .Validation(kShortValidation)
                     .Add("TUNE.MID", SimpleTune())
                     .Add("SMALL.TEX", GradientTex(8, 4).Build())
                     .Add("EMPTY.BIN", "")
                     .Build();
    return a;
}

std::map<std::string, std::string> Textures()
{
    return {
        {"gradient", GradientTex(16, 8).Build()},
        {"picture", PictureTex(8, 8).Build()},
        {"two-colours",
         TexBuilder::Palettised(3, 2, {{255, 0, 0}, {0, 0, 255}}, std::string("\0\1\1\0\5\1", 6))
             .Build()},
        {"cut-short", GradientTex(4, 4).CutShort(3).Build()},
        {"trailing", PictureTex(4, 4).Trailing("xyz").Build()},
        {"no-pixels", GradientTex(0, 5).Build()},
    };
}

std::map<std::string, std::string> Manifests()
{
    TManifest manifest;
    manifest.ArchivePath = "/games/GAME.KVB";
    manifest.ArchiveSize = 4000;
    manifest.ArchiveChecksum = 0x1234;
    TManifestEntry picture;
    picture.Name = "GREY.TEX";
    picture.File = "GREY.png";
    picture.Format = TFileFormat::Png;
    TManifestEntry passed;
    passed.Index = 1;
    passed.Name = "\x81..";
    manifest.Entries = {picture, passed};
    return {{"export", ManifestText(manifest)}};
}

std::map<std::string, std::string> ModManifests()
{
    TModManifest mod;
    mod.Name = "Better fonts";
    mod.Version = "1.2";
    mod.OriginalFile = "GAME.KVB";
    mod.OriginalSize = 4000;
    mod.OriginalChecksum = 0x1234;
    mod.OriginalCount = 3;
    mod.Originals = {{4, "FONT.TEX", 0, 1772, 0x94258b76dfc54c07}};
    TModEntry replaced;
    replaced.File = ModEntryFile(1);
    replaced.Replaces = 4;
    replaced.Length = 1800;
    TModEntry added;
    added.File = ModEntryFile(2);
    added.AddedName = "NEW\x81.TEX";
    added.Reserved1 = 14;
    added.Length = 100;
    mod.Entries = {replaced, added};
    TModManifest undo = mod;
    undo.Undo = true;
    undo.OriginalChecksum.reset();
    undo.Entries = {replaced};
    undo.Added = {{3, "NEW.TEX", 0, 100, 0xe9cbc518c06ffe76}};
    undo.Validation = TModEntry{kUndoValidationName, std::nullopt, "", 0, 0, 3602, 0x5a9e};
    return {{"mod", ModManifestText(mod)}, {"undo", ModManifestText(undo)}};
}

std::map<std::string, std::string> Pngs()
{
    const std::string rgb = std::string("\0", 1) + "abcdefghijkl";
    return {
        {"rgb", PngFile(PngHeader(4, 1, 8, 2), Zlib(rgb))},
        {"palette", PngFile(PngHeader(4, 2, 2, 3), Zlib(std::string("\0\x1b\0\xe4", 4)), "abcdefghijkl")},
        {"grey16-interlaced", PngFile(PngHeader(3, 3, 16, 0, 1), Zlib(std::string(40, '\0')))},
        {"rgba-filtered", PngFile(PngHeader(2, 2, 8, 6), Zlib(std::string("\1abcdefgh\4ijklmnop", 18)))},
        {"too-much-data", PngFile(PngHeader(1, 1, 8, 0), ZlibOfZeros(1000))},
    };
}

std::map<std::string, std::string> Midis()
{
    return {
        {"tune", SimpleTune()},
        {"silence", NoteThenSilence(3)},
        {"tracks", ManyTracks(3)},
        {"longest-delta", TuneWithLongestDeltaTime()},
    };
}

std::string ZipOf(const std::vector<std::pair<std::string, std::string>> &entries, bool compress)
{
    TMemoryStream out;
    TZipWriter writer(out);
    for (const auto &[name, data] : entries)
        writer.Add(name, data, compress);
    writer.Finish();
    return out.Bytes();
}

std::map<std::string, std::string> Zips()
{
    const std::vector<std::pair<std::string, std::string>> entries = {
        {"manifest.json", "{\"format\":\"kvb-mod\",\"entries\":[\"GREY.TEX\"]}"},
        {"entries/GREY.TEX", GradientTex(8, 4).Build()},
        {"entries/\xC3\xA9.BIN", PatternBytes(60, 9)},
        {"empty", ""},
    };
    return {{"deflated", ZipOf(entries, true)},
            {"stored", ZipOf(entries, false)},
            {"none", ZipOf({}, true)}};
}

void Write(const fs::path &folder, const std::string &name, const std::string &bytes)
{
    fs::create_directories(folder);
    WriteFile(folder / name, bytes);
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT\n", argv[0]);
        return 2;
    }
    try {
        const fs::path out = argv[1];
        const std::vector<std::vector<Edit>> scripts = {
            {},
            {{EditKind::Append, 7, 10}, {EditKind::Link, 1, 2}},
            {{EditKind::Truncate, 2, 0}, {EditKind::Append, 3, 0}, {EditKind::Truncate, 1, 0}},
            {{EditKind::Link, 2, 0}, {EditKind::Append, 9, 300}, {EditKind::Truncate, 0, 0}},
        };
        for (const auto &[name, bytes] : Archives()) {
            Write(out / "catalogue", name, bytes);
            Write(out / "extract", name, bytes);
            Write(out / "analysis", name, bytes);
            for (size_t s = 0; s < scripts.size(); ++s)
                Write(out / "raw_archive", name + "-" + std::to_string(s),
                      fuzz::WriteEditScript(bytes, scripts[s]));
        }
        for (const auto &[name, bytes] : Textures())
            Write(out / "tex", name, bytes);
        for (const auto &[name, bytes] : Pngs())
            Write(out / "png", name, bytes);
        for (const auto &[name, text] : Manifests())
            Write(out / "manifest", name, text);
        for (const auto &[name, text] : ModManifests())
            Write(out / "mod_manifest", name, text);
        for (const auto &[name, bytes] : Midis())
            Write(out / "midi", name, bytes);
        for (const auto &[name, bytes] : Zips())
            Write(out / "zip", name, bytes);
    } catch (const std::exception &e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
