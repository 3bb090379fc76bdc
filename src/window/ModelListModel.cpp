#include "ModelListModel.h"

#include "QtText.h"
#include "generation/ModelCatalogue.h"

namespace quillon {

void ModelListModel::SetFixedTexts(const QStringList& texts) {
    beginResetModel();
    m_fixed = texts;
    m_table = DeviceTable();
    m_deviceRows = 0;
    endResetModel();
}

void ModelListModel::SetDevices(const DeviceTable& table) {
    beginResetModel();
    m_fixed.append(ToQString(kSeparatorEntry));
    m_table = table;
    // Lines 26 to n - 2: the last two lines (the last device line and the version line) are left
    // out. The table never holds more lines than fit an int.
    const std::size_t lines = table.LineCount();
    m_deviceRows = lines >= kFirstDeviceIndex + 2 ? static_cast<int>(lines - 1 - kFirstDeviceIndex) : 0;
    endResetModel();
}

int ModelListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_fixed.size()) + m_deviceRows;
}

QVariant ModelListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() < 0 || index.row() >= rowCount() ||
        (role != Qt::DisplayRole && role != Qt::EditRole)) {
        return {};
    }
    const auto row = static_cast<qsizetype>(index.row());
    if (row < m_fixed.size()) {
        return m_fixed[row];
    }
    return ToQString(DeviceEntryText(m_table.Line(static_cast<std::size_t>(row))));
}

} // namespace quillon
