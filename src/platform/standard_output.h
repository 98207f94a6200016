// Standard output and input as a command-line program uses them: results written so that a
// failed write is known, with the system's reason, and questions asked only of a person.
#pragma once

#include "platform/stream.h"

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

// Standard output as a stream that is only written, for copies (an entry sent to a pipe), through
// the same buffer: a write the system refuses raises as FinishStandardOutput does.
class TStandardOutputStream : public TStream {
public:
    int64_t Read(void *, int64_t) override { return 0; }
    void Write(const void *buffer, int64_t count) override;
    int64_t Size() const override { return position_; }
};

// Whether standard input is a terminal, where a person can answer a question.
bool StandardInputIsTerminal();

// Each system's own write of all count bytes to standard output: the system's reason when it
// refuses them.
std::optional<std::string> WriteToStandardOutput(const char *bytes, size_t count);

} // namespace kvb
