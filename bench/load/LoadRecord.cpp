#include "bench/load/LoadRecord.h"
#include "core/DateText.h"
#include <QFile>
#include <QRegularExpression>
#include <chrono>

namespace rv::load {

namespace {
const QDate kPoolFirstDay(2030, 1, 1);
const QDate kOwnYear(2031, 1, 1);
const QChar kTab = u'\t';

// A field of a record line: tabs and line ends would split it.
QString field(QString text) {
    return text.replace(kTab, u' ').replace(u'\n', u' ').replace(u'\r', u' ');
}
} // namespace

QDateTime poolMoment(int minute) {
    return wallClock(kPoolFirstDay.addDays(minute / 1440),
                     QTime(0, 0).addSecs(60 * (minute % 1440)));
}

QString readingKeyAt(const QString& sensor, const QDateTime& moment) {
    return readingKey(sensor, moment);
}

namespace {
// The day and minute of a reading's key "<sensor> yyyy/MM/dd HH:mm:ss".
std::optional<QDateTime> keyMoment(const QString& key) {
    static const QRegularExpression form(
        QStringLiteral("^\\S+ (\\d{4})/(\\d{2})/(\\d{2}) (\\d{2}):(\\d{2}):(\\d{2})$"));
    const auto m = form.match(key);
    if (!m.hasMatch()) return std::nullopt;
    const QDate d(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
    const QTime t(m.captured(4).toInt(), m.captured(5).toInt(), m.captured(6).toInt());
    if (!d.isValid() || !t.isValid()) return std::nullopt;
    return QDateTime(d, t);
}
} // namespace

std::optional<int> poolMinute(const QString& key) {
    const auto at = keyMoment(key);
    if (!at || at->date().year() != kPoolFirstDay.year()) return std::nullopt;
    return int(kPoolFirstDay.daysTo(at->date()) * 1440 + at->time().msecsSinceStartOfDay() / 60000);
}

PoolValues poolValues(int sensorIndex, int minute) {
    return PoolValues{QByteArray::number(10.0 + (minute % 200) / 10.0, 'f', 1),
                      QByteArray::number(sensorIndex + (minute % 5000) / 100.0, 'f', 2)};
}

QDate ownFirstDay(int client) {
    return kOwnYear.addDays(qint64(client) * kOwnDays);
}

QDateTime ownMoment(int client, int n) {
    // One reading a minute, over the client's days in turn.
    const int day = (n / 1440) % kOwnDays;
    return wallClock(ownFirstDay(client).addDays(day), QTime(0, 0).addSecs(60 * (n % 1440)));
}

std::optional<int> ownerOfKey(const QString& key) {
    const auto at = keyMoment(key);
    if (!at || at->date().year() != kOwnYear.year()) return std::nullopt;
    return int(kOwnYear.daysTo(at->date()) / kOwnDays);
}

double attemptValue(int client, int step) {
    return (client + 1) * 1000000.0 + step;
}

QString valueText(double value) {
    return QString::number(value, 'f', 2);
}

QString outcomeName(Outcome o) {
    switch (o) {
    case Outcome::Ok:
        return QStringLiteral("ok");
    case Outcome::Changed:
        return QStringLiteral("changed");
    case Outcome::Busy:
        return QStringLiteral("busy");
    case Outcome::Lost:
        return QStringLiteral("lost");
    case Outcome::Failed:
        return QStringLiteral("failed");
    case Outcome::InFlight:
        break;
    }
    return QStringLiteral("in-flight");
}

Outcome outcomeNamed(const QString& name) {
    for (Outcome o : {Outcome::Ok, Outcome::Changed, Outcome::Busy, Outcome::Lost, Outcome::Failed})
        if (outcomeName(o) == name) return o;
    return Outcome::InFlight;
}

qint64 nowUs() {
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

RecordWriter::RecordWriter(const QString& path) {
    m_file = std::fopen(QFile::encodeName(path).constData(), "w");
}

RecordWriter::~RecordWriter() {
    if (m_file) std::fclose(m_file);
}

void RecordWriter::line(const QStringList& fields) {
    if (!m_file) return;
    const QByteArray text = (fields.join(kTab) + u'\n').toUtf8();
    std::fwrite(text.constData(), 1, std::size_t(text.size()), m_file);
    // Written through to the system at once: a client killed next leaves it on record.
    std::fflush(m_file);
}

void RecordWriter::begin(const Event& e) {
    QStringList fields{QStringLiteral("B"), e.op, QString::number(e.step), QString::number(e.start),
                       field(e.sensor)};
    for (const QString& d : e.detail)
        fields << field(d);
    line(fields);
}

void RecordWriter::end(const Event& e) {
    QStringList fields{QStringLiteral("E"),     e.op,
                       QString::number(e.step), QString::number(e.start),
                       QString::number(e.end),  outcomeName(e.outcome),
                       field(e.sensor),         field(e.refusal)};
    for (const QString& d : e.detail)
        fields << field(d);
    line(fields);
}

std::vector<Event> readRecord(const QString& path, int client) {
    std::vector<Event> events;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return events;
    std::optional<Event> begun;
    while (!f.atEnd()) {
        const QString text = QString::fromUtf8(f.readLine()).chopped(1);
        const QStringList p = text.split(kTab);
        if (p.size() >= 5 && p[0] == u'B') {
            begun = Event{};
            begun->client = client;
            begun->op = p[1];
            begun->step = p[2].toLongLong();
            begun->start = p[3].toLongLong();
            begun->sensor = p[4];
            begun->detail = p.mid(5);
        } else if (p.size() >= 8 && p[0] == u'E') {
            Event e;
            e.client = client;
            e.op = p[1];
            e.step = p[2].toLongLong();
            e.start = p[3].toLongLong();
            e.end = p[4].toLongLong();
            e.outcome = outcomeNamed(p[5]);
            e.sensor = p[6];
            e.refusal = p[7];
            e.detail = p.mid(8);
            events.push_back(e);
            begun.reset();
        }
    }
    if (begun) events.push_back(*begun);
    return events;
}

QString minuteRanges(const std::vector<int>& minutes) {
    QStringList ranges;
    for (std::size_t i = 0; i < minutes.size();) {
        std::size_t j = i;
        while (j + 1 < minutes.size() && minutes[j + 1] == minutes[j] + 1)
            ++j;
        ranges << QString::number(minutes[i]) + u'-' + QString::number(minutes[j]);
        i = j + 1;
    }
    return ranges.join(u',');
}

std::vector<int> minutesOf(const QString& ranges) {
    std::vector<int> minutes;
    for (const QString& r : ranges.split(u',', Qt::SkipEmptyParts)) {
        const QStringList ends = r.split(u'-');
        if (ends.size() != 2) continue;
        for (int m = ends[0].toInt(); m <= ends[1].toInt(); ++m)
            minutes.push_back(m);
    }
    return minutes;
}

} // namespace rv::load
