#include "platform/game_folder.h"
#include "platform/posix/wine_registry.h"
#include "support/archive_builder.h"

#include <gtest/gtest.h>

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
