#pragma once
// The import window's grid: a model that shows the staged rows on demand (six staged
// columns and the row's mark), and a delegate that draws a mark picture centred in its
// cell. Nothing is copied per cell, so a file of 100,000 rows shows and scrolls at once.
#include <QAbstractTableModel>
#include <QPixmap>
#include <QStyledItemDelegate>
#include <vector>

namespace rv {

class StagedRows;

class SlugGridModel : public QAbstractTableModel {
    Q_OBJECT
public:
    static constexpr int kMarkColumn = 6;
    static constexpr int kColumns = 7;
    // The headers of the seven columns and their widths in twips (120 per character).
    static const QStringList& headers();
    static int widthTwips(int column);

    SlugGridModel(const StagedRows& rows, QObject* parent = nullptr);

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

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    enum class State { Empty, NoReadings, Rows };
    const StagedRows& m_rows;
    std::vector<char> m_marks;
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
