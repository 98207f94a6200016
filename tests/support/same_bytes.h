// Equality of long byte strings and of whole files, reporting the sizes and the first difference
// rather than the bytes themselves.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace kvb::test {

inline testing::AssertionResult SameBytes(const std::string &actual, const std::string &expected)
{
    if (actual == expected)
        return testing::AssertionSuccess();
    const auto first = std::mismatch(actual.begin(), actual.end(), expected.begin(), expected.end());
    return testing::AssertionFailure() << "sizes " << actual.size() << " and " << expected.size()
                                       << ", first difference at byte " << (first.first - actual.begin());
}

// The two files, a mebibyte at a time.
inline testing::AssertionResult SameFileBytes(const std::filesystem::path &actual,
                                              const std::filesystem::path &expected)
{
    std::ifstream x(actual, std::ios::binary), y(expected, std::ios::binary);
    if (!x || !y)
        return testing::AssertionFailure() << "cannot read " << (x ? expected : actual);
    std::vector<char> bx(1 << 20), by(1 << 20);
    for (std::streamoff at = 0; x && y;) {
        x.read(bx.data(), std::streamsize(bx.size()));
        y.read(by.data(), std::streamsize(by.size()));
        const auto first =
            std::mismatch(bx.begin(), bx.begin() + x.gcount(), by.begin(), by.begin() + y.gcount());
        if (first.first != bx.begin() + x.gcount() || x.gcount() != y.gcount())
            return testing::AssertionFailure() << actual << " and " << expected << " differ at byte "
                                               << at + (first.first - bx.begin());
        at += x.gcount();
    }
    return testing::AssertionSuccess();
}

} // namespace kvb::test
