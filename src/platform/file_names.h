// Which names the system keeps as the names of files in a folder.
#pragma once

#include <string>

namespace kvb {

// Whether a file created under name in a folder is a file of that name there. Windows gives
// some names to devices in every folder (CON, PRN, AUX, NUL, COM1 to COM9, LPT1 to LPT9, in any
// case and with any extension), drops a final dot or space, and takes no control characters
// nor any of < > : " / \ | ? *; what is written under such a name goes to a device or to
// another file. name is in the archive's single-byte code page; the names above are ASCII.
bool SystemKeepsFileName(const std::string &name);

// Whether name names a file inside a folder and nothing else: not empty, not "." or "..", no
// separator ("/" or "\"), and kept by the system as it is (SystemKeepsFileName).
bool IsPlainFileName(const std::string &name);

} // namespace kvb
