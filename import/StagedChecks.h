#pragma once
// What the import window says of each staged row besides its proposal mark: whether the
// sensor already holds a reading with the row's key (a logger download usually repeats the
// readings of the last one), and whether the row's load is at or beyond the sensor's alert
// or alarm load or rose faster than its rate limit. Pure rules: the stored keys, the levels
// and the offset are given.
#include "alarms/AlarmLevels.h"
#include "import/SlugRules.h"
#include "import/StagedRows.h"
#include <QSet>
#include <QString>
#include <vector>

namespace rv {

struct StagedRowCheck {
    bool stored = false; // a reading with the row's key is stored already
    bool future = false; // dated after the last day a reading may be dated
    LevelCheck level;    // the row judged against the levels (rows not stored only)
    double load = 0;     // the row's load in tons, when it was judged
};

struct StagedChecks {
    // One per staged row, or none at all when no row is stored, none is dated in the
    // future and there are no levels (a large file into an empty sensor then costs
    // nothing more).
    std::vector<StagedRowCheck> rows;
    AlarmLevels levels;
    QDate lastDay;     // the last day a reading may be dated (tomorrow)
    qint64 stored = 0; // rows already stored
    qint64 future = 0; // rows dated after lastDay
    qint64 alarm = 0;  // rows not stored at or above the alarm load
    qint64 alert = 0;  // rows not stored at or above the alert load, below the alarm load
    qint64 rate = 0;   // rows not stored that rose faster than the rate limit

    const StagedRowCheck* row(qint64 r) const {
        return r >= 0 && r < qint64(rows.size()) ? &rows[std::size_t(r)] : nullptr;
    }
    bool isStored(qint64 r) const {
        const StagedRowCheck* c = row(r);
        return c && c->stored;
    }
    bool isFuture(qint64 r) const {
        const StagedRowCheck* c = row(r);
        return c && c->future;
    }
    bool beyond(qint64 r) const {
        const StagedRowCheck* c = row(r);
        return c && c->level.any();
    }
};

// A reading key as the duplicate test compares it: letter case folded. A key of plain
// ASCII without capitals (as every key an import makes) is its own folding and is given
// back as it is, without making a new text.
inline QString foldedKey(const QString& key) {
    for (const QChar c : key) {
        const char16_t u = c.unicode();
        if ((u >= u'A' && u <= u'Z') || u >= 0x80) return key.toCaseFolded();
    }
    return key;
}

// Checks every staged row of the sensor `sensorId`, its date text read in the given layout
// (as "append" reads it). A row is stored when the set of stored keys (folded) holds its
// key. A row that is not stored, whose date can be read and whose channel 1 holds a number
// is judged against the levels: its load is the channel 1 value as "append" writes it less
// the offset (core/Loads.h), and its rise is taken from the previous such row of the file
// (stored or not) that lies earlier in time. Rows without a date or a channel 1 value are
// never marked and are not a previous row. A row dated after `lastDay` is marked as such,
// is not judged against the levels and is not a previous row: its date is no moment.
StagedChecks checkStagedRows(const StagedRows& rows, SlugDateFormat format, DayOrder order,
                             const QString& sensorId, const QSet<QString>& storedKeys,
                             const AlarmLevels& levels, double offset,
                             const QDate& lastDay = QDate());

// The window's line on rows dated in the future ("2 rows are dated after 15 Mar 2026 ...");
// empty when none is.
QString futureLine(const StagedChecks& checks);
// How many rows dated in the future are left unticked by the marks.
qint64 futureLeftOut(const StagedChecks& checks, const std::vector<char>& marks);
// The line the message after an append adds on them ("2 rows dated after 15 Mar 2026 were
// left out."); empty when none was.
QString futureLeftOutLine(qint64 leftOut, const QDate& lastDay);

// The counts of a set of rows (those appended): how many reached the alarm load, the alert
// load, and rose faster than the rate limit.
struct LevelCounts {
    qint64 alarm = 0;
    qint64 alert = 0;
    qint64 rate = 0;
    bool any() const { return alarm > 0 || alert > 0 || rate > 0; }
};
LevelCounts countBeyond(const StagedChecks& checks, const std::vector<qint64>& rows);

// The window's line on rows beyond the levels ("Rows beyond the sensor's levels: 2 at or
// above the alarm load, 1 rising faster than the rate limit"); empty when no row is.
QString beyondLine(const StagedChecks& checks);

// The summary shown after an append of rows of which some crossed a level; empty when
// none did.
QString appendSummary(const LevelCounts& counts, const AlarmLevels& levels, qint64 appended,
                      const QString& sensorId);

} // namespace rv
