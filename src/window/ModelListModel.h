#pragma once

#include "devicedb/DeviceTable.h"

#include <QAbstractListModel>
#include <QStringList>

namespace quillon {

// The entries of the model list (Combo1): the fixed texts, then, once the database is loaded, the
// separator and one entry per device line at the position equal to its line number. The device
// entries are made from the table when the list asks for them, so a database of many lines costs
// the list no memory of its own. The table is the start-up read: later re-reads do not change it.
class ModelListModel : public QAbstractListModel {
    Q_OBJECT

public:
    explicit ModelListModel(QObject* parent = nullptr) : QAbstractListModel(parent) {}

    // Positions 0 to 24; drops any device entries.
    void SetFixedTexts(const QStringList& texts);
    // Appends the separator and the device entries of `table`.
    void SetDevices(const DeviceTable& table);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

private:
    QStringList m_fixed;
    DeviceTable m_table;
    int m_deviceRows = 0;
};

} // namespace quillon
