#include "changes/ChangesModel.h"
#include <QLocale>
#include <algorithm>

namespace rv {

namespace {

const QString kWhenFormat = QStringLiteral("d MMM yyyy HH:mm:ss");

} // namespace

void ChangesModel::setEntries(std::vector<ChangeEntry> entries) {
    beginResetModel();
    m_entries = std::move(entries);
    endResetModel();
}

const ChangeEntry* ChangesModel::entry(int row) const {
    if (row < 0 || std::size_t(row) >= m_entries.size()) return nullptr;
    return &m_entries[std::size_t(row)];
}

int ChangesModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(m_entries.size());
}

int ChangesModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QString ChangesModel::cellText(const ChangeEntry& e, int column) {
    switch (column) {
    case When:
        return e.when.isValid() ? QLocale::c().toString(e.when, kWhenFormat) : QString();
    case Who:
        return e.by;
    case How:
        return e.how;
    case Kind:
        return e.kind;
    case Reading:
        return changeReadingText(e);
    case Before:
        return changeValuesText(e, false);
    case After:
        return changeValuesText(e, true);
    default:
        return {};
    }
}

QVariant ChangesModel::data(const QModelIndex& index, int role) const {
    const ChangeEntry* e = entry(index.row());
    if (!e || (role != Qt::DisplayRole && role != Qt::ToolTipRole)) return {};
    const QString text = cellText(*e, index.column());
    // A long key or list of values is read in full over its cell.
    if (role == Qt::ToolTipRole)
        return index.column() >= Reading && !text.isEmpty() ? QVariant(text) : QVariant();
    return text;
}

QVariant ChangesModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    static const char* const captions[ColumnCount] = {"When",    "Who",    "How",  "Kind",
                                                      "Reading", "Before", "After"};
    if (section < 0 || section >= ColumnCount) return {};
    return QString::fromLatin1(captions[section]);
}

} // namespace rv
