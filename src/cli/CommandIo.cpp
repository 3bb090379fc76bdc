#include "CommandIo.h"

#include "system/Console.h"

#include <unistd.h>

#include <cerrno>

namespace quillon::cli {

OutputSink::OutputSink(std::size_t blockSize) : m_buffer(new char[blockSize]), m_size(blockSize) {}

void OutputSink::Flush() {
    WriteUnlessFailed(std::string_view(m_buffer.get(), m_used));
    m_used = 0;
}

void OutputSink::AppendLarge(std::string_view text) {
    Flush();
    if (text.size() >= m_size) {
        WriteUnlessFailed(text);
        return;
    }
    std::memcpy(m_buffer.get(), text.data(), text.size());
    m_used = text.size();
}

void OutputSink::WriteUnlessFailed(std::string_view bytes) {
    if (m_error == 0 && !bytes.empty()) {
        m_error = Write(bytes);
    }
}

int FdOutput::Write(std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(m_fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno != EINTR) {
                return errno;
            }
            continue;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return 0;
}

int StringOutput::Write(std::string_view bytes) {
    m_text.append(bytes);
    return 0;
}

bool LineInput::Next(std::string_view& line) {
    for (;;) {
        const char* const data = m_buffer.data();
        if (const void* lf = m_end > m_begin ? std::memchr(data + m_begin, '\n', m_end - m_begin) : nullptr) {
            const auto at = static_cast<std::size_t>(static_cast<const char*>(lf) - data);
            line = std::string_view(data + m_begin, at - m_begin);
            m_begin = at + 1;
            return true;
        }
        if (m_atEnd) {
            // The last line may lack its line end; nothing after a final LF is a line.
            if (m_end > m_begin) {
                line = std::string_view(data + m_begin, m_end - m_begin);
                m_begin = m_end;
                return true;
            }
            return false;
        }
        Fill();
    }
}

void LineInput::Fill() {
    // Keep the unfinished line at the front; grow only when it fills the whole buffer.
    if (m_begin > 0) {
        std::memmove(m_buffer.data(), m_buffer.data() + m_begin, m_end - m_begin);
        m_end -= m_begin;
        m_begin = 0;
    }
    if (m_end == m_buffer.size()) {
        m_buffer.resize(m_buffer.size() * 2);
    }
    int error = 0;
    const std::size_t got = Read(m_buffer.data() + m_end, m_buffer.size() - m_end, error);
    m_end += got;
    if (got == 0) {
        m_error = error;
        m_atEnd = true;
    }
}

bool StandardInput::IsOpen() const {
    return StandardInputIsOpen();
}

std::size_t StandardInput::Read(char* into, std::size_t size, int& error) {
    for (;;) {
        const ssize_t got = ::read(STDIN_FILENO, into, size);
        if (got >= 0) {
            return static_cast<std::size_t>(got);
        }
        if (errno != EINTR) {
            error = errno;
            return 0;
        }
    }
}

std::size_t StringInput::Read(char* into, std::size_t size, int& /*error*/) {
    const std::size_t got = std::min(size, m_text.size() - m_at);
    std::memcpy(into, m_text.data() + m_at, got);
    m_at += got;
    return got;
}

} // namespace quillon::cli
