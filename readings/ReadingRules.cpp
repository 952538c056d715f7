#include "readings/ReadingRules.h"
#include "core/DateText.h"
#include "core/NumberText.h"
#include "core/Values.h"
#include "platform/Dialogs.h"
#include <QDateTime>
#include <QRegularExpression>

namespace rv {

bool acceptsReadingKey(int code) {
    switch (code) {
    case 8:   // backspace
    case 9:   // tab
    case 13:  // enter
    case 45:  // "-"
    case 46:  // "."
    case 127: // delete
        return true;
    default:
        return code >= 48 && code <= 57;
    }
}

double limitValue(const QVariant& column) {
    return leadingNumber(displayText(column));
}

QString loadLimitMessage(int channel, const Limits& limits) {
    return QStringLiteral("Error: Channel ") + QString::number(channel) +
           QStringLiteral(" must be > ") + plainDecimal(limits.low) + QStringLiteral(" and < ") +
           plainDecimal(limits.high);
}

QString temperatureLimitMessage(const Limits& limits) {
    return QStringLiteral("Error: Channel T must be > ") + plainDecimal(limits.low) +
           QStringLiteral(" and < ") + plainDecimal(limits.high);
}

QString readingCounter(qint64 position, qint64 count) {
    if (count <= 0) return QStringLiteral("0 of 0");
    return QString::number(position) + QStringLiteral(" of ") + QString::number(count);
}

std::optional<QDate> storedDate(const QVariant& value) {
    if (!value.isValid() || value.isNull()) return std::nullopt;
    if (value.typeId() == QMetaType::QDateTime) {
        const QDate d = value.toDateTime().date();
        return d.isValid() ? std::optional<QDate>(d) : std::nullopt;
    }
    if (value.typeId() == QMetaType::QDate) {
        const QDate d = value.toDate();
        return d.isValid() ? std::optional<QDate>(d) : std::nullopt;
    }
    if (value.typeId() == QMetaType::QString) {
        if (const auto moment = readDateTime(value.toString())) return moment->date();
    }
    return std::nullopt;
}

std::optional<QTime> storedTime(const QVariant& value) {
    if (!value.isValid() || value.isNull()) return std::nullopt;
    if (value.typeId() == QMetaType::QDateTime) {
        const QTime t = value.toDateTime().time();
        return t.isValid() ? std::optional<QTime>(toSecond(t)) : std::nullopt;
    }
    if (value.typeId() != QMetaType::QString) return std::nullopt;
    static const QRegularExpression form(
        QStringLiteral(R"(^([0-9]{1,2}):([0-9]{2})(?::([0-9]{2}))?$)"));
    const auto m = form.match(value.toString().trimmed());
    if (!m.hasMatch()) return std::nullopt;
    const QTime t(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
    return t.isValid() ? std::optional<QTime>(t) : std::nullopt;
}

namespace {
// The date and time halves of a key: "<identifier> yyyy/mm/dd hh:nn:ss".
QStringList keyParts(const QString& key) {
    const QStringList parts = key.trimmed().split(u' ', Qt::SkipEmptyParts);
    return parts.size() == 3 ? parts : QStringList();
}
} // namespace

std::optional<QDate> keyDate(const QString& key) {
    const QStringList parts = keyParts(key);
    if (parts.isEmpty()) return std::nullopt;
    static const QRegularExpression form(QStringLiteral(R"(^([0-9]{4})/([0-9]{2})/([0-9]{2})$)"));
    const auto m = form.match(parts[1]);
    if (!m.hasMatch()) return std::nullopt;
    const QDate d(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
    return d.isValid() ? std::optional<QDate>(d) : std::nullopt;
}

std::optional<QTime> keyTime(const QString& key) {
    const QStringList parts = keyParts(key);
    if (parts.isEmpty()) return std::nullopt;
    return storedTime(QVariant(parts[2]));
}

QTime toSecond(const QTime& time) {
    return time.isValid() ? QTime(time.hour(), time.minute(), time.second()) : time;
}

bool isReadingValue(const QString& typed, const QString& stored) {
    const QString text = typed.trimmed();
    return text.isEmpty() || isNumberText(text) || text == stored.trimmed();
}

QString notNumberError(const QString& box, const QString& readingKey, const QString& typed) {
    return QStringLiteral("Error: ") + box + QStringLiteral(" of the reading ") + readingKey +
           QStringLiteral(" is not a number: ") + typed.trimmed();
}

QString notNumberNotSaved(const QString& box, const QString& readingKey, const QString& typed) {
    return QStringLiteral("The reading ") + readingKey + QStringLiteral(" was not saved: ") + box +
           QStringLiteral(" holds \"") + typed.trimmed() +
           QStringLiteral("\", which is not a number.") + kCrLf +
           QStringLiteral("The reading keeps its stored values.");
}

QString readingLevelNotice(const LevelCheck& check, double reading, double offset,
                           std::optional<double> previousLoad, const AlarmLevels& levels) {
    const double load = reading - offset;
    const QString tons = QStringLiteral(" t");
    const QString loadPart = QStringLiteral("load ") + formatNumber(load, 2) +
                             QStringLiteral(" t above the installation offset (reading ") +
                             formatNumber(reading, 2) + QStringLiteral(" t \u2212 offset ") +
                             formatNumber(offset, 2) + QStringLiteral(" t)");
    QStringList parts;
    if (check.reached == LevelReached::Alarm)
        parts << QStringLiteral("ALARM: ") + loadPart +
                     QStringLiteral(" is at or above the alarm load of ") +
                     plainDecimal(*levels.alarm) + tons;
    else if (check.reached == LevelReached::Alert)
        parts << QStringLiteral("ALERT: ") + loadPart +
                     QStringLiteral(" is at or above the alert load of ") +
                     plainDecimal(*levels.alert) + tons;
    if (check.rateExceeded) {
        QString rate = QStringLiteral("RISING FAST: ");
        if (parts.isEmpty()) rate += loadPart + QStringLiteral(" rose ");
        rate +=
            formatNumber(check.risePerDay, 2) + QStringLiteral(" t/day since the previous reading");
        if (previousLoad)
            rate += QStringLiteral(" (") + formatNumber(*previousLoad, 2) + tons + u')';
        rate += QStringLiteral(", faster than the limit of ") + plainDecimal(*levels.ratePerDay) +
                QStringLiteral(" t/day");
        parts << rate;
    }
    return parts.join(QStringLiteral("; "));
}

QString changedMeanwhileText(const QString& refusal, const QString& temperature,
                             const QString& load) {
    const auto shown = [](const QString& v) { return v.isEmpty() ? QStringLiteral("none") : v; };
    return refusal + kCrLf + QStringLiteral("Stored now: temperature ") + shown(temperature) +
           QStringLiteral(", load ") + shown(load) +
           QStringLiteral(". Your values are still in the boxes: moving to another reading "
                          "saves them over these.");
}

} // namespace rv
