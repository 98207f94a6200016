// JSON text read value by value by a reader that knows what it expects, as the manifest of an
// export is read back: strict RFC 8259 (no comments, no trailing commas, no leading zeros, UTF-8
// only), with no document built in memory, so that a manifest of a hundred thousand entries is
// read in the time it takes to look at its bytes once.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kvb {

// The length of the UTF-8 sequence of one character that starts text at at, or 0 when none does
// (a stray byte, an overlong form, a surrogate, a code point past U+10FFFF).
size_t Utf8SequenceLength(std::string_view text, size_t at);

class TJsonReader {
public:
    enum class TKind { Object, Array, String, Number, Literal };

    // text must outlive the reader; source names the text in messages ("Manifest X").
    TJsonReader(std::string_view text, std::string source);

    // The kind of the next value.
    TKind Peek();
    // An object: BeginObject, then NextMember until it gives false; the same for an array.
    void BeginObject();
    bool NextMember(std::string &key);
    void BeginArray();
    bool NextElement();
    // The next value as a string, a whole number within [least, most] (what names it in the
    // message that refuses anything else), or null; Null gives false and reads nothing when the
    // next value is not null.
    std::string String();
    int64_t Integer(int64_t least, int64_t most, const std::string &what);
    bool Null();
    // Passes over the next value, whatever it is.
    void Skip();
    // Nothing but white space follows.
    void End();

    // Raises EKVBError: "<source> cannot be read: <what> (line L, column C)", at the value read
    // last.
    [[noreturn]] void Fail(const std::string &what) const;

private:
    void SkipSpace();
    char Expect(char c);
    bool Separator(char close);
    std::string_view NumberText();
    bool Literal(std::string_view word);

    std::string_view text_;
    std::string source_;
    size_t at_ = 0;
    size_t valueStart_ = 0;
    std::vector<bool> first_; // per open object or array: no member read yet
};

} // namespace kvb
