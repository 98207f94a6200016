#include "platform/temp_dir.h"

#include "platform/errors.h"
#include "platform/paths.h"
#include "platform/random_name.h"
#include "platform/win32/wide.h"

#include <filesystem>

namespace kvb {

namespace {

// A new folder with an unguessable name inside base; its path ends in "/".
std::string NewFolderIn(const std::string &base, const std::string &prefix)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string path = JoinPath(base, prefix + RandomName(10));
        if (::CreateDirectoryW(win32::Wide(path).c_str(), nullptr))
            return path + "/";
        if (::GetLastError() != ERROR_ALREADY_EXISTS)
            throw EKVBError("Cannot create a temporary folder in " + base + ": " +
                            win32::SystemMessage(::GetLastError()));
    }
    throw EKVBError("Cannot create a temporary folder in " + base);
}

// The user's own temporary folder (%TMP%, %TEMP%, else the profile's) is out of other users'
// reach already; a folder of the process's own inside it keeps its files apart from other
// programs' and from other runs.
class PrivateTempFolder {
public:
    PrivateTempFolder()
    {
        wchar_t base[MAX_PATH + 1] = {};
        const DWORD n = ::GetTempPathW(MAX_PATH + 1, base);
        if (n == 0 || n > MAX_PATH)
            throw EKVBError("There is no temporary folder to use: " +
                            win32::SystemMessage(::GetLastError()));
        path_ = NewFolderIn(win32::Utf8(base, n), "kvb-");
    }

    ~PrivateTempFolder()
    {
        std::error_code ec;
        std::filesystem::remove_all(PathFromUtf8(path_), ec);
    }

    PrivateTempFolder(const PrivateTempFolder &) = delete;
    PrivateTempFolder &operator=(const PrivateTempFolder &) = delete;

    const std::string &Path() const { return path_; }

private:
    std::string path_;
};

} // namespace

std::string GetTempDir()
{
    static const PrivateTempFolder folder;
    return folder.Path();
}

std::string NewTempSubfolder()
{
    return NewFolderIn(GetTempDir(), "");
}

} // namespace kvb
