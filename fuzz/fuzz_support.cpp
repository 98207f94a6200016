#include "fuzz_support.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <unistd.h>

namespace fs = std::filesystem;

namespace kvb::fuzz {

void Fail(const char *what, const std::string &detail)
{
    std::fprintf(stderr, "expectation failed: %s%s%s\n", what, detail.empty() ? "" : ": ",
                 detail.c_str());
    std::abort();
}

Scratch &Scratch::Get()
{
    static Scratch scratch;
    return scratch;
}

Scratch::Scratch()
{
    std::string pattern = (fs::temp_directory_path() / "kvbfuzz-XXXXXX").string();
    if (!::mkdtemp(pattern.data()))
        throw std::runtime_error("cannot create a scratch folder");
    folder_ = pattern;
}

Scratch::~Scratch()
{
    std::error_code ec;
    fs::remove_all(folder_, ec);
}

void Scratch::Clear()
{
    std::error_code ec;
    for (const auto &entry : fs::directory_iterator(folder_, ec))
        fs::remove_all(entry.path(), ec);
}

std::string Scratch::Path(const std::string &name) const
{
    return folder_ + "/" + name;
}

std::string WriteInput(const std::string &name, std::string_view bytes)
{
    std::string path = Scratch::Get().Path(name);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), std::streamsize(bytes.size()));
    out.close();
    if (!out)
        Fail("the input could be written", path);
    return path;
}

bool ReadWholeFile(const std::string &path, std::string &bytes)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    bytes.assign(std::istreambuf_iterator<char>(in), {});
    return true;
}

int64_t FileSize(const std::string &path)
{
    std::error_code ec;
    auto size = fs::file_size(path, ec);
    return ec ? -1 : int64_t(size);
}

} // namespace kvb::fuzz
