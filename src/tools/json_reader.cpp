#include "tools/json_reader.h"

#include "platform/errors.h"

#include <charconv>

namespace kvb {

namespace {

// Nesting deeper than any manifest's is refused before passing over it can exhaust the stack.
constexpr int kMaxDepth = 64;

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

int HexValue(char c)
{
    if (IsDigit(c))
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

void AppendUtf8(std::string &out, uint32_t code)
{
    if (code < 0x80) {
        out += char(code);
    } else if (code < 0x800) {
        out += char(0xC0 | (code >> 6));
        out += char(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += char(0xE0 | (code >> 12));
        out += char(0x80 | ((code >> 6) & 0x3F));
        out += char(0x80 | (code & 0x3F));
    } else {
        out += char(0xF0 | (code >> 18));
        out += char(0x80 | ((code >> 12) & 0x3F));
        out += char(0x80 | ((code >> 6) & 0x3F));
        out += char(0x80 | (code & 0x3F));
    }
}

} // namespace

size_t Utf8SequenceLength(std::string_view text, size_t at)
{
    const auto byte = [&](size_t i) { return i < text.size() ? uint8_t(text[i]) : uint8_t(0); };
    const uint8_t lead = byte(at);
    const auto follows = [&](size_t i) { return (byte(i) & 0xC0) == 0x80; };
    if (lead >= 0xC2 && lead <= 0xDF)
        return follows(at + 1) ? 2 : 0;
    if (lead >= 0xE0 && lead <= 0xEF) {
        const uint8_t second = byte(at + 1);
        if ((lead == 0xE0 && second < 0xA0) || (lead == 0xED && second > 0x9F))
            return 0;
        return follows(at + 1) && follows(at + 2) ? 3 : 0;
    }
    if (lead >= 0xF0 && lead <= 0xF4) {
        const uint8_t second = byte(at + 1);
        if ((lead == 0xF0 && second < 0x90) || (lead == 0xF4 && second > 0x8F))
            return 0;
        return follows(at + 1) && follows(at + 2) && follows(at + 3) ? 4 : 0;
    }
    return 0;
}

TJsonReader::TJsonReader(std::string_view text, std::string source)
    : text_(text),
      source_(std::move(source))
{
}

void TJsonReader::Fail(const std::string &what) const
{
    size_t line = 1, column = 1;
    for (size_t i = 0; i < valueStart_ && i < text_.size(); ++i, ++column)
        if (text_[i] == '\n') {
            ++line;
            column = 0;
        }
    throw EKVBError(source_ + " cannot be read: " + what + " (line " + std::to_string(line) +
                    ", column " + std::to_string(column) + ")");
}

void TJsonReader::SkipSpace()
{
    while (at_ < text_.size() &&
           (text_[at_] == ' ' || text_[at_] == '\n' || text_[at_] == '\r' || text_[at_] == '\t'))
        ++at_;
    valueStart_ = at_;
}

char TJsonReader::Expect(char c)
{
    SkipSpace();
    if (at_ >= text_.size())
        Fail(std::string("the text ends where \"") + c + "\" is expected");
    if (text_[at_] != c)
        Fail(std::string("\"") + c + "\" is expected");
    return text_[at_++];
}

TJsonReader::TKind TJsonReader::Peek()
{
    SkipSpace();
    if (at_ >= text_.size())
        Fail("the text ends where a value is expected");
    switch (text_[at_]) {
    case '{': return TKind::Object;
    case '[': return TKind::Array;
    case '"': return TKind::String;
    case 't':
    case 'f':
    case 'n': return TKind::Literal;
    default:
        if (text_[at_] == '-' || IsDigit(text_[at_]))
            return TKind::Number;
        Fail("a value is expected");
    }
}

void TJsonReader::BeginObject()
{
    if (Peek() != TKind::Object)
        Fail("an object is expected");
    if (first_.size() >= size_t(kMaxDepth))
        Fail("values are nested too deeply");
    ++at_;
    first_.push_back(true);
}

void TJsonReader::BeginArray()
{
    if (Peek() != TKind::Array)
        Fail("an array is expected");
    if (first_.size() >= size_t(kMaxDepth))
        Fail("values are nested too deeply");
    ++at_;
    first_.push_back(true);
}

// Whether another member or element follows: the "," before it is read, or the closing bracket.
bool TJsonReader::Separator(char close)
{
    SkipSpace();
    if (at_ < text_.size() && text_[at_] == close) {
        ++at_;
        first_.pop_back();
        return false;
    }
    if (!first_.back())
        Expect(',');
    first_.back() = false;
    return true;
}

bool TJsonReader::NextMember(std::string &key)
{
    if (!Separator('}'))
        return false;
    SkipSpace();
    if (at_ >= text_.size() || text_[at_] != '"')
        Fail("a member's name is expected");
    key = String();
    Expect(':');
    return true;
}

bool TJsonReader::NextElement()
{
    return Separator(']');
}

std::string TJsonReader::String()
{
    if (Peek() != TKind::String)
        Fail("a string is expected");
    ++at_;
    std::string out;
    for (;;) {
        // A run of plain characters goes in at once.
        size_t plain = at_;
        while (plain < text_.size() && uint8_t(text_[plain]) >= 0x20 && uint8_t(text_[plain]) < 0x80 &&
               text_[plain] != '"' && text_[plain] != '\\')
            ++plain;
        out.append(text_.substr(at_, plain - at_));
        at_ = plain;
        if (at_ >= text_.size())
            Fail("a string does not end");
        const char c = text_[at_];
        if (c == '"') {
            ++at_;
            return out;
        }
        if (uint8_t(c) < 0x20)
            Fail("a string holds a control character; it must be written as an escape");
        if (uint8_t(c) >= 0x80) {
            const size_t length = Utf8SequenceLength(text_, at_);
            if (length == 0)
                Fail("a string holds bytes that are not UTF-8");
            out.append(text_.substr(at_, length));
            at_ += length;
            continue;
        }
        ++at_;
        if (c != '\\') {
            out += c;
            continue;
        }
        if (at_ >= text_.size())
            Fail("a string does not end");
        const char e = text_[at_++];
        switch (e) {
        case '"':
        case '\\':
        case '/': out += e; break;
        case 'b': out += '\b'; break;
        case 'f': out += '\f'; break;
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        case 't': out += '\t'; break;
        case 'u': {
            const auto unit = [&]() {
                uint32_t value = 0;
                for (int i = 0; i < 4; ++i) {
                    const int digit = at_ < text_.size() ? HexValue(text_[at_]) : -1;
                    if (digit < 0)
                        Fail("\\u is not followed by four hexadecimal digits");
                    value = value << 4 | uint32_t(digit);
                    ++at_;
                }
                return value;
            };
            uint32_t code = unit();
            if (code >= 0xDC00 && code <= 0xDFFF)
                Fail("a string holds half of a character (a lone surrogate)");
            if (code >= 0xD800 && code <= 0xDBFF) {
                if (text_.substr(at_, 2) != "\\u")
                    Fail("a string holds half of a character (a lone surrogate)");
                at_ += 2;
                const uint32_t low = unit();
                if (low < 0xDC00 || low > 0xDFFF)
                    Fail("a string holds half of a character (a lone surrogate)");
                code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
            }
            AppendUtf8(out, code);
            break;
        }
        default: Fail(std::string("a string holds the unknown escape \\") + e);
        }
    }
}

// The text of the number that starts here, checked against JSON's grammar.
std::string_view TJsonReader::NumberText()
{
    if (Peek() != TKind::Number)
        Fail("a number is expected");
    const size_t start = at_;
    const auto digits = [&]() {
        const size_t from = at_;
        while (at_ < text_.size() && IsDigit(text_[at_]))
            ++at_;
        if (at_ == from)
            Fail("a number lacks its digits");
    };
    if (text_[at_] == '-')
        ++at_;
    if (at_ < text_.size() && text_[at_] == '0' && at_ + 1 < text_.size() && IsDigit(text_[at_ + 1]))
        Fail("a number starts with 0, which JSON does not allow");
    digits();
    if (at_ < text_.size() && text_[at_] == '.') {
        ++at_;
        digits();
    }
    if (at_ < text_.size() && (text_[at_] == 'e' || text_[at_] == 'E')) {
        ++at_;
        if (at_ < text_.size() && (text_[at_] == '+' || text_[at_] == '-'))
            ++at_;
        digits();
    }
    return text_.substr(start, at_ - start);
}

int64_t TJsonReader::Integer(int64_t least, int64_t most, const std::string &what)
{
    const std::string_view number = NumberText();
    int64_t value = 0;
    const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), value);
    if (end != number.data() + number.size())
        Fail(what + " must be a whole number");
    if (error != std::errc() || value < least || value > most)
        Fail(what + " must be from " + std::to_string(least) + " to " + std::to_string(most));
    return value;
}

bool TJsonReader::Literal(std::string_view word)
{
    if (text_.substr(at_, word.size()) != word)
        return false;
    at_ += word.size();
    return true;
}

bool TJsonReader::Null()
{
    return Peek() == TKind::Literal && Literal("null");
}

void TJsonReader::Skip()
{
    switch (Peek()) {
    case TKind::Object: {
        BeginObject();
        std::string key;
        while (NextMember(key))
            Skip();
        break;
    }
    case TKind::Array:
        BeginArray();
        while (NextElement())
            Skip();
        break;
    case TKind::String: String(); break;
    case TKind::Number: NumberText(); break;
    case TKind::Literal:
        if (!Literal("true") && !Literal("false") && !Literal("null"))
            Fail("a value is expected");
        break;
    }
}

void TJsonReader::End()
{
    SkipSpace();
    if (at_ != text_.size())
        Fail("something follows the end of the text");
}

} // namespace kvb
