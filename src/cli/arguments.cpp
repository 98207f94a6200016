// What kvb makes of its arguments: record numbers and file names as the user typed them.
#include "cli/commands.h"

#include "archive/catalogue.h"
#include "archive/format.h"
#include "archive/text.h"
#include "platform/errors.h"
#include "platform/paths.h"

#include <algorithm>
#include <charconv>
#include <iostream>
#include <vector>

namespace kvb::cli {

void ShowNote(const TKVBFile &catalogue)
{
    if (catalogue.Note())
        std::cerr << "kvb: " << *catalogue.Note() << '\n';
}

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
            return value && *value >= least && *value <= most ? std::string()
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

int32_t EntryIndex(const TKVBFile &catalogue, const std::string &entry, const std::string &action)
{
    if (ParseDecimal(entry))
        return RecordIndex(entry, catalogue.EntryCount(), "entry");
    // Typed in UTF-8, stored in Windows-1252.
    const std::string name = Utf8ToCp1252(entry).value_or(entry);
    std::vector<int32_t> found;
    for (int32_t i = 0; i < catalogue.EntryCount(); ++i)
        if (SameName(catalogue.GetEntry(i).Name, name))
            found.push_back(i);
    if (found.empty()) {
        // A name longer than the field was stored cut (creation warns about it); the user
        // knows the whole name.
        const std::string cut = name.substr(0, kNameFieldSize);
        for (int32_t i = 0; i < catalogue.EntryCount() && cut.size() < name.size(); ++i)
            if (const std::string stored = catalogue.GetEntry(i).Name; SameName(stored, cut))
                throw EKVBError("The archive has no entry named " + entry +
                                "; names are stored in at most " + std::to_string(kNameFieldSize) +
                                " bytes, so look for \"" + PrintableName(stored) + "\"");
        throw EKVBError("The archive has no entry named " + entry);
    }
    if (found.size() > 1) {
        std::string numbers;
        for (int32_t i : found)
            numbers += (numbers.empty() ? "" : ", ") + std::to_string(i + 1);
        throw EKVBError("Several records carry the name " + entry + " (" + numbers +
                        "); give the number of the one to " + action);
    }
    return found.front();
}

bool MatchesPattern(const std::string &name, const std::string &pattern)
{
    // ASCII only, whatever the locale says: bytes above 0x7F are Windows-1252 here.
    const auto same = [](char a, char b) { return AsciiUpper(a) == AsciiUpper(b); };
    // Greedy with one step back to the last star: linear in practice, never exponential.
    size_t n = 0, p = 0, starP = std::string::npos, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() &&
            (pattern[p] == '?' || (pattern[p] != '*' && same(pattern[p], name[n])))) {
            ++n;
            ++p;
        } else if (p < pattern.size() && pattern[p] == '*') {
            starP = p++;
            starN = n;
        } else if (starP != std::string::npos) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*')
        ++p;
    return p == pattern.size();
}

} // namespace kvb::cli
