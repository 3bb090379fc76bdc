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

// At most kMessageQuoteChars characters of `text`, cut with "…".
std::string QuotedPart(std::string_view text);

} // namespace quillon
