#pragma once

// The messages that tell the user the update check's answer.

#include "update/UpdateCheck.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillon {

inline constexpr std::string_view kUpdateAvailableMessage = "An update is available!";
inline constexpr std::string_view kLatestVersionMessage = "You have the latest version.";

// The message for a comparison; none when the published version is older.
std::optional<std::string_view> ComparisonMessage(VersionComparison comparison);
// Why a version number could not be read, as a clause: "its first line is not a whole number".
std::string VersionProblemText(VersionParseError error);
// The message boxes that tell the answer, in order; none for a cancelled check.
std::vector<std::string> UpdateMessages(const UpdateAnswer& answer);

} // namespace quillon
