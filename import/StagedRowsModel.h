#pragma once
// The model behind the import window's grid (MSFlexGrid1): it shows the staged rows on demand (six
// staged columns and the row's mark), and a delegate that draws a mark picture centred in its cell.
// Nothing is copied per cell, so a file of 100,000 rows shows and scrolls at once. Rows already
// stored are greyed; rows beyond the sensor's levels are coloured amber (the alert load) or red
// (the alarm load, or a rise faster than the rate limit); rows dated in the future are violet.
#include "import/StagedChecks.h"
#include <QAbstractTableModel>
#include <QColor>
#include <QPixmap>
#include <QStyledItemDelegate>
#include <vector>

namespace rv {

class StagedRows;

class StagedRowsModel : public QAbstractTableModel {
    Q_OBJECT
public:
    static constexpr int kMarkColumn = 6;
    static constexpr int kColumns = 7;
    // The headers of the seven columns and their widths in twips (120 per character).
    static const QStringList& headers();
    static int widthTwips(int column);
    // The colours of the rows: text and background of a row already stored, background
    // and text of a row at the alert load, and of one at the alarm load or rising too fast.
    static QColor storedText() { return QColor(0x80, 0x80, 0x80); }
    static QColor storedBackground() { return QColor(0xe6, 0xe6, 0xe6); }
    static QColor alertBackground() { return QColor(0xf9, 0xa8, 0x25); }
    static QColor alertText() { return QColor(Qt::black); }
    static QColor alarmBackground() { return QColor(0xc6, 0x28, 0x28); }
    static QColor alarmText() { return QColor(Qt::white); }
    static QColor futureBackground() { return QColor(0xd1, 0xc4, 0xe9); }
    static QColor futureText() { return QColor(0x4a, 0x14, 0x8c); }

    StagedRowsModel(const StagedRows& rows, QObject* parent = nullptr);

    // The two pictures a mark cell shows.
    void setMarkPictures(const QPixmap& ticked, const QPixmap& unticked);
    // Shows every staged row with the given marks (one per row).
    void populate(std::vector<char> marks);
    // Shows no row and the header "No Readings" over the first column.
    void showNoReadings();
    // Shows nothing at all.
    void clearGrid();

    bool populated() const { return m_state == State::Rows; }
    bool ticked(int row) const;
    void setTicked(int row, bool ticked);
    void toggle(int row);
    const std::vector<char>& marks() const { return m_marks; }

    // What is known of each row (stored already, dated in the future, beyond the levels):
    // colours and tips.
    void setChecks(StagedChecks checks);
    const StagedChecks& checks() const { return m_checks; }
    // Unticks every row already stored; the other rows keep their marks. Answers how many
    // marks changed.
    qint64 untickStored();

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    enum class State { Empty, NoReadings, Rows };
    const StagedRows& m_rows;
    std::vector<char> m_marks;
    StagedChecks m_checks;
    QPixmap m_ticked;
    QPixmap m_unticked;
    State m_state = State::Empty;
};

// Draws the cell's picture (its decoration) in the middle of the cell.
class CentredPictureDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};

} // namespace rv
