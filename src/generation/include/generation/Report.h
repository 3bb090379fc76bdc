#pragma once

#include "identity/Identity.h"
#include "system/Clock.h"
#include "system/Problem.h"
#include "system/TemporaryFiles.h"

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
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

// How a run ended, as line 5 says: "Calculation completed in <seconds> seconds." or, for a run that
// stopped before it had all its numbers, "Calculation stopped early after <seconds> seconds."
enum class RunEnd { Completed, StoppedEarly };
// The six header lines joined by CR LF, the last without one: the number list's own CR LF before
// each number ends the line before it. UTF-8, like every text of the program.
std::string ReportHeader(std::string_view versionText, std::string_view modelText, std::string_view secondsText,
                         RunEnd end = RunEnd::Completed);

// "Quillon.v<report name version>.Professional-(mm-dd-yyyy_HHmmss).txt": month before day, 24-hour
// clock; the version is identity::kReportNameVersion.
std::string ReportFileName(const LocalDateTime& when);
// The name for the n-th try at a free name: the name itself for 1, " (n)" before ".txt" from 2 on.
std::string NumberedReportFileName(std::string_view fileName, int attempt);

struct ReportWriteResult {
    std::filesystem::path path;     // the file actually written; empty on failure
    std::optional<Problem> problem; // why nothing was written
    // Why the report could not go into the fallback folder either, when that was tried.
    std::optional<Problem> fallbackProblem;
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

namespace detail {
struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
} // namespace detail

// The report file of a run, in either of two uses; no half-written file ever carries a report's
// name, and no file is replaced.
// - Streamed (quillon-cli): Open makes a hidden file in the folder before the run, which proves
//   the folder takes files; Append puts each number into it as it is found; Finish writes the
//   header and then those numbers into the report. Memory stays flat however long the run, and
//   the hidden files are gone afterwards, also when SIGINT, SIGTERM or SIGHUP ends the program.
// - At the end of a run (the window, which keeps its numbers in its list): Finish alone writes
//   the header and `numberList` in one piece, into the folder or, where that fails, into the
//   fallback folder, made first when it is missing (an empty fallback: the system names none).
class ReportWriter {
public:
    explicit ReportWriter(std::filesystem::path folder, std::optional<std::filesystem::path> fallback = {});
    ReportWriter(const ReportWriter&) = delete;
    ReportWriter& operator=(const ReportWriter&) = delete;

    std::optional<Problem> Open();
    // CR LF and the number; false once a write has failed.
    bool Append(std::string_view number);
    int Error() const { return m_error; } // the errno value of the failed write; 0 while none failed

    ReportWriteResult Finish(std::string_view header, std::string_view fileName, std::string_view numberList = {});

private:
    ReportWriteResult FinishStreamed(std::string_view header, std::string_view fileName);
    void Fail(); // keeps the first error

    std::filesystem::path m_folder;
    std::optional<std::filesystem::path> m_fallback;
    std::unique_ptr<TemporaryFiles> m_temporaries;
    std::filesystem::path m_numbersPath;
    std::unique_ptr<std::FILE, detail::FileCloser> m_numbers; // closed before m_temporaries removes it
    int m_error = 0;
};

} // namespace quillon
