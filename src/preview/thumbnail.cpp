#include "preview/thumbnail.h"

#include "archive/extract.h"
#include "archive/format.h"
#include "platform/errors.h"
#include "platform/stream.h"
#include "preview/png_image.h"
#include "preview/tex.h"

#include <algorithm>
#include <exception>
#include <utility>

namespace kvb {

TThumbnail MakeThumbnail(TStream &stream, int32_t position, int32_t side)
{
    TTexRowReader reader(stream, position);
    const TTexImage &image = reader.Image();
    TThumbnail thumbnail;
    if (image.Width <= 0 || image.Height <= 0) {
        thumbnail.Fault = "no pixels";
        return thumbnail;
    }
    const bool palettised = image.Format == TTexFormat::Palettised8;
    // The pixels are not read yet, so every index a byte can hold gets a colour: the palette's,
    // then black, as displays show an index beyond it.
    std::vector<TTexColour> palette;
    if (palettised) {
        palette = ShownPalette(image);
        palette.resize(256);
    }
    std::vector<uint8_t> indices(palettised ? size_t(image.Width) : 0);
    std::vector<uint16_t> colours(palettised ? 0 : size_t(image.Width));
    std::vector<TTexColour> line(size_t(image.Width));
    int32_t next = 0; // the row the reader stands at
    const TRgbImage rgb = ThumbnailOfRows(image.Width, image.Height, side, [&](int32_t y) {
        if (y < next) // the row read last, again
            return line.data();
        reader.SkipRows(y - next);
        if (palettised) {
            reader.ReadRows(indices.data(), 1);
            for (size_t x = 0; x < line.size(); ++x)
                line[x] = palette[indices[x]];
        } else {
            reader.ReadRows(colours.data(), 1);
            for (size_t x = 0; x < line.size(); ++x)
                line[x] = Shown555(colours[x]);
        }
        next = y + 1;
        return line.data();
    });
    thumbnail.Width = rgb.Width;
    thumbnail.Height = rgb.Height;
    thumbnail.Pixels.reserve(rgb.Pixels.size());
    for (const TTexColour &c : rgb.Pixels)
        thumbnail.Pixels.push_back(0xFF000000u | uint32_t(c.Red) << 16 | uint32_t(c.Green) << 8 | c.Blue);
    return thumbnail;
}

TThumbnailMaker::TThumbnailMaker(const std::string &path, const std::vector<TKVB_Entry> &entries,
                                 int32_t side)
    : path_(path),
      entries_(entries),
      side_(side),
      thread_([this] { Run(); })
{
}

TThumbnailMaker::~TThumbnailMaker()
{
    {
        std::lock_guard lock(mutex_);
        quit_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

void TThumbnailMaker::Want(std::vector<int32_t> records)
{
    std::lock_guard lock(mutex_);
    wanted_ = std::move(records);
    wake_.notify_all();
}

std::vector<TThumbnailMaker::TMade> TThumbnailMaker::Take()
{
    std::lock_guard lock(mutex_);
    return std::exchange(made_, {});
}

void TThumbnailMaker::Run()
{
    std::unique_ptr<TFileStream> archive;
    std::unique_lock lock(mutex_);
    for (;;) {
        // Idle: the archive is not held open, so that a rebuild may replace it.
        if (wanted_.empty())
            archive.reset();
        wake_.wait(lock, [this] { return quit_ || !wanted_.empty(); });
        if (quit_)
            return;
        const int32_t record = wanted_.front();
        wanted_.erase(wanted_.begin());
        if (record < 0 || size_t(record) >= entries_.size())
            continue;
        lock.unlock();

        TMade made{record, {}};
        try {
            if (!archive)
                archive = std::make_unique<TFileStream>(path_, TFileStream::Mode::OpenRead);
            const TKVB_Entry &entry = entries_[size_t(record)];
            const int64_t length =
                entry.Length >= 0 ? entry.Length : EntryDataLength(*archive, entry.Offset);
            TEntryStream texture(*archive, DataPosition(entry.Offset), length);
            made.Thumbnail = MakeThumbnail(texture, kTexImageDataPosition, side_);
        } catch (const std::exception &e) {
            made.Thumbnail.Fault = e.what();
        }

        lock.lock();
        made_.push_back(std::move(made));
    }
}

} // namespace kvb
