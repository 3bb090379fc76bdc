#include "devicedb/ImportBlocks.h"

#include <algorithm>
#include <cstring>

namespace quillon {

namespace {

// What one read asks for.
constexpr std::size_t kBlock = std::size_t{1} << 20;

// The text with every byte that starts no well-formed sequence replaced by U+FFFD; counts them.
std::string ReplaceMalformed(std::string_view text, std::size_t& replaced) {
    std::string out;
    out.reserve(text.size() + 16);
    for (std::size_t pos = 0; pos < text.size();) {
        const std::size_t length = Utf8SequenceLength(text, pos);
        if (length == 0) {
            AppendUtf8(out, kReplacementCharacter);
            ++replaced;
            ++pos;
        } else {
            out.append(text, pos, length);
            pos += length;
        }
    }
    return out;
}

// Whether bytes handed in pieces are UTF-8: a character cut by a piece's end is completed from the
// next piece's first bytes, so each byte is looked at once and no piece is copied.
class Utf8Check {
public:
    void Feed(std::string_view bytes) {
        if (!m_valid) {
            return;
        }
        if (!m_open.empty()) {
            const auto lead = static_cast<unsigned char>(m_open[0]);
            const std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
            std::size_t taken = 0;
            while (m_open.size() < length && taken < bytes.size() &&
                   (static_cast<unsigned char>(bytes[taken]) & 0xC0) == 0x80) {
                m_open += bytes[taken++];
            }
            if (m_open.size() < length && taken == bytes.size()) {
                return; // still open
            }
            m_valid = IsValidUtf8(m_open);
            m_open.clear();
            bytes.remove_prefix(taken);
            if (!m_valid) {
                return;
            }
        }
        const std::size_t tail = Utf8OpenTail(bytes);
        m_valid = IsValidUtf8(bytes.substr(0, bytes.size() - tail));
        m_open.assign(bytes.substr(bytes.size() - tail));
    }
    bool Valid() const { return m_valid; }
    // At the end: a character still open is not UTF-8.
    bool ValidWhole() const { return m_valid && m_open.empty(); }

private:
    std::string m_open;
    bool m_valid = true;
};

} // namespace

ImportBlocks::ImportBlocks(ByteSource& source, std::size_t maxLineBytes)
    : m_source(source),
      m_maxLineBytes(maxLineBytes) {}

bool ImportBlocks::Start() {
    m_stream = !m_source.Rewind();
    std::string head(kEncodingHeadBytes, '\0');
    std::size_t filled = 0;
    bool atEnd = false;
    while (filled < head.size()) {
        const std::size_t got = m_source.Read(head.data() + filled, head.size() - filled);
        if (got == 0) {
            if (m_source.Error() != 0) {
                return false;
            }
            atEnd = true;
            break;
        }
        filled += got;
    }
    head.resize(filled);
    m_decision = DecideEncoding(head, atEnd);
    m_markLeft = m_decision.markBytes;
    if (m_stream) {
        m_head = std::move(head);
        m_atEnd = atEnd;
        return true;
    }
    if (m_decision.encoding != TextEncoding::Utf16LE && m_decision.encoding != TextEncoding::Utf16BE) {
        // The whole file decides between UTF-8 and Windows-1252.
        Utf8Check check;
        check.Feed(std::string_view(head).substr(std::min(head.size(), m_decision.markBytes)));
        while (!atEnd && check.Valid()) {
            if (Fill(m_raw)) {
                check.Feed(m_raw);
            } else if (m_failed) {
                return false;
            } else {
                atEnd = true;
            }
        }
        m_decision.encoding = check.ValidWhole() ? TextEncoding::Utf8 : TextEncoding::Windows1252;
    }
    m_atEnd = false;
    return m_source.Rewind() && m_source.Error() == 0;
}

bool ImportBlocks::Fill(std::string& raw) {
    raw.resize(kBlock);
    const std::size_t got = m_source.Read(raw.data(), raw.size());
    raw.resize(got);
    if (got == 0) {
        m_atEnd = true;
        m_failed = m_source.Error() != 0;
        return false;
    }
    return true;
}

bool ImportBlocks::Next(std::string& text) {
    for (;;) {
        std::string& raw = m_raw;
        if (!m_head.empty()) {
            raw.swap(m_head);
            std::string().swap(m_head);
        } else if (m_failed || m_longLine != 0) {
            return false;
        } else if (m_atEnd || !Fill(raw)) {
            raw.clear();
            if (m_failed) {
                return false;
            }
        }
        if (m_markLeft > 0) {
            const std::size_t drop = std::min(m_markLeft, raw.size());
            raw.erase(0, drop);
            m_markLeft -= drop;
        }
        const bool last = m_atEnd;
        switch (m_decision.encoding) {
        case TextEncoding::Utf8:
            if (!m_stream) {
                raw.resize(Measure(raw));
                if (!raw.empty()) {
                    text.swap(raw);
                    return true;
                }
                break;
            }
            if (m_carry.empty()) {
                text.swap(raw);
            } else {
                text.assign(m_carry).append(raw);
                m_carry.clear();
            }
            {
                const std::size_t tail = last ? 0 : Utf8OpenTail(text);
                m_carry.assign(text, text.size() - tail);
                text.resize(text.size() - tail);
            }
            text.resize(Measure(text));
            if (m_longLine != 0) {
                text.resize(text.size() - Utf8OpenTail(text));
            }
            if (!text.empty()) {
                if (!IsValidUtf8(text)) {
                    text = ReplaceMalformed(text, m_replaced);
                }
                return true;
            }
            break;
        case TextEncoding::Windows1252:
            raw.resize(Measure(raw));
            if (!raw.empty()) {
                text = Cp1252ToUtf8(raw);
                return true;
            }
            break;
        case TextEncoding::Utf16LE:
        case TextEncoding::Utf16BE: {
            const bool bigEndian = m_decision.encoding == TextEncoding::Utf16BE;
            std::string_view bytes = raw;
            if (!m_carry.empty()) {
                m_joined.assign(m_carry).append(raw);
                bytes = m_joined;
            }
            std::size_t keep = last ? 0 : bytes.size() % 2;
            if (!last && bytes.size() - keep >= 2) {
                // A high surrogate waits for its partner.
                const std::size_t at = bytes.size() - keep - 2;
                const auto high = static_cast<unsigned char>(bytes[bigEndian ? at : at + 1]);
                if (high >= 0xD8 && high <= 0xDB) {
                    keep += 2;
                }
            }
            m_carry.assign(bytes.substr(bytes.size() - keep));
            bytes.remove_suffix(keep);
            bytes = bytes.substr(0, Measure16(bytes, bigEndian));
            if (!bytes.empty()) {
                text = Utf16ToUtf8(bytes, bigEndian);
                return true;
            }
            break;
        }
        }
        if (last || m_longLine != 0) {
            return false;
        }
    }
}

std::size_t ImportBlocks::Measure(std::string_view bytes) {
    const char* const s = bytes.data();
    const std::size_t n = bytes.size();
    // The next CR and the next LF are looked up with memchr and kept until passed.
    auto find = [s, n](char c, std::size_t from) {
        const void* hit = from < n ? std::memchr(s + from, c, n - from) : nullptr;
        return hit != nullptr ? static_cast<std::size_t>(static_cast<const char*>(hit) - s) : n;
    };
    std::size_t nextCr = find('\r', 0);
    std::size_t nextLf = find('\n', 0);
    std::size_t i = 0;
    for (;;) {
        const std::size_t end = std::min(nextCr, nextLf);
        if (m_lineBytes + (end - i) > m_maxLineBytes) {
            m_longLine = m_line;
            return i + (m_maxLineBytes - m_lineBytes);
        }
        m_lineBytes += end - i;
        if (end == n) {
            if (n > i) {
                m_lastCr = false;
            }
            return n;
        }
        if (end > i) {
            m_lastCr = false;
        }
        if (s[end] == '\r') {
            ++m_line;
            m_lastCr = true;
            nextCr = find('\r', end + 1);
        } else {
            if (!m_lastCr) {
                ++m_line; // the LF of a CR LF ends no second line
            }
            m_lastCr = false;
            nextLf = find('\n', end + 1);
        }
        m_lineBytes = 0;
        i = end + 1;
    }
}

std::size_t ImportBlocks::Measure16(std::string_view bytes, bool bigEndian) {
    const auto* const b = reinterpret_cast<const unsigned char*>(bytes.data());
    std::size_t i = 0;
    for (; i + 1 < bytes.size(); i += 2) {
        const unsigned unit = bigEndian ? (unsigned{b[i]} << 8) | b[i + 1] : (unsigned{b[i + 1]} << 8) | b[i];
        if (unit == '\r') {
            ++m_line;
            m_lastCr = true;
            m_lineBytes = 0;
        } else if (unit == '\n') {
            if (!m_lastCr) {
                ++m_line;
            }
            m_lastCr = false;
            m_lineBytes = 0;
        } else {
            m_lastCr = false;
            m_lineBytes += 2;
            if (m_lineBytes > m_maxLineBytes) {
                m_longLine = m_line;
                return i;
            }
        }
    }
    if (i < bytes.size() && ++m_lineBytes > m_maxLineBytes) {
        m_longLine = m_line;
        return i;
    }
    return bytes.size();
}

} // namespace quillon
