#include "CommandIo.h"

namespace quillon::cli {

int StandardOutput::Write(std::string_view bytes) {
    return WriteStandardStream(m_stream, bytes);
}

bool StandardInput::IsOpen() const {
    return StandardInputIsOpen();
}

std::size_t StandardInput::Read(char* into, std::size_t size, int& error) {
    return ReadStandardInput(into, size, error);
}

} // namespace quillon::cli
