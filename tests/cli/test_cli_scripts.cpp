// What scripts rely on: --version, the JSON objects, extraction by name, by pattern and to a pipe.
#include "archive/text.h"
#include "run_kvb.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <filesystem>

using namespace kvb;
using namespace kvb::test;
using nlohmann::json;

namespace {

// Every byte a name may hold that a careless writer gets wrong: control bytes, a quote, a
// backslash, Windows-1252 letters and the bytes Windows-1252 leaves undefined.
const std::string kAwkwardName = std::string("A\x01\"\\\xE9\x81\x9D\x7F\x80.TEX");

struct Scripted {
    TempDir dir;
    std::string archive = dir / "a.kvb";
    Scripted()
    {
        WriteFile(archive, ArchiveBuilder()
                               .Add("ONE.TEX", "one")
                               .Add(kAwkwardName, "awkward")
                               .Add("two.mid", "two")
                               .Add("TWICE", "first")
                               .Add("twice", "second")
                               .Build());
    }
    json Json(std::initializer_list<std::string> args)
    {
        RunResult r = RunKvb(dir, args);
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(r.out.find('\n'), r.out.size() - 1) << "one line, one object";
        return json::parse(r.out);
    }
};

std::string HexOf(const std::string &bytes)
{
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    for (unsigned char c : bytes)
        hex += std::string{digits[c >> 4], digits[c & 15]};
    return hex;
}

std::string FromHex(const std::string &hex)
{
    std::string bytes;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        bytes += char(std::stoi(hex.substr(i, 2), nullptr, 16));
    return bytes;
}

} // namespace

TEST(KvbVersion, PrintsTheProjectVersion)
{
    TempDir dir;
    RunResult r = RunKvb(dir, {"--version"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "kvb " KVB_VERSION "\n");
}

TEST(KvbJson, ListGivesBackEveryNameByteAndTheTextStaysAsItWas)
{
    Scripted s;
    json list = s.Json({"list", "--json", "--lengths", s.archive});
    EXPECT_EQ(list["file"], s.archive);
    ASSERT_EQ(list["entries"].size(), 5u);
    const json &awkward = list["entries"][1];
    EXPECT_EQ(awkward["number"], 2);
    EXPECT_EQ(FromHex(awkward["name_hex"]), kAwkwardName);
    EXPECT_EQ(awkward["name"], Cp1252ToUtf8(kAwkwardName));
    EXPECT_EQ(awkward["length"], 7);
    EXPECT_EQ(awkward["name_mismatch"], false);
    EXPECT_TRUE(awkward["offset"].is_number_integer());

    // Without --json the control bytes stay escaped, as always.
    RunResult text = RunKvb(s.dir, {"list", s.archive});
    EXPECT_NE(text.out.find("2\tA\\x01\"\\\xC3\xA9\\x81\\x9D\\x7F\xE2\x82\xAC.TEX\t"), std::string::npos)
        << text.out;
}

TEST(KvbJson, InfoRawAndAnalyseAreOneObjectEach)
{
    Scripted s;
    json info = s.Json({"info", "--json", "--lengths", s.archive});
    EXPECT_EQ(info["count"], 5);
    EXPECT_EQ(info["creator"], "SQUARESOFT");
    EXPECT_EQ(info["description"], "FINAL FANTASY7");
    EXPECT_EQ(FromHex(info["creator_hex"]), "SQUARESOFT");

    json raw = s.Json({"raw", "--json", s.archive});
    EXPECT_EQ(raw["toc_count"], 5);
    ASSERT_EQ(raw["toc"].size(), 5u);
    ASSERT_EQ(raw["data"].size(), 5u);
    EXPECT_EQ(FromHex(raw["toc"][1]["name_hex"]), kAwkwardName);
    EXPECT_EQ(raw["toc"][1]["data_number"], 2);
    EXPECT_EQ(raw["toc"][1]["offset"], raw["data"][1]["position"]);
    EXPECT_EQ(raw["data"][4]["length"], 6);

    json analyse = s.Json({"analyse", "--json", s.archive});
    ASSERT_TRUE(analyse["lines"].is_array());
    EXPECT_FALSE(analyse["lines"].empty());
}

TEST(KvbJson, FileIsThePathAsGivenSoThatArchivesOfSeveralFoldersDiffer)
{
    Scripted s;
    std::filesystem::create_directory(s.dir / "other");
    std::filesystem::copy_file(s.archive, s.dir / "other/a.kvb");
    for (const char *command : {"info", "list", "raw", "analyse"}) {
        EXPECT_EQ(s.Json({command, "--json", s.archive})["file"], s.archive) << command;
        EXPECT_EQ(s.Json({command, "--json", s.dir / "other/a.kvb"})["file"], s.dir / "other/a.kvb")
            << command;
    }
    // The text keeps the name alone, as the windows show it.
    EXPECT_EQ(RunKvb(s.dir, {"info", s.archive}).out.substr(0, 12), "File: a.kvb\n");
}

TEST(KvbJson, AnalyseGivesItsFiguresBesideTheLines)
{
    TempDir dir;
    ArchiveBuilder b;
    b.Validation(std::string(100, 'v'))
        .Description("END")
        .Add("A.TEX", "aaaaa")
        .AddMismatched("B.TEX", "OTHER\x01.TEX", "bbbbb")
        .Add("C.TEX", "ccccc")
        .Add("D.TEX", "ddddd");
    std::string bytes = b.Build();
    PatchDataLength(bytes, b.OffsetOf(0), 3); // ends 2 bytes before B
    PatchDataLength(bytes, b.OffsetOf(2), 9); // runs 4 bytes into D
    WriteFile(dir / "odd.kvb", bytes);
    RunResult r = RunKvb(dir, {"analyse", "--json", dir / "odd.kvb"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    json a = json::parse(r.out);
    EXPECT_EQ(a["header_size"], 16);
    EXPECT_EQ(a["table_size"], 4 * 27);
    EXPECT_EQ(a["validation_size"], 100);
    EXPECT_EQ(a["description_size"], 3);
    ASSERT_EQ(a["name_mismatches"].size(), 1u);
    const json &m = a["name_mismatches"][0];
    EXPECT_EQ(m["number"], 2);
    EXPECT_EQ(m["name"], "B.TEX");
    EXPECT_EQ(FromHex(m["data_name_hex"]), "OTHER\x01.TEX");
    EXPECT_EQ(m["data_name"], "OTHER\x01.TEX");

    ASSERT_EQ(a["gaps"].size(), 2u);
    const json &gap = a["gaps"][0];
    EXPECT_EQ(gap["kind"], "gap");
    EXPECT_EQ(gap["number"], 1);
    EXPECT_EQ(gap["name"], "A.TEX");
    EXPECT_EQ(gap["next_number"], 2);
    EXPECT_EQ(gap["next_name_hex"], HexOf("B.TEX"));
    EXPECT_EQ(gap["end"], b.OffsetOf(0) + 24 + 3);
    EXPECT_EQ(gap["next_offset"], b.OffsetOf(1));
    EXPECT_EQ(gap["size"], 2);
    const json &overlap = a["gaps"][1];
    EXPECT_EQ(overlap["kind"], "overlap");
    EXPECT_EQ(overlap["number"], 3);
    EXPECT_EQ(overlap["next_number"], 4);
    EXPECT_EQ(overlap["end"], b.OffsetOf(2) + 24 + 9);
    EXPECT_EQ(overlap["size"], 4);

    // The lines are those of the text report.
    RunResult text = RunKvb(dir, {"analyse", dir / "odd.kvb"});
    std::string joined;
    for (const auto &line : a["lines"])
        joined += line.get<std::string>() + "\n";
    EXPECT_EQ(joined, text.out);
}

TEST(KvbJson, AnalyseOfAnArchiveWithoutEntriesLeavesTheFiguresItHasNotNull)
{
    TempDir dir;
    WriteFile(dir / "empty.kvb", ArchiveBuilder().Build());
    RunResult r = RunKvb(dir, {"analyse", "--json", dir / "empty.kvb"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    json a = json::parse(r.out);
    EXPECT_EQ(a["header_size"], 16);
    EXPECT_EQ(a["table_size"], 0);
    EXPECT_TRUE(a["validation_size"].is_null());
    EXPECT_TRUE(a["description_size"].is_null());
    EXPECT_EQ(a["lines"].size(), 9u);
}

TEST(KvbExtract, ByNameCaseIgnoredRefusingSharedNamesAndToStandardOutput)
{
    Scripted s;
    RunResult r = RunKvb(s.dir, {"extract", s.archive, "one.tex", s.dir / "one"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(ReadFile(s.dir / "one"), "one");
    // Typed in UTF-8, found in Windows-1252.
    r = RunKvb(s.dir, {"extract", s.archive, Cp1252ToUtf8(kAwkwardName), "-"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "awkward");
    r = RunKvb(s.dir, {"extract", s.archive, "5", "-"});
    EXPECT_EQ(r.out, "second");

    r = RunKvb(s.dir, {"extract", s.archive, "Twice", s.dir / "x"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "kvb: Several records carry the name Twice (4, 5); give the number of the "
                     "one to extract\n");
    r = RunKvb(s.dir, {"extract", s.archive, "NONE", s.dir / "x"});
    EXPECT_EQ(r.err, "kvb: The archive has no entry named NONE\n");
    EXPECT_FALSE(std::filesystem::exists(s.dir / "x"));
}

TEST(KvbExtractAll, MatchPicksByPatternWithAsciiCaseIgnored)
{
    Scripted s;
    // The awkward name holds a backslash, so it cannot be a file name: left out by the
    // pattern it is not named, matched it is, as without a pattern, after the other matches.
    RunResult r = RunKvb(s.dir, {"extract-all", s.archive, s.dir / "out", "--match", "o*.tex"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(ReadFile(s.dir / "out/ONE.TEX"), "one");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(s.dir / "out"), {}), 1);
    r = RunKvb(s.dir, {"extract-all", s.archive, s.dir / "bad", "--match", "*.TEX"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err.rfind("kvb: 1 of 2 files extracted; 1 name cannot be a file name: entry 2 ", 0), 0u)
        << r.err;
    EXPECT_EQ(ReadFile(s.dir / "bad/ONE.TEX"), "one");

    r = RunKvb(s.dir, {"extract-all", s.archive, s.dir / "q", "--match", "?WO.*"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(std::filesystem::exists(s.dir / "q/two.mid"));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(s.dir / "q"), {}), 1);

    // "*" matches runs, also empty ones, in the middle of a name.
    r = RunKvb(s.dir, {"extract-all", s.archive, s.dir / "t", "--match", "T*W*c*E"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(s.dir / "t"), {}), 2);
}

TEST(KvbExtractAll, AMatchOfNothingFailsNamingThePatternAndMakesNoFolder)
{
    Scripted s;
    RunResult r = RunKvb(s.dir, {"extract-all", s.archive, s.dir / "none", "--match", "*.WAV"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "kvb: No entry of " + s.archive + " matches \"*.WAV\"; nothing was extracted\n");
    EXPECT_FALSE(std::filesystem::exists(s.dir / "none"));
}

TEST(KvbCreate, WarnsOfEachCutNameAndExtractAndReplaceSayWhatToLookFor)
{
    TempDir dir;
    std::filesystem::create_directories(dir.Path() / "src");
    std::filesystem::create_directories(dir.Path() / "templates");
    WriteFile(dir / "templates/KVB.2", StandardValidation());
    WriteFile(dir / "src/soundtrack_level_01.mid", "music");
    WriteFile(dir / "src/short.tex", "picture");
    RunResult r = RunKvb(dir, {"create", dir / "src", dir / "new.kvb", "--templates", dir / "templates"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "kvb: warning: file soundtrack_level_01.mid is stored under the name "
                     "\"soundtrack_level_01.\", as an archive keeps at most 20 bytes of a name; "
                     "that name cannot be a file name on Windows (Windows drops a final dot)\n");

    const std::string hint = "kvb: The archive has no entry named soundtrack_level_01.mid; names "
                             "are stored in at most 20 bytes, so look for "
                             "\"soundtrack_level_01.\"\n";
    r = RunKvb(dir, {"extract", dir / "new.kvb", "soundtrack_level_01.mid", dir / "out.mid"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, hint);
    EXPECT_FALSE(std::filesystem::exists(dir / "out.mid"));
    r = RunKvb(dir, {"replace", dir / "new.kvb", "SOUNDTRACK_LEVEL_01.MID", dir / "src/short.tex"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "kvb: The archive has no entry named SOUNDTRACK_LEVEL_01.MID; names are "
                     "stored in at most 20 bytes, so look for \"soundtrack_level_01.\"\n");
    // The stored name finds it; a long name whose first 20 bytes name nothing gets no hint.
    r = RunKvb(dir, {"extract", dir / "new.kvb", "soundtrack_level_01.", "-"});
    EXPECT_EQ(r.out, "music");
    r = RunKvb(dir, {"extract", dir / "new.kvb", "soundtrack_level_02.mid", "-"});
    EXPECT_EQ(r.err, "kvb: The archive has no entry named soundtrack_level_02.mid\n");
}
