#include "Form1.h"

#include "ClickableLabel.h"
#include "QtText.h"

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
    SetCaption(LuhnDigitsLabel(), ToQString(captions.check));
    SetCaption(CheckSumLabel(), ToQString(captions.checkSum));
    SetCaption(LuhnCheckDigitLabel(), ToQString(captions.luhn));
}

void Form1::ValidateIMEI() {
    const ValidationResult result = ValidateText(m_text1->text().toStdString(), m_database, CurrentBoxStates());
    ApplyValidationResult(result);
    // A failed re-read is told once, with its reason, until the file can be read again.
    if (!result.databaseNotice.empty()) {
        m_platform.ShowMessage(ToQString(result.databaseNotice));
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
        m_platform.ShowMessage(ToQString(kInvalidImeiMessage));
        return;
    }

    SetCaption(PresentationLabel(), ToQString(result.presentation));
    SetCaption(ReportingBodyLabel(), ToQString(result.reportingBody));
    ApplyBoxStates(result.boxes);
    SetCaption(TacLabel(), ToQString(result.tac));
    SetCaption(SerialLabel(), ToQString(result.serial));

    m_foundInDB = result.found;
    if (result.deviceLinesShown) {
        SetCaption(ManufacturerLabel(), ToQString(result.manufacturerCaption));
        SetCaption(ModelLabel(), ToQString(result.modelCaption));
        ManufacturerLabel()->show();
        ModelLabel()->show();
    } else {
        ManufacturerLabel()->hide();
        ModelLabel()->hide();
    }

    ShowLuhnCaptions(result.luhnCaptions);

    m_imeiValid = result.valid;
    QPalette palette = VerdictLabel()->palette();
    palette.setColor(QPalette::WindowText,
                     QColor(result.verdictColour.red, result.verdictColour.green, result.verdictColour.blue));
    VerdictLabel()->setPalette(palette);
    SetCaption(VerdictLabel(), ToQString(result.verdictCaption));
    VerdictLabel()->show();
    ResultCaptionLabel()->show();
}

void Form1::Label10_Click() {
    // A clipboard held by another program leaves it as it was; the copy simply has no effect.
    m_platform.SetClipboardText(TacLabel()->text());
}

} // namespace quillon
