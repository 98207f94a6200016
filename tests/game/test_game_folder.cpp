#include "game/game_folder.h"
#include "game/wine_registry.h"
#include "support/archive_builder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>

using namespace kvb;
using namespace kvb::test;

TEST(GameFolder, AppPathIsReadFromTheWineRegistryAndTranslated)
{
    TempDir prefix;
    WriteFile(prefix / "system.reg",
              "WINE REGISTRY Version 2\n"
              "[Software\\\\Other] 1\n\"AppPath\"=\"C:\\\\Wrong\\\\\"\n\n"
              "[Software\\\\Wow6432Node\\\\Square Soft, Inc.\\\\Final Fantasy VII] 1700000000\n"
              "#time=1d9\n\"AppPath\"=\"C:\\\\Games\\\\FF7\\\\\"\n");
    auto appPath = ReadWineAppPath(prefix.Path().string());
    ASSERT_TRUE(appPath.has_value());
    EXPECT_EQ(*appPath, prefix.Path().string() + "/dosdevices/c:/Games/FF7/");
}

namespace {

const std::string kKeyAndValue =
    "\n[Software\\\\Square Soft, Inc.\\\\Final Fantasy VII] 1\n\"AppPath\"=\"C:\\\\FF7\"\n";

// A system.reg whose key and value start at byte at, after zeros (a hole, where the system
// allows) without a line break.
void WriteRegistryAt(const TempDir &prefix, int64_t at)
{
    WriteFile(prefix / "system.reg", "");
    std::filesystem::resize_file(prefix / "system.reg", uintmax_t(at));
    std::FILE *f = std::fopen((prefix / "system.reg").c_str(), "r+b");
    ASSERT_NE(f, nullptr);
    std::fseek(f, long(at), SEEK_SET);
    std::fwrite(kKeyAndValue.data(), 1, kKeyAndValue.size(), f);
    std::fclose(f);
}

} // namespace

TEST(GameFolder, TheRegistryIsReadWithinItsBounds)
{
    TempDir prefix;
    const std::string found = prefix / "dosdevices/c:/FF7";
    // A line of 100 KiB is passed over; the lines after it are read.
    WriteRegistryAt(prefix, 100 << 10);
    EXPECT_EQ(ReadWineAppPath(prefix.Path().string()), found);
    // The first 64 MiB are read, and no more.
    const int64_t bound = int64_t(64) << 20;
    WriteRegistryAt(prefix, bound - int64_t(kKeyAndValue.size()));
    EXPECT_EQ(ReadWineAppPath(prefix.Path().string()), found);
    WriteRegistryAt(prefix, bound - int64_t(kKeyAndValue.size()) + 2);
    EXPECT_EQ(ReadWineAppPath(prefix.Path().string()), std::nullopt);
}

TEST(GameFolder, MissingPrefixKeyOrValueIsSilent)
{
    TempDir prefix;
    EXPECT_FALSE(ReadWineAppPath(prefix.Path().string()).has_value());
    WriteFile(prefix / "system.reg",
              "[Software\\\\Square Soft, Inc.\\\\Final Fantasy VII] 1\n\"Other\"=\"x\"\n");
    EXPECT_FALSE(ReadWineAppPath(prefix.Path().string()).has_value());
}

TEST(GameFolder, DataFolderGetsASeparatorOnlyWhenMissing)
{
    EXPECT_EQ(GameDataFolder("/games/ff7/"), "/games/ff7/data");
    EXPECT_EQ(GameDataFolder("/games/ff7"), "/games/ff7/data");
}

namespace {

const char kGameKey[] = "[Software\\\\Square Soft, Inc.\\\\Final Fantasy VII] 1\n";

// A home with a native Steam (reached also through ~/.steam/steam), a Flatpak Steam, and a
// second library that only the native install's libraryfolders.vdf names.
struct SteamHome {
    TempDir home;
    TempDir library;
    std::string native = home / ".local/share/Steam";
    std::string flatpak = home / ".var/app/com.valvesoftware.Steam/.local/share/Steam";
    SteamHome()
    {
        std::filesystem::create_directories(native + "/steamapps");
        std::filesystem::create_directories(flatpak + "/steamapps");
        std::filesystem::create_directories(home / ".steam");
        std::filesystem::create_directory_symlink(native, home / ".steam/steam");
        WriteFile(native + "/steamapps/libraryfolders.vdf",
                  "\"libraryfolders\"\n{\n\t\"0\"\n\t{\n\t\t\"path\"\t\t\"" + native +
                      "\"\n\t}\n\t\"1\"\n\t{\n\t\t\"path\"\t\t\"" + library.Path().string() +
                      "\"\n\t\t\"apps\"\n\t\t{\n\t\t\t\"39140\"\t\t\"123\"\n\t\t}\n\t}\n}\n");
    }
    // A Proton prefix of app id in library root, with the game's key when appPath is given.
    std::string Prefix(const std::string &root, const std::string &id, const std::string &appPath = "")
    {
        const std::string pfx = root + "/steamapps/compatdata/" + id + "/pfx";
        std::filesystem::create_directories(pfx);
        WriteFile(pfx + "/system.reg", appPath.empty()
                                           ? std::string("WINE REGISTRY Version 2\n")
                                           : kGameKey + std::string("\"AppPath\"=\"") + appPath + "\"\n");
        return pfx;
    }
};

struct ScopedEnv {
    std::string name;
    std::optional<std::string> old;
    ScopedEnv(std::string n, const std::string &value) : name(std::move(n))
    {
        if (const char *v = std::getenv(name.c_str()))
            old = v;
        setenv(name.c_str(), value.c_str(), 1);
    }
    ~ScopedEnv() { old ? (void)setenv(name.c_str(), old->c_str(), 1) : (void)unsetenv(name.c_str()); }
};

} // namespace

TEST(SteamLibraries, EveryInstallAndListedLibraryOnceThenTheirProtonPrefixes)
{
    SteamHome s;
    EXPECT_EQ(SteamLibraryFolders(s.home.Path().string()),
              (std::vector<std::string>{s.home / ".steam/steam", s.library.Path().string(), s.flatpak}));
    const std::string b = s.Prefix(s.library.Path().string(), "39140");
    const std::string a = s.Prefix(s.library.Path().string(), "22000");
    const std::string f = s.Prefix(s.flatpak, "1");
    std::filesystem::create_directories(s.native + "/steamapps/compatdata/7/pfx"); // no registry
    EXPECT_EQ(ProtonPrefixes(s.home.Path().string()), (std::vector<std::string>{a, b, f}));
    EXPECT_TRUE(SteamLibraryFolders((s.home / "nobody").c_str()).empty());
}

TEST(SteamLibraries, TheGameIsFoundInAProtonPrefixAfterTheWinePrefix)
{
    SteamHome s;
    TempDir wine;
    ScopedEnv home("HOME", s.home.Path().string());
    ScopedEnv prefix("WINEPREFIX", wine.Path().string());
    s.Prefix(s.library.Path().string(), "100");
    const std::string pfx = s.Prefix(s.flatpak, "39140", "C:\\\\Proton\\\\FF7\\\\");

    TGameFolderSearch search = SearchGameAppPath();
    ASSERT_TRUE(search.AppPath.has_value());
    EXPECT_EQ(*search.AppPath, pfx + "/dosdevices/c:/Proton/FF7/");
    EXPECT_EQ(search.FoundIn, pfx + "/system.reg");
    EXPECT_EQ(search.Searched.front(), wine / "system.reg");
    EXPECT_EQ(search.Searched.back(), pfx + "/system.reg");

    // $WINEPREFIX, when it holds the key, wins.
    WriteFile(wine / "system.reg", kGameKey + std::string("\"AppPath\"=\"D:\\\\Wine\"\n"));
    EXPECT_EQ(FindGameAppPath(), wine / "dosdevices/d:/Wine");
}
