#include "generation/Report.h"

#include "identity/Identity.h"
#include "system/Files.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <system_error>
#include <vector>

namespace quillon {

namespace {

constexpr std::string_view kReportNameEnd = ").txt";
constexpr std::string_view kTextExtension = ".txt";
// Far more than reports finished within one second could ever need; a bound keeps a folder full
// of look-alike names from turning into a long loop.
constexpr int kMaxNameAttempts = 10000;

void AppendTwoDigits(std::string& out, int value) {
    out += static_cast<char>('0' + (value / 10) % 10);
    out += static_cast<char>('0' + value % 10);
}

bool IsNameTaken(const std::error_code& error) {
    return error == std::errc::file_exists;
}

} // namespace

std::string SecondsText(std::int64_t elapsedMilliseconds) {
    const bool negative = elapsedMilliseconds < 0;
    // Unsigned negation is exact even for the most negative value.
    const std::uint64_t magnitude = negative ? std::uint64_t{0} - static_cast<std::uint64_t>(elapsedMilliseconds)
                                             : static_cast<std::uint64_t>(elapsedMilliseconds);
    const std::uint64_t whole = magnitude / 1000;
    unsigned fraction = static_cast<unsigned>(magnitude % 1000);

    std::string text(1, negative ? '-' : ' ');
    if (whole != 0 || fraction == 0) {
        text += std::to_string(whole);
    }
    if (fraction != 0) {
        int digits = 3;
        while (fraction % 10 == 0) {
            fraction /= 10;
            --digits;
        }
        std::string fractionText = std::to_string(fraction);
        text += '.';
        text.append(static_cast<std::size_t>(digits) - fractionText.size(), '0');
        text += fractionText;
    }
    return text;
}

void AppendToGeneratedList(std::string& generatedList, std::string_view number) {
    generatedList += kReportLineEnd;
    generatedList += number;
}

std::string ReportCreditLine() {
    return "Made by " + std::string(identity::kMakerName);
}

std::string ReportHomepageLine() {
    return "Homepage: " + identity::MakerHomePage();
}

std::string ReportHeader(std::string_view versionText, std::string_view modelText, std::string_view secondsText,
                         RunEnd end) {
    std::string text;
    text.reserve(256 + modelText.size());
    text += "Quillon v";
    text += versionText;
    text += kReportLineEnd;
    text += ReportCreditLine();
    text += kReportLineEnd;
    text += ReportHomepageLine();
    text += kReportLineEnd;
    text += "Mobile Device Type: ";
    text += modelText;
    text += kReportLineEnd;
    text += end == RunEnd::Completed ? "Calculation completed in " : "Calculation stopped early after ";
    text += secondsText;
    text += " seconds.";
    text += kReportLineEnd;
    text += kReportRule;
    return text;
}

std::string ReportText(std::string_view versionText, std::string_view modelText, std::string_view secondsText,
                       std::string_view generatedList, RunEnd end) {
    std::string text = ReportHeader(versionText, modelText, secondsText, end);
    text += generatedList;
    text += kReportLineEnd;
    return text;
}

std::string ReportFileName(const LocalDateTime& when) {
    std::string name = "Quillon.v";
    name.append(identity::kReportNameVersion).append(".Professional-(");
    AppendTwoDigits(name, when.month);
    name += '-';
    AppendTwoDigits(name, when.day);
    name += '-';
    char year[16];
    std::snprintf(year, sizeof year, "%04d", when.year);
    name += year;
    name += '_';
    AppendTwoDigits(name, when.hour);
    AppendTwoDigits(name, when.minute);
    AppendTwoDigits(name, when.second);
    name += kReportNameEnd;
    return name;
}

std::string NumberedReportFileName(std::string_view fileName, int attempt) {
    if (attempt <= 1) {
        return std::string(fileName);
    }
    const std::string suffix = " (" + std::to_string(attempt) + ")";
    if (fileName.size() >= kTextExtension.size() &&
        fileName.substr(fileName.size() - kTextExtension.size()) == kTextExtension) {
        std::string name(fileName.substr(0, fileName.size() - kTextExtension.size()));
        return name + suffix + std::string(kTextExtension);
    }
    return std::string(fileName) + suffix;
}

void CreateHardLink(const std::filesystem::path& existing, const std::filesystem::path& link, std::error_code& error) {
    std::filesystem::create_hard_link(existing, link, error);
}

ReportWriteResult WriteReportFile(const std::filesystem::path& folder, std::string_view fileName, std::string_view text,
                                  HardLinkFunction createHardLink) {
    ReportWriteResult result;
    std::error_code error;

    const std::filesystem::path temporary = ReportTemporaryPath(folder);
    errno = 0;
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc); // wide path on Windows
    if (!out) {
        result.problem = Problem{ProblemKind::FileNotCreated, folder, 0, ErrnoCode(errno), {}};
        return result;
    }
    errno = 0;
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    out.flush();
    const int writeErrno = errno;
    const bool written = static_cast<bool>(out);
    out.close();
    if (!written || out.fail()) {
        const int reason = writeErrno != 0 ? writeErrno : errno;
        std::filesystem::remove(temporary, error);
        result.problem = Problem{ProblemKind::FileNotWritten, folder, 0, ErrnoCode(reason), {}};
        return result;
    }

    return NameReportFile(temporary, folder, fileName, createHardLink);
}

std::filesystem::path ReportTemporaryPath(const std::filesystem::path& folder) {
    return UniqueTemporaryPath(folder, ".quillon-report-");
}

ReportWriteResult NameReportFile(const std::filesystem::path& temporary, const std::filesystem::path& folder,
                                 std::string_view fileName, HardLinkFunction createHardLink) {
    ReportWriteResult result;
    std::error_code error;
    // A hard link fails when the name exists, which makes taking a free name a single step. Where
    // the file system has no hard links, a rename that never replaces an existing name does.
    const auto named = [&result](const std::filesystem::path& target) {
        std::error_code absoluteError;
        result.path = std::filesystem::absolute(target, absoluteError);
        if (absoluteError) {
            result.path = target;
        }
        return result;
    };
    bool linksWork = true;
    for (int attempt = 1; attempt <= kMaxNameAttempts; ++attempt) {
        const std::filesystem::path target = folder / NumberedReportFileName(fileName, attempt);
        if (linksWork) {
            createHardLink(temporary, target, error);
            if (!error) {
                std::filesystem::remove(temporary, error);
                return named(target);
            }
            if (IsNameTaken(error)) {
                continue;
            }
            linksWork = false;
        }
        const RenameOutcome outcome = RenameWithoutReplacing(temporary, target, error);
        if (outcome == RenameOutcome::Renamed) {
            return named(target);
        }
        if (outcome == RenameOutcome::Failed) {
            break;
        }
    }
    result.problem = Problem{ProblemKind::FileNotNamed, folder, 0, error, {}};
    std::filesystem::remove(temporary, error);
    return result;
}

ReportWriter::ReportWriter(std::filesystem::path folder, std::optional<std::filesystem::path> fallback)
    : m_folder(std::move(folder)),
      m_fallback(std::move(fallback)) {}

ReportWriter::~ReportWriter() {
    m_numbers.reset(); // closed before the hidden files go
}

void ReportWriter::Fail() {
    if (m_error == 0) {
        m_error = errno != 0 ? errno : EIO;
    }
}

std::optional<Problem> ReportWriter::Open() {
    m_temporaries = std::make_unique<TemporaryFiles>();
    m_numbersPath = ReportTemporaryPath(m_folder);
    m_temporaries->Add(m_numbersPath);
    errno = 0;
    // Read back at the end through the same handle.
    m_numbers.reset(OpenFile(m_numbersPath, "w+b"));
    if (!m_numbers) {
        return Problem{ProblemKind::FileNotCreated, m_folder, 0, ErrnoCode(errno), {}};
    }
    std::setvbuf(m_numbers.get(), nullptr, _IOFBF, std::size_t{1} << 20);
    return std::nullopt;
}

bool ReportWriter::Append(std::string_view number) {
    if (m_error != 0) {
        return false;
    }
    errno = 0;
    if (std::fwrite(kReportLineEnd.data(), 1, kReportLineEnd.size(), m_numbers.get()) != kReportLineEnd.size() ||
        std::fwrite(number.data(), 1, number.size(), m_numbers.get()) != number.size()) {
        Fail();
    }
    return m_error == 0;
}

ReportWriteResult ReportWriter::Finish(std::string_view header, std::string_view fileName,
                                       std::string_view numberList) {
    if (m_numbers) {
        return FinishStreamed(header, fileName);
    }
    std::string text(header);
    text += numberList;
    text += kReportLineEnd;
    ReportWriteResult written = WriteReportFile(m_folder, fileName, text);
    if (written.ok() || !m_fallback) {
        return written;
    }
    // An installed program may not write beside itself; the fallback folder takes the report.
    ReportWriteResult fallback;
    std::error_code error;
    if (m_fallback->empty()) {
        fallback.problem = Problem{ProblemKind::NoDocumentsFolder, {}, 0, {}, {}};
    } else if (std::filesystem::create_directories(*m_fallback, error); error) {
        fallback.problem = Problem{ProblemKind::FolderNotCreated, *m_fallback, 0, error, {}};
    } else {
        fallback = WriteReportFile(*m_fallback, fileName, text);
    }
    if (!fallback.ok()) {
        written.fallbackProblem = fallback.problem;
        return written;
    }
    return fallback;
}

ReportWriteResult ReportWriter::FinishStreamed(std::string_view header, std::string_view fileName) {
    errno = 0;
    if (m_error == 0 && std::fflush(m_numbers.get()) != 0) {
        Fail();
    }
    const std::filesystem::path reportPath = ReportTemporaryPath(m_folder);
    m_temporaries->Add(reportPath);
    std::unique_ptr<std::FILE, FileCloser> report(m_error == 0 ? OpenFile(reportPath, "wb") : nullptr);
    bool ok = report && std::fwrite(header.data(), 1, header.size(), report.get()) == header.size();
    std::rewind(m_numbers.get());
    std::vector<char> block(ok ? std::size_t{1} << 20 : 0);
    while (ok) {
        const std::size_t got = std::fread(block.data(), 1, block.size(), m_numbers.get());
        ok = std::fwrite(block.data(), 1, got, report.get()) == got && !std::ferror(m_numbers.get());
        if (got < block.size()) {
            break;
        }
    }
    ok = ok && std::fwrite(kReportLineEnd.data(), 1, kReportLineEnd.size(), report.get()) == kReportLineEnd.size();
    const bool closed = !report || std::fclose(report.release()) == 0;
    if (!ok || !closed) {
        Fail();
    }
    m_numbers.reset();
    std::error_code ignored;
    std::filesystem::remove(m_numbersPath, ignored);
    m_temporaries->Forget(m_numbersPath);
    ReportWriteResult result;
    if (m_error != 0) {
        std::filesystem::remove(reportPath, ignored);
        result.problem = Problem{ProblemKind::FileNotWritten, m_folder, 0, ErrnoCode(m_error), {}};
    } else {
        result = NameReportFile(reportPath, m_folder, fileName);
    }
    m_temporaries->Forget(reportPath);
    return result;
}

} // namespace quillon
