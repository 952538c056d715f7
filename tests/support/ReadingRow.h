#pragma once
// One reading as a test writes it straight into a sensor's readings table, column by
// column (DataFolderTest::addReadings writes them).
#include <QString>
#include <QStringList>
#include <QVariant>
#include <utility>
#include <vector>

namespace rv::test {

// Only the columns set are written; the others keep the table's defaults. A null QVariant
// writes Null; a text is stored as a text and a number as a number, as the same literal
// in an INSERT statement would be ('12.50' a text, 99 a number).
class ReadingRow {
public:
    // A reading with only its DateTimeKey.
    explicit ReadingRow(const QString& key) { set(QStringLiteral("DateTimeKey"), key); }
    // The reading of sensor id at "yyyy/MM/dd HH:mm:ss", keyed and dated as the program
    // stores one: DateTimeKey "<id> yyyy/MM/dd HH:mm:ss", ReadingDate "yyyy-MM-dd",
    // ReadingTime "HH:mm:ss", FullDate "yyyy-MM-dd HH:mm:ss".
    static ReadingRow at(const QString& id, const QString& dateTime);

    ReadingRow& readingDate(const QVariant& v) { return set(QStringLiteral("ReadingDate"), v); }
    ReadingRow& readingTime(const QVariant& v) { return set(QStringLiteral("ReadingTime"), v); }
    ReadingRow& fullDate(const QVariant& v) { return set(QStringLiteral("FullDate"), v); }
    ReadingRow& channel1(const QVariant& v) { return set(QStringLiteral("Channel1"), v); }
    ReadingRow& channelT(const QVariant& v) { return set(QStringLiteral("ChannelT"), v); }
    ReadingRow& doNotPlot(const QVariant& v) { return set(QStringLiteral("DoNotPlot"), v); }
    ReadingRow& zero1(const QVariant& v) { return set(QStringLiteral("zero1"), v); }
    ReadingRow& numTemp(const QVariant& v) { return set(QStringLiteral("NumTemp"), v); }
    // A test's literal as a column's text; nullptr for Null.
    static QVariant text(const char* v) {
        return v ? QVariant(QString::fromLatin1(v)) : QVariant();
    }
    // Any column by name; setting a column again replaces its value.
    ReadingRow& set(const QString& column, const QVariant& value);

    // The columns set, in the order first set, and their values.
    const QStringList& columns() const { return m_columns; }
    const std::vector<QVariant>& values() const { return m_values; }

private:
    QStringList m_columns;
    std::vector<QVariant> m_values;
};

} // namespace rv::test
