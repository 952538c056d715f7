// libFuzzer target: reading the date texts of datalogger files and what is made of them.
// It checks that the datalogger's own date reader agrees with the general date reader
// wherever the latter reads a date, that every reading made of a date text has a key of
// 29 characters that its moment gives back, that the proposal never ticks the marker,
// and that a channel value written is always a number in the pattern's form.
#include "core/DateText.h"
#include "core/NumberText.h"
#include "import/SlugRules.h"
#include <QString>
#include <QStringList>
#include <cstdlib>

namespace {

void check(bool ok) {
    if (!ok) std::abort();
}

bool patternForm(const QString& text, int decimals) {
    const qsizetype point = text.indexOf(u'.');
    if (point < 1 || text.size() - point - 1 != decimals) return false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (i == point || (i == 0 && text[i] == u'-')) continue;
        if (text[i] < u'0' || text[i] > u'9') return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    const rv::DayOrder regional = rv::regionalDayOrder();

    // The general reader's dates are the datalogger reader's too.
    const std::optional<QDateTime> general = rv::readDateTime(text);
    const std::optional<QDateTime> slug = rv::readSlugDateTime(text, regional);
    if (general) check(slug == general);
    for (rv::DayOrder order : {rv::DayOrder::DayFirst, rv::DayOrder::MonthFirst}) {
        const std::optional<QDateTime> d = rv::readSlugDateTime(text, order);
        if (d) check(d->isValid() && d->timeSpec() == Qt::UTC && d->date().year() >= 1);
    }

    // Readings made of the text in each layout.
    const QString id = QStringLiteral("200625001");
    for (int f = 0; f < 3; ++f) {
        const auto m = rv::slugMoment(text, rv::SlugDateFormat(f), id, regional);
        if (!m) continue;
        check(m->key.size() == 29 && m->key == rv::readingKey(id, m->fullDate));
        check(m->dateText == m->key.mid(10, 10) && m->timeText == m->key.mid(21, 8));
    }

    // The proposal over the text's lines, with the marker added in the middle.
    QStringList lines = text.split(u'\n');
    lines.insert(lines.size() / 2, rv::kSlugMarker);
    for (double interval : {0.0, 1.0, 24.0, rv::slugInterval(lines.first())}) {
        const std::vector<char> marks = rv::proposeMarks(
            lines.size(), [&](qint64 r) { return lines[r]; }, interval, regional);
        check(qint64(marks.size()) == lines.size());
        for (qsizetype r = 0; r < lines.size(); ++r)
            if (lines[r] == rv::kSlugMarker) check(!marks[std::size_t(r)]);
        if (lines.first() != rv::kSlugMarker) check(marks.front());
    }

    // Channel values.
    for (int decimals : {1, 2}) {
        const QVariant v = rv::importedChannel(text, decimals);
        if (v.isNull()) continue;
        check(patternForm(v.toString(), decimals));
        check(rv::isNumberText(text));
    }
    return 0;
}
