#include "preview/entry_preview.h"

#include "archive/extract.h"
#include "archive/text.h"
#include "platform/errors.h"
#include "platform/file_attributes.h"
#include "platform/stream.h"
#include "platform/temp_dir.h"
#include "preview/png_image.h"

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

std::string ExtractForEditing(const TKVBFile &catalogue, int32_t index)
{
    const TKVB_Entry entry = catalogue.GetEntry(index);
    CheckSafeEntryName(entry.Name, "opened");
    // A folder of its own for each entry: several entries may share a name, and the other
    // program's file must carry it (many programs choose by the name's extension).
    const std::string folder = NewTempSubfolder();
    const std::string name = Cp1252ToUtf8(entry.Name);
    const bool texture = PreviewExtension(name) == ".TEX";
    const std::string extracted = folder + (texture ? "entry.TEX" : name);
    try {
        {
            TFileStream archive(catalogue.FileName(), TFileStream::Mode::OpenRead);
            ExtractEntry(archive, entry, extracted);
        }
        if (!texture)
            return extracted;
        TexFileToPngFile(extracted, folder + name + ".png");
        RemoveFile(extracted);
        return folder + name + ".png";
    } catch (...) {
        RemoveTempSubfolder(folder);
        throw;
    }
}

std::string PreviewExtension(const std::string &caption)
{
    size_t dot = caption.rfind('.');
    if (dot == std::string::npos || caption.find_first_of("\\:", dot) != std::string::npos)
        return {};
    return AsciiUpper(caption.substr(dot));
}

} // namespace kvb
