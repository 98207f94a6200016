#include "platform/program_arguments.h"

namespace kvb {

std::vector<std::string> ProgramArguments(int argc, char **argv)
{
    return std::vector<std::string>(argv, argv + argc);
}

void PrepareStandardStreams()
{
}

} // namespace kvb
