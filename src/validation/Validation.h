#pragma once

#include "devicedb/DeviceTable.h"
#include "imei/Imei.h"
#include "imei/ReportingBody.h"

#include <string>
#include <string_view>

namespace quillon {

inline constexpr std::string_view kInvalidImeiMessage = "Invalid IMEI";
inline constexpr std::string_view kNotFoundManufacturerCaption = "Manufacturer: Not Found in Database!";
inline constexpr std::string_view kNotFoundModelCaption = "Model:            ^^ Click to Submit ^^";

struct Rgb {
    int red = 0;
    int green = 0;
    int blue = 0;
    friend bool operator==(const Rgb&, const Rgb&) = default;
};
inline constexpr Rgb kValidColour{0, 175, 0};
inline constexpr Rgb kInvalidColour{255, 0, 0};

// The three Luhn lines as the labels read them.
struct LuhnCaptions {
    std::string check;    // "Check: " + t1..t14
    std::string checkSum; // "CheckSum: " + S + "(" + T + ")"
    std::string luhn;     // "Luhn: " + check digit value
};
LuhnCaptions MakeLuhnCaptions(const LuhnWorking& working);

// Everything a validation run writes. When `rejected` is true only `normalised` (Text1 and
// CurrentIMEI) applies and the verdict is hidden; every other control and FoundInDB/IMEIValid
// keep what they had.
struct ValidationResult {
    std::string normalised;
    bool rejected = false;

    std::string presentation;  // Label8
    std::string reportingBody; // Label9
    BoxStates boxes{};         // Check1..Check8 after the run
    std::string tac;           // Label10
    std::string serial;        // Label11

    bool found = false; // FoundInDB
    std::string manufacturer;
    std::string model;
    bool deviceLinesShown = false;   // Label13 and Label14 visible
    std::string manufacturerCaption; // Label13, when shown
    std::string modelCaption;        // Label14, when shown

    LuhnWorking luhn;
    LuhnCaptions luhnCaptions; // Label1, Label2, Label3

    // Set when the re-read before the lookup failed for the first time since the last good one:
    // why, and that the last good read was used. Empty otherwise.
    std::string databaseNotice;

    bool valid = false;         // IMEIValid
    std::string verdictCaption; // Label16: "VALID" or "INVALID"
    Rgb verdictColour;
};

// Whether the normalised text is refused with "Invalid IMEI": longer than 15 characters, or empty.
bool IsRejectedIMEI(std::string_view normalised);

// The run on a given table, without re-reading anything.
ValidationResult RunValidation(std::string_view text, const DeviceTable& table, const BoxStates& currentBoxes);
// The same into an existing result, which it overwrites whole; its texts keep their storage, so a
// batch that reuses one result allocates nothing per input.
void RunValidationInto(std::string_view text, const DeviceTable& table, const BoxStates& currentBoxes,
                       ValidationResult& result);

// The Validate command: normalises, and unless the text is rejected re-reads the database before
// the lookup (a failed re-read keeps the last good table and, the first time, says so).
ValidationResult ValidateText(std::string_view text, DeviceDatabase& database, const BoxStates& currentBoxes);

} // namespace quillon
