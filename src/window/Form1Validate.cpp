#include "Form1.h"

#include "ClickableLabel.h"
#include "QtText.h"
#include "ValidationPresenter.h"

#include "present/ProblemText.h"

#include <QCheckBox>
#include <QColor>
#include <QLineEdit>
#include <QPalette>

namespace quillon {

void Form1::Command1_Click() {
    // A generation run owns Text1 and the result panel until it ends.
    if (GenerationRunning()) {
        return;
    }
    ValidateIMEI();
}

BoxStates Form1::CurrentBoxStates() const {
    BoxStates boxes{};
    for (std::size_t i = 0; i < boxes.size(); ++i) {
        boxes[i] = m_reportingBodyBoxes[i]->isChecked();
    }
    return boxes;
}

void Form1::ApplyBoxStates(const BoxStates& boxes) {
    for (std::size_t i = 0; i < boxes.size(); ++i) {
        m_reportingBodyBoxes[i]->setChecked(boxes[i]);
    }
}

void Form1::ShowLuhnCaptions(const LuhnCaptions& captions) {
    SetCaption(m_luhnDigitsLabel, captions.check);
    SetCaption(m_checkSumLabel, captions.checkSum);
    SetCaption(m_luhnCheckDigitLabel, captions.luhn);
}

void Form1::ValidateIMEI() {
    const ValidationResult result = ValidateText(m_imeiEdit->text().toStdString(), m_database, CurrentBoxStates());
    ApplyValidationResult(result);
    // A failed re-read is told once, with its reason, until the file can be read again.
    if (result.databaseProblem) {
        m_dialogs.ShowMessage(
            ToQString(ProblemText(*result.databaseProblem)) +
            QStringLiteral(" The last good read of the database is used until it can be read again."));
    }
}

void Form1::ApplyValidationResult(const ValidationResult& result) {
    const QString normalised = ToQString(result.normalised);
    m_imeiEdit->setText(normalised);
    m_currentIMEI = normalised;
    m_verdictLabel->hide();
    m_resultCaptionLabel->hide();
    if (result.rejected) {
        // The rest of the panel keeps what the previous run wrote.
        m_dialogs.ShowMessage(QString::fromLatin1(kInvalidImeiMessage));
        return;
    }

    const ResultPanel panel = PresentValidation(result);
    SetCaption(m_presentationLabel, panel.presentation);
    SetCaption(m_reportingBodyLabel, panel.reportingBody);
    ApplyBoxStates(result.boxes);
    SetCaption(m_tacLabel, panel.tac);
    SetCaption(m_serialLabel, panel.serial);

    m_foundInDB = result.device.found;
    if (panel.deviceLinesShown) {
        SetCaption(m_manufacturerLabel, panel.manufacturer);
        SetCaption(m_modelLabel, panel.model);
        m_manufacturerLabel->show();
        m_modelLabel->show();
    } else {
        m_manufacturerLabel->hide();
        m_modelLabel->hide();
    }

    ShowLuhnCaptions(panel.luhn);

    m_imeiValid = result.valid;
    QPalette palette = m_verdictLabel->palette();
    palette.setColor(QPalette::WindowText, panel.verdictColour);
    m_verdictLabel->setPalette(palette);
    SetCaption(m_verdictLabel, panel.verdict);
    m_verdictLabel->show();
    m_resultCaptionLabel->show();
}

void Form1::Label10_Click() {
    // A clipboard held by another program leaves it as it was; the copy simply has no effect.
    m_clipboard.SetClipboardText(m_tacLabel->text());
}

} // namespace quillon
