#include "ValidationPresenter.h"

#include "QtText.h"

namespace quillon {

LuhnCaptions PresentLuhnWorking(const LuhnWorking& working) {
    LuhnCaptions captions;
    captions.check = QStringLiteral("Check: ");
    for (std::size_t i = 0; i < working.digits.count; ++i) {
        captions.check += QChar(u'0' + working.digits.digits[i]);
    }
    captions.checkSum = QStringLiteral("CheckSum: %1(%2)").arg(working.sum).arg(working.total);
    captions.luhn = QStringLiteral("Luhn: %1").arg(working.checkDigit);
    return captions;
}

ResultPanel PresentValidation(const ValidationResult& result) {
    ResultPanel panel;
    panel.presentation = ToQString(result.presentation);
    panel.reportingBody = ToQString(result.reportingBodyText);
    panel.tac = ToQString(result.tac);
    panel.serial = ToQString(result.serial);
    if (result.device.found) {
        panel.deviceLinesShown = true;
        panel.manufacturer = QStringLiteral("Manufacturer: ") + ToQString(result.device.manufacturer);
        panel.model = QStringLiteral("Model: ") + ToQString(result.device.model);
    } else if (result.valid) {
        panel.deviceLinesShown = true;
        panel.manufacturer = QStringLiteral("Manufacturer: Not Found in Database!");
        panel.model = QStringLiteral("Model:            ^^ Click to Submit ^^");
    }
    panel.luhn = PresentLuhnWorking(result.luhn);
    panel.verdict = result.valid ? QStringLiteral("VALID") : QStringLiteral("INVALID");
    panel.verdictColour = result.valid ? kValidColour : kInvalidColour;
    return panel;
}

} // namespace quillon
