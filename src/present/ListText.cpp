#include "present/ListText.h"

#include "devicedb/DeviceImport.h"
#include "present/ProblemText.h"
#include "system/Problem.h"
#include "utf8/Utf8.h"

namespace quillon {

std::string GroupedCount(std::size_t count) {
    std::string digits = std::to_string(count);
    for (std::size_t at = digits.size(); at > 3; at -= 3) {
        digits.insert(at - 3, ",");
    }
    return digits;
}

std::string ListReadText(const ListRead& read, std::string_view column) {
    const std::string line = "line " + GroupedCount(read.line);
    switch (read.outcome) {
    case ListRead::Outcome::Read:
    case ListRead::Outcome::Stopped:
        return {};
    case ListRead::Outcome::ReadFailed:
        return "could not be read to its end: " + SystemErrorText(read.error);
    case ListRead::Outcome::LineTooLong:
        return "has a line longer than " + MebibytesText(kMaxLineBytes) + ", the longest line read (" + line +
               "); it and the lines after it were not checked";
    case ListRead::Outcome::RowTooLong:
        return "has a quoted field opened on " + line + " that takes in " + std::to_string(read.linesTaken) +
               " lines, more than the " + std::to_string(kMaxRowLines) +
               " lines a row may take in (a stray quote is the likely cause); it and the rows after it were not "
               "checked";
    case ListRead::Outcome::QuoteOpenAtEnd:
        return "has a quoted field opened on " + line +
               " that is still open at the end (a stray quote); that row was not checked";
    case ListRead::Outcome::TooManyLines:
        return "goes on past " + GroupedCount(read.line - 1) + " lines, the most checked at once; line " +
               GroupedCount(read.line) + " and the lines after it were not checked";
    case ListRead::Outcome::NoColumn: {
        std::string columns;
        for (const std::string& field : read.headerFields) {
            columns += (columns.empty() ? "\"" : ", \"") + field + "\"";
        }
        return "has no column \"" + std::string(column) + "\" in its header row" +
               (columns.empty() ? std::string(", which is empty") : "; its columns are " + columns);
    }
    }
    return {};
}

std::string ListResultText(const CheckedRow& row) {
    switch (row.verdict) {
    case ListVerdict::Valid:
        return "valid";
    case ListVerdict::NotValid:
        return row.checkDigit < 0 ? std::string("not valid (no check digit can make it valid)")
                                  : "not valid (check digit should be " + std::to_string(row.checkDigit) + ")";
    case ListVerdict::NotAnImei:
        break;
    }
    switch (row.reason) {
    case NotAnImeiReason::Empty:
        return "not an IMEI (nothing left once blanks and separators are dropped)";
    case NotAnImeiReason::Length:
        return "not an IMEI (" + GroupedCount(row.length) + (row.length == 1 ? " character" : " characters") +
               "; an IMEI has 15 digits)";
    case NotAnImeiReason::NotDigits:
    case NotAnImeiReason::None:
        break;
    }
    return "not an IMEI (an IMEI has 15 digits 0-9)";
}

std::string ListCountsText(const ListCounts& counts) {
    return GroupedCount(counts.inputs) + (counts.inputs == 1 ? " input: " : " inputs: ") + GroupedCount(counts.valid) +
           " valid, " + GroupedCount(counts.notValid) + " not valid, " + GroupedCount(counts.notAnImei) +
           " not an IMEI, " + GroupedCount(counts.notInDatabase) + " not in the database, " +
           GroupedCount(counts.repeated) + " repeated";
}

} // namespace quillon
