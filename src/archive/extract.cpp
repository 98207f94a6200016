#include "archive/extract.h"

#include "archive/errors.h"
#include "archive/format.h"
#include "archive/stream.h"
#include "platform/encoding.h"

#include <algorithm>
#include <cerrno>
#include <unistd.h>
#include <vector>

namespace kvb {

namespace {

constexpr int64_t kCopyChunk = 1024 * 1024;

// Copies count bytes from the source's position to the end of output. Between two files the
// kernel copies without passing the bytes through this process.
void CopyBytes(TStream &source, TFileStream &output, int64_t count)
{
    if (auto *file = dynamic_cast<TFileStream *>(&source)) {
        loff_t in = file->Position();
        loff_t out = output.Position();
        while (count > 0) {
            ssize_t n = ::copy_file_range(file->Handle(), &in, output.Handle(), &out,
                                          size_t(std::min(count, kCopyChunk)), 0);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                break; // not offered between these files: copy through a buffer below
            if (n == 0) {
                file->Seek(in);
                output.Seek(out);
                throw EReadError();
            }
            count -= n;
        }
        file->Seek(in);
        output.Seek(out);
    }
    std::vector<char> buffer(size_t(std::min(count, kCopyChunk)));
    while (count > 0) {
        int64_t want = std::min<int64_t>(count, int64_t(buffer.size()));
        int64_t got = source.Read(buffer.data(), want);
        output.WriteBuffer(buffer.data(), got);
        if (got < want)
            throw EReadError();
        count -= got;
    }
}

} // namespace

void ExtractEntry(TStream &source, TKVB_Entry entry, const std::string &outputFileName)
{
    // 1. Find the number of bytes to copy and put the source at the first data byte.
    int64_t length;
    if (entry.Length == -1) {
        source.Seek(entry.Offset);
        char headerBytes[kDataHeaderSize];
        source.ReadBuffer(headerBytes, kDataHeaderSize);
        length = DecodeDataHeader(headerBytes).Length;
    } else {
        source.Seek(int64_t(entry.Offset) + kDataHeaderSize);
        length = entry.Length;
    }
    if (length < 0)
        throw EKVBError("Entry " + PrintableName(entry.Name) + " has an invalid data length (" +
                        std::to_string(length) + ")");

    // 2. Create (or empty) the output file; 3. copy; 4. the stream closes it on every path.
    TFileStream output(outputFileName, TFileStream::Mode::Create);
    CopyBytes(source, output, length);
}

bool IsSafeEntryName(const std::string &name)
{
    if (name.empty() || name == "." || name == "..")
        return false;
    return name.find_first_of("/\\:") == std::string::npos;
}

void CheckSafeEntryName(const std::string &name)
{
    if (!IsSafeEntryName(name))
        throw EKVBError("Entry \"" + PrintableName(name) +
                        "\" has a name that cannot be used as a file name; it was not extracted");
}

} // namespace kvb
