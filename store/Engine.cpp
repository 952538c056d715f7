#include "store/Engine.h"
#include "store/PgEngine.h"
#include "store/SqliteEngine.h"

namespace rv {

Status EngineConnection::emptyTable(const QString& table) {
    return execute(QStringLiteral("DELETE FROM \"") +
                   QString(table).replace(u'"', QStringLiteral("\"\"")) + u'"');
}

void EngineStatement::bind(int index, const QVariant& value) {
    if (!value.isValid() || value.isNull()) {
        bindNull(index);
        return;
    }
    switch (value.typeId()) {
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt:
    case QMetaType::Bool:
        bindInt64(index, value.toLongLong());
        break;
    case QMetaType::Double:
    case QMetaType::Float:
        bindDouble(index, value.toDouble());
        break;
    default:
        bindText(index, value.toString());
    }
}

QVariant EngineStatement::value(int column) const {
    switch (kind(column)) {
    case ValueKind::Integer:
        return QVariant(int64(column));
    case ValueKind::Real:
        return QVariant(real(column));
    case ValueKind::Text:
        return QVariant(text(column));
    case ValueKind::Blob:
        return QVariant(bytes(column).toByteArray());
    case ValueKind::Null:
        break;
    }
    return QVariant();
}

namespace {

// A bulk write over any connection: its own transaction, one prepared insert.
class TransactionBulkWrite : public BulkWrite {
public:
    TransactionBulkWrite(EngineConnection& c, std::unique_ptr<EngineStatement> insert)
        : m_c(c), m_insert(std::move(insert)) {}
    ~TransactionBulkWrite() override {
        if (!m_finished) m_c.rollback();
    }
    EngineStatement& row() override { return *m_insert; }
    Status add() override {
        if (m_finished) return Status::fail(err::ObjectClosed, QStringLiteral("The write is over"));
        const EngineStatement::Step step = m_insert->step();
        const Error failure = step == EngineStatement::Step::Failed ? m_insert->error() : Error{};
        m_insert->reset();
        if (step == EngineStatement::Step::Failed) return failure;
        return {};
    }
    Status finish() override {
        if (m_finished) return {};
        m_insert.reset();
        Status s = m_c.commit();
        if (!s.ok()) m_c.rollback();
        m_finished = true;
        return s;
    }

private:
    EngineConnection& m_c;
    std::unique_ptr<EngineStatement> m_insert;
    bool m_finished = false;
};

} // namespace

Result<std::unique_ptr<BulkWrite>> EngineConnection::bulkWrite(const QString& insertSql) {
    if (Status s = begin(); !s.ok()) return s;
    auto insert = prepare(insertSql);
    if (!insert.ok()) {
        rollback();
        return insert.error();
    }
    return std::unique_ptr<BulkWrite>(
        std::make_unique<TransactionBulkWrite>(*this, std::move(insert).value()));
}

DatabaseEngine& defaultEngine() {
    return sqliteEngine();
}

std::vector<DatabaseEngine*> availableEngines() {
    return {&sqliteEngine(), &postgresEngine()};
}

Status eachRow(EngineConnection& c, const QString& sql, const QString& bound,
               const std::function<void(EngineStatement&)>& onRow) {
    auto prepared = c.prepare(sql);
    if (!prepared.ok()) return prepared.error();
    EngineStatement& q = *prepared.value();
    if (!bound.isNull()) q.bindText(1, bound);
    for (;;) {
        switch (q.step()) {
        case EngineStatement::Step::Row:
            onRow(q);
            break;
        case EngineStatement::Step::Done:
            return {};
        case EngineStatement::Step::Failed:
            return q.error();
        }
    }
}

} // namespace rv
