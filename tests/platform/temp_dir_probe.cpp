// Prints the private temp folder of a fresh process, leaves a file in it, and exits normally.
// With "fork", a child process exits first and the parent reports whether the folder survived.
#include "platform/temp_dir.h"
#include "support/archive_builder.h"

#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

int main(int argc, char **argv)
{
    std::string dir = kvb::GetTempDir();
    kvb::test::WriteFile(dir + "left-behind.tex", "bytes");
    if (argc > 1 && std::string(argv[1]) == "fork") {
        pid_t child = ::fork();
        if (child == 0)
            std::exit(0);
        ::waitpid(child, nullptr, 0);
        std::cout << (std::filesystem::exists(dir + "left-behind.tex") ? "kept " : "lost ");
    }
    std::cout << dir << std::flush;
    return 0;
}
