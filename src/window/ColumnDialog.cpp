#include "ColumnDialog.h"

#include "QtText.h"
#include "identity/Identity.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace quillon {

namespace {

// A list of the fields, "1: TAC" for the first; with `none`, "(none)" comes first, at row 0.
QListWidget* FieldList(const QString& name, const QStringList& fields, bool none, int chosen, QWidget* parent) {
    auto* list = new QListWidget(parent);
    list->setObjectName(name);
    list->setAccessibleName(name);
    if (none) {
        list->addItem(QStringLiteral("(none)"));
    }
    for (qsizetype i = 0; i < fields.size(); ++i) {
        list->addItem(QStringLiteral("%1: %2").arg(i + 1).arg(fields[i]));
    }
    const int offset = none ? 1 : 0;
    list->setCurrentRow(chosen >= 0 && chosen < fields.size() ? chosen + offset : 0);
    return list;
}

// A dialog with the program's caption and `text` at its top; the layout to go on with.
QVBoxLayout* StartDialog(QDialog* dialog, const QString& name, const QString& text) {
    dialog->setObjectName(name);
    dialog->setWindowTitle(ToQString(identity::kMessageCaption));
    auto* layout = new QVBoxLayout(dialog);
    auto* intro = new QLabel(text, dialog);
    intro->setTextFormat(Qt::PlainText);
    intro->setWordWrap(true);
    layout->addWidget(intro);
    return layout;
}

// OK and Cancel at the bottom.
QDialogButtonBox* AddButtons(QDialog* dialog, QVBoxLayout* layout) {
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    layout->addWidget(buttons);
    return buttons;
}

// The field position of a list's row; -1 for "(none)".
int FieldAt(const QListWidget* list, bool none) {
    const int row = list->currentRow();
    return none ? row - 1 : row;
}

} // namespace

ColumnDialog::ColumnDialog(const QString& text, const QStringList& fields, const ColumnChoice& suggested,
                           QWidget* parent)
    : QDialog(parent) {
    QVBoxLayout* layout = StartDialog(this, QStringLiteral("ColumnDialog"), text);

    auto* lists = new QGridLayout();
    m_code = FieldList(QStringLiteral("Code"), fields, false, suggested.code, this);
    m_manufacturer = FieldList(QStringLiteral("Manufacturer"), fields, true, suggested.manufacturer, this);
    m_model = FieldList(QStringLiteral("Model"), fields, true, suggested.model, this);
    int column = 0;
    for (QListWidget* list : {m_code, m_manufacturer, m_model}) {
        auto* caption = new QLabel(list->objectName(), this);
        caption->setBuddy(list);
        lists->addWidget(caption, 0, column);
        lists->addWidget(list, 1, column);
        ++column;
        connect(list, &QListWidget::currentRowChanged, this, &ColumnDialog::UpdateOk);
    }
    layout->addLayout(lists);

    m_header = new QCheckBox(QStringLiteral("The first line is a header"), this);
    m_header->setObjectName(QStringLiteral("FirstLineIsHeader"));
    m_header->setChecked(suggested.firstLineIsHeader);
    layout->addWidget(m_header);

    m_buttons = AddButtons(this, layout);
    UpdateOk();
}

ColumnChoice ColumnDialog::Choice() const {
    return {FieldAt(m_code, false), FieldAt(m_manufacturer, true), FieldAt(m_model, true), m_header->isChecked()};
}

void ColumnDialog::UpdateOk() {
    const ColumnChoice choice = Choice();
    m_buttons->button(QDialogButtonBox::Ok)
        ->setEnabled(choice.code >= 0 && (choice.manufacturer >= 0 || choice.model >= 0));
}

ImeiColumnDialog::ImeiColumnDialog(const QString& text, const QStringList& fields, QWidget* parent) : QDialog(parent) {
    QVBoxLayout* layout = StartDialog(this, QStringLiteral("ImeiColumnDialog"), text);
    m_column = FieldList(QStringLiteral("IMEI column"), fields, false, 0, this);
    m_column->insertItem(0, QStringLiteral("No header: one input per line"));
    m_column->setCurrentRow(fields.isEmpty() ? 0 : 1);
    layout->addWidget(m_column);
    AddButtons(this, layout);
}

int ImeiColumnDialog::Choice() const {
    return m_column->currentRow() - 1;
}

} // namespace quillon
