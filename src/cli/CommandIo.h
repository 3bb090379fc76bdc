#pragma once

// Where the commands write and read: the program's standard streams as an output sink and a line
// input (validation/TextStreams.h), and strings in tests.

#include "system/Console.h"
#include "validation/TextStreams.h"

namespace quillon::cli {

using quillon::LineInput;
using quillon::OutputSink;
using quillon::StringInput;
using quillon::StringOutput;

// Standard output or standard error.
class StandardOutput final : public OutputSink {
public:
    explicit StandardOutput(StandardStream stream) : m_stream(stream) {}

private:
    int Write(std::string_view bytes) override;
    StandardStream m_stream;
};

// The program's standard input.
class StandardInput final : public LineInput {
public:
    bool IsOpen() const override;

private:
    std::size_t Read(char* into, std::size_t size, int& error) override;
};

} // namespace quillon::cli
