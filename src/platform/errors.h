// The few exception types of the library. Their messages are the texts the user sees.
#pragma once

#include <stdexcept>
#include <string>

namespace kvb {

// Base of every error the library raises on purpose; what() is the message shown to the user.
// A message may have a second line after "\n": the system's own text comes first, then what was
// being done, on which file, and why. The windows show both lines; kvb joins them with ": ".
class EKVBError : public std::runtime_error {
public:
    explicit EKVBError(const std::string &message) : std::runtime_error(message) {}
    EKVBError(const std::string &message, const std::string &detail)
        : std::runtime_error(detail.empty() ? message : message + "\n" + detail),
          detail_(detail)
    {
    }
    // The system's own text, without the second line.
    std::string Message() const
    {
        const std::string text = what();
        return text.substr(0, text.size() - (detail_.empty() ? 0 : detail_.size() + 1));
    }
    // The second line, or nothing.
    const std::string &Detail() const { return detail_; }

private:
    std::string detail_;
};

class EReadError : public EKVBError {
public:
    EReadError() : EKVBError("Stream read error") {}
    // detail: what was being read, and where the file ends.
    explicit EReadError(const std::string &detail) : EKVBError("Stream read error", detail) {}
};

// The user stopped long work (Cancel, Escape, or closing the window while it ran).
class ECancelled : public EKVBError {
public:
    ECancelled() : EKVBError("Cancelled") {}
};

class EWriteError : public EKVBError {
public:
    EWriteError() : EKVBError("Stream write error") {}
    // detail: which file was being written, and the system's reason ("no space left on device").
    explicit EWriteError(const std::string &detail) : EKVBError("Stream write error", detail) {}
};

class EFOpenError : public EKVBError {
public:
    explicit EFOpenError(const std::string &fileName) : EKVBError("Cannot open file " + fileName) {}
    EFOpenError(const std::string &fileName, const std::string &reason)
        : EKVBError("Cannot open file " + fileName + ": " + reason)
    {
    }
};

class EFCreateError : public EKVBError {
public:
    explicit EFCreateError(const std::string &fileName) : EKVBError("Cannot create file " + fileName) {}
    EFCreateError(const std::string &fileName, const std::string &reason)
        : EKVBError("Cannot create file " + fileName + ": " + reason)
    {
    }
};

} // namespace kvb
