#pragma once

// Where a run over many inputs writes and reads: an output sink in blocks and a line input read in
// blocks, each over a stream of the program's (quillon-cli's standard streams, a file the window
// opens or writes) and over a string in tests.

#include "devicedb/DeviceImport.h"
#include "utf8/Utf8.h"

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

namespace quillon {

// Output in blocks: nothing is written until a block is full or Flush is called, and the first
// failed write stops all further output and keeps its error.
class OutputSink {
public:
    virtual ~OutputSink() = default;
    OutputSink(const OutputSink&) = delete;
    OutputSink& operator=(const OutputSink&) = delete;

    // Inlined everywhere: the writers call these for every piece of every record.
    [[gnu::always_inline]] void Append(std::string_view text) {
        if (text.empty()) {
            return; // an empty view may have no data pointer at all
        }
        if (text.size() > m_size - m_used) {
            AppendLarge(text);
            return;
        }
        std::memcpy(m_buffer.get() + m_used, text.data(), text.size());
        m_used += text.size();
    }
    [[gnu::always_inline]] void Append(char c) {
        if (m_used == m_size) {
            Flush();
        }
        m_buffer[m_used++] = c;
    }
    void Flush();
    bool Failed() const { return m_error != 0; }
    int Error() const { return m_error; } // the errno value of the failed write; 0 while none failed

    static constexpr std::size_t kBlock = std::size_t{1} << 20;

protected:
    explicit OutputSink(std::size_t blockSize = kBlock);
    // Writes all of `bytes`, or returns the errno value that stopped it.
    virtual int Write(std::string_view bytes) = 0;

private:
    void AppendLarge(std::string_view text);
    void WriteUnlessFailed(std::string_view bytes);

    std::unique_ptr<char[]> m_buffer;
    std::size_t m_size;
    std::size_t m_used = 0;
    int m_error = 0;
};

// Collects the output, for tests; in small blocks, so that a test passes many block ends.
class StringOutput final : public OutputSink {
public:
    StringOutput() : OutputSink(4096) {}
    // Everything appended so far.
    const std::string& Text() {
        Flush();
        return m_text;
    }

private:
    int Write(std::string_view bytes) override;
    std::string m_text;
};

// Lines of input, read in large blocks. A line is handed out as a view into the block, so only a
// line longer than the block costs a buffer of its own size, and no line may be longer than a
// limit: memory stays bounded whatever arrives. Each read is searched for a line end once, so a
// long line costs time in proportion to its length however small the pieces it arrives in.
// Read as text (ReadAsText), UTF-16 is split at its line ends and each line handed out in UTF-8.
class LineInput {
public:
    // The longest line taken, line end not counted.
    static constexpr std::size_t kMaxLineBytes = quillon::kMaxLineBytes;

    virtual ~LineInput() = default;
    LineInput(const LineInput&) = delete;
    LineInput& operator=(const LineInput&) = delete;

    // Before anything is read: the input is text as validate and complete take it. Its start, up
    // to kEncodingHeadBytes, decides as DecideEncoding does whether it is UTF-16 (read only until
    // the bytes already rule UTF-16 out, so that a terminal's lines are answered at once); UTF-16
    // lines are handed out in UTF-8, and a byte-order mark, UTF-16 or UTF-8, is dropped. The limit
    // counts a line's bytes as read, before any conversion. Without it the lines are bytes.
    void ReadAsText();
    // The next line without its LF; false at the end of the input, on a read error or at a line
    // longer than the limit.
    bool Next(std::string_view& line);
    // The errno value of a failed read; 0 while none failed.
    int Error() const { return m_error; }
    // Whether reading stopped at a line longer than the limit, and which line that was (from 1).
    bool LineTooLong() const { return m_lineTooLong; }
    std::size_t LinesTaken() const { return m_lines; }
    std::size_t MaxLineBytes() const { return m_maxLine; }
    // The start of the next line as far as it is already read (at most `count` bytes); nothing is
    // read for it, so the line last handed out stays valid. Nothing for UTF-16, not yet converted.
    std::string_view Peek(std::size_t count) const {
        return std::string_view(m_buffer.get() + m_begin, m_unit == 1 ? std::min(count, m_end - m_begin) : 0);
    }
    // The input's bytes as they arrive, for a reader of its own (import): what is already read
    // first, then straight from the input. Not to be mixed with Next. 0 at the end or on an error.
    std::size_t ReadBytes(char* into, std::size_t size);
    // Whether there is an input at all: a closed standard input would read as empty, or as
    // whatever file the next open takes its place with.
    virtual bool IsOpen() const { return true; }
    // The bytes read from the input so far; any thread may ask, while another reads.
    std::uint64_t BytesRead() const { return m_bytesRead.load(std::memory_order_relaxed); }

protected:
    explicit LineInput(std::size_t blockSize = OutputSink::kBlock, std::size_t maxLine = kMaxLineBytes)
        : m_buffer(new char[blockSize]),
          m_size(blockSize),
          m_maxLine(maxLine) {}
    // Reads at most `size` bytes into `into`: how many, 0 at the end; `error` set on failure.
    virtual std::size_t Read(char* into, std::size_t size, int& error) = 0;

private:
    // Reads more, keeping the unfinished line; the buffer grows to at most `capacity` bytes.
    void Fill(std::size_t capacity);
    void DecideEncoding();
    // The offset of the LF (its first byte) that ends the line from m_begin, or npos when none is
    // read yet.
    std::size_t FindLineEnd();
    // Hands out the line from m_begin to `end`.
    std::string_view Take(std::size_t end);

    std::unique_ptr<char[]> m_buffer;
    std::size_t m_size;
    std::size_t m_maxLine;
    std::size_t m_begin = 0;
    std::size_t m_end = 0;
    // How much of the unfinished line from m_begin is already known to hold no LF.
    std::size_t m_searched = 0;
    std::size_t m_lines = 0;
    bool m_atEnd = false;
    bool m_lineTooLong = false;
    int m_error = 0;
    bool m_text = false;      // ReadAsText
    bool m_undecided = false; // the encoding is decided before the first line
    std::size_t m_unit = 1;   // bytes in a code unit: 2 for UTF-16
    bool m_bigEndian = false;
    std::string m_converted; // the last UTF-16 line handed out, in UTF-8
    std::atomic<std::uint64_t> m_bytesRead{0};
};

// A string, for tests, read in small blocks (`piece` bytes at most a read, as a pipe hands out)
// so that long lines take the paths they take on a stream.
class StringInput final : public LineInput {
public:
    explicit StringInput(std::string text = {}, std::size_t maxLine = kMaxLineBytes, std::size_t piece = 64)
        : LineInput(64, maxLine),
          m_text(std::move(text)),
          m_piece(piece) {}

private:
    std::size_t Read(char* into, std::size_t size, int& error) override;
    std::string m_text;
    std::size_t m_piece;
    std::size_t m_at = 0;
};

// An input's bytes as they arrive, for a reader that decodes them itself (import, a table's
// columns): a stream, whose encoding its first bytes decide, whether it is a file or a pipe.
class LineInputBytes final : public ByteSource {
public:
    explicit LineInputBytes(LineInput& in) : m_in(in) {}
    std::size_t Read(char* into, std::size_t size) override { return m_in.ReadBytes(into, size); }
    bool Rewind() override { return false; }
    int Error() const override { return m_in.Error(); }

private:
    LineInput& m_in;
};

// A file, read in large blocks.
class FileInput final : public LineInput {
public:
    // Nothing, with `error` set to the errno value, when the file does not open.
    static std::unique_ptr<FileInput> Open(const std::filesystem::path& path, int& error);
    ~FileInput() override;
    // The file's size when it was opened (0 for a pipe or device).
    std::uint64_t Size() const { return m_size; }

private:
    FileInput(std::FILE* file, std::uint64_t size) : m_file(file), m_size(size) {}
    std::size_t Read(char* into, std::size_t size, int& error) override;
    std::FILE* m_file;
    std::uint64_t m_size;
};

// Text held in memory (lines pasted into the window), read in large blocks.
class TextInput final : public LineInput {
public:
    explicit TextInput(std::string text) : m_text(std::move(text)) {}
    std::uint64_t Size() const { return m_text.size(); }

private:
    std::size_t Read(char* into, std::size_t size, int& error) override;
    std::string m_text;
    std::size_t m_at = 0;
};

} // namespace quillon
