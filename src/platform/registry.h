// The Windows registry, read only: a text value of a key under HKEY_LOCAL_MACHINE.
#pragma once

#include <optional>
#include <string>

namespace kvb {

// A 32-bit program's keys live in their own view of the registry on 64-bit Windows.
enum class TRegistryView { Bits32, Bits64 };

// The text value name of HKEY_LOCAL_MACHINE\key in view; nothing when the key or the value is
// missing or not text.
std::optional<std::string> ReadMachineRegistryText(const std::string &key, const std::string &name,
                                                   TRegistryView view);

} // namespace kvb
