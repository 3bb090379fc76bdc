#include "Form1.h"

#include "CheckListWindow.h"

#include "ClickableLabel.h"
#include "QtText.h"

#include "generation/ModelCatalogue.h"
#include "generation/Report.h"
#include "imei/Imei.h"
#include "present/ProblemText.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QStandardPaths>
#include <QTimer>

#include <limits>
#include <optional>
#include <string>

namespace quillon {

namespace {

// The count the run asks for, read anew wherever it is used (see RequestedCount).
double RequestedCountFrom(const QString& text) {
    return RequestedCount(text.toStdString());
}

// A count as the stop message names it: "10", "1.5".
QString CountText(double count) {
    return QString::number(count, 'g', 15);
}

// Only U+0020 is trimmed: a tab or another space character is left for the user to see.
QString TrimSpaces(const QString& text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text[begin] == u' ') {
        ++begin;
    }
    while (end > begin && text[end - 1] == u' ') {
        --end;
    }
    return text.mid(begin, end - begin);
}

// A typed text leaves the list's position where it was; a position below 0 belongs to no entry.
std::size_t ModelListPosition(const QComboBox* combo) {
    const int index = combo->currentIndex();
    return index < 0 ? 0 : static_cast<std::size_t>(index);
}

QString PathText(const std::filesystem::path& path) {
    return QDir::toNativeSeparators(QString::fromStdU16String(path.u16string()));
}

// The documents folder the report goes to where the program's folder takes none; empty when the
// system names none.
std::filesystem::path DocumentsFolder(const std::filesystem::path& configured) {
    if (!configured.empty()) {
        return configured;
    }
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    return documents.isEmpty() ? std::filesystem::path() : std::filesystem::path(documents.toStdU16String());
}

} // namespace

// The Generate command. The passes run from m_passTimer, so the window stays responsive between
// them without a nested event loop: each pass shows its candidate, waits the pass interval, tests
// the candidate, lets the window handle waiting events, and only then reads the count to decide
// whether another pass follows.
void Form1::Command2_Click() {
    // The run under way keeps going with what the window shows; a second run would only fight it.
    if (m_generationRunning) {
        return;
    }

    // A prefix that is not eight digits could never give a valid 15-digit number, so the run would
    // never end: it is refused before anything on the window changes.
    const QString trimmedText = TrimSpaces(m_imeiEdit->text());
    const std::string modelText = m_modelList->currentText().toStdString();
    const ModelChoice choice = ResolveModelChoice(modelText, ModelListPosition(m_modelList), m_database.Table());
    if (const std::optional<Problem> problem = ModelPrefixProblem(choice, modelText, trimmedText.toStdString())) {
        m_dialogs.ShowMessage(ToQString(ProblemText(*problem)));
        return;
    }

    m_generation.reset();
    m_random = m_randomSourceFactory ? m_randomSourceFactory() : nullptr;
    if (!m_random) {
        m_random = std::make_unique<SeededRandomSource>(m_clock.TimeOfDaySeed());
    }
    m_generation = std::make_unique<GenerationEngine<RandomSource>>(*m_random);
    // A monotonic clock: the elapsed time of the report can never come out negative.
    m_generationStart = m_clock.Now();

    m_modelList->show();
    m_countList->show();
    m_generatedCountLabel->show();
    m_manufacturerLabel->hide();
    m_modelLabel->hide();
    m_verdictLabel->hide();
    m_resultCaptionLabel->hide();

    m_imeiEdit->setText(trimmedText);
    if (m_countList->currentText().isEmpty()) {
        const int one = m_countList->findText(QStringLiteral("1"));
        if (one >= 0) {
            m_countList->setCurrentIndex(one);
        }
        if (m_countList->currentText().isEmpty()) {
            m_countList->setEditText(QStringLiteral("1"));
        }
    }

    if (m_passTimer == nullptr) {
        m_passTimer = new QTimer(this);
        m_passTimer->setObjectName(QStringLiteral("GenerationPassTimer"));
        m_passTimer->setSingleShot(true);
        // The wait must not come out shorter than asked, as a coarse timer's may.
        m_passTimer->setTimerType(Qt::PreciseTimer);
        connect(m_passTimer, &QTimer::timeout, this, &Form1::GenerationTimeout);
    }
    m_generationRunning = true;
    // Every pass reads the model list, which an import would change under it.
    UpdateCommandStates();
    if (!ShowNextCandidate()) {
        return;
    }
    m_generationStep = GenerationStep::TestCandidate;
    m_passTimer->start(m_passInterval);
}

void Form1::GenerationTimeout() {
    if (!m_generationRunning) {
        return;
    }
    switch (m_generationStep) {
    case GenerationStep::TestCandidate:
        TestCandidate();
        // A zero time-out comes after the events already waiting, so input and repaints are handled
        // before the stop test reads the count again.
        m_generationStep = GenerationStep::StopTest;
        m_passTimer->start(0);
        break;
    case GenerationStep::StopTest:
        if (m_imeiValid &&
            static_cast<double>(m_generation->Counts().valid) >= RequestedCountFrom(m_countList->currentText())) {
            FinishGeneration();
            return;
        }
        if (!ShowNextCandidate()) {
            return;
        }
        m_generationStep = GenerationStep::TestCandidate;
        m_passTimer->start(m_passInterval);
        break;
    }
}

// The first half of a pass, up to the wait. The boxes, the model list and the text box are read
// anew, so a change the user makes during a run takes effect from the next candidate. False when
// the run had to end because the prefix is no longer eight digits.
bool Form1::ShowNextCandidate() {
    const std::string modelText = m_modelList->currentText().toStdString();
    const std::string imeiText = m_imeiEdit->text().toStdString();
    const ModelChoice choice = ResolveModelChoice(modelText, ModelListPosition(m_modelList), m_database.Table());
    const std::optional<CandidateRecipe> recipe = MakeCandidateRecipe(CurrentBoxStates(), choice, imeiText);
    if (!recipe) {
        // Under "Custom" the user has edited the text box, or a device line has changed in the file.
        const std::optional<Problem> problem = ModelPrefixProblem(choice, modelText, imeiText);
        StopGenerationEarly(problem
                                ? ToQString(ProblemText(*problem))
                                : QStringLiteral("The chosen model offers no Type Allocation Code to generate from."));
        return false;
    }

    const std::string_view digits = m_generation->BuildNext(*recipe).Text();
    m_candidate = QString::fromLatin1(digits.data(), static_cast<qsizetype>(digits.size()));
    if (choice.kind == ModelChoiceKind::Device) {
        // A device entry shows the whole validation of every candidate, its own device line included.
        m_imeiEdit->setText(m_candidate);
        ValidateIMEI();
        m_candidate = m_currentIMEI;
    }

    m_imeiEdit->setText(m_candidate);
    m_currentIMEI = m_candidate;
    repaint();

    SetCaption(m_generatedCountLabel,
               QStringLiteral("Generated: ") + QString::number(m_generation->Counts().generated));
    SetCaption(m_validCountLabel, QStringLiteral("Valid: ") + QString::number(m_generation->Counts().valid));
    return true;
}

// The second half of a pass, after the wait.
void Form1::TestCandidate() {
    ShowLuhnCaptions(PresentLuhnWorking(ComputeLuhnWorking(m_candidate.toStdString())));
    // A count of 2 collects its numbers as well: its report would be plainly wrong without them.
    const double requested = RequestedCountFrom(m_countList->currentText());
    m_imeiValid = m_generation->TestCurrent(requested > 1);
    if (m_imeiValid) {
        if (!(requested > 1)) {
            m_imeiEdit->setText(m_candidate);
        }
        if (static_cast<double>(m_generation->Counts().valid) < requested) {
            m_imeiValid = false;
        }
    }
    SetCaption(m_validCountLabel, QStringLiteral("Valid: ") + QString::number(m_generation->Counts().valid));
}

int Form1::GeneratedCount() const {
    return m_generation ? static_cast<int>(m_generation->Counts().generated) : 0;
}

QString Form1::GeneratedList() const {
    return m_generation ? ToQString(m_generation->Collected()) : QString();
}

void Form1::FinishGeneration() {
    if (RequestedCountFrom(m_countList->currentText()) > 1) {
        WriteGenerationReport(m_modelList->currentText());
    }
    StopGeneration();
}

// The prefix stopped being usable in the middle of a run (the user edited the text box under
// "Custom", or the device line changed in the file). What was found so far is kept: the report is
// written as usual with those numbers, and the message says why the run stopped and how far it got.
void Form1::StopGenerationEarly(const QString& why) {
    m_passTimer->stop();
    const double requested = RequestedCountFrom(m_countList->currentText());
    const QString lineEnd = ToQString(kReportLineEnd);
    QString message =
        QStringLiteral("The run stopped early: ") + why + lineEnd +
        QStringLiteral("%1 of %2 numbers were found").arg(m_generation->Counts().valid).arg(CountText(requested));
    if (requested > 1 && m_generation->Counts().valid > 0) {
        const ReportOutcome report = SaveGenerationReport(m_modelList->currentText(), RunEnd::StoppedEarly);
        message += report.ok() ? QStringLiteral(". Output written to ") + report.path
                               : QStringLiteral(".") + lineEnd + report.failure;
    } else {
        message += QStringLiteral("; no report was written.");
    }
    m_dialogs.ShowMessage(message);
    StopGeneration();
}

void Form1::StopGeneration() {
    if (m_passTimer != nullptr) {
        m_passTimer->stop();
    }
    if (!m_generationRunning) {
        return;
    }
    m_generationRunning = false;
    UpdateCommandStates();
    emit generationFinished();
}

void Form1::closeEvent(QCloseEvent* event) {
    // The run ends with the window; what it found so far is not written anywhere. An update check
    // stops too, without a message and without touching update.dat, and so does an import, which
    // writes nothing.
    StopGeneration();
    StopImport();
    m_stopUpdate = true;
    // The program ends with this window, so the check window closes too, its work cancelled.
    if (m_checkList != nullptr) {
        m_checkList->close();
    }
    QMainWindow::closeEvent(event);
}

void Form1::WriteGenerationReport(const QString& modelText) {
    const ReportOutcome report = SaveGenerationReport(modelText);
    m_dialogs.ShowMessage(report.ok() ? QStringLiteral("Calculation completed in %1 seconds. Output written to %2")
                                            .arg(report.seconds, report.path)
                                      : report.failure);
}

Form1::ReportOutcome Form1::SaveGenerationReport(const QString& modelText, RunEnd end) {
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(m_clock.Now() - m_generationStart);
    const std::string seconds = SecondsText(elapsed.count());
    const std::string header = ReportHeader(m_versionText.toStdString(), modelText.toStdString(), seconds, end);
    const std::string fileName = ReportFileName(m_clock.LocalNow());

    ReportOutcome outcome;
    outcome.seconds = ToQString(seconds);
    // An installed program may not write beside itself; the user's documents folder takes the report.
    ReportWriter writer(m_programDirectory, DocumentsFolder(m_documentsDirectory));
    const ReportWriteResult written = writer.Finish(header, fileName, m_generation->Collected());
    if (!written.ok()) {
        // The numbers stay in GeneratedList, and the last of them in the text box.
        outcome.failure = ToQString(ReportNotWrittenText(*written.problem, *written.fallbackProblem));
        return outcome;
    }
    outcome.path = PathText(written.path);
    return outcome;
}

} // namespace quillon
