// A new file that takes the place of its target only once it is complete.
//
// It is written under a unique hidden name in the target's folder and renamed over the target
// by Commit. Until then the target, if there is one, stays as it was; a replacing file that
// is never committed is removed again.
#pragma once

#include "platform/stream.h"

#include <cstdint>
#include <memory>
#include <string>

namespace kvb {

class TReplacingFile {
public:
    // Raises EFCreateError naming target when the target could not be replaced: anything but a
    // plain file (a device would be replaced rather than written to), a file without write
    // permission, a folder that does not exist or cannot be written.
    explicit TReplacingFile(const std::string &target);
    ~TReplacingFile();
    TReplacingFile(const TReplacingFile &) = delete;
    TReplacingFile &operator=(const TReplacingFile &) = delete;

    // The new content is written through this stream.
    TFileStream &Stream() { return *stream_; }

    // Closes the file and puts it in the target's place; raises EWriteError or EFCreateError.
    void Commit();

private:
    std::string shownTarget_; // as the caller named it, for messages
    std::string target_;
    std::string temporary_;
    std::unique_ptr<TFileStream> stream_;
};

// The path a file written to target really replaces: symbolic links are followed, so the file
// they point to is replaced rather than the link.
std::string ResolvedTarget(const std::string &target);

} // namespace kvb
