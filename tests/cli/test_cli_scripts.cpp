// What scripts rely on: --version, the JSON objects, extraction by name, by pattern and to a pipe.
#include "platform/encoding.h"
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
    EXPECT_EQ(list["file"], "a.kvb");
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
    // pattern it stops nothing, matched it stops the run as without a pattern.
    RunResult r = RunKvb(s.dir, {"extract-all", s.archive, s.dir / "out", "--match", "o*.tex"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(ReadFile(s.dir / "out/ONE.TEX"), "one");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(s.dir / "out"), {}), 1);
    r = RunKvb(s.dir, {"extract-all", s.archive, s.dir / "bad", "--match", "*.TEX"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("cannot be used as a file name"), std::string::npos) << r.err;

    r = RunKvb(s.dir, {"extract-all", s.archive, s.dir / "q", "--match", "?WO.*"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(std::filesystem::exists(s.dir / "q/two.mid"));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(s.dir / "q"), {}), 1);

    // "*" matches runs, also empty ones, in the middle of a name.
    r = RunKvb(s.dir, {"extract-all", s.archive, s.dir / "t", "--match", "T*W*c*E"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(s.dir / "t"), {}), 2);
}
