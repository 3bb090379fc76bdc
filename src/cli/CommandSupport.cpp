#include "CommandSupport.h"

#include "devicedb/DatabaseLocation.h"
#include "imei/ReportingBody.h"
#include "system/Files.h"
#include "utf8/Utf8.h"

#include <algorithm>

namespace quillon::cli {

std::string Prefix(std::string_view command) {
    std::string prefix = "quillon-cli";
    if (!command.empty()) {
        prefix += ' ';
        prefix += command;
    }
    return prefix + ": ";
}

namespace {

void AppendEscaped(std::string& out, unsigned char byte) {
    switch (byte) {
    case '\n':
        out += "\\n";
        break;
    case '\r':
        out += "\\r";
        break;
    case '\t':
        out += "\\t";
        break;
    default:
        constexpr char kHex[] = "0123456789abcdef";
        out += {'\\', 'x', kHex[byte >> 4], kHex[byte & 0xF]};
    }
}

// The characters that reorder the text around them or break its line without being control
// characters: the bidirectional marks, embeddings, overrides and isolates, and the line and
// paragraph separators. Each is three bytes in UTF-8, E2 80 or E2 81 and one more.
bool ReordersOrBreaksTheLine(char32_t c) {
    return c == 0x200E || c == 0x200F || (c >= 0x2028 && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}

char32_t ThreeByteCharacter(std::string_view text, std::size_t pos) {
    auto byte = [&](std::size_t i) { return static_cast<char32_t>(static_cast<unsigned char>(text[pos + i])); };
    return ((byte(0) & 0x0F) << 12) | ((byte(1) & 0x3F) << 6) | (byte(2) & 0x3F);
}

} // namespace

std::string EscapeForMessage(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t pos = 0; pos < text.size();) {
        const auto byte = static_cast<unsigned char>(text[pos]);
        // A character's whole sequence, or one byte that starts none.
        const std::size_t sequence = byte < 0x80 ? 1 : Utf8SequenceLength(text, pos);
        const std::size_t length = std::max<std::size_t>(sequence, 1);
        const bool c1 = byte == 0xC2 && sequence == 2 && static_cast<unsigned char>(text[pos + 1]) < 0xA0;
        if ((byte < 0x20 || byte == 0x7F) || sequence == 0 || c1) {
            for (std::size_t i = 0; i < length; ++i) {
                AppendEscaped(out, static_cast<unsigned char>(text[pos + i]));
            }
        } else if (const char32_t c = byte == 0xE2 && sequence == 3 ? ThreeByteCharacter(text, pos) : 0;
                   ReordersOrBreaksTheLine(c)) {
            constexpr char kHex[] = "0123456789ABCDEF";
            out += {'\\', 'u', '{', kHex[c >> 12], kHex[(c >> 8) & 0xF], kHex[(c >> 4) & 0xF], kHex[c & 0xF], '}'};
        } else {
            out += text.substr(pos, length);
        }
        pos += length;
    }
    return out;
}

void WriteMessage(OutputSink& err, std::string_view command, std::string_view text) {
    err.Append(Prefix(command));
    err.Append(EscapeForMessage(text));
    err.Append('\n');
    err.Flush();
}

bool ReportInputProblem(OutputSink& err, std::string_view command, const LineInput& in) {
    if (in.Error() != 0) {
        WriteMessage(err, command, "cannot read standard input: " + SystemErrorText(in.Error()));
    } else if (in.LineTooLong()) {
        const std::size_t limit = in.MaxLineBytes();
        constexpr std::size_t kMiB = std::size_t{1} << 20;
        const std::string size =
            limit % kMiB == 0 ? std::to_string(limit / kMiB) + " MiB" : std::to_string(limit) + " bytes";
        WriteMessage(err, command,
                     "line " + std::to_string(in.LinesTaken() + 1) + " of standard input is longer than " + size +
                         ", the longest line taken; it and the lines after it were not read");
    } else {
        return false;
    }
    return true;
}

std::string QuotedPath(const std::filesystem::path& path) {
    return '"' + PathToUtf8(path) + '"';
}

std::filesystem::path DatabasePath(const std::optional<std::string>& db,
                                   const std::filesystem::path& programDirectory) {
    return db ? PathFromUtf8(*db) : DefaultDatabasePath(programDirectory);
}

std::string BoxCaptionList() {
    std::string list;
    for (const GenerationBox& box : GenerationBoxOrder()) {
        list += list.empty() ? "" : ", ";
        list += box.caption;
    }
    return list;
}

} // namespace quillon::cli
