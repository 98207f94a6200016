// The least a program can do to extract many files from one archive, as the floor that
// bench/compare-tar holds `kvb extract-all` against: per file one open, the kernel's copy of its
// bytes out of the archive, one close. It knows nothing of the archive's layout, so that its time
// is only the system's work; the script tells it where each file's bytes lie.
//
//   kvb_floor_extract ARCHIVE FOLDER LIST
//
// LIST holds one line "OFFSET LENGTH NAME" per file. FOLDER must exist, and no file in it is
// replaced. kvb also reads each entry's data header before copying; the floor does not need to.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

struct Piece {
    off_t offset;
    size_t length;
    std::string name;
};

[[noreturn]] void Fail(const std::string &what)
{
    std::fprintf(stderr, "kvb_floor_extract: %s: %s\n", what.c_str(), std::strerror(errno));
    std::exit(1);
}

// Through a buffer, where the kernel does not copy between these two files.
void CopyThroughBuffer(int in, loff_t from, int out, size_t count, const std::string &name)
{
    static std::vector<char> buffer(1 << 20);
    while (count > 0) {
        ssize_t got = ::pread(in, buffer.data(), std::min(count, buffer.size()), from);
        if (got < 0 && errno == EINTR)
            continue;
        if (got == 0) {
            std::fprintf(stderr, "kvb_floor_extract: %s lies past the end of the archive\n",
                         name.c_str());
            std::exit(1);
        }
        if (got < 0)
            Fail("reading the data of " + name);
        for (ssize_t done = 0; done < got;) {
            ssize_t n = ::write(out, buffer.data() + done, size_t(got - done));
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                Fail("writing " + name);
            done += n;
        }
        from += got;
        count -= size_t(got);
    }
}

void Copy(int in, int out, const Piece &piece)
{
    loff_t from = piece.offset;
    size_t count = piece.length;
    while (count > 0) {
        ssize_t n = ::copy_file_range(in, &from, out, nullptr, count, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break; // the buffered copy below finishes the file, or reports the real error
        count -= size_t(n);
    }
    if (count > 0)
        CopyThroughBuffer(in, from, out, count, piece.name);
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: kvb_floor_extract ARCHIVE FOLDER LIST\n");
        return 2;
    }
    // Like kvb, which reads the whole catalogue before it creates the first file.
    std::vector<Piece> pieces;
    std::ifstream list(argv[3]);
    if (!list)
        Fail(argv[3]);
    for (std::string line; std::getline(list, line);) {
        std::istringstream fields(line);
        Piece &piece = pieces.emplace_back();
        if (!(fields >> piece.offset >> piece.length >> piece.name)) {
            errno = EINVAL;
            Fail(argv[3]);
        }
    }

    int in = ::open(argv[1], O_RDONLY | O_CLOEXEC);
    if (in < 0)
        Fail(argv[1]);
    // Names are looked up from the folder itself, so that the folder's path is not walked again
    // for every file.
    int folder = ::open(argv[2], O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0)
        Fail(argv[2]);
    for (const Piece &p : pieces) {
        int out = ::openat(folder, p.name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (out < 0)
            Fail("creating " + p.name);
        Copy(in, out, p);
        if (::close(out) != 0)
            Fail("writing " + p.name);
    }
    return 0;
}
