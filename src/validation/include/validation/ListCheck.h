#pragma once

// Checking a whole list: every input validated as `quillon-cli validate` validates it (all
// reporting-body boxes cleared first) against one reading of the device database, kept for the
// list's life; each result kept in a few bytes, so that a million rows take little memory, and
// shown again by validating its input once more. Also the counts, the numbers that repeat an
// earlier line, and the orders in which a table shows the rows.

#include "devicedb/DeviceTable.h"
#include "validation/ImeiList.h"
#include "validation/Validation.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quillon {

// The most lines the window checks in one list.
inline constexpr std::size_t kMaxListLines = 2'000'000;

enum class ListVerdict : std::uint8_t {
    Valid,    // fifteen digits with a valid check digit
    NotValid, // fifteen digits, the check digit wrong
    NotAnImei,
};
enum class NotAnImeiReason : std::uint8_t {
    None,
    Empty,     // nothing left once blanks and separators are dropped
    Length,    // another length than fifteen characters
    NotDigits, // fifteen characters, not all of them digits
};

struct CheckedRow {
    std::uint64_t inputAt = 0; // in the list's text
    std::uint32_t inputSize = 0;
    std::uint32_t line = 0;       // where the input stands in the list, from 1
    std::uint32_t deviceLine = 0; // its device line; 0 when not in the database
    std::uint32_t repeatOf = 0;   // the line of the first input of the same fifteen digits; 0 for none
    std::uint32_t length = 0;     // of the cleaned text, in characters
    ListVerdict verdict = ListVerdict::NotAnImei;
    NotAnImeiReason reason = NotAnImeiReason::None;
    std::int8_t checkDigit = -1; // NotValid: the digit that makes it valid; -1 when none does
};

struct ListCounts {
    std::size_t inputs = 0;
    std::size_t valid = 0;
    std::size_t notValid = 0;
    std::size_t notAnImei = 0;
    std::size_t notInDatabase = 0; // of the valid and not valid ones
    std::size_t repeated = 0;      // inputs whose fifteen digits, once cleaned, an earlier line had
    bool operator==(const ListCounts&) const = default;
};

class CheckedList {
public:
    explicit CheckedList(DeviceTable table = {});

    // Validates one input and keeps its result.
    void Add(std::size_t line, std::string_view input);
    // No more inputs: finds the repeated numbers (until then none is marked or counted).
    void FinishAdding();

    std::size_t Size() const { return m_rows.size(); }
    const CheckedRow& Row(std::size_t index) const { return m_rows[index]; }
    std::string_view Input(std::size_t index) const {
        return std::string_view(m_text).substr(m_rows[index].inputAt, m_rows[index].inputSize);
    }
    const ListCounts& Counts() const { return m_counts; }
    const DeviceTable& Table() const { return m_table; }
    // Not valid, not an IMEI, or a number that an earlier line had.
    bool IsProblem(std::size_t index) const;
    // What validating the input found, as `validate` finds it.
    void ResultInto(std::size_t index, ValidationResult& result) const;

private:
    DeviceTable m_table;
    std::string m_text;
    std::vector<CheckedRow> m_rows;
    ListCounts m_counts;
    ValidationResult m_scratch;
    // The fifteen-digit inputs as numbers, each with its index: where repeats are looked for.
    std::vector<std::pair<std::uint64_t, std::uint32_t>> m_numbers;
};

// Reads the list and checks every input into `list`, stopping early when `cancel` is set
// (Outcome::Stopped). `onBlock`, when given, is called before the first input and then before
// every 1024th, with the inputs checked so far; `cancel` is looked at then.
ListRead CheckList(LineInput& in, const std::optional<ListColumn>& column, CheckedList& list,
                   const std::atomic<bool>* cancel = nullptr, std::size_t maxLines = kMaxListLines,
                   const std::function<void(std::size_t checked)>& onBlock = {});

// The columns a table of results shows.
enum class ListField { Line, Input, Imei, Result, ReportingBody, Tac, Manufacturer, Model, Repeated };
inline constexpr std::size_t kListFieldCount = 9;

// The rows to show, by index, in order: sorted by `sortBy` (a stable sort, so rows that compare
// equal keep the list's order; texts compared byte by byte), or in the list's order; only the
// problems when `problemsOnly`. Empty when `cancel` was set before it finished.
std::vector<std::uint32_t> ListOrder(const CheckedList& list, std::optional<ListField> sortBy, bool descending,
                                     bool problemsOnly, const std::atomic<bool>* cancel = nullptr);

} // namespace quillon
