// The few exception types of the library. Their messages are the texts the user sees.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace kvb {

// Base of every error the library raises on purpose; what() is the message shown to the user.
class EKVBError : public std::runtime_error {
public:
    explicit EKVBError(const std::string &message) : std::runtime_error(message) {}
};

class EReadError : public EKVBError {
public:
    EReadError() : EKVBError("Stream read error") {}
};

class EWriteError : public EKVBError {
public:
    EWriteError() : EKVBError("Stream write error") {}
};

class EFOpenError : public EKVBError {
public:
    explicit EFOpenError(const std::string &fileName) : EKVBError("Cannot open file " + fileName) {}
    EFOpenError(const std::string &fileName, const std::string &reason)
        : EKVBError("Cannot open file " + fileName + ": " + reason) {}
};

class EFCreateError : public EKVBError {
public:
    explicit EFCreateError(const std::string &fileName)
        : EKVBError("Cannot create file " + fileName) {}
    EFCreateError(const std::string &fileName, const std::string &reason)
        : EKVBError("Cannot create file " + fileName + ": " + reason) {}
};

class EListError : public EKVBError {
public:
    explicit EListError(int64_t index)
        : EKVBError("List index out of bounds (" + std::to_string(index) + ")") {}
};

} // namespace kvb
