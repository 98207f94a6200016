#include "tools/manifest_json.h"

#include "archive/format.h"
#include "archive/text.h"

#include <algorithm>
#include <charconv>
#include <optional>

namespace kvb {

void PutString(std::string &out, std::string_view text)
{
    out += '"';
    for (size_t i = 0; i < text.size();) {
        // Runs that need no escape go in at once.
        size_t plain = i;
        while (plain < text.size() && uint8_t(text[plain]) >= 0x20 && uint8_t(text[plain]) < 0x7F &&
               text[plain] != '"' && text[plain] != '\\')
            ++plain;
        out.append(text.substr(i, plain - i));
        if (plain == text.size())
            break;
        i = plain;
        const auto c = uint8_t(text[i]);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += char(c);
            ++i;
        } else if (c < 0x80) {
            static constexpr char kDigits[] = "0123456789abcdef";
            out += "\\u00";
            out += kDigits[c >> 4];
            out += kDigits[c & 15];
            ++i;
        } else if (const size_t n = Utf8SequenceLength(text, i); n > 0) {
            out.append(text.substr(i, n));
            i += n;
        } else {
            out += "\xEF\xBF\xBD";
            ++i;
        }
    }
    out += '"';
}

void PutNumber(std::string &out, int64_t value)
{
    char digits[24];
    const auto result = std::to_chars(digits, digits + sizeof digits, value);
    out.append(digits, result.ptr);
}

void PutArchiveName(std::string &out, const std::string &name)
{
    const bool ascii = std::all_of(name.begin(), name.end(), [](char c) { return uint8_t(c) < 0x80; });
    PutString(out, ascii ? name : Cp1252ToUtf8(name));
}

uint64_t ReadHex64(TJsonReader &json, const std::string &what)
{
    const std::string text = json.String();
    uint64_t value = 0;
    bool valid = text.size() == 16;
    for (size_t i = 0; valid && i < text.size(); ++i) {
        const char c = text[i];
        const char l = char(c | 0x20);
        const int digit = c >= '0' && c <= '9' ? c - '0' : l >= 'a' && l <= 'f' ? l - 'a' + 10 : -1;
        valid = digit >= 0;
        value = value << 4 | uint64_t(digit);
    }
    if (!valid)
        json.Fail(what + " must be 16 hexadecimal digits");
    return value;
}

std::string ReadArchiveName(TJsonReader &json)
{
    const std::optional<std::string> stored = Utf8ToCp1252(json.String());
    if (!stored || stored->size() > size_t(kNameFieldSize) || stored->find('\0') != std::string::npos)
        json.Fail("a name must be text an archive can hold: at most 20 characters of "
                  "Windows-1252, without NUL");
    return *stored;
}

TMembers::TMembers(TJsonReader &json, std::span<const std::string_view> known)
    : json_(json),
      known_(known)
{
    json_.BeginObject();
}

bool TMembers::Next(int &member)
{
    if (!json_.NextMember(key_))
        return false;
    const auto found = std::find(known_.begin(), known_.end(), key_);
    member = found == known_.end() ? -1 : int(found - known_.begin());
    const bool twice = member >= 0 ? (seen_ >> member & 1) != 0
                                   : std::find(others_.begin(), others_.end(), key_) != others_.end();
    if (twice)
        json_.Fail("the member \"" + key_ + "\" appears twice");
    if (member >= 0)
        seen_ |= 1u << member;
    else
        others_.push_back(key_);
    return true;
}

void TMembers::Require(std::initializer_list<int> members) const
{
    for (const int member : members)
        if (!Has(member))
            json_.Fail("the member \"" + std::string(known_[size_t(member)]) + "\" is missing");
}

} // namespace kvb
