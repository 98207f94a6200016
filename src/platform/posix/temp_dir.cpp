#include "platform/temp_dir.h"

#include "platform/errors.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace kvb {

namespace {

// A shared temporary folder lets other users guess, replace or read the files put there; a
// folder only this user can enter, with an unguessable name, keeps the preview's files private.
class PrivateTempFolder {
public:
    PrivateTempFolder() : owner_(::getpid())
    {
        std::error_code ec;
        fs::path base = fs::temp_directory_path(ec);
        if (ec)
            throw EKVBError("There is no temporary folder to use: " + ec.message());
        std::string pattern = (base / "kvb-XXXXXX").string();
        std::vector<char> name(pattern.begin(), pattern.end());
        name.push_back('\0');
        if (!::mkdtemp(name.data()))
            throw EKVBError("Cannot create a temporary folder in " + base.string() + ": " +
                            std::strerror(errno));
        path_ = name.data();
        // mkdtemp's mode is filtered through the umask, which could leave the folder unusable.
        ::chmod(path_.c_str(), 0700);
        path_ += '/';
    }

    // A forked child inherits this object; only the process that made the folder removes it.
    ~PrivateTempFolder()
    {
        if (::getpid() == owner_) {
            std::error_code ec;
            fs::remove_all(path_, ec);
        }
    }

    PrivateTempFolder(const PrivateTempFolder &) = delete;
    PrivateTempFolder &operator=(const PrivateTempFolder &) = delete;

    const std::string &Path() const { return path_; }

private:
    pid_t owner_;
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
    std::string pattern = GetTempDir() + "XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    if (!::mkdtemp(name.data()))
        throw EKVBError("Cannot create a temporary folder in " + GetTempDir() + ": " +
                        std::strerror(errno));
    return std::string(name.data()) + "/";
}

} // namespace kvb
