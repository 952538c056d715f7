#include "store/ReadingsAppend.h"
#include "core/DateText.h"
#include "core/Values.h"
#include "store/ColumnType.h"
#include "store/Module1.h"
#include "store/ReadingsTable.h"
#include "store/Statements.h"
#include <QStringList>
#include <array>

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
                         const std::function<void(const QString&)>& visit,
                         const std::function<void(qint64)>& sizeHint) {
    if (sizeHint) {
        Query count(c, QStringLiteral("SELECT count(*) FROM ") + sql::quoted(table));
        if (count.next()) sizeHint(count.int64(0));
        if (!count.status().ok()) return count.status();
    }
    Query q(c, QStringLiteral("SELECT DateTimeKey FROM ") + sql::quoted(table));
    if (!q.prepared().ok()) return q.prepared();
    while (q.next()) {
        switch (q.kind(0)) {
        case ValueKind::Null:
            break;
        case ValueKind::Text: {
            const QByteArrayView key = q.bytes(0);
            visit(QString::fromUtf8(key.data(), key.size()));
            break;
        }
        default:
            visit(displayText(q.value(0)));
            break;
        }
    }
    return q.status();
}

ChunkedInsert::ChunkedInsert(Connection& c, QString head, int columns, int rowsPerStatement)
    : m_c(c), m_head(std::move(head)), m_columns(qMax(1, columns)),
      m_rowsPerStatement(qMax(1, rowsPerStatement)) {
    if (EngineConnection* engine = c.engine()) {
        auto stream = engine->streamRows(m_head);
        if (!stream.ok()) {
            m_prepared = stream.error();
            return;
        }
        m_stream = std::move(stream).value();
        if (m_stream) return;
    }
    m_full.emplace(c, statement(m_rowsPerStatement));
    m_prepared = m_full->prepared();
    m_cells.resize(std::size_t(m_columns) * std::size_t(m_rowsPerStatement));
}

QString ChunkedInsert::statement(int rows) const {
    QString one = QStringLiteral("(?");
    for (int c = 1; c < m_columns; ++c)
        one += QStringLiteral(", ?");
    one += u')';
    QString sql = m_head + QStringLiteral(" VALUES ") + one;
    sql.reserve(sql.size() + (rows - 1) * (one.size() + 2));
    for (int r = 1; r < rows; ++r)
        sql += QStringLiteral(", ") + one;
    return sql;
}

void ChunkedInsert::text(int column, const char* bytes, qsizetype length) {
    if (m_stream) return m_stream->text(bytes, length);
    Cell& c = cell(column);
    c.kind = Cell::Kind::Text;
    c.offset = m_bytes.size();
    c.length = length;
    m_bytes.append(bytes, length);
}

void ChunkedInsert::integer(int column, qint64 value) {
    if (m_stream) return m_stream->integer(value);
    Cell& c = cell(column);
    c.kind = Cell::Kind::Integer;
    c.number = value;
}

void ChunkedInsert::real(int column, double value) {
    if (m_stream) return m_stream->real(value);
    Cell& c = cell(column);
    c.kind = Cell::Kind::Real;
    c.real = value;
}

void ChunkedInsert::null(int column) {
    if (m_stream) return m_stream->null();
    cell(column).kind = Cell::Kind::Null;
}

void ChunkedInsert::value(int column, const QVariant& value) {
    if (m_stream) {
        // As a statement binds it: nothing, a number, or its text.
        switch (value.isNull() ? QMetaType::UnknownType : value.typeId()) {
        case QMetaType::UnknownType:
            return m_stream->null();
        case QMetaType::Bool:
        case QMetaType::Int:
        case QMetaType::UInt:
        case QMetaType::LongLong:
            return m_stream->integer(value.toLongLong());
        case QMetaType::Double:
        case QMetaType::Float:
            return m_stream->real(value.toDouble());
        default: {
            const QByteArray utf8 = value.toString().toUtf8();
            return m_stream->text(utf8.constData(), utf8.size());
        }
        }
    }
    Cell& c = cell(column);
    c.kind = Cell::Kind::Value;
    c.number = qint64(m_values.size());
    m_values.push_back(value);
}

Status ChunkedInsert::endRow() {
    if (!m_prepared.ok()) return m_prepared;
    if (m_stream) return m_stream->endRow();
    if (++m_rows < m_rowsPerStatement) return {};
    return write(*m_full, m_rows);
}

Status ChunkedInsert::flush() {
    if (!m_prepared.ok()) return m_prepared;
    if (m_stream) return m_stream->finish();
    if (m_rows == 0) return {};
    if (m_rows == m_rowsPerStatement) return write(*m_full, m_rows);
    // The last, shorter chunk: a statement of its own size, prepared once.
    Query tail(m_c, statement(m_rows));
    if (!tail.prepared().ok()) return tail.prepared();
    return write(tail, m_rows);
}

Status ChunkedInsert::write(Query& q, int rows) {
    // The texts are bound where they lie: m_bytes stays as it is until the step is done.
    int slot = 1;
    for (std::size_t i = 0, n = std::size_t(rows) * std::size_t(m_columns); i < n; ++i, ++slot) {
        const Cell& c = m_cells[i];
        switch (c.kind) {
        case Cell::Kind::Null:
            q.bindNull(slot);
            break;
        case Cell::Kind::Integer:
            q.bindInt64(slot, c.number);
            break;
        case Cell::Kind::Real:
            q.bindDouble(slot, c.real);
            break;
        case Cell::Kind::Text:
            q.bindUtf8(slot, m_bytes.constData() + c.offset, c.length);
            break;
        case Cell::Kind::Value:
            q.bind(slot, m_values[std::size_t(c.number)]);
            break;
        }
    }
    const Status written = q.run();
    q.reset();
    m_rows = 0;
    m_bytes.resize(0);
    m_values.clear();
    return written;
}

ReadingsAppend::ReadingsAppend(Connection& c, const QString& table) : m_connection(c) {
    m_started = prepare(table);
}

ReadingsAppend::~ReadingsAppend() {
    rollback();
}

Status ReadingsAppend::prepare(const QString& table) {
    if (const auto refused = unusableReadingsTableName(table)) return *refused;
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
    QStringList names;
    for (const Target& target : m_targets)
        names << quoteName(target.column.name);

    if (Status st = m_connection.begin(); !st.ok()) return st;
    m_open = true;
    // On a site server one append at a time writes to a sensor's table, so that what it
    // finds stored once it holds the table stays true until it commits; readers are not
    // held up. Another engineer's append is waited for as any change is.
    if (m_connection.onServer())
        if (Status st = m_connection.execute(QStringLiteral("LOCK TABLE ") + sql::quoted(table) +
                                             QStringLiteral(" IN SHARE ROW EXCLUSIVE MODE"));
            !st.ok())
            return st;
    m_insert.emplace(m_connection,
                     QStringLiteral("INSERT INTO ") + sql::quoted(table) + QStringLiteral(" (") +
                         names.join(QStringLiteral(", ")) + u')',
                     int(m_targets.size()));
    return m_insert->prepared();
}

Status ReadingsAppend::add(const ReadingToAppend& r, StoredChannels* stored) {
    ChunkedInsert& insert = *m_insert;
    for (std::size_t t = 0; t < m_targets.size(); ++t) {
        const Target& target = m_targets[t];
        const int column = int(t);
        if (direct(target.what, target.column.type)) {
            auto channel = [&](const QByteArray& value, StoredChannel* kept) {
                if (value.isNull())
                    insert.null(column);
                else
                    insert.text(column, value.constData(), value.size());
                if (kept) kept->given = &value;
            };
            switch (target.what) {
            case Column::Key:
                insert.text(column, r.key, r.keyLength);
                break;
            case Column::ReadingDate:
                insert.text(column, r.moment, 10);
                break;
            case Column::ReadingTime:
                insert.text(column, r.moment + 11, 8);
                break;
            case Column::FullDate:
                insert.text(column, r.moment, r.midnight ? 10 : 19);
                break;
            case Column::ChannelT:
                channel(*r.channelT, stored ? &stored->channelT : nullptr);
                break;
            case Column::Channel1:
                channel(*r.channel1, stored ? &stored->channel1 : nullptr);
                break;
            case Column::IsDirty:
                insert.integer(column, 1);
                break;
            case Column::DoNotPlot:
                insert.integer(column, 0);
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
        insert.value(column, converted.value());
        if (stored && target.what == Column::ChannelT)
            stored->channelT = StoredChannel{nullptr, converted.value()};
        if (stored && target.what == Column::Channel1)
            stored->channel1 = StoredChannel{nullptr, converted.value()};
    }
    return insert.endRow();
}

Status ReadingsAppend::commit() {
    if (Status st = m_insert->flush(); !st.ok()) return st;
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
