// Which names the system keeps as the names of files in a folder.
#pragma once

#include <optional>
#include <string>

namespace kvb {

// Whether Windows gives name to a device in every folder: CON, PRN, AUX, NUL, CONIN$, CONOUT$,
// COM1 to COM9 and LPT1 to LPT9 (the digits 1, 2 and 3 also as Windows-1252's superscripts), in
// any case, with any extension and with spaces before it. What is written under such a name
// goes to the device. The rule of Windows, answered on every system.
bool IsWindowsDeviceName(const std::string &name);

// Why a file created under name in a folder on Windows would not be a file of that name there,
// or nothing when it would: Windows gives some names to devices (IsWindowsDeviceName), drops a
// final dot or space, and takes no control characters nor any of < > : " / \ | ? *. The reason
// is a clause that names Windows ("Windows keeps it for a device"). name is in the archive's
// single-byte code page or in UTF-8; the names and characters above are ASCII. The rule of
// Windows on every system, so that names can be checked before they travel there.
std::optional<std::string> WindowsFileNameFault(const std::string &name);

// The same for the system this runs on: WindowsFileNameFault on Windows; elsewhere every byte
// but "/" and NUL is a file name's own, and the callers refuse those already.
std::optional<std::string> SystemFileNameFault(const std::string &name);

// Whether a file created under name in a folder is a file of that name there: no
// SystemFileNameFault.
bool SystemKeepsFileName(const std::string &name);

// Whether name names a file inside a folder and nothing else: not empty, not "." or "..", no
// separator ("/" or "\"), and kept by the system as it is (SystemKeepsFileName).
bool IsPlainFileName(const std::string &name);

} // namespace kvb
