#include "validation/Validation.h"

#include "imei/Utf8.h"

#include <algorithm>
#include <charconv>
#include <iterator>

namespace quillon {

namespace {

void FillLuhnCaptions(const LuhnWorking& working, LuhnCaptions& captions) {
    captions.check.assign("Check: ");
    for (std::size_t i = 0; i < working.digits.count; ++i) {
        captions.check.push_back(static_cast<char>('0' + working.digits.digits[i]));
    }
    auto number = [](std::string& text, int value) {
        char digits[16];
        const auto end = std::to_chars(std::begin(digits), std::end(digits), value).ptr;
        text.append(digits, static_cast<std::size_t>(end - digits));
    };
    captions.checkSum.assign("CheckSum: ");
    number(captions.checkSum, working.sum);
    captions.checkSum.push_back('(');
    number(captions.checkSum, working.total);
    captions.checkSum.push_back(')');
    captions.luhn.assign("Luhn: ");
    number(captions.luhn, working.checkDigit);
}

} // namespace

LuhnCaptions MakeLuhnCaptions(const LuhnWorking& working) {
    LuhnCaptions captions;
    FillLuhnCaptions(working, captions);
    return captions;
}

bool IsRejectedIMEI(std::string_view normalised) {
    // A character takes at least one byte: up to 15 bytes are up to 15 characters.
    return normalised.empty() || (normalised.size() > kImeiLength && Utf8Length(normalised) > kImeiLength);
}

void RunValidationInto(std::string_view text, const DeviceTable& table, const BoxStates& currentBoxes,
                       ValidationResult& result) {
    result.normalised = NormaliseIMEI(text);
    result.boxes = currentBoxes;
    result.found = false;
    result.deviceLinesShown = false;
    result.valid = false;
    result.databaseNotice.clear();
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
    if (row != nullptr) {
        result.reportingBody.assign(row->text);
    } else {
        result.reportingBody.assign(code).append(" (Unknown)");
    }
    result.boxes = ApplyBoxSettings(currentBoxes, row != nullptr ? row->boxes : UnknownBodyBoxes());
    result.tac.assign(mid(0, 8));
    result.serial.assign(mid(8, 6));

    const std::size_t line = table.FindLine(result.tac);
    result.found = line != 0;
    if (result.found) {
        result.manufacturer.assign(Field(table.Line(line), 2));
        result.model.assign(Field(table.Line(line), 3));
        result.deviceLinesShown = true;
        result.manufacturerCaption.assign("Manufacturer: ").append(result.manufacturer);
        result.modelCaption.assign("Model: ").append(result.model);
    } else {
        result.manufacturer.clear();
        result.model.clear();
    }

    result.luhn = ComputeLuhnWorking(imei);
    FillLuhnCaptions(result.luhn, result.luhnCaptions);

    // A complete fifteen-digit number is needed as well: a 14-digit text or one ending in a letter
    // can reach a valid total, but it is not a valid IMEI.
    result.valid = IsValidLuhnTotal(result.luhn.total) && IsCompleteIMEI(imei);
    if (result.valid) {
        result.verdictCaption.assign("VALID");
        result.verdictColour = kValidColour;
        if (!result.found) {
            result.deviceLinesShown = true;
            result.manufacturerCaption.assign(kNotFoundManufacturerCaption);
            result.modelCaption.assign(kNotFoundModelCaption);
        }
    } else {
        result.verdictCaption.assign("INVALID");
        result.verdictColour = kInvalidColour;
    }
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
    const DatabaseReadResult reread = database.Reload();
    ValidationResult result = RunValidation(text, database.Table(), currentBoxes);
    if (!reread.ok() && !database.FailureAlreadyReported()) {
        result.databaseNotice =
            reread.message + " The last good read of the database is used until it can be read again.";
    }
    return result;
}

} // namespace quillon
