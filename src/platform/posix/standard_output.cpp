#include "platform/standard_output.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace kvb {

bool StandardInputIsTerminal()
{
    return ::isatty(STDIN_FILENO) == 1;
}

std::optional<std::string> WriteToStandardOutput(const char *bytes, size_t count)
{
    while (count > 0) {
        const ssize_t n = ::write(STDOUT_FILENO, bytes, count);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return std::string(n < 0 ? std::strerror(errno) : "the system wrote nothing");
        bytes += n;
        count -= size_t(n);
    }
    return std::nullopt;
}

} // namespace kvb
