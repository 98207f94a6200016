// The subcommands of kvb, registered on the application by the unit that implements them.
#pragma once

#include <CLI/CLI.hpp>

#include <cstdint>
#include <optional>
#include <string>

namespace kvb {
class TKVBFile;
}

namespace kvb::cli {

void RegisterArchiveCommands(CLI::App &app);
void RegisterMediaCommands(CLI::App &app);
void RegisterToolCommands(CLI::App &app);
void RegisterFolderCommands(CLI::App &app);
void RegisterDiffCommand(CLI::App &app);
void RegisterModCommands(CLI::App &app);

// Says on standard error what reading the catalogue found beside the archive, if anything.
void ShowNote(const TKVBFile &catalogue);

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
// ENTRY as typed: a record number, or a name as the archive compares names (ASCII case ignored)
// that exactly one record carries; its 0-based index. action says what a number is needed for
// when several records carry the name ("replace", "extract").
int32_t EntryIndex(const TKVBFile &catalogue, const std::string &entry, const std::string &action);

// A file-name pattern: * stands for any run of bytes, ? for one byte, ASCII case ignored as the
// archive ignores it.
bool MatchesPattern(const std::string &name, const std::string &pattern);

} // namespace kvb::cli
