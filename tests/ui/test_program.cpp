// kvbview as a process: asked to stop by a signal, it ends as its close button ends it.
#include "support/archive_builder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace kvb::test;

namespace {

// Whether process pid has its own handler for signal (the "SigCgt" mask of /proc).
bool Catches(pid_t pid, int signal)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("SigCgt:", 0) == 0)
            return (std::stoull(line.substr(7), nullptr, 16) >> (signal - 1)) & 1;
    return false;
}

} // namespace

TEST(Program, SigtermAndSigintEndItInOrderWithTheirExitStatus)
{
    for (int signal : {SIGTERM, SIGINT}) {
        TempDir dir;
        WriteFile(dir / "a.kvb", ArchiveBuilder().Add("A.BIN", "a").Build());
        const std::string tmp = dir / "tmp", runtime = dir / "runtime";
        std::filesystem::create_directory(tmp);
        std::filesystem::create_directory(runtime);
        std::filesystem::permissions(runtime, std::filesystem::perms::owner_all);
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            setenv("TMPDIR", tmp.c_str(), 1);
            setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
            setenv("QT_QPA_PLATFORM", "offscreen", 1);
            const std::string archive = dir / "a.kvb";
            execl(KVBVIEW_BINARY, KVBVIEW_BINARY, archive.c_str(), static_cast<char *>(nullptr));
            _exit(127);
        }
        // Once it handles the signal itself, the window is about to run.
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (!Catches(pid, signal) && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        kill(pid, signal);
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
        EXPECT_EQ(WEXITSTATUS(status), 128 + signal);
        // Its private temporary folder went with it.
        EXPECT_TRUE(std::filesystem::is_empty(tmp));
    }
}
