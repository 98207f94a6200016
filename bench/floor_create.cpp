// The least a program can do to pack a folder of many small files into one file, as the floor
// that bench/compare-tar holds `kvb create` against: one listing of the folder, per file one
// open, its bytes read into a shared buffer and one close, and the buffer written out whenever it
// is full. The output is only the files' bytes one after the other, in the listing's order.
//
//   kvb_floor_create FOLDER OUTPUT
//
// kvb makes one call per file that the floor leaves out: once the file is open it asks what it is
// and how large, so that only plain files are stored and a file that reads short (cut while it is
// read, or a read error after part of it) is refused rather than stored cut. The floor takes the
// first read that returns less than it asked for as the end. OUTPUT must not exist.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

// The same size as kvb's write buffer, so that both write out in the same steps.
constexpr size_t kBuffer = 128 * 1024;

[[noreturn]] void Fail(const std::string &what)
{
    std::fprintf(stderr, "kvb_floor_create: %s: %s\n", what.c_str(), std::strerror(errno));
    std::exit(1);
}

class Writer {
public:
    explicit Writer(int fd) : fd_(fd), buffer_(kBuffer) {}

    // Appends the whole of the open file in.
    void AppendFile(int in, const char *name)
    {
        off_t at = 0;
        for (;;) {
            if (used_ == buffer_.size())
                Flush();
            size_t room = buffer_.size() - used_;
            ssize_t n = ::pread(in, buffer_.data() + used_, room, at);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                Fail(std::string("reading ") + name);
            used_ += size_t(n);
            at += n;
            if (size_t(n) < room)
                return;
        }
    }

    void Flush()
    {
        for (size_t done = 0; done < used_;) {
            ssize_t n = ::pwrite(fd_, buffer_.data() + done, used_ - done, position_);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                Fail("writing the output");
            done += size_t(n);
            position_ += n;
        }
        used_ = 0;
    }

private:
    int fd_;
    off_t position_ = 0;
    std::vector<char> buffer_;
    size_t used_ = 0;
};

} // namespace

int main(int argc, char **argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: kvb_floor_create FOLDER OUTPUT\n");
        return 2;
    }
    int out = ::open(argv[2], O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (out < 0)
        Fail(argv[2]);
    DIR *dir = ::opendir(argv[1]);
    if (!dir)
        Fail(argv[1]);
    Writer writer(out);
    for (;;) {
        errno = 0;
        const dirent *entry = ::readdir(dir);
        if (!entry) {
            if (errno != 0)
                Fail(argv[1]);
            break;
        }
        // Hidden names (also "." and "..") and whatever the listing says is no plain file are
        // left out; on a file system that reports no types every entry is opened as a file.
        if (entry->d_name[0] == '.' || (entry->d_type != DT_REG && entry->d_type != DT_UNKNOWN))
            continue;
        // Opened from the listed folder itself, so that its path is not walked again per file.
        int in = ::openat(::dirfd(dir), entry->d_name, O_RDONLY | O_CLOEXEC);
        if (in < 0)
            Fail(entry->d_name);
        writer.AppendFile(in, entry->d_name);
        ::close(in);
    }
    ::closedir(dir);
    writer.Flush();
    if (::close(out) != 0)
        Fail("writing the output");
    return 0;
}
