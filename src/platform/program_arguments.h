// What a command-line program is handed at start, as UTF-8 on every system, and the standard
// streams it prints to.
#pragma once

#include <string>
#include <vector>

namespace kvb {

// The command line, program name first. Windows keeps it as UTF-16 whatever argv says in the
// ANSI code page, where names outside that code page are lost; it is taken from there.
std::vector<std::string> ProgramArguments(int argc, char **argv);

// Makes standard output and error pass the program's bytes through unchanged: "\n" stays one
// byte, and a console shows UTF-8 as text.
void PrepareStandardStreams();

} // namespace kvb
