#include "edit_script.h"

#include <algorithm>

namespace kvb::fuzz {

EditScript ParseEditScript(std::string_view input)
{
    EditScript script{input, {}};
    if (input.empty())
        return script;
    size_t count =
        std::min<size_t>(uint8_t(input.back()) % (kMaxEdits + 1), (input.size() - 1) / kEditSize);
    size_t start = input.size() - 1 - count * kEditSize;
    script.Archive = input.substr(0, start);
    for (size_t i = 0; i < count; ++i) {
        const auto *p = reinterpret_cast<const uint8_t *>(input.data() + start + i * kEditSize);
        script.Edits.push_back(
            Edit{EditKind(p[0] % 3), uint16_t(p[1] | p[2] << 8), uint16_t(p[3] | p[4] << 8)});
    }
    return script;
}

std::string WriteEditScript(const std::string &archive, const std::vector<Edit> &edits)
{
    std::string out = archive;
    for (const Edit &e : edits) {
        out += char(e.Kind);
        out += char(e.A & 0xFF);
        out += char(e.A >> 8);
        out += char(e.B & 0xFF);
        out += char(e.B >> 8);
    }
    out += char(edits.size());
    return out;
}

} // namespace kvb::fuzz
