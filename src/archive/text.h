// Archive text is single-byte Windows-1252; people and file systems here see UTF-8.
#pragma once

#include <optional>
#include <string>

namespace kvb {

// The letters a to z in capitals (AsciiUpper) or A to Z in small letters (AsciiLower), every
// other byte as it is, whatever the locale: the case rule of archive names, and of every other
// name the program compares with case ignored.
inline char AsciiUpper(char c)
{
    return c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c;
}
std::string AsciiUpper(std::string text);
std::string AsciiLower(std::string text);

// The capital of every Windows-1252 letter that has one there (A for a, 0xC9 for 0xE9, 0x8A for
// 0x9A, 0x9F for 0xFF), every other byte as it is: how a file system that ignores case compares
// names. Not the archive's rule (AsciiUpper); only for telling which names such a file system
// would take for one.
char Cp1252Upper(char c);

// Every byte maps to one character; the five bytes Windows-1252 leaves undefined map to the
// C1 control characters of the same code, so no byte is ever lost.
std::string Cp1252ToUtf8(const std::string &bytes);
// Nothing when the text holds a character Windows-1252 cannot store, or is not valid UTF-8.
std::optional<std::string> Utf8ToCp1252(const std::string &text);

// Archive text as every face shows it: Cp1252ToUtf8 with every byte that would become a
// control character (below 0x20, 0x7F, and the undefined 0x81, 0x8D, 0x8F, 0x90, 0x9D)
// written as \xHH, so that no archive can steer a terminal or break a line.
std::string PrintableName(const std::string &bytes);

} // namespace kvb
