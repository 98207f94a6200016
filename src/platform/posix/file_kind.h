// What stands at a path when it is not the plain file the program wanted there, in the words
// of its messages.
#pragma once

#include <sys/stat.h>

namespace kvb {

inline const char *WhatItIs(mode_t mode)
{
    if (S_ISDIR(mode))
        return "it is a folder";
    if (S_ISFIFO(mode))
        return "it is a pipe (FIFO)";
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return "it is a device";
    return "it is not a plain file";
}

} // namespace kvb
