#include "tools/creation.h"

#include "archive/edit_journal.h"
#include "archive/extract.h"
#include "archive/format.h"
#include "archive/text.h"
#include "platform/errors.h"
#include "platform/file_attributes.h"
#include "platform/file_names.h"
#include "platform/folders.h"
#include "platform/listing.h"
#include "platform/output_file.h"
#include "platform/paths.h"
#include "platform/program_folder.h"
#include "platform/stream.h"
#include "tools/validation_template.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>
#include <utility>

namespace kvb {

namespace {

// Small inputs are gathered in this buffer and written together: for many small files that is
// cheaper than a kernel copy per file, and a buffer that stays in the processor's cache copies
// faster than a large one. Inputs of this size or more are copied by the kernel straight from
// file to file.
constexpr size_t kWriteBuffer = 128 * 1024;

struct TInput {
    std::string name; // as listed (UTF-8)
    TNameField field{};
    bool cut = false; // the name is longer than the field
    int64_t size = 0;
    int32_t offset = 0;
};

// The output written front to back through one buffer. Each write ends at a multiple of the
// buffer's size in the file, so that after the first every write covers whole pages: the kernel
// then takes each write's pages as one piece, where a write that begins or ends within a page
// costs it more, here and again when the file is deleted.
class TArchiveWriter {
public:
    // Writes from position on.
    TArchiveWriter(TFileStream &output, int64_t position)
        : output_(output),
          position_(position),
          buffer_(kWriteBuffer)
    {
        EndAtBoundary();
    }

    void Append(const char *bytes, size_t count)
    {
        while (count > 0) {
            if (used_ == room_)
                Flush();
            size_t n = std::min(count, room_ - used_);
            std::copy_n(bytes, n, buffer_.data() + used_);
            used_ += n;
            bytes += n;
            count -= n;
        }
    }

    // Appends the first count bytes of input; false when the input holds fewer.
    bool AppendFile(const TFileStream &input, int64_t count)
    {
        int64_t done = 0;
        if (count >= int64_t(kWriteBuffer)) {
            Flush();
            done = CopyInKernel(input, count);
        }
        while (done < count) {
            if (used_ == room_)
                Flush();
            int64_t want = std::min<int64_t>(count - done, int64_t(room_ - used_));
            int64_t got = input.ReadAt(done, buffer_.data() + used_, want);
            used_ += size_t(got);
            done += got;
            if (got < want)
                return false;
        }
        return true;
    }

    void Flush()
    {
        output_.WriteAt(position_, buffer_.data(), int64_t(used_));
        position_ += int64_t(used_);
        used_ = 0;
        EndAtBoundary();
    }

private:
    // How much of count the kernel copied; the rest (after an early end or where the kernel
    // does not offer the copy between these files) is left to the buffered copy, which also
    // tells a read error from a write error.
    int64_t CopyInKernel(const TFileStream &input, int64_t count)
    {
        const int64_t done = output_.CopyFrom(input, 0, position_, count);
        position_ += done;
        EndAtBoundary();
        return done;
    }

    // The buffer is filled up to the next multiple of its size in the file.
    void EndAtBoundary() { room_ = buffer_.size() - size_t(position_ % int64_t(buffer_.size())); }

    TFileStream &output_;
    int64_t position_;
    std::vector<char> buffer_;
    size_t used_ = 0;
    size_t room_ = 0; // how much of the buffer is filled before a write
};

// Names in the archive are Windows-1252; a name it cannot hold is refused rather than mangled.
std::string ArchiveName(const std::string &name)
{
    std::optional<std::string> bytes = Utf8ToCp1252(name);
    if (!bytes)
        throw EKVBError("The file name " + name + " cannot be stored in an archive");
    return std::move(*bytes);
}

void DropOutputFile(std::vector<std::string> &names, const std::string &folder,
                    const std::string &outputFileName)
{
    // The very name the output is written under, not what a link there leads to: the link is
    // replaced, and the file it led to is read like any other.
    const std::string outputFolder = ParentFolderOf(outputFileName);
    if (!SameFileOrFolder(outputFolder.empty() ? "." : outputFolder, folder))
        return;
    std::erase(names, FileNameOf(outputFileName));
}

// A name field with its letters a..z in capitals: two names are one in the archive when these
// are equal.
TNameField UpperField(TNameField field)
{
    for (char &c : field)
        c = AsciiUpper(c);
    return field;
}

// A name field with every letter that has a capital in capitals: two names are one where file
// names ignore case when these are equal, and names that are one in the archive are so too.
TNameField CaseBlindField(TNameField field)
{
    for (char &c : field)
        c = Cp1252Upper(c);
    return field;
}

size_t FieldHash(const TNameField &field)
{
    return std::hash<std::string_view>{}(std::string_view(field.data(), field.size()));
}

// A listed name as the warnings show it: control characters in a file name would steer the
// terminal.
std::string ShownFileName(const TInput &input)
{
    return PrintableName(ArchiveName(input.name));
}

// An archive whose entries cannot all come out again under their own names loses files on the
// way back: a name that no system can extract, or two files whose stored names (cut to 20
// bytes, ASCII case ignored, as the archive compares them) are one; both are refused. Returns
// the warnings about names that come out otherwise than they went in somewhere (see
// TCreatedArchive), in the inputs' order.
std::vector<std::string> CheckStoredNames(const std::string &folder, const std::vector<TInput> &inputs)
{
    std::vector<std::string> warnings;
    // A table of the inputs' numbers (plus one; 0 is a free place), each at the place its
    // stored name's hash (case ignored as a case-blind file system ignores it) gives or at the
    // next free one after it. At most half of it is taken.
    std::vector<uint32_t> table(std::bit_ceil(std::max<size_t>(2 * inputs.size(), 2)), 0);
    const size_t mask = table.size() - 1;
    for (size_t i = 0; i < inputs.size(); ++i) {
        const TInput &input = inputs[i];
        const std::string stored = NameFromField(input.field);
        if (NameFaultAnywhere(stored))
            throw EKVBError("File " + JoinPath(folder, input.name) + " would be stored as \"" +
                            PrintableName(stored) +
                            "\", a name that cannot be extracted again; nothing was written");
        const std::optional<std::string> fault = WindowsFileNameFault(stored);
        if (input.cut || fault) {
            std::string warning = "file " + ShownFileName(input) + " is stored under the name \"" +
                                  PrintableName(stored) + "\"";
            if (input.cut)
                warning += ", as an archive keeps at most " + std::to_string(kNameFieldSize) +
                           " bytes of a name" + (fault ? "; that name" : "");
            else
                warning += ", which";
            if (fault)
                warning += " cannot be a file name on Windows (" + *fault + ")";
            warnings.push_back(std::move(warning));
        }
        const TNameField folded = CaseBlindField(input.field);
        const TInput *twin = nullptr;
        for (size_t place = FieldHash(folded) & mask;; place = (place + 1) & mask) {
            if (table[place] == 0) {
                table[place] = uint32_t(i + 1);
                break;
            }
            const TInput &other = inputs[table[place] - 1];
            if (CaseBlindField(other.field) != folded)
                continue;
            if (UpperField(other.field) == UpperField(input.field))
                throw EKVBError("Files " + JoinPath(folder, other.name) + " and " +
                                JoinPath(folder, input.name) + " would both be stored as \"" +
                                PrintableName(stored) + "\"; nothing was written");
            if (!twin)
                twin = &other;
        }
        if (twin)
            warnings.push_back(
                "files " + ShownFileName(*twin) + " and " + ShownFileName(input) +
                " are stored under the names \"" + PrintableName(NameFromField(twin->field)) +
                "\" and \"" + PrintableName(stored) +
                "\", which differ only in the case of letters outside A to Z: where "
                "file names ignore case (as on Windows), they are extracted into one file");
    }
    return warnings;
}

// A listed file, opened for its bytes; one that is gone since the listing is said to be.
TFileStream OpenInput(const TOpenFolder &folder, const TInput &input)
{
    try {
        return TFileStream(folder, input.name);
    } catch (const EFOpenError &) {
        const std::string path = JoinPath(folder.Path(), input.name);
        if (!FileAttributes(path))
            throw EKVBError(kFileVanishedMessage, "Creating an archive of " + folder.Path() + ": file " +
                                                      path + " was listed, but it is gone");
        throw;
    }
}

EKVBError FileChanged(const std::string &path)
{
    return EKVBError("File " + path + " changed in size while the archive was being created");
}

void Report(const TProgress &progress, int64_t position, int64_t maximum)
{
    if (progress)
        progress(int32_t(position), int32_t(maximum));
}

} // namespace

std::unique_ptr<TFileStream> OpenTemplate(int32_t count, const std::vector<std::string> &templateFolders,
                                          const std::string &purpose)
{
    std::vector<std::string> folders = {ExecutableFolder()};
    folders.insert(folders.end(), templateFolders.begin(), templateFolders.end());
    std::string looked;
    for (const auto &folder : folders) {
        if (folder.empty())
            continue;
        try {
            std::string path = JoinPath(folder, TemplateFileName(count));
            return std::make_unique<TFileStream>(path, TFileStream::Mode::OpenRead);
        } catch (const EFOpenError &) {
        }
        looked += (looked.empty() ? "" : ", ") + folder;
    }
    // The system's text, then the file looked for and where.
    throw ENoTemplateError(kNoTemplateMessage, purpose + " needs the template " +
                                                   TemplateFileName(count) +
                                                   ", which is in none of these folders: " + looked);
}

TCreatedArchive CreateArchive(const std::string &folder, const std::string &outputFileName,
                              const std::vector<std::string> &templateFolders, const TNameSort &sort,
                              const TProgress &progress)
{
    std::optional<std::vector<std::string>> names = ListPlainFiles(folder);
    if (!names)
        throw EKVBError("Cannot open folder " + folder);
    DropOutputFile(*names, folder, outputFileName);
    if (names->size() > size_t(INT32_MAX))
        throw EKVBError("Folder " + folder + " holds too many files to store in one archive");
    sort(*names);

    const auto count = static_cast<int32_t>(names->size());
    std::unique_ptr<TFileStream> validation =
        OpenTemplate(count, templateFolders,
                     "Creating an archive of " + std::to_string(count) + " files");
    const int64_t validationSize = validation->Size();

    // Names first: every file must come out again under its own name.
    std::vector<TInput> inputs(names->size());
    for (int32_t i = 0; i < count; ++i) {
        TInput &input = inputs[size_t(i)];
        input.name = std::move((*names)[size_t(i)]);
        const std::string stored = ArchiveName(input.name);
        input.field = NameToField(stored);
        input.cut = stored.size() > size_t(kNameFieldSize);
    }
    TCreatedArchive created;
    created.Warnings = CheckStoredNames(folder, inputs);

    // The output is an unnamed file until Commit, so it is written in the order the data comes:
    // the validation block and the entries first, each file looked up once, by opening it, its
    // size taken from the open file; then the header and the table, whose offsets are known by
    // then. Whatever fails on the way, a size past the archive's 32-bit fields included, leaves
    // nothing behind. An archive it replaces has its edit record settled first, so that no
    // record of that archive is left beside the new one.
    created.RecordNote = SettleBeforeReplacing(outputFileName);
    TOutputFile output(outputFileName, TOutputKind::Archive, {validation.get()});
    TArchiveWriter writer(output.Stream(), TocEnd(count));
    if (!writer.AppendFile(*validation, validationSize))
        throw EReadError();
    validation.reset();

    int64_t offset = TocEnd(count) + validationSize;
    const std::string tooLarge = "The files of " + folder +
                                 " are too large together to store in one archive";
    const TOpenFolder source(folder);
    for (int32_t i = 0; i < count; ++i) {
        TInput &input = inputs[size_t(i)];
        const TFileStream file = OpenInput(source, input);
        input.size = file.OpenedSize();
        if (input.size > INT32_MAX)
            throw EKVBError("File " + JoinPath(folder, input.name) +
                            " is too large to store in an archive");
        if (offset > INT32_MAX || EntryEnd(offset, input.size) > INT32_MAX)
            throw EKVBError(tooLarge);
        input.offset = static_cast<int32_t>(offset);
        offset = EntryEnd(offset, input.size);

        char dataHeader[kDataHeaderSize];
        EncodeDataHeader(TKVB_DataHeader{input.field, static_cast<int32_t>(input.size)}, dataHeader);
        writer.Append(dataHeader, sizeof dataHeader);
        if (!writer.AppendFile(file, input.size))
            throw FileChanged(JoinPath(folder, input.name));
        Report(progress, i + 1, count);
    }
    writer.Append(kNewArchiveDescription.data(), kNewArchiveDescription.size());
    writer.Flush();

    std::vector<char> head(size_t(TocEnd(count)));
    EncodeFileHeader(TKVB_FileHeader{CreatorToField(kNewArchiveCreator), count}, head.data());
    for (int32_t i = 0; i < count; ++i) {
        const TInput &input = inputs[size_t(i)];
        EncodeTocRecord(TKVB_TocRecord{input.field, input.offset, kNewArchiveReserved1,
                                       kNewArchiveReserved2},
                        head.data() + TocRecordPosition(i));
    }
    output.Stream().WriteAt(0, head.data(), int64_t(head.size()));
    output.Commit();
    return created;
}

TCreatedArchive CreateArchive(const std::string &folder, const std::string &outputFileName,
                              const std::vector<std::string> &templateFolders,
                              const TNameCompare &compare, const TProgress &progress)
{
    return CreateArchive(folder, outputFileName, templateFolders, SortByCompare(compare), progress);
}

} // namespace kvb
