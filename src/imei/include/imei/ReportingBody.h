#pragma once

#include <array>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace quillon {

inline constexpr int kBoxCount = 8;

// The eight reporting-body boxes: index 0 is box 1 (TAF), index 7 is box 8 (PTCRB).
using BoxStates = std::array<bool, kBoxCount>;

enum class BoxSetting { Cleared, Checked, Unchanged };
using BoxSettings = std::array<BoxSetting, kBoxCount>;

struct ReportingBodyRow {
    std::string_view code;
    std::string_view text;
    BoxSettings boxes;
};
// The whole table, for the tests; the programs look codes up.
std::span<const ReportingBodyRow> ReportingBodyTable();

struct ReportingBody {
    std::string text;
    BoxSettings boxes{};
};
// Exact match on the code's text; anything else gives "<code> (Unknown)" and all boxes cleared.
// Kept for the tests and fuzz targets, which hold it against what the validation shows.
ReportingBody LookupReportingBody(std::string_view code);
// The row whose code is exactly `code`, or nullptr; the box settings of an unknown code.
const ReportingBodyRow* FindReportingBodyRow(std::string_view code);
const BoxSettings& UnknownBodyBoxes();
BoxStates ApplyBoxSettings(const BoxStates& current, const BoxSettings& settings);

// Caption of box `boxNumber`, 1..8.
std::string_view BoxCaption(int boxNumber);
// The box whose caption is `caption` (exact), or nothing.
std::optional<int> BoxNumberForCaption(std::string_view caption);

// The boxes in the order generation reads them (box 8 first) with their codes.
struct GenerationBox {
    int boxNumber;
    std::string_view caption;
    std::string_view code;
};
std::span<const GenerationBox> GenerationBoxOrder();
// Code of the first checked box in generation order, or nothing when no box is checked.
std::optional<std::string_view> FirstCheckedBoxCode(const BoxStates& boxes);

} // namespace quillon
