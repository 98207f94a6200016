// What every fuzz target shares: a scratch folder for the files the library wants to open, and
// a check that turns a broken promise of the library into a finding.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace kvb::fuzz {

// Reports what was expected and aborts, which libFuzzer records as a crash with its input.
[[noreturn]] void Fail(const char *what, const std::string &detail = {});

inline void Check(bool condition, const char *what, const std::string &detail = {})
{
    if (!condition)
        Fail(what, detail);
}

// A private folder below the system temp folder for this process, emptied for every input and
// removed at exit.
class Scratch {
public:
    static Scratch &Get();
    // Removes everything the previous input left.
    void Clear();
    std::string Path(const std::string &name) const;

private:
    Scratch();
    ~Scratch();
    std::string folder_;
};

// Writes bytes to a file of the scratch folder and returns its path.
std::string WriteInput(const std::string &name, std::string_view bytes);
// Reads the whole file into bytes; false when it cannot be opened.
bool ReadWholeFile(const std::string &path, std::string &bytes);
// The size of a file, -1 when it does not exist.
int64_t FileSize(const std::string &path);

} // namespace kvb::fuzz
