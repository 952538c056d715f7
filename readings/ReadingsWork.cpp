#include "readings/ReadingsWork.h"
#include "core/Values.h"
#include "readings/DatasheetModel.h"
#include "readings/DatasheetRules.h"
#include "readings/ReadingRules.h"
#include "store/ColumnType.h"
#include "store/Connection.h"
#include "store/Recordset.h"
#include "store/Statements.h"
#include <QLocale>
#include <sqlite3.h>
#include <vector>

namespace rv {

namespace {

Error closedError() {
    return Error{err::ObjectClosed,
                 QStringLiteral("Operation is not allowed when the object is closed.")};
}

Error goneError() {
    return Error{err::RowNotFound, QStringLiteral("Row cannot be located for updating. Some "
                                                  "values may have been changed since it was "
                                                  "last read.")};
}

// One transaction: committed by commit(), rolled back when left any other way.
class Transaction {
public:
    explicit Transaction(Connection& c) : m_c(c), m_status(c.begin()) {}
    ~Transaction() {
        if (m_status.ok() && !m_done) m_c.rollback();
    }
    const Status& started() const { return m_status; }
    Status commit() {
        m_done = true;
        Status s = m_c.commit();
        if (!s.ok()) m_c.rollback();
        return s;
    }

private:
    Connection& m_c;
    Status m_status;
    bool m_done = false;
};

} // namespace

std::optional<NotNumberCell> firstNotNumber(const DatasheetModel& grid) {
    const QString doNotPlot = QStringLiteral("DoNotPlot");
    for (const auto& [row, column] : grid.editedCells()) {
        if (column < kFirstChannelColumn || column >= grid.lastColumn()) continue;
        const QString name = grid.fieldName(column);
        if (name.compare(doNotPlot, Qt::CaseInsensitive) == 0) continue;
        const QString text = grid.cellText(row, column);
        if (isChannelValue(text)) continue;
        return NotNumberCell{row, column,
                             QStringLiteral("The ") + grid.cellText(0, column) +
                                 QStringLiteral(" value \"") + text +
                                 QStringLiteral("\" of the reading ") + grid.cellText(row, 0) +
                                 QStringLiteral(" is not a number.")};
    }
    return std::nullopt;
}

Status writeDatasheet(Connection& connection, Recordset& readings, const DatasheetModel& grid) {
    if (!readings.isOpen()) return closedError();
    // A text that is no number never reaches a reading, and then no other cell does.
    if (const auto bad = firstNotNumber(grid))
        return Status::fail(err::TypeMismatch,
                            bad->sentence + QStringLiteral(" Nothing was written back."));
    const qint64 count = readings.recordCount();
    if (count != grid.readingCount())
        return Status::fail(err::InvalidArgument,
                            QStringLiteral("The datasheet shows %1 readings where the sensor "
                                           "has %2; nothing was written back.")
                                .arg(grid.readingCount())
                                .arg(count));
    if (count == 0) return {};
    const QString table = readings.table();
    auto tableColumns = connection.columns(table);
    if (!tableColumns.ok()) return tableColumns.error();
    auto typeOf = [&](const QString& name) {
        for (const ColumnInfo& c : tableColumns.value())
            if (c.name.compare(name, Qt::CaseInsensitive) == 0) return c.type;
        return ColumnType::Any;
    };

    // The channel columns the grid can change; the plot marks go to DoNotPlot.
    struct Target {
        int column;
        QString name;
        ColumnType type;
    };
    std::vector<Target> targets;
    const QString doNotPlot = QStringLiteral("DoNotPlot");
    for (int c = kFirstChannelColumn; c < grid.lastColumn(); ++c) {
        const QString name = grid.fieldName(c);
        if (name.isEmpty() || name.compare(doNotPlot, Qt::CaseInsensitive) == 0) continue;
        targets.push_back(Target{c, name, typeOf(name)});
    }
    // A cell left unchanged keeps its stored value: "SET c = CASE WHEN changed THEN value
    // ELSE c END".
    QStringList sets;
    int parameter = 0;
    for (const Target& t : targets) {
        const QString column = quoteName(t.name);
        sets << column + QStringLiteral(" = CASE WHEN ?%1 THEN ?%2 ELSE %3 END")
                             .arg(parameter + 1)
                             .arg(parameter + 2)
                             .arg(column);
        parameter += 2;
    }
    const int markParameter = ++parameter;
    const int rowParameter = ++parameter;
    sets << quoteName(doNotPlot) + QStringLiteral(" = ?") + QString::number(markParameter);
    const ColumnType markType = typeOf(doNotPlot);

    Transaction transaction(connection);
    if (!transaction.started().ok()) return transaction.started();
    Query update(connection, QStringLiteral("UPDATE ") + quoteName(table) +
                                 QStringLiteral(" SET ") + sets.join(QStringLiteral(", ")) +
                                 QStringLiteral(" WHERE rowid = ?") +
                                 QString::number(rowParameter));
    if (!update.prepared().ok()) return update.prepared();
    for (qint64 r = 1; r <= count; ++r) {
        if (Status s = readings.setAbsolutePosition(r); !s.ok()) return s;
        auto rowid = readings.rowId();
        if (!rowid.ok()) return rowid.error();
        update.reset();
        int p = 0;
        for (const Target& t : targets) {
            const bool changed = grid.isEdited(int(r), t.column);
            update.bind(p + 1, changed);
            if (changed) {
                auto value = toStored(grid.cellText(int(r), t.column), t.type, t.name);
                if (!value.ok()) return value.error();
                update.bind(p + 2, value.value());
            }
            p += 2;
        }
        auto mark = toStored(grid.isTicked(int(r)), markType, doNotPlot);
        if (!mark.ok()) return mark.error();
        update.bind(markParameter, mark.value());
        update.bind(rowParameter, rowid.value());
        if (Status s = update.run(); !s.ok()) return s;
        if (sqlite3_changes(connection.handle()) != 1) return goneError();
    }
    return transaction.commit();
}

std::optional<QDate> readingDay(const Recordset& readings) {
    if (const auto v = readings.value(QStringLiteral("ReadingDate")); v.ok())
        if (const auto d = storedDate(v.value())) return d;
    if (const auto v = readings.value(QStringLiteral("FullDate")); v.ok())
        if (const auto d = storedDate(v.value())) return d;
    if (const auto v = readings.value(QStringLiteral("DateTimeKey")); v.ok())
        if (const auto d = keyDate(displayText(v.value()))) return d;
    return std::nullopt;
}

std::optional<ReadingDays> firstAndLastDays(Recordset& readings) {
    if (!readings.isOpen() || readings.recordCount() == 0) return std::nullopt;
    const Result<qint64> shown = readings.bookmark();
    const qint64 count = readings.recordCount();
    std::optional<QDate> first, last;
    for (qint64 r = 1; r <= count && !first; ++r)
        if (readings.setAbsolutePosition(r).ok()) first = readingDay(readings);
    for (qint64 r = count; r >= 1 && !last; --r)
        if (readings.setAbsolutePosition(r).ok()) last = readingDay(readings);
    if (shown.ok()) (void)readings.setBookmark(shown.value());
    if (!first || !last) return std::nullopt;
    return ReadingDays{*first, *last};
}

QString readingDaysText(const std::optional<ReadingDays>& days) {
    if (!days) return QStringLiteral("No readings");
    const QString form = QStringLiteral("d MMM yyyy");
    return QStringLiteral("Readings from ") + QLocale::c().toString(days->first, form) +
           QStringLiteral(" to ") + QLocale::c().toString(days->last, form);
}

Result<qint64> deleteReadingsBetween(Connection& connection, Recordset& readings,
                                     const QDate& first, const QDate& last) {
    if (!readings.isOpen()) return closedError();
    // The readings to delete are chosen before anything is deleted.
    std::vector<qint64> rows;
    const qint64 count = readings.recordCount();
    for (qint64 r = 1; r <= count; ++r) {
        if (Status s = readings.setAbsolutePosition(r); !s.ok()) return s.error();
        const std::optional<QDate> day = readingDay(readings);
        if (!day || *day < first || *day > last) continue;
        auto rowid = readings.rowId();
        if (!rowid.ok()) return rowid.error();
        rows.push_back(rowid.value());
    }
    if (rows.empty()) return qint64(0);

    Transaction transaction(connection);
    if (!transaction.started().ok()) return transaction.started().error();
    Query remove(connection, QStringLiteral("DELETE FROM ") + quoteName(readings.table()) +
                                 QStringLiteral(" WHERE rowid = ?1"));
    if (!remove.prepared().ok()) return remove.prepared().error();
    qint64 deleted = 0;
    for (const qint64 rowid : rows) {
        remove.reset();
        remove.bind(1, rowid);
        if (Status s = remove.run(); !s.ok()) return s.error();
        deleted += sqlite3_changes(connection.handle());
    }
    if (Status s = transaction.commit(); !s.ok()) return s.error();
    return deleted;
}

} // namespace rv
