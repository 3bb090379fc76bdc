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
    for (int number = 1; number <= kBoxCount; ++number) {
        boxes[static_cast<std::size_t>(number - 1)] = m_check[static_cast<std::size_t>(number)]->isChecked();
    }
    return boxes;
}

void Form1::ApplyBoxStates(const BoxStates& boxes) {
    for (int number = 1; number <= kBoxCount; ++number) {
        m_check[static_cast<std::size_t>(number)]->setChecked(boxes[static_cast<std::size_t>(number - 1)]);
    }
}

void Form1::ShowLuhnCaptions(const LuhnCaptions& captions) {
    SetCaption(LuhnDigitsLabel(), captions.check);
    SetCaption(CheckSumLabel(), captions.checkSum);
    SetCaption(LuhnCheckDigitLabel(), captions.luhn);
}

void Form1::ValidateIMEI() {
    const ValidationResult result = ValidateText(m_text1->text().toStdString(), m_database, CurrentBoxStates());
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
    m_text1->setText(normalised);
    m_currentIMEI = normalised;
    VerdictLabel()->hide();
    ResultCaptionLabel()->hide();
    if (result.rejected) {
        // The rest of the panel keeps what the previous run wrote.
        m_dialogs.ShowMessage(QString::fromLatin1(kInvalidImeiMessage));
        return;
    }

    const ResultPanel panel = PresentValidation(result);
    SetCaption(PresentationLabel(), panel.presentation);
    SetCaption(ReportingBodyLabel(), panel.reportingBody);
    ApplyBoxStates(result.boxes);
    SetCaption(TacLabel(), panel.tac);
    SetCaption(SerialLabel(), panel.serial);

    m_foundInDB = result.device.found;
    if (panel.deviceLinesShown) {
        SetCaption(ManufacturerLabel(), panel.manufacturer);
        SetCaption(ModelLabel(), panel.model);
        ManufacturerLabel()->show();
        ModelLabel()->show();
    } else {
        ManufacturerLabel()->hide();
        ModelLabel()->hide();
    }

    ShowLuhnCaptions(panel.luhn);

    m_imeiValid = result.valid;
    QPalette palette = VerdictLabel()->palette();
    palette.setColor(QPalette::WindowText, panel.verdictColour);
    VerdictLabel()->setPalette(palette);
    SetCaption(VerdictLabel(), panel.verdict);
    VerdictLabel()->show();
    ResultCaptionLabel()->show();
}

void Form1::Label10_Click() {
    // A clipboard held by another program leaves it as it was; the copy simply has no effect.
    m_clipboard.SetClipboardText(TacLabel()->text());
}

} // namespace quillon
