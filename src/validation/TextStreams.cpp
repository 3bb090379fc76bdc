#include "validation/TextStreams.h"

#include "system/Files.h"

#include <cerrno>
#include <system_error>

namespace quillon {

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

int StringOutput::Write(std::string_view bytes) {
    m_text.append(bytes);
    return 0;
}

void LineInput::ReadAsText() {
    m_text = true;
    m_undecided = m_lines == 0 && m_end == 0;
}

bool LineInput::Next(std::string_view& line) {
    if (m_undecided) {
        DecideEncoding();
    }
    for (;;) {
        if (const std::size_t at = FindLineEnd(); at != std::string_view::npos) {
            if (at - m_begin > m_maxLine) {
                m_lineTooLong = true;
                return false;
            }
            line = Take(at);
            m_begin = at + m_unit;
            return true;
        }
        // A UTF-16 line may end in half a code unit, which the search leaves out.
        if (m_searched > m_maxLine || (m_atEnd && m_end - m_begin > m_maxLine)) {
            m_lineTooLong = true;
            return false;
        }
        if (m_atEnd) {
            // The last line may lack its line end; nothing after a final LF is a line.
            if (m_end > m_begin) {
                line = Take(m_end);
                m_begin = m_end;
                return true;
            }
            return false;
        }
        Fill(m_maxLine + m_unit);
    }
}

std::size_t LineInput::FindLineEnd() {
    const char* const data = m_buffer.get();
    if (m_unit == 1) {
        const std::size_t from = m_begin + m_searched;
        if (const void* lf = m_end > from ? std::memchr(data + from, '\n', m_end - from) : nullptr) {
            return static_cast<std::size_t>(static_cast<const char*>(lf) - data);
        }
        m_searched = m_end - m_begin;
        return std::string_view::npos;
    }
    // A UTF-16 LF is a whole code unit: its 0A byte first (little-endian) or second in a pair
    // counted from the line's start, and NUL beside it.
    const std::size_t low = m_bigEndian ? 1 : 0;
    const std::size_t whole = m_begin + ((m_end - m_begin) & ~std::size_t{1});
    for (std::size_t from = m_begin + m_searched; from < whole;) {
        const void* lf = std::memchr(data + from + low, '\n', whole - from - low);
        if (lf == nullptr) {
            break;
        }
        const auto at = static_cast<std::size_t>(static_cast<const char*>(lf) - data);
        const std::size_t unit = m_begin + ((at - m_begin) & ~std::size_t{1});
        if (unit + low == at && data[unit + 1 - low] == '\0') {
            return unit;
        }
        from = unit + 2;
    }
    m_searched = whole - m_begin;
    return std::string_view::npos;
}

std::string_view LineInput::Take(std::size_t end) {
    std::string_view line(m_buffer.get() + m_begin, end - m_begin);
    if (m_unit == 2) {
        m_converted.clear();
        AppendUtf16AsUtf8(m_converted, line, m_bigEndian);
        line = m_converted;
    }
    if (m_text && m_lines == 0 && line.starts_with("\xEF\xBB\xBF")) {
        line.remove_prefix(3);
    }
    m_searched = 0;
    ++m_lines;
    return line;
}

void LineInput::DecideEncoding() {
    m_undecided = false;
    // Read on while the start could still be UTF-16 without a mark, up to the bytes that decide.
    std::size_t alternating = 0; // the whole pairs from the start already known to alternate
    for (;;) {
        const std::string_view head(m_buffer.get(), m_end);
        if (head.starts_with("\xFF\xFE") || head.starts_with("\xFE\xFF") ||
            !MayLookLikeUtf16(head.substr(alternating < 2 ? 0 : alternating - 2))) {
            break;
        }
        alternating = head.size() & ~std::size_t{1};
        if (m_atEnd || head.size() >= kEncodingHeadBytes) {
            break;
        }
        Fill(kEncodingHeadBytes);
    }
    const std::size_t head = std::min(m_end, kEncodingHeadBytes);
    const EncodingDecision decision =
        quillon::DecideEncoding(std::string_view(m_buffer.get(), head), m_atEnd && head == m_end);
    if (decision.encoding == TextEncoding::Utf16LE || decision.encoding == TextEncoding::Utf16BE) {
        m_unit = 2;
        m_bigEndian = decision.encoding == TextEncoding::Utf16BE;
        m_begin = decision.markBytes;
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
    m_bytesRead.fetch_add(got, std::memory_order_relaxed);
    if (got == 0) {
        m_error = error;
        m_atEnd = true;
    }
    return got;
}

void LineInput::Fill(std::size_t capacity) {
    // Keep the unfinished line at the front; grow only when it fills the whole buffer, and never
    // past what the longest line and its LF need (or the start that decides the encoding).
    if (m_begin > 0) {
        std::memmove(m_buffer.get(), m_buffer.get() + m_begin, m_end - m_begin);
        m_end -= m_begin;
        m_begin = 0;
    }
    if (m_end == m_size) {
        const std::size_t size = std::max(m_size, std::min(m_size * 2, capacity));
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
    m_bytesRead.fetch_add(got, std::memory_order_relaxed);
    m_end += got;
    if (got == 0) {
        m_error = error;
        m_atEnd = true;
    }
}

std::size_t StringInput::Read(char* into, std::size_t size, int& /*error*/) {
    const std::size_t got = std::min({size, m_piece, m_text.size() - m_at});
    std::memcpy(into, m_text.data() + m_at, got);
    m_at += got;
    return got;
}

std::unique_ptr<FileInput> FileInput::Open(const std::filesystem::path& path, int& error) {
    std::FILE* file = OpenFile(path, "rb");
    if (file == nullptr) {
        error = errno != 0 ? errno : EIO;
        return nullptr;
    }
    std::error_code sizeError;
    const std::uintmax_t size = std::filesystem::file_size(path, sizeError);
    return std::unique_ptr<FileInput>(new FileInput(file, sizeError ? 0 : static_cast<std::uint64_t>(size)));
}

FileInput::~FileInput() {
    std::fclose(m_file);
}

std::size_t FileInput::Read(char* into, std::size_t size, int& error) {
    const std::size_t got = std::fread(into, 1, size, m_file);
    if (got < size && std::ferror(m_file)) {
        error = errno != 0 ? errno : EIO;
    }
    return got;
}

std::size_t TextInput::Read(char* into, std::size_t size, int& /*error*/) {
    const std::size_t got = std::min(size, m_text.size() - m_at);
    std::memcpy(into, m_text.data() + m_at, got);
    m_at += got;
    return got;
}

} // namespace quillon
