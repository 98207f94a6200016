#include "platform/replacing_file.h"

#include "platform/errors.h"
#include "platform/stream.h"

#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace kvb {

namespace {

std::string RandomSuffix()
{
    static constexpr char kChars[] =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::random_device random;
    std::uniform_int_distribution<size_t> pick(0, sizeof kChars - 2);
    std::string suffix(8, '\0');
    for (char &c : suffix)
        c = kChars[pick(random)];
    return suffix;
}

} // namespace

std::string ResolvedTarget(const std::string &target)
{
    std::error_code ec;
    fs::path resolved = fs::weakly_canonical(target, ec);
    return ec ? target : resolved.string();
}

TReplacingFile::TReplacingFile(const std::string &target)
    : shownTarget_(target), target_(ResolvedTarget(target))
{
    // Overwriting in place would keep the target's permissions and refuse a read-only target;
    // the replacement does the same.
    mode_t keepMode = 0;
    bool replacing = false;
    struct stat st {};
    if (::stat(target_.c_str(), &st) == 0) {
        if (!S_ISREG(st.st_mode) || ::access(target_.c_str(), W_OK) != 0)
            throw EFCreateError(target);
        keepMode = st.st_mode & 07777;
        replacing = true;
    }

    fs::path path(target_);
    fs::path folder = path.parent_path();
    std::string stem = "." + path.filename().string() + ".";
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temporary_ = (folder / (stem + RandomSuffix())).string();
        fd = ::open(temporary_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    if (fd < 0)
        throw EFCreateError(target);
    if (replacing)
        ::fchmod(fd, keepMode);
    stream_ = std::make_unique<TFileStream>(fd, temporary_);
}

TReplacingFile::~TReplacingFile()
{
    if (stream_) {
        stream_.reset();
        ::unlink(temporary_.c_str());
    }
}

void TReplacingFile::Commit()
{
    try {
        stream_->Close();
        stream_.reset();
    } catch (const EKVBError &) {
        stream_.reset();
        ::unlink(temporary_.c_str());
        throw;
    }
    if (::rename(temporary_.c_str(), target_.c_str()) != 0) {
        ::unlink(temporary_.c_str());
        throw EFCreateError(shownTarget_);
    }
}

} // namespace kvb
