#pragma once
// Appending readings to a sensor's readings table in bulk: one transaction and one
// prepared INSERT naming those of the eight columns of a reading the table has
// (DateTimeKey, ReadingDate, ReadingTime, FullDate, ChannelT, Channel1, IsDirty, DoNotPlot).
// The usual readings table takes each value in the form given here directly; a column of
// another type gets the store's own conversion. Nothing stays unless commit() succeeds.
//
// The keys stored already, for the duplicate test of an import, are read here too.
#include "platform/Status.h"
#include "store/Connection.h"
#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QVariant>
#include <functional>
#include <optional>
#include <vector>

namespace rv {

// Visits the key of every reading of the table that has one, as its text: one query.
Status forEachReadingKey(Connection& c, const QString& table,
                         const std::function<void(const QString&)>& visit);

// One reading in the forms it is written in. The texts are read during add() only.
struct ReadingToAppend {
    const char* key = nullptr; // "<sensor> yyyy/MM/dd HH:mm:ss", keyLength bytes
    qsizetype keyLength = 0;
    const char* moment = nullptr; // "yyyy-MM-dd HH:mm:ss": the stored date and time
    bool midnight = false;        // FullDate then holds the date alone
    QDateTime fullDate;
    const QByteArray* channelT = nullptr; // a null array for Null
    const QByteArray* channel1 = nullptr;
};

// The channel values a reading was stored with (Null where the column was left empty).
struct StoredChannels {
    QVariant channelT;
    QVariant channel1;
};

class ReadingsAppend {
public:
    // Describes the table, begins the transaction and prepares the statement; started()
    // tells whether all went well. A table with none of the columns of a reading fails.
    ReadingsAppend(Connection& c, const QString& table);
    // Rolls back what was not committed.
    ~ReadingsAppend();
    ReadingsAppend(const ReadingsAppend&) = delete;
    ReadingsAppend& operator=(const ReadingsAppend&) = delete;

    const Status& started() const { return m_started; }
    // Writes one reading; with `stored`, answers the channel values as they were stored.
    // A channel value its column refuses leaves the column empty and the reading is
    // written; any other refusal fails.
    Status add(const ReadingToAppend& r, StoredChannels* stored = nullptr);
    Status commit();
    // Undoes every reading added (nothing then stays of them).
    void rollback();

    // The columns of a reading, in the order of the statement.
    enum class Column {
        Key,
        ReadingDate,
        ReadingTime,
        FullDate,
        ChannelT,
        Channel1,
        IsDirty,
        DoNotPlot
    };

private:
    // A column of the eight that the table has, with its type.
    struct Target {
        Column what;
        ColumnInfo column;
    };
    Status prepare(const QString& table);

    Connection& m_connection;
    Status m_started;
    std::vector<Target> m_targets;
    std::optional<Query> m_insert;
    bool m_open = false; // the transaction is open
};

} // namespace rv
