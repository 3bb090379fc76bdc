#pragma once

// What the result panel shows for a validation: its captions and the verdict's colour.

#include "validation/Validation.h"

#include <QColor>
#include <QString>

namespace quillon {

inline constexpr char kInvalidImeiMessage[] = "Invalid IMEI";
inline constexpr QColor kValidColour{0, 175, 0};
inline constexpr QColor kInvalidColour{255, 0, 0};

// The three lines of the Luhn working.
struct LuhnCaptions {
    QString check;    // "Check: " and the transformed digits
    QString checkSum; // "CheckSum: " and the sum, then the total in parentheses: "CheckSum: 52(60)"
    QString luhn;     // "Luhn: " and the check digit's value
};
LuhnCaptions PresentLuhnWorking(const LuhnWorking& working);

struct ResultPanel {
    QString presentation;
    QString reportingBody;
    QString tac;
    QString serial;
    bool deviceLinesShown = false; // the manufacturer and model lines
    QString manufacturer;          // "Manufacturer: ..."
    QString model;                 // "Model: ..."
    LuhnCaptions luhn;
    QString verdict; // "VALID" or "INVALID"
    QColor verdictColour;
};
// The panel for a result that was not rejected. A device that was found is named whatever the
// verdict; a valid number whose device is not in the database says so and invites a lookup.
ResultPanel PresentValidation(const ValidationResult& result);

} // namespace quillon
