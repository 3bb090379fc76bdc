#include "validation/Validation.h"

#include "imei/Utf8.h"

namespace quillon {

LuhnCaptions MakeLuhnCaptions(const LuhnWorking& working) {
    LuhnCaptions captions;
    captions.check = "Check: " + working.digits.Text();
    captions.checkSum = "CheckSum: " + std::to_string(working.sum) + "(" + std::to_string(working.total) + ")";
    captions.luhn = "Luhn: " + std::to_string(working.checkDigit);
    return captions;
}

bool IsRejectedIMEI(std::string_view normalised) {
    return normalised.empty() || Utf8Length(normalised) > kImeiLength;
}

ValidationResult RunValidation(std::string_view text, const DeviceTable& table, const BoxStates& currentBoxes) {
    ValidationResult result;
    result.normalised = NormaliseIMEI(text);
    result.boxes = currentBoxes;
    if (IsRejectedIMEI(result.normalised)) {
        result.rejected = true;
        return result;
    }
    const std::string& imei = result.normalised;

    result.presentation = FullIMEIPresentation(imei);
    const IMEIFields fields = SplitIMEI(imei);
    const ReportingBody body = LookupReportingBody(fields.reportingBodyIdentifier);
    result.reportingBody = body.text;
    result.boxes = ApplyBoxSettings(currentBoxes, body.boxes);
    result.tac = fields.typeAllocationCode;
    result.serial = fields.serialNumber;

    const DeviceMatch match = FindDevice(table, fields.typeAllocationCode);
    result.found = match.found;
    if (match.found) {
        result.manufacturer = match.manufacturer;
        result.model = match.model;
        result.deviceLinesShown = true;
        result.manufacturerCaption = "Manufacturer: " + match.manufacturer;
        result.modelCaption = "Model: " + match.model;
    }

    result.luhn = ComputeLuhnWorking(imei);
    result.luhnCaptions = MakeLuhnCaptions(result.luhn);

    // A complete fifteen-digit number is needed as well: a 14-digit text or one ending in a letter
    // can reach a valid total, but it is not a valid IMEI.
    result.valid = IsValidLuhnTotal(result.luhn.total) && IsCompleteIMEI(imei);
    if (result.valid) {
        result.verdictCaption = "VALID";
        result.verdictColour = kValidColour;
        if (!result.found) {
            result.deviceLinesShown = true;
            result.manufacturerCaption = std::string(kNotFoundManufacturerCaption);
            result.modelCaption = std::string(kNotFoundModelCaption);
        }
    } else {
        result.verdictCaption = "INVALID";
        result.verdictColour = kInvalidColour;
    }
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
