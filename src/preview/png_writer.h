// The one PNG writer of the program: 8-bit RGB pictures written one row at a time over zlib's
// deflate, so that what it holds is a few rows and zlib's state, whatever the picture's size.
#pragma once

#include "platform/errors.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace kvb {

// A picture that could not be encoded (the encoder's memory ran out, say).
class EEncodeError : public EKVBError {
public:
    explicit EEncodeError(const std::string &what) : EKVBError("Cannot encode " + what) {}
};

class TPngWriter {
public:
    // Receives the file's bytes in order, in pieces of up to kPngChunkData and a few bytes more.
    using TSink = std::function<void(const char *bytes, size_t size)>;

    // Writes the signature and the header of a picture of width x height pixels, each side 1 or
    // more. Raises EEncodeError when zlib cannot start.
    TPngWriter(int32_t width, int32_t height, TSink sink);
    ~TPngWriter();
    TPngWriter(const TPngWriter &) = delete;
    TPngWriter &operator=(const TPngWriter &) = delete;

    // The next row, top row first: width pixels of red, green and blue.
    void WriteRow(const uint8_t *rgb);
    // The next row, the same as the one before it, at the cost of a copy of a few bytes.
    void RepeatRow();
    // Writes the end of the image data and of the file, once every row has been written.
    void Finish();

private:
    void Put(const uint8_t *rgb, bool repeat);
    struct State;
    std::unique_ptr<State> state_;
};

// Image data is written in chunks of this many bytes (the last one may be shorter).
constexpr size_t kPngChunkData = size_t(1) << 16;

} // namespace kvb
