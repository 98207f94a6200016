#include "platform/errors.h"
#include "platform/stream.h"
#include "support/archive_builder.h"
#include "tools/zip_file.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <utility>
#include <vector>

using namespace kvb;
using namespace kvb::test;

namespace {

using Entries = std::vector<std::pair<std::string, std::string>>;

std::string Zip(const Entries &entries, bool compress = true)
{
    TMemoryStream out;
    TZipWriter writer(out);
    for (const auto &[name, data] : entries)
        writer.Add(name, data, compress);
    writer.Finish();
    return out.Bytes();
}

// Reads every entry of a zip held in bytes; "" when all of it reads, else the refusal.
class ZipFile {
public:
    explicit ZipFile(const std::string &bytes, const TZipLimits &limits = {})
    {
        WriteFile(dir_.Path() / "p.kvbmod", bytes);
        try {
            file_.emplace(dir_ / "p.kvbmod", TFileStream::Mode::OpenRead);
            reader_.emplace(*file_, "Package P", limits);
            for (const TZipEntry &entry : reader_->Entries())
                read_.emplace_back(entry.Name, reader_->Read(entry));
        } catch (const EKVBError &e) {
            refusal_ = e.what();
        }
    }
    const std::string &Refusal() const { return refusal_; }
    const Entries &Read() const { return read_; }
    const TZipReader &Reader() const { return *reader_; }

private:
    TempDir dir_;
    std::optional<TFileStream> file_;
    std::optional<TZipReader> reader_;
    Entries read_;
    std::string refusal_;
};

void Put32(std::string &zip, size_t at, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        zip[at + size_t(i)] = char(value >> 8 * i);
}

// Where the first central record and the end record lie.
size_t Central(const std::string &zip)
{
    return zip.find("PK\x01\x02");
}
size_t End(const std::string &zip)
{
    return zip.size() - 22;
}

// Every occurrence of from (its local header's and its central record's) becomes to.
std::string Renamed(std::string zip, const std::string &from, const std::string &to)
{
    for (size_t at = zip.find(from); at != std::string::npos; at = zip.find(from, at + 1))
        zip.replace(at, from.size(), to);
    return zip;
}

// A field of the one entry, in its local header (at offset local) and its central record.
std::string WithField(std::string zip, size_t local, size_t central, uint32_t value, int bytes = 4)
{
    for (const size_t at : {local, Central(zip) + central})
        for (int i = 0; i < bytes; ++i)
            zip[at + size_t(i)] = char(value >> 8 * i);
    return zip;
}

// A field of the central record alone (local = false) or of the local header alone.
std::string WithOneField(std::string zip, bool local, size_t at, uint32_t value)
{
    Put32(zip, (local ? 0 : Central(zip)) + at, value);
    return zip;
}

const std::string kText = std::string(3000, 'a') + "varied " + PatternBytes(50, 1);

} // namespace

TEST(ZipFile, EntriesComeBackAsWrittenStoredOrDeflatedWhicheverIsSmaller)
{
    const std::string random = PatternBytes(4000, 7);
    const Entries entries = {{"text.txt", kText},
                             {"sub/folder/\xC3\xA9t\xC3\xA9 \xE2\x82\xAC.bin", random},
                             {"empty", ""}};
    const std::string zip = Zip(entries);
    EXPECT_EQ(zip, Zip(entries)) << "the same entries make the same bytes";
    ZipFile read(zip);
    ASSERT_EQ(read.Refusal(), "");
    EXPECT_EQ(read.Read(), entries);
    const auto &list = read.Reader().Entries();
    EXPECT_TRUE(list[0].Deflated);
    EXPECT_LT(list[0].CompressedSize, list[0].Size);
    EXPECT_FALSE(list[2].Deflated) << "two bytes of deflate are not smaller than nothing";
    EXPECT_EQ(read.Reader().Find("empty"), &list[2]);
    EXPECT_EQ(read.Reader().Find("EMPTY"), nullptr);

    ZipFile stored(Zip(entries, false));
    EXPECT_EQ(stored.Read(), entries);
    EXPECT_FALSE(stored.Reader().Entries()[0].Deflated);
    // A copy of an entry is read by its name; its offsets are not trusted.
    TZipEntry forged = list[0];
    forged.LocalHeaderOffset = 1;
    EXPECT_EQ(read.Reader().Read(forged), kText);
}

TEST(ZipFile, OrdinaryToolsOpenOurZipsAndWeOpenTheirs)
{
#ifdef _WIN32
    GTEST_SKIP() << "unzip and python3 are the Linux machine's";
#else
    if (std::system("unzip -v >/dev/null 2>&1") != 0 || std::system("python3 -c '' >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "unzip or python3 is not installed";
    TempDir dir;
    const std::string ours = dir / "ours.zip", theirs = dir / "theirs.zip";
    WriteFile(dir.Path() / "ours.zip", Zip({{"a.txt", kText}, {"d/\xC3\xA9.bin", "xyz"}, {"e", ""}}));
    EXPECT_EQ(std::system(("unzip -tq '" + ours + "' >/dev/null").c_str()), 0);

    const std::string script =
        "import sys, zipfile\n"
        "z = zipfile.ZipFile(sys.argv[1])\n"
        "assert z.testzip() is None\n"
        "for i in z.infolist():\n"
        "    assert i.date_time == (1980, 1, 1, 0, 0, 0) and i.create_system == 3\n"
        "    assert i.external_attr >> 16 == 0o100644 and i.flag_bits & 0x800 and not i.extra\n"
        "print('|'.join(z.namelist()))\n"
        "w = zipfile.ZipFile(sys.argv[2], 'w', zipfile.ZIP_DEFLATED)\n"
        "w.writestr('dir/', '')\n"
        "w.writestr('dir/\\u00e9.txt', 'hello ' * 100)\n"
        "w.writestr(zipfile.ZipInfo('plain'), 'stored')\n"
        "w.close()\n";
    WriteFile(dir.Path() / "check.py", script);
    FILE *pipe =
        ::popen(("python3 '" + (dir / "check.py") + "' '" + ours + "' '" + theirs + "'").c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    char line[200] = {};
    const bool got = std::fgets(line, sizeof line, pipe) != nullptr;
    ASSERT_EQ(::pclose(pipe), 0);
    ASSERT_TRUE(got);
    EXPECT_EQ(std::string(line), "a.txt|d/\xC3\xA9.bin|e\n");

    // The folder's own entry is checked and left out.
    std::string hello;
    for (int i = 0; i < 100; ++i)
        hello += "hello ";
    ZipFile read(ReadFile(dir.Path() / "theirs.zip"));
    ASSERT_EQ(read.Refusal(), "");
    EXPECT_EQ(read.Read(), (Entries{{"dir/\xC3\xA9.txt", hello}, {"plain", "stored"}}));

    // Info-ZIP's zip packing a folder, and writing into a pipe: sizes and CRC after the data.
    if (std::system("zip -v >/dev/null 2>&1") != 0)
        return;
    std::filesystem::create_directory(dir.Path() / "d");
    WriteFile(dir.Path() / "d" / "a.txt", hello);
    ASSERT_EQ(std::system(("cd '" + dir.Path().string() +
                           "' && zip -qr folder.zip d && zip -q - d/a.txt | cat >piped.zip")
                              .c_str()),
              0);
    for (const std::string name : {"folder.zip", "piped.zip"}) {
        ZipFile info(ReadFile(dir.Path() / name));
        EXPECT_EQ(info.Refusal(), "") << name;
        EXPECT_EQ(info.Read(), (Entries{{"d/a.txt", hello}})) << name;
    }
#endif
}

TEST(ZipFile, TheWriterRefusesUnsafeNamesTwiceGivenNamesAndAddingAfterFinish)
{
    TMemoryStream out;
    TZipWriter writer(out);
    for (const std::string name : {"../x", "a/../../x", "/x", "C:x", "a\\b", "", "a//b", "a/", "./a",
                                   "a\x01", "\xC3(", "\xE0\x80\xAF"})
        EXPECT_THROW(writer.Add(name, "data"), EKVBError) << name;
    writer.Add("a", "1");
    EXPECT_THROW(writer.Add("a", "2"), EKVBError);
    writer.Finish();
    EXPECT_THROW(writer.Add("b", "3"), EKVBError);
    EXPECT_THROW(writer.Finish(), EKVBError);
}

TEST(ZipFile, AZipHoldsAtMost65535Entries)
{
    TMemoryStream out;
    TZipWriter writer(out);
    for (int i = 0; i < 0xFFFF; ++i)
        writer.Add(std::to_string(i), "", false);
    try {
        writer.Add("one more", "");
        FAIL() << "the 65,536th entry was added";
    } catch (const EKVBError &e) {
        EXPECT_NE(std::string(e.what()).find("65,535"), std::string::npos) << e.what();
    }
    writer.Finish();
    ZipFile read(out.Bytes());
    ASSERT_EQ(read.Refusal(), "");
    EXPECT_EQ(read.Read().size(), 0xFFFFu);
    EXPECT_EQ(read.Read().back().first, "65534");
}

TEST(ZipFile, AWriteThatFailedLeavesTheZipUnfinishable)
{
    struct TFullStream : TMemoryStream {
        void Write(const void *, int64_t) override { throw EWriteError("no space left on device"); }
    } full;
    TZipWriter writer(full);
    EXPECT_THROW(writer.Add("a", "1"), EWriteError);
    EXPECT_THROW(writer.Add("b", "2"), EKVBError);
    EXPECT_THROW(writer.Finish(), EKVBError);
}

TEST(ZipFile, ACutZipIsRefusedWhereverItIsCut)
{
    const std::string zip = Zip({{"a", kText}, {"b", "stored bytes"}});
    for (size_t size = 0; size < zip.size(); ++size)
        EXPECT_NE(ZipFile(zip.substr(0, size)).Refusal(), "") << size;
    EXPECT_NE(ZipFile(zip + "trailing").Refusal(), "") << "the end record must close the file";
}

TEST(ZipFile, TheReaderRefusesHostileRecordsNamingThePackageAndTheFault)
{
    const std::string one = Zip({{"name", kText}});
    std::string outside = one;
    Put32(outside, End(outside) + 16, 1000000);
    std::string zip64End = one;
    Put32(zip64End, End(zip64End) + 16, 0xFFFFFFFF);
    std::string split = one;
    split[End(split) + 4] = 1;

    const std::vector<std::pair<std::string, std::string>> cases = {
        {outside, "central directory (50 bytes at byte 1000000) lies outside the file"},
        {zip64End, "zip64"},
        {split, "split over several disks"},
        {Renamed(Zip({{"aa/x", ""}}), "aa/x", "../x"), "\"..\""},
        {Renamed(Zip({{"ax", ""}}), "ax", "/x"), "absolute"},
        {Renamed(Zip({{"Cax", ""}}), "Cax", "C:x"), "drive letter"},
        {Renamed(Zip({{"a_b", ""}}), "a_b", "a\\b"), "backslash"},
        {Renamed(Zip({{"a1", "x"}, {"a2", "y"}}), "a2", "a1"), "\"a1\" is given twice"},
        {Renamed(Zip({{"a_", ""}}), "a_", "a\x1b"),
         "entry \"a\\x1B\" has a name that cannot be used: it holds a control byte"},
        {Renamed(Zip({{"\xC3\xA9", ""}}), "\xC3\xA9", "\xE9\xE9"), "entry \"\\xE9\\xE9\""},
        {WithField(one, 18, 20, 0xFFFFFFFF), "zip64"},
        {WithField(one, 6, 8, 0x801, 2), "encrypted"},
        {WithField(one, 8, 10, 12, 2), "compression method 12"},
        {WithField(one, 22, 24, 0xF0000000), "4026531840 bytes, more than the 2147483648 allowed"},
        {WithField(one, 22, 24, 100000000), "compressed bytes cannot hold"},
        {WithField(Zip({{"s", "abc"}}, false), 22, 24, 4), "claims 4 bytes but stores 3"},
        {WithOneField(one, false, 42, 5000), "outside the entries' part"},
        {WithOneField(one, true, 14, 0), "does not match its central record"},
    };
    for (const auto &[zip, fault] : cases) {
        const std::string refusal = ZipFile(zip).Refusal();
        EXPECT_EQ(refusal.rfind("Package P cannot be read as a zip: ", 0), 0u) << refusal;
        EXPECT_NE(refusal.find(fault), std::string::npos) << refusal;
    }
}

TEST(ZipFile, TheLimitsRefuseBeforeAnythingIsRead)
{
    const std::string zip = Zip({{"a", kText}, {"b", kText}});
    TZipLimits few;
    few.MaxEntries = 1;
    EXPECT_NE(ZipFile(zip, few).Refusal().find("2 entries, more than the 1 allowed"), std::string::npos);
    TZipLimits small;
    small.MaxEntrySize = int64_t(kText.size()) - 1;
    EXPECT_NE(ZipFile(zip, small).Refusal().find("allowed for an entry"), std::string::npos);
    TZipLimits total;
    total.MaxTotalSize = 2 * int64_t(kText.size()) - 1;
    EXPECT_NE(ZipFile(zip, total).Refusal().find("allowed in all"), std::string::npos);
}

TEST(ZipFile, DataThatDisagreesWithItsRecordIsRefusedWhenRead)
{
    const std::string zeros(1 << 20, '\0');
    const std::string bomb = Zip({{"z", zeros}});
    const size_t size = Central(bomb) + 24;
    ASSERT_EQ(bomb.substr(size, 4), std::string("\0\0\x10\0", 4));
    // A stream longer than the entry's size stops after one byte more; a shorter one is short.
    EXPECT_NE(
        ZipFile(WithField(bomb, 22, 24, 1000)).Refusal().find("inflates to more than its 1000 bytes"),
        std::string::npos);
    EXPECT_NE(
        ZipFile(WithField(bomb, 22, 24, (1 << 20) + 1)).Refusal().find("inflates to 1048576 bytes, not"),
        std::string::npos);

    std::string flipped = Zip({{"s", "stored bytes"}}, false);
    flipped[31] ^= 1;
    EXPECT_NE(ZipFile(flipped).Refusal().find("does not match its CRC"), std::string::npos);
    std::string garbage = Zip({{"d", kText}});
    garbage[40] ^= 0x55;
    EXPECT_NE(ZipFile(garbage).Refusal().find("entry \"d\" is damaged"), std::string::npos);
}

TEST(ZipFile, EntriesThatOverlapAreRefused)
{
    // "a" holds, as its data, a whole local header of "b" and its data; a second central
    // record points "b" into it.
    const std::string inner = Zip({{"b", "hello"}}, false);
    const std::string localB = inner.substr(0, 30 + 1 + 5);
    std::string centralB = inner.substr(Central(inner), 46 + 1);
    Put32(centralB, 42, 30 + 1);
    std::string zip = Zip({{"a", localB}}, false);
    zip.insert(End(zip), centralB);
    zip[End(zip) + 8] = zip[End(zip) + 10] = 2;
    Put32(zip, End(zip) + 12, 2 * (46 + 1));
    EXPECT_NE(ZipFile(zip).Refusal().find("entries \"a\" and \"b\" overlap"), std::string::npos)
        << ZipFile(zip).Refusal();
}
