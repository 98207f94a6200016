#include "preview/entry_preview.h"

#include "platform/errors.h"
#include "archive/extract.h"
#include "platform/stream.h"
#include "archive/text.h"
#include "platform/file_attributes.h"
#include "platform/temp_dir.h"

namespace kvb {

std::string PreviewTempFile;

void DeletePreviewTempFile()
{
    // A file that cannot be deleted stays behind; whoever asked goes on regardless.
    if (!PreviewTempFile.empty())
        RemoveFile(PreviewTempFile);
}

std::string ExtractToWorkFile(const TKVBFile &catalogue, int32_t index, const std::string &extension)
{
    const std::string path = GetTempDir() + "entry" + extension;
    TFileStream archive(catalogue.FileName(), TFileStream::Mode::OpenRead);
    ExtractEntry(archive, catalogue.GetEntry(index), path);
    return path;
}

std::string ExtractToDragFile(const TKVBFile &catalogue, int32_t index)
{
    const TKVB_Entry entry = catalogue.GetEntry(index);
    CheckSafeEntryName(entry.Name, "extracted");
    // A folder of its own for each drag: the file must carry the entry's name, and an earlier
    // drag's file of that name may still be in a file manager's hands.
    const std::string path = NewTempSubfolder() + Cp1252ToUtf8(entry.Name);
    TFileStream archive(catalogue.FileName(), TFileStream::Mode::OpenRead);
    ExtractEntry(archive, entry, path);
    return path;
}

std::string PreviewExtension(const std::string &caption)
{
    size_t dot = caption.rfind('.');
    if (dot == std::string::npos || caption.find_first_of("\\:", dot) != std::string::npos)
        return {};
    return AsciiUpper(caption.substr(dot));
}

} // namespace kvb
