#include "ValidationWriters.h"
#include "validation/ResultCsv.h"

#include "CommandSupport.h"

#include "imei/Imei.h"
#include "imei/ReportingBody.h"
#include "utf8/Utf8.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>

namespace quillon::cli {
namespace {

// Captions of the checked boxes in the order the window shows them, PTCRB first, each preceded by
// `separator` but the first.
void AppendCheckedBoxes(OutputSink& out, const BoxStates& boxes, std::string_view separator, std::string_view open = {},
                        std::string_view close = {}) {
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

// The JSON library's text for a string that is not well-formed UTF-8: its bad bytes replaced.
std::string JsonDump(std::string_view piece) {
    return nlohmann::json(std::string(piece)).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

// Text for a terminal: control characters and bytes that are not UTF-8 escaped as in messages,
// so that no input can steer the terminal.
void AppendForTerminal(OutputSink& out, std::string_view value) {
    const bool plain = std::all_of(value.begin(), value.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte >= 0x20 && byte < 0x7F;
    });
    if (plain) {
        out.Append(value);
        return;
    }
    InPieces(value, [&out](std::string_view piece) { out.Append(EscapeForMessage(piece)); });
}

void AppendNumber(OutputSink& out, int value) {
    char digits[16];
    const auto [end, error] = std::to_chars(std::begin(digits), std::end(digits), value);
    out.Append(std::string_view(digits, static_cast<std::size_t>(end - digits)));
}

// The Luhn working as the JSON keys give it: the transformed digits, and the sum with the total in
// parentheses, "52(60)".
void AppendLuhnDigits(OutputSink& out, const LuhnWorking& luhn) {
    for (std::size_t i = 0; i < luhn.digits.count; ++i) {
        out.Append(static_cast<char>('0' + luhn.digits.digits[i]));
    }
}

void AppendLuhnSum(OutputSink& out, const LuhnWorking& luhn) {
    AppendNumber(out, luhn.sum);
    out.Append('(');
    AppendNumber(out, luhn.total);
    out.Append(')');
}

void AppendText(OutputSink& out, std::string_view input, const ValidationResult& r, bool first) {
    if (!first) {
        out.Append('\n');
    }
    if (input != r.normalised) {
        out.Append("Input: ");
        AppendForTerminal(out, input);
        out.Append('\n');
    }
    if (r.rejected) {
        if (r.normalised.empty()) {
            out.Append("Result: not an IMEI (nothing left to check once blanks and separators are dropped)\n");
            return;
        }
        out.Append("IMEI: ");
        AppendForTerminal(out, r.normalised);
        out.Append("\nResult: not an IMEI (");
        AppendNumber(out, static_cast<int>(std::min<std::size_t>(Utf8Length(r.normalised), 1'000'000'000)));
        out.Append(" characters; an IMEI has 15 digits)\n");
        return;
    }
    // Fifteen digits, the usual input, and what is cut from them need no escaping.
    const bool digits = IsCompleteIMEI(r.normalised);
    auto field = [&](std::string_view value) {
        if (digits) {
            out.Append(value);
        } else {
            AppendForTerminal(out, value);
        }
    };
    out.Append("IMEI: ");
    field(r.normalised);
    out.Append(" (");
    field(r.presentation);
    out.Append(")\nResult: ");
    if (r.valid) {
        out.Append(digits ? "valid" : "valid Luhn total, but an IMEI has 15 digits 0-9");
    } else if (const std::optional<int> check = LuhnCheckDigit(r.normalised); digits) {
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
    // The program's own words, or the input's first two characters when no body has them.
    field(r.reportingBodyText.empty() ? std::string_view("unknown") : std::string_view(r.reportingBodyText));
    out.Append("\nType Allocation Code: ");
    field(r.tac);
    out.Append("\nSerial number: ");
    field(r.serial);
    out.Append("\nDevice: ");
    if (r.device.found) {
        AppendForTerminal(out, r.device.manufacturer);
        if (!r.device.model.empty()) {
            out.Append(' ');
            AppendForTerminal(out, r.device.model);
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
    out.Append(IsValidLuhnTotal(r.luhn.total) ? ", a multiple of 10\n"
               : r.luhn.total == 0            ? ", not valid: a total of 0 never is\n"
                                              : ", not a multiple of 10\n");
}

// A JSON string as the JSON library writes it (UTF-8 kept, control characters escaped). Text that
// is not well-formed UTF-8 goes through the library, which replaces the bad bytes.
void AppendJsonString(OutputSink& out, std::string_view value) {
    if (!IsValidUtf8(value)) {
        out.Append('"');
        InPieces(value, [&out](std::string_view piece) {
            const std::string dumped = JsonDump(piece);
            out.Append(std::string_view(dumped).substr(1, dumped.size() - 2));
        });
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

void AppendJson(OutputSink& out, std::string_view input, const ValidationResult& r) {
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

} // namespace

ValidationWriter::ValidationWriter(Format format, OutputSink& out) : m_format(format), m_out(out) {
    if (format == Format::Csv) {
        m_csv = std::make_unique<ValidationCsv>(out);
    }
}

bool ValidationWriter::Write(std::string_view input, const ValidationResult& result) {
    switch (m_format) {
    case Format::Text:
        AppendText(m_out, input, result, m_first);
        break;
    case Format::Csv:
        m_csv->Write(input, result);
        break;
    case Format::Json:
        AppendJson(m_out, input, result);
        break;
    }
    m_first = false;
    return result.valid && !result.rejected;
}

} // namespace quillon::cli
