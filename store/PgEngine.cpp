#include "store/PgEngine.h"
#include "store/Statements.h"
#include <QHash>
#include <QRegularExpression>
#include <QSet>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <libpq-fe.h>
#include <limits>
#include <map>
#include <poll.h>

namespace rv {

namespace {

// The words of the store's statements that are the language's own, in any case: never
// quoted as names. TRUE and FALSE are among them but written as 1 and 0 (the Yes/No
// columns hold integers, as on a file).
bool isKeyword(const QString& word) {
    static const QSet<QString> words = [] {
        QSet<QString> w;
        for (const char* k :
             {"add",       "all",       "alter",     "and",        "as",       "asc",
              "begin",     "between",   "bigint",    "by",         "case",     "cast",
              "check",     "collate",   "column",    "commit",     "conflict", "constraint",
              "create",    "cross",     "default",   "delete",     "desc",     "distinct",
              "do",        "double",    "drop",      "else",       "end",      "escape",
              "except",    "excluded",  "exists",    "false",      "for",      "foreign",
              "from",      "full",      "generated", "group",      "having",   "identity",
              "if",        "ilike",     "in",        "index",      "inner",    "insert",
              "integer",   "intersect", "into",      "is",         "join",     "key",
              "left",      "like",      "limit",     "not",        "nothing",  "null",
              "nulls",     "offset",    "on",        "or",         "order",    "outer",
              "precision", "primary",   "real",      "references", "release",  "rename",
              "returning", "right",     "rollback",  "savepoint",  "select",   "set",
              "stored",    "table",     "text",      "then",       "to",       "transaction",
              "true",      "union",     "unique",    "update",     "using",    "values",
              "view",      "when",      "where",     "with",       "without"})
            w.insert(QString::fromLatin1(k));
        return w;
    }();
    return words.contains(word.toLower());
}

bool isWordStart(QChar c) {
    return c.isLetter() || c == u'_';
}
bool isWordChar(QChar c) {
    return c.isLetterOrNumber() || c == u'_' || c == u'$';
}

// The balanced parenthesis that closes the one at open, or -1.
qsizetype closingParenthesis(const QString& text, qsizetype open) {
    int depth = 0;
    QChar quote;
    for (qsizetype i = open; i < text.size(); ++i) {
        const QChar c = text[i];
        if (!quote.isNull()) {
            if (c == quote) quote = QChar();
            continue;
        }
        if (c == u'\'' || c == u'"' || c == u'`') {
            quote = c;
        } else if (c == u'(') {
            ++depth;
        } else if (c == u')' && --depth == 0) {
            return i;
        }
    }
    return -1;
}

} // namespace

namespace {

// Where the words CREATE TABLE that begin a statement (after any comments) end; -1 for a
// statement that makes no table.
qsizetype createTableHead(const QString& statement) {
    static const QRegularExpression head(QStringLiteral(R"(^(\s|--[^\n]*\n)*CREATE\s+TABLE\b)"),
                                         QRegularExpression::CaseInsensitiveOption);
    const auto m = head.match(statement);
    return m.hasMatch() ? m.capturedEnd() : -1;
}
bool isCreateTable(const QString& statement) {
    return createTableHead(statement) >= 0;
}

} // namespace

QString serverTableDefinition(const QString& createTable) {
    const qsizetype headEnd = createTableHead(createTable);
    if (headEnd < 0) return createTable;
    // A table made like another takes that one's columns, its rowid among them.
    static const QRegularExpression like(QStringLiteral(R"(\(\s*LIKE\b)"),
                                         QRegularExpression::CaseInsensitiveOption);
    if (like.match(createTable, headEnd).hasMatch()) return createTable;
    QString t = createTable;
    // A check of the value's kind (typeof) is the file's way of holding a column to its
    // type; on the server the column's type (a domain) holds it.
    static const QRegularExpression check(QStringLiteral(R"(\s*\bCHECK\s*\()"),
                                          QRegularExpression::CaseInsensitiveOption);
    for (qsizetype from = headEnd;;) {
        const auto m = check.match(t, from);
        if (!m.hasMatch()) break;
        const qsizetype close = closingParenthesis(t, m.capturedEnd() - 1);
        if (close < 0) break;
        const QString body = t.mid(m.capturedEnd(), close - m.capturedEnd());
        if (body.contains(QStringLiteral("typeof("), Qt::CaseInsensitive))
            t.remove(m.capturedStart(), close + 1 - m.capturedStart());
        else
            from = close + 1;
    }
    // The file's integer key that numbers the rows itself, and its 64-bit integers.
    static const QRegularExpression counter(
        QStringLiteral(R"((`[^`]+`|"[^"]+"|\w+)\s+INTEGER\s+PRIMARY\s+KEY\s+AUTOINCREMENT)"),
        QRegularExpression::CaseInsensitiveOption);
    QString keyColumn;
    if (const auto m = counter.match(t); m.hasMatch()) {
        keyColumn = m.captured(1);
        t.replace(m.capturedStart(), m.capturedLength(),
                  keyColumn +
                      QStringLiteral(" BIGINT GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY"));
    }
    static const QRegularExpression integer(QStringLiteral(R"(\bINTEGER\b)"),
                                            QRegularExpression::CaseInsensitiveOption);
    t.replace(integer, QStringLiteral("BIGINT"));
    static const QRegularExpression real(QStringLiteral(R"(\bREAL\b)"),
                                         QRegularExpression::CaseInsensitiveOption);
    t.replace(real, QStringLiteral("DOUBLE PRECISION"));
    static const QRegularExpression blob(QStringLiteral(R"(\bBLOB\b)"),
                                         QRegularExpression::CaseInsensitiveOption);
    t.replace(blob, QStringLiteral("BYTEA"));
    // Every row has its own number, rowid, as on a file: the store finds a row by it.
    const qsizetype open = t.indexOf(u'(', headEnd);
    const qsizetype close = open < 0 ? -1 : closingParenthesis(t, open);
    if (close < 0) return t;
    const QString rowid =
        keyColumn.isEmpty()
            ? QStringLiteral(",\n    rowid BIGINT GENERATED BY DEFAULT AS IDENTITY UNIQUE")
            : QStringLiteral(",\n    rowid BIGINT GENERATED ALWAYS AS (") + keyColumn +
                  QStringLiteral(") STORED");
    t.insert(close, rowid);
    return t;
}

QStringList splitStatements(const QString& text) {
    QStringList out;
    qsizetype start = 0;
    QChar quote;
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text[i];
        if (!quote.isNull()) {
            if (c == quote) quote = QChar();
            continue;
        }
        if (c == u'\'' || c == u'"' || c == u'`') {
            quote = c;
        } else if (c == u'-' && i + 1 < n && text[i + 1] == u'-') {
            const qsizetype end = text.indexOf(u'\n', i);
            i = end < 0 ? n : end;
        } else if (c == u';') {
            out << text.mid(start, i - start);
            start = i + 1;
        }
    }
    out << text.mid(start);
    // Pieces of nothing but blanks and comments are no statements.
    static const QRegularExpression empty(QStringLiteral(R"(^(\s|--[^\n]*(\n|$))*$)"));
    out.removeIf([](const QString& piece) { return empty.match(piece).hasMatch(); });
    return out;
}

QString serverStatementText(const QString& statement, int* parameterCount) {
    const QString sql = serverTableDefinition(statement);
    QString out;
    out.reserve(sql.size() + 8);
    int highest = 0;
    const qsizetype n = sql.size();
    qsizetype i = 0;
    // Copies a quoted stretch (quote doubled inside it to stand for itself) unchanged.
    auto copyQuoted = [&](QChar quote) {
        out += sql[i++];
        while (i < n) {
            const QChar c = sql[i++];
            out += c;
            if (c == quote) {
                if (i < n && sql[i] == quote)
                    out += sql[i++];
                else
                    break;
            }
        }
    };
    while (i < n) {
        const QChar c = sql[i];
        if (c == u'\'' || c == u'"') {
            copyQuoted(c);
        } else if (c == u'-' && i + 1 < n && sql[i + 1] == u'-') {
            const qsizetype end = sql.indexOf(u'\n', i);
            const qsizetype stop = end < 0 ? n : end;
            out += QStringView(sql).mid(i, stop - i);
            i = stop;
        } else if (c == u'/' && i + 1 < n && sql[i + 1] == u'*') {
            const qsizetype end = sql.indexOf(QStringLiteral("*/"), i + 2);
            const qsizetype stop = end < 0 ? n : end + 2;
            out += QStringView(sql).mid(i, stop - i);
            i = stop;
        } else if (c == u'`') {
            // A backquoted name: the same name double-quoted.
            out += u'"';
            ++i;
            while (i < n && sql[i] != u'`') {
                if (sql[i] == u'"') out += u'"';
                out += sql[i++];
            }
            if (i < n) ++i;
            out += u'"';
        } else if (isWordStart(c)) {
            // A bare word: the language's own, a function's name (a parenthesis straight
            // after it), or a name. A name in mixed case is quoted so that the server keeps
            // its case, as the file does (one all in capitals or in small letters is the
            // same name either way); TRUE and FALSE become 1 and 0.
            const qsizetype start = i;
            while (i < n && isWordChar(sql[i]))
                ++i;
            const QStringView word = QStringView(sql).mid(start, i - start);
            const QString lower = word.toString().toLower();
            if (lower == QLatin1String("true") || lower == QLatin1String("false")) {
                out += lower == QLatin1String("true") ? u'1' : u'0';
            } else if (isKeyword(lower) || (i < n && sql[i] == u'(') || lower == word.toString() ||
                       word.toString().toUpper() == word.toString()) {
                out += word;
            } else {
                out += u'"';
                out += word;
                out += u'"';
            }
        } else if (c.isDigit()) {
            // A number, with its exponent or fraction: copied as it stands.
            while (i < n && (sql[i].isLetterOrNumber() || sql[i] == u'.' || sql[i] == u'_' ||
                             ((sql[i] == u'+' || sql[i] == u'-') &&
                              (sql[i - 1] == u'e' || sql[i - 1] == u'E'))))
                out += sql[i++];
        } else if (c == u'?') {
            ++i;
            int number = 0;
            bool written = false;
            while (i < n && sql[i].isDigit() && number < 100000) {
                number = number * 10 + sql[i++].digitValue();
                written = true;
            }
            if (!written) number = highest + 1;
            highest = std::max(highest, number);
            out += u'$' + QString::number(number);
        } else {
            out += c;
            ++i;
        }
    }
    if (parameterCount) *parameterCount = highest;
    return out;
}

namespace {

// What every operation on whole database files answers on a server.
Error notOnServer(const QString& what) {
    return Error{err::FileError, what + QStringLiteral(" is not available on a site server")};
}

// A text the server cannot hold: it ends at a NUL character, and the rest would be lost
// without a word. Refused whole instead.
Error nulRefused() {
    return Error{err::TypeMismatch,
                 QStringLiteral("A text holds a NUL character (code 0), which the site server "
                                "cannot store; nothing of it was written")};
}

// The server's error as the store's Error: its own class of error where the store has a
// number for it (a lock waited for too long, a full disk), otherwise a general failure; the
// text carries the server's message and its SQLSTATE.
Error errorOf(const PGresult* result, PGconn* conn) {
    const char* state = result ? PQresultErrorField(result, PG_DIAG_SQLSTATE) : nullptr;
    const char* primary = result ? PQresultErrorField(result, PG_DIAG_MESSAGE_PRIMARY) : nullptr;
    QString text = QString::fromUtf8(primary ? primary : PQerrorMessage(conn)).trimmed();
    const QByteArray code(state ? state : "");
    // A statement sent to a server that has just stopped fails ("server closed the
    // connection unexpectedly") before libpq marks the connection as gone; reading what is
    // left there settles it, so that the failure is told as a lost connection.
    if (code.isEmpty() && PQstatus(conn) == CONNECTION_OK) (void)PQconsumeInput(conn);
    long long number = 1;
    if (code == "55P03" || code == "40P01" || code == "40001")
        number = err::DatabaseBusy;
    else if (code == "53100")
        number = err::DiskFull;
    else if (code == "42501" || code == "25006")
        number = err::WriteRefused; // no privilege, or a read-only transaction
    else if (code.startsWith("08") || code == "57P01" || code == "57P02" || code == "57P03" ||
             (code.isEmpty() && PQstatus(conn) != CONNECTION_OK))
        number = err::ConnectionLost;
    if (!code.isEmpty()) text += QStringLiteral(" (SQLSTATE ") + QString::fromLatin1(code) + u')';
    if (number == err::ConnectionLost)
        text = QStringLiteral("The connection to the site server was lost: ") + text;
    return Error{number, text};
}

using ResultPtr = std::unique_ptr<PGresult, decltype(&PQclear)>;

// Type numbers of the server's built-in types the store reads as numbers or bytes.
enum : Oid {
    BoolOid = 16,
    ByteaOid = 17,
    Int8Oid = 20,
    Int2Oid = 21,
    Int4Oid = 23,
    OidOid = 26,
    Float4Oid = 700,
    Float8Oid = 701,
    NumericOid = 1700,
};

class PgConnection;

// A prepared statement on the server. Its parameters are sent as text (the server gives
// them the type their place in the statement asks for); its rows come back as text, all at
// the first step.
class PgStatement final : public EngineStatement {
public:
    PgStatement(PgConnection& c, std::weak_ptr<bool> open, QByteArray name, int parameterCount,
                bool namesRowid, bool selectsStar)
        : m_c(c), m_open(std::move(open)), m_name(std::move(name)),
          m_values(size_t(parameterCount)), m_bound(size_t(parameterCount), false),
          m_namesRowid(namesRowid), m_selectsStar(selectsStar) {}
    ~PgStatement() override;

    void bindNull(int index) override { set(index, QByteArray(), false); }
    void bindInt64(int index, qint64 value) override {
        set(index, QByteArray::number(value), true);
    }
    // As a file holds it: NaN is Null there, and a zero has no sign.
    void bindDouble(int index, double value) override {
        if (std::isnan(value)) return bindNull(index);
        char buffer[32];
        const auto written =
            std::to_chars(buffer, buffer + sizeof buffer, value == 0 ? 0.0 : value);
        set(index, QByteArray(buffer, written.ptr - buffer), true);
    }
    void bindText(int index, const QString& value) override { set(index, value.toUtf8(), true); }
    void bindUtf8(int index, const char* bytes, qsizetype length) override {
        set(index, QByteArray(bytes ? bytes : "", length), true);
    }

    Step step() override;
    qint64 rowsHeld() const override {
        return m_result && !m_streamed ? PQntuples(m_result.get()) : -1;
    }
    bool streamAnswer() override {
        m_streamed = true;
        return true;
    }
    void reset() override {
        abandonStream();
        m_result.reset();
        m_row = -1;
        m_decoded.clear();
        for (size_t i = 0; i < m_values.size(); ++i) {
            m_values[i].clear();
            m_bound[i] = false;
        }
    }
    Error error() const override { return m_error; }

    int columnCount() const override;
    QString columnName(int column) const override {
        return m_description && column >= 0 && column < int(m_columns.size())
                   ? QString::fromUtf8(PQfname(m_description.get(), m_columns[size_t(column)]))
                   : QString();
    }
    // The columns as the server described them when the statement was prepared.
    void describe(ResultPtr description) {
        m_description = std::move(description);
        mapColumns();
    }
    ValueKind kind(int column) const override {
        if (!onRow(column)) return ValueKind::Null;
        const int field = m_columns[size_t(column)];
        if (PQgetisnull(m_result.get(), m_row, field)) return ValueKind::Null;
        switch (PQftype(m_result.get(), field)) {
        case BoolOid:
        case Int2Oid:
        case Int4Oid:
        case Int8Oid:
        case OidOid:
            return ValueKind::Integer;
        case Float4Oid:
        case Float8Oid:
        case NumericOid:
            return ValueKind::Real;
        case ByteaOid:
            return ValueKind::Blob;
        default:
            return ValueKind::Text;
        }
    }
    qint64 int64(int column) const override {
        const QByteArrayView v = raw(column);
        if (v == "t") return 1;
        qint64 value = 0;
        const auto read = std::from_chars(v.begin(), v.end(), value);
        if (read.ec == std::errc() && read.ptr == v.end()) return value;
        // A real number (or a text) as an integer: its whole part, held to the range.
        const double d = real(column);
        if (std::isnan(d)) return 0;
        if (d >= 9223372036854775807.0) return std::numeric_limits<qint64>::max();
        if (d <= -9223372036854775808.0) return std::numeric_limits<qint64>::min();
        return qint64(d);
    }
    double real(int column) const override {
        const QByteArrayView v = raw(column);
        if (v == "t") return 1;
        double value = 0;
        (void)std::from_chars(v.begin(), v.end(), value);
        return value;
    }
    QString text(int column) const override { return QString::fromUtf8(bytes(column)); }
    QByteArrayView bytes(int column) const override {
        if (kind(column) != ValueKind::Blob) return raw(column);
        // The server writes bytes as escaped text: decoded once per row.
        auto& decoded = m_decoded[column];
        if (decoded.isNull()) {
            size_t length = 0;
            unsigned char* d =
                PQunescapeBytea(reinterpret_cast<const unsigned char*>(
                                    PQgetvalue(m_result.get(), m_row, m_columns[size_t(column)])),
                                &length);
            decoded = d ? QByteArray(reinterpret_cast<const char*>(d), qsizetype(length))
                        : QByteArray("");
            PQfreemem(d);
        }
        return decoded;
    }
    void readRow(CellView* cells, int count) const override {
        for (int i = 0; i < count; ++i) {
            CellView& c = cells[i];
            c = CellView{};
            c.kind = kind(i);
            switch (c.kind) {
            case ValueKind::Integer:
                c.integer = int64(i);
                break;
            case ValueKind::Real:
                c.real = real(i);
                break;
            case ValueKind::Text:
            case ValueKind::Blob: {
                const QByteArrayView b = bytes(i);
                c.bytes = b.data();
                c.length = b.size();
                break;
            }
            case ValueKind::Null:
                break;
            }
        }
    }

private:
    Step nextStreamed();
    // A streamed answer left before its end is cancelled and its remaining rows skipped, so
    // the connection is free for the next statement.
    void abandonStream();

    void set(int index, QByteArray value, bool bound) {
        if (index < 1 || size_t(index) > m_values.size()) return;
        m_values[size_t(index - 1)] = std::move(value);
        m_bound[size_t(index - 1)] = bound;
    }
    bool onRow(int column) const {
        return m_result && m_row >= 0 && m_row < PQntuples(m_result.get()) && column >= 0 &&
               column < int(m_columns.size()) &&
               m_columns[size_t(column)] < PQnfields(m_result.get());
    }
    QByteArrayView raw(int column) const {
        if (!onRow(column)) return {};
        const int field = m_columns[size_t(column)];
        if (PQgetisnull(m_result.get(), m_row, field)) return {};
        return QByteArrayView(PQgetvalue(m_result.get(), m_row, field),
                              PQgetlength(m_result.get(), m_row, field));
    }
    // The result's columns as the store sees them. Every table on the server ends with its
    // row number, rowid, which a file keeps out of sight: a "*" brings it along, and it is
    // left out there (a rowid straight after the column before it in its table, in a
    // statement with a "*"); one the statement names itself is kept.
    void mapColumns() {
        m_columns.clear();
        if (!m_description) return;
        const PGresult* d = m_description.get();
        for (int i = 0, n = PQnfields(d); i < n; ++i) {
            if (qstrcmp(PQfname(d, i), "rowid") == 0) {
                if (!m_namesRowid) continue;
                const bool fromStar = m_selectsStar && i > 0 && PQftable(d, i) != InvalidOid &&
                                      PQftable(d, i - 1) == PQftable(d, i) &&
                                      PQftablecol(d, i - 1) == PQftablecol(d, i) - 1;
                if (fromStar) continue;
            }
            m_columns.push_back(i);
        }
    }

    PgConnection& m_c;
    // Expires when the connection closes: a statement kept longer only fails.
    std::weak_ptr<bool> m_open;
    QByteArray m_name;
    std::vector<QByteArray> m_values;
    std::vector<bool> m_bound;
    ResultPtr m_result{nullptr, &PQclear};
    ResultPtr m_description{nullptr, &PQclear};
    int m_row = -1;
    Error m_error;
    mutable std::map<int, QByteArray> m_decoded;
    bool m_namesRowid = false;
    bool m_selectsStar = false;
    bool m_streamed = false;    // each row comes as a result of its own (streamAnswer)
    bool m_streaming = false;   // a streamed answer's rows are still arriving
    std::vector<int> m_columns; // the result's fields shown, in order
    friend class PgConnection;
};

// Rows held in COPY's text form and sent by one COPY ... FROM STDIN when enough are held,
// and at the end: one command for many rows, with nothing else on the connection between
// its start and its end.
class PgCopy final : public RowStream {
public:
    PgCopy(PgConnection& c, QByteArray command) : m_c(c), m_command(std::move(command)) {}
    void null() override { field("\\N", 2); }
    void integer(qint64 value) override {
        char buffer[24];
        const auto written = std::to_chars(buffer, buffer + sizeof buffer, value);
        field(buffer, written.ptr - buffer);
    }
    // As a statement binds it (PgStatement::bindDouble).
    void real(double value) override {
        if (std::isnan(value)) return null();
        char buffer[32];
        const auto written =
            std::to_chars(buffer, buffer + sizeof buffer, value == 0 ? 0.0 : value);
        field(buffer, written.ptr - buffer);
    }
    void text(const char* utf8, qsizetype length) override {
        separate();
        if (length > 0 && std::memchr(utf8, 0, size_t(length))) m_refused = true;
        // Backslash, tab, newline and carriage return are written escaped.
        for (qsizetype i = 0; i < length; ++i) {
            const char c = utf8[i];
            switch (c) {
            case '\\':
                m_data.append("\\\\", 2);
                break;
            case '\t':
                m_data.append("\\t", 2);
                break;
            case '\n':
                m_data.append("\\n", 2);
                break;
            case '\r':
                m_data.append("\\r", 2);
                break;
            default:
                m_data.append(c);
            }
        }
    }
    Status endRow() override {
        if (m_refused) return nulRefused();
        m_data.append('\n');
        m_first = true;
        return m_data.size() >= kSendAt ? finish() : Status();
    }
    Status finish() override;

private:
    static constexpr qsizetype kSendAt = 8 << 20; // bytes held before they are sent
    bool m_refused = false;                       // a row held a text the server cannot store
    void separate() {
        if (!m_first) m_data.append('\t');
        m_first = false;
    }
    void field(const char* bytes, qsizetype length) {
        separate();
        m_data.append(bytes, length);
    }
    PgConnection& m_c;
    QByteArray m_command;
    QByteArray m_data;
    bool m_first = true;
};

class PgConnection final : public EngineConnection {
public:
    PgConnection(PGconn* conn, bool readOnly, bool mayWrite)
        : m_conn(conn), m_readOnly(readOnly), m_mayWrite(mayWrite) {}
    ~PgConnection() override { PQfinish(m_conn); }
    PgConnection(const PgConnection&) = delete;
    PgConnection& operator=(const PgConnection&) = delete;

    QString describe() const override {
        return QStringLiteral("PostgreSQL database ") + QString::fromUtf8(PQdb(m_conn)) +
               QStringLiteral(" on ") + QString::fromUtf8(PQhost(m_conn));
    }
    bool readOnly() const override {
        const char* setting = PQparameterStatus(m_conn, "default_transaction_read_only");
        return m_readOnly || !m_mayWrite || (setting && qstrcmp(setting, "on") == 0);
    }
    Error lastError() const override { return m_lastError; }
    QString userName() const override { return QString::fromUtf8(PQuser(m_conn)); }

    Result<std::unique_ptr<EngineStatement>> prepare(const QString& sql) override {
        if (Status s = reconnect(); !s.ok()) return s.error();
        if (Status s = typesFor(sql); !s.ok()) return s.error();
        int parameters = 0;
        const QByteArray text = serverStatementText(sql, &parameters).toUtf8();
        const QByteArray name = "rv_" + QByteArray::number(++m_statements);
        if (!PQsendPrepare(m_conn, name.constData(), text.constData(), parameters, nullptr))
            return m_lastError = errorOf(nullptr, m_conn);
        if (Status s = finishCommand(); !s.ok()) return s.error();
        // The statement's columns are known once it is prepared, before any row.
        ResultPtr description(PQdescribePrepared(m_conn, name.constData()), &PQclear);
        if (PQresultStatus(description.get()) != PGRES_COMMAND_OK)
            return m_lastError = errorOf(description.get(), m_conn);
        auto statement = std::make_unique<PgStatement>(*this, m_open, name, parameters,
                                                       namesRowid(sql), selectsStar(sql));
        statement->describe(std::move(description));
        return std::unique_ptr<EngineStatement>(std::move(statement));
    }

    Status execute(const QString& sql) override {
        if (Status s = reconnect(); !s.ok()) return s;
        QStringList server;
        for (const QString& statement : splitStatements(sql)) {
            if (Status s = typesFor(statement); !s.ok()) return s;
            server << serverStatementText(statement);
        }
        if (server.isEmpty()) return {};
        const QByteArray text = server.join(QStringLiteral(";\n")).toUtf8();
        if (!PQsendQuery(m_conn, text.constData())) return m_lastError = errorOf(nullptr, m_conn);
        return finishCommand();
    }

    Result<std::unique_ptr<RowStream>> streamRows(const QString& insertHead) override {
        static const QRegularExpression head(QStringLiteral(R"(^\s*INSERT\s+INTO\s+)"),
                                             QRegularExpression::CaseInsensitiveOption);
        const auto m = head.match(insertHead);
        if (!m.hasMatch()) return std::unique_ptr<RowStream>();
        const QByteArray command =
            serverStatementText(QStringLiteral("COPY ") + insertHead.mid(m.capturedEnd()) +
                                QStringLiteral(" FROM STDIN"))
                .toUtf8();
        return std::unique_ptr<RowStream>(std::make_unique<PgCopy>(*this, command));
    }

    // Sends rows in COPY's text form by one command.
    Status copyIn(const QByteArray& command, const QByteArray& data) {
        if (Status s = reconnect(); !s.ok()) return s;
        ResultPtr started(PQexec(m_conn, command.constData()), &PQclear);
        if (PQresultStatus(started.get()) != PGRES_COPY_IN)
            return m_lastError = errorOf(started.get(), m_conn);
        const bool sent = PQputCopyData(m_conn, data.constData(), int(data.size())) == 1;
        if (PQputCopyEnd(m_conn, sent ? nullptr : "the rows could not be sent") != 1)
            return m_lastError = errorOf(nullptr, m_conn);
        return finishCommand();
    }

    // The table is made as the source's with its columns, defaults, checks, identity and
    // indexes; its rows are not copied.
    Status createTableLike(const QString& source, const QString& target) override {
        if (Status s = execute(QStringLiteral("CREATE TABLE ") + quoteName(target) +
                               QStringLiteral(" (LIKE ") + quoteName(source) +
                               QStringLiteral(" INCLUDING ALL)"));
            !s.ok())
            return s;
        // Triggers are not copied by LIKE. A server where they cannot be set up still takes
        // the table: only who changed its rows goes unrecorded.
        (void)keepChanges(target);
        return {};
    }

    // Who last changed or deleted each row is kept in rv_row_changes, one row per table
    // row, replaced at every change and written by the server itself (a trigger on each
    // table, once per statement), so that no writer escapes it: the program on another
    // computer, or a query typed by the site's IT. The function runs as its owner, so an
    // engineer needs no right on the table; session_user is still the engineer. A deletion
    // also forgets what is older than 30 days: it only serves to tell an engineer who
    // changed a row shown to them meanwhile.
    Status keepChanges(const QString& table) override {
        if (Status s = reconnect(); !s.ok()) return s;
        QByteArrayList sql;
        bool present = false;
        Status s =
            each(QStringLiteral("SELECT to_regprocedure('rv_note_row_changes()') IS NOT NULL "
                                "AND to_regclass('rv_row_changes') IS NOT NULL"),
                 QString(), [&](EngineStatement& row) { present = row.text(0) == u't'; });
        if (!s.ok()) return s;
        if (!present)
            sql << "CREATE TABLE IF NOT EXISTS rv_row_changes (table_name text NOT NULL, row_id "
                   "bigint NOT NULL, changed_by text NOT NULL, changed_at timestamptz NOT NULL, "
                   "deleted boolean NOT NULL, PRIMARY KEY (table_name, row_id))"
                << "CREATE INDEX IF NOT EXISTS rv_row_changes_at ON rv_row_changes (changed_at)"
                << "CREATE OR REPLACE FUNCTION rv_note_row_changes() RETURNS trigger LANGUAGE "
                   "plpgsql SECURITY DEFINER SET search_path FROM CURRENT AS $$ BEGIN "
                   "INSERT INTO rv_row_changes SELECT TG_TABLE_NAME, rowid, session_user, now(), "
                   "TG_OP = 'DELETE' FROM rv_old ON CONFLICT (table_name, row_id) DO UPDATE SET "
                   "changed_by = EXCLUDED.changed_by, changed_at = EXCLUDED.changed_at, deleted = "
                   "EXCLUDED.deleted; IF TG_OP = 'DELETE' THEN DELETE FROM rv_row_changes WHERE "
                   "changed_at < now() - interval '30 days'; END IF; RETURN NULL; END $$";
        const QByteArray name = quoteName(table).toUtf8();
        for (const char* event : {"UPDATE", "DELETE"})
            sql << "CREATE OR REPLACE TRIGGER rv_" + QByteArray(event).toLower() + " AFTER " +
                       event + " ON " + name +
                       " REFERENCING OLD TABLE AS rv_old FOR EACH STATEMENT EXECUTE FUNCTION "
                       "rv_note_row_changes()";
        // Inside a transaction under way, a refusal must not end it: a savepoint takes it.
        const bool inside = inTransaction();
        if (inside) sql.prepend("SAVEPOINT rv_keep_changes");
        if (inside) sql << "RELEASE SAVEPOINT rv_keep_changes";
        for (const QByteArray& statement : sql) {
            const ResultPtr r(PQexec(m_conn, statement.constData()), &PQclear);
            if (PQresultStatus(r.get()) == PGRES_COMMAND_OK) continue;
            const Error failed = errorOf(r.get(), m_conn);
            if (inside) {
                const ResultPtr back(
                    PQexec(m_conn, "ROLLBACK TO SAVEPOINT rv_keep_changes; RELEASE SAVEPOINT "
                                   "rv_keep_changes"),
                    &PQclear);
            }
            return m_lastError = failed;
        }
        return {};
    }

    // TRUNCATE fires no deletion trigger; a user without the right to it deletes the rows
    // instead (each then recorded as deleted by them). What was recorded of the table's
    // rows is forgotten where the user may (the table's owner may).
    Status emptyTable(const QString& table) override {
        const QByteArray name = quoteName(table).toUtf8();
        auto inSavepoint = [&](const QByteArray& statement) {
            const ResultPtr r(
                PQexec(m_conn, "SAVEPOINT rv_empty; " + statement + "; RELEASE SAVEPOINT rv_empty"),
                &PQclear);
            if (PQresultStatus(r.get()) == PGRES_COMMAND_OK) return true;
            const ResultPtr back(
                PQexec(m_conn, "ROLLBACK TO SAVEPOINT rv_empty; RELEASE SAVEPOINT rv_empty"),
                &PQclear);
            return false;
        };
        if (!inSavepoint("TRUNCATE " + name))
            if (Status s = execute(QStringLiteral("DELETE FROM ") + QString::fromUtf8(name));
                !s.ok())
                return s;
        (void)inSavepoint("DELETE FROM rv_row_changes WHERE lower(table_name) = lower('" +
                          table.toUtf8().replace('\'', "''") + "')");
        return {};
    }

    Result<bool> keepsRowChanges() override {
        bool kept = false;
        Status s = each(QStringLiteral("SELECT to_regclass('rv_row_changes') IS NOT NULL"),
                        QString(), [&](EngineStatement& row) { kept = row.text(0) == u't'; });
        if (!s.ok()) return s.error();
        return kept;
    }

    Result<std::optional<RowChange>> lastChange(const QString& table, qint64 rowid) override {
        std::optional<RowChange> change;
        const Result<bool> kept = keepsRowChanges();
        if (!kept.ok()) return kept.error();
        if (!kept.value()) return change;
        auto q = prepare(QStringLiteral(
            "SELECT changed_by, (extract(epoch FROM changed_at) * 1000)::bigint, deleted::int "
            "FROM rv_row_changes WHERE lower(table_name) = lower(?1) AND row_id = ?2"));
        if (!q.ok()) return q.error();
        EngineStatement& st = *q.value();
        st.bindText(1, table);
        st.bindInt64(2, rowid);
        const EngineStatement::Step step = st.step();
        if (step == EngineStatement::Step::Failed) return st.error();
        if (step == EngineStatement::Step::Row)
            change = RowChange{st.text(0), QDateTime::fromMSecsSinceEpoch(st.int64(1)),
                               st.int64(2) != 0};
        return change;
    }

    // The server does not tell one connection of another's writes: what was read is read
    // again.
    ChangeStamp changeStamp() override { return ChangeStamp{}; }

    Result<QStringList> tables() override {
        QStringList names;
        Status s = each(QStringLiteral("SELECT table_name FROM information_schema.tables WHERE "
                                       "table_schema = current_schema() AND table_type = 'BASE "
                                       "TABLE' AND table_name <> 'rv_row_changes' ORDER BY "
                                       "table_name COLLATE \"C\""),
                        QString(), [&](EngineStatement& row) { names << row.text(0); });
        if (!s.ok()) return s;
        return names;
    }

    Result<std::vector<EngineColumn>> columns(const QString& table) override {
        // The type in the store's spelling: upper case, a domain by its own name (the
        // store's DOUBLE is a domain over double precision), a length where one is set.
        std::vector<EngineColumn> cols;
        Status s =
            // From the catalog itself: its standard views took up to 30 ms to answer.
            each(QStringLiteral("SELECT a.attname, upper(CASE WHEN t.typtype = 'd' THEN t.typname "
                                "ELSE format_type(a.atttypid, a.atttypmod) END) FROM pg_attribute "
                                "a JOIN pg_class c ON c.oid = a.attrelid JOIN pg_type t ON t.oid = "
                                "a.atttypid WHERE c.relname = ?1 AND c.relnamespace = "
                                "current_schema()::regnamespace AND a.attnum > 0 AND NOT "
                                "a.attisdropped AND a.attname <> 'rowid' ORDER BY a.attnum"),
                 table, [&](EngineStatement& row) {
                     // The types a table of the store was made with, as the store wrote them.
                     static const QHash<QString, QString> store = {
                         {QStringLiteral("BIGINT"), QStringLiteral("INTEGER")},
                         {QStringLiteral("DOUBLE PRECISION"), QStringLiteral("REAL")},
                         {QStringLiteral("BYTEA"), QStringLiteral("BLOB")}};
                     const QString type = row.text(1);
                     cols.push_back(EngineColumn{row.text(0), store.value(type, type)});
                 });
        if (!s.ok()) return s;
        return cols;
    }

    Status begin() override {
        Status s = execute(QStringLiteral("BEGIN"));
        m_transactionBegun = s.ok();
        return s;
    }
    Status commit() override {
        // A transaction a failed statement spoiled is rolled back by COMMIT without a word:
        // that is a failure here.
        const bool spoiled = PQtransactionStatus(m_conn) == PQTRANS_INERROR;
        Status s = execute(QStringLiteral("COMMIT"));
        if (s.ok()) m_transactionBegun = false;
        if (s.ok() && spoiled)
            return m_lastError = Error{1, QStringLiteral("The transaction was rolled back: a "
                                                         "statement in it failed")};
        return s;
    }
    void rollback() override {
        if (inTransaction()) (void)execute(QStringLiteral("ROLLBACK"));
        m_transactionBegun = false;
    }
    bool inTransaction() const override {
        const PGTransactionStatusType t = PQtransactionStatus(m_conn);
        return t == PQTRANS_INTRANS || t == PQTRANS_INERROR || t == PQTRANS_ACTIVE;
    }

    qint64 changes() const override { return m_changes; }
    qint64 totalChanges() const override { return m_totalChanges; }
    // The value the last insert drew from a sequence in this session (a serial or identity
    // column numbers the server's rows); 0 when none has drawn one. Asked under a savepoint
    // inside a transaction, so that asking never spoils it.
    qint64 lastInsertId() const override {
        const bool inside = inTransaction();
        if (inside) PQclear(PQexec(m_conn, "SAVEPOINT rv_last_insert"));
        ResultPtr r(PQexec(m_conn, "SELECT lastval()"), &PQclear);
        qint64 id = 0;
        if (PQresultStatus(r.get()) == PGRES_TUPLES_OK && PQntuples(r.get()) == 1) {
            const char* v = PQgetvalue(r.get(), 0, 0);
            (void)std::from_chars(v, v + qstrlen(v), id);
        }
        if (inside) {
            PQclear(PQexec(m_conn, "ROLLBACK TO SAVEPOINT rv_last_insert"));
            PQclear(PQexec(m_conn, "RELEASE SAVEPOINT rv_last_insert"));
        }
        return id;
    }

    // The server runs a statement on its own: while the program waits for its answer,
    // carryOn is asked every everySteps tenths of a millisecond (at least every
    // millisecond); false cancels the statement on the server.
    void setProgressHandler(int everySteps, std::function<bool()> carryOn) override {
        m_carryOn = std::move(carryOn);
        m_askEveryMs = std::max(1, everySteps / 10);
    }

    // Functions of the program cannot run inside the server: on a site server the store
    // computes those values in the program itself.
    bool runsProgramFunctions() const override { return false; }
    Status defineFunction(const QString& name, int, bool, ScalarFunction) override {
        return m_lastError = Error{1, QStringLiteral("The program's function ") + name +
                                          QStringLiteral(" is not available on a site server")};
    }

    Status copyTo(const QString&, int) override {
        return m_lastError = notOnServer(QStringLiteral("A copy of the database file"));
    }

    void* nativeHandle() const override { return m_conn; }

    // Sends the prepared statement's parameters and waits for its rows.
    Status run(PgStatement& q) {
        std::vector<const char*> values(q.m_values.size());
        std::vector<int> lengths(q.m_values.size());
        for (size_t i = 0; i < values.size(); ++i) {
            if (q.m_bound[i] && q.m_values[i].contains('\0')) return m_lastError = nulRefused();
            values[i] = q.m_bound[i] ? q.m_values[i].constData() : nullptr;
            lengths[i] = int(q.m_values[i].size());
        }
        if (!PQsendQueryPrepared(m_conn, q.m_name.constData(), int(values.size()), values.data(),
                                 lengths.data(), nullptr, 0))
            return m_lastError = errorOf(nullptr, m_conn);
        m_cancelSent = false;
        if (q.m_streamed && PQsetSingleRowMode(m_conn)) return {};
        q.m_streamed = false;
        return finishCommand(&q.m_result);
    }
    // The next row of a streamed answer in row; none at its end (the command then finished,
    // its failure returned).
    Status nextStreamed(ResultPtr* row) {
        ResultPtr r(nullptr, &PQclear);
        if (Status s = nextResult(&r); !s.ok()) return s;
        if (r && PQresultStatus(r.get()) == PGRES_SINGLE_TUPLE) {
            *row = std::move(r);
            return {};
        }
        row->reset();
        const Status end = r ? take(std::move(r), nullptr) : Status{};
        const Status rest = finishCommand();
        return end.ok() ? rest : end;
    }
    void cancel() {
        if (m_cancelSent) return;
        m_cancelSent = true;
        if (PGcancel* c = PQgetCancel(m_conn)) {
            char why[256];
            PQcancel(c, why, sizeof why);
            PQfreeCancel(c);
        }
    }
    // Reads and drops every result still to come.
    void skipRemaining() {
        for (;;) {
            ResultPtr r(nullptr, &PQclear);
            if (!nextResult(&r).ok() || !r) return;
        }
    }
    void deallocate(const QByteArray& name) {
        if (PQstatus(m_conn) != CONNECTION_OK) return;
        const QByteArray sql = "DEALLOCATE " + name;
        PQclear(PQexec(m_conn, sql.constData()));
    }

private:
    // Waits for every result of the command sent; the last one that returns rows is kept in
    // rows (when asked for). Counts the rows each changed.
    Status finishCommand(ResultPtr* rows = nullptr) {
        Status status;
        m_cancelSent = false;
        for (;;) {
            ResultPtr r(nullptr, &PQclear);
            if (Status s = nextResult(&r); !s.ok()) return s;
            if (!r) break;
            if (Status s = take(std::move(r), rows); status.ok()) status = s;
        }
        return status;
    }
    // Waits for the command's next result (none when it has finished), asking the caller
    // whether to carry on while the server works, and cancelling the command if not.
    Status nextResult(ResultPtr* next) {
        while (PQisBusy(m_conn)) {
            if (m_carryOn && !m_cancelSent && !m_carryOn()) cancel();
            pollfd p{PQsocket(m_conn), POLLIN, 0};
            ::poll(&p, 1, m_carryOn ? m_askEveryMs : -1);
            if (!PQconsumeInput(m_conn)) {
                m_lastError = errorOf(nullptr, m_conn);
                // The connection is gone: nothing more will come.
                while (PGresult* r = PQgetResult(m_conn))
                    PQclear(r);
                return m_lastError;
            }
        }
        next->reset(PQgetResult(m_conn));
        return {};
    }
    // One result of a command: its failure, or the rows it changed (counted as SQLite counts
    // them: inserts, updates and deletes) and the rows it answered, kept in rows.
    Status take(ResultPtr result, ResultPtr* rows) {
        PGresult* r = result.get();
        switch (PQresultStatus(r)) {
        case PGRES_COMMAND_OK:
        case PGRES_TUPLES_OK: {
            const QByteArrayView command(PQcmdStatus(r));
            if (command.startsWith("INSERT") || command.startsWith("UPDATE") ||
                command.startsWith("DELETE") || command.startsWith("MERGE")) {
                const char* tuples = PQcmdTuples(r);
                m_changes = 0;
                (void)std::from_chars(tuples, tuples + qstrlen(tuples), m_changes);
                m_totalChanges += m_changes;
            }
            if (rows) *rows = std::move(result);
            return {};
        }
        case PGRES_SINGLE_TUPLE:
            return {}; // a row of a streamed answer that was abandoned
        default:
            return m_lastError = errorOf(r, m_conn);
        }
    }
    // Every row of a statement with at most one text parameter (bound when not null).
    Status each(const QString& sql, const QString& bound,
                const std::function<void(EngineStatement&)>& onRow) {
        return eachRow(*this, sql, bound, onRow);
    }

    // A connection the server dropped (it restarted, or the network went) is made again
    // before the next statement: the work under way when it went was rolled back by the
    // server, and the statements prepared on it are gone with it.
    // A transaction the connection took with it is ended (rolled back) by its owner first:
    // a statement of it sent on a new connection would be stored on its own.
    Status reconnect() {
        if (PQstatus(m_conn) == CONNECTION_OK) return {};
        if (m_transactionBegun)
            return m_lastError = Error{err::ConnectionLost,
                                       QStringLiteral("The connection to the site server was "
                                                      "lost in the middle of a transaction")};
        PQreset(m_conn);
        if (PQstatus(m_conn) != CONNECTION_OK)
            return m_lastError = Error{err::ConnectionLost,
                                       QStringLiteral("The connection to the site server was "
                                                      "lost: ") +
                                           QString::fromUtf8(PQerrorMessage(m_conn)).trimmed()};
        m_open = std::make_shared<bool>(true);
        m_typesReady = false;
        return {};
    }

    // Whether a statement chooses all of a table's columns ("*" or "t.*", not "count(*)").
    static bool selectsStar(const QString& sql) {
        static const QRegularExpression star(QStringLiteral(R"((?<!\()\*(?!\)))"));
        return star.match(sql).hasMatch();
    }

    // Whether a statement names the server's row number itself.
    static bool namesRowid(const QString& sql) {
        static const QRegularExpression word(QStringLiteral(R"(\browid\b)"),
                                             QRegularExpression::CaseInsensitiveOption);
        return word.match(sql).hasMatch();
    }

    // Before the first table this connection makes: the store's column types (DOUBLE,
    // DATETIME, YESNO, MEMO) as the database's own types, where it lacks them.
    Status typesFor(const QString& statement) {
        if (m_typesReady || !isCreateTable(statement)) return {};
        QStringList present;
        Status s = each(QStringLiteral("SELECT typname FROM pg_type WHERE typnamespace = "
                                       "current_schema()::regnamespace"),
                        QString(), [&](EngineStatement& row) { present << row.text(0); });
        if (!s.ok()) return s;
        static const char* const kTypes[][2] = {
            {"double", "CREATE DOMAIN double AS double precision"},
            {"datetime", "CREATE DOMAIN datetime AS text CHECK (VALUE ~ "
                         "'^[0-9][0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9]')"},
            {"yesno", "CREATE DOMAIN yesno AS integer"},
            {"memo", "CREATE DOMAIN memo AS text"},
        };
        for (const auto& [name, sql] : kTypes) {
            if (present.contains(QLatin1String(name))) continue;
            const ResultPtr r(PQexec(m_conn, sql), &PQclear);
            if (PQresultStatus(r.get()) != PGRES_COMMAND_OK)
                return m_lastError = errorOf(r.get(), m_conn);
        }
        m_typesReady = true;
        return {};
    }

    PGconn* m_conn;
    bool m_typesReady = false;
    bool m_transactionBegun = false; // begun by begin(), not yet committed or rolled back
    bool m_readOnly;
    bool m_mayWrite; // the user may change the program's tables and make new ones
    Error m_lastError;
    qint64 m_statements = 0;
    qint64 m_changes = 0;
    qint64 m_totalChanges = 0;
    std::function<bool()> m_carryOn;
    bool m_cancelSent = false; // for the command under way
    int m_askEveryMs = 1;
    std::shared_ptr<bool> m_open = std::make_shared<bool>(true);
};

Status PgCopy::finish() {
    if (m_refused) return nulRefused();
    if (m_data.isEmpty()) return {};
    const Status sent = m_c.copyIn(m_command, m_data);
    m_data.resize(0);
    return sent;
}

PgStatement::~PgStatement() {
    abandonStream();
    if (!m_open.expired()) m_c.deallocate(m_name);
}

EngineStatement::Step PgStatement::step() {
    if (m_streaming) return nextStreamed();
    if (m_row < 0) {
        m_decoded.clear();
        if (m_open.expired()) {
            m_error = Error{err::ObjectClosed, QStringLiteral("The connection is closed")};
            return Step::Failed;
        }
        if (Status s = m_c.run(*this); !s.ok()) {
            m_error = s.error();
            m_result.reset();
            return Step::Failed;
        }
        m_error = Error{};
        if (m_streamed) {
            // Every row comes as a result of its own, read as row 0.
            m_row = 0;
            m_streaming = true;
            return nextStreamed();
        }
    }
    ++m_row;
    m_decoded.clear();
    if (m_result && m_row < PQntuples(m_result.get())) return Step::Row;
    return Step::Done;
}

EngineStatement::Step PgStatement::nextStreamed() {
    m_decoded.clear();
    if (m_open.expired()) {
        m_streaming = false;
        m_result.reset();
        m_error = Error{err::ObjectClosed, QStringLiteral("The connection is closed")};
        return Step::Failed;
    }
    const Status s = m_c.nextStreamed(&m_result);
    if (s.ok() && m_result) return Step::Row;
    m_streaming = false;
    m_result.reset();
    if (s.ok()) return Step::Done;
    m_error = s.error();
    return Step::Failed;
}

void PgStatement::abandonStream() {
    if (!m_streaming) return;
    m_streaming = false;
    m_result.reset();
    if (m_open.expired()) return;
    m_c.cancel();
    m_c.skipRemaining();
}

int PgStatement::columnCount() const {
    return int(m_columns.size());
}

// What a failed connection means for the engineer, from the server's (or libpq's) own
// text: the login refused (unknown user, wrong or missing password, no entry for this
// computer), no database of that name, or no server answering at all.
long long connectionFailureKind(const QString& text, bool neededPassword) {
    const QString t = text.toLower();
    if (t.contains(QStringLiteral("database \"")) && t.contains(QStringLiteral("does not exist")))
        return err::NoSuchDatabase;
    if (neededPassword || t.contains(QStringLiteral("authentication failed")) ||
        t.contains(QStringLiteral("no password supplied")) ||
        (t.contains(QStringLiteral("role \"")) && t.contains(QStringLiteral("does not exist"))) ||
        t.contains(QStringLiteral("pg_hba.conf")) ||
        t.contains(QStringLiteral("permission denied for database")))
        return err::LoginRefused;
    return err::ServerUnreachable;
}

// Connects to the server with the location's settings (and the options given, as
// keyword/value pairs over them; server options go after the location's own).
Result<PGconn*> connectTo(const QString& location,
                          const std::vector<std::pair<QByteArray, QByteArray>>& over) {
    char* why = nullptr;
    PQconninfoOption* parsed = PQconninfoParse(location.toUtf8().constData(), &why);
    if (!parsed) {
        const QString text = QString::fromUtf8(why ? why : "out of memory").trimmed();
        PQfreemem(why);
        return Error{err::InvalidArgument,
                     QStringLiteral("The server's address is not understood: ") + text};
    }
    std::vector<QByteArray> keys, values;
    for (PQconninfoOption* o = parsed; o->keyword; ++o) {
        if (!o->val) continue;
        keys.emplace_back(o->keyword);
        values.emplace_back(o->val);
    }
    PQconninfoFree(parsed);
    // A server that does not answer is given up after a while, unless the location says
    // how long to wait.
    if (std::find(keys.begin(), keys.end(), QByteArray("connect_timeout")) == keys.end()) {
        keys.emplace_back("connect_timeout");
        values.emplace_back("10");
    }
    for (const auto& [key, value] : over) {
        auto at = std::find(keys.begin(), keys.end(), key);
        if (at == keys.end()) {
            keys.push_back(key);
            values.push_back(value);
        } else if (key == "options") {
            values[size_t(at - keys.begin())] += ' ' + value;
        } else {
            values[size_t(at - keys.begin())] = value;
        }
    }
    std::vector<const char*> k, v;
    for (size_t i = 0; i < keys.size(); ++i) {
        k.push_back(keys[i].constData());
        v.push_back(values[i].constData());
    }
    k.push_back(nullptr);
    v.push_back(nullptr);
    PGconn* conn = PQconnectdbParams(k.data(), v.data(), 0);
    if (PQstatus(conn) != CONNECTION_OK) {
        const QString text = QString::fromUtf8(PQerrorMessage(conn)).trimmed();
        const Error e{connectionFailureKind(text, PQconnectionNeedsPassword(conn) != 0), text};
        PQfinish(conn);
        return e;
    }
    return conn;
}

// The database a location names.
QByteArray databaseOf(const QString& location) {
    PQconninfoOption* parsed = PQconninfoParse(location.toUtf8().constData(), nullptr);
    QByteArray name;
    for (PQconninfoOption* o = parsed; o && o->keyword; ++o)
        if (qstrcmp(o->keyword, "dbname") == 0 && o->val) name = o->val;
    PQconninfoFree(parsed);
    return name;
}

// Whether the server lets the user write: change the sensors (and so, by the site's
// grants, the readings) and make a table for a new sensor. A user who may only read opens
// the database as a read-only one, and the program offers no change it would refuse.
bool mayWrite(PGconn* conn) {
    const ResultPtr r(
        PQexec(conn, "SELECT to_regclass('\"Sensors\"') IS NULL OR (has_table_privilege("
                     "'\"Sensors\"', 'INSERT') AND has_table_privilege('\"Sensors\"', 'UPDATE') "
                     "AND has_table_privilege('\"Sensors\"', 'DELETE') AND "
                     "has_schema_privilege(current_schema(), 'CREATE'))"),
        &PQclear);
    return PQresultStatus(r.get()) != PGRES_TUPLES_OK || PQntuples(r.get()) != 1 ||
           qstrcmp(PQgetvalue(r.get(), 0, 0), "t") == 0;
}

class PostgresEngine final : public DatabaseEngine {
public:
    QString name() const override { return QStringLiteral("PostgreSQL"); }

    // Connects to an existing database: the server refuses one it does not hold, and never
    // makes it. A lock is waited for as long as busyTimeoutMs; a read-only connection's
    // transactions cannot write.
    Result<std::unique_ptr<EngineConnection>> open(const QString& location, Mode mode,
                                                   int busyTimeoutMs) override {
        QByteArray options = "-c lock_timeout=" + QByteArray::number(std::max(1, busyTimeoutMs));
        // Each statement reads at most one sensor's readings: a parallel worker started for
        // it costs more than it saves, and takes a core from the other engineers' sessions.
        options += " -c max_parallel_workers_per_gather=0";
        // Every digit of a double, whatever the server, the database or the user is set to:
        // with fewer, 0.1 + 0.2 would read back as 0.3 and 2^53 as 9.00719925474099e+15.
        options += " -c extra_float_digits=3";
        if (mode == Mode::ReadOnly) options += " -c default_transaction_read_only=on";
        auto conn = connectTo(location, {{"options", options}, {"client_encoding", "UTF8"}});
        if (!conn.ok()) return conn.error();
        return std::unique_ptr<EngineConnection>(std::make_unique<PgConnection>(
            conn.value(), mode == Mode::ReadOnly, mayWrite(conn.value())));
    }

    // Makes the database the location names on its server (from the server's own
    // maintenance database), then connects to it. Its texts sort byte by byte, as on a
    // file; the store's column types come with the first table made in it.
    Result<std::unique_ptr<EngineConnection>> create(const QString& location) override {
        const QByteArray database = databaseOf(location);
        if (database.isEmpty())
            return Error{err::InvalidArgument,
                         QStringLiteral("The server's address names no database: ") + location};
        {
            auto admin = connectTo(location, {{"dbname", "postgres"}});
            if (!admin.ok()) return admin.error();
            PGconn* conn = admin.value();
            char* quoted = PQescapeIdentifier(conn, database.constData(), size_t(database.size()));
            // Texts compare byte by byte, as on a file: sensors and readings sort alike.
            const QByteArray sql =
                QByteArray("CREATE DATABASE ") + (quoted ? quoted : "\"\"") +
                " TEMPLATE template0 ENCODING 'UTF8' LC_COLLATE 'C' LC_CTYPE 'C'";
            PQfreemem(quoted);
            ResultPtr r(PQexec(conn, sql.constData()), &PQclear);
            const Error e =
                PQresultStatus(r.get()) == PGRES_COMMAND_OK ? Error{} : errorOf(r.get(), conn);
            PQfinish(conn);
            if (e.number != 0) return e;
        }
        return open(location, Mode::ReadWrite, 5000);
    }

    Result<FileCheck> checkFile(const QString&, DatabaseCheckDepth, int) override {
        return notOnServer(QStringLiteral("A check of the database file"));
    }
    Status compactInto(const QString&, const QString&, int) override {
        return notOnServer(QStringLiteral("Compacting the database file"));
    }
    Result<std::unique_ptr<DatabaseLock>> holdForSwap(const QString&, int) override {
        return notOnServer(QStringLiteral("Replacing the database file"));
    }
    // A server keeps its journal to itself: there is no file beside the database.
    QString journalOf(const QString&) const override { return QString(); }
};

} // namespace

QString serverDisplayName(const QString& conninfo) {
    PQconninfoOption* parsed = PQconninfoParse(conninfo.toUtf8().constData(), nullptr);
    QString host, port, database;
    for (PQconninfoOption* o = parsed; o && o->keyword; ++o) {
        if (!o->val) continue;
        if (qstrcmp(o->keyword, "host") == 0 ||
            (qstrcmp(o->keyword, "hostaddr") == 0 && host.isEmpty()))
            host = QString::fromUtf8(o->val);
        else if (qstrcmp(o->keyword, "port") == 0)
            port = QString::fromUtf8(o->val);
        else if (qstrcmp(o->keyword, "dbname") == 0)
            database = QString::fromUtf8(o->val);
        else if (qstrcmp(o->keyword, "service") == 0 && database.isEmpty())
            database = QStringLiteral("service ") + QString::fromUtf8(o->val);
    }
    PQconninfoFree(parsed);
    if (host.isEmpty()) host = QStringLiteral("localhost");
    if (database.isEmpty()) database = QStringLiteral("(default database)");
    return database + QStringLiteral(" on ") + host + (port.isEmpty() ? QString() : u':' + port);
}

bool serverNamesDatabase(const QString& conninfo) {
    PQconninfoOption* parsed = PQconninfoParse(conninfo.toUtf8().constData(), nullptr);
    if (!parsed) return true;
    bool named = false;
    for (const PQconninfoOption* o = parsed; o->keyword; ++o)
        if ((qstrcmp(o->keyword, "dbname") == 0 || qstrcmp(o->keyword, "service") == 0) && o->val &&
            *o->val)
            named = true;
    PQconninfoFree(parsed);
    return named;
}

DatabaseEngine& postgresEngine() {
    static PostgresEngine engine;
    return engine;
}

} // namespace rv
