// "Create KVB": a new archive from every plain file of one folder.
//
// Each file becomes one entry under its own name, in the order of the name comparison given.
// The validation block is copied whole from the template file for the number of entries
// ("KVB." and the count), found next to the running program or in one of the folders given.
#pragma once

#include "archive/progress.h"
#include "platform/collation.h"
#include "platform/errors.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace kvb {

class TFileStream;

// No validation template file for an archive of the number of files being stored: the window
// shows this as a notice, not an error.
class ENoTemplateError : public EKVBError {
public:
    ENoTemplateError(const std::string &message, const std::string &detail) : EKVBError(message, detail)
    {
    }
};

// Shown by the window every time before it asks for the folder.
inline const std::string kCreateWarning =
    "WARNING! The \"Create KVB\" function will only create KVB's that contain UNCOMPRESSED, "
    "STANDARD data, with normal file validation. In other words, using it to edit compressed "
    "graphics etc WILL NOT WORK. Also, it makes an KVB from all files in one folder, using their "
    "filenames as the name to store them in the archive. It will by default set the creator to "
    "SQUARESOFT and the description to FINAL FANTASY7.";

inline const std::string kNoTemplateMessage =
    "Couldn't find an appropriate file validation data. Perhaps you are trying to make an KVB "
    "with an unsupported number of files in it.";

inline const std::string kFileVanishedMessage = "Couldn't find a file that exists. AARRRRGH.";

// The template for an archive of count records, opened: looked for in the running program's
// folder, then in templateFolders in turn. Raises ENoTemplateError whose detail says that purpose
// ("Creating an archive of 3 files") needs it and where it was looked for.
std::unique_ptr<TFileStream> OpenTemplate(int32_t count, const std::vector<std::string> &templateFolders,
                                          const std::string &purpose);

// What a new archive holds that will not come out again everywhere as it went in. Nothing of it
// is refused, as the archive's own name rule allows it; the faces show each warning.
struct TCreatedArchive {
    // Sentences in the archive's order: for each file whose name is cut to the 20 bytes an
    // archive keeps of a name (only that name finds it again) or is stored as a name that
    // Windows cannot give a file (extracted there, the entry is left out), one that says both;
    // and for each whose stored name only the case of letters outside A to Z tells from an
    // earlier file's (where file names ignore case, as on Windows, the two are extracted into
    // one file), one that names both files.
    std::vector<std::string> Warnings;
    // What was done about the record of an interrupted edit beside an archive that the new one
    // replaced (settled first, as an editor opening it would); nothing when there was none.
    std::optional<std::string> RecordNote;
};

// Writes the archive of folder's plain files to outputFileName, replacing any file there, in
// the order of sort (names it finds equal in byte order, so that a run always gives the same
// archive), each file opened once and streamed, never held whole; the entries are written before
// the table that points at them. The file appears under its name only when complete: on any
// failure no partial archive remains and a file that stood there before is kept. The output is
// never one of its own inputs.
//
// Raises ENoTemplateError when no template is found, EKVBError with kFileVanishedMessage when
// a listed file is gone, a message naming the file when a name cannot be stored or a file
// changes in size during the run, a message when sizes, offsets or the count do not fit the
// archive's fields, and the stream errors of the files involved. Returns the warnings about
// the stored names. progress hears of each file once it is copied (1 to n, of n); never for an
// empty folder.
TCreatedArchive CreateArchive(const std::string &folder, const std::string &outputFileName,
                              const std::vector<std::string> &templateFolders, const TNameSort &sort,
                              const TProgress &progress = {});

// The same with the order given as a comparison of two names.
TCreatedArchive CreateArchive(const std::string &folder, const std::string &outputFileName,
                              const std::vector<std::string> &templateFolders,
                              const TNameCompare &compare, const TProgress &progress = {});

} // namespace kvb
