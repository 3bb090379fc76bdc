#pragma once

#include "CommandIo.h"
#include "validation/ResultCsv.h"
#include "validation/Validation.h"

#include <memory>

#include <string>
#include <string_view>

namespace quillon::cli {

enum class Format { Text, Csv, Json };

// The results of validate in one of its formats, one input after another: text in words for
// reading, CSV (the window's writer, ValidationCsv), or JSON Lines. The only reader of ValidationResult
// in quillon-cli.
class ValidationWriter {
public:
    // Writes what comes before the first result: the CSV header.
    ValidationWriter(Format format, OutputSink& out);
    // Writes the result for one input; whether the input was a valid IMEI.
    bool Write(std::string_view input, const ValidationResult& result);

private:
    Format m_format;
    OutputSink& m_out;
    bool m_first = true;
    std::unique_ptr<ValidationCsv> m_csv;
};

} // namespace quillon::cli
