#include "platform/errors.h"
#include "platform/stream.h"
#include "support/archive_builder.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace kvb;
using namespace kvb::test;

TEST(FileStream, FoldersAreRefusedInEveryModeWithTheModesError)
{
    TempDir dir;
    const std::string folder = dir / "sub";
    std::filesystem::create_directory(folder);
    try {
        TFileStream s(folder, TFileStream::Mode::OpenRead);
        FAIL() << "a folder opened for reading";
    } catch (const EFOpenError &e) {
        EXPECT_EQ(std::string(e.what()), "Cannot open file " + folder);
    }
    EXPECT_THROW(TFileStream(folder, TFileStream::Mode::OpenReadWrite), EFOpenError);
    try {
        TFileStream s(folder, TFileStream::Mode::Create);
        FAIL() << "a folder opened for writing";
    } catch (const EFCreateError &e) {
        EXPECT_EQ(std::string(e.what()), "Cannot create file " + folder);
    }
    EXPECT_TRUE(std::filesystem::is_directory(folder));
}

TEST(FileStream, ReadStreamKeepsTheSizeItWasOpenedWith)
{
    TempDir dir;
    const std::string path = dir / "f.bin";
    WriteFile(path, "12345");
    TFileStream reader(path, TFileStream::Mode::OpenRead);
    WriteFile(path, "123"); // rewritten after the open
    EXPECT_EQ(reader.OpenedSize(), 5);
    EXPECT_EQ(reader.Size(), 3);
}
