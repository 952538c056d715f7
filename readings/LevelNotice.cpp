// The level notice of the Readings tab: the reading shown judged against the sensor's
// alarm levels, its load computed as the plots compute it (channel 1 less the offset
// shown on the Installation tab), its rise from the previous plotted reading per day.
#include "alarms/AlarmStore.h"
#include "core/DateText.h"
#include "core/Loads.h"
#include "core/Values.h"
#include "readings/ReadingsTab.h"
#include "store/Connection.h"
#include "store/Module1.h"
#include "store/Session.h"

namespace rv {

void ReadingsTab::showLevelNotice(const QString& channel1) {
    lblLevels->hide();
    Session& s = *m_s;
    if (!s.gConnection.isOpen() || !hasAlarmTable(s.gConnection)) return;
    const QString id = sensorId();
    const auto levels = loadAlarmLevels(s.gConnection, id);
    if (!levels || levels.value().empty()) return;
    const double offset = installationOffset(m_offsetText ? m_offsetText() : QString());
    const QDateTime at = wallClock(currentReadingDate(), currentReadingTime());
    const LoadAt reading{loadAfterOffset(QStringView(channel1), offset), at};

    // The previous plotted reading, by FullDate (stored as "yyyy-MM-dd HH:mm:ss").
    std::optional<LoadAt> previous;
    if (!id.contains(QLatin1Char('`'))) {
        Query q(s.gConnection, QStringLiteral("SELECT Channel1, FullDate FROM ") + sql::quoted(id) +
                                   QStringLiteral(" WHERE DoNotPlot = 0 AND FullDate < ? "
                                                  "ORDER BY FullDate DESC LIMIT 1"));
        q.bind(1, at.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
        if (q.prepared().ok() && q.next()) {
            const QString before = displayText(q.value(0));
            if (const auto when = readDateTime(q.value(1).toString()))
                previous = LoadAt{loadAfterOffset(QStringView(before), offset), *when};
        }
    }
    const LevelCheck check = checkLoad(reading, previous, levels.value());
    if (!check.any()) return;
    const bool alarm = check.reached == LevelReached::Alarm;
    lblLevels->setStyleSheet(alarm ? QStringLiteral("background: #c62828; color: white; "
                                                    "font-weight: bold; padding: 4px;")
                                   : QStringLiteral("background: #f9a825; color: black; "
                                                    "font-weight: bold; padding: 4px;"));
    lblLevels->setText(levelNotice(check, reading.load, levels.value()));
    lblLevels->show();
}

} // namespace rv
