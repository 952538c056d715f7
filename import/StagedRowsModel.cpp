#include "import/StagedRowsModel.h"
#include "core/DateText.h"
#include "import/StagedRows.h"
#include <QApplication>
#include <QPainter>

namespace rv {

const QStringList& StagedRowsModel::headers() {
    static const QStringList h{QStringLiteral("Reading Date & Time"),
                               QStringLiteral("SLUG ID"),
                               QStringLiteral("Type ID"),
                               QStringLiteral("SensorNo"),
                               QStringLiteral("ChannelT"),
                               QStringLiteral("Channel1"),
                               QStringLiteral("Append")};
    return h;
}

int StagedRowsModel::widthTwips(int column) {
    static const int widths[kColumns] = {2280, 840, 840, 960, 960, 960, 720};
    return column >= 0 && column < kColumns ? widths[column] : 0;
}

StagedRowsModel::StagedRowsModel(const StagedRows& rows, QObject* parent)
    : QAbstractTableModel(parent), m_rows(rows) {}

void StagedRowsModel::setMarkPictures(const QPixmap& ticked, const QPixmap& unticked) {
    m_ticked = ticked;
    m_unticked = unticked;
}

void StagedRowsModel::populate(std::vector<char> marks) {
    beginResetModel();
    m_marks = std::move(marks);
    m_marks.resize(std::size_t(m_rows.rowCount()), 0);
    m_state = State::Rows;
    endResetModel();
}

void StagedRowsModel::showNoReadings() {
    beginResetModel();
    m_marks.clear();
    m_checks = StagedChecks();
    m_state = State::NoReadings;
    endResetModel();
}

void StagedRowsModel::clearGrid() {
    beginResetModel();
    std::vector<char>().swap(m_marks);
    m_checks = StagedChecks();
    m_state = State::Empty;
    endResetModel();
}

bool StagedRowsModel::ticked(int row) const {
    return row >= 0 && std::size_t(row) < m_marks.size() && m_marks[std::size_t(row)];
}

void StagedRowsModel::setTicked(int row, bool ticked) {
    if (row < 0 || std::size_t(row) >= m_marks.size()) return;
    m_marks[std::size_t(row)] = ticked ? 1 : 0;
    const QModelIndex cell = index(row, kMarkColumn);
    emit dataChanged(cell, cell, {Qt::DecorationRole, Qt::UserRole});
}

void StagedRowsModel::toggle(int row) {
    setTicked(row, !ticked(row));
}

void StagedRowsModel::setChecks(StagedChecks checks) {
    m_checks = std::move(checks);
    if (m_state == State::Rows && !m_marks.empty())
        emit dataChanged(index(0, 0), index(int(m_marks.size()) - 1, kColumns - 1),
                         {Qt::ForegroundRole, Qt::BackgroundRole, Qt::ToolTipRole});
}

qint64 StagedRowsModel::untickStored() {
    qint64 changed = 0;
    int first = -1, last = -1;
    for (std::size_t r = 0; r < m_marks.size(); ++r) {
        if (!m_marks[r] || !m_checks.isStored(qint64(r))) continue;
        m_marks[r] = 0;
        ++changed;
        if (first < 0) first = int(r);
        last = int(r);
    }
    // One signal for all the marks changed: 100,000 rows are unticked at once.
    if (changed > 0)
        emit dataChanged(index(first, kMarkColumn), index(last, kMarkColumn),
                         {Qt::DecorationRole, Qt::UserRole, Qt::ToolTipRole});
    return changed;
}

int StagedRowsModel::rowCount(const QModelIndex& parent) const {
    if (parent.isValid() || m_state != State::Rows) return 0;
    return int(m_marks.size());
}

int StagedRowsModel::columnCount(const QModelIndex& parent) const {
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

QVariant StagedRowsModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || m_state != State::Rows) return {};
    const int row = index.row();
    const int column = index.column();
    const StagedRowCheck* check = m_checks.row(row);
    switch (role) {
    case Qt::ForegroundRole:
        if (!check) return {};
        if (check->future) return futureText();
        if (check->stored) return storedText();
        if (check->level.reached == LevelReached::Alarm || check->level.rateExceeded)
            return alarmText();
        if (check->level.reached == LevelReached::Alert) return alertText();
        return {};
    case Qt::BackgroundRole:
        if (!check) return {};
        if (check->future) return futureBackground();
        if (check->stored) return storedBackground();
        if (check->level.reached == LevelReached::Alarm || check->level.rateExceeded)
            return alarmBackground();
        if (check->level.reached == LevelReached::Alert) return alertBackground();
        return {};
    default:
        break;
    }
    // What is known of the row, for the tips.
    auto note = [&]() -> QString {
        if (!check) return {};
        if (check->future)
            return QStringLiteral("Dated after ") + shortDateText(m_checks.lastDay) +
                   QStringLiteral(": a date in the future is never proposed");
        if (check->stored) return QStringLiteral("Already stored for this sensor");
        return levelNotice(check->level, check->load, m_checks.levels);
    };
    if (column == kMarkColumn) {
        if (role == Qt::DecorationRole) return ticked(row) ? m_ticked : m_unticked;
        if (role == Qt::UserRole) return ticked(row);
        if (role == Qt::AccessibleTextRole || role == Qt::ToolTipRole) {
            const QString mark = ticked(row) ? QStringLiteral("Ticked: to be appended")
                                             : QStringLiteral("Not ticked");
            const QString more = role == Qt::ToolTipRole ? note() : QString();
            return more.isEmpty() ? mark : mark + u'\n' + more;
        }
        return {};
    }
    if (role == Qt::DisplayRole) return m_rows.text(row, column);
    if (role == Qt::ToolTipRole) {
        const QString more = note();
        return more.isEmpty() ? QVariant() : QVariant(more);
    }
    return {};
}

QVariant StagedRowsModel::headerData(int section, Qt::Orientation orientation, int role) const {
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
