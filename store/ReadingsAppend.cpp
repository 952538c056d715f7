#include "store/ReadingsAppend.h"
#include "core/DateText.h"
#include "core/Values.h"
#include "store/ColumnType.h"
#include "store/Module1.h"
#include "store/Statements.h"
#include <QStringList>
#include <array>
#include <sqlite3.h>

namespace rv {

namespace {

using Column = ReadingsAppend::Column;

const std::array<QString, 8> kColumnNames = {
    QStringLiteral("DateTimeKey"), QStringLiteral("ReadingDate"), QStringLiteral("ReadingTime"),
    QStringLiteral("FullDate"),    QStringLiteral("ChannelT"),    QStringLiteral("Channel1"),
    QStringLiteral("IsDirty"),     QStringLiteral("DoNotPlot")};

// Whether the column takes the value in the form given here as it stands.
bool direct(Column what, ColumnType type) {
    switch (what) {
    case Column::ReadingDate:
    case Column::FullDate:
        return type == ColumnType::Date || type == ColumnType::Any;
    case Column::IsDirty:
    case Column::DoNotPlot:
        return type == ColumnType::YesNo || type == ColumnType::Any;
    default:
        return type == ColumnType::Text || type == ColumnType::Any;
    }
}

} // namespace

Status forEachReadingKey(Connection& c, const QString& table,
                         const std::function<void(const QString&)>& visit) {
    Query q(c, QStringLiteral("SELECT DateTimeKey FROM ") + sql::quoted(table));
    if (!q.prepared().ok()) return q.prepared();
    while (q.next()) {
        const QVariant key = q.value(0);
        if (!key.isNull()) visit(displayText(key));
    }
    return q.status();
}

ReadingsAppend::ReadingsAppend(Connection& c, const QString& table) : m_connection(c) {
    m_started = prepare(table);
}

ReadingsAppend::~ReadingsAppend() {
    rollback();
}

Status ReadingsAppend::prepare(const QString& table) {
    auto tableColumns = m_connection.columns(table);
    if (!tableColumns.ok()) return tableColumns.error();
    for (int w = int(Column::Key); w <= int(Column::DoNotPlot); ++w)
        for (const ColumnInfo& c : tableColumns.value())
            if (c.name.compare(kColumnNames[std::size_t(w)], Qt::CaseInsensitive) == 0) {
                m_targets.push_back({Column(w), c});
                break;
            }
    if (m_targets.empty())
        return Error{err::ItemNotFound, QStringLiteral("The table ") + table +
                                            QStringLiteral(" has no column of a reading.")};
    QStringList names, marks;
    for (std::size_t i = 0; i < m_targets.size(); ++i) {
        names << quoteName(m_targets[i].column.name);
        marks << QStringLiteral("?") + QString::number(i + 1);
    }

    if (Status st = m_connection.begin(); !st.ok()) return st;
    m_open = true;
    m_insert.emplace(m_connection, QStringLiteral("INSERT INTO ") + sql::quoted(table) +
                                       QStringLiteral(" (") + names.join(QStringLiteral(", ")) +
                                       QStringLiteral(") VALUES (") +
                                       marks.join(QStringLiteral(", ")) + QStringLiteral(")"));
    return m_insert->prepared();
}

Status ReadingsAppend::add(const ReadingToAppend& r, StoredChannels* stored) {
    sqlite3_stmt* stmt = m_insert->statement();
    for (std::size_t t = 0; t < m_targets.size(); ++t) {
        const Target& target = m_targets[t];
        const int slot = int(t) + 1;
        if (direct(target.what, target.column.type)) {
            auto text = [&](const char* bytes, qsizetype length) {
                sqlite3_bind_text(stmt, slot, bytes, int(length), SQLITE_STATIC);
            };
            auto channel = [&](const QByteArray& value, QVariant* kept) {
                if (value.isNull()) {
                    sqlite3_bind_null(stmt, slot);
                    return;
                }
                text(value.constData(), value.size());
                if (kept) *kept = QString::fromLatin1(value);
            };
            switch (target.what) {
            case Column::Key:
                text(r.key, r.keyLength);
                break;
            case Column::ReadingDate:
                text(r.moment, 10);
                break;
            case Column::ReadingTime:
                text(r.moment + 11, 8);
                break;
            case Column::FullDate:
                text(r.moment, r.midnight ? 10 : 19);
                break;
            case Column::ChannelT:
                channel(*r.channelT, stored ? &stored->channelT : nullptr);
                break;
            case Column::Channel1:
                channel(*r.channel1, stored ? &stored->channel1 : nullptr);
                break;
            case Column::IsDirty:
                sqlite3_bind_int(stmt, slot, 1);
                break;
            case Column::DoNotPlot:
                sqlite3_bind_int(stmt, slot, 0);
                break;
            }
            continue;
        }
        QVariant value;
        switch (target.what) {
        case Column::Key:
            value = QString::fromUtf8(r.key, r.keyLength);
            break;
        case Column::ReadingDate:
            value = wallClock(r.fullDate.date());
            break;
        case Column::ReadingTime:
            value = QString::fromLatin1(r.moment + 11, 8);
            break;
        case Column::FullDate:
            value = r.fullDate;
            break;
        case Column::ChannelT:
            if (!r.channelT->isNull()) value = QString::fromLatin1(*r.channelT);
            break;
        case Column::Channel1:
            if (!r.channel1->isNull()) value = QString::fromLatin1(*r.channel1);
            break;
        case Column::IsDirty:
            value = true;
            break;
        case Column::DoNotPlot:
            value = false;
            break;
        }
        Result<QVariant> converted = toStored(value, target.column.type, target.column.name);
        if (!converted.ok()) {
            // A channel value the column refuses leaves the column empty; the reading is
            // still written.
            if (target.what != Column::ChannelT && target.what != Column::Channel1)
                return converted.error();
            converted = QVariant();
        }
        m_insert->bind(slot, converted.value());
        if (stored && target.what == Column::ChannelT) stored->channelT = converted.value();
        if (stored && target.what == Column::Channel1) stored->channel1 = converted.value();
    }
    if (sqlite3_step(stmt) != SQLITE_DONE) {
        const Error error = m_connection.lastError();
        sqlite3_reset(stmt);
        return error;
    }
    sqlite3_reset(stmt);
    return {};
}

Status ReadingsAppend::commit() {
    Status st = m_connection.commit();
    if (st.ok()) m_open = false;
    return st;
}

void ReadingsAppend::rollback() {
    if (!m_open) return;
    m_open = false;
    m_connection.rollback();
}

} // namespace rv
