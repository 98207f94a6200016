#include "run_kvb.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <filesystem>

using namespace kvb::test;
namespace fs = std::filesystem;

namespace {

std::string Original()
{
    return ArchiveBuilder()
        .Validation(StandardValidation())
        .Add("A.TEX", PatternBytes(100, 1))
        .Add("B.BIN", PatternBytes(50, 2))
        .Build();
}

// A.TEX changed and NEW.BIN added.
std::string Modded()
{
    return ArchiveBuilder()
        .Validation(std::string(3700, 'n'))
        .Add("A.TEX", PatternBytes(120, 5))
        .Add("B.BIN", PatternBytes(50, 2))
        .Add("NEW.BIN", PatternBytes(30, 6))
        .Build();
}

struct Scene {
    TempDir dir;
    std::string original = dir / "orig.kvb", modded = dir / "modded.kvb", game = dir / "GAME.KVB";
    std::string package = dir / "fix.kvbmod", templates = dir / "t";
    Scene()
    {
        WriteFile(original, Original());
        WriteFile(modded, Modded());
        WriteFile(game, Original());
        fs::create_directory(templates);
        WriteFile(templates + "/KVB.3", std::string(3700, 'n'));
    }
    RunResult Kvb(std::initializer_list<std::string> args) const { return RunKvb(dir, args); }
    RunResult Create() const
    {
        return Kvb(
            {"mod", "create", original, modded, "-o", package, "--name", "Fix", "--version", "2.1"});
    }
};

} // namespace

TEST(CliMod, CreateInfoApplyRevertWithTheirOutputAndExitCodes)
{
    const Scene s;
    const RunResult created = s.Create();
    ASSERT_EQ(created.exitCode, 0) << created.err;
    EXPECT_EQ(created.out, "");

    const RunResult info = s.Kvb({"mod", "info", s.package});
    EXPECT_EQ(info.exitCode, 0) << info.err;
    EXPECT_EQ(info.out, "mod: Fix\nversion: 2.1\nmade for: orig.kvb, " +
                            std::to_string(Original().size()) +
                            " bytes, 2 entries\nreplaces: 1\nadds: "
                            "1\nreplaces\t1\tA.TEX\t100\t120\nadds\t-\tNEW.BIN\t-\t30\n");
    const auto json = nlohmann::json::parse(s.Kvb({"mod", "info", "--json", s.package}).out);
    EXPECT_EQ(json["name"], "Fix");
    EXPECT_EQ(json["replaces"][0]["old_length"], 100);
    EXPECT_EQ(json["adds"][0]["name"], "NEW.BIN");

    const auto listing = Listing(s.dir.Path());
    const RunResult dry =
        s.Kvb({"mod", "apply", "--dry-run", s.game, s.package, "--templates", s.templates});
    EXPECT_EQ(dry.exitCode, 0) << dry.err;
    EXPECT_EQ(dry.out, "1\tA.TEX\t100\t120\n3\tNEW.BIN\t-\t30\n");
    EXPECT_EQ(ReadFile(s.game), Original()) << "--dry-run wrote";
    EXPECT_EQ(Listing(s.dir.Path()), listing);

    const RunResult applied = s.Kvb({"mod", "apply", s.game, s.package, "--templates", s.templates});
    EXPECT_EQ(applied.exitCode, 0) << applied.err;
    EXPECT_EQ(applied.out, dry.out);
    EXPECT_EQ(ReadFile(s.game), Modded());
    EXPECT_TRUE(fs::exists(s.dir / "GAME.KVB.Fix.kvbundo"));

    const RunResult planned =
        s.Kvb({"mod", "apply", "--dry-run", "--json", s.game, s.package, "--templates", s.templates});
    EXPECT_EQ(planned.exitCode, 1);
    EXPECT_EQ(nlohmann::json::parse(planned.out)["already_applied"], true);
    const RunResult again = s.Kvb({"mod", "apply", s.game, s.package, "--templates", s.templates});
    EXPECT_EQ(again.exitCode, 1);
    EXPECT_NE(again.err.find("kvb: Mod Fix is applied to " + s.game + " already"), std::string::npos)
        << again.err;

    const RunResult reverted = s.Kvb({"mod", "revert", "--json", s.game, s.package});
    EXPECT_EQ(reverted.exitCode, 0) << reverted.err;
    const auto changes = nlohmann::json::parse(reverted.out)["changes"];
    ASSERT_EQ(changes.size(), 2u);
    EXPECT_EQ(changes[1]["name"], "NEW.BIN");
    EXPECT_TRUE(changes[1]["new_length"].is_null());
    EXPECT_EQ(ReadFile(s.game), Original());
    EXPECT_FALSE(fs::exists(s.dir / "GAME.KVB.Fix.kvbundo"));
}

TEST(CliMod, RefusalsExitOneWithTheirReasonAndWriteNothing)
{
    const Scene s;
    ASSERT_EQ(s.Create().exitCode, 0);
    const std::string other =
        ArchiveBuilder().Validation(StandardValidation()).Add("A.TEX", "short").Add("B.BIN", "b").Build();
    WriteFile(s.game, other);
    const auto listing = Listing(s.dir.Path());

    const RunResult dry = s.Kvb({"mod", "apply", "--dry-run", "--json", s.game, s.package});
    EXPECT_EQ(dry.exitCode, 1);
    const auto plan = nlohmann::json::parse(dry.out);
    ASSERT_EQ(plan["mismatches"].size(), 1u);
    EXPECT_EQ(plan["mismatches"][0].get<std::string>().substr(0, 29), "entry 1 (A.TEX): 5 bytes; the");
    EXPECT_FALSE(plan["missing_template"].is_null());

    const RunResult wrong = s.Kvb({"mod", "apply", s.game, s.package, "--templates", s.templates});
    EXPECT_EQ(wrong.exitCode, 1);
    EXPECT_EQ(wrong.out, "");
    EXPECT_NE(wrong.err.find(
                  "kvb: Mod Fix does not fit archive " + s.game +
                  ", which is not the version it was made for; nothing was written: entry 1 (A.TEX)"),
              std::string::npos)
        << wrong.err;
    EXPECT_EQ(ReadFile(s.game), other);

    const RunResult notApplied = s.Kvb({"mod", "revert", s.game, s.package});
    EXPECT_EQ(notApplied.exitCode, 1);
    EXPECT_NE(notApplied.err.find("there is no undo package"), std::string::npos) << notApplied.err;
    EXPECT_EQ(Listing(s.dir.Path()), listing);

    // Both MODDED and a folder, or neither, is a usage error; so is a missing output.
    EXPECT_EQ(s.Kvb({"mod", "create", s.original, "-o", s.dir / "x.kvbmod"}).exitCode, 2);
    EXPECT_EQ(s.Kvb({"mod", "create", s.original, s.modded, "--from-folder", s.templates, "-o",
                     s.dir / "x.kvbmod"})
                  .exitCode,
              2);
    EXPECT_EQ(s.Kvb({"mod", "create", s.original, s.modded}).exitCode, 2);
    EXPECT_EQ(s.Kvb({"mod"}).exitCode, 2);
    // The package may not be written over an archive it is made from.
    const RunResult over = s.Kvb({"mod", "create", s.original, s.modded, "-o", s.modded});
    EXPECT_EQ(over.exitCode, 1);
    EXPECT_EQ(ReadFile(s.modded), Modded());
    EXPECT_EQ(Listing(s.dir.Path()), listing);
}
