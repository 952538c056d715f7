#include "store/RowStore.h"
#include <algorithm>
#include <cstring>

namespace rv {

Status RowStore::load(Query& q, int columns, const std::function<qint64()>& expectedRows) {
    // Rows are read straight into the store's own memory, which keeps its capacity from
    // the previous load: reading a sensor's readings again touches no new memory.
    clear();
    m_columns = columns;
    std::vector<CellView> cells(std::size_t(columns) + 1);
    qint64 bookmark = 0;
    while (q.next()) {
        if (bookmark == 0) {
            // Reserved pages cost nothing untouched; copying rows while the storage grows
            // does.
            const qint64 held = q.rowsHeld();
            const qint64 expected = held >= 0 ? held : expectedRows();
            if (expected > 0) {
                m_rows.reserve(std::size_t(expected));
                m_arena.reserve(qsizetype(expected) * qsizetype(columns) * 12);
            }
        }
        q.readRow(cells.data(), columns + 1);
        Row row;
        row.rowid = cells[0].integer;
        row.bookmark = ++bookmark * m_step;
        row.offset = m_arena.size();
        for (int i = 1; i <= columns; ++i) {
            const CellView& c = cells[std::size_t(i)];
            switch (c.kind) {
            case ValueKind::Integer:
                m_arena.append(char(Integer));
                m_arena.append(reinterpret_cast<const char*>(&c.integer), sizeof c.integer);
                break;
            case ValueKind::Real:
                m_arena.append(char(Real));
                m_arena.append(reinterpret_cast<const char*>(&c.real), sizeof c.real);
                break;
            case ValueKind::Text:
            case ValueKind::Blob: {
                const quint32 length = quint32(c.length);
                m_arena.append(char(c.kind == ValueKind::Text ? Text : Blob));
                m_arena.append(reinterpret_cast<const char*>(&length), sizeof length);
                m_arena.append(c.bytes, qsizetype(length));
                break;
            }
            case ValueKind::Null:
                m_arena.append(char(Null));
                break;
            }
        }
        m_rows.push_back(row);
    }
    m_nextBookmark = (bookmark + 1) * m_step;
    if (!q.status().ok()) {
        clear();
        return q.status();
    }
    return {};
}

void RowStore::clear() {
    m_rows.clear();
    m_arena.resize(0);
    m_nextBookmark = m_step;
}

void RowStore::release() {
    clear();
    std::vector<Row>().swap(m_rows);
    m_arena.release();
}

void RowStore::renumberBookmarks() {
    qint64 bookmark = 0;
    for (Row& row : m_rows)
        row.bookmark = ++bookmark * m_step;
    m_nextBookmark = (bookmark + 1) * m_step;
}

RowStore::CellRef RowStore::cell(const Row& row, int column) const {
    const char* p = m_arena.constData() + row.offset;
    for (int c = 0;; ++c) {
        CellRef ref;
        ref.kind = CellKind(*p++);
        switch (ref.kind) {
        case Integer:
        case Real:
            ref.data = p;
            p += 8;
            break;
        case Text:
        case Blob:
            std::memcpy(&ref.length, p, sizeof ref.length);
            ref.data = p + sizeof ref.length;
            p = ref.data + ref.length;
            break;
        case Null:
            break;
        }
        if (c == column) return ref;
    }
}

QVariant RowStore::stored(const Row& row, int column) const {
    const CellRef ref = cell(row, column);
    switch (ref.kind) {
    case Integer: {
        qint64 v;
        std::memcpy(&v, ref.data, sizeof v);
        return QVariant(v);
    }
    case Real: {
        double v;
        std::memcpy(&v, ref.data, sizeof v);
        return QVariant(v);
    }
    case Text:
        return QVariant(QString::fromUtf8(ref.data, qsizetype(ref.length)));
    case Blob:
        return QVariant(QByteArray(ref.data, qsizetype(ref.length)));
    case Null:
        break;
    }
    return QVariant();
}

void RowStore::appendCell(const QVariant& value) {
    if (!value.isValid() || value.isNull()) {
        m_arena.append(char(Null));
        return;
    }
    switch (value.typeId()) {
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt:
    case QMetaType::Bool: {
        const qint64 v = value.toLongLong();
        m_arena.append(char(Integer));
        m_arena.append(reinterpret_cast<const char*>(&v), sizeof v);
        return;
    }
    case QMetaType::Double:
    case QMetaType::Float: {
        const double v = value.toDouble();
        m_arena.append(char(Real));
        m_arena.append(reinterpret_cast<const char*>(&v), sizeof v);
        return;
    }
    default:
        break;
    }
    const bool blob = value.typeId() == QMetaType::QByteArray;
    const QByteArray bytes = blob ? value.toByteArray() : value.toString().toUtf8();
    const quint32 length = quint32(bytes.size());
    m_arena.append(char(blob ? Blob : Text));
    m_arena.append(reinterpret_cast<const char*>(&length), sizeof length);
    m_arena.append(bytes);
}

void RowStore::store(Row& row, const std::vector<QVariant>& cells) {
    const qsizetype offset = m_arena.size();
    for (std::size_t c = 0; c < std::size_t(m_columns); ++c)
        appendCell(c < cells.size() ? cells[c] : QVariant());
    row.offset = offset;
}

RowStore::Row& RowStore::appendEmpty() {
    Row row;
    row.bookmark = m_nextBookmark;
    m_nextBookmark += m_step;
    row.offset = m_arena.size();
    m_arena.append(qsizetype(m_columns), char(Null));
    m_rows.push_back(row);
    return m_rows.back();
}

void RowStore::dropLast() {
    if (m_rows.empty()) return;
    if (m_rows.back().offset + qsizetype(m_columns) == m_arena.size())
        m_arena.resize(m_rows.back().offset);
    m_rows.pop_back();
}

int RowStore::compare(const Row& a, const Row& b, int column) const {
    const CellRef x = cell(a, column);
    const CellRef y = cell(b, column);
    auto rank = [](CellKind k) {
        switch (k) {
        case Null:
            return 0;
        case Integer:
        case Real:
            return 1;
        case Text:
            return 2;
        case Blob:
            return 3;
        }
        return 4;
    };
    if (rank(x.kind) != rank(y.kind)) return rank(x.kind) < rank(y.kind) ? -1 : 1;
    int c = 0;
    if (rank(x.kind) == 1) {
        auto number = [](const CellRef& r) {
            if (r.kind == Integer) {
                qint64 v;
                std::memcpy(&v, r.data, sizeof v);
                return double(v);
            }
            double v;
            std::memcpy(&v, r.data, sizeof v);
            return v;
        };
        const double u = number(x), v = number(y);
        c = u < v ? -1 : (u > v ? 1 : 0);
    } else if (rank(x.kind) >= 2) {
        c = std::memcmp(x.data, y.data, std::min(x.length, y.length));
        if (c == 0 && x.length != y.length) c = x.length < y.length ? -1 : 1;
    }
    if (c != 0) return c;
    return a.rowid < b.rowid ? -1 : (a.rowid > b.rowid ? 1 : 0);
}

} // namespace rv
