#include "platform/game_folder.h"
#include "platform/posix/wine_registry.h"

#include "platform/errors.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <unistd.h>

namespace kvb {

namespace {

const char *const kGameKeys[] = {
    "Software\\Square Soft, Inc.\\Final Fantasy VII",
    "Software\\Wow6432Node\\Square Soft, Inc.\\Final Fantasy VII",
};

std::string Lower(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    return s;
}

// Registry files escape backslashes and quotes inside names and values.
std::string Unescape(const std::string &s)
{
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 1 < s.size())
            ++i;
        out += s[i];
    }
    return out;
}

// A section line "[Key\\Name] 1234567890" gives the key "Key\Name".
std::optional<std::string> SectionKey(const std::string &line)
{
    if (line.empty() || line[0] != '[')
        return std::nullopt;
    size_t close = line.find(']');
    if (close == std::string::npos)
        return std::nullopt;
    return Unescape(line.substr(1, close - 1));
}

// A value line "\"AppPath\"=\"C:\\\\Games\\\\\"" gives the value when the name matches.
std::optional<std::string> StringValue(const std::string &line, const std::string &name)
{
    std::string prefix = "\"" + name + "\"=\"";
    if (Lower(line.substr(0, prefix.size())) != Lower(prefix))
        return std::nullopt;
    size_t end = line.rfind('"');
    if (end < prefix.size())
        return std::nullopt;
    return Unescape(line.substr(prefix.size(), end - prefix.size()));
}

} // namespace

std::string DefaultWinePrefix()
{
    if (const char *prefix = std::getenv("WINEPREFIX"); prefix && *prefix)
        return prefix;
    const char *home = std::getenv("HOME");
    return std::string(home ? home : "") + "/.wine";
}

std::optional<std::string> ReadWineAppPath(const std::string &winePrefix)
{
    std::ifstream reg(winePrefix + "/system.reg");
    if (!reg)
        return std::nullopt;
    bool inGameKey = false;
    std::string line;
    while (std::getline(reg, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (auto key = SectionKey(line)) {
            inGameKey = std::any_of(std::begin(kGameKeys), std::end(kGameKeys),
                                    [&](const char *k) { return Lower(*key) == Lower(k); });
            continue;
        }
        if (inGameKey)
            if (auto value = StringValue(line, "AppPath"))
                return TranslateWinePath(winePrefix, *value);
    }
    return std::nullopt;
}

std::string TranslateWinePath(const std::string &winePrefix, const std::string &windowsPath)
{
    std::string path = windowsPath;
    std::replace(path.begin(), path.end(), '\\', '/');
    if (path.size() >= 2 && path[1] == ':')
        return winePrefix + "/dosdevices/" + Lower(path.substr(0, 2)) + path.substr(2);
    return path;
}

std::optional<std::string> FindGameAppPath()
{
    return ReadWineAppPath(DefaultWinePrefix());
}

void EnterGameDataFolder(const std::string &folder)
{
    if (::chdir(folder.c_str()) != 0)
        throw EKVBError("Cannot change to the game's data folder " + folder + ": " +
                        std::strerror(errno));
}

} // namespace kvb
