// The catalogue on any bytes, read without and with lengths. Besides crashes and sanitizer
// reports, a finding is a catalogue that disagrees with the bytes it was read from: entries,
// data order, lengths, name checks, description and the progress calls its readers rely on.
#include "archive/catalogue.h"
#include "archive/format.h"
#include "fuzz_support.h"
#include "platform/errors.h"

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

using namespace kvb;
using kvb::fuzz::Check;

namespace {

struct ProgressLog {
    int32_t calls = 0;
    int32_t maximum = 0;
    bool inOrder = true;
};
ProgressLog progress;

void OnProgress(int32_t position, int32_t maximum)
{
    ++progress.calls;
    if (position != progress.calls || (progress.calls > 1 && maximum != progress.maximum))
        progress.inOrder = false;
    progress.maximum = maximum;
}

template <typename Call>
bool RaisesListError(Call call)
{
    try {
        call();
    } catch (const EListError &) {
        return true;
    }
    return false;
}

TKVB_DataHeader HeaderAt(std::string_view bytes, int32_t offset)
{
    return DecodeDataHeader(bytes.data() + offset);
}

void CheckCatalogue(const TKVBFile &c, bool fullRead, std::string_view bytes)
{
    const int32_t n = c.EntryCount();
    const auto size = int64_t(bytes.size());
    Check(n == std::max(c.Count(), 0), "one entry per table-of-contents record");
    Check(progress.inOrder, "progress positions count up from 1 against one maximum");
    Check(progress.calls == (fullRead ? 2 * int64_t(n) : n), "one progress call per record and pass");
    if (n > 0)
        Check(progress.maximum == progress.calls, "the progress maximum is the number of calls");

    int32_t greatest = 0;
    for (int32_t i = 0; i < n; ++i) {
        TKVB_Entry e = c.GetEntry(i);
        TKVB_TocRecord record = DecodeTocRecord(bytes.data() + kFileHeaderSize + kTocRecordSize * i);
        Check(e.Name == NameFromField(record.Name) && e.Offset == record.Offset,
              "entries hold their table records", std::to_string(i));
        greatest = std::max(greatest, e.Offset);
        if (!fullRead) {
            Check(e.Length == -1 && !e.NameMismatch, "without lengths nothing is read of the data");
            continue;
        }
        Check(e.Offset >= 0 && e.Offset + int64_t(kDataHeaderSize) <= size,
              "a full read succeeds only with every data header inside the file");
        TKVB_DataHeader header = HeaderAt(bytes, e.Offset);
        Check(e.Length == header.Length, "Length is the data header's", std::to_string(i));
        Check(e.NameMismatch == !SameName(NameFromField(header.Name), e.Name),
              "NameMismatch compares the data header's name", std::to_string(i));
    }
    Check(RaisesListError([&] { c.GetEntry(n); }) && RaisesListError([&] { c.GetEntry(-1); }) &&
              RaisesListError([&] { c.GetSortedEntry(n); }),
          "indices outside the entries raise the index error");

    std::vector<bool> seen(size_t(n), false);
    for (int32_t i = 0; i < n; ++i) {
        int32_t index = c.GetSortedIndex(i);
        Check(index >= 0 && index < n && !seen[size_t(index)], "data order is a permutation");
        seen[size_t(index)] = true;
        Check(c.GetSortedEntry(i).Offset == c.GetEntry(index).Offset,
              "GetSortedEntry is the entry at GetSortedIndex");
        if (i > 0) {
            int32_t before = c.GetSortedIndex(i - 1);
            int32_t a = c.GetEntry(before).Offset, b = c.GetEntry(index).Offset;
            Check(a < b || (a == b && before > index),
                  "data order ascends by Offset, equal offsets in reverse table order");
        }
    }

    std::string description;
    if (fullRead && n > 0) {
        bool pointedAt = false;
        for (int32_t i = 0; i < n && !pointedAt; ++i)
            pointedAt = c.GetEntry(i).Offset == greatest;
        if (pointedAt) {
            int64_t start = int64_t(greatest) + kDataHeaderSize + HeaderAt(bytes, greatest).Length;
            if (start < size)
                description = std::string(bytes.substr(size_t(start)));
        }
    }
    Check(c.Description() == description,
          "the description is what follows the entry with the greatest offset");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::string_view bytes(reinterpret_cast<const char *>(data), size);
    fuzz::Scratch::Get().Clear();
    const std::string path = fuzz::WriteInput("archive.kvb", bytes);
    ProgressHook = OnProgress;
    for (bool fullRead : {false, true}) {
        progress = {};
        try {
            TKVBFile catalogue(path, fullRead);
            CheckCatalogue(catalogue, fullRead, bytes);
        } catch (const EKVBError &) {
            // Refusing hostile bytes with the library's own error is the expected answer.
        }
    }
    return 0;
}
