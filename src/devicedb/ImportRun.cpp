#include "devicedb/ImportRun.h"

#include "devicedb/DatabaseLocation.h"
#include "system/FileWriter.h"
#include "system/Files.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <memory>
#include <string_view>
#include <system_error>
#include <utility>

namespace quillon {

namespace {

// A file named as a source, read with stdio; a second pass starts it again.
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

// A source as the run sees it: every byte counted for the progress, and the cancel flag looked
// at before each read, which then ends the source as a failed read would.
class WatchedSource final : public ByteSource {
public:
    WatchedSource(ByteSource& inner, const ImportRequest& request, std::uint64_t& done, std::uint64_t total)
        : m_inner(inner),
          m_request(request),
          m_done(done),
          m_total(total) {}

    std::size_t Read(char* into, std::size_t size) override {
        if (Cancelled()) {
            return 0;
        }
        const std::size_t got = m_inner.Read(into, size);
        m_done += got;
        if (m_request.progress && got > 0) {
            m_request.progress(m_done, m_total < m_done ? m_done : m_total);
        }
        return got;
    }
    bool Rewind() override { return m_inner.Rewind(); }
    int Error() const override { return m_cancelled ? ECANCELED : m_inner.Error(); }
    std::uint64_t SizeHint() const override { return m_inner.SizeHint(); }
    bool WasCancelled() const { return m_cancelled; }

private:
    bool Cancelled() {
        if (m_request.cancel != nullptr && m_request.cancel->load(std::memory_order_relaxed)) {
            m_cancelled = true;
        }
        return m_cancelled;
    }

    ByteSource& m_inner;
    const ImportRequest& m_request;
    std::uint64_t& m_done;
    std::uint64_t m_total;
    bool m_cancelled = false;
};

ImportFailure Stop(ImportStop stop, std::size_t source = 0) {
    return ImportFailure{stop, source};
}

ImportFailure NotWritten(Problem problem) {
    ImportFailure failure{ImportStop::NotWritten};
    failure.problem = std::move(problem);
    return failure;
}

// The file a link at `path` names in the end; `path` itself when it is no link or cannot be followed.
std::filesystem::path Resolved(const std::filesystem::path& path) {
    std::error_code error;
    const std::filesystem::path resolved = std::filesystem::canonical(path, error);
    return error ? path : resolved;
}

// FileLock::Take in slices of a tenth of a second, so that a cancel ends the wait between two of
// them (`cancelled` set, no lock and no problem); `onWait` is called once, when the wait begins.
std::optional<Problem> TakeImportLock(const std::filesystem::path& lockFile, TargetLinks links,
                                      std::chrono::milliseconds timeout, const std::atomic<bool>* cancel,
                                      const std::function<void()>& onWait, std::unique_ptr<FileLock>& lock,
                                      bool& cancelled) {
    using std::chrono::milliseconds;
    constexpr milliseconds kSlice{100};
    const auto start = std::chrono::steady_clock::now();
    bool told = false;
    const auto tell = [&] {
        if (!told) {
            told = true;
            if (onWait) {
                onWait();
            }
        }
    };
    for (;;) {
        const auto waited = std::chrono::duration_cast<milliseconds>(std::chrono::steady_clock::now() - start);
        const milliseconds slice = std::clamp(timeout - waited, milliseconds{0}, kSlice);
        std::optional<Problem> problem = FileLock::Take(lockFile, links, slice, tell, lock);
        if (!problem || problem->kind != ProblemKind::LockNotTaken || problem->error) {
            return problem;
        }
        if (cancel != nullptr && cancel->load()) {
            cancelled = true;
            return std::nullopt;
        }
        const auto total = std::chrono::duration_cast<milliseconds>(std::chrono::steady_clock::now() - start);
        if (total >= timeout) {
            problem->limit = static_cast<std::uintmax_t>((total.count() + 500) / 1000);
            return problem;
        }
    }
}

// A field of eight digits 0-9, spaces around them allowed.
bool IsCodeField(std::string_view field) {
    const std::size_t first = field.find_first_not_of(' ');
    if (first == std::string_view::npos) {
        return false;
    }
    field = field.substr(first, field.find_last_not_of(' ') + 1 - first);
    return field.size() == 8 && std::all_of(field.begin(), field.end(), [](char c) { return c >= '0' && c <= '9'; });
}

} // namespace

ColumnSuggestion SuggestColumns(const std::vector<std::string>& firstLineFields) {
    ColumnSuggestion suggestion;
    const auto code = std::find_if(firstLineFields.begin(), firstLineFields.end(),
                                   [](const std::string& field) { return IsCodeField(field); });
    suggestion.firstLineIsHeader = code == firstLineFields.end();
    suggestion.code = suggestion.firstLineIsHeader ? 0 : static_cast<std::size_t>(code - firstLineFields.begin());
    std::vector<std::size_t> others;
    for (std::size_t index = 0; index < firstLineFields.size() && others.size() < 2; ++index) {
        if (index != suggestion.code) {
            others.push_back(index);
        }
    }
    if (!others.empty()) {
        suggestion.manufacturer = others[0];
    }
    if (others.size() > 1) {
        suggestion.model = others[1];
    }
    return suggestion;
}

std::filesystem::path SetAsideName(const std::filesystem::path& userDatabase, const LocalDateTime& when, int attempt) {
    char stamp[48];
    std::snprintf(stamp, sizeof stamp, "-%04d-%02d-%02d_%02d%02d%02d", when.year % 10000, when.month % 100,
                  when.day % 100, when.hour % 100, when.minute % 100, when.second % 100);
    std::filesystem::path::string_type name = userDatabase.stem().native();
    name += std::filesystem::path(stamp).native();
    if (attempt > 1) {
        name += std::filesystem::path("-" + std::to_string(attempt)).native();
    }
    name += userDatabase.extension().native();
    return userDatabase.parent_path() / name;
}

SetAsideResult SetUserDatabaseAside(const SetAsideRequest& request, Clock& clock) {
    SetAsideResult result;
    result.userDatabase = request.userDatabase ? *request.userDatabase : UserDatabasePath();
    if (result.userDatabase.empty()) {
        result.stop = SetAsideStop::NoUserFolder;
        return result;
    }
    if (!DatabaseFilePresent(result.userDatabase)) {
        result.stop = SetAsideStop::NoUserFile;
        return result;
    }
    // As an import into the file: the name is looked at again only under the lock, which an import
    // holds from choosing its base to writing.
    const std::filesystem::path lockFile = LockFileFor(result.userDatabase);
    std::unique_ptr<FileLock> lock;
    bool cancelled = false;
    if (std::optional<Problem> problem = TakeImportLock(
            lockFile, TargetLinks::Refuse, request.lockTimeout, request.cancel,
            [&] {
                result.waited = true;
                if (request.onLockWait) {
                    request.onLockWait(lockFile);
                }
            },
            lock, cancelled)) {
        result.stop = SetAsideStop::LockNotTaken;
        result.problem = std::move(problem);
        return result;
    }
    if (cancelled) {
        result.stop = SetAsideStop::Cancelled;
        return result;
    }
    if (!DatabaseFilePresent(result.userDatabase)) {
        result.stop = SetAsideStop::NoUserFile;
        return result;
    }
    const LocalDateTime when = clock.LocalNow();
    for (int attempt = 1; attempt <= kSetAsideNames; ++attempt) {
        result.movedTo = SetAsideName(result.userDatabase, when, attempt);
        switch (RenameWithoutReplacing(result.userDatabase, result.movedTo, result.error)) {
        case RenameOutcome::Renamed:
            return result;
        case RenameOutcome::Taken:
            continue;
        case RenameOutcome::Failed:
            result.stop = SetAsideStop::NotRenamed;
            return result;
        }
    }
    result.stop = SetAsideStop::NoFreeName;
    return result;
}

std::string DateVersionText(const LocalDateTime& when) {
    char text[16];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", when.year % 10000, when.month % 100, when.day % 100);
    return text;
}

ImportRun::ImportRun(ImportRequest request, Clock& clock) : m_request(std::move(request)), m_clock(clock) {}

std::filesystem::path ImportRun::UserDatabase() const {
    return m_request.userDatabase ? *m_request.userDatabase : UserDatabasePath();
}

void ImportRun::SetSettings(std::size_t index, const ImportSettings& settings) {
    if (index < m_request.sources.size()) {
        m_request.sources[index].settings = settings;
    }
}

const ImportFindings& ImportRun::Read() {
    m_findings = ImportFindings{};
    m_import = std::make_unique<DeviceImport>();
    ++m_reads;
    if (std::optional<ImportFailure> failure = ReadSources()) {
        m_findings.failure = std::move(failure);
    }
    m_findings.skipped = m_import->Skipped();
    m_findings.devices = m_import->DeviceCount();
    m_findings.repeated = m_import->RepeatedCodes();
    if (m_findings.ok() && m_findings.devices == 0) {
        m_findings.failure = Stop(ImportStop::NoDevices);
    }
    return m_findings;
}

std::optional<ImportFailure> ImportRun::ReadSources() {
    if (m_request.target == ImportTargetKind::UserDatabase && UserDatabase().empty()) {
        return Stop(ImportStop::NoUserFolder);
    }
    // The bytes to read, when every source is a file: each is read once to decide its encoding,
    // then again for its rows.
    std::uint64_t total = 0;
    bool totalKnown = true;
    for (std::size_t index = 0; index < m_request.sources.size(); ++index) {
        const ImportSource& source = m_request.sources[index];
        m_findings.sources.push_back(SourceFindings{source.path});
        if (source.path.empty()) {
            if (m_request.standardInput == nullptr) {
                return Stop(ImportStop::StandardInputClosed, index);
            }
            if (m_reads > 1) {
                return Stop(ImportStop::StandardInputAgain, index);
            }
            totalKnown = false;
        } else {
            std::error_code error;
            const std::uintmax_t size = std::filesystem::file_size(source.path, error);
            total += error ? 0 : 2 * static_cast<std::uint64_t>(size);
        }
    }
    if (!totalKnown) {
        total = 0;
    }

    std::uint64_t done = 0;
    for (std::size_t index = 0; index < m_request.sources.size(); ++index) {
        const ImportSource& source = m_request.sources[index];
        std::unique_ptr<ByteSource> file;
        ByteSource* input = m_request.standardInput;
        if (!source.path.empty()) {
            errno = 0;
            std::FILE* opened = OpenFile(source.path, "rb");
            if (opened == nullptr) {
                ImportFailure failure = Stop(ImportStop::SourceNotOpened, index);
                failure.error = ErrnoCode(errno != 0 ? errno : EIO);
                return failure;
            }
            std::error_code sizeError;
            const std::uintmax_t size = std::filesystem::file_size(source.path, sizeError);
            file = std::make_unique<FileSource>(opened, sizeError ? 0 : size);
            input = file.get();
        }
        WatchedSource watched(*input, m_request, done, total);
        SourceFindings& found = m_findings.sources[index];
        found.read = m_import->Read(watched, source.settings);
        found.done = true;
        if (watched.WasCancelled()) {
            return Stop(ImportStop::Cancelled, index);
        }
        if (found.read.outcome != ExportRead::Outcome::Read) {
            return Stop(ImportStop::SourceStopped, index);
        }
    }
    return std::nullopt;
}

ImportResult ImportRun::Write() {
    ImportResult result;
    if (!m_import || !m_findings.ok()) {
        result.failure = m_findings.failure ? *m_findings.failure : Stop(ImportStop::NoDevices);
        return result;
    }
    if (m_request.cancel != nullptr && m_request.cancel->load()) {
        result.failure = Stop(ImportStop::Cancelled);
        return result;
    }

    // Where the result goes, and whether links there are followed: only a file named on purpose
    // follows one; the user's own file lies in a folder any program of the user can change.
    std::filesystem::path target;
    TargetLinks links = TargetLinks::Follow;
    if (m_request.target == ImportTargetKind::UserDatabase) {
        target = UserDatabase();
        links = TargetLinks::Refuse;
        if (target.empty()) {
            result.failure = Stop(ImportStop::NoUserFolder);
            return result;
        }
        std::error_code error;
        std::filesystem::create_directories(target.parent_path(), error);
        if (error) {
            result.failure = NotWritten(Problem{ProblemKind::FolderNotCreated, target.parent_path(), 0, error});
            return result;
        }
    } else if (m_request.target == ImportTargetKind::File) {
        target = m_request.targetFile;
    }

    result.target = target;

    // Imports into one regular file take turns: the base is chosen and read only under the lock,
    // so that a second import builds on the first one's result.
    std::unique_ptr<FileLock> lock;
    if (!target.empty()) {
        std::error_code error;
        const std::filesystem::file_status status = links == TargetLinks::Refuse
                                                        ? std::filesystem::symlink_status(target, error)
                                                        : std::filesystem::status(target, error);
        const bool stream = std::filesystem::exists(status) && !std::filesystem::is_regular_file(status) &&
                            !std::filesystem::is_symlink(status) && !std::filesystem::is_directory(status);
        if (!stream) {
            const std::filesystem::path lockFile =
                LockFileFor(links == TargetLinks::Follow ? Resolved(target) : target);
            bool cancelled = false;
            if (std::optional<Problem> problem = TakeImportLock(
                    lockFile, links, m_request.lockTimeout, m_request.cancel,
                    [&] {
                        result.waited = true;
                        if (m_request.onLockWait) {
                            m_request.onLockWait(lockFile);
                        }
                    },
                    lock, cancelled)) {
                result.failure = NotWritten(std::move(*problem));
                return result;
            }
            if (cancelled) {
                result.failure = Stop(ImportStop::Cancelled);
                return result;
            }
        }
    }

    DeviceTable base;
    if (!m_request.replace) {
        const std::filesystem::path user = UserDatabase();
        result.basePath = m_request.db                ? *m_request.db
                          : DatabaseFilePresent(user) ? user
                                                      : m_request.programDirectory / "tacdex.csv";
        if (std::optional<Problem> problem = ReadDeviceTable(result.basePath, base)) {
            result.failure = ImportFailure{ImportStop::BaseNotRead, 0, {}, std::move(problem)};
            return result;
        }
    }
    const DeviceTable* const merged = m_request.replace ? nullptr : &base;
    result.version = m_request.versionText ? *m_request.versionText : DateVersionText(m_clock.LocalNow());
    result.plan = m_import->PlanMerge(merged, result.version);
    result.planned = true;
    if (!result.plan.withinLimits) {
        result.failure = Stop(ImportStop::ResultBeyondLimits);
        return result;
    }

    if (m_request.target == ImportTargetKind::StandardOutput) {
        m_import->WriteMerged(merged, result.version,
                              [this](std::string_view bytes) { m_request.output->Append(bytes); });
        if (const int error = m_request.output->Finish(); error != 0) {
            result.failure = ImportFailure{ImportStop::OutputFailed, 0, ErrnoCode(error)};
        }
        return result;
    }
    FileWriter file(target, links, NameMode::Replace, ".quillon-import-");
    if (std::optional<Problem> problem = file.Open()) {
        result.failure = NotWritten(std::move(*problem));
        return result;
    }
    m_import->WriteMerged(merged, result.version, [&file](std::string_view bytes) { file.Append(bytes); });
    if (std::optional<Problem> problem = file.Commit()) {
        result.failure = NotWritten(std::move(*problem));
        return result;
    }
    result.written = file.WrittenPath();
    result.direct = file.Direct();
    return result;
}

} // namespace quillon
