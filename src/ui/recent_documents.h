// The desktop's list of recently used documents (the freedesktop recently-used.xbel file in
// the user's data folder), which file managers, file choosers and docks show. The program
// keeps no list of its own.
#pragma once

#include <QString>

#include <string>

namespace kvb::ui {

// The list's file: $XDG_DATA_HOME/recently-used.xbel, or ~/.local/share/recently-used.xbel.
QString RecentDocumentsFile();

// Records path (absolute) as used now by this program, with mimeType: a bookmark added, or the
// one already there given the new time and one more use. A list that cannot be read as one
// (damaged, or no plain file) is left as it is: it is the desktop's, not ours to replace. False
// then, or when it could not be written; nothing is raised, since opening the archive worked.
bool AddRecentDocument(const std::string &path, const QString &mimeType);

} // namespace kvb::ui
