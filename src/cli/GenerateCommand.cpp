#include "Commands.h"
#include "present/ProblemText.h"

#include "devicedb/DeviceTable.h"
#include "generation/Generation.h"
#include "generation/ModelCatalogue.h"
#include "generation/Report.h"
#include "imei/ReportingBody.h"
#include "system/Files.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace quillon::cli {

namespace {

std::optional<std::uint64_t> ParseWholeNumber(std::string_view text) {
    if (text.empty() || text.size() > 20) {
        return std::nullopt;
    }
    std::uint64_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        const auto digit = static_cast<std::uint64_t>(c - '0');
        if (value > (UINT64_MAX - digit) / 10) {
            return std::nullopt;
        }
        value = value * 10 + digit;
    }
    return value;
}

// The codes a run draws from when --model names device lines: every distinct code of the lines
// that show the text, held here for as long as the run's recipe points at them.
struct DeviceCodes {
    std::string text;
    std::vector<std::string> codes;
    std::vector<std::string_view> views;
    CatalogueEntry entry;
};

struct GenerationPlan {
    CandidateRecipe recipe;
    std::string modelText; // as the report names it
    std::unique_ptr<DeviceCodes> deviceCodes;
};

// Device lines are 1 .. n-1; the last line is the database's version.
std::unique_ptr<DeviceCodes> CollectDeviceCodes(const DeviceTable& table, const std::string& text,
                                                std::size_t& linesShowingText, std::string& firstCode) {
    auto found = std::make_unique<DeviceCodes>();
    found->text = text;
    linesShowingText = 0;
    const std::size_t lineCount = table.LineCount();
    for (std::size_t line = 1; line < lineCount; ++line) {
        const std::string_view content = table.Line(line);
        if (DeviceEntryText(content) != text) {
            continue;
        }
        const std::string_view code = Field(content, 1);
        if (linesShowingText++ == 0) {
            firstCode = std::string(code);
        }
        if (IsEightDigitTac(code) && std::find(found->codes.begin(), found->codes.end(), code) == found->codes.end()) {
            found->codes.emplace_back(code);
        }
    }
    for (const std::string& code : found->codes) {
        found->views.emplace_back(code);
    }
    found->entry = CatalogueEntry{found->text, found->views};
    return found;
}

GenerationPlan PlanGeneration(const GenerateOptions& options, const CommandContext& context) {
    const int sources = (options.model ? 1 : 0) + (options.custom ? 1 : 0) + (options.box ? 1 : 0);
    if (sources > 1) {
        throw UsageError{"choose at most one of --model, --custom and --box"};
    }

    BoxStates boxes{};
    ModelChoice choice;
    std::string imeiText;
    GenerationPlan plan;

    if (options.box) {
        const std::optional<int> box = BoxNumberForCaption(*options.box);
        if (!box) {
            throw UsageError{"--box: unknown reporting body '" + *options.box + "'; they are " + BoxCaptionList()};
        }
        boxes[static_cast<std::size_t>(*box - 1)] = true;
    }

    if (options.custom) {
        if (!IsEightDigitTac(*options.custom)) {
            throw UsageError{"--custom needs a prefix of exactly eight digits 0-9 (a Type Allocation Code such as "
                             "49015420), not '" +
                             *options.custom + "'"};
        }
        choice.kind = ModelChoiceKind::Custom;
        imeiText = *options.custom;
        plan.modelText = kCustomEntry;
    }

    if (options.model) {
        const std::string& text = *options.model;
        plan.modelText = text;
        if (text == kCustomEntry) {
            throw UsageError{"--model Custom takes its prefix from --custom PREFIX"};
        }
        // An empty text names nothing: a model left out is --model left out, as with --box.
        if (text.empty()) {
            throw UsageError{"--model: '' names no model; give a catalogue entry or a device of the database as "
                             "manufacturer and model, or leave --model out"};
        }
        // The separator chooses no model, as in the window.
        if (text != kSeparatorEntry) {
            choice = ResolveModelChoice(text, 0, DeviceTable{});
            if (choice.kind != ModelChoiceKind::Catalogue) {
                // Only a device needs the database, so only then is a missing one an error.
                const std::filesystem::path path = DatabasePath(options.db, context.programDirectory);
                DeviceDatabase database(path);
                if (const std::optional<Problem> problem = database.Load()) {
                    // Not a usage error: the command line may be right and the file wrong.
                    throw CommandError{DatabaseLoadProblemText(*problem)};
                }
                std::size_t lines = 0;
                std::string firstCode;
                plan.deviceCodes = CollectDeviceCodes(database.Table(), text, lines, firstCode);
                const std::vector<std::string>& codes = plan.deviceCodes->codes;
                if (lines == 0) {
                    throw UsageError{"--model: '" + text +
                                     "' is neither a catalogue entry nor a device of the database " + QuotedPath(path)};
                }
                if (codes.empty()) {
                    throw UsageError{ProblemText(*DevicePrefixProblem(text, firstCode)) + " (database " +
                                     QuotedPath(path) + ")"};
                }
                if (codes.size() == 1) {
                    // One code: drawn like the window's device entry, with no draw for the code.
                    choice.kind = ModelChoiceKind::Device;
                    choice.tac = codes.front();
                } else {
                    choice.kind = ModelChoiceKind::Catalogue;
                    choice.entry = &plan.deviceCodes->entry;
                }
            }
        }
    }

    const std::optional<CandidateRecipe> recipe = MakeCandidateRecipe(boxes, choice, imeiText);
    if (!recipe) {
        const std::optional<Problem> problem = ModelPrefixProblem(choice, plan.modelText, imeiText);
        throw UsageError{problem ? ProblemText(*problem) : std::string()};
    }
    plan.recipe = *recipe;
    return plan;
}

// The temporary files of a run with a report. A SIGINT, SIGTERM, SIGHUP or SIGPIPE removes them
// before the program ends as the signal would end it; their names are kept ready for the handler,
// which may only make plain system calls.
class TemporaryFiles {
public:
    TemporaryFiles() {
        s_instance = this;
        for (std::size_t i = 0; i < std::size(kSignals); ++i) {
            m_previous[i] = std::signal(kSignals[i], &OnSignal);
            // A signal the caller chose to ignore (SIGINT for a background job) stays ignored.
            if (m_previous[i] == SIG_IGN) {
                std::signal(kSignals[i], SIG_IGN);
            }
        }
    }
    ~TemporaryFiles() {
        for (std::size_t i = 0; i < std::size(kSignals); ++i) {
            std::signal(kSignals[i], m_previous[i]);
        }
        RemoveAll();
        s_instance = nullptr;
    }
    TemporaryFiles(const TemporaryFiles&) = delete;
    TemporaryFiles& operator=(const TemporaryFiles&) = delete;

    // Registers a name before its file is created, so that no moment leaves it unknown.
    void Add(const std::filesystem::path& path) {
        if (m_count < kMax) {
            m_paths[m_count] = path.native();
            ++m_count;
        }
    }
    // The file now has another name (or is gone): it is no longer the run's to remove.
    void Forget(const std::filesystem::path& path) {
        for (std::size_t i = 0; i < m_count; ++i) {
            if (m_paths[i] == path.native()) {
                m_paths[i].clear();
            }
        }
    }
    void RemoveAll() {
        for (std::size_t i = 0; i < m_count; ++i) {
            if (!m_paths[i].empty()) {
                std::error_code ignored;
                std::filesystem::remove(m_paths[i], ignored);
                m_paths[i].clear();
            }
        }
    }

private:
    static constexpr std::size_t kMax = 2;
    // SIGHUP when the terminal is closed. SIGPIPE is ignored: a reader going away is a failed write.
#if defined(SIGHUP)
    static constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
#else
    static constexpr int kSignals[] = {SIGINT, SIGTERM};
#endif

    static void OnSignal(int signal) {
        if (TemporaryFiles* files = s_instance) {
            for (std::size_t i = 0; i < files->m_count; ++i) {
                if (!files->m_paths[i].empty()) {
#ifdef _WIN32
                    ::_wunlink(files->m_paths[i].c_str());
#else
                    ::unlink(files->m_paths[i].c_str());
#endif
                }
            }
        }
        std::signal(signal, SIG_DFL);
        std::raise(signal);
    }

    static inline TemporaryFiles* volatile s_instance = nullptr;
    std::filesystem::path::string_type m_paths[kMax];
    std::size_t m_count = 0;
    void (*m_previous[std::size(kSignals)])(int) = {};
};

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// The numbers of a run with a report, in a temporary file in the report's folder as they are
// found; at the end the report is assembled from it and named.
class ReportNumbers {
public:
    ReportNumbers(std::filesystem::path folder, TemporaryFiles& temporaries, Clock& clock)
        : m_folder(std::move(folder)),
          m_temporaries(temporaries),
          m_clock(clock) {}

    // Opens the numbers' file: proves at the start that the folder takes files.
    void Open() {
        m_path = ReportTemporaryPath(m_folder);
        m_temporaries.Add(m_path);
        errno = 0;
        m_file.reset(OpenFile(m_path, "wb"));
        if (!m_file) {
            throw CommandError{"--report: " +
                               ProblemText(Problem{ProblemKind::FileNotCreated, m_folder, 0, ErrnoCode(errno), {}})};
        }
        std::setvbuf(m_file.get(), nullptr, _IOFBF, std::size_t{1} << 20);
    }
    // CR LF before each number: the form of the report's number list.
    bool Append(std::string_view number) {
        if (m_error != 0) {
            return false;
        }
        errno = 0;
        if (std::fwrite("\r\n", 1, 2, m_file.get()) != 2 ||
            std::fwrite(number.data(), 1, number.size(), m_file.get()) != number.size()) {
            m_error = errno != 0 ? errno : EIO;
        }
        return m_error == 0;
    }
    int Error() const { return m_error; }

    // Writes the report (header, numbers, final line end) into a second temporary file, removes
    // the numbers' file and gives the report its name.
    ReportWriteResult Finish(std::string_view modelText, std::string_view secondsText) {
        ReportWriteResult result;
        errno = 0;
        if (m_error == 0 && std::fflush(m_file.get()) != 0) {
            m_error = errno != 0 ? errno : EIO;
        }
        // The header is the report of no numbers without its final line end.
        std::string header = ReportText(kProgramVersionText, modelText, secondsText, {});
        header.resize(header.size() - kReportLineEnd.size());

        const std::filesystem::path reportPath = ReportTemporaryPath(m_folder);
        m_temporaries.Add(reportPath);
        File report(m_error == 0 ? OpenFile(reportPath, "wb") : nullptr);
        if (m_error == 0 && !report) {
            m_error = errno != 0 ? errno : EIO;
        }
        if (m_error == 0) {
            std::vector<char> block(std::size_t{1} << 20);
            bool ok = std::fwrite(header.data(), 1, header.size(), report.get()) == header.size();
            // The numbers' file was opened for writing only; it is read back through a second handle.
            File reader(ok ? OpenFile(m_path, "rb") : nullptr);
            ok = ok && reader != nullptr;
            while (ok) {
                const std::size_t got = std::fread(block.data(), 1, block.size(), reader.get());
                ok = std::fwrite(block.data(), 1, got, report.get()) == got && !std::ferror(reader.get());
                if (got < block.size()) {
                    break;
                }
            }
            ok = ok &&
                 std::fwrite(kReportLineEnd.data(), 1, kReportLineEnd.size(), report.get()) == kReportLineEnd.size();
            ok = ok && std::fflush(report.get()) == 0;
            if (!ok) {
                m_error = errno != 0 ? errno : EIO;
            }
        }
        if (report && std::fclose(report.release()) != 0 && m_error == 0) {
            m_error = errno != 0 ? errno : EIO;
        }
        m_file.reset();
        std::error_code ignored;
        std::filesystem::remove(m_path, ignored);
        m_temporaries.Forget(m_path);
        if (m_error != 0) {
            std::filesystem::remove(reportPath, ignored);
            m_temporaries.Forget(reportPath);
            result.problem = Problem{ProblemKind::FileNotWritten, m_folder, 0, ErrnoCode(m_error), {}};
            return result;
        }
        result = NameReportFile(reportPath, m_folder, ReportFileName(m_clock.LocalNow()));
        m_temporaries.Forget(reportPath);
        return result;
    }

private:
    std::filesystem::path m_folder;
    TemporaryFiles& m_temporaries;
    Clock& m_clock;
    std::filesystem::path m_path;
    File m_file;
    int m_error = 0;
};

} // namespace

int RunGenerateCommand(const GenerateOptions& options, const CommandContext& context) {
    std::uint64_t count = 1;
    std::uint64_t seed = 0;
    std::optional<std::filesystem::path> reportFolder;
    if (options.count) {
        const std::optional<std::uint64_t> parsed = ParseWholeNumber(*options.count);
        if (!parsed || *parsed < 1) {
            throw UsageError{"--count needs a whole number of 1 or more, not '" + *options.count + "'"};
        }
        count = *parsed;
    }
    if (options.seed) {
        const std::optional<std::uint64_t> parsed = ParseWholeNumber(*options.seed);
        if (!parsed) {
            throw UsageError{"--seed needs a whole number from 0 to 18446744073709551615, not '" + *options.seed + "'"};
        }
        seed = *parsed;
    } else {
        seed = context.clock.TimeOfDaySeed();
    }
    if (options.report) {
        std::error_code error;
        if (!std::filesystem::is_directory(PathFromUtf8(*options.report), error)) {
            throw UsageError{"--report needs an existing folder, not '" + *options.report + "'"};
        }
        reportFolder = PathFromUtf8(*options.report);
    }
    const GenerationPlan plan = PlanGeneration(options, context);

    TemporaryFiles temporaries;
    std::optional<ReportNumbers> report;
    if (reportFolder) {
        report.emplace(*reportFolder, temporaries, context.clock);
        report->Open();
    }

    SeededRandomSource random(seed);
    OutputSink& out = context.out;
    bool reportFailed = false;
    const auto start = context.clock.Now();
    GenerateValid(plan.recipe, count, random, [&](std::string_view number) {
        out.Append(number);
        out.Append('\n');
        reportFailed = report && !report->Append(number);
        return !out.Failed() && !reportFailed;
    });
    out.Flush();
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(context.clock.Now() - start).count();
    if (out.Failed()) {
        WriteMessage(context.err, "generate", "cannot write to standard output: " + SystemErrorText(out.Error()));
        return kExitUsage;
    }
    if (reportFailed) {
        WriteMessage(context.err, "generate",
                     "the report was not written: cannot write into the folder " + DescribeFolder(*reportFolder) +
                         ": " + SystemErrorText(report->Error()));
        return kExitUsage;
    }

    if (report) {
        const ReportWriteResult written =
            report->Finish(plan.modelText, SecondsText(static_cast<std::int64_t>(elapsed)));
        if (!written.ok()) {
            WriteMessage(context.err, "generate", "the report was not written: " + ProblemText(*written.problem));
            return kExitUsage;
        }
        context.err.Append(PathToUtf8(written.path));
        context.err.Append('\n');
        context.err.Flush();
    }
    return kExitOk;
}

} // namespace quillon::cli
