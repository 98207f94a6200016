#include "platform/listing.h"
#include "platform/program_folder.h"
#include "support/archive_builder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

using namespace kvb;
using namespace kvb::test;
namespace fs = std::filesystem;

TEST(Listing, PlainFilesAndLinksToThemOnly)
{
    TempDir dir;
    WriteFile(dir / "plain", "p");
    WriteFile(dir / ".hidden", "h");
    fs::create_directory(dir / "sub");
    fs::create_symlink(dir / "plain", dir / "link");
    fs::create_symlink(dir / "sub", dir / "folderlink");
    fs::create_symlink(dir / "missing", dir / "dangling");
    auto names = ListPlainFiles(dir.Path().string());
    ASSERT_TRUE(names);
    std::sort(names->begin(), names->end());
    EXPECT_EQ(*names, (std::vector<std::string>{"link", "plain"}));
    EXPECT_FALSE(ListPlainFiles(dir / "missing"));
}

TEST(Listing, LookUpSeesWhatTheListingSees)
{
    TempDir dir;
    WriteFile(dir / "five", "12345");
    WriteFile(dir / ".hidden", "h");
    fs::create_symlink(dir / "five", dir / "link");
    EXPECT_EQ(LookUpPlainFile(dir / "five"), 5);
    EXPECT_EQ(LookUpPlainFile(dir / "link"), 5);
    EXPECT_FALSE(LookUpPlainFile(dir / ".hidden"));
    EXPECT_FALSE(LookUpPlainFile(dir.Path().string()));
    EXPECT_FALSE(LookUpPlainFile(dir / "missing"));
}

TEST(ProgramFolder, IsTheFolderOfTheRunningTest)
{
    EXPECT_TRUE(fs::exists(fs::path(ExecutableFolder()) / "tools_tests"));
}
