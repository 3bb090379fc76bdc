#pragma once

// One import, as both programs run it: read the sources, then write the merged database under a
// lock. Between the two steps a caller may change one source's settings (pad its codes, name its
// columns, let long rows through) and read again; nothing is written before Write. The run hands
// out facts and problems, never words: src/present words them for the program that shows them.

#include "devicedb/DeviceImport.h"
#include "devicedb/DeviceTable.h"
#include "system/Clock.h"
#include "system/Problem.h"

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

namespace quillon {

// How long an import waits for another import into the same file to finish.
inline constexpr std::chrono::seconds kImportLockTimeout{60};

// Where the result goes.
enum class ImportTargetKind {
    UserDatabase,   // the user's own tacdex.csv, in the user's data folder (made when missing)
    File,           // the file named
    StandardOutput, // the caller's stream
};

// The stream of ImportTargetKind::StandardOutput.
class ImportOutput {
public:
    virtual ~ImportOutput() = default;
    virtual void Append(std::string_view bytes) = 0;
    // Ends the output: the errno value of a failed write, 0 when all went out.
    virtual int Finish() = 0;
};

struct ImportSource {
    std::filesystem::path path; // empty: standard input
    ImportSettings settings{};
};

struct ImportRequest {
    std::vector<ImportSource> sources;
    ImportTargetKind target = ImportTargetKind::UserDatabase;
    std::filesystem::path targetFile{};        // ImportTargetKind::File
    ImportOutput* output = nullptr;            // ImportTargetKind::StandardOutput
    ByteSource* standardInput = nullptr;       // the source of an empty path; none: closed
    std::optional<std::filesystem::path> db{}; // the base; none: the database in use at writing
    bool replace = false;                      // no base: the imported devices alone
    std::optional<std::string> versionText{};  // none: the date of the run, yyyy-mm-dd
    std::filesystem::path programDirectory{};  // where the database beside the program lies
    // The user's own tacdex.csv, the target of ImportTargetKind::UserDatabase and the first choice of
    // base; none: the one in the system's user data folder (UserDatabasePath).
    std::optional<std::filesystem::path> userDatabase{};
    // Bytes read of all the reading's bytes (0 when not known); a source read again counts again.
    std::function<void(std::uint64_t read, std::uint64_t total)> progress{};
    // Set from any thread: the reading stops at its next block, a wait for the lock within a tenth
    // of a second, and nothing is written.
    const std::atomic<bool>* cancel = nullptr;
    // Called once when the lock is held by another import and the run waits for it.
    std::function<void(const std::filesystem::path& lockFile)> onLockWait{};
    std::chrono::milliseconds lockTimeout = kImportLockTimeout;
};

// Why an import stopped; `source` names the source where one is concerned.
enum class ImportStop {
    NoUserFolder,        // the environment names no folder for the user's data
    StandardInputClosed, // a source is standard input, which is closed
    StandardInputAgain,  // standard input cannot be read a second time
    SourceNotOpened,     // `error`
    SourceStopped,       // the source's read says why (its ExportRead outcome)
    Cancelled,
    NoDevices,          // no row held a device
    BaseNotRead,        // `problem`: the base database's
    ResultBeyondLimits, // the merged file would pass the database limits (`plan`)
    NotWritten,         // `problem`: the lock, the folder or the file
    OutputFailed,       // standard output: `error`
};

struct ImportFailure {
    ImportStop stop;
    std::size_t source = 0;
    std::error_code error{};
    std::optional<Problem> problem{};
};

// What one source gave.
struct SourceFindings {
    std::filesystem::path path; // empty: standard input
    ExportRead read{};
    bool done = false; // whether it was read (a run that stopped earlier leaves the rest unread)
};

// What reading found.
struct ImportFindings {
    std::vector<SourceFindings> sources;
    std::array<SkippedRows, kSkipReasonCount> skipped{}; // over all sources, `file` the source index
    std::size_t devices = 0;
    std::size_t repeated = 0; // rows whose code an earlier row had
    std::optional<ImportFailure> failure{};
    bool ok() const { return !failure; }
};

// What writing did.
struct ImportResult {
    std::optional<ImportFailure> failure{};
    std::filesystem::path target{};   // the file meant; empty for standard output
    std::filesystem::path basePath{}; // the base read; empty without a base
    DeviceImport::Plan plan{};
    bool planned = false; // the base was read and the merge planned: `plan` holds it
    std::string version;
    std::filesystem::path written{}; // the file written; empty for standard output
    bool direct = false;             // written into a device or FIFO as a stream
    bool waited = false;             // another import held the lock for a while
    bool ok() const { return !failure; }
};

class ImportRun {
public:
    ImportRun(ImportRequest request, Clock& clock);

    // Reads every source, in order, into a fresh store; the findings are kept until the next Read.
    const ImportFindings& Read();
    // The settings of source `index`, for the next Read.
    void SetSettings(std::size_t index, const ImportSettings& settings);
    const ImportRequest& Request() const { return m_request; }
    const ImportFindings& Findings() const { return m_findings; }

    // Takes the lock beside a regular-file target, chooses and reads the base under it, merges and
    // writes. Only after a Read that found devices.
    ImportResult Write();

private:
    std::optional<ImportFailure> ReadSources();
    std::filesystem::path UserDatabase() const;

    ImportRequest m_request;
    Clock& m_clock;
    std::unique_ptr<DeviceImport> m_import;
    ImportFindings m_findings;
    std::size_t m_reads = 0;
};

// The date of the run as a version text: yyyy-mm-dd.
std::string DateVersionText(const LocalDateTime& when);

// The columns to offer first for a source whose header the run does not recognise, from the
// fields of its first line (ExportRead::headerFields): the first eight-digit field as the code,
// else the first field; the next two other fields as manufacturer and model; and whether the first
// line is a header, as the reading decides it when not told: when no field of it is an eight-digit code.
struct ColumnSuggestion {
    std::size_t code = 0;
    std::optional<std::size_t> manufacturer{};
    std::optional<std::size_t> model{};
    bool firstLineIsHeader = true;
};
ColumnSuggestion SuggestColumns(const std::vector<std::string>& firstLineFields);

// Moving the user's own tacdex.csv aside in its folder, so that the database beside the program is
// used again and nothing is lost: under the lock that imports into the file take turns by, it is
// renamed tacdex-yyyy-mm-dd_hhmmss.csv (with -2, -3, ... before ".csv" when that name is taken),
// never over another file.
struct SetAsideRequest {
    // The user's own tacdex.csv; none: the one in the system's user data folder (UserDatabasePath).
    std::optional<std::filesystem::path> userDatabase{};
    const std::atomic<bool>* cancel = nullptr; // set from any thread: the wait for the lock ends
    std::function<void(const std::filesystem::path& lockFile)> onLockWait{};
    std::chrono::milliseconds lockTimeout = kImportLockTimeout;
};

enum class SetAsideStop {
    NoUserFolder, // the environment names no folder for the user's data
    NoUserFile,   // nothing stands at the user's file: there is nothing to move
    Cancelled,
    LockNotTaken, // `problem`: the lock's
    NotRenamed,   // `error`; `movedTo` is the name tried
    NoFreeName,   // every name up to kSetAsideNames was taken; `movedTo` is the last tried
};

// The names tried, the first one's and those with -2 to -999.
inline constexpr int kSetAsideNames = 999;

struct SetAsideResult {
    std::optional<SetAsideStop> stop{};
    std::optional<Problem> problem{};
    std::error_code error{};
    std::filesystem::path userDatabase{}; // the file meant
    std::filesystem::path movedTo{};      // its new name
    bool waited = false;                  // another import held the lock for a while
    bool ok() const { return !stop; }
};

SetAsideResult SetUserDatabaseAside(const SetAsideRequest& request, Clock& clock);
// Attempt 1 (from 1) of the new name: "tacdex-2026-01-02_030405.csv" beside "tacdex.csv"; attempt
// 2 "tacdex-2026-01-02_030405-2.csv".
std::filesystem::path SetAsideName(const std::filesystem::path& userDatabase, const LocalDateTime& when, int attempt);

} // namespace quillon
