#include "Form1.h"

#include "QtText.h"
#include "identity/Identity.h"

#include "devicedb/DatabaseLocation.h"
#include "generation/Report.h"
#include "present/ImportText.h"
#include "present/ProblemText.h"

#include <QAction>
#include <QProgressBar>
#include <QProgressDialog>
#include <QPushButton>

#include <algorithm>
#include <exception>
#include <new>
#include <string>
#include <vector>

namespace quillon {

// Importing device lists into the user's own tacdex.csv, and going back to the shipped one. The
// core's run does the work, a step at a time on a thread of its own, and touches no widget; the
// window asks its questions between the steps, and nothing is written before the last one.

namespace {

// The progress bar's steps over the bytes of a reading.
constexpr int kProgressSteps = 1000;
// A step shorter than this shows no progress dialog.
constexpr int kProgressDelayMs = 500;

// A line of the core's words as a message box shows it: as the start of a sentence.
QString Sentence(const std::string& text) {
    QString line = ToQString(text);
    if (!line.isEmpty() && line[0].isLower()) {
        line[0] = line[0].toUpper();
    }
    return line;
}

QString Message(const std::vector<std::string>& lines) {
    QStringList shown;
    for (const std::string& line : lines) {
        shown.append(Sentence(line));
    }
    return shown.join(ToQString(kReportLineEnd));
}

// What the user chose in a column dialog, as the import reads it.
ColumnChoice Suggested(const ColumnSuggestion& suggestion) {
    const auto position = [](const std::optional<std::size_t>& index) { return index ? static_cast<int>(*index) : -1; };
    return {static_cast<int>(suggestion.code), position(suggestion.manufacturer), position(suggestion.model),
            suggestion.firstLineIsHeader};
}

void ApplyColumns(const ColumnChoice& choice, ImportSettings& settings) {
    const auto index = [](int position) {
        return position >= 0 ? std::optional<std::size_t>(static_cast<std::size_t>(position)) : std::nullopt;
    };
    settings.codeIndex = static_cast<std::size_t>(std::max(choice.code, 0));
    settings.manufacturerIndex = index(choice.manufacturer);
    settings.modelIndex = index(choice.model);
    settings.firstLineIsHeader = choice.firstLineIsHeader;
}

} // namespace

void Form1::UpdateCommandStates() {
    m_validateButton->setEnabled(!m_importRunning);
    m_generateButton->setEnabled(!m_importRunning);
    m_updateAction->setEnabled(!m_importRunning);
    const bool importMayStart = !m_importRunning && !m_generationRunning;
    m_importAction->setEnabled(importMayStart);
    m_useShippedAction->setEnabled(importMayStart);
}

void Form1::ImportDeviceList_Click() {
    if (m_importRunning || m_generationRunning || m_updateCheck.joinable()) {
        return;
    }
    // Looked for again now: a list of the user's own may have appeared or vanished since start-up.
    // One that is there but not in use was refused at start-up, or has appeared since; the first
    // cannot be the base of an import, so it may be moved aside first.
    const std::filesystem::path userFile = UserDatabaseFile();
    m_setAsideFirst = false;
    if (DatabaseFilePresent(userFile) && m_database.Path() != userFile) {
        DeviceTable table;
        if (const std::optional<Problem> refusal = ReadDeviceTable(userFile, table, TableLookup::Scan)) {
            if (!m_dialogs.Ask(ToQString(RefusedUserDatabaseQuestion(*refusal)))) {
                return;
            }
            m_setAsideFirst = true;
        }
    }

    const QStringList files = m_files.ChooseFilesToOpen(
        QStringLiteral("Import Device List"),
        {QStringLiteral("Device lists (*.txt *.csv *.tsv)"), QStringLiteral("All files (*)")});
    if (files.isEmpty()) {
        return;
    }
    ImportRequest request;
    for (const QString& file : files) {
        request.sources.push_back({std::filesystem::path(file.toStdU16String()), {}});
    }
    request.target = ImportTargetKind::UserDatabase;
    request.userDatabase = userFile;
    request.programDirectory = m_programDirectory;
    request.lockTimeout = m_importLockTimeout;
    request.cancel = &m_cancelImport;
    request.onLockWait = [this](const std::filesystem::path& lockFile) { ShowLockWait(lockFile); };
    request.progress = [this](std::uint64_t read, std::uint64_t total) {
        if (m_importProgressHook) {
            m_importProgressHook(read, total);
        }
        m_progressRead = read;
        m_progressTotal = total;
        // One update waiting at a time: the window catches up with the latest numbers.
        if (!m_progressPosted.exchange(true)) {
            QMetaObject::invokeMethod(
                this,
                [this] {
                    m_progressPosted = false;
                    ShowImportProgress();
                },
                Qt::QueuedConnection);
        }
    };
    m_importRun = std::make_unique<ImportRun>(std::move(request), m_clock);
    m_padCodesAsked.assign(static_cast<std::size_t>(files.size()), false);
    BeginImport();
    ReadImport();
}

void Form1::UseShippedDeviceList_Click() {
    if (m_importRunning || m_generationRunning || m_updateCheck.joinable()) {
        return;
    }
    const std::filesystem::path userFile = UserDatabaseFile();
    const std::filesystem::path shipped = m_programDirectory / "tacdex.csv";
    if (DatabaseFilePresent(userFile)) {
        if (!m_dialogs.Ask(ToQString(SetAsideQuestion(userFile, shipped)))) {
            return;
        }
    } else if (m_database.Path() == shipped) {
        m_dialogs.ShowMessage(ToQString(ShippedListInUseText(userFile, shipped)));
        return;
    }
    // Otherwise the user's file in use has vanished since: there is nothing to move, and the
    // shipped list is read as it would be.
    BeginImport();
    RunImportStep(
        QStringLiteral("Reading the shipped device list..."), false,
        [this, userFile, shipped] {
            // The shipped list first: when it cannot be read, nothing is moved.
            m_stagedDatabase.emplace(shipped, TableLookup::Scan);
            m_stagedProblem = m_stagedDatabase->Load();
            if (!m_stagedProblem) {
                m_setAside = SetUserDatabaseAside(
                    {userFile, &m_cancelImport,
                     [this](const std::filesystem::path& lockFile) { ShowLockWait(lockFile); }, m_importLockTimeout},
                    m_clock);
            }
        },
        &Form1::ShippedListRead);
}

void Form1::BeginImport() {
    m_importRunning = true;
    m_cancelImport = false;
    m_setAside.reset();
    m_importResult.reset();
    m_stagedDatabase.reset();
    m_stagedProblem.reset();
    m_importError.clear();
    UpdateCommandStates();
}

void Form1::RunImportStep(const QString& label, bool counted, std::function<void()> work, void (Form1::*then)()) {
    const unsigned step = ++m_importStep;
    m_progressRead = 0;
    m_progressTotal = 0;
    // Modal to this window alone, so that other windows of the program stay usable; shown only
    // when the step takes longer than kProgressDelayMs.
    m_importProgress = new QProgressDialog(this);
    m_importProgress->setObjectName(QStringLiteral("ImportProgress"));
    m_importProgress->setWindowTitle(ToQString(identity::kMessageCaption));
    m_importProgress->setWindowModality(Qt::WindowModal);
    // The bar is set directly: the dialog's own setValue would run the event loop from inside it.
    m_importBar = new QProgressBar(m_importProgress);
    m_importProgress->setBar(m_importBar);
    m_importProgress->setLabelText(label);
    m_importProgress->setCancelButtonText(QStringLiteral("Cancel"));
    m_importProgress->setAutoClose(false);
    m_importProgress->setAutoReset(false);
    m_importProgress->setRange(0, counted ? kProgressSteps : 0); // else a bar that only shows it works
    m_importProgress->setMinimumDuration(kProgressDelayMs);
    m_importProgress->setValue(0); // the wait before it shows starts here
    connect(m_importProgress, &QProgressDialog::canceled, this, [this] { m_cancelImport = true; });

    m_importThread = std::thread([this, step, then, work = std::move(work)] {
        try {
            work();
        } catch (const std::bad_alloc&) {
            m_importError = QStringLiteral("There was not enough memory for the import. Nothing was written.");
        } catch (const std::exception& error) {
            m_importError = QStringLiteral("The import stopped: %1. Nothing was written.").arg(ToQString(error.what()));
        }
        QMetaObject::invokeMethod(
            this,
            [this, step, then] {
                // A step that the window stopped (closing) has nothing more to say.
                if (step != m_importStep || !m_importRunning) {
                    return;
                }
                FinishImportStep();
                (this->*then)();
            },
            Qt::QueuedConnection);
    });
}

void Form1::FinishImportStep() {
    if (m_importThread.joinable()) {
        m_importThread.join();
    }
    // Deleted at once: its timer would otherwise still show it during the questions and the message
    // that follow, which run event loops of their own. Nothing of the dialog's is on the stack here.
    delete m_importProgress;
    m_importProgress = nullptr;
    m_importBar = nullptr;
}

void Form1::ShowImportProgress() {
    if (m_importBar == nullptr) {
        return;
    }
    const std::uint64_t total = m_progressTotal;
    const std::uint64_t read = std::min<std::uint64_t>(m_progressRead, total);
    if (total == 0) {
        m_importBar->setRange(0, 0); // a stream of unknown length
        return;
    }
    m_importBar->setRange(0, kProgressSteps);
    m_importBar->setValue(static_cast<int>(read * kProgressSteps / total));
}

void Form1::ShowLockWait(const std::filesystem::path& lockFile) {
    // On the step's thread: the words go to the window's, ahead of the step's end.
    const QString label = Sentence(ImportLockWaitLine(lockFile));
    QMetaObject::invokeMethod(
        this,
        [this, label] {
            if (m_importProgress != nullptr) {
                m_importProgress->setLabelText(label);
            }
        },
        Qt::QueuedConnection);
}

void Form1::ReadImport() {
    RunImportStep(
        QStringLiteral("Reading the device lists..."), true, [this] { m_importRun->Read(); }, &Form1::ImportRead);
}

// After a reading: a question where the user can help (columns, long rows, short codes), the
// reading again with the answer, else the failure or the writing.
void Form1::ImportRead() {
    if (!m_importError.isEmpty()) {
        EndImport(m_importError);
        return;
    }
    const ImportFindings& findings = m_importRun->Findings();
    const std::optional<ImportFailure>& failure = findings.failure;
    if (m_cancelImport || (failure && failure->stop == ImportStop::Cancelled)) {
        EndImport();
        return;
    }
    if (failure && failure->stop == ImportStop::SourceStopped && failure->source < findings.sources.size()) {
        const std::size_t index = failure->source;
        const SourceFindings& source = findings.sources[index];
        ImportSettings settings = m_importRun->Request().sources[index].settings;
        if (source.read.outcome == ExportRead::Outcome::NoHeader && !settings.codeIndex) {
            QStringList fields;
            for (const std::string& field : source.read.headerFields) {
                fields.append(ToQString(field));
            }
            const std::optional<ColumnChoice> choice = m_columns.ChooseColumns(
                ToQString(ImportColumnsText(source)), fields, Suggested(SuggestColumns(source.read.headerFields)));
            if (!choice) {
                EndImport();
                return;
            }
            ApplyColumns(*choice, settings);
            m_importRun->SetSettings(index, settings);
            ReadImport();
            return;
        }
        if (source.read.outcome == ExportRead::Outcome::RowTooLong && !settings.longRows) {
            if (!m_dialogs.Ask(ToQString(ImportLongRowsQuestion(source)))) {
                EndImport();
                return;
            }
            settings.longRows = true;
            m_importRun->SetSettings(index, settings);
            ReadImport();
            return;
        }
    }
    if (failure && failure->stop != ImportStop::NoDevices) {
        EndImport(Sentence(ImportFailureText(*failure, findings, nullptr, ImportAudience::Window)));
        return;
    }

    // Each source with short codes is offered its leading zeros once; a yes reads it again.
    bool readAgain = false;
    for (std::size_t index = 0; index < findings.sources.size(); ++index) {
        const SourceFindings& source = findings.sources[index];
        ImportSettings settings = m_importRun->Request().sources[index].settings;
        if (m_padCodesAsked[index] || settings.padCodes || !source.done ||
            source.read.skipped[static_cast<std::size_t>(SkipReason::ShortCode)] == 0) {
            continue;
        }
        m_padCodesAsked[index] = true;
        if (m_dialogs.Ask(ToQString(ImportPadCodesQuestion(source)))) {
            settings.padCodes = true;
            m_importRun->SetSettings(index, settings);
            readAgain = true;
        }
    }
    if (readAgain) {
        ReadImport();
        return;
    }
    if (failure) {
        std::vector<std::string> lines = ImportReadLines(findings);
        for (std::string& line : ImportSkippedLines(findings, ImportAudience::Window)) {
            lines.push_back(std::move(line));
        }
        lines.push_back(ImportFailureText(*failure, findings, nullptr, ImportAudience::Window));
        EndImport(Message(lines));
        return;
    }
    WriteImport();
}

void Form1::WriteImport() {
    const bool setAside = m_setAsideFirst;
    const std::filesystem::path userFile = UserDatabaseFile();
    RunImportStep(
        QStringLiteral("Writing your device list..."), false,
        [this, setAside, userFile] {
            if (setAside) {
                m_setAside = SetUserDatabaseAside(
                    {userFile, &m_cancelImport,
                     [this](const std::filesystem::path& lockFile) { ShowLockWait(lockFile); }, m_importLockTimeout},
                    m_clock);
                if (!m_setAside->ok() && m_setAside->stop != SetAsideStop::NoUserFile) {
                    return;
                }
            }
            m_importResult = m_importRun->Write();
            if (m_importResult->ok()) {
                // Read here rather than on the window's thread: it may be a large file.
                m_stagedDatabase.emplace(m_importResult->written.empty() ? m_importResult->target
                                                                         : m_importResult->written,
                                         TableLookup::Scan);
                m_stagedProblem = m_stagedDatabase->Load();
            }
        },
        &Form1::ImportWritten);
}

void Form1::ImportWritten() {
    if (!m_importError.isEmpty()) {
        EndImport(m_importError);
        return;
    }
    std::vector<std::string> lines;
    if (m_setAside) {
        if (m_setAside->ok()) {
            lines.push_back(SetAsideLine(*m_setAside));
        } else if (m_setAside->stop == SetAsideStop::Cancelled) {
            EndImport();
            return;
        } else if (m_setAside->stop != SetAsideStop::NoUserFile) {
            EndImport(ToQString(SetAsideFailureText(*m_setAside)));
            return;
        }
    }
    const ImportFindings& findings = m_importRun->Findings();
    const ImportResult& result = *m_importResult;
    if (!result.ok() && result.failure->stop == ImportStop::Cancelled && lines.empty()) {
        EndImport();
        return;
    }
    for (std::string& line : ImportReadLines(findings)) {
        lines.push_back(std::move(line));
    }
    for (std::string& line : ImportSkippedLines(findings, ImportAudience::Window)) {
        lines.push_back(std::move(line));
    }
    if (result.planned) {
        lines.push_back(ImportDevicesLine(findings, result));
        if (result.plan.withinLimits) {
            if (std::optional<std::string> unlisted = ImportUnlistedLine(result)) {
                lines.push_back(std::move(*unlisted));
            }
        }
    }
    if (!result.ok()) {
        lines.push_back(ImportFailureText(*result.failure, findings, &result, ImportAudience::Window));
        EndImport(Message(lines));
        return;
    }
    lines.push_back(ImportWrittenLine(result));
    if (m_stagedProblem) {
        lines.push_back(ProblemText(*m_stagedProblem) + " Quillon goes on with the device list it used.");
    } else {
        // The new list is used at once, as if the window had started with it.
        m_database = std::move(*m_stagedDatabase);
        ShowDatabase();
        FillModelList();
    }
    EndImport(Message(lines));
}

void Form1::ShippedListRead() {
    if (!m_importError.isEmpty()) {
        EndImport(m_importError);
        return;
    }
    if (m_stagedProblem) {
        EndImport(ToQString(ProblemText(*m_stagedProblem)) + QStringLiteral(" Nothing was changed."));
        return;
    }
    if (!m_setAside->ok()) {
        if (m_setAside->stop == SetAsideStop::Cancelled) {
            EndImport();
            return;
        }
        if (m_setAside->stop != SetAsideStop::NoUserFile) {
            EndImport(ToQString(SetAsideFailureText(*m_setAside)));
            return;
        }
    }
    const std::filesystem::path shipped = m_stagedDatabase->Path();
    m_database = std::move(*m_stagedDatabase);
    ShowDatabase();
    FillModelList();
    EndImport(ToQString(ShippedListUsedText(shipped, SummariseDatabase(m_database.Table()), *m_setAside)));
}

void Form1::EndImport(const QString& message) {
    FinishImportStep();
    m_importRun.reset();
    m_stagedDatabase.reset();
    if (!message.isEmpty()) {
        m_dialogs.ShowMessage(message);
    }
    m_importRunning = false;
    UpdateCommandStates();
    emit importFinished();
}

void Form1::StopImport() {
    if (!m_importRunning) {
        return;
    }
    m_cancelImport = true;
    FinishImportStep();
    m_importRun.reset();
    m_stagedDatabase.reset();
    m_importRunning = false;
    UpdateCommandStates();
}

} // namespace quillon
