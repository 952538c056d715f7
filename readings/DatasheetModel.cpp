#include "readings/DatasheetModel.h"
#include "core/Values.h"
#include "readings/DatasheetRules.h"
#include "store/Recordset.h"
#include "ui/Pictures.h"
#include <QFont>
#include <algorithm>

namespace rv {

namespace {
const QString kNoReadings = QStringLiteral("No Readings");
} // namespace

DatasheetModel::DatasheetModel(Recordset& readings, QObject* parent)
    : QAbstractTableModel(parent), m_rs(readings), m_ticked(pictures::boxTicked()),
      m_empty(pictures::boxEmpty()) {}

bool DatasheetModel::populate(const QString& sensorId) {
    beginResetModel();
    m_edits.clear();
    m_toggled.clear();
    m_fields.clear();
    m_headers.clear();
    m_currentHeader = -1;
    m_doNotPlot = -1;
    m_count = 0;
    m_last = 0;
    m_columns = 1;
    const bool open = m_rs.isOpen();
    if (open && m_rs.recordCount() > 0) {
        m_count = int(m_rs.recordCount());
        m_last = datasheetLastColumn(sensorId);
        m_columns = m_last + 1;
        m_fields = m_rs.columnNames();
        m_doNotPlot = m_rs.columnIndex(QStringLiteral("DoNotPlot"));
        for (int c = 0; c < m_columns; ++c)
            m_headers << datasheetHeader(c, m_last);
        m_toggled.assign(std::size_t(m_count), 0);
    } else {
        m_headers << kNoReadings;
    }
    endResetModel();
    return open;
}

QString DatasheetModel::fieldName(int column) const {
    return column >= 0 && column < m_fields.size() ? m_fields[column] : QString();
}

QString DatasheetModel::storedText(int row, int column) const {
    // The plot-mark column shows the mark alone: the mark, not a text beside it, is what
    // the grid writes back.
    if (column == m_last || column >= m_fields.size()) return {};
    if (!m_rs.isOpen() || !m_rs.setAbsolutePosition(row + 1).ok()) return {};
    const Result<QVariant> value = m_rs.value(m_fields[column]);
    return value.ok() ? displayText(value.value()) : QString();
}

bool DatasheetModel::storedTicked(int row) const {
    if (m_doNotPlot < 0 || !m_rs.isOpen() || !m_rs.setAbsolutePosition(row + 1).ok()) return true;
    const Result<QVariant> value = m_rs.value(m_fields[m_doNotPlot]);
    if (!value.ok()) return true;
    const QVariant& v = value.value();
    return !(v.typeId() == QMetaType::Bool && !v.toBool());
}

QString DatasheetModel::cellText(int gridRow, int column) const {
    if (column < 0 || column >= m_columns) return {};
    if (gridRow == 0) return m_headers.value(column);
    const int row = gridRow - 1;
    if (row < 0 || row >= m_count) return {};
    if (const auto it = m_edits.constFind(cellKey(row, column)); it != m_edits.constEnd())
        return *it;
    return storedText(row, column);
}

bool DatasheetModel::isEdited(int gridRow, int column) const {
    return gridRow >= 1 && m_edits.contains(cellKey(gridRow - 1, column));
}

std::vector<std::pair<int, int>> DatasheetModel::editedCells() const {
    std::vector<std::pair<int, int>> cells;
    cells.reserve(std::size_t(m_edits.size()));
    for (auto it = m_edits.constBegin(); it != m_edits.constEnd(); ++it)
        cells.emplace_back(int(it.key() >> 16) + 1, int(it.key() & 0xFFFF));
    std::sort(cells.begin(), cells.end());
    return cells;
}

void DatasheetModel::setCellText(int gridRow, int column, const QString& text) {
    const int row = gridRow - 1;
    if (row < 0 || row >= m_count || column < 0 || column >= m_columns) return;
    m_edits.insert(cellKey(row, column), text);
    const QModelIndex i = index(row, column);
    emit dataChanged(i, i, {Qt::DisplayRole});
}

void DatasheetModel::forgetEdits(int gridRow) {
    const int row = gridRow - 1;
    if (row < 0 || row >= m_count) return;
    for (int column = 0; column < m_columns; ++column)
        m_edits.remove(cellKey(row, column));
    m_toggled[std::size_t(row)] = 0;
    emit dataChanged(index(row, 0), index(row, m_columns - 1), {Qt::DisplayRole});
}

bool DatasheetModel::isTicked(int gridRow) const {
    const int row = gridRow - 1;
    if (row < 0 || row >= m_count) return false;
    return storedTicked(row) != bool(m_toggled[std::size_t(row)]);
}

void DatasheetModel::toggleMark(int gridRow) {
    const int row = gridRow - 1;
    if (row < 0 || row >= m_count) return;
    m_toggled[std::size_t(row)] = !m_toggled[std::size_t(row)];
    const QModelIndex i = index(row, m_last);
    emit dataChanged(i, i, {Qt::DecorationRole});
}

void DatasheetModel::setCurrentHeader(int column) {
    if (column == m_currentHeader) return;
    const int before = m_currentHeader;
    m_currentHeader = column;
    for (int c : {before, column})
        if (c >= 0 && c < m_columns) emit headerDataChanged(Qt::Horizontal, c, c);
}

int DatasheetModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_count;
}

int DatasheetModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_columns;
}

QVariant DatasheetModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= m_count || index.column() >= m_columns) return {};
    switch (role) {
    case Qt::DisplayRole:
        return cellText(index.row() + 1, index.column());
    case Qt::DecorationRole:
        if (index.column() == m_last) return isTicked(index.row() + 1) ? m_ticked : m_empty;
        return {};
    default:
        return {};
    }
}

QVariant DatasheetModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= m_columns) return {};
    if (role == Qt::DisplayRole) return m_headers.value(section);
    if (role == Qt::FontRole && section == m_currentHeader) {
        QFont bold;
        bold.setBold(true);
        bold.setUnderline(true);
        return bold;
    }
    return {};
}

Qt::ItemFlags DatasheetModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}

} // namespace rv
