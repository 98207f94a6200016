#include "cli/run_kvb.h"
#include "platform/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>

namespace fs = std::filesystem;
using namespace kvb;
using namespace kvb::test;

namespace {

std::string RunProbe(const TempDir &tmp, const std::string &argument)
{
    std::string command = "TMPDIR=" + ShellQuote(tmp.Path().string()) + " " +
                          ShellQuote(KVB_TEMPDIR_PROBE) + " " + argument;
    std::string out;
    FILE *pipe = ::popen(command.c_str(), "r");
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        out.append(buffer, n);
    EXPECT_EQ(::pclose(pipe), 0);
    return out;
}

} // namespace

TEST(GetTempDir, IsOnePrivateFolderEndingInASlash)
{
    std::string dir = GetTempDir();
    EXPECT_EQ(dir, GetTempDir());
    ASSERT_FALSE(dir.empty());
    EXPECT_EQ(dir.back(), '/');
    EXPECT_EQ(fs::path(dir).parent_path().parent_path(), fs::temp_directory_path());

    struct stat st {};
    ASSERT_EQ(::stat(dir.c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(st.st_mode & 07777, 0700u);
}

TEST(GetTempDir, IsMadeInTmpdirAndRemovedWithItsFilesAtExit)
{
    TempDir tmp;
    std::string dir = RunProbe(tmp, "");
    EXPECT_EQ(fs::path(dir).parent_path().parent_path(), tmp.Path());
    EXPECT_FALSE(fs::exists(dir));
    EXPECT_TRUE(fs::is_empty(tmp.Path()));
}

TEST(GetTempDir, SurvivesTheExitOfAForkedChild)
{
    TempDir tmp;
    std::string out = RunProbe(tmp, "fork");
    EXPECT_EQ(out.substr(0, 5), "kept ");
    EXPECT_FALSE(fs::exists(out.substr(5)));
}
