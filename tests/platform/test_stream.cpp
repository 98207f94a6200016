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

// Long copies take different ways through the kernel depending on where the source and the
// target stand within their pages and blocks; every way must give the same bytes.
TEST(FileStream, LongCopiesKeepEveryByteWhereverTheyStartAndEnd)
{
    TempDir dir;
    const std::string from = dir / "from.bin";
    const std::string bytes = PatternBytes(3 * 1024 * 1024 + 777, 7);
    WriteFile(from, bytes);
    TFileStream source(from, TFileStream::Mode::OpenRead);
    struct Case {
        int64_t sourcePosition, position, count;
    };
    const Case cases[] = {
        {0, 0, int64_t(bytes.size())},  // the whole file, as cp copies it
        {6928, 6928, 2 * 1024 * 1024},  // the same place in a page, off the block boundary
        {13602, 13602 + 8192, 2500000}, // whole pages apart
        {1314, 65536 + 1000, 2100000},  // anywhere within the pages
        {70000, 3, 1024 * 1024},        // the source ahead of the target
        {5, 100, 1024 * 1024 - 1},      // just short of a long copy
    };
    for (const Case &c : cases) {
        const std::string to = dir / "to.bin";
        WriteFile(to, std::string(size_t(c.position), 'x'));
        {
            TFileStream target(to, TFileStream::Mode::OpenReadWrite);
            CopyFileRange(source, c.sourcePosition, target, c.position, c.count);
        }
        const std::string got = ReadFile(to);
        ASSERT_EQ(got.size(), size_t(c.position + c.count)) << "to " << c.position;
        EXPECT_EQ(got.substr(0, size_t(c.position)), std::string(size_t(c.position), 'x'));
        EXPECT_TRUE(got.substr(size_t(c.position)) ==
                    bytes.substr(size_t(c.sourcePosition), size_t(c.count)))
            << "from " << c.sourcePosition << " to " << c.position;
    }
}

TEST(FileStream, KernelCopyStopsAtTheSourcesEndAndSaysHowFar)
{
    TempDir dir;
    const std::string from = dir / "from.bin";
    const std::string bytes = PatternBytes(2 * 1024 * 1024, 3);
    WriteFile(from, bytes);
    TFileStream source(from, TFileStream::Mode::OpenRead);
    for (int64_t position : {int64_t(0), int64_t(65536), int64_t(4096 + 3)}) {
        const std::string to = dir / "to.bin";
        WriteFile(to, "");
        TFileStream target(to, TFileStream::Mode::OpenReadWrite);
        const int64_t copied = target.CopyFrom(source, 1000, position, 4 * 1024 * 1024);
        // Where the system offers no kernel copy, none is made and the caller copies it all.
        if (copied == 0)
            continue;
        EXPECT_EQ(copied, int64_t(bytes.size()) - 1000) << position;
        EXPECT_TRUE(ReadFile(to).substr(size_t(position)) == bytes.substr(1000)) << position;
    }
}
