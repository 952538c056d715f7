// The reading shown judged against the sensor's alarm levels, its load computed as the
// plots compute it (channel 1 less the offset shown on the Installation tab), its rise from
// the previous plotted reading per day. A reading without a load (an empty channel 1, or a
// text such as a logger's "ERR") is judged by no level and is no previous reading, as a
// reading kept out of the plots is not.
#include "readings/LevelNotice.h"
#include "alarms/AlarmStore.h"
#include "core/DateText.h"
#include "core/Loads.h"
#include "core/NumberText.h"
#include "core/Values.h"
#include "readings/ReadingRules.h"
#include "store/Connection.h"
#include "store/ReadingsTable.h"
#include "store/Session.h"
#include <QFontMetrics>

namespace rv {

LevelNotice::LevelNotice(Session& session, QWidget* parent) : QLabel(parent), m_s(&session) {
    setObjectName(QStringLiteral("lblLevels"));
    setWordWrap(true);
    setStyleSheet(QStringLiteral("font-weight: bold; padding: 4px;"));
    // The notice keeps the room of two lines whether it shows or not, so that the
    // navigation buttons above it stay where they are while the user clicks through.
    QSizePolicy keepNotice = sizePolicy();
    keepNotice.setRetainSizeWhenHidden(true);
    setSizePolicy(keepNotice);
    QFont noticeFont = font();
    noticeFont.setBold(true);
    setMinimumHeight(2 * QFontMetrics(noticeFont).lineSpacing() + 12);
    hide();
}

LevelNotice::~LevelNotice() {
    m_s = nullptr;
}

void LevelNotice::clearNotice() {
    clear();
    hide();
}

void LevelNotice::judge(const QDateTime& at, const QString& channel1) {
    clearNotice();
    if (!m_s) return;
    Session& s = *m_s;
    if (!hasLeadingNumber(channel1)) return;
    if (!s.gConnection.isOpen() || !hasAlarmTable(s.gConnection)) return;
    const QString id = displayText(need(s.currentSensor.value(QStringLiteral("InstrumentID"))));
    const auto levels = loadAlarmLevels(s.gConnection, id);
    if (!levels || levels.value().empty()) return;
    const double offset = installationOffset(m_offsetText ? m_offsetText() : QString());
    const double value = leadingNumber(channel1);
    const LoadAt reading{loadAfterOffset(QStringView(channel1), offset), at};

    // The previous plotted reading that has a load (a reading at midnight, stored as its
    // date alone, is never its own previous reading).
    std::optional<LoadAt> previous;
    if (const auto before = previousPlottedReading(s.gConnection, id, at);
        before.ok() && before.value())
        if (const auto when = readDateTime(before.value()->fullDate))
            previous =
                LoadAt{loadAfterOffset(QStringView(before.value()->channel1), offset), *when};
    const LevelCheck check = checkLoad(reading, previous, levels.value());
    if (!check.any()) return;
    const bool alarm = check.reached == LevelReached::Alarm;
    setStyleSheet(alarm ? QStringLiteral("background: #c62828; color: white; "
                                         "font-weight: bold; padding: 4px;")
                        : QStringLiteral("background: #f9a825; color: black; "
                                         "font-weight: bold; padding: 4px;"));
    setText(readingLevelNotice(check, value, offset,
                               previous ? std::optional<double>(previous->load) : std::nullopt,
                               levels.value()));
    show();
}

} // namespace rv
