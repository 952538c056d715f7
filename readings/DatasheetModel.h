#pragma once
// The datasheet's grid as a model over the current sensor's readings: row r of the model
// is reading r + 1 of rsReadings, column c shows field c of the reading (by position, in
// the readings table's column order), and the last column shows the reading's plot mark.
// Cells are read from the recordset when the view asks for them, so 100,000 readings
// open at once; only what the user changes (typed cells, toggled marks) is held here.
//
// In grid terms, as the datasheet's procedures count, row 0 is the fixed header row
// (the model's horizontal header) and row r >= 1 is the model's row r - 1.
#include <QAbstractTableModel>
#include <QHash>
#include <QPixmap>
#include <QStringList>
#include <utility>
#include <vector>

namespace rv {

class Recordset;

class DatasheetModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit DatasheetModel(Recordset& readings, QObject* parent = nullptr);

    // Lays the grid out for the sensor's readings as they stand in the recordset: the
    // number of columns from the sensor's identifier, their headers, one row per reading;
    // "No Readings" in the first header cell when there are none. Forgets every change.
    // False when the recordset is not open.
    bool populate(const QString& sensorId);

    int readingCount() const { return m_count; }
    // L, the index of the last column (the plot marks); 0 when there are no readings.
    int lastColumn() const { return m_last; }
    int gridRows() const { return m_count + 1; }
    int gridCols() const { return columnCount(); }
    // The field name shown in a column, empty beyond the reading's fields.
    QString fieldName(int column) const;

    // The text of a grid cell (row 0: the header).
    QString cellText(int gridRow, int column) const;
    // Whether the cell's text was changed in the grid.
    bool isEdited(int gridRow, int column) const;
    void setCellText(int gridRow, int column, const QString& text);
    // Drops every edit of a row, its cells and its mark: the row shows what it was filled
    // with again.
    void forgetEdits(int gridRow);
    // Every cell whose text was changed in the grid, as grid rows and columns, in grid
    // order (by row, then column).
    std::vector<std::pair<int, int>> editedCells() const;
    // The plot mark of a reading row: ticked (true) means "do not plot". A reading whose
    // DoNotPlot is anything but No shows ticked.
    bool isTicked(int gridRow) const;
    void toggleMark(int gridRow);

    // The header cell that is the grid's current cell, shown in bold; -1 for none.
    void setCurrentHeader(int column);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    QString storedText(int row, int column) const;
    bool storedTicked(int row) const;
    static quint64 cellKey(int row, int column) { return (quint64(row) << 16) | quint64(column); }

    Recordset& m_rs;
    int m_count = 0;
    int m_last = 0;
    int m_columns = 1;
    int m_doNotPlot = -1; // the DoNotPlot field's position, -1 when the table has none
    int m_currentHeader = -1;
    QStringList m_fields;
    QStringList m_headers;
    QHash<quint64, QString> m_edits; // by model row and column
    std::vector<char> m_toggled;     // per model row
    QPixmap m_ticked;
    QPixmap m_empty;
};

} // namespace rv
