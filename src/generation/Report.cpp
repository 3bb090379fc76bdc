#include "generation/Report.h"

#include "identity/Identity.h"
#include "system/FileWriter.h"
#include "system/Files.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
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

namespace {

constexpr std::string_view kReportTemporaryPrefix = ".quillon-report-";

// Writes `head`, what is left of `numbers` (when given) and `tail` into a hidden file in `folder`,
// which then gets `fileName` or the first free numbered variant of it, never replacing a file.
// The hidden file is gone afterwards, also on failure.
ReportWriteResult WriteHiddenThenName(const std::filesystem::path& folder, std::string_view fileName,
                                      std::string_view head, std::FILE* numbers, std::string_view tail,
                                      HardLinkFunction createHardLink) {
    ReportWriteResult result;
    FileWriter writer(folder / std::string(fileName), TargetLinks::Follow, NameMode::NeverReplace,
                      kReportTemporaryPrefix);
    writer.SetHardLinkFunction(createHardLink);
    if (std::optional<Problem> problem = writer.Open()) {
        result.problem = std::move(problem);
        result.problem->path = folder; // as given, also with a separator at its end
        return result;
    }
    bool ok = writer.Append(head);
    std::vector<char> block(numbers != nullptr && ok ? std::size_t{1} << 20 : 0);
    while (numbers != nullptr && ok) {
        errno = 0;
        const std::size_t got = std::fread(block.data(), 1, block.size(), numbers);
        if (std::ferror(numbers)) {
            result.problem = Problem{ProblemKind::FileNotWritten, folder, 0, ErrnoCode(errno != 0 ? errno : EIO), {}};
            return result;
        }
        ok = writer.Append(std::string_view(block.data(), got));
        if (got < block.size()) {
            break;
        }
    }
    if (ok) {
        writer.Append(tail);
    }
    std::optional<Problem> problem = writer.Commit([&folder, fileName](int attempt) {
        return attempt <= kMaxNameAttempts ? folder / NumberedReportFileName(fileName, attempt)
                                           : std::filesystem::path();
    });
    if (problem) {
        result.problem = std::move(problem);
        result.problem->path = folder; // as given, also with a separator at its end
        return result;
    }
    std::error_code absoluteError;
    result.path = std::filesystem::absolute(writer.WrittenPath(), absoluteError);
    if (absoluteError) {
        result.path = writer.WrittenPath();
    }
    return result;
}

} // namespace

ReportWriteResult WriteReportFile(const std::filesystem::path& folder, std::string_view fileName, std::string_view text,
                                  HardLinkFunction createHardLink) {
    return WriteHiddenThenName(folder, fileName, text, nullptr, {}, createHardLink);
}

ReportWriter::ReportWriter(std::filesystem::path folder, std::optional<std::filesystem::path> fallback)
    : m_folder(std::move(folder)),
      m_fallback(std::move(fallback)) {}

void ReportWriter::Fail() {
    if (m_error == 0) {
        m_error = errno != 0 ? errno : EIO;
    }
}

std::optional<Problem> ReportWriter::Open() {
    m_temporaries = std::make_unique<TemporaryFiles>();
    m_numbersPath = UniqueTemporaryPath(m_folder, kReportTemporaryPrefix);
    m_temporaries->Add(m_numbersPath);
    errno = 0;
    // Read back at the end through the same handle.
    m_numbers.reset(CreateScratchFile(m_numbersPath));
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
    ReportWriteResult result;
    if (m_error == 0) {
        std::rewind(m_numbers.get());
        result = WriteHiddenThenName(m_folder, fileName, header, m_numbers.get(), kReportLineEnd, CreateHardLink);
    }
    if (m_error != 0) {
        result.problem = Problem{ProblemKind::FileNotWritten, m_folder, 0, ErrnoCode(m_error), {}};
    } else if (result.problem && result.problem->kind == ProblemKind::FileNotCreated) {
        result.problem->kind = ProblemKind::FileNotWritten; // the folder took the numbers' file
    }
    m_numbers.reset();
    std::error_code ignored;
    std::filesystem::remove(m_numbersPath, ignored);
    m_temporaries->Forget(m_numbersPath);
    return result;
}

} // namespace quillon
