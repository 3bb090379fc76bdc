#include "Commands.h"
#include "system/Files.h"
#include "validation/Validation.h"

#include <nlohmann/json.hpp>

#include <istream>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace quillon::cli {
namespace {

enum class Format { Text, Csv, Json };

// Captions of the checked boxes in the order the window shows them, PTCRB first.
std::vector<std::string> CheckedBoxCaptions(const BoxStates& boxes) {
    std::vector<std::string> captions;
    for (const GenerationBox& box : GenerationBoxOrder()) {
        if (boxes[static_cast<std::size_t>(box.boxNumber - 1)]) {
            captions.emplace_back(box.caption);
        }
    }
    return captions;
}

std::string Join(const std::vector<std::string>& parts, std::string_view separator) {
    std::string out;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        out += (i == 0 ? "" : std::string(separator)) + parts[i];
    }
    return out;
}

// "Check: 4902..." -> "4902...": the label text after its caption.
std::string AfterCaption(const std::string& caption) {
    const std::size_t colon = caption.find(": ");
    return colon == std::string::npos ? caption : caption.substr(colon + 2);
}

void PrintText(std::ostream& out, std::string_view input, const ValidationResult& r, bool first) {
    if (!first) {
        out << '\n';
    }
    out << "Input: " << input << '\n' << "IMEI: " << r.normalised << '\n';
    if (r.rejected) {
        out << kInvalidImeiMessage << '\n';
        return;
    }
    out << "Result: " << r.verdictCaption << '\n'
        << "Full IMEI Presentation: " << r.presentation << '\n'
        << "Reporting Body Identifier: " << r.reportingBody << '\n'
        << "Boxes: " << Join(CheckedBoxCaptions(r.boxes), ", ") << '\n'
        << "Type Allocation Code: " << r.tac << '\n'
        << "Serial Number: " << r.serial << '\n';
    if (r.deviceLinesShown) {
        out << r.manufacturerCaption << '\n' << r.modelCaption << '\n';
    }
    out << r.luhnCaptions.check << '\n' << r.luhnCaptions.checkSum << '\n' << r.luhnCaptions.luhn << '\n';
}

nlohmann::ordered_json ToJson(std::string_view input, const ValidationResult& r) {
    nlohmann::ordered_json j;
    j["input"] = std::string(input);
    j["imei"] = r.normalised;
    j["rejected"] = r.rejected;
    if (r.rejected) {
        j["valid"] = false;
        return j;
    }
    j["presentation"] = r.presentation;
    j["reporting_body"] = r.reportingBody;
    j["boxes"] = CheckedBoxCaptions(r.boxes);
    j["tac"] = r.tac;
    j["serial"] = r.serial;
    j["check"] = AfterCaption(r.luhnCaptions.check);
    j["checksum"] = AfterCaption(r.luhnCaptions.checkSum);
    j["luhn"] = r.luhn.checkDigit;
    j["valid"] = r.valid;
    j["found"] = r.found;
    j["manufacturer"] = r.found ? r.manufacturer : std::string();
    j["model"] = r.found ? r.model : std::string();
    return j;
}

std::string CsvField(std::string_view value) {
    if (value.find_first_of(",\"\r\n") == std::string_view::npos) {
        return std::string(value);
    }
    std::string quoted = "\"";
    for (char c : value) {
        quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    }
    return quoted + "\"";
}

constexpr std::string_view kCsvHeader = "input,imei,rejected,presentation,reporting_body,boxes,tac,serial,check,"
                                        "checksum,luhn,valid,found,manufacturer,model";

void PrintCsv(std::ostream& out, std::string_view input, const ValidationResult& r) {
    auto flag = [](bool b) { return b ? "true" : "false"; };
    std::vector<std::string> fields{CsvField(input), CsvField(r.normalised), flag(r.rejected)};
    if (r.rejected) {
        fields.insert(fields.end(), {"", "", "", "", "", "", "", "", "false", "", "", ""});
    } else {
        fields.insert(fields.end(),
                      {CsvField(r.presentation), CsvField(r.reportingBody),
                       CsvField(Join(CheckedBoxCaptions(r.boxes), "|")), CsvField(r.tac), CsvField(r.serial),
                       CsvField(AfterCaption(r.luhnCaptions.check)), CsvField(AfterCaption(r.luhnCaptions.checkSum)),
                       std::to_string(r.luhn.checkDigit), flag(r.valid), flag(r.found),
                       CsvField(r.found ? r.manufacturer : ""), CsvField(r.found ? r.model : "")});
    }
    out << Join(fields, ",") << "\r\n";
}

} // namespace

int RunValidateCommand(const CommandContext& context) {
    std::filesystem::path database = context.programDirectory / "tacdex.csv";
    Format format = Format::Text;
    std::vector<std::string> inputs;
    bool optionsEnded = false;
    const auto& args = context.args;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (!optionsEnded && arg == "--") {
            optionsEnded = true;
        } else if (!optionsEnded && (arg == "--db" || arg == "--format")) {
            if (i + 1 >= args.size()) {
                context.err << "quillon-cli validate: " << arg << " needs a value\n";
                return kExitUsage;
            }
            const std::string& value = args[++i];
            if (arg == "--db") {
                database = PathFromUtf8(value);
            } else if (value == "text") {
                format = Format::Text;
            } else if (value == "csv") {
                format = Format::Csv;
            } else if (value == "json") {
                format = Format::Json;
            } else {
                context.err << "quillon-cli validate: unknown format '" << value << "' (text, csv or json)\n";
                return kExitUsage;
            }
        } else if (!optionsEnded && arg.starts_with("--")) {
            context.err << "quillon-cli validate: unknown option '" << arg << "'\n";
            return kExitUsage;
        } else {
            inputs.push_back(arg);
        }
    }

    DeviceDatabase db(database);
    const DatabaseReadResult loaded = db.Load();
    if (!loaded.ok()) {
        context.err << "quillon-cli: "
                    << (loaded.error == DatabaseError::Missing
                            ? "the device database " + PathToUtf8(database) + " does not exist."
                            : loaded.message)
                    << '\n';
        return kExitUsage;
    }

    bool allValid = true;
    bool first = true;
    auto validateOne = [&](const std::string& input) {
        const ValidationResult r = RunValidation(input, db.Table(), BoxStates{});
        allValid = allValid && r.valid && !r.rejected;
        switch (format) {
        case Format::Text:
            PrintText(context.out, input, r, first);
            break;
        case Format::Csv:
            PrintCsv(context.out, input, r);
            break;
        case Format::Json:
            context.out << ToJson(input, r).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) << '\n';
            break;
        }
        first = false;
    };

    if (format == Format::Csv) {
        context.out << kCsvHeader << "\r\n";
    }
    if (!inputs.empty()) {
        for (const std::string& input : inputs) {
            validateOne(input);
        }
    } else {
        std::string line;
        while (std::getline(context.in, line)) {
            if (!line.empty() && line.back() == '\r') {
                line.pop_back();
            }
            validateOne(line);
        }
    }
    context.out.flush();
    return allValid ? kExitOk : kExitInvalid;
}

} // namespace quillon::cli
