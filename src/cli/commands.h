// The subcommands of kvb, registered on the application by the unit that implements them.
#pragma once

#include <CLI/CLI.hpp>

#include <cstdint>
#include <optional>
#include <string>

namespace kvb::cli {

void RegisterArchiveCommands(CLI::App &app);
void RegisterMediaCommands(CLI::App &app);
void RegisterToolCommands(CLI::App &app);

// The name of a file without its folder, as the windows show it.
std::string ShownFileName(const std::string &path);

// A number as typed: decimal digits only, whatever a leading 0 or 0x would say elsewhere.
// Nothing for any other text or a number too large for 64 bits.
std::optional<int64_t> ParseDecimal(const std::string &text);
// Makes anything but a decimal number from least to most a usage error: "<what> is needed, ...".
CLI::Validator DecimalNumber(int64_t least, int64_t most, const std::string &what);
// A 1-based record number as typed (checked by DecimalNumber), checked against count; its
// 0-based index.
int32_t RecordIndex(const std::string &number, int32_t count, const char *what);

} // namespace kvb::cli
