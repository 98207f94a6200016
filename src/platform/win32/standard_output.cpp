#include "platform/standard_output.h"

#include "platform/win32/wide.h"

#include <algorithm>

namespace kvb {

bool StandardInputIsTerminal()
{
    DWORD mode = 0;
    return ::GetConsoleMode(::GetStdHandle(STD_INPUT_HANDLE), &mode) != 0;
}

std::optional<std::string> WriteToStandardOutput(const char *bytes, size_t count)
{
    const HANDLE output = ::GetStdHandle(STD_OUTPUT_HANDLE);
    while (count > 0) {
        DWORD written = 0;
        const DWORD want = DWORD(std::min<size_t>(count, 1 << 30));
        if (!::WriteFile(output, bytes, want, &written, nullptr))
            return win32::SystemMessage(::GetLastError());
        if (written == 0)
            return std::string("the system wrote nothing");
        bytes += written;
        count -= written;
    }
    return std::nullopt;
}

} // namespace kvb
