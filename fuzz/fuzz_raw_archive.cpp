// The in-place editor on a copy of any bytes, then a short sequence of links, appends and
// truncations (layout in edit_script.h). A finding is a crash, a sanitizer report, or an editor
// whose view disagrees with the file: data records that are not contiguous, edits that leave
// the file other than they promise, a failed edit that changed the file's size, or a fresh
// editor that walks the edited file differently.
#include "archive/format.h"
#include "archive/raw_archive.h"
#include "edit_script.h"
#include "fuzz_support.h"
#include "platform/errors.h"
#include "platform/stream.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <string>
#include <sys/file.h>
#include <unistd.h>
#include <vector>

using namespace kvb;
using kvb::fuzz::Check;
using kvb::fuzz::Edit;
using kvb::fuzz::EditKind;

namespace {

// The archive as an editor sees it.
struct View {
    std::vector<TKVB_DataRecord> Data;
    std::string Description;
    int32_t TocCount = 0;

    explicit View(const TRawKVBFile &f) : Description(f.Description()), TocCount(f.TocCount())
    {
        for (int32_t j = 0; j < f.DataCount(); ++j)
            Data.push_back(f.GetDataRecord(j));
    }
    int64_t End(int64_t walkStart) const
    {
        if (Data.empty())
            return walkStart;
        return int64_t(Data.back().Position) + kDataHeaderSize + Data.back().Length;
    }
    bool operator==(const View &o) const
    {
        auto same = [](const TKVB_DataRecord &a, const TKVB_DataRecord &b) {
            return a.Name == b.Name && a.Length == b.Length && a.Position == b.Position;
        };
        return TocCount == o.TocCount && Description == o.Description &&
               std::equal(Data.begin(), Data.end(), o.Data.begin(), o.Data.end(), same);
    }
};

std::string ReadRange(const std::string &path, int64_t position, int64_t count)
{
    TFileStream file(path, TFileStream::Mode::OpenRead);
    std::string bytes(size_t(count), '\0');
    bytes.resize(size_t(file.ReadAt(position, bytes.data(), count)));
    return bytes;
}

void CheckContiguous(const TRawKVBFile &f)
{
    for (int32_t j = 1; j < f.DataCount(); ++j) {
        TKVB_DataRecord a = f.GetDataRecord(j - 1), b = f.GetDataRecord(j);
        Check(int64_t(a.Position) + kDataHeaderSize + a.Length == b.Position,
              "data records follow each other", std::to_string(j));
    }
    Check(f.Description().size() <= size_t(kDataHeaderSize),
          "a tail longer than a data header is walked, not taken as the description");
}

void CheckConstruction(const TRawKVBFile &f, std::string_view archive)
{
    Check(f.TocCount() == GetInt32LE(archive.data() + 12), "TocCount is the header's Count");
    // The walk starts where the validation block ends: at the smallest Offset, but neither
    // inside the table of contents nor past the end of the file.
    const int32_t records = std::max(f.TocCount(), 0);
    const int64_t tocEnd = kFileHeaderSize + int64_t(kTocRecordSize) * records;
    int64_t end = int64_t(archive.size());
    for (int32_t i = 0; i < records; ++i)
        end = std::min<int64_t>(end,
                                GetInt32LE(archive.data() + kFileHeaderSize + kTocRecordSize * i + 20));
    const int64_t walkStart = std::max(tocEnd, end);
    if (f.DataCount() > 0)
        Check(f.GetDataRecord(0).Position == walkStart, "the walk starts after the validation block");
    CheckContiguous(f);
    const int64_t walkEnd = View(f).End(walkStart);
    std::string expected =
        walkEnd < int64_t(archive.size()) ? std::string(archive.substr(size_t(walkEnd))) : std::string();
    Check(f.Description() == expected, "the description is everything after the walk");
}

template <typename Call>
bool RaisesKvbError(Call call)
{
    try {
        call();
    } catch (const EKVBError &) {
        return true;
    }
    return false;
}

int32_t Pick(uint16_t value, int32_t count)
{
    // One below and one above the valid indices are as likely as any valid one.
    return int32_t(value % uint32_t(std::max(count, 0) + 2)) - 1;
}

// Applies one edit and checks what it did to the file. Returns whether it re-pointed a record.
bool Apply(TRawKVBFile &f, const std::string &path, const Edit &edit)
{
    const int64_t sizeBefore = fuzz::FileSize(path);
    const std::string &description = f.Description();
    switch (edit.Kind) {
    case EditKind::Link: {
        const int32_t t = Pick(edit.A, f.TocCount());
        if (t < 0 || t >= f.TocCount()) {
            Check(RaisesKvbError([&] { f.SetTocRecord(t, {}); }), "a link outside the table fails");
            break;
        }
        TKVB_TocRecord r = f.GetTocRecord(t);
        const int32_t h = int32_t(edit.B % uint32_t(f.DataCount() + 1));
        r.Offset = h < f.DataCount() ? f.GetDataRecord(h).Position : int32_t(edit.B) * 4099;
        f.SetTocRecord(t, r);
        char bytes[kTocRecordSize];
        EncodeTocRecord(r, bytes);
        Check(ReadRange(path, kFileHeaderSize + int64_t(kTocRecordSize) * t, kTocRecordSize) ==
                  std::string(bytes, kTocRecordSize),
              "a link rewrites its record in place");
        Check(fuzz::FileSize(path) == sizeBefore, "a link does not change the size");
        return true;
    }
    case EditKind::Append: {
        const std::string data(edit.B % 4096u, char(edit.A));
        TKVB_DataRecord record;
        record.Name = NameToField("N" + std::to_string(edit.A));
        record.Length = int32_t(data.size());
        record.Data = data;
        const int32_t countBefore = f.DataCount();
        const int64_t end = countBefore > 0 ? View(f).End(0) : -1;
        if (countBefore == 0 || end > INT32_MAX || f.GetDataRecord(countBefore - 1).Length < 0) {
            Check(RaisesKvbError([&] { f.AppendData(record); }),
                  "an append without data records, into a header or beyond 2 GiB fails");
            break;
        }
        f.AppendData(record);
        Check(f.DataCount() == countBefore + 1 && f.GetDataRecord(countBefore).Position == end,
              "an append adds one record where the last one ended");
        char header[kDataHeaderSize];
        EncodeDataHeader(TKVB_DataHeader{record.Name, record.Length}, header);
        Check(ReadRange(path, end, kDataHeaderSize + record.Length + int64_t(description.size())) ==
                  std::string(header, kDataHeaderSize) + data + description,
              "an append writes header, data and description");
        Check(fuzz::FileSize(path) == end + kDataHeaderSize + record.Length + int64_t(description.size()),
              "after an append the file ends with the description");
        return false;
    }
    case EditKind::Truncate: {
        const int32_t a = Pick(edit.A, f.DataCount());
        if (a < 0 || a >= f.DataCount() || (a > 0 && f.GetDataRecord(a - 1).Length < 0)) {
            Check(RaisesKvbError([&] { f.TruncateFrom(a); }),
                  "a truncation outside the data or into a header fails");
            break;
        }
        const int64_t p = f.GetDataRecord(a).Position;
        f.TruncateFrom(a);
        Check(f.DataCount() == a, "a truncation drops the records from its index on");
        Check(fuzz::FileSize(path) == p + int64_t(description.size()) &&
                  ReadRange(path, p, int64_t(description.size())) == description,
              "after a truncation the file ends with the description at the cut");
        return false;
    }
    }
    Check(fuzz::FileSize(path) == sizeBefore, "a refused edit leaves the size");
    return false;
}

// Why the file would not open for editing, told by the system itself.
std::string OpenDiagnosis(const std::string &path)
{
    int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0)
        return std::string("open: ") + std::strerror(errno);
    std::string why = ::flock(fd, LOCK_EX | LOCK_NB) != 0 ? std::string("flock: ") + std::strerror(errno)
                                                          : std::string("opens and locks now");
    ::close(fd);
    return why;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::EditScript script =
        fuzz::ParseEditScript(std::string_view(reinterpret_cast<const char *>(data), size));
    fuzz::Scratch::Get().Clear();
    const std::string path = fuzz::WriteInput("archive.kvb", script.Archive);

    std::unique_ptr<TRawKVBFile> f;
    try {
        f = std::make_unique<TRawKVBFile>(path);
    } catch (const EKVBError &) {
        // Refusing hostile bytes with the library's own error is the expected answer.
        return 0;
    }
    CheckConstruction(*f, script.Archive);
    bool linked = false;
    for (const Edit &edit : script.Edits) {
        linked = Apply(*f, path, edit) || linked;
        CheckContiguous(*f);
    }
    View edited(*f);
    f.reset();
    // Re-pointing a record can move where the walk starts; without that a fresh editor must
    // find exactly what the edits left. One case is the format's own: an empty entry at the end
    // of an archive without description is a tail of 24 bytes, which reads as the description.
    if (linked)
        return 0;
    if (edited.Description.empty() && !edited.Data.empty() && edited.Data.back().Length == 0) {
        char header[kDataHeaderSize];
        EncodeDataHeader(TKVB_DataHeader{edited.Data.back().Name, 0}, header);
        edited.Description.assign(header, kDataHeaderSize);
        edited.Data.pop_back();
    }
    std::unique_ptr<TRawKVBFile> fresh;
    try {
        fresh = std::make_unique<TRawKVBFile>(path);
    } catch (const EFOpenError &e) {
        fuzz::Fail("the edited file opens again", std::string(e.what()) + "; " + OpenDiagnosis(path));
    }
    Check(View(*fresh) == edited, "a fresh editor walks the edited file alike");
    return 0;
}
