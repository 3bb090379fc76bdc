#include "Commands.h"

#include "devicedb/DatabaseLocation.h"
#include "devicedb/DeviceImport.h"
#include "devicedb/DeviceTable.h"
#include "present/ProblemText.h"
#include "system/Files.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace quillon::cli {

namespace {

constexpr std::string_view kCommand = "import";

// An export named on the command line, read with stdio; a second pass starts it again.
class FileSource final : public ByteSource {
public:
    FileSource(std::FILE* file, std::uint64_t size) : m_file(file), m_size(size) {}
    ~FileSource() override { std::fclose(m_file); }
    FileSource(const FileSource&) = delete;
    FileSource& operator=(const FileSource&) = delete;

    std::size_t Read(char* into, std::size_t size) override {
        const std::size_t got = std::fread(into, 1, size, m_file);
        if (got < size && std::ferror(m_file) && m_error == 0) {
            m_error = errno != 0 ? errno : EIO;
        }
        return got;
    }
    // A pipe or terminal named as a file cannot go back: it is read as a stream.
    bool Rewind() override { return std::fseek(m_file, 0, SEEK_SET) == 0; }
    int Error() const override { return m_error; }
    std::uint64_t SizeHint() const override { return m_size; }

private:
    std::FILE* m_file;
    std::uint64_t m_size;
    int m_error = 0;
};

// Standard input, through the command's line input, its lines joined by the LF between them.
class InputSource final : public ByteSource {
public:
    explicit InputSource(LineInput& in) : m_in(in) {}

    std::size_t Read(char* into, std::size_t size) override {
        std::size_t filled = 0;
        while (filled < size) {
            if (m_at == m_pending.size()) {
                std::string_view line;
                if (!m_in.Next(line)) {
                    break;
                }
                // The LF goes before each line but the first: one that ends the input is of no
                // account, while an LF added after the last line would add a byte (a UTF-16
                // text's last line end leaves its NUL byte on a line of its own).
                m_pending.clear();
                if (m_started) {
                    m_pending += '\n';
                }
                m_pending += line;
                m_started = true;
                m_at = 0;
            }
            const std::size_t take = std::min(size - filled, m_pending.size() - m_at);
            m_pending.copy(into + filled, take, m_at);
            m_at += take;
            filled += take;
        }
        return filled;
    }
    bool Rewind() override { return false; }
    int Error() const override { return m_in.Error(); }

private:
    LineInput& m_in;
    std::string m_pending;
    std::size_t m_at = 0;
    bool m_started = false;
};

std::string Quoted(const std::filesystem::path& path) {
    return DescribeFolder(path);
}

std::string Plural(std::size_t count, std::string_view one, std::string_view many) {
    return std::to_string(count) + " " + std::string(count == 1 ? one : many);
}

std::string JoinedNames(const std::vector<std::string_view>& names) {
    std::string text;
    for (const std::string_view name : names) {
        text += text.empty() ? "" : ", ";
        text += name;
    }
    return text;
}

std::string NoHeaderText(const std::string& source, const std::vector<std::string>& found) {
    const ColumnNames& names = LookedForColumns();
    std::string columns;
    for (std::size_t i = 0; i < found.size() && i < 20; ++i) {
        columns += columns.empty() ? "" : ", ";
        columns += found[i];
    }
    if (found.size() > 20) {
        columns += ", ...";
    }
    std::vector<std::string_view> manufacturer = names.brand;
    manufacturer.insert(manufacturer.end(), names.manufacturer.begin(), names.manufacturer.end());
    std::vector<std::string_view> model = names.marketingName;
    model.insert(model.end(), names.model.begin(), names.model.end());
    return source + " has no header row that import reads: its first line names the columns " +
           (columns.empty() ? std::string("(none)") : columns) + "; looked for a code column (" +
           JoinedNames(names.code) + "), a manufacturer column (" + JoinedNames(manufacturer) +
           ") and a model column (" + JoinedNames(model) +
           "), the Osmocom header (tac,name,name,...) or a tacdex.csv line (eight digits and a comma). "
           "--code-column, --manufacturer-column and --model-column name other columns. Nothing was written.";
}

// "line 5", or with several exports "\"b.csv\" line 5".
std::string WhereText(const SkippedRows::Where& where, const std::vector<std::string>& sources) {
    return (sources.size() > 1 ? sources[where.file] + " line " : std::string("line ")) + std::to_string(where.line);
}

std::string SkippedText(SkipReason reason, const SkippedRows& rows, const std::vector<std::string>& sources) {
    std::string what;
    switch (reason) {
    case SkipReason::NoCode:
        what = " without an eight-digit code";
        break;
    case SkipReason::ShortCode:
        what = " whose code has seven or fewer digits, its leading zeros lost in a spreadsheet (--pad-codes puts "
               "them back)";
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
        text += WhereText(rows.first[i], sources);
    }
    return text;
}

// The file's bytes go to a temporary file beside it, which then takes its name: on any failure
// the file is as it was.
class AtomicFile {
public:
    explicit AtomicFile(std::filesystem::path path) : m_path(std::move(path)) {}
    ~AtomicFile() {
        if (m_file != nullptr) {
            std::fclose(m_file);
        }
        if (!m_temporary.empty()) {
            std::error_code ignored;
            std::filesystem::remove(m_temporary, ignored);
        }
    }
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    // The reason when no file could be made beside the target.
    std::optional<std::error_code> Open() {
        std::filesystem::path folder = m_path.parent_path();
        m_temporary = UniqueTemporaryPath(folder.empty() ? std::filesystem::path(".") : folder, ".quillon-import-");
        errno = 0;
        m_file = OpenFile(m_temporary, "wb");
        if (m_file == nullptr) {
            const std::error_code reason = ErrnoCode(errno);
            m_temporary.clear();
            return reason;
        }
        m_buffer.reserve(OutputSink::kBlock);
        return std::nullopt;
    }

    void Append(std::string_view bytes) {
        if (m_buffer.size() + bytes.size() > OutputSink::kBlock) {
            WriteBuffer();
        }
        m_buffer += bytes;
    }

    // Finishes the file and gives it its name; the reason on failure.
    std::optional<std::error_code> Commit() {
        WriteBuffer();
        if (m_error == 0 && std::fflush(m_file) != 0) {
            m_error = errno != 0 ? errno : EIO;
        }
        const int closed = std::fclose(m_file);
        m_file = nullptr;
        if (m_error == 0 && closed != 0) {
            m_error = errno != 0 ? errno : EIO;
        }
        if (m_error != 0) {
            return ErrnoCode(m_error);
        }
        std::error_code error;
        if (!RenameReplacing(m_temporary, m_path, error)) {
            return error;
        }
        m_temporary.clear();
        return std::nullopt;
    }

private:
    void WriteBuffer() {
        if (m_error == 0 && !m_buffer.empty()) {
            errno = 0;
            if (std::fwrite(m_buffer.data(), 1, m_buffer.size(), m_file) != m_buffer.size()) {
                m_error = errno != 0 ? errno : EIO;
            }
        }
        m_buffer.clear();
    }

    std::filesystem::path m_path;
    std::filesystem::path m_temporary;
    std::FILE* m_file = nullptr;
    std::string m_buffer;
    int m_error = 0;
};

std::string DateVersion(Clock& clock) {
    const LocalDateTime now = clock.LocalNow();
    char text[16];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", now.year % 10000, now.month % 100, now.day % 100);
    return text;
}

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
    auto fail = [&context](const std::string& text) {
        WriteMessage(context.err, kCommand, text);
        return kExitUsage;
    };

    // Where the result goes: standard output, the file named, or the user's own database.
    const bool toStandardOutput = options.output && *options.output == "-";
    std::filesystem::path target;
    if (options.output && !toStandardOutput) {
        target = PathFromUtf8(*options.output);
    } else if (!options.output) {
        target = UserDatabasePath();
        if (target.empty()) {
#ifdef _WIN32
            return fail("the environment names no folder for the user's data (APPDATA is not set); "
                        "name the file to write with -o FILE. Nothing was written.");
#else
            return fail("the environment names no folder for the user's data (neither XDG_DATA_HOME nor HOME is "
                        "set); name the file to write with -o FILE. Nothing was written.");
#endif
        }
    }

    // The base: the database in use now, or the one --db names.
    DeviceTable base;
    std::filesystem::path basePath;
    if (!options.replace) {
        basePath = DatabasePath(options.db, context.programDirectory);
        if (const std::optional<Problem> problem = ReadDeviceTable(basePath, base)) {
            return fail(ProblemText(*problem, PathQuoting::Quoted) +
                        " It is the base that import adds to (--replace writes "
                        "the imported devices alone). Nothing was written.");
        }
    }

    const bool readsStandardInput = std::find(options.files.begin(), options.files.end(), "-") != options.files.end();
    if (readsStandardInput && !context.in.IsOpen()) {
        return fail("cannot read standard input: it is closed. Nothing was written.");
    }

    DeviceImport imported(options.settings);
    std::vector<std::string> sources;
    std::vector<std::string> readLines;
    for (const std::string& name : options.files) {
        const std::string source = name == "-" ? std::string("standard input") : Quoted(PathFromUtf8(name));
        sources.push_back(source);
        std::unique_ptr<ByteSource> input;
        if (name == "-") {
            input = std::make_unique<InputSource>(context.in);
        } else {
            errno = 0;
            std::FILE* file = OpenFile(PathFromUtf8(name), "rb");
            if (file == nullptr) {
                return fail("cannot open " + source + ": " + SystemErrorText(errno) + ". Nothing was written.");
            }
            std::error_code sizeError;
            const std::uintmax_t size = std::filesystem::file_size(PathFromUtf8(name), sizeError);
            input = std::make_unique<FileSource>(file, sizeError ? 0 : size);
        }
        const ExportRead read = imported.Read(*input);
        switch (read.outcome) {
        case ExportRead::Outcome::Read:
            break;
        case ExportRead::Outcome::NoHeader:
            return fail(NoHeaderText(source, read.headerFields));
        case ExportRead::Outcome::ReadFailed:
            return fail("cannot read " + source + ": " + SystemErrorText(read.error) + ". Nothing was written.");
        case ExportRead::Outcome::BeyondLimits:
            return fail("the devices read up to " + source + " would already make a database of more than " +
                        std::to_string(kMaxDatabaseLines) +
                        " lines or 64 MiB, beyond what the programs read. "
                        "Nothing was written.");
        }
        std::string line = source + ": " + Plural(read.rows, "row", "rows") + " read, " +
                           std::string(ImportLayoutName(read.layout)) + " layout, " +
                           std::string(EncodingName(read.encoding));
        if (read.replacedSequences > 0) {
            line += ", " + Plural(read.replacedSequences, "byte", "bytes") +
                    " after the first 64 KiB not UTF-8 (replaced by U+FFFD)";
        }
        readLines.push_back(line);
    }
    for (const std::string& line : readLines) {
        WriteMessage(context.err, kCommand, line);
    }
    for (std::size_t reason = 0; reason < kSkipReasonCount; ++reason) {
        const SkippedRows& rows = imported.Skipped()[reason];
        if (rows.count > 0) {
            WriteMessage(context.err, kCommand, SkippedText(static_cast<SkipReason>(reason), rows, sources));
        }
    }
    if (imported.DeviceCount() == 0) {
        return fail("no row held a device to import. Nothing was written.");
    }

    const std::string version = options.versionText ? *options.versionText : DateVersion(context.clock);
    const DeviceTable* const merged = options.replace ? nullptr : &base;
    const DeviceImport::Plan plan = imported.PlanMerge(merged, version);
    std::string devices = Plural(imported.DeviceCount(), "device", "devices") +
                          " imported: " + std::to_string(plan.newDevices) + " new, " +
                          std::to_string(plan.replacedDevices) + " replaced";
    devices += options.replace ? std::string(" (--replace: no base)") : " in the base " + Quoted(basePath);
    if (imported.RepeatedCodes() > 0) {
        devices += "; " + Plural(imported.RepeatedCodes(), "row", "rows") +
                   " repeated an earlier row's code (each code keeps its first place and its last row's names)";
    }
    WriteMessage(context.err, kCommand, devices);
    if (!plan.withinLimits) {
        return fail("the result would have " + std::to_string(plan.deviceLines + 1) + " lines and " +
                    std::to_string(plan.bytes) + " bytes, beyond the limits of " + std::to_string(kMaxDatabaseLines) +
                    " lines and 64 MiB that the programs read. Nothing was written.");
    }
    if (!plan.unlisted.empty()) {
        std::string text = "the window's model list leaves out lines 1 to 25 and the last device line, so it will "
                           "not offer " +
                           Plural(plan.unlisted.size(), "imported device", "imported devices") +
                           " (validation finds them): ";
        for (std::size_t i = 0; i < plan.unlisted.size(); ++i) {
            text += i == 0 ? "" : ", ";
            text += plan.unlisted[i].second + " (line " + std::to_string(plan.unlisted[i].first) + ")";
        }
        WriteMessage(context.err, kCommand, text);
    }

    const std::string written = Plural(plan.deviceLines, "device", "devices") + ", version " + version;
    if (toStandardOutput) {
        imported.WriteMerged(merged, version, [&context](std::string_view bytes) { context.out.Append(bytes); });
        context.out.Flush();
        if (context.out.Failed()) {
            return fail("cannot write to standard output: " + SystemErrorText(context.out.Error()));
        }
        WriteMessage(context.err, kCommand, "wrote standard output: " + written);
        return kExitOk;
    }

    if (!options.output) {
        std::error_code error;
        std::filesystem::create_directories(target.parent_path(), error);
        if (error) {
            return fail("cannot create the folder " + Quoted(target.parent_path()) + ": " + SystemErrorText(error) +
                        ". Nothing was written.");
        }
    }
#ifdef SIGXFSZ
    // A file size limit (ulimit -f) is then a failed write, reported, rather than the end of the program.
    std::signal(SIGXFSZ, SIG_IGN);
#endif
    AtomicFile file(target);
    if (const std::optional<std::error_code> error = file.Open()) {
        return fail("cannot create a file beside " + Quoted(target) + ": " + SystemErrorText(*error) +
                    ". Nothing was written.");
    }
    imported.WriteMerged(merged, version,
                         [&file](std::string_view bytes) { file.Append(bytes); } // namespace quillon::cli
    );
    if (const std::optional<std::error_code> error = file.Commit()) {
        return fail("cannot write " + Quoted(target) + ": " + SystemErrorText(*error) + "; the file is as it was.");
    }
    WriteMessage(context.err, kCommand, "wrote " + Quoted(target) + ": " + written);
    return kExitOk;
}

} // namespace quillon::cli
