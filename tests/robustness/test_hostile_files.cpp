// Archives and textures that change under the reader or carry the largest value in every
// 32-bit field.
#include "archive/catalogue.h"
#include "archive/extract.h"
#include "archive/raw_archive.h"
#include "platform/errors.h"
#include "platform/stream.h"
#include "preview/tex.h"
#include "robustness/child_process.h"
#include "support/archive_builder.h"
#include "support/tex_builder.h"
#include "tools/analysis.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <unistd.h>

using namespace kvb;
using namespace kvb::test;

namespace {

// The catalogue reports progress between its reads; the hook is where the file is cut.
struct CutAtProgress {
    static inline std::string path;
    static inline int32_t atPosition = 0;
    static inline off_t toSize = 0;
    static void Hook(int32_t position, int32_t)
    {
        if (position == atPosition && ::truncate(path.c_str(), toSize) != 0)
            ADD_FAILURE() << "cannot truncate " << path;
    }
    CutAtProgress(const std::string &file, int32_t position, off_t size)
    {
        path = file;
        atPosition = position;
        toSize = size;
        ProgressHook = Hook;
    }
    ~CutAtProgress() { ProgressHook = nullptr; }
};

// Bytes in memory that lose their tail after the first read, as a file cut by another program.
class ShrinkingStream : public TStream {
public:
    ShrinkingStream(std::string bytes, size_t shrinkTo) : bytes_(std::move(bytes)), shrinkTo_(shrinkTo) {}
    int64_t Read(void *buffer, int64_t count) override
    {
        int64_t n = std::clamp<int64_t>(Size() - position_, 0, count);
        std::memcpy(buffer, bytes_.data() + position_, size_t(n));
        position_ += n;
        bytes_.resize(std::min(bytes_.size(), shrinkTo_));
        return n;
    }
    void Write(const void *, int64_t) override { throw EWriteError(); }
    int64_t Size() const override { return int64_t(bytes_.size()); }

private:
    std::string bytes_;
    size_t shrinkTo_;
};

} // namespace

TEST(ShrinkingFile, CatalogueFailsWhenTheDataGoesBetweenItsPasses)
{
    TempDir dir;
    std::string path = dir / "a.kvb";
    WriteFile(path, TwoEntryArchive());
    CutAtProgress cut(path, 2, 16 + 2 * 27); // after the last table record
    EXPECT_THROW(TKVBFile(path, true), EReadError);
}

TEST(ShrinkingFile, CatalogueFailsWhenTheTableGoesWhileItIsRead)
{
    TempDir dir;
    std::string path = dir / "a.kvb";
    ArchiveBuilder b;
    b.Validation("");
    for (int i = 0; i < 5000; ++i) // more records than one read takes in
        b.Add("E" + std::to_string(i), "");
    WriteFile(path, b.Build());
    CutAtProgress cut(path, 1, 16 + 100 * 27);
    EXPECT_THROW(TKVBFile(path, false), EReadError);
}

TEST(ShrinkingFile, ExtractionKeepsWhatWasThereWhenTheArchiveIsCut)
{
    TempDir dir;
    std::string path = dir / "a.kvb";
    ArchiveBuilder b;
    const std::string data = PatternBytes(3 << 20, 5); // several copy chunks
    b.Add("BIG.BIN", data);
    WriteFile(path, b.Build());
    TKVBFile catalogue(path, true);
    TFileStream source(path, TFileStream::Mode::OpenRead);

    const int64_t kept = (5 << 20) / 2;
    ASSERT_EQ(::truncate(path.c_str(), b.OffsetOf(0) + 24 + kept), 0);
    EXPECT_THROW(ExtractEntry(source, catalogue.GetEntry(0), dir / "out.bin"), EReadError);
    EXPECT_EQ(ReadFile(dir / "out.bin"), data.substr(0, size_t(kept)));

    // The same through the buffered copy, with the stream shrinking after the first chunk.
    ShrinkingStream shrinking(b.Build(), size_t(b.OffsetOf(0) + 24 + kept));
    EXPECT_THROW(ExtractEntry(shrinking, catalogue.GetEntry(0), dir / "out2.bin"), EReadError);
    EXPECT_EQ(ReadFile(dir / "out2.bin"), data.substr(0, size_t(kept)));
}

// 2,147,483,647 in each signed 32-bit field of an archive: refused with a message or read
// as what it says, never an overflow, a crash or a huge allocation.
TEST(LargestValue, InTheCountFailsAtOnceInBothReaders)
{
    TempDir dir;
    std::string path = dir / "a.kvb";
    std::string bytes = TwoEntryArchive();
    PatchCount(bytes, INT32_MAX);
    WriteFile(path, bytes);
    EXPECT_THROW(TKVBFile(path, false), EReadError);
    EXPECT_THROW(TKVBFile(path, true), EReadError);
    EXPECT_THROW(TRawKVBFile{path}, EReadError);
}

TEST(LargestValue, AsAnOffsetIsListedButItsDataCannotBeRead)
{
    TempDir dir;
    std::string path = dir / "a.kvb";
    std::string bytes = TwoEntryArchive();
    PatchTocOffset(bytes, 0, INT32_MAX);
    WriteFile(path, bytes);

    TKVBFile catalogue(path, false);
    EXPECT_EQ(catalogue.GetSortedEntry(1).Offset, INT32_MAX);
    EXPECT_THROW(TKVBFile(path, true), EReadError);
    TFileStream source(path, TFileStream::Mode::OpenRead);
    EXPECT_THROW(ExtractEntry(source, catalogue.GetEntry(0), dir / "out.bin"), EReadError);
    EXPECT_FALSE(std::filesystem::exists(dir / "out.bin"));

    TRawKVBFile raw(path); // the walk starts at the other record's offset
    EXPECT_EQ(raw.GetTocRecord(0).Offset, INT32_MAX);
    ASSERT_EQ(raw.DataCount(), 1);
    EXPECT_EQ(raw.GetDataRecord(0).Position, 3796);
}

TEST(LargestValue, AsALengthEndsTheWalkAndCannotBeAppendedAfter)
{
    TempDir dir;
    std::string path = dir / "a.kvb";
    std::string bytes = TwoEntryArchive();
    PatchDataLength(bytes, 3796, INT32_MAX); // the last entry
    WriteFile(path, bytes);

    TKVBFile catalogue(path, true);
    EXPECT_EQ(catalogue.GetEntry(1).Length, INT32_MAX);
    EXPECT_EQ(catalogue.Description(), ""); // it would start past the end of the file
    TFileStream source(path, TFileStream::Mode::OpenRead);
    EXPECT_THROW(ExtractEntry(source, catalogue.GetEntry(1), dir / "out.bin"), EReadError);
    EXPECT_EQ(ReadFile(dir / "out.bin"), bytes.substr(3796 + 24));

    TRawKVBFile raw(path);
    EXPECT_EQ(raw.DataCount(), 2);
    TKVB_DataRecord record;
    record.Name = NameToField("NEW");
    record.Length = 1;
    record.Data = "x";
    EXPECT_THROW(raw.AppendData(record), EKVBError); // it would start beyond 2 GiB
    record.Length = INT32_MAX;
    EXPECT_THROW(raw.AppendData(record), EKVBError); // a length its data does not have
    EXPECT_EQ(raw.DataCount(), 2);
    EXPECT_EQ(ReadFile(path), bytes);
}

TEST(LargestValue, AsALengthIsAGapInTheAnalysisReport)
{
    TempDir dir;
    std::string path = dir / "a.kvb";
    std::string bytes = TwoEntryArchive();
    PatchDataLength(bytes, 3672, INT32_MAX); // the first entry now reaches far past the second
    WriteFile(path, bytes);
    const std::vector<std::string> lines = AnalyseArchive(TKVBFile(path, true), "a.kvb").Lines;
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(lines[lines.size() - 4], "  FIRST.BIN and SECOND.BIN");
}

TEST(LargestValue, InATextureHeaderIsRefusedBeforeAnythingIsAllocated)
{
    const std::string good = GradientTex(4, 4).Build();
    for (int field : {60, 64, 88}) {
        std::string bytes = good;
        PutInt32LE(bytes.data() + field, INT32_MAX);
        TMemoryStream stream(bytes);
        EXPECT_THROW(TexToBitmap(stream, kTexImageDataPosition), EKVBError) << field;
    }
}
