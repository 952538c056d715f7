#include "import/StagedChecks.h"
#include "core/DateText.h"
#include "core/Loads.h"
#include "core/NumberText.h"
#include "platform/Dialogs.h"
#include <cmath>

namespace rv {

StagedChecks checkStagedRows(const StagedRows& rows, SlugDateFormat format, DayOrder order,
                             const QString& sensorId, const QSet<QString>& storedKeys,
                             const AlarmLevels& levels, double offset, const QDate& lastDay) {
    StagedChecks checks;
    checks.levels = levels;
    checks.lastDay = lastDay;
    const bool judge = !levels.empty();
    const qint64 n = rows.rowCount();
    // The rows are kept only once one of them has something to show.
    auto at = [&](qint64 r) -> StagedRowCheck& {
        if (checks.rows.empty()) checks.rows.resize(std::size_t(n));
        return checks.rows[std::size_t(r)];
    };
    if (judge) checks.rows.resize(std::size_t(n));
    std::optional<LoadAt> previous;
    for (qint64 r = 0; r < n; ++r) {
        const std::optional<SlugMoment> moment =
            slugMoment(rows.text(r, 0), format, sensorId, order);
        if (!moment) continue;
        const bool stored = !storedKeys.isEmpty() && storedKeys.contains(foldedKey(moment->key));
        const bool future = datedAfter(moment->fullDate, lastDay);
        if (stored) {
            at(r).stored = true;
            ++checks.stored;
        }
        if (future) {
            at(r).future = true;
            ++checks.future;
            continue;
        }
        if (!judge) continue;
        StagedRowCheck& check = at(r);
        // The load as the plots compute it from the value "append" writes.
        const QVariant written = importedChannel(rows.text(r, 5), 2);
        if (written.isNull()) continue;
        const QString channel1 = written.toString();
        const double load = loadAfterOffset(QStringView(channel1), offset);
        if (!std::isfinite(load)) continue;
        const LoadAt reading{load, moment->fullDate};
        const bool earlier = previous && previous->at <= reading.at;
        const LevelCheck level = checkLoad(reading, earlier ? previous : std::nullopt, levels);
        previous = reading;
        if (check.stored) continue;
        check.level = level;
        check.load = load;
        if (level.reached == LevelReached::Alarm) ++checks.alarm;
        if (level.reached == LevelReached::Alert) ++checks.alert;
        if (level.rateExceeded) ++checks.rate;
    }
    return checks;
}

LevelCounts countBeyond(const StagedChecks& checks, const std::vector<qint64>& rows) {
    LevelCounts counts;
    for (const qint64 r : rows) {
        const StagedRowCheck* c = checks.row(r);
        if (!c || c->stored) continue;
        if (c->level.reached == LevelReached::Alarm) ++counts.alarm;
        if (c->level.reached == LevelReached::Alert) ++counts.alert;
        if (c->level.rateExceeded) ++counts.rate;
    }
    return counts;
}

namespace {

QString readingsText(qint64 n) {
    return QString::number(n) + (n == 1 ? QStringLiteral(" reading") : QStringLiteral(" readings"));
}

} // namespace

QString beyondLine(const StagedChecks& checks) {
    QStringList parts;
    if (checks.alarm > 0)
        parts << QString::number(checks.alarm) + QStringLiteral(" at or above the alarm load");
    if (checks.alert > 0)
        parts << QString::number(checks.alert) + QStringLiteral(" at or above the alert load");
    if (checks.rate > 0)
        parts << QString::number(checks.rate) +
                     QStringLiteral(" rising faster than the rate limit");
    if (parts.isEmpty()) return {};
    return QStringLiteral("Rows beyond the sensor's levels: ") + parts.join(QStringLiteral(", "));
}

QString futureLine(const StagedChecks& checks) {
    if (checks.future <= 0) return {};
    return (checks.future == 1
                ? QStringLiteral("1 row is dated after ")
                : QString::number(checks.future) + QStringLiteral(" rows are dated after ")) +
           shortDateText(checks.lastDay) +
           QStringLiteral(", later than today allows (shown in violet): a date in the future is "
                          "never proposed. Tick such a row by hand to append it all the same.");
}

qint64 futureLeftOut(const StagedChecks& checks, const std::vector<char>& marks) {
    qint64 n = 0;
    for (std::size_t r = 0; r < checks.rows.size(); ++r)
        if (checks.rows[r].future && !(r < marks.size() && marks[r])) ++n;
    return n;
}

QString futureLeftOutLine(qint64 leftOut, const QDate& lastDay) {
    if (leftOut <= 0) return {};
    return (leftOut == 1 ? QStringLiteral("1 row dated after ")
                         : QString::number(leftOut) + QStringLiteral(" rows dated after ")) +
           shortDateText(lastDay) +
           (leftOut == 1 ? QStringLiteral(" was left out.") : QStringLiteral(" were left out."));
}

QString appendSummary(const LevelCounts& counts, const AlarmLevels& levels, qint64 appended,
                      const QString& sensorId) {
    if (!counts.any() || appended <= 0) return {};
    QString text = QStringLiteral("Of the ") + QString::number(appended) +
                   QStringLiteral(" readings appended to sensor ") + sensorId + QStringLiteral(":");
    if (counts.alarm > 0 && levels.alarm)
        text += kCrLf + readingsText(counts.alarm) + QStringLiteral(" reached the alarm load of ") +
                plainDecimal(*levels.alarm) + QStringLiteral(" tons");
    if (counts.alert > 0 && levels.alert)
        text += kCrLf + readingsText(counts.alert) + QStringLiteral(" reached the alert load of ") +
                plainDecimal(*levels.alert) + QStringLiteral(" tons");
    if (counts.rate > 0 && levels.ratePerDay)
        text += kCrLf + readingsText(counts.rate) +
                QStringLiteral(" rose faster than the rate limit of ") +
                plainDecimal(*levels.ratePerDay) + QStringLiteral(" tons/day");
    return text;
}

} // namespace rv
