// kvb's --json output: one JSON object per command on standard output, for scripts.
#pragma once

#include <nlohmann/json.hpp>

#include <string>

namespace kvb::cli {

using nlohmann::ordered_json;

// The bytes as lower-case hex, two digits a byte.
std::string HexBytes(const std::string &bytes);

// Archive text under key as UTF-8 (converted from Windows-1252), with its bytes as hex under
// key + "_hex": the text is for reading, the hex gives back every byte, also those that no
// conversion keeps.
void PutArchiveText(ordered_json &object, const std::string &key, const std::string &bytes);

// Writes the object on one line.
void PrintJson(const ordered_json &object);

} // namespace kvb::cli
