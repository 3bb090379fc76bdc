#pragma once

// An export's bytes as UTF-8 text, a piece at a time: its encoding decided, a file checked whole
// for it before its text is handed out, a stream decided on its first 64 KiB. Every line is
// measured in the bytes as read, before any conversion, against the line limit.

#include "devicedb/DeviceImport.h"
#include "utf8/Utf8.h"

#include <cstddef>
#include <string>

namespace quillon {

class ImportBlocks {
public:
    ImportBlocks(ByteSource& source, std::size_t maxLineBytes);

    // Decides the encoding; false when the source could not be read (its Error() says why).
    bool Start();
    TextEncoding Encoding() const { return m_decision.encoding; }
    // A stream's sequences after its first 64 KiB that were not UTF-8 (each now U+FFFD).
    std::size_t Replaced() const { return m_replaced; }

    // The next piece of text, never empty; false at the end, when a read failed (the source's
    // Error() then says why) or past the limit of a line longer than it (LongLine() then names it).
    bool Next(std::string& text);
    // The line, from 1, that was longer than the limit; 0 while none was.
    std::size_t LongLine() const { return m_longLine; }

private:
    // One read of the source into `raw`; false at the end or when it failed.
    bool Fill(std::string& raw);
    // Counts the lines of bytes about to be converted: how many of them are within the limit. The
    // text is handed out up to the first byte past it, whatever the reads, so that what the
    // reading found before it does not depend on how the reads cut the bytes.
    std::size_t Measure(std::string_view bytes);
    std::size_t Measure16(std::string_view bytes, bool bigEndian);

    ByteSource& m_source;
    std::size_t m_maxLineBytes;
    EncodingDecision m_decision;
    std::string m_head; // a stream's first bytes, read to decide its encoding
    std::string m_raw;
    std::string m_carry; // the bytes of a character that the last read cut off
    std::string m_joined;
    std::size_t m_markLeft = 0;
    bool m_stream = false;
    bool m_atEnd = false;
    bool m_failed = false;
    std::size_t m_replaced = 0;
    // The line being measured: its number and its bytes so far; whether the last byte was CR.
    std::size_t m_line = 1;
    std::size_t m_lineBytes = 0;
    bool m_lastCr = false;
    std::size_t m_longLine = 0;
};

} // namespace quillon
