#include "platform/errors.h"
#include "platform/stream.h"
#include "support/archive_builder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>

using namespace kvb;
using namespace kvb::test;

TEST(FileStream, OnlyPlainFilesOpenAndAPipeNeverBlocks)
{
    TempDir dir;
    const std::string folder = dir / "sub";
    std::filesystem::create_directory(folder);
    const std::string pipe = dir / "pipe";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    for (auto mode : {TFileStream::Mode::OpenRead, TFileStream::Mode::OpenReadWrite}) {
        try {
            TFileStream s(folder, mode);
            FAIL() << "a folder opened";
        } catch (const EFOpenError &e) {
            EXPECT_EQ(std::string(e.what()), "Cannot open file " + folder + ": it is a folder");
        }
        try {
            TFileStream s(pipe, mode);
            FAIL() << "a pipe opened";
        } catch (const EFOpenError &e) {
            EXPECT_EQ(std::string(e.what()), "Cannot open file " + pipe + ": it is a pipe (FIFO)");
        }
    }
    EXPECT_THROW(TFileStream("/dev/zero", TFileStream::Mode::OpenRead), EFOpenError);
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
