#include "CheckListModel.h"

#include "QtText.h"
#include "present/ListText.h"
#include "utf8/Utf8.h"

#include <QColor>

#include <string_view>

namespace quillon {
namespace {

// The verdict's red, as the main window shows INVALID.
constexpr QColor kProblemColour{255, 0, 0};
// What a cell shows of a long input at most; the saved CSV has it whole.
constexpr std::size_t kShownCharacters = 200;

QString Shown(std::string_view text) {
    if (text.size() <= kShownCharacters) {
        return ToQString(text);
    }
    const std::string_view start = Utf8Left(text, kShownCharacters);
    return start.size() == text.size() ? ToQString(text) : ToQString(start) + QChar(0x2026);
}

} // namespace

QString ListFieldTitle(ListField field) {
    switch (field) {
    case ListField::Line:
        return QStringLiteral("Line");
    case ListField::Input:
        return QStringLiteral("Input");
    case ListField::Imei:
        return QStringLiteral("IMEI");
    case ListField::Result:
        return QStringLiteral("Result");
    case ListField::ReportingBody:
        return QStringLiteral("Reporting body");
    case ListField::Tac:
        return QStringLiteral("Type Allocation Code");
    case ListField::Manufacturer:
        return QStringLiteral("Manufacturer");
    case ListField::Model:
        return QStringLiteral("Model");
    case ListField::Repeated:
        return QStringLiteral("Repeated");
    }
    return {};
}

CheckListModel::CheckListModel(QObject* parent) : QAbstractTableModel(parent) {}

void CheckListModel::Show(std::shared_ptr<const CheckedList> list, std::vector<std::uint32_t> order) {
    beginResetModel();
    m_list = std::move(list);
    m_order = std::move(order);
    m_resultIndex = -1;
    endResetModel();
}

int CheckListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_order.size());
}

int CheckListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(kListFieldCount);
}

const ValidationResult& CheckListModel::ResultOf(std::uint32_t index) const {
    if (m_resultIndex != index) {
        m_list->ResultInto(index, m_result);
        m_resultIndex = index;
    }
    return m_result;
}

QString CheckListModel::CellText(int row, ListField field) const {
    const std::uint32_t index = ListIndex(row);
    const CheckedRow& checked = m_list->Row(index);
    switch (field) {
    case ListField::Line:
        return QString::number(checked.line);
    case ListField::Input:
        return Shown(m_list->Input(index));
    case ListField::Result:
        return ToQString(ListResultText(checked));
    case ListField::Repeated:
        return checked.repeatOf == 0 ? QString() : QStringLiteral("line %1").arg(checked.repeatOf);
    default:
        break;
    }
    const ValidationResult& result = ResultOf(index);
    switch (field) {
    case ListField::Imei:
        // The groups of an IMEI; what is no IMEI as it is once cleaned.
        return Shown(checked.verdict == ListVerdict::NotAnImei ? std::string_view(result.normalised)
                                                               : std::string_view(result.presentation));
    case ListField::ReportingBody:
        return Shown(result.reportingBodyText);
    case ListField::Tac:
        return Shown(result.tac);
    case ListField::Manufacturer:
        return Shown(result.device.manufacturer);
    case ListField::Model:
        if (!result.device.found) {
            return checked.verdict == ListVerdict::NotAnImei ? QString() : QStringLiteral("not in the database");
        }
        return Shown(result.device.model);
    default:
        return {};
    }
}

QVariant CheckListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || m_list == nullptr || index.row() >= rowCount()) {
        return {};
    }
    if (role == Qt::DisplayRole) {
        return CellText(index.row(), static_cast<ListField>(index.column()));
    }
    if (role == Qt::ForegroundRole && m_list->IsProblem(ListIndex(index.row()))) {
        return kProblemColour;
    }
    return {};
}

QVariant CheckListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
        section >= static_cast<int>(kListFieldCount)) {
        return QAbstractTableModel::headerData(section, orientation, role);
    }
    return ListFieldTitle(static_cast<ListField>(section));
}

} // namespace quillon
