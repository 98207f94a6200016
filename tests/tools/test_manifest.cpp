#include "platform/errors.h"
#include "tools/manifest.h"

#include <gtest/gtest.h>

using namespace kvb;

namespace {

TManifest Sample()
{
    TManifest manifest;
    manifest.ArchivePath = "/games/GAME \"1\".KVB";
    manifest.ArchiveSize = 123456;
    manifest.ArchiveChecksum = 0x0123456789abcdefULL;
    TManifestEntry picture;
    picture.Index = 0;
    picture.Name = "\xC9T\x07.TEX"; // Windows-1252 with a control byte
    picture.Length = 300;
    picture.Checksum = 1;
    picture.File = "\xC3\x89T.png";
    picture.Format = TFileFormat::Png;
    picture.FileStamp = {77, -5};
    picture.FileChecksum = 2;
    TManifestEntry bytes;
    bytes.Index = 2;
    bytes.Name = "A.BIN";
    bytes.Length = 10;
    bytes.Checksum = 3;
    bytes.File = "A.BIN";
    bytes.FileStamp = {10, 1765286000123456789};
    bytes.FileChecksum = 33; // another record that shares its data changed it
    TManifestEntry none;
    none.Index = 1;
    none.Name = "\x81\x8D";
    none.Length = 0;
    none.Checksum = 4;
    manifest.Entries = {picture, none, bytes};
    return manifest;
}

// A manifest's text with one entry whose members are given.
std::string WithEntry(const std::string &members)
{
    return "{\"format\":\"kvb-export\",\"version\":1,\"archive\":{\"path\":\"a\",\"size\":1,"
           "\"checksum\":\"0000000000000001\"},\"entries\":[{" +
           members + "}]}";
}

const std::string kEntry = "\"number\":1,\"name\":\"A\",\"length\":1,\"checksum\":\"00000000000000ff\",";
const std::string kFile = "\"format\":\"bytes\",\"file_size\":1,\"file_modified\":5";

std::string Refusal(const std::string &text)
{
    try {
        ParseManifest(text, "Manifest M");
    } catch (const EKVBError &e) {
        return e.what();
    }
    return "accepted";
}

} // namespace

TEST(Manifest, ComesBackAsItWasWrittenWithEveryByteOfNamesAndFiles)
{
    const TManifest written = Sample();
    const TManifest read = ParseManifest(ManifestText(written), "Manifest M");
    EXPECT_EQ(read.ArchivePath, written.ArchivePath);
    EXPECT_EQ(read.ArchiveSize, written.ArchiveSize);
    EXPECT_EQ(read.ArchiveChecksum, written.ArchiveChecksum);
    ASSERT_EQ(read.Entries.size(), 3u);
    // Read back in record order.
    const TManifestEntry &picture = read.Entries[0], &none = read.Entries[1], &bytes = read.Entries[2];
    EXPECT_EQ(picture.Name, "\xC9T\x07.TEX");
    EXPECT_EQ(picture.File, "\xC3\x89T.png");
    EXPECT_EQ(picture.Format, TFileFormat::Png);
    EXPECT_EQ(picture.FileStamp, (TFileStamp{77, -5}));
    EXPECT_EQ(picture.FileChecksum, 2u);
    EXPECT_EQ(none.Index, 1);
    EXPECT_FALSE(none.File.has_value());
    EXPECT_EQ(none.Name, "\x81\x8D");
    EXPECT_EQ(bytes.FileChecksum, 33u);
    EXPECT_EQ(bytes.FileStamp.Modified, 1765286000123456789);
}

TEST(Manifest, TakesJsonAsPeopleWriteItByHand)
{
    const std::string text = "  {\n \"version\" : 1 , \"extra\": [1, {\"x\": null}, true, -2.5e3],\n"
                             " \"entries\": [ { \"checksum\": \"00000000000000FF\", \"number\": 1,"
                             " \"length\": 0, \"name\": \"\\u00c9\\/\\t\", \"file\": null } ],\n"
                             " \"archive\": {\"checksum\":\"0000000000000001\", \"size\": 0},"
                             " \"format\": \"kvb-export\" }\n";
    const TManifest read = ParseManifest(text, "Manifest M");
    ASSERT_EQ(read.Entries.size(), 1u);
    EXPECT_EQ(read.Entries[0].Name, "\xC9/\t");
    EXPECT_EQ(read.Entries[0].Checksum, 0xffu);
}

TEST(Manifest, RefusesWhatNoExportWritesSayingWhatAndWhere)
{
    struct Row {
        std::string text, error;
    };
    const std::vector<Row> rows = {
        {WithEntry(kEntry + "\"file\":\"../x\"," + kFile), "a file must be named by a plain file name"},
        {WithEntry(kEntry + "\"file\":\"/etc/passwd\"," + kFile),
         "a file must be named by a plain file name"},
        {WithEntry(kEntry + "\"file\":\"..\"," + kFile), "a file must be named by a plain file name"},
        {WithEntry(kEntry + "\"file\":\"a\\\\b\"," + kFile), "a file must be named by a plain file name"},
        {WithEntry(kEntry + "\"file\":\"C:x\"," + kFile), "a file must be named by a plain file name"},
        {WithEntry(kEntry + "\"file\":\"a\\u0000b\"," + kFile),
         "a file must be named by a plain file name"},
        {WithEntry(kEntry + "\"file\":\".KVB-EXPORT.json\"," + kFile), "the manifest's own name"},
        {WithEntry("\"number\":1,\"name\":\"\\u4e00\",\"length\":1,\"checksum\":\"00000000000000ff\","
                   "\"file\":null"),
         "a name must be text an archive can hold"},
        {WithEntry("\"number\":1,\"name\":\"ABCDEFGHIJKLMNOPQRSTU\",\"length\":1,\"checksum\":"
                   "\"00000000000000ff\",\"file\":null"),
         "a name must be text an archive can hold"},
        {WithEntry("\"number\":99999999999999999999,\"name\":\"A\",\"length\":1,\"checksum\":"
                   "\"00000000000000ff\",\"file\":null"),
         "A record number must be from 1 to 2147483647"},
        {WithEntry(
             "\"number\":0,\"name\":\"A\",\"length\":1,\"checksum\":\"00000000000000ff\",\"file\":null"),
         "A record number must be from 1"},
        {WithEntry(
             "\"number\":01,\"name\":\"A\",\"length\":1,\"checksum\":\"00000000000000ff\",\"file\":null"),
         "a number starts with 0"},
        {WithEntry("\"number\":1.0,\"name\":\"A\",\"length\":1,\"checksum\":\"00000000000000ff\","
                   "\"file\":null"),
         "A record number must be a whole number"},
        {WithEntry(
             "\"number\":1,\"name\":\"A\",\"length\":-1,\"checksum\":\"00000000000000ff\",\"file\":null"),
         "A length must be from 0"},
        {WithEntry("\"number\":1,\"name\":\"A\",\"length\":1,\"checksum\":\"ff\",\"file\":null"),
         "A checksum must be 16 hexadecimal digits"},
        {WithEntry(kEntry + "\"file\":null,\"number\":2"), "the member \"number\" appears twice"},
        {WithEntry(kEntry + "\"file\":\"A\""), "the member \"format\" is missing"},
        {WithEntry(kEntry + "\"file\":\"A\",\"format\":\"png\",\"file_size\":1,\"file_modified\":5"),
         "the member \"file_checksum\" is missing"},
        {WithEntry(kEntry + "\"file\":null}, {" + kEntry + "\"file\":null"), "record 1 is listed twice"},
        {WithEntry(kEntry + "\"file\":null,"), "a member's name is expected"},
        {WithEntry(kEntry + "\"file\":null") + "x", "something follows the end of the text"},
        {WithEntry(kEntry + "\"file\":null,\"x\":" + std::string(100, '[') + std::string(100, ']')),
         "values are nested too deeply"},
        {WithEntry(kEntry + "\"file\":\"\xC3\""), "bytes that are not UTF-8"},
        {WithEntry(kEntry + "\"file\":\"\\ud800\""), "a lone surrogate"},
        {WithEntry(kEntry + "\"file\":\"a\tb\""), "a control character"},
        {"{\"format\":\"tar\",\"version\":1}", "it is not the manifest of an export"},
        {"{\"format\":\"kvb-export\",\"version\":2}", "of a version this kvb does not know"},
        {"{\"format\":\"kvb-export\",\"version\":1,\"archive\":{\"size\":1,\"checksum\":"
         "\"0000000000000001\"}}",
         "the member \"entries\" is missing"},
        {"", "the text ends where a value is expected"},
        {"[]", "an object is expected"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.text);
        const std::string error = Refusal(row.text);
        EXPECT_EQ(error.rfind("Manifest M cannot be read: ", 0), 0u) << error;
        EXPECT_NE(error.find(row.error), std::string::npos) << error;
        EXPECT_NE(error.find("(line "), std::string::npos) << error;
    }
}
