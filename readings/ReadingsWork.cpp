#include "readings/ReadingsWork.h"
#include "core/DateText.h"
#include "core/Values.h"
#include "platform/Dialogs.h"
#include "readings/DatasheetModel.h"
#include "readings/DatasheetRules.h"
#include "readings/ReadingRules.h"
#include "store/ColumnType.h"
#include "store/Connection.h"
#include "store/ReadingsTable.h"
#include "store/Recordset.h"
#include <algorithm>
#include <numeric>
#include <vector>

namespace rv {

namespace {

// Readings another engineer changed that a refused write-back names one by one.
constexpr int kMaxConflictsTold = 5;

Error closedError() {
    return Error{err::ObjectClosed,
                 QStringLiteral("Operation is not allowed when the object is closed.")};
}

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

Status writeDatasheet(Connection& connection, Recordset& readings, const DatasheetModel& grid,
                      std::vector<int>* deletedRows) {
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
    auto tableColumns = connection.columns(readings.table());
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
    QStringList columns;
    const QString doNotPlot = QStringLiteral("DoNotPlot");
    for (int c = kFirstChannelColumn; c < grid.lastColumn(); ++c) {
        const QString name = grid.fieldName(c);
        if (name.isEmpty() || name.compare(doNotPlot, Qt::CaseInsensitive) == 0) continue;
        targets.push_back(Target{c, name, typeOf(name)});
        columns << name;
    }
    const ColumnType markType = typeOf(doNotPlot);

    // The values of every reading the grid changes, as its columns store them, before
    // anything is written. A reading whose cells are all as read and whose mark is as
    // stored is left alone: writing it would store the same values.
    std::vector<ReadingValues> values;
    std::vector<qint64> positions; // of the readings in values
    for (qint64 r = 1; r <= count; ++r) {
        if (Status s = readings.setAbsolutePosition(r); !s.ok()) return s;
        auto rowid = readings.rowId();
        if (!rowid.ok()) return rowid.error();
        ReadingValues reading;
        reading.rowid = rowid.value();
        for (std::size_t t = 0; t < targets.size(); ++t) {
            if (!grid.isEdited(int(r), targets[t].column)) continue;
            auto value = toStored(grid.cellText(int(r), targets[t].column), targets[t].type,
                                  targets[t].name);
            if (!value.ok()) return value.error();
            reading.changed.emplace_back(int(t), value.value());
        }
        const Result<QVariant> held = readings.value(doNotPlot);
        const bool markAsStored =
            held.ok() && !held.value().isNull() && held.value().toBool() == grid.isTicked(int(r));
        if (reading.changed.empty() && markAsStored) continue;
        auto mark = toStored(grid.isTicked(int(r)), markType, doNotPlot);
        if (!mark.ok()) return mark.error();
        reading.doNotPlot = mark.value();
        values.push_back(std::move(reading));
        positions.push_back(r);
    }
    if (values.empty()) return {};
    // On a site server, every reading written is locked and compared with what the
    // datasheet was filled from: none that another engineer changed meanwhile is
    // overwritten unseen, and each of them is named.
    // "Load 1 12.50, Temperature 18.0": the current reading's channels as stored, by the
    // grid's own column titles.
    const auto storedNow = [&] {
        QStringList shown;
        for (const Target& t : targets) {
            const Result<QVariant> v = readings.value(t.name);
            const QString text = v.ok() ? displayText(v.value()) : QString();
            shown << grid.cellText(0, t.column) + QLatin1Char(' ') +
                         (text.isEmpty() ? QStringLiteral("none") : text);
        }
        return shown.join(QStringLiteral(", ")) + QLatin1Char('.');
    };
    // The readings are locked in the order of their rows, as every change of many readings
    // locks them (lockRowsInOrder), so that no two engineers' changes wait for each other.
    std::vector<std::size_t> order(values.size());
    std::iota(order.begin(), order.end(), std::size_t(0));
    std::sort(order.begin(), order.end(),
              [&](std::size_t a, std::size_t b) { return values[a].rowid < values[b].rowid; });
    const auto unchanged = [&]() -> Status {
        QStringList told;
        int refused = 0;
        for (const std::size_t i : order) {
            const qint64 r = positions[i];
            if (Status s = readings.setAbsolutePosition(r); !s.ok()) return s;
            const Status kept = readings.lockCurrentUnchanged();
            if (kept.ok()) continue;
            if (!byAnotherEngineer(kept.error().number)) return kept;
            if (kept.error().number == err::DeletedByAnother && deletedRows)
                deletedRows->push_back(int(r));
            if (++refused > kMaxConflictsTold) continue;
            QString line = kept.error().description;
            if (kept.error().number == err::ChangedByAnother)
                line += QStringLiteral(" Stored now: ") + storedNow();
            told << line;
        }
        if (refused == 0) return {};
        if (refused > kMaxConflictsTold)
            told << QStringLiteral("... and %1 more.").arg(refused - kMaxConflictsTold);
        told << QStringLiteral("Nothing was written back.");
        return Status::fail(err::ChangedByAnother, told.join(kCrLf));
    };
    return writeReadingValues(connection, readings.table(), columns, values, unchanged);
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
    return QStringLiteral("Readings from ") + dayText(days->first) + QStringLiteral(" to ") +
           dayText(days->last);
}

} // namespace rv
