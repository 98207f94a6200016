// The few exception types of the library. Their messages are the texts the user sees.
#pragma once

#include <cstdint>
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
        : std::runtime_error(detail.empty() ? message : message + "\n" + detail), detail_(detail)
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
        : EKVBError("Cannot open file " + fileName + ": " + reason) {}
};

class EFCreateError : public EKVBError {
public:
    explicit EFCreateError(const std::string &fileName)
        : EKVBError("Cannot create file " + fileName) {}
    EFCreateError(const std::string &fileName, const std::string &reason)
        : EKVBError("Cannot create file " + fileName + ": " + reason) {}
};

// An entry whose name cannot be a file name in a folder ("..", "a/b", NUL on Windows, ...), so
// that it is not action ("extracted", "previewed"); shownName as the user sees it.
class EUnusableNameError : public EKVBError {
public:
    EUnusableNameError(const std::string &shownName, const std::string &action)
        : EKVBError("Entry \"" + shownName + "\" has a name that cannot be used as a file name; it was not " +
                    action)
    {
    }
};

// Extract-all wrote every entry it could and passed over those whose names cannot be file
// names; the message counts the files written and names the first entries passed over, with
// the reason for each.
class EUnextractedNames : public EKVBError {
public:
    explicit EUnextractedNames(const std::string &message) : EKVBError(message) {}
};

// No validation template file for an archive of the number of files being stored: the window
// shows this as a notice, not an error.
class ENoTemplateError : public EKVBError {
public:
    ENoTemplateError(const std::string &message, const std::string &detail) : EKVBError(message, detail) {}
};

// Music that plays for longer than a render allows.
class EMidiTooLong : public EKVBError {
public:
    EMidiTooLong(const std::string &midiFile, int maxMinutes)
        : EKVBError("MIDI file " + midiFile + " plays for longer than " + std::to_string(maxMinutes) +
                    (maxMinutes == 1 ? " minute" : " minutes") + "; nothing was written")
    {
    }
};

// A picture that could not be encoded (the encoder's memory ran out, say).
class EEncodeError : public EKVBError {
public:
    explicit EEncodeError(const std::string &what) : EKVBError("Cannot encode " + what) {}
};

class EListError : public EKVBError {
public:
    explicit EListError(int64_t index)
        : EKVBError("List index out of bounds (" + std::to_string(index) + ")") {}
};

} // namespace kvb
