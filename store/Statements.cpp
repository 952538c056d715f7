#include "store/Statements.h"
#include <QRegularExpression>

namespace rv {

namespace {
// A table name as it may be written: backquoted, double-quoted, bracketed or bare.
const QString kName = QStringLiteral(R"((`[^`]+`|"[^"]+"|\[[^\]]+\]|[A-Za-z0-9_]+))");
} // namespace

QString quoteName(const QString& name) {
    QString inner = name;
    inner.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + inner + QLatin1Char('"');
}

QString unquoteName(const QString& written) {
    const QString w = written.trimmed();
    if (w.size() >= 2 && ((w.front() == QLatin1Char('`') && w.back() == QLatin1Char('`')) ||
                          (w.front() == QLatin1Char('"') && w.back() == QLatin1Char('"')) ||
                          (w.front() == QLatin1Char('[') && w.back() == QLatin1Char(']'))))
        return w.mid(1, w.size() - 2);
    return w;
}

TranslatedStatement translateStatement(const QString& statement) {
    QString text = statement.trimmed();
    while (text.endsWith(QLatin1Char(';')))
        text = text.left(text.size() - 1).trimmed();

    static const QRegularExpression selectInto(
        QStringLiteral(R"(^SELECT\s+\*\s+INTO\s+)") + kName + QStringLiteral(R"(\s+FROM\s+)") +
            kName + QStringLiteral(R"((.*)$)"),
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::DotMatchesEverythingOption);
    if (const auto m = selectInto.match(text); m.hasMatch()) {
        TranslatedStatement t;
        t.kind = TranslatedStatement::Kind::SelectInto;
        t.target = unquoteName(m.captured(1));
        t.source = unquoteName(m.captured(2));
        t.tail = m.captured(3);
        return t;
    }

    static const QRegularExpression deleteStar(QStringLiteral(R"(^DELETE\s+\*\s+FROM\s+)"),
                                               QRegularExpression::CaseInsensitiveOption);
    text.replace(deleteStar, QStringLiteral("DELETE FROM "));

    static const QRegularExpression numericName(
        QStringLiteral(
            R"(\b(FROM|INTO|TABLE|UPDATE|JOIN)(\s+)([0-9][A-Za-z0-9_]*)(?![A-Za-z0-9_`"\]]))"),
        QRegularExpression::CaseInsensitiveOption);
    text.replace(numericName, QStringLiteral("\\1\\2`\\3`"));

    TranslatedStatement t;
    t.sql = text;
    return t;
}

} // namespace rv
