#pragma once

#include "devicedb/DeviceTable.h"
#include "imei/Imei.h"
#include "imei/ReportingBody.h"
#include "system/Problem.h"

#include <optional>
#include <string>
#include <string_view>

namespace quillon {

// What validating a text finds. When `rejected` is true only `normalised` is set: the text was
// empty or longer than fifteen characters once cleaned, and nothing else was looked at.
struct ValidationResult {
    std::string normalised; // the cleaned text
    bool rejected = false;

    std::string presentation;                        // the grouped form, FullIMEIPresentation
    std::string tac;                                 // characters 1-8, the Type Allocation Code
    std::string serial;                              // characters 9-14, the serial number
    const ReportingBodyRow* reportingBody = nullptr; // the row of characters 1-2; none when unknown
    std::string reportingBodyText;                   // the row's text, or "<code> (Unknown)"
    BoxStates boxes{};                               // the reporting-body boxes after the row's settings

    DeviceMatch device; // the last device line of the Type Allocation Code
    LuhnWorking luhn;   // digits, sum, check digit and total
    bool valid = false; // a complete IMEI with a valid Luhn total

    // Set when the re-read before the lookup failed for the first time since the last good one;
    // the last good read was used.
    std::optional<Problem> databaseProblem;
};

// Whether the normalised text is refused: longer than 15 characters, or empty.
bool IsRejectedIMEI(std::string_view normalised);

// The run on a given table, without re-reading anything. `currentBoxes` are the boxes before it:
// a reporting body may leave some as they are.
ValidationResult RunValidation(std::string_view text, const DeviceTable& table, const BoxStates& currentBoxes);
// The same into an existing result, which it overwrites whole; its texts keep their storage, so a
// batch that reuses one result allocates nothing per input.
void RunValidationInto(std::string_view text, const DeviceTable& table, const BoxStates& currentBoxes,
                       ValidationResult& result);

// The Validate command: normalises, and unless the text is rejected re-reads the database before
// the lookup (a failed re-read keeps the last good table and, the first time, says so).
ValidationResult ValidateText(std::string_view text, DeviceDatabase& database, const BoxStates& currentBoxes);

} // namespace quillon
