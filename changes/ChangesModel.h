#pragma once
// The list of the Changes window: one row per entry of the history, newest first, over
// the entries as the store lists them. Nothing is formatted ahead: a cell's text is made
// when the view asks for it, so that a hundred thousand entries are listed at once.
#include "store/ChangeHistory.h"
#include <QAbstractTableModel>
#include <vector>

namespace rv {

class ChangesModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { When, Who, How, Kind, Reading, Before, After, ColumnCount };

    explicit ChangesModel(QObject* parent = nullptr) : QAbstractTableModel(parent) {}

    // Lists these entries instead of the ones listed.
    void setEntries(std::vector<ChangeEntry> entries);
    const std::vector<ChangeEntry>& entries() const { return m_entries; }
    // The entry of a row; nullptr outside the list.
    const ChangeEntry* entry(int row) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    // The texts of a cell as listed: "14 Mar 2026 09:30:15", the reading's key ("old -> new"
    // for a re-key), the values "Load 12.50; Temperature 18.0".
    static QString cellText(const ChangeEntry& entry, int column);

private:
    std::vector<ChangeEntry> m_entries;
};

} // namespace rv
