// Standard output and input as a command-line program uses them: results written so that a
// failed write is known, with the system's reason, and questions asked only of a person.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace kvb {

// Sends std::cout to standard output through a buffer of its own, which notes the first write
// that the system refuses and why. std::cerr stays tied to it, so that errors still follow
// the output before them.
void CheckStandardOutputWrites();

// Writes out what std::cout holds; raises EKVBError "cannot write to standard output: " and the
// system's reason when this or an earlier write to standard output failed.
void FinishStandardOutput();

// Whether standard input is a terminal, where a person can answer a question.
bool StandardInputIsTerminal();

// Each system's own write of all count bytes to standard output: the system's reason when it
// refuses them.
std::optional<std::string> WriteToStandardOutput(const char *bytes, size_t count);

} // namespace kvb
