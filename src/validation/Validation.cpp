#include "validation/Validation.h"

#include "utf8/Utf8.h"

#include <algorithm>

namespace quillon {

bool IsRejectedIMEI(std::string_view normalised) {
    // A character takes at least one byte: up to 15 bytes are up to 15 characters.
    return normalised.empty() || (normalised.size() > kImeiLength && Utf8Length(normalised) > kImeiLength);
}

void RunValidationInto(std::string_view text, const DeviceTable& table, const BoxStates& currentBoxes,
                       ValidationResult& result) {
    result.normalised = NormaliseIMEI(text);
    result.boxes = currentBoxes;
    result.reportingBody = nullptr;
    result.device.found = false;
    result.device.lineNumber = 0;
    result.valid = false;
    result.databaseProblem.reset();
    result.rejected = IsRejectedIMEI(result.normalised);
    if (result.rejected) {
        return;
    }
    const std::string_view imei = result.normalised;

    // Each text is assigned in place, so a result filled again and again reuses its storage.
    // Characters are bytes in the usual all-ASCII text.
    const bool ascii = IsAscii(imei);
    auto mid = [&](std::size_t start, std::size_t count) {
        return ascii ? imei.substr(std::min(start, imei.size()), count) : Utf8Mid(imei, start, count);
    };
    result.presentation.clear();
    result.presentation.append(mid(0, 6)).append("-").append(mid(6, 2)).append("-");
    result.presentation.append(mid(8, 6)).append("-").append(mid(14, 1));
    const std::string_view code = mid(0, 2);
    const ReportingBodyRow* row = FindReportingBodyRow(code);
    result.reportingBody = row;
    if (row != nullptr) {
        result.reportingBodyText.assign(row->text);
    } else {
        result.reportingBodyText.assign(code).append(" (Unknown)");
    }
    result.boxes = ApplyBoxSettings(currentBoxes, row != nullptr ? row->boxes : UnknownBodyBoxes());
    result.tac.assign(mid(0, 8));
    result.serial.assign(mid(8, 6));

    DeviceMatch& device = result.device;
    device.lineNumber = table.FindLine(result.tac);
    device.found = device.lineNumber != 0;
    device.manufacturer.assign(device.found ? Field(table.Line(device.lineNumber), 2) : std::string_view());
    device.model.assign(device.found ? Field(table.Line(device.lineNumber), 3) : std::string_view());

    result.luhn = ComputeLuhnWorking(imei);
    // A complete fifteen-digit number is needed as well: a 14-digit text or one ending in a letter
    // can reach a valid total, but it is not a valid IMEI.
    result.valid = IsValidLuhnTotal(result.luhn.total) && IsCompleteIMEI(imei);
}

ValidationResult RunValidation(std::string_view text, const DeviceTable& table, const BoxStates& currentBoxes) {
    ValidationResult result;
    RunValidationInto(text, table, currentBoxes, result);
    return result;
}

ValidationResult ValidateText(std::string_view text, DeviceDatabase& database, const BoxStates& currentBoxes) {
    if (IsRejectedIMEI(NormaliseIMEI(text))) {
        return RunValidation(text, database.Table(), currentBoxes);
    }
    std::optional<Problem> reread = database.Reload();
    ValidationResult result = RunValidation(text, database.Table(), currentBoxes);
    if (reread && !database.FailureAlreadyReported()) {
        result.databaseProblem = std::move(reread);
    }
    return result;
}

} // namespace quillon
