// Files that stand for another file's owner: a record that an editor leaves beside an archive
// is acted on only when the same owner wrote it, and no one else can have changed it since.
#pragma once

#include "platform/stream.h"

#include <memory>
#include <optional>
#include <string>

namespace kvb {

struct TOwnersFile {
    enum class Status {
        Missing,    // nothing stands at the path
        Opened,     // a plain file of the owner's that only the owner may write; in Stream
        Unreadable, // such a file, which cannot be read (Why says why)
        NotTrusted, // something else: a link, a folder, a pipe, another user's file, a file
                    // others may write (Why says which)
    };
    Status State = Status::Missing;
    std::string Why;
    std::unique_ptr<TFileStream> Stream;
};

// Looks at what stands at path (a link itself, never what it leads to) and opens it for reading
// when it is a file that only the owner of file can have written. On Windows, where who may
// write a file is a list of rights, the owner is compared and the rights are not.
TOwnersFile OpenOwnersFile(const std::string &path, const TFileStream &file);

// Gives file the owner of owner where this program may (it runs as the administrator), so that
// a record written for another user's archive is trusted as that user's; otherwise nothing.
void GiveOwnerOf(const TFileStream &owner, TFileStream &file);

// Why the file at path could not be changed, removed or given a file beside it where it stands
// (a read-only file system or medium, no right to write it or its folder); nothing when it can.
std::optional<std::string> WhyNotWritableWhereItIs(const std::string &path);

} // namespace kvb
