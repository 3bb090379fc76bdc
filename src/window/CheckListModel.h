#pragma once

#include "validation/ListCheck.h"
#include "validation/Validation.h"

#include <QAbstractTableModel>
#include <QString>

#include <cstdint>
#include <memory>
#include <vector>

namespace quillon {

// The results table of "Check a List": a view over a checked list in the order given, whose cells
// are worded when the view asks for them (the row's input validated once more), so that no text
// is kept per cell however many rows there are.
class CheckListModel final : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit CheckListModel(QObject* parent = nullptr);

    // The rows to show, `order` indexing into `list`.
    void Show(std::shared_ptr<const CheckedList> list, std::vector<std::uint32_t> order);
    const std::shared_ptr<const CheckedList>& List() const { return m_list; }
    // The list's index of a row of the table.
    std::uint32_t ListIndex(int row) const { return m_order[static_cast<std::size_t>(row)]; }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // The text of a cell as the table shows it.
    QString CellText(int row, ListField field) const;

private:
    const ValidationResult& ResultOf(std::uint32_t index) const;

    std::shared_ptr<const CheckedList> m_list;
    std::vector<std::uint32_t> m_order;
    // The last row worded: a view asks for its cells one after another.
    mutable ValidationResult m_result;
    mutable std::int64_t m_resultIndex = -1;
};

// The column titles of the table, in ListField order.
QString ListFieldTitle(ListField field);

} // namespace quillon
