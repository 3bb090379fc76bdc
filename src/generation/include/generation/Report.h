#pragma once

#include "identity/Identity.h"
#include "system/Problem.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace quillon {

// The version text of the report's first line.
inline constexpr std::string_view kProgramVersionText = identity::kProgramVersionText;
inline constexpr std::string_view kReportRule = "--------------------------------------"; // 38 hyphens
inline constexpr std::string_view kReportLineEnd = "\r\n";

// Elapsed time as the report and the completion message write it: a space (a minus sign for a
// negative value), the whole seconds, and up to three fraction digits without trailing zeros or a
// zero before the point: 12345 -> " 12.345", 2000 -> " 2", 500 -> " .5", 0 -> " 0", -500 -> "-.5".
// Exact for every 64-bit value.
std::string SecondsText(std::int64_t elapsedMilliseconds);

// Appends CR LF and the number: the form of the run's number list that the report text expects.
void AppendToGeneratedList(std::string& generatedList, std::string_view number);

std::string ReportCreditLine();   // line 2: names the program's maker
std::string ReportHomepageLine(); // line 3: "Homepage: " and the maker's home page

// The six header lines joined by CR LF, then the number list (whose own CR LF before each number
// ends the line before it), then a final CR LF. UTF-8, like every text of the program.
// How a run ended, as line 5 says: "Calculation completed in <seconds> seconds." or, for a run that
// stopped before it had all its numbers, "Calculation stopped early after <seconds> seconds."
enum class RunEnd { Completed, StoppedEarly };
std::string ReportText(std::string_view versionText, std::string_view modelText, std::string_view secondsText,
                       std::string_view generatedList, RunEnd end = RunEnd::Completed);

struct LocalDateTime {
    int year = 0;
    int month = 0; // 1..12
    int day = 0;   // 1..31
    int hour = 0;  // 0..23
    int minute = 0;
    int second = 0;
};
LocalDateTime CurrentLocalDateTime();

// "Quillon.v<report name version>.Professional-(mm-dd-yyyy_HHmmss).txt": month before day, 24-hour
// clock; the version is identity::kReportNameVersion.
std::string ReportFileName(const LocalDateTime& when);
// The name for the n-th try at a free name: the name itself for 1, " (n)" before ".txt" from 2 on.
std::string NumberedReportFileName(std::string_view fileName, int attempt);

struct ReportWriteResult {
    std::filesystem::path path;     // the file actually written; empty on failure
    std::optional<Problem> problem; // why nothing was written
    bool ok() const { return !problem; }
};

// The hard-link step of WriteReportFile. File systems without hard links (FAT32 and exFAT, common
// on USB sticks) make it fail; the writer then names the file by a rename that never replaces.
using HardLinkFunction = void (*)(const std::filesystem::path& existing, const std::filesystem::path& link,
                                  std::error_code& error);
void CreateHardLink(const std::filesystem::path& existing, const std::filesystem::path& link, std::error_code& error);

// Writes `text` into `folder` under `fileName`, or under the first free " (2)", " (3)", ... variant:
// an existing file is never replaced. The text goes to a temporary file in the same folder first,
// which then gets the report's name, so no half-written file ever carries a report name; the
// temporary file is gone afterwards, also on failure. `createHardLink` is the link step (tests
// pass one that fails, as FAT32 does).
ReportWriteResult WriteReportFile(const std::filesystem::path& folder, std::string_view fileName, std::string_view text,
                                  HardLinkFunction createHardLink = CreateHardLink);

// A name for a temporary file in `folder` that no other file has: hidden, and never a report name.
std::filesystem::path ReportTemporaryPath(const std::filesystem::path& folder);

// The naming step of WriteReportFile for a report already written whole into `temporary` (a file in
// `folder`): it gets `fileName` or the first free numbered variant, never replacing a file. The
// temporary file is gone afterwards, also on failure.
ReportWriteResult NameReportFile(const std::filesystem::path& temporary, const std::filesystem::path& folder,
                                 std::string_view fileName, HardLinkFunction createHardLink = CreateHardLink);

} // namespace quillon
