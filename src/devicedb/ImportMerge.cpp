// The merged file: where the imported devices stand among the base's lines, and its writing.
#include "devicedb/DeviceImport.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace quillon {

namespace {

constexpr std::uint32_t kNone = UINT32_MAX;

// For each device line of `base`, the import that replaces it (or kNone).
std::vector<std::uint32_t> Replacements(const DeviceImport& import, const DeviceTable& base) {
    const std::size_t baseDevices = base.LineCount() == 0 ? 0 : base.LineCount() - 1;
    std::vector<std::uint32_t> replacement(baseDevices + 1, kNone);
    for (std::size_t index = 0; index < import.DeviceCount(); ++index) {
        const std::size_t line = base.FindLine(import.Line(index).substr(0, 8));
        if (line != 0) {
            replacement[line] = static_cast<std::uint32_t>(index);
        }
    }
    return replacement;
}

// Visits the merged file's device lines in order: `visit(lineNumber, text, importIndex or kNone)`.
template <typename Visit>
void VisitMerged(const DeviceImport& import, const DeviceTable* base, const std::vector<std::uint32_t>& replacement,
                 const Visit& visit) {
    const std::size_t baseDevices = base == nullptr || base->LineCount() == 0 ? 0 : base->LineCount() - 1;
    std::size_t number = 0;
    auto baseLine = [&](std::size_t line) {
        const std::uint32_t index = replacement[line];
        visit(++number, index == kNone ? base->Line(line) : import.Line(index), index);
    };
    for (std::size_t line = 1; line + 1 <= baseDevices; ++line) {
        baseLine(line);
    }
    std::vector<bool> placed(import.DeviceCount(), false);
    for (std::size_t line = 1; line <= baseDevices; ++line) {
        if (replacement[line] != kNone) {
            placed[replacement[line]] = true;
        }
    }
    for (std::size_t index = 0; index < import.DeviceCount(); ++index) {
        if (!placed[index]) {
            visit(++number, import.Line(index), static_cast<std::uint32_t>(index));
        }
    }
    if (baseDevices > 0) {
        baseLine(baseDevices);
    }
}

} // namespace

DeviceImport::Plan DeviceImport::PlanMerge(const DeviceTable* base, std::string_view version) const {
    Plan plan;
    const std::vector<std::uint32_t> replacement = base ? Replacements(*this, *base) : std::vector<std::uint32_t>{};
    plan.replacedDevices = static_cast<std::size_t>(
        std::count_if(replacement.begin(), replacement.end(), [](std::uint32_t i) { return i != kNone; }));
    plan.newDevices = DeviceCount() - plan.replacedDevices;
    const std::size_t baseDevices = base == nullptr || base->LineCount() == 0 ? 0 : base->LineCount() - 1;
    plan.deviceLines = baseDevices + plan.newDevices;
    VisitMerged(*this, base, replacement, [&](std::size_t number, std::string_view text, std::uint32_t index) {
        plan.bytes += text.size() + 2;
        if (index != kNone && (number <= kUnlistedLeadingLines || number == plan.deviceLines)) {
            plan.unlisted.emplace_back(number, std::string(text.substr(0, 8)));
        }
    });
    plan.bytes += 9 + version.size() + 2;
    plan.withinLimits = plan.deviceLines + 1 <= kMaxDatabaseLines && plan.bytes <= kMaxDatabaseBytes;
    return plan;
}

void DeviceImport::WriteMerged(const DeviceTable* base, std::string_view version,
                               const std::function<void(std::string_view)>& write) const {
    const std::vector<std::uint32_t> replacement = base ? Replacements(*this, *base) : std::vector<std::uint32_t>{};
    VisitMerged(*this, base, replacement, [&](std::size_t, std::string_view text, std::uint32_t) {
        write(text);
        write("\r\n");
    });
    write("99999999,");
    write(version);
    write("\r\n");
}

} // namespace quillon
