#include "platform/standard_output.h"

#include "platform/errors.h"

#include <iostream>
#include <streambuf>
#include <vector>

namespace kvb {

namespace {

// Once a write has failed, the rest is dropped: output with a hole in it is worth nothing, and
// the first reason is the one to report.
class TCheckedOutputBuffer : public std::streambuf {
public:
    TCheckedOutputBuffer() : buffer_(64 * 1024)
    {
        setp(buffer_.data(), buffer_.data() + buffer_.size());
        previous_ = std::cout.rdbuf(this);
    }
    ~TCheckedOutputBuffer() override
    {
        sync();
        std::cout.rdbuf(previous_);
    }

    const std::optional<std::string> &Failure() const { return failure_; }

protected:
    int_type overflow(int_type c) override
    {
        if (!Drain())
            return traits_type::eof();
        if (!traits_type::eq_int_type(c, traits_type::eof())) {
            *pptr() = traits_type::to_char_type(c);
            pbump(1);
        }
        return traits_type::not_eof(c);
    }

    std::streamsize xsputn(const char *bytes, std::streamsize count) override
    {
        // Large blocks (an entry sent to a pipe) go out directly rather than through the buffer.
        if (count >= std::streamsize(buffer_.size())) {
            if (!Drain() || !Write(bytes, size_t(count)))
                return 0;
            return count;
        }
        return std::streambuf::xsputn(bytes, count);
    }

    int sync() override { return Drain() ? 0 : -1; }

private:
    bool Drain()
    {
        const size_t used = size_t(pptr() - pbase());
        setp(buffer_.data(), buffer_.data() + buffer_.size());
        return used == 0 ? !failure_ : Write(buffer_.data(), used);
    }

    bool Write(const char *bytes, size_t count)
    {
        if (!failure_)
            failure_ = WriteToStandardOutput(bytes, count);
        return !failure_;
    }

    std::vector<char> buffer_;
    std::streambuf *previous_ = nullptr;
    std::optional<std::string> failure_;
};

TCheckedOutputBuffer &CheckedOutput()
{
    static TCheckedOutputBuffer buffer;
    return buffer;
}

} // namespace

void CheckStandardOutputWrites()
{
    CheckedOutput();
}

void TStandardOutputStream::Write(const void *buffer, int64_t count)
{
    std::cout.write(static_cast<const char *>(buffer), std::streamsize(count));
    if (!std::cout)
        FinishStandardOutput();
    position_ += count;
}

void FinishStandardOutput()
{
    std::cout.flush();
    if (const std::optional<std::string> &failure = CheckedOutput().Failure())
        throw EKVBError("cannot write to standard output: " + *failure);
}

} // namespace kvb
