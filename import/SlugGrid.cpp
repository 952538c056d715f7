#include "import/SlugGrid.h"
#include "import/StagedRows.h"
#include <QApplication>
#include <QPainter>

namespace rv {

const QStringList& SlugGridModel::headers() {
    static const QStringList h{QStringLiteral("Reading Date & Time"),
                               QStringLiteral("SLUG ID"),
                               QStringLiteral("Type ID"),
                               QStringLiteral("SensorNo"),
                               QStringLiteral("ChannelT"),
                               QStringLiteral("Channel1"),
                               QStringLiteral("Append")};
    return h;
}

int SlugGridModel::widthTwips(int column) {
    static const int widths[kColumns] = {2280, 840, 840, 960, 960, 960, 720};
    return column >= 0 && column < kColumns ? widths[column] : 0;
}

SlugGridModel::SlugGridModel(const StagedRows& rows, QObject* parent)
    : QAbstractTableModel(parent), m_rows(rows) {}

void SlugGridModel::setMarkPictures(const QPixmap& ticked, const QPixmap& unticked) {
    m_ticked = ticked;
    m_unticked = unticked;
}

void SlugGridModel::populate(std::vector<char> marks) {
    beginResetModel();
    m_marks = std::move(marks);
    m_marks.resize(std::size_t(m_rows.rowCount()), 0);
    m_state = State::Rows;
    endResetModel();
}

void SlugGridModel::showNoReadings() {
    beginResetModel();
    m_marks.clear();
    m_state = State::NoReadings;
    endResetModel();
}

void SlugGridModel::clearGrid() {
    beginResetModel();
    std::vector<char>().swap(m_marks);
    m_state = State::Empty;
    endResetModel();
}

bool SlugGridModel::ticked(int row) const {
    return row >= 0 && std::size_t(row) < m_marks.size() && m_marks[std::size_t(row)];
}

void SlugGridModel::setTicked(int row, bool ticked) {
    if (row < 0 || std::size_t(row) >= m_marks.size()) return;
    m_marks[std::size_t(row)] = ticked ? 1 : 0;
    const QModelIndex cell = index(row, kMarkColumn);
    emit dataChanged(cell, cell, {Qt::DecorationRole, Qt::UserRole});
}

void SlugGridModel::toggle(int row) {
    setTicked(row, !ticked(row));
}

int SlugGridModel::rowCount(const QModelIndex& parent) const {
    if (parent.isValid() || m_state != State::Rows) return 0;
    return int(m_marks.size());
}

int SlugGridModel::columnCount(const QModelIndex& parent) const {
    if (parent.isValid()) return 0;
    switch (m_state) {
    case State::Rows:
        return kColumns;
    case State::NoReadings:
        return 1;
    case State::Empty:
        break;
    }
    return 0;
}

QVariant SlugGridModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || m_state != State::Rows) return {};
    const int row = index.row();
    const int column = index.column();
    if (column == kMarkColumn) {
        if (role == Qt::DecorationRole) return ticked(row) ? m_ticked : m_unticked;
        if (role == Qt::UserRole) return ticked(row);
        if (role == Qt::AccessibleTextRole || role == Qt::ToolTipRole)
            return ticked(row) ? QStringLiteral("Ticked: to be appended")
                               : QStringLiteral("Not ticked");
        return {};
    }
    if (role == Qt::DisplayRole) return m_rows.text(row, column);
    return {};
}

QVariant SlugGridModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole) return QAbstractTableModel::headerData(section, orientation, role);
    if (orientation == Qt::Vertical) return section + 1;
    if (m_state == State::NoReadings)
        return section == 0 ? QStringLiteral("No Readings") : QVariant();
    if (m_state == State::Rows && section >= 0 && section < kColumns) return headers()[section];
    return {};
}

void CentredPictureDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                   const QModelIndex& index) const {
    QStyleOptionViewItem cell(option);
    initStyleOption(&cell, index);
    const QPixmap picture = qvariant_cast<QPixmap>(index.data(Qt::DecorationRole));
    // The cell's background and selection as the style draws them, without the picture.
    cell.features &= ~QStyleOptionViewItem::HasDecoration;
    cell.icon = QIcon();
    cell.text.clear();
    const QWidget* widget = option.widget;
    QStyle* style = widget ? widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &cell, painter, widget);
    if (picture.isNull()) return;
    const QSize size = picture.deviceIndependentSize().toSize();
    painter->drawPixmap(QStyle::alignedRect(cell.direction, Qt::AlignCenter, size, cell.rect),
                        picture);
}

QSize CentredPictureDelegate::sizeHint(const QStyleOptionViewItem& option,
                                       const QModelIndex& index) const {
    const QPixmap picture = qvariant_cast<QPixmap>(index.data(Qt::DecorationRole));
    return QStyledItemDelegate::sizeHint(option, index)
        .expandedTo(picture.deviceIndependentSize().toSize() + QSize(4, 4));
}

} // namespace rv
