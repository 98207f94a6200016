// The subcommands of kvb, registered on the application by the unit that implements them.
#pragma once

#include <CLI/CLI.hpp>

#include <string>

namespace kvb::cli {

void RegisterArchiveCommands(CLI::App &app);
void RegisterMediaCommands(CLI::App &app);
void RegisterToolCommands(CLI::App &app);

// The name of a file without its folder, as the windows show it.
std::string ShownFileName(const std::string &path);
// A 1-based record number given on the command line, checked against count.
int32_t RecordIndex(long long number, int32_t count, const char *what);

} // namespace kvb::cli
