#include "reports/ChangesSheet.h"
#include "core/DateText.h"
#include "platform/Progress.h"
#include "reports/SheetEntry.h"
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QTemporaryFile>
#include <algorithm>
#include <xlsxwriter.h>

namespace rv {

namespace {

// Rows between two reports of progress.
constexpr qint64 kProgressEvery = 1024;
// The width of the moment's column: "yyyy/mm/dd hh:mm:ss".
constexpr int kWhenChars = 19;

Error workbookError(lxw_error e, const QString& what) {
    return Error{err::FileError, what + QStringLiteral(": ") + QString::fromUtf8(lxw_strerror(e))};
}

} // namespace

QStringList changeColumnTitles(bool withSensor) {
    QStringList titles{QStringLiteral("When"), QStringLiteral("Who"),     QStringLiteral("How"),
                       QStringLiteral("Kind"), QStringLiteral("Reading"), QStringLiteral("Before"),
                       QStringLiteral("After")};
    if (withSensor) titles.prepend(QStringLiteral("Sensor"));
    return titles;
}

QString changeWhenText(const QDateTime& when) {
    if (!when.isValid()) return {};
    return QLocale::c().toString(when, QStringLiteral("d MMM yyyy HH:mm:ss"));
}

QStringList changeRowTexts(const ChangeEntry& entry, bool withSensor) {
    QStringList texts{changeWhenText(entry.when),
                      entry.by,
                      entry.how,
                      entry.kind,
                      changeReadingText(entry),
                      changeValuesText(entry, false),
                      changeValuesText(entry, true)};
    if (withSensor) texts.prepend(entry.instrumentId);
    return texts;
}

qint64 changesSheetCapacity() {
    return qint64(LXW_ROW_MAX) - 1;
}

bool writeChangesSheet(lxw_workbook* book, lxw_worksheet* sheet,
                       const std::vector<ChangeEntry>& entries, bool withSensor, Progress& progress,
                       qint64 done) {
    lxw_format* moment = workbook_add_format(book);
    format_set_num_format(moment, "yyyy/mm/dd hh:mm:ss");
    lxw_format* header = workbook_add_format(book);
    format_set_bold(header);

    const QStringList titles = changeColumnTitles(withSensor);
    const int whenColumn = withSensor ? 1 : 0;
    std::vector<int> widths(std::size_t(titles.size()), 0);
    auto text = [&](lxw_row_t row, int col, const QString& value, lxw_format* format = nullptr) {
        if (value.isEmpty()) return;
        const QByteArray utf8 = cellText(value).toUtf8();
        if (worksheet_write_string(sheet, row, lxw_col_t(col), utf8.constData(), format) ==
            LXW_NO_ERROR)
            widths[std::size_t(col)] = std::max(widths[std::size_t(col)], int(value.size()));
    };
    for (int col = 0; col < titles.size(); ++col)
        text(0, col, titles[col], header);

    lxw_row_t row = 1;
    qint64 written = 0;
    for (const ChangeEntry& entry : entries) {
        const QStringList texts = changeRowTexts(entry, withSensor);
        for (int col = 0; col < texts.size(); ++col) {
            // The moment is a date and time the spreadsheet can sort and count with; one
            // it has no day for (unknown, or before 1900) stays as written.
            if (col == whenColumn && entry.when.isValid() && entry.when.date().year() >= 1900) {
                const QDate d = entry.when.date();
                const QTime t = entry.when.time();
                lxw_datetime at{d.year(), d.month(),  d.day(),
                                t.hour(), t.minute(), double(t.second())};
                if (worksheet_write_datetime(sheet, row, lxw_col_t(col), &at, moment) ==
                    LXW_NO_ERROR)
                    widths[std::size_t(col)] = std::max(widths[std::size_t(col)], kWhenChars);
                continue;
            }
            text(row, col, texts[col]);
        }
        ++row;
        if (++written % kProgressEvery == 0 && !progress.step(done + written)) return false;
    }
    for (int col = 0; col < titles.size(); ++col)
        worksheet_set_column(sheet, lxw_col_t(col), lxw_col_t(col),
                             fittedColumnWidth(widths[std::size_t(col)]), nullptr);
    return true;
}

Result<bool> writeChangesWorkbook(const QString& path, const std::vector<ChangeEntry>& entries,
                                  Progress& progress) {
    if (qint64(entries.size()) > changesSheetCapacity())
        return Error{err::InvalidArgument,
                     QStringLiteral("%1 changes do not fit on one sheet").arg(entries.size())};
    const QFileInfo target(path);
    const QString folder = target.absolutePath();
    // The work file: a new name beside the workbook, taken now so that no other file is
    // written over.
    QString work;
    {
        QTemporaryFile reserved(QDir(folder).filePath(QStringLiteral(".changes-XXXXXX.xlsx")));
        reserved.setAutoRemove(false);
        if (!reserved.open())
            return Error{err::FileError, QStringLiteral("The workbook could not be written in ") +
                                             QDir::toNativeSeparators(folder) +
                                             QStringLiteral(": ") + reserved.errorString()};
        work = reserved.fileName();
    }
    const QByteArray file = QFile::encodeName(work);
    QByteArray tmp = QFile::encodeName(folder);
    lxw_workbook_options options{};
    options.constant_memory = LXW_TRUE;
    options.tmpdir = tmp.data();
    lxw_workbook* book = workbook_new_opt(file.constData(), &options);
    lxw_worksheet* sheet =
        book ? workbook_add_worksheet(book, kChangesSheetName.toUtf8().constData()) : nullptr;
    if (!sheet) {
        if (book) (void)workbook_close(book);
        QFile::remove(work);
        return Error{err::FileError, QStringLiteral("The workbook ") +
                                         QDir::toNativeSeparators(path) +
                                         QStringLiteral(" could not be started")};
    }
    progress.begin(QStringLiteral("Writing the workbook"), qint64(entries.size()));
    const bool finished = writeChangesSheet(book, sheet, entries, true, progress, 0);
    if (finished) progress.step(qint64(entries.size()));
    progress.end();
    const lxw_error closed = workbook_close(book);
    if (!finished) {
        QFile::remove(work);
        return false;
    }
    if (closed != LXW_NO_ERROR) {
        QFile::remove(work);
        return workbookError(closed, QStringLiteral("The workbook ") +
                                         QDir::toNativeSeparators(path) +
                                         QStringLiteral(" could not be written"));
    }
    // The user chose to replace an existing file: it goes only once the new one is whole.
    if (target.exists() && !QFile::remove(path)) {
        QFile::remove(work);
        return Error{err::FileError, QStringLiteral("The file ") + QDir::toNativeSeparators(path) +
                                         QStringLiteral(" could not be replaced: it may be open "
                                                        "in another program.")};
    }
    if (!QFile::rename(work, path)) {
        QFile::remove(work);
        return Error{err::FileError, QStringLiteral("The workbook could not be given the name ") +
                                         QDir::toNativeSeparators(path)};
    }
    return true;
}

} // namespace rv
