// The entries of the open archive that are being edited in other programs ("Edit with...",
// "Open with default program"): each one's file in a folder of its own in the private temporary
// folder, and what is known of that file's content. A file counts as changed only when its
// content differs from the one last accounted for (as extracted, as put back into the archive,
// or as the user declined to put back): a save that leaves the bytes as they were asks nothing,
// and each new save asks once. The size and the time written are looked at first; the content's
// checksum is taken only when they differ from the last look, or when that look came too soon
// after a write for the time to tell (TFileStamp::Recent).
#pragma once

#include "platform/file_attributes.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kvb::logic {

struct TEditedFile {
    int Index = 0;          // the entry's table-of-contents record
    std::string File;       // the file the other program edits
    bool Texture = false;   // a texture edited as a PNG picture, put back as a TEX
    bool Pending = false;   // it holds a change that the user declined to put back
    TFileStamp Stamp;       // the file at the last look
    uint64_t Seen = 0;      // its content's checksum at the last look
    uint64_t Accounted = 0; // the content last accounted for
};

class TEditedFiles {
public:
    TEditedFiles() = default;
    ~TEditedFiles();
    TEditedFiles(const TEditedFiles &) = delete;
    TEditedFiles &operator=(const TEditedFiles &) = delete;

    // Keeps in mind file, just extracted for entry index: its content is the archive's.
    void Add(int index, const std::string &file, bool texture);
    // The edit of entry index; nullptr when there is none.
    const TEditedFile *Of(int index) const;
    // The entries whose file is path or lies in the folder path.
    std::vector<int> At(const std::string &path) const;
    // Every entry being edited, in the order they were opened.
    std::vector<int> Indices() const;
    bool Empty() const { return files_.empty(); }

    // Looks at the file of entry index again; its content when that is not accounted for yet.
    // A file that is not there (an editor between removing it and renaming its new one onto
    // it) has nothing new. Raises the stream errors of a file that cannot be read.
    std::optional<uint64_t> NewContent(int index);
    // The content seen is accounted for: put back, or declined (pending).
    void Account(int index, uint64_t content, bool pending);
    // The entries whose files hold what the archive lacks: declined, or changed since.
    std::vector<int> Unsettled();

    // Forgets the edit of entry index and removes its folder.
    void Remove(int index);
    // Forgets every edit and removes their folders.
    void Clear();

private:
    TEditedFile *Find(int index);

    std::vector<TEditedFile> files_;
};

} // namespace kvb::logic
