#include "CommandIo.h"

#include "system/Console.h"

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

int StandardOutput::Write(std::string_view bytes) {
    return WriteStandardStream(m_stream, bytes);
}

int StringOutput::Write(std::string_view bytes) {
    m_text.append(bytes);
    return 0;
}

bool LineInput::Next(std::string_view& line) {
    for (;;) {
        const char* const data = m_buffer.get();
        const std::size_t from = m_begin + m_searched;
        if (const void* lf = m_end > from ? std::memchr(data + from, '\n', m_end - from) : nullptr) {
            const auto at = static_cast<std::size_t>(static_cast<const char*>(lf) - data);
            if (at - m_begin > m_maxLine) {
                m_lineTooLong = true;
                return false;
            }
            line = std::string_view(data + m_begin, at - m_begin);
            m_begin = at + 1;
            m_searched = 0;
            ++m_lines;
            return true;
        }
        m_searched = m_end - m_begin;
        if (m_searched > m_maxLine) {
            m_lineTooLong = true;
            return false;
        }
        if (m_atEnd) {
            // The last line may lack its line end; nothing after a final LF is a line.
            if (m_end > m_begin) {
                line = std::string_view(data + m_begin, m_end - m_begin);
                m_begin = m_end;
                m_searched = 0;
                ++m_lines;
                return true;
            }
            return false;
        }
        Fill();
    }
}

std::size_t LineInput::ReadBytes(char* into, std::size_t size) {
    if (m_end > m_begin) {
        const std::size_t take = std::min(size, m_end - m_begin);
        std::memcpy(into, m_buffer.get() + m_begin, take);
        m_begin += take;
        return take;
    }
    if (m_atEnd || size == 0) {
        return 0;
    }
    int error = 0;
    const std::size_t got = Read(into, size, error);
    if (got == 0) {
        m_error = error;
        m_atEnd = true;
    }
    return got;
}

void LineInput::Fill() {
    // Keep the unfinished line at the front; grow only when it fills the whole buffer, and never
    // past what the longest line and its LF need.
    if (m_begin > 0) {
        std::memmove(m_buffer.get(), m_buffer.get() + m_begin, m_end - m_begin);
        m_end -= m_begin;
        m_begin = 0;
    }
    if (m_end == m_size) {
        const std::size_t size = std::max(m_size, std::min(m_size * 2, m_maxLine + 1));
        if (size == m_size) {
            return; // full, and the line in it already too long: Next says so
        }
        std::unique_ptr<char[]> grown(new char[size]);
        std::memcpy(grown.get(), m_buffer.get(), m_end);
        m_buffer = std::move(grown);
        m_size = size;
    }
    int error = 0;
    const std::size_t got = Read(m_buffer.get() + m_end, m_size - m_end, error);
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
    return ReadStandardInput(into, size, error);
}

std::size_t StringInput::Read(char* into, std::size_t size, int& /*error*/) {
    const std::size_t got = std::min({size, m_piece, m_text.size() - m_at});
    std::memcpy(into, m_text.data() + m_at, got);
    m_at += got;
    return got;
}

} // namespace quillon::cli
