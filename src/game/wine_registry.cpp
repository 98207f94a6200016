#include "game/wine_registry.h"

#include "archive/text.h"
#include "game/game_folder.h"
#include "platform/errors.h"
#include "platform/file_attributes.h"
#include "platform/folders.h"
#include "platform/stream.h"

#include <algorithm>
#include <cstdlib>
#include <functional>

namespace kvb {

namespace {

// Registry names are compared with ASCII letters in either case alike; the ones sought here are
// ASCII.
bool SameRegistryName(const std::string &a, const std::string &b)
{
    return AsciiUpper(a) == AsciiUpper(b);
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
    if (!SameRegistryName(line.substr(0, prefix.size()), prefix))
        return std::nullopt;
    size_t end = line.rfind('"');
    if (end < prefix.size())
        return std::nullopt;
    return Unescape(line.substr(prefix.size(), end - prefix.size()));
}

// The quoted strings of a line of a Valve key-value file, such as "path"  "/games/Steam";
// backslashes escape the next character there as in the registry.
std::vector<std::string> QuotedStrings(const std::string &line)
{
    std::vector<std::string> out;
    for (size_t i = 0; i < line.size(); ++i) {
        if (line[i] != '"')
            continue;
        std::string text;
        for (++i; i < line.size() && line[i] != '"'; ++i) {
            if (line[i] == '\\' && i + 1 < line.size())
                ++i;
            text += line[i];
        }
        out.push_back(text);
    }
    return out;
}

// A registry file is plain text of lines, read with bounds, since a planted file may be anything:
// a real system.reg of a prefix with many programs holds a few megabytes and, with the keys
// Wine adds itself, well under 64 MiB; one line holds one key or value, and the AppPath sought
// is a Windows path (at most 32,767 characters, far fewer in practice), well under 64 KiB.
// A Steam libraryfolders.vdf lists a few library folders in a few kilobytes.
constexpr int64_t kMaxRegistryBytes = int64_t(64) << 20;
constexpr int64_t kMaxLibraryListBytes = int64_t(1) << 20;
constexpr size_t kMaxLineBytes = size_t(64) << 10;

// Hands each line of the file at path to take (without its line break and a CR before it),
// until take returns true or the file or the first maxBytes of it end. A line longer than
// kMaxLineBytes is passed over, since no line sought is that long. The file is opened as
// archives are, so that a pipe, a device or a folder planted there is never waited on or read:
// such a file, and any that cannot be read, is passed over as if missing.
void ReadLines(const std::string &path, int64_t maxBytes,
               const std::function<bool(const std::string &)> &take)
{
    try {
        TFileStream file(path, TFileStream::Mode::OpenRead);
        std::string line;
        bool overlong = false;
        std::string buffer(size_t(64) << 10, '\0');
        for (int64_t at = 0; at < maxBytes;) {
            const int64_t got =
                file.ReadAt(at, buffer.data(), std::min<int64_t>(int64_t(buffer.size()), maxBytes - at));
            if (got <= 0)
                break;
            at += got;
            for (int64_t i = 0; i < got; ++i) {
                const char c = buffer[size_t(i)];
                if (c != '\n') {
                    overlong = overlong || line.size() == kMaxLineBytes;
                    if (!overlong)
                        line += c;
                    continue;
                }
                if (!line.empty() && line.back() == '\r')
                    line.pop_back();
                if (!overlong && take(line))
                    return;
                line.clear();
                overlong = false;
            }
        }
        if (!overlong && !line.empty())
            take(line);
    } catch (const EKVBError &) {
    }
}

// One folder reached by several names (~/.steam/steam is usually a link to the native install)
// is searched once.
void AddFolderOnce(std::vector<std::string> &folders, const std::string &folder)
{
    if (!IsFolder(folder))
        return;
    const auto same = [&](const std::string &known) { return SameFileOrFolder(known, folder); };
    if (std::none_of(folders.begin(), folders.end(), same))
        folders.push_back(folder);
}

} // namespace

std::vector<std::string> SteamLibraryFolders(const std::string &home)
{
    std::vector<std::string> roots;
    for (const char *install :
         {"/.steam/steam", "/.local/share/Steam", "/.var/app/com.valvesoftware.Steam/.local/share/Steam"})
        AddFolderOnce(roots, home + install);
    std::vector<std::string> libraries;
    for (const std::string &root : roots) {
        AddFolderOnce(libraries, root);
        ReadLines(root + "/steamapps/libraryfolders.vdf", kMaxLibraryListBytes,
                  [&](const std::string &line) {
                      std::vector<std::string> strings = QuotedStrings(line);
                      if (strings.size() == 2 && SameRegistryName(strings[0], "path") &&
                          !strings[1].empty())
                          AddFolderOnce(libraries, strings[1]);
                      return false;
                  });
    }
    return libraries;
}

std::vector<std::string> ProtonPrefixes(const std::string &home)
{
    std::vector<std::string> prefixes;
    for (const std::string &library : SteamLibraryFolders(home)) {
        std::vector<std::string> found;
        const std::string compatdata = library + "/steamapps/compatdata";
        for (const std::string &app : ListSubfolders(compatdata)) {
            const std::string pfx = compatdata + "/" + app + "/pfx";
            if (FileAttributes(pfx + "/system.reg"))
                found.push_back(pfx);
        }
        std::sort(found.begin(), found.end());
        prefixes.insert(prefixes.end(), found.begin(), found.end());
    }
    return prefixes;
}

std::vector<std::string> GamePrefixCandidates()
{
    std::vector<std::string> prefixes = {DefaultWinePrefix()};
    const char *home = std::getenv("HOME");
    if (home && *home)
        for (const std::string &pfx : ProtonPrefixes(home))
            prefixes.push_back(pfx);
    return prefixes;
}

std::string DefaultWinePrefix()
{
    if (const char *prefix = std::getenv("WINEPREFIX"); prefix && *prefix)
        return prefix;
    const char *home = std::getenv("HOME");
    return std::string(home ? home : "") + "/.wine";
}

std::optional<std::string> ReadWineAppPath(const std::string &winePrefix)
{
    bool inGameKey = false;
    std::optional<std::string> found;
    ReadLines(winePrefix + "/system.reg", kMaxRegistryBytes, [&](const std::string &line) {
        if (auto key = SectionKey(line)) {
            inGameKey = SameRegistryName(*key, kGameRegistryKey) ||
                        SameRegistryName(*key, kGameRegistryKey32);
            return false;
        }
        if (inGameKey)
            found = StringValue(line, "AppPath");
        return found.has_value();
    });
    if (!found)
        return std::nullopt;
    return TranslateWinePath(winePrefix, *found);
}

std::string TranslateWinePath(const std::string &winePrefix, const std::string &windowsPath)
{
    std::string path = windowsPath;
    std::replace(path.begin(), path.end(), '\\', '/');
    if (path.size() >= 2 && path[1] == ':')
        return winePrefix + "/dosdevices/" + AsciiLower(path.substr(0, 2)) + path.substr(2);
    return path;
}

} // namespace kvb
