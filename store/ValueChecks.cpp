#include "store/ValueChecks.h"
#include <QRegularExpression>
#include <cmath>

namespace rv {

namespace {

// The three forms, as the program's tables write them: keywords and names in any case,
// the quoted texts exactly (the engine compares them byte for byte).
const QRegularExpression& dateTextForm() {
    static const QRegularExpression re(QStringLiteral(
        R"(^\s*(\w+)\s+(?i:IS\s+NULL\s+OR)\s+\(\s*(?i:typeof)\s*\(\s*(\w+)\s*\)\s*=\s*'text'\s+)"
        R"((?i:AND)\s+(\w+)\s+(?i:GLOB)\s+)"
        R"('\[0-9\]\[0-9\]\[0-9\]\[0-9\]-\[0-9\]\[0-9\]-\[0-9\]\[0-9\]\*'\s*\)\s*$)"));
    return re;
}

const QRegularExpression& zeroOrOneForm() {
    static const QRegularExpression re(QStringLiteral(
        R"(^\s*(\w+)\s+(?i:IS\s+NULL\s+OR)\s+(\w+)\s+(?i:IN)\s*\(\s*0\s*,\s*1\s*\)\s*$)"));
    return re;
}

const QRegularExpression& numberKindsForm() {
    static const QRegularExpression re(
        QStringLiteral(R"(^\s*(?i:typeof)\s*\(\s*(\w+)\s*\)\s+(?i:IN)\s*)"
                       R"(\(\s*'null'\s*,\s*'real'\s*,\s*'integer'\s*\)\s*$)"));
    return re;
}

// The cell of the column every capture of the match names; -1 when they differ or name
// no column written.
int namedCell(const QRegularExpressionMatch& m, const QStringList& columns) {
    const QString name = m.captured(1);
    for (int i = 2; i <= m.lastCapturedIndex(); ++i)
        if (m.captured(i).compare(name, Qt::CaseInsensitive) != 0) return -1;
    for (int i = 0; i < columns.size(); ++i)
        if (columns[i].compare(name, Qt::CaseInsensitive) == 0) return i;
    return -1;
}

// "dddd-dd-dd" at the start, as GLOB '[0-9][0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9]*' reads it.
// The bytes of a character outside ASCII never read as a digit or a dash there.
bool startsAsDate(const char* bytes, qsizetype length) {
    static const char form[] = "dddd-dd-dd";
    if (length < 10) return false;
    for (int i = 0; i < 10; ++i) {
        const char c = bytes[i];
        if (form[i] == 'd' ? (c < '0' || c > '9') : c != '-') return false;
    }
    return true;
}

} // namespace

ValueChecks::ValueChecks(const QStringList& checks, const QStringList& columns,
                         const QStringList& declaredTypes)
    : m_state(size_t(checks.size()), CheckVerdict::Kept) {
    for (int i = 0; i < checks.size(); ++i) {
        const struct {
            const QRegularExpression& re;
            Form form;
        } forms[] = {{dateTextForm(), Form::DateText},
                     {zeroOrOneForm(), Form::ZeroOrOne},
                     {numberKindsForm(), Form::NumberKinds}};
        int cell = -1;
        Form form = Form::DateText;
        for (const auto& f : forms) {
            const QRegularExpressionMatch m = f.re.match(checks[i]);
            if (!m.hasMatch()) continue;
            cell = namedCell(m, columns);
            form = f.form;
            break;
        }
        if (cell < 0 || cell >= declaredTypes.size()) {
            m_state[size_t(i)] = CheckVerdict::Unknown;
            continue;
        }
        m_known.push_back(Known{i, cell, form, affinityOf(declaredTypes[cell])});
    }
}

void ValueChecks::see(const CellView* cells) {
    for (const Known& k : m_known) {
        CheckVerdict& state = m_state[size_t(k.check)];
        if (state != CheckVerdict::Kept) continue;
        state = verdict(k.form, k.affinity, cells[k.cell]);
    }
}

// The engine's rules for the type a column declares.
ValueChecks::Affinity ValueChecks::affinityOf(const QString& declaredType) {
    const QString t = declaredType.toUpper();
    if (t.contains(QLatin1String("INT"))) return Affinity::Integer;
    if (t.contains(QLatin1String("CHAR")) || t.contains(QLatin1String("CLOB")) ||
        t.contains(QLatin1String("TEXT")))
        return Affinity::Text;
    if (t.contains(QLatin1String("BLOB")) || t.trimmed().isEmpty()) return Affinity::Blob;
    if (t.contains(QLatin1String("REAL")) || t.contains(QLatin1String("FLOA")) ||
        t.contains(QLatin1String("DOUB")))
        return Affinity::Real;
    return Affinity::Numeric;
}

// What the check says of the value once the column's affinity has made it the value stored.
// A number column (numeric affinity) keeps a text that does not read as a number as text and
// turns one that does into a number: only a text that cannot read as one is judged here.
CheckVerdict ValueChecks::verdict(Form form, Affinity affinity, const CellView& cell) {
    if (cell.kind == ValueKind::Null) return CheckVerdict::Kept;
    if (cell.kind == ValueKind::Blob) return CheckVerdict::Unknown;
    // A NaN is stored as a null.
    if (cell.kind == ValueKind::Real && std::isnan(cell.real)) return CheckVerdict::Unknown;
    switch (form) {
    case Form::DateText:
        if (affinity != Affinity::Numeric) return CheckVerdict::Unknown;
        // A text in the date form is no number, so it stays text; any other value is either
        // a number or a text that fails the pattern.
        if (cell.kind == ValueKind::Text && startsAsDate(cell.bytes, cell.length))
            return CheckVerdict::Kept;
        return CheckVerdict::Broken;
    case Form::ZeroOrOne:
        if (affinity != Affinity::Numeric) return CheckVerdict::Unknown;
        if (cell.kind == ValueKind::Integer)
            return cell.integer == 0 || cell.integer == 1 ? CheckVerdict::Kept
                                                          : CheckVerdict::Broken;
        if (cell.kind == ValueKind::Real)
            return cell.real == 0 || cell.real == 1 ? CheckVerdict::Kept : CheckVerdict::Broken;
        return CheckVerdict::Unknown;
    case Form::NumberKinds:
        if (affinity != Affinity::Real && affinity != Affinity::Numeric &&
            affinity != Affinity::Integer)
            return CheckVerdict::Unknown;
        return cell.kind == ValueKind::Text ? CheckVerdict::Unknown : CheckVerdict::Kept;
    }
    return CheckVerdict::Unknown;
}

} // namespace rv
