#include "archive/text.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>

namespace kvb {

std::string AsciiUpper(std::string text)
{
    for (char &c : text)
        c = AsciiUpper(c);
    return text;
}

std::string AsciiLower(std::string text)
{
    for (char &c : text)
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    return text;
}

char Cp1252Upper(char c)
{
    const auto b = static_cast<unsigned char>(c);
    // \xF7 is the division sign and \xDF the sharp s, which has no capital of one byte.
    if (b >= 0xE0 && b <= 0xFE && b != 0xF7)
        return char(b - 0x20);
    switch (b) {
    case 0x9A: return char(0x8A); // s with caron
    case 0x9C: return char(0x8C); // oe
    case 0x9E: return char(0x8E); // z with caron
    case 0xFF: return char(0x9F); // y with diaeresis
    default: return AsciiUpper(c);
    }
}

namespace {

// Code points of the bytes 0x80..0x9F; the rest of the range maps to itself.
constexpr char32_t kHighControls[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

char32_t ByteToCodePoint(unsigned char b)
{
    return (b >= 0x80 && b <= 0x9F) ? kHighControls[b - 0x80] : char32_t(b);
}

void AppendUtf8(std::string &out, char32_t c)
{
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xC0 | (c >> 6));
        out += char(0x80 | (c & 0x3F));
    } else {
        out += char(0xE0 | (c >> 12));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    }
}

std::optional<unsigned char> CodePointToByte(char32_t c)
{
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF))
        return static_cast<unsigned char>(c);
    for (int i = 0; i < 32; ++i)
        if (kHighControls[i] == c)
            return static_cast<unsigned char>(0x80 + i);
    return std::nullopt;
}

// Both encodings agree on ASCII, which most names are: such text needs no conversion.
bool IsAscii(const std::string &text)
{
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

} // namespace

std::string Cp1252ToUtf8(const std::string &bytes)
{
    if (IsAscii(bytes))
        return bytes;
    std::string out;
    out.reserve(bytes.size());
    for (unsigned char b : bytes)
        AppendUtf8(out, ByteToCodePoint(b));
    return out;
}

std::optional<std::string> Utf8ToCp1252(const std::string &text)
{
    if (IsAscii(text))
        return text;
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        auto b = static_cast<unsigned char>(text[i]);
        char32_t c;
        size_t extra;
        if (b < 0x80) {
            c = b;
            extra = 0;
        } else if ((b & 0xE0) == 0xC0) {
            c = b & 0x1F;
            extra = 1;
        } else if ((b & 0xF0) == 0xE0) {
            c = b & 0x0F;
            extra = 2;
        } else if ((b & 0xF8) == 0xF0) {
            c = b & 0x07;
            extra = 3;
        } else {
            return std::nullopt;
        }
        if (i + extra >= text.size())
            return std::nullopt;
        for (size_t k = 1; k <= extra; ++k) {
            auto cont = static_cast<unsigned char>(text[i + k]);
            if ((cont & 0xC0) != 0x80)
                return std::nullopt;
            c = (c << 6) | (cont & 0x3F);
        }
        constexpr char32_t kSmallest[4] = {0, 0x80, 0x800, 0x10000}; // overlong forms are invalid
        if (c < kSmallest[extra])
            return std::nullopt;
        auto byte = CodePointToByte(c);
        if (!byte)
            return std::nullopt;
        out += char(*byte);
        i += extra + 1;
    }
    return out;
}

std::string PrintableName(const std::string &bytes)
{
    std::string out;
    for (unsigned char b : bytes) {
        // The five bytes Windows-1252 leaves undefined become C1 controls, which a terminal may
        // act upon (0x90 starts a device control string, 0x9D an operating system command).
        const bool control = b < 0x20 || b == 0x7F ||
                             (b >= 0x80 && b <= 0x9F && ByteToCodePoint(b) == char32_t(b));
        if (control) {
            char hex[5];
            std::snprintf(hex, sizeof hex, "\\x%02X", b);
            out += hex;
        } else {
            AppendUtf8(out, ByteToCodePoint(b));
        }
    }
    return out;
}

} // namespace kvb
