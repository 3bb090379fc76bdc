#pragma once

#include "Platform.h"

#include <QDialog>
#include <QString>
#include <QStringList>

class QCheckBox;
class QDialogButtonBox;
class QListWidget;

namespace quillon {

// The columns of a device list whose header the import does not recognise: the fields of its first
// line in three lists, code, manufacturer and model (the last two also offer none), and the box
// "The first line is a header". OK needs a manufacturer or a model.
class ColumnDialog final : public QDialog {
    Q_OBJECT
public:
    ColumnDialog(const QString& text, const QStringList& fields, const ColumnChoice& suggested,
                 QWidget* parent = nullptr);

    ColumnChoice Choice() const;

private:
    void UpdateOk();

    QListWidget* m_code = nullptr;
    QListWidget* m_manufacturer = nullptr;
    QListWidget* m_model = nullptr;
    QCheckBox* m_header = nullptr;
    QDialogButtonBox* m_buttons = nullptr;
};

// The column of a list of IMEIs whose header names no IMEI column: "No header: one input per line"
// first, then the fields of the list's first line.
class ImeiColumnDialog final : public QDialog {
    Q_OBJECT
public:
    ImeiColumnDialog(const QString& text, const QStringList& fields, QWidget* parent = nullptr);

    // The column, from 0, or -1 for one input per line.
    int Choice() const;

private:
    QListWidget* m_column = nullptr;
};

} // namespace quillon
