#include "Commands.h"
#include "present/ProblemText.h"
#include "system/Console.h"
#include "system/Files.h"
#include "validation/Validation.h"

#include <nlohmann/json.hpp>

#include "imei/Utf8.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <iterator>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace quillon::cli {
namespace {

// Standard output in large blocks: nothing is written until a block is full or the run ends, and
// the first failed write stops all further output and keeps its error.
class BlockOutput {
public:
    explicit BlockOutput(int fd) : m_fd(fd), m_buffer(new char[kBlock]) {}

    void Append(std::string_view text) {
        if (text.empty()) {
            return; // an empty view may have no data pointer at all
        }
        if (text.size() > kBlock - m_used) {
            Flush();
            if (text.size() >= kBlock) {
                WriteAll(text);
                return;
            }
        }
        std::memcpy(m_buffer.get() + m_used, text.data(), text.size());
        m_used += text.size();
    }
    void Append(char c) {
        if (m_used == kBlock) {
            Flush();
        }
        m_buffer[m_used++] = c;
    }
    void Flush() {
        WriteAll(std::string_view(m_buffer.get(), m_used));
        m_used = 0;
    }
    bool Failed() const { return m_error != 0; }
    int Error() const { return m_error; }

private:
    static constexpr std::size_t kBlock = std::size_t{1} << 20;

    void WriteAll(std::string_view text) {
        while (!text.empty() && m_error == 0) {
            const ssize_t written = ::write(m_fd, text.data(), text.size());
            if (written < 0) {
                if (errno != EINTR) {
                    m_error = errno;
                }
                continue;
            }
            text.remove_prefix(static_cast<std::size_t>(written));
        }
    }

    int m_fd;
    std::unique_ptr<char[]> m_buffer;
    std::size_t m_used = 0;
    int m_error = 0;
};

// Lines of standard input, read in large blocks. A line is handed out as a view into the block, so
// only a line longer than the block costs a buffer of its own size.
class BlockLineReader {
public:
    explicit BlockLineReader(int fd) : m_fd(fd), m_buffer(kBlock, '\0') {}

    // The next line without its LF; false at the end of the input or on a read error.
    bool Next(std::string_view& line) {
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
    int Error() const { return m_error; }
    // The start of the next line as far as it is already read (at most `count` bytes); nothing is
    // read for it, so the line last handed out stays valid.
    std::string_view Peek(std::size_t count) const {
        return std::string_view(m_buffer.data() + m_begin, std::min(count, m_end - m_begin));
    }

private:
    static constexpr std::size_t kBlock = std::size_t{1} << 20;

    void Fill() {
        // Keep the unfinished line at the front; grow only when it fills the whole buffer.
        if (m_begin > 0) {
            std::memmove(m_buffer.data(), m_buffer.data() + m_begin, m_end - m_begin);
            m_end -= m_begin;
            m_begin = 0;
        }
        if (m_end == m_buffer.size()) {
            m_buffer.resize(m_buffer.size() * 2);
        }
        for (;;) {
            const ssize_t got = ::read(m_fd, m_buffer.data() + m_end, m_buffer.size() - m_end);
            if (got > 0) {
                m_end += static_cast<std::size_t>(got);
                return;
            }
            if (got < 0 && errno == EINTR) {
                continue;
            }
            if (got < 0) {
                m_error = errno;
            }
            m_atEnd = true;
            return;
        }
    }

    int m_fd;
    std::string m_buffer;
    std::size_t m_begin = 0;
    std::size_t m_end = 0;
    bool m_atEnd = false;
    int m_error = 0;
};

// Captions of the checked boxes in the order the window shows them, PTCRB first, each preceded by
// `separator` but the first.
void AppendCheckedBoxes(BlockOutput& out, const BoxStates& boxes, std::string_view separator,
                        std::string_view open = {}, std::string_view close = {}) {
    bool first = true;
    for (const GenerationBox& box : GenerationBoxOrder()) {
        if (boxes[static_cast<std::size_t>(box.boxNumber - 1)]) {
            if (!first) {
                out.Append(separator);
            }
            out.Append(open);
            out.Append(box.caption);
            out.Append(close);
            first = false;
        }
    }
}

std::string_view Flag(bool b) {
    return b ? "true" : "false";
}

void AppendNumber(BlockOutput& out, int value) {
    char digits[16];
    const auto [end, error] = std::to_chars(std::begin(digits), std::end(digits), value);
    out.Append(std::string_view(digits, static_cast<std::size_t>(end - digits)));
}

// The Luhn working as the CSV and JSON columns give it: the transformed digits, and the sum with
// the total in parentheses, "52(60)".
void AppendLuhnDigits(BlockOutput& out, const LuhnWorking& luhn) {
    for (std::size_t i = 0; i < luhn.digits.count; ++i) {
        out.Append(static_cast<char>('0' + luhn.digits.digits[i]));
    }
}

void AppendLuhnSum(BlockOutput& out, const LuhnWorking& luhn) {
    AppendNumber(out, luhn.sum);
    out.Append('(');
    AppendNumber(out, luhn.total);
    out.Append(')');
}

void AppendText(BlockOutput& out, std::string_view input, const ValidationResult& r, bool first) {
    if (!first) {
        out.Append('\n');
    }
    if (input != r.normalised) {
        out.Append("Input: ");
        out.Append(input);
        out.Append('\n');
    }
    if (r.rejected) {
        if (r.normalised.empty()) {
            out.Append("Result: not an IMEI (nothing left to check once blanks and separators are dropped)\n");
            return;
        }
        out.Append("IMEI: ");
        out.Append(r.normalised);
        out.Append("\nResult: not an IMEI (");
        AppendNumber(out, static_cast<int>(std::min<std::size_t>(Utf8Length(r.normalised), 1'000'000'000)));
        out.Append(" characters; an IMEI has 15 digits)\n");
        return;
    }
    out.Append("IMEI: ");
    out.Append(r.normalised);
    out.Append(" (");
    out.Append(r.presentation);
    out.Append(")\nResult: ");
    if (r.valid) {
        out.Append(IsCompleteIMEI(r.normalised) ? "valid" : "valid Luhn total, but an IMEI has 15 digits 0-9");
    } else if (const std::optional<int> check = LuhnCheckDigit(r.normalised); IsCompleteIMEI(r.normalised)) {
        if (check) {
            out.Append("not valid (the check digit should be ");
            out.Append(static_cast<char>('0' + *check));
            out.Append(")");
        } else {
            out.Append("not valid (no check digit can make it valid)");
        }
    } else {
        out.Append("not valid (an IMEI has 15 digits 0-9)");
    }
    out.Append("\nReporting body: ");
    out.Append(r.reportingBodyText.empty() ? std::string_view("unknown") : std::string_view(r.reportingBodyText));
    out.Append("\nType Allocation Code: ");
    out.Append(r.tac);
    out.Append("\nSerial number: ");
    out.Append(r.serial);
    out.Append("\nDevice: ");
    if (r.device.found) {
        out.Append(r.device.manufacturer);
        if (!r.device.model.empty()) {
            out.Append(' ');
            out.Append(r.device.model);
        }
    } else {
        out.Append("not in the database");
    }
    out.Append("\nLuhn check: digit sum ");
    AppendNumber(out, r.luhn.sum);
    out.Append(" + check digit ");
    AppendNumber(out, r.luhn.checkDigit);
    out.Append(" = ");
    AppendNumber(out, r.luhn.total);
    out.Append(IsValidLuhnTotal(r.luhn.total) ? ", a multiple of 10\n" : ", not a multiple of 10\n");
}

// RFC 4180: quoted, with doubled quotes, only when the value holds a comma, quote or line end.
void AppendCsvField(BlockOutput& out, std::string_view value) {
    const bool plain =
        std::none_of(value.begin(), value.end(), [](char c) { return c == ',' || c == '"' || c == '\r' || c == '\n'; });
    if (plain) {
        out.Append(value);
        return;
    }
    out.Append('"');
    for (std::size_t quote = value.find('"'); quote != std::string_view::npos; quote = value.find('"')) {
        out.Append(value.substr(0, quote + 1));
        out.Append('"');
        value.remove_prefix(quote + 1);
    }
    out.Append(value);
    out.Append('"');
}

constexpr std::string_view kCsvHeader = "input,imei,rejected,presentation,reporting_body,boxes,tac,serial,check,"
                                        "checksum,luhn,valid,found,manufacturer,model";

void AppendCsv(BlockOutput& out, std::string_view input, const ValidationResult& r) {
    // Fifteen digits, the usual input, need no quoting; nor does anything cut from them.
    const bool digits = IsCompleteIMEI(r.normalised);
    auto field = [&](std::string_view value) {
        if (digits) {
            out.Append(value);
        } else {
            AppendCsvField(out, value);
        }
    };
    if (input == r.normalised) {
        field(input);
    } else {
        AppendCsvField(out, input);
    }
    out.Append(',');
    field(r.normalised);
    out.Append(',');
    out.Append(Flag(r.rejected));
    if (r.rejected) {
        out.Append(",,,,,,,,,false,,,\r\n");
        return;
    }
    out.Append(',');
    field(r.presentation);
    out.Append(',');
    AppendCsvField(out, r.reportingBodyText);
    out.Append(',');
    // Box captions hold no comma, quote or line end, so the joined list needs no quoting.
    AppendCheckedBoxes(out, r.boxes, "|");
    for (std::string_view value : {std::string_view(r.tac), std::string_view(r.serial)}) {
        out.Append(',');
        field(value);
    }
    // The Luhn working is digits and parentheses.
    out.Append(',');
    AppendLuhnDigits(out, r.luhn);
    out.Append(',');
    AppendLuhnSum(out, r.luhn);
    out.Append(',');
    AppendNumber(out, r.luhn.checkDigit);
    out.Append(',');
    out.Append(Flag(r.valid));
    out.Append(',');
    out.Append(Flag(r.device.found));
    out.Append(',');
    AppendCsvField(out, r.device.found ? std::string_view(r.device.manufacturer) : std::string_view());
    out.Append(',');
    AppendCsvField(out, r.device.found ? std::string_view(r.device.model) : std::string_view());
    out.Append("\r\n");
}

// A JSON string as the JSON library writes it (UTF-8 kept, control characters escaped). Text that
// is not well-formed UTF-8 goes through the library, which replaces the bad bytes.
void AppendJsonString(BlockOutput& out, std::string_view value) {
    if (!IsValidUtf8(value)) {
        // In pieces, so that a long line is never copied whole. A piece ends before a byte that
        // starts a character (ASCII or a lead byte): there the library's decoder starts afresh
        // whether or not a piece ends, so the pieces come out exactly as the whole would.
        constexpr std::size_t kPiece = std::size_t{64} << 10;
        out.Append('"');
        while (!value.empty()) {
            std::size_t end = std::min(value.size(), kPiece);
            while (end < value.size() && (static_cast<unsigned char>(value[end]) & 0xC0) == 0x80) {
                ++end;
            }
            const std::string piece = nlohmann::json(std::string(value.substr(0, end)))
                                          .dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
            out.Append(std::string_view(piece).substr(1, piece.size() - 2));
            value.remove_prefix(end);
        }
        out.Append('"');
        return;
    }
    out.Append('"');
    std::size_t plain = 0;
    for (std::size_t i = 0; i < value.size(); ++i) {
        const auto c = static_cast<unsigned char>(value[i]);
        if (c >= 0x20 && c != '"' && c != '\\') {
            continue;
        }
        out.Append(value.substr(plain, i - plain));
        plain = i + 1;
        switch (c) {
        case '"':
            out.Append("\\\"");
            break;
        case '\\':
            out.Append("\\\\");
            break;
        case '\b':
            out.Append("\\b");
            break;
        case '\f':
            out.Append("\\f");
            break;
        case '\n':
            out.Append("\\n");
            break;
        case '\r':
            out.Append("\\r");
            break;
        case '\t':
            out.Append("\\t");
            break;
        default: {
            constexpr char kHex[] = "0123456789abcdef";
            const char escaped[] = {'\\', 'u', '0', '0', kHex[c >> 4], kHex[c & 0xF]};
            out.Append(std::string_view(escaped, sizeof escaped));
        }
        }
    }
    out.Append(value.substr(plain));
    out.Append('"');
}

void AppendJson(BlockOutput& out, std::string_view input, const ValidationResult& r) {
    out.Append("{\"input\":");
    AppendJsonString(out, input);
    out.Append(",\"imei\":");
    AppendJsonString(out, r.normalised);
    out.Append(",\"rejected\":");
    out.Append(Flag(r.rejected));
    if (r.rejected) {
        out.Append(",\"valid\":false}\n");
        return;
    }
    out.Append(",\"presentation\":");
    AppendJsonString(out, r.presentation);
    out.Append(",\"reporting_body\":");
    AppendJsonString(out, r.reportingBodyText);
    out.Append(",\"boxes\":[");
    AppendCheckedBoxes(out, r.boxes, ",", "\"", "\"");
    out.Append("],\"tac\":");
    AppendJsonString(out, r.tac);
    out.Append(",\"serial\":");
    AppendJsonString(out, r.serial);
    out.Append(",\"check\":\"");
    AppendLuhnDigits(out, r.luhn);
    out.Append("\",\"checksum\":\"");
    AppendLuhnSum(out, r.luhn);
    out.Append("\",\"luhn\":");
    AppendNumber(out, r.luhn.checkDigit);
    out.Append(",\"valid\":");
    out.Append(Flag(r.valid));
    out.Append(",\"found\":");
    out.Append(Flag(r.device.found));
    out.Append(",\"manufacturer\":");
    AppendJsonString(out, r.device.found ? std::string_view(r.device.manufacturer) : std::string_view());
    out.Append(",\"model\":");
    AppendJsonString(out, r.device.found ? std::string_view(r.device.model) : std::string_view());
    out.Append("}\n");
}

// Validates the inputs onto standard output, where "-" (or no input at all) stands for each line
// of standard input. Exit status 0 when every input was valid, 1 when any was not, 2 when the
// input could not be read or the output not written (with the reason on `err`).
int ValidateInputs(const std::vector<std::string>& inputs, const DeviceTable& table, Format format, std::ostream& err) {
    const std::string prefix = Prefix("validate");
    const bool readsStandardInput = inputs.empty() || std::find(inputs.begin(), inputs.end(), "-") != inputs.end();
    // A closed standard input would otherwise read as empty, or as whatever file took its place.
    if (readsStandardInput && !StandardInputIsOpen()) {
        err << prefix << "cannot read standard input: it is closed\n";
        return kExitUsage;
    }
    BlockOutput out(STDOUT_FILENO);
    ValidationResult result;
    bool allValid = true;
    bool first = true;
    auto validateOne = [&](std::string_view input) {
        RunValidationInto(input, table, BoxStates{}, result);
        allValid = allValid && result.valid && !result.rejected;
        switch (format) {
        case Format::Text:
            AppendText(out, input, result, first);
            break;
        case Format::Csv:
            AppendCsv(out, input, result);
            break;
        case Format::Json:
            AppendJson(out, input, result);
            break;
        }
        first = false;
    };

    if (format == Format::Csv) {
        out.Append(kCsvHeader);
        out.Append("\r\n");
    }
    int readError = 0;
    auto validateStandardInput = [&] {
        BlockLineReader reader(STDIN_FILENO);
        std::string_view line;
        while (!out.Failed() && reader.Next(line)) {
            if (!line.empty() && line.back() == '\r') {
                line.remove_suffix(1);
            }
            // With a large database the lookup waits on memory: the next line's code (when it is
            // plain digits) starts on its way while this line is worked on.
            table.PrefetchKey(reader.Peek(8));
            validateOne(line);
        }
        readError = reader.Error();
    };
    if (inputs.empty()) {
        validateStandardInput();
    }
    bool standardInputRead = false;
    for (const std::string& input : inputs) {
        if (out.Failed() || readError != 0) {
            break;
        }
        if (input != "-") {
            validateOne(input);
        } else if (!standardInputRead) { // a second "-" finds it at its end
            validateStandardInput();
            standardInputRead = true;
        }
    }
    out.Flush();
    if (out.Failed()) {
        err << prefix << "cannot write to standard output: " << SystemErrorText(out.Error()) << '\n';
        return kExitUsage;
    }
    if (readError != 0) {
        err << prefix << "cannot read standard input: " << SystemErrorText(readError) << '\n';
        return kExitUsage;
    }
    return allValid ? kExitOk : kExitInvalid;
}

} // namespace

std::string DatabaseLoadProblemText(const Problem& problem) {
    if (problem.kind == ProblemKind::DatabaseMissing) {
        return "the device database " + PathToUtf8(problem.path) + " does not exist.";
    }
    return quillon::DatabaseProblemText(problem);
}

int RunValidateCommand(const ValidateOptions& options, const CommandContext& context) {
    const std::filesystem::path database =
        options.db ? PathFromUtf8(*options.db) : context.programDirectory / "tacdex.csv";
    DeviceDatabase db(database);
    if (const std::optional<Problem> problem = db.Load()) {
        context.err << Prefix("validate") << DatabaseLoadProblemText(*problem) << '\n';
        return kExitUsage;
    }
    return ValidateInputs(options.inputs, db.Table(), options.format, context.err);
}

} // namespace quillon::cli
