#pragma once

// An import's findings and problems in words, one line each, for the program that shows them:
// each remedy is the one that program offers (an option of quillon-cli, a question of the window).

#include "devicedb/ImportRun.h"

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace quillon {

enum class ImportAudience { CommandLine, Window };

// "\"/x/a.csv\"", or "standard input" for the empty path.
std::string ImportSourceName(const std::filesystem::path& path);

// Per source read: rows, layout and encoding, and the rows that span several lines.
std::vector<std::string> ImportReadLines(const ImportFindings& findings);
// Per reason: how many rows were skipped and where the first ones start.
std::vector<std::string> ImportSkippedLines(const ImportFindings& findings, ImportAudience audience);
// "2 devices imported: 2 new, 0 replaced in the base \"...\"", and the rows that repeated a code.
std::string ImportDevicesLine(const ImportFindings& findings, const ImportResult& result);
// The imported devices the window's model list will not offer; nothing when there are none.
std::optional<std::string> ImportUnlistedLine(const ImportResult& result);
// "wrote \"...\": 2 devices, version 2026-01-02".
std::string ImportWrittenLine(const ImportResult& result);
// That another import holds the lock and this one waits.
std::string ImportLockWaitLine(const std::filesystem::path& lockFile);

// Why the import stopped; `result` when the writing step was reached.
std::string ImportFailureText(const ImportFailure& failure, const ImportFindings& findings, const ImportResult* result,
                              ImportAudience audience);

// The window's questions between the run's steps: whether to put back the leading zeros of the
// short codes of `source`, and whether its cells hold long notes (a source stopped by RowTooLong).
std::string ImportPadCodesQuestion(const SourceFindings& source);
std::string ImportLongRowsQuestion(const SourceFindings& source);
// What the window's column choice says first, for a source stopped by NoHeader.
std::string ImportColumnsText(const SourceFindings& source);

// The window's words on the user's own list and the shipped one, the database beside the program.
// Whether to move the user's list aside, `refusal` saying why it cannot be used, before an import.
std::string RefusedUserDatabaseQuestion(const Problem& refusal);
// Whether to move the user's list aside and use the shipped one.
std::string SetAsideQuestion(const std::filesystem::path& userDatabase, const std::filesystem::path& shipped);
// That there is no list of the user's own to move aside; `userDatabase` empty: no folder for it.
std::string ShippedListInUseText(const std::filesystem::path& userDatabase, const std::filesystem::path& shipped);
// "your own device list \"...\" was moved aside as \"...\"".
std::string SetAsideLine(const SetAsideResult& result);
// Why the list was not moved aside; nothing was changed.
std::string SetAsideFailureText(const SetAsideResult& result);
// The shipped list in use again, with its device count and version, and what became of the user's.
std::string ShippedListUsedText(const std::filesystem::path& shipped, const DatabaseSummary& summary,
                                const SetAsideResult& result);

// At most kMessageQuoteChars characters of `text`, cut with "…".
std::string QuotedPart(std::string_view text);

} // namespace quillon
