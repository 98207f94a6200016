// Textures drawn small, for the gallery: each picture scaled into a square, made on a thread of
// its own from the archive, a texture at a time, in the order the window wants them.
#pragma once

#include "archive/catalogue.h"

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace kvb {

class TStream;

struct TThumbnail {
    int32_t Width = 0, Height = 0;
    // 0xFFRRGGBB, row after row, top row first, Width per row.
    std::vector<uint32_t> Pixels;
    // Why the texture shows no picture; empty when it does.
    std::string Fault;

    size_t Bytes() const { return Pixels.size() * sizeof(uint32_t) + Fault.size(); }
};

// The side of the square a thumbnail fits into, in pixels at 100 %.
constexpr int32_t kThumbnailSide = 96;

// The texture in stream (image data at position) drawn to fit side x side in its own
// proportions, as TexThumbnail draws it, reading only the rows it samples: what it costs follows
// side, never the size the texture claims. An unreadable texture raises as TexToBitmap does.
TThumbnail MakeThumbnail(TStream &stream, int32_t position, int32_t side);

// Makes the thumbnails of an archive's textures on a thread of its own, which opens the archive
// for reading only while it has thumbnails to make. What is wanted may change at any time; what
// is made waits to be taken.
class TThumbnailMaker {
public:
    struct TMade {
        int32_t Index; // the entry's place in the list given, from 0
        TThumbnail Thumbnail;
    };

    // The entries of the archive at path that may be asked for (a copy is kept: the catalogue
    // may go while this runs).
    TThumbnailMaker(const std::string &path, const std::vector<TKVB_Entry> &entries, int32_t side);
    // Stops the thread once the thumbnail it is making, if any, is made.
    ~TThumbnailMaker();
    TThumbnailMaker(const TThumbnailMaker &) = delete;
    TThumbnailMaker &operator=(const TThumbnailMaker &) = delete;

    // Replaces what is wanted: entries (their places in the list given), the first wanted
    // first.
    void Want(std::vector<int32_t> records);
    // The thumbnails made since the last call, in the order made.
    std::vector<TMade> Take();

private:
    void Run();

    const std::string path_;
    const std::vector<TKVB_Entry> entries_;
    const int32_t side_;

    std::mutex mutex_;
    std::condition_variable wake_;
    std::vector<int32_t> wanted_; // guarded by mutex_
    std::vector<TMade> made_;     // guarded by mutex_
    bool quit_ = false;           // guarded by mutex_
    std::thread thread_;
};

} // namespace kvb
