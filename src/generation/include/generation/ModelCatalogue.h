#pragma once

#include "devicedb/DeviceTable.h"

#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace quillon {

inline constexpr std::string_view kCustomEntry = "Custom";
inline constexpr std::string_view kSeparatorEntry = "----------------------------"; // 28 hyphens
inline constexpr std::size_t kSeparatorIndex = 25;
inline constexpr std::size_t kFirstDeviceIndex = 26;

struct CatalogueEntry {
    std::string_view text;
    std::span<const std::string_view> tacs;
};

// The 23 manufacturer and model-family entries, in model-list order (positions 1 to 23).
std::span<const CatalogueEntry> ModelCatalogue();
// The entry whose text equals `text` exactly, or nullptr.
const CatalogueEntry* FindCatalogueEntry(std::string_view text);
// Code number floor(r * k) + 1 of the entry's k codes, for 0 <= r < 1.
std::string_view DrawTac(const CatalogueEntry& entry, double r);

// Model list positions 0 to 24: the empty text, the 23 entries, "Custom".
std::vector<std::string> FixedModelListTexts();
// Count list positions 0 to 6: "", "1", "10", "25", "50", "100", "250".
std::span<const std::string_view> CountListTexts();

enum class ModelChoiceKind { None, Catalogue, Custom, Device };

struct ModelChoice {
    ModelChoiceKind kind = ModelChoiceKind::None;
    const CatalogueEntry* entry = nullptr; // Catalogue
    std::string tac;                       // Device: field 1 of its line
    std::size_t lineNumber = 0;            // Device
};
// Fixed names first (exact, case-sensitive); then a non-empty text is a device entry when the
// line at `position` gives back exactly that text; anything else selects no model.
ModelChoice ResolveModelChoice(std::string_view text, std::size_t position, const DeviceTable& table);

// The codes of a text that names device lines (quillon-cli's --model "Nokia 3310"): every distinct
// eight-digit code of the device lines 1 to n - 1 that show the text, in file order.
class DeviceTextCodes {
public:
    DeviceTextCodes(const DeviceTable& table, std::string_view text);
    DeviceTextCodes(const DeviceTextCodes&) = delete;
    DeviceTextCodes& operator=(const DeviceTextCodes&) = delete;

    std::size_t LinesShowingText() const { return m_lines; }
    std::string_view FirstCode() const { return m_firstCode; } // field 1 of the first such line
    const std::vector<std::string>& Codes() const { return m_codes; }
    // A run among them: one code is drawn from like the window's device entry, with no draw for the
    // code; more make an entry to draw from, which lives as long as this object; none, no model.
    ModelChoice Choice() const;

private:
    std::string m_text;
    std::vector<std::string> m_codes;
    std::vector<std::string_view> m_views;
    std::size_t m_lines = 0;
    std::string m_firstCode;
    CatalogueEntry m_entry;
};

} // namespace quillon
