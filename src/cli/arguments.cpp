// What kvb makes of its arguments: record numbers and file names as the user typed them.
#include "cli/commands.h"

#include "platform/errors.h"
#include "platform/paths.h"

#include <algorithm>
#include <charconv>

namespace kvb::cli {

std::string ShownFileName(const std::string &path)
{
    return FileNameOf(path);
}

std::optional<int64_t> ParseDecimal(const std::string &text)
{
    // Digits only: CLI11 would take a leading 0 as octal and 0x as hexadecimal, so that
    // "010" would be record 8; here it is record 10.
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
    int64_t value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

CLI::Validator DecimalNumber(int64_t least, int64_t most, const std::string &what)
{
    return CLI::Validator(
        [least, most, what](std::string &text) {
            std::optional<int64_t> value = ParseDecimal(text);
            return value && *value >= least && *value <= most
                       ? std::string()
                       : what + " is needed, in decimal digits";
        },
        "", "NUMBER");
}

int32_t RecordIndex(const std::string &number, int32_t count, const char *what)
{
    const int64_t n = ParseDecimal(number).value_or(0);
    if (n < 1 || n > count)
        throw EKVBError(std::string("There is no ") + what + " " + number + " (the archive has " +
                        std::to_string(std::max(count, 0)) + ")");
    return static_cast<int32_t>(n - 1);
}

} // namespace kvb::cli
