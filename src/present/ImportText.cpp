#include "present/ImportText.h"

#include "present/ProblemText.h"
#include "utf8/Utf8.h"

#include <string>

namespace quillon {

namespace {

std::string Plural(std::size_t count, std::string_view one, std::string_view many) {
    return std::to_string(count) + " " + std::string(count == 1 ? one : many);
}

std::string Joined(const std::vector<std::string_view>& names) {
    std::string text;
    for (const std::string_view name : names) {
        text += text.empty() ? "" : ", ";
        text += name;
    }
    return text;
}

std::string Limits() {
    return std::to_string(kMaxDatabaseLines) + " lines or " + MebibytesText(kMaxDatabaseBytes);
}

constexpr std::string_view kNothingWritten = " Nothing was written.";

std::string NoHeaderText(const std::string& source, const std::vector<std::string>& found, ImportAudience audience) {
    constexpr std::size_t kShown = 20;
    const ColumnNames& names = LookedForColumns();
    std::string columns;
    for (std::size_t i = 0; i < found.size() && i < kShown; ++i) {
        columns += columns.empty() ? "" : ", ";
        columns += QuotedPart(found[i]);
    }
    if (found.size() > kShown) {
        columns += ", ...";
    }
    std::vector<std::string_view> manufacturer = names.brand;
    manufacturer.insert(manufacturer.end(), names.manufacturer.begin(), names.manufacturer.end());
    std::vector<std::string_view> model = names.marketingName;
    model.insert(model.end(), names.model.begin(), names.model.end());
    return source + " has no header row that import reads: its first line names the columns " +
           (columns.empty() ? std::string("(none)") : columns) + "; looked for a code column (" + Joined(names.code) +
           "), a manufacturer column (" + Joined(manufacturer) + ") and a model column (" + Joined(model) +
           "), the Osmocom header (tac,name,name,...) or a tacdex.csv line (eight digits and a comma). " +
           (audience == ImportAudience::CommandLine
                ? "--code-column, --manufacturer-column and --model-column name other columns."
                : "Choose its columns when the import asks for them.") +
           std::string(kNothingWritten);
}

// "line 5", or with several sources "\"b.csv\" line 5".
std::string WhereText(const SkippedRows::Where& where, const ImportFindings& findings) {
    if (findings.sources.size() > 1 && where.file < findings.sources.size()) {
        return ImportSourceName(findings.sources[where.file].path) + " line " + std::to_string(where.line);
    }
    return "line " + std::to_string(where.line);
}

std::string SkippedText(SkipReason reason, const SkippedRows& rows, const ImportFindings& findings,
                        ImportAudience audience) {
    std::string what;
    switch (reason) {
    case SkipReason::NoCode:
        what = " without an eight-digit code";
        break;
    case SkipReason::ShortCode:
        what = std::string(" whose code has seven or fewer digits, its leading zeros lost in a spreadsheet (") +
               (audience == ImportAudience::CommandLine ? "--pad-codes puts them back"
                                                        : "the import offers to put them back") +
               ")";
        break;
    case SkipReason::ExponentCode:
        what = " whose code is a number in exponent form (such as 3.5E+07), its digits lost in a spreadsheet";
        break;
    case SkipReason::NoName:
        what = " without a manufacturer or a model";
        break;
    case SkipReason::FieldCount:
        what = " with another number of fields than the header";
        break;
    }
    std::string text = "skipped " + Plural(rows.count, "row", "rows") + what + ", ";
    text += rows.count > rows.first.size() ? "first at " : "at ";
    for (std::size_t i = 0; i < rows.first.size(); ++i) {
        text += i == 0 ? "" : ", ";
        text += WhereText(rows.first[i], findings);
    }
    return text;
}

std::string SourceStoppedText(const SourceFindings& found, ImportAudience audience) {
    const std::string source = ImportSourceName(found.path);
    const ExportRead& read = found.read;
    const std::string line = source + " line " + std::to_string(read.line);
    switch (read.outcome) {
    case ExportRead::Outcome::Read:
        break;
    case ExportRead::Outcome::NoHeader:
        return NoHeaderText(source, read.headerFields, audience);
    case ExportRead::Outcome::ReadFailed:
        return "cannot read " + source + ": " + SystemErrorText(read.error) + "." + std::string(kNothingWritten);
    case ExportRead::Outcome::BeyondLimits:
        return "the devices read up to " + source + " would already make a database of more than " + Limits() +
               ", beyond what the programs read." + std::string(kNothingWritten);
    case ExportRead::Outcome::LineTooLong:
        return line + " is longer than " + MebibytesText(kMaxLineBytes) + ", the longest line import reads." +
               std::string(kNothingWritten);
    case ExportRead::Outcome::RowTooLong:
        return line + " opens a quoted field that takes in " + std::to_string(read.linesTaken) +
               " lines, more than the " + std::to_string(kMaxRowLines) +
               " lines a row may take in: a stray quote is the likely cause. " +
               (audience == ImportAudience::CommandLine
                    ? "If the file's cells really hold long notes, --long-rows lets such rows through."
                    : "If the file's cells really hold long notes, answer Yes when the import asks about them.") +
               std::string(kNothingWritten);
    case ExportRead::Outcome::QuoteOpenAtEnd:
        return line + " opens a quoted field that is still open at the end of the input: a stray quote." +
               std::string(kNothingWritten);
    }
    return "cannot read " + source + "." + std::string(kNothingWritten);
}

std::string NotWrittenText(const Problem& problem, const std::filesystem::path& target) {
    const std::string reason = SystemErrorText(problem.error);
    switch (problem.kind) {
    case ProblemKind::FileNotCreated:
    case ProblemKind::LockNotCreated: // the lock file is the first file made beside the target
        return "cannot create a file beside " + DescribeFolder(target) + ": " + reason + "." +
               std::string(kNothingWritten);
    case ProblemKind::FileNotWritten:
    case ProblemKind::FileNotNamed:
        return "cannot write " + DescribeFolder(target) + ": " + reason + "; the file is as it was.";
    default:
        return ProblemText(problem) + "." + std::string(kNothingWritten);
    }
}

std::string NoUserFolderText() {
#ifdef _WIN32
    return "the environment names no folder for the user's data (APPDATA is not set)";
#else
    return "the environment names no folder for the user's data (neither XDG_DATA_HOME nor HOME is set)";
#endif
}

} // namespace

std::string ImportPadCodesQuestion(const SourceFindings& source) {
    const std::size_t count = source.read.skipped[static_cast<std::size_t>(SkipReason::ShortCode)];
    return ImportSourceName(source.path) + " has " + Plural(count, "row whose code has", "rows whose code has") +
           " seven or fewer digits, as when a spreadsheet drops a code's leading zeros. Put the zeros back "
           "(1234567 becomes 01234567) and read the file again?";
}

std::string ImportLongRowsQuestion(const SourceFindings& source) {
    const ExportRead& read = source.read;
    return ImportSourceName(source.path) + " line " + std::to_string(read.line) +
           " opens a quoted field that takes in " + std::to_string(read.linesTaken) + " lines, more than the " +
           std::to_string(kMaxRowLines) +
           " lines a row may take in: a stray quote is the likely cause. Do the file's cells really hold long "
           "notes? Yes reads the file again letting such rows through; No ends the import, and nothing is written.";
}

std::string ImportColumnsText(const SourceFindings& source) {
    return ImportSourceName(source.path) +
           " has no header row that the import recognises. Choose the columns of its first line that hold the "
           "code, the manufacturer and the model:";
}

std::string RefusedUserDatabaseQuestion(const Problem& refusal) {
    return ProblemText(refusal, PathQuoting::Quoted) +
           " It is your own device list, which an import adds to. Move it aside in its folder first, so that the "
           "import adds to the shipped list instead? No imports nothing.";
}

std::string SetAsideQuestion(const std::filesystem::path& userDatabase, const std::filesystem::path& shipped) {
    return "Use the shipped device list " + DescribeFolder(shipped) + " again? Your own list " +
           DescribeFolder(userDatabase) + " is moved aside in its folder, not deleted.";
}

std::string ShippedListInUseText(const std::filesystem::path& userDatabase, const std::filesystem::path& shipped) {
    const std::string inUse = "The shipped device list " + DescribeFolder(shipped) + " is already in use: ";
    return userDatabase.empty() ? inUse + NoUserFolderText() + "."
                                : inUse + "there is no device list of your own (" + DescribeFolder(userDatabase) + ").";
}

std::string SetAsideLine(const SetAsideResult& result) {
    return "your own device list " + DescribeFolder(result.userDatabase) + " was moved aside as " +
           DescribeFolder(result.movedTo);
}

std::string SetAsideFailureText(const SetAsideResult& result) {
    const std::string list = "Your own device list " + DescribeFolder(result.userDatabase);
    std::string why;
    switch (result.stop.value_or(SetAsideStop::Cancelled)) {
    case SetAsideStop::NoUserFolder:
        return "There is no device list of your own: " + NoUserFolderText() + ". Nothing was changed.";
    case SetAsideStop::NoUserFile:
        return list + " is no longer there. Nothing was changed.";
    case SetAsideStop::Cancelled:
        return list + " was not moved aside: the move was cancelled. Nothing was changed.";
    case SetAsideStop::LockNotTaken:
        why = result.problem ? ProblemText(*result.problem) : std::string("its lock was not taken");
        break;
    case SetAsideStop::NotRenamed:
        why = "it could not take the name " + DescribeFolder(result.movedTo) + ": " + SystemErrorText(result.error);
        break;
    case SetAsideStop::NoFreeName:
        why = "every name up to " + DescribeFolder(result.movedTo) + " is taken";
        break;
    }
    return list + " was not moved aside: " + why + ". Nothing was changed.";
}

std::string ShippedListUsedText(const std::filesystem::path& shipped, const DatabaseSummary& summary,
                                const SetAsideResult& result) {
    std::string text = "Quillon uses the shipped device list " + DescribeFolder(shipped) +
                       " again: " + Plural(summary.deviceCount, "device", "devices") + ", version " + summary.version +
                       ". ";
    if (result.ok()) {
        return text + "Y" + SetAsideLine(result).substr(1) + ".";
    }
    return text + "Your own list " + DescribeFolder(result.userDatabase) + " was no longer there.";
}

std::string QuotedPart(std::string_view text) {
    if (Utf8Length(text) <= kMessageQuoteChars) {
        return std::string(text);
    }
    return std::string(Utf8Left(text, kMessageQuoteChars)) + "\xE2\x80\xA6"; // …
}

std::string ImportSourceName(const std::filesystem::path& path) {
    return path.empty() ? std::string("standard input") : DescribeFolder(path);
}

std::vector<std::string> ImportReadLines(const ImportFindings& findings) {
    std::vector<std::string> lines;
    for (const SourceFindings& found : findings.sources) {
        if (!found.done || found.read.outcome != ExportRead::Outcome::Read) {
            continue;
        }
        const ExportRead& read = found.read;
        const std::string source = ImportSourceName(found.path);
        std::string line = source + ": " + Plural(read.rows, "row", "rows") + " read, " +
                           std::string(ImportLayoutName(read.layout)) + " layout, " +
                           std::string(EncodingName(read.encoding));
        if (read.replacedSequences > 0) {
            line += ", " + Plural(read.replacedSequences, "byte", "bytes") +
                    " after the first 64 KiB not UTF-8 (replaced by U+FFFD)";
        }
        lines.push_back(line);
        if (read.multiLineRows > 0) {
            std::string spans = source + ": " + Plural(read.multiLineRows, "row spans", "rows span") +
                                " more than one line (a quoted field with line breaks, read as spaces), " +
                                (read.multiLineRows > read.firstMultiLineRows.size() ? "first at " : "at ");
            for (std::size_t i = 0; i < read.firstMultiLineRows.size(); ++i) {
                spans += i == 0 ? "" : ", ";
                spans += "line " + std::to_string(read.firstMultiLineRows[i].line) + " (" +
                         Plural(read.firstMultiLineRows[i].lines, "line", "lines") + ")";
            }
            lines.push_back(spans);
        }
    }
    return lines;
}

std::vector<std::string> ImportSkippedLines(const ImportFindings& findings, ImportAudience audience) {
    std::vector<std::string> lines;
    for (std::size_t reason = 0; reason < kSkipReasonCount; ++reason) {
        const SkippedRows& rows = findings.skipped[reason];
        if (rows.count > 0) {
            lines.push_back(SkippedText(static_cast<SkipReason>(reason), rows, findings, audience));
        }
    }
    return lines;
}

std::string ImportDevicesLine(const ImportFindings& findings, const ImportResult& result) {
    std::string devices = Plural(findings.devices, "device", "devices") +
                          " imported: " + std::to_string(result.plan.newDevices) + " new, " +
                          std::to_string(result.plan.replacedDevices) + " replaced";
    devices += result.basePath.empty() ? std::string(" (--replace: no base)")
                                       : " in the base " + DescribeFolder(result.basePath);
    if (findings.repeated > 0) {
        devices += "; " + Plural(findings.repeated, "row", "rows") +
                   " repeated an earlier row's code (each code keeps its first place and its last row's names)";
    }
    return devices;
}

std::optional<std::string> ImportUnlistedLine(const ImportResult& result) {
    const auto& unlisted = result.plan.unlisted;
    if (unlisted.empty()) {
        return std::nullopt;
    }
    std::string text = "the window's model list leaves out lines 1 to " + std::to_string(kUnlistedLeadingLines) +
                       " and the last device line, so it will not offer " +
                       Plural(unlisted.size(), "imported device", "imported devices") + " (validation finds them): ";
    for (std::size_t i = 0; i < unlisted.size(); ++i) {
        text += i == 0 ? "" : ", ";
        text += unlisted[i].second + " (line " + std::to_string(unlisted[i].first) + ")";
    }
    return text;
}

std::string ImportWrittenLine(const ImportResult& result) {
    const std::string written = Plural(result.plan.deviceLines, "device", "devices") + ", version " + result.version;
    return result.target.empty() ? "wrote standard output: " + written
                                 : "wrote " + DescribeFolder(result.target) + ": " + written;
}

std::string ImportLockWaitLine(const std::filesystem::path& lockFile) {
    return "another import is writing the same file; waiting for it to finish (lock " + DescribeFolder(lockFile) + ")";
}

std::string ImportFailureText(const ImportFailure& failure, const ImportFindings& findings, const ImportResult* result,
                              ImportAudience audience) {
    const std::string source =
        failure.source < findings.sources.size() ? ImportSourceName(findings.sources[failure.source].path) : "";
    switch (failure.stop) {
    case ImportStop::NoUserFolder:
        if (audience == ImportAudience::Window) {
            return NoUserFolderText() + ", so there is no folder for your own device list." +
                   std::string(kNothingWritten);
        }
#ifdef _WIN32
        return "the environment names no folder for the user's data (APPDATA is not set); "
               "name the file to write with -o FILE." +
               std::string(kNothingWritten);
#else
        return "the environment names no folder for the user's data (neither XDG_DATA_HOME nor HOME is "
               "set); name the file to write with -o FILE." +
               std::string(kNothingWritten);
#endif
    case ImportStop::StandardInputClosed:
        return "cannot read standard input: it is closed." + std::string(kNothingWritten);
    case ImportStop::StandardInputAgain:
        return "standard input cannot be read a second time." + std::string(kNothingWritten);
    case ImportStop::SourceNotOpened:
        return "cannot open " + source + ": " + SystemErrorText(failure.error) + "." + std::string(kNothingWritten);
    case ImportStop::SourceStopped:
        return failure.source < findings.sources.size() ? SourceStoppedText(findings.sources[failure.source], audience)
                                                        : "cannot read a source." + std::string(kNothingWritten);
    case ImportStop::Cancelled:
        return "the import was cancelled." + std::string(kNothingWritten);
    case ImportStop::NoDevices:
        return "no row held a device to import." + std::string(kNothingWritten);
    case ImportStop::BaseNotRead:
        return (failure.problem ? ProblemText(*failure.problem, PathQuoting::Quoted) : std::string()) +
               (audience == ImportAudience::CommandLine
                    ? " It is the base that import adds to (--replace writes the imported devices alone)."
                    : " It is the base that the import adds to.") +
               std::string(kNothingWritten);
    case ImportStop::ResultBeyondLimits:
        return "the result would have " + std::to_string(result ? result->plan.deviceLines + 1 : 0) + " lines and " +
               std::to_string(result ? result->plan.bytes : 0) + " bytes, beyond the limits of " +
               std::to_string(kMaxDatabaseLines) + " lines and " + MebibytesText(kMaxDatabaseBytes) +
               " that the programs read." + std::string(kNothingWritten);
    case ImportStop::NotWritten:
        return failure.problem ? NotWrittenText(*failure.problem, result ? result->target : std::filesystem::path())
                               : "the file could not be written." + std::string(kNothingWritten);
    case ImportStop::OutputFailed:
        return "cannot write to standard output: " + SystemErrorText(failure.error);
    }
    return "the import stopped." + std::string(kNothingWritten);
}

} // namespace quillon
