#include "Commands.h"

#include "devicedb/ImportRun.h"
#include "present/ImportText.h"
#include "system/Files.h"

#include <algorithm>
#include <csignal>
#include <string>
#include <string_view>
#include <vector>

namespace quillon::cli {

namespace {

constexpr std::string_view kCommand = "import";

// Standard output through the command's sink.
class StandardOutputTarget final : public ImportOutput {
public:
    explicit StandardOutputTarget(OutputSink& out) : m_out(out) {}
    void Append(std::string_view bytes) override { m_out.Append(bytes); }
    int Finish() override {
        m_out.Flush();
        return m_out.Failed() ? m_out.Error() : 0;
    }

private:
    OutputSink& m_out;
};

void CheckOptions(const ImportOptions& options) {
    if (options.versionText && !IsValidVersionText(*options.versionText)) {
        throw UsageError("--version-text takes 1 to 10 printable ASCII characters, not \"" + *options.versionText +
                         "\"");
    }
    if (options.replace && options.db) {
        throw UsageError("--replace writes the imported devices alone, so it takes no --db base");
    }
    if (std::count(options.files.begin(), options.files.end(), "-") > 1) {
        throw UsageError("standard input (-) can be read only once");
    }
    const bool columnsNamed =
        options.settings.codeColumn || options.settings.manufacturerColumn || options.settings.modelColumn;
    if (columnsNamed && options.settings.layout &&
        (*options.settings.layout == ImportLayout::Osmocom || *options.settings.layout == ImportLayout::Tacdex)) {
        throw UsageError("--code-column, --manufacturer-column and --model-column apply to the gsma and csv layouts");
    }
}

} // namespace

int RunImportCommand(const ImportOptions& options, const CommandContext& context) {
    CheckOptions(options);
    const auto say = [&context](const std::string& text) { WriteMessage(context.err, kCommand, text); };

    LineInputBytes input(context.in);
    StandardOutputTarget output(context.out);
    ImportRequest request;
    for (const std::string& name : options.files) {
        request.sources.push_back({name == "-" ? std::filesystem::path() : PathFromUtf8(name), options.settings});
    }
    if (!options.output) {
        request.target = ImportTargetKind::UserDatabase;
    } else if (*options.output == "-") {
        request.target = ImportTargetKind::StandardOutput;
        request.output = &output;
    } else {
        request.target = ImportTargetKind::File;
        request.targetFile = PathFromUtf8(*options.output);
    }
    request.standardInput = context.in.IsOpen() ? &input : nullptr;
    if (options.db) {
        request.db = DatabasePath(options.db, context.programDirectory);
    }
    request.replace = options.replace;
    request.versionText = options.versionText;
    request.programDirectory = context.programDirectory;
    request.onLockWait = [&say](const std::filesystem::path& lockFile) { say(ImportLockWaitLine(lockFile)); };

    ImportRun run(std::move(request), context.clock);
    const ImportFindings& findings = run.Read();
    const auto fail = [&](const ImportFailure& failure, const ImportResult* result) {
        say(ImportFailureText(failure, findings, result, ImportAudience::CommandLine));
        return kExitUsage;
    };
    if (findings.failure && findings.failure->stop != ImportStop::NoDevices) {
        return fail(*findings.failure, nullptr);
    }
    for (const std::string& line : ImportReadLines(findings)) {
        say(line);
    }
    for (const std::string& line : ImportSkippedLines(findings, ImportAudience::CommandLine)) {
        say(line);
    }
    if (findings.failure) {
        return fail(*findings.failure, nullptr);
    }

#ifdef SIGXFSZ
    // A file size limit (ulimit -f) is then a failed write, reported, rather than the end of the program.
    std::signal(SIGXFSZ, SIG_IGN);
#endif
    const ImportResult result = run.Write();
    if (result.planned) {
        say(ImportDevicesLine(findings, result));
        if (result.plan.withinLimits) {
            if (const std::optional<std::string> unlisted = ImportUnlistedLine(result)) {
                say(*unlisted);
            }
        }
    }
    if (!result.ok()) {
        return fail(*result.failure, &result);
    }
    say(ImportWrittenLine(result));
    return kExitOk;
}

} // namespace quillon::cli
