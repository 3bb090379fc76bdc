#include "present/UpdateText.h"

#include "present/ProblemText.h"

namespace quillon {

std::optional<std::string_view> ComparisonMessage(VersionComparison comparison) {
    if (comparison == VersionComparison::Older) {
        return std::nullopt;
    }
    return comparison == VersionComparison::Newer ? kUpdateAvailableMessage : kLatestVersionMessage;
}

std::string VersionProblemText(VersionParseError error) {
    switch (error) {
    case VersionParseError::EmptyFile:
        return "the version file is empty";
    case VersionParseError::EmptyLine:
        return "its first line is empty";
    case VersionParseError::NotANumber:
        return "its first line is not a whole number";
    case VersionParseError::OutOfRange:
        return "the number on its first line is too large";
    case VersionParseError::None:
        break;
    }
    return {};
}

std::vector<std::string> UpdateMessages(const UpdateAnswer& answer) {
    std::vector<std::string> messages;
    const auto verdict = answer.comparison ? ComparisonMessage(*answer.comparison) : std::nullopt;
    if (answer.outcome == UpdateAnswer::Outcome::Unreadable) {
        messages.push_back("The published version number could not be read: " + VersionProblemText(answer.parseError) +
                           ".");
    } else if (answer.outcome == UpdateAnswer::Outcome::Failed) {
        messages.push_back("The update check could not be completed: " +
                           (answer.problem ? ProblemText(*answer.problem) : std::string("unknown error")) + "." +
                           (verdict ? " The answer of an earlier check follows." : ""));
    }
    if (verdict && answer.outcome != UpdateAnswer::Outcome::Cancelled) {
        messages.emplace_back(*verdict);
    }
    return messages;
}

} // namespace quillon
