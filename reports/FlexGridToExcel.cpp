#include "reports/FlexGridToExcel.h"
#include "platform/Desktop.h"
#include "platform/OpenWritten.h"
#include "platform/Progress.h"
#include "reports/SheetEntry.h"
#include "store/Session.h"
#include <QAbstractItemModel>
#include <QDir>
#include <QFile>
#include <vector>
#include <xlsxwriter.h>

namespace rv {

namespace {

const QString kLabel = QStringLiteral(" Module1_FlexGridToExcel");
// Rows between two reports of progress.
constexpr int kProgressEvery = 1024;

QString gridText(const QAbstractItemModel& grid, int row, int col) {
    if (row == 0) return grid.headerData(col, Qt::Horizontal, Qt::DisplayRole).toString();
    const QModelIndex index = grid.index(row - 1, col);
    return index.isValid() ? grid.data(index, Qt::DisplayRole).toString() : QString();
}

Error workbookError(lxw_error e, const QString& what) {
    return Error{err::FileError, what + QStringLiteral(": ") + QString::fromUtf8(lxw_strerror(e))};
}

// The formats of the typed dates and times, made once per workbook.
struct Formats {
    lxw_format* date = nullptr;
    lxw_format* dateTime = nullptr;
    lxw_format* time = nullptr;
};

lxw_error writeEntry(lxw_worksheet* sheet, lxw_row_t row, lxw_col_t col, const SheetEntry& e,
                     const Formats& formats) {
    switch (e.kind) {
    case SheetEntry::Kind::Blank:
        return LXW_NO_ERROR;
    case SheetEntry::Kind::Number:
        return worksheet_write_number(sheet, row, col, e.number, nullptr);
    case SheetEntry::Kind::Boolean:
        return worksheet_write_boolean(sheet, row, col, e.boolean ? 1 : 0, nullptr);
    case SheetEntry::Kind::Time:
        return worksheet_write_number(sheet, row, col, e.number, formats.time);
    case SheetEntry::Kind::Date:
    case SheetEntry::Kind::DateTime: {
        const QTime t = e.time.isValid() ? e.time : QTime(0, 0);
        lxw_datetime moment{e.date.year(), e.date.month(), e.date.day(),
                            t.hour(),      t.minute(),     double(t.second())};
        return worksheet_write_datetime(sheet, row, col, &moment,
                                        e.kind == SheetEntry::Kind::Date ? formats.date
                                                                         : formats.dateTime);
    }
    case SheetEntry::Kind::Text:
        break;
    }
    const QByteArray utf8 = e.text.toUtf8();
    return worksheet_write_string(sheet, row, col, utf8.constData(), nullptr);
}

} // namespace

QString FlexGridToExcel(Session& s, const QAbstractItemModel& grid, int rows, int cols, int number,
                        const QString& sheetName, Progress& progress, const QString& folder) {
    (void)number;
    QString path;
    lxw_workbook* book = nullptr;
    lxw_worksheet* sheet = nullptr;
    const QString where = folder.isEmpty() ? QDir::tempPath() : folder;

    // Starting the workbook: a grid the sheet cannot hold ends here with a log entry; a
    // workbook that cannot be started is the user's message.
    const bool started = logged(s, kLabel, [&] {
        if (rows < 0 || cols < 0 || rows > LXW_ROW_MAX || cols - 1 > LXW_COL_MAX)
            throw Abort{Error{err::InvalidArgument,
                              QStringLiteral("A grid of %1 rows and %2 columns does not fit "
                                             "on one sheet")
                                  .arg(rows)
                                  .arg(cols)}};
        // A temporary folder that does not exist resolves to no folder at all: the
        // workbook is never written into whatever folder happens to be current.
        if (where.isEmpty()) return;
        path = newWorkbookPath(where, sheetName);
        if (path.isEmpty()) return;
        const QByteArray file = QFile::encodeName(path);
        QByteArray tmp = QFile::encodeName(where);
        // Rows are written in order and leave memory as they go: 100,000 readings need no
        // more memory than a few.
        lxw_workbook_options options{};
        options.constant_memory = LXW_TRUE;
        options.tmpdir = tmp.data();
        book = workbook_new_opt(file.constData(), &options);
        if (!book) return;
        const QByteArray name = sheetName.toUtf8();
        const bool named = !sheetName.isEmpty() &&
                           workbook_validate_sheet_name(book, name.constData()) == LXW_NO_ERROR;
        sheet = workbook_add_worksheet(book, named ? name.constData() : nullptr);
    });
    if (!started) return {};
    if (!book || !sheet) {
        if (book) {
            (void)workbook_close(book);
            QFile::remove(path);
        }
        // The user is told what to do; the log keeps what went wrong.
        const QString why =
            where.isEmpty()
                ? QStringLiteral("No workbook could be started: the temporary folder does not "
                                 "exist")
                : QStringLiteral("No workbook could be started in ") +
                      QDir::toNativeSeparators(where);
        s.logFailure(Error{err::FileError, why}, kLabel);
        s.dialogs.inform(kNoSpreadsheet, kTitle, Icon::Exclamation);
        return {};
    }

    // From here on a step that fails is skipped and the next one runs.
    Formats formats;
    skip([&] {
        formats.date = workbook_add_format(book);
        format_set_num_format(formats.date, "yyyy/mm/dd");
        formats.dateTime = workbook_add_format(book);
        format_set_num_format(formats.dateTime, "yyyy/mm/dd hh:mm:ss");
        formats.time = workbook_add_format(book);
        format_set_num_format(formats.time, "hh:mm:ss");
    });

    const int filled = std::max(cols - 1, 0);
    std::vector<int> widths(std::size_t(filled), 0);
    progress.begin(QStringLiteral("Writing the workbook"), rows);
    bool cancelled = false;
    // The readings of one day share their date text: it is read once per run of equal texts.
    QString lastDateText;
    SheetEntry lastDate;
    bool haveDate = false;
    for (int i = 1; i <= rows && !cancelled; ++i) {
        for (int j = 1; j <= filled; ++j) {
            skip([&] {
                const QString text = gridText(grid, i - 1, j - 1);
                SheetEntry entry;
                if (j == 2) {
                    if (!haveDate || text != lastDateText) {
                        lastDate = dateColumnEntry(text);
                        lastDateText = text;
                        haveDate = true;
                    }
                    entry = lastDate;
                } else {
                    entry = typedEntry(text);
                }
                if (writeEntry(sheet, lxw_row_t(i - 1), lxw_col_t(j - 1), entry, formats) ==
                    LXW_NO_ERROR)
                    widths[std::size_t(j - 1)] =
                        std::max(widths[std::size_t(j - 1)], shownWidth(entry));
            });
        }
        if (i % kProgressEvery == 0 && !progress.step(i)) cancelled = true;
    }
    if (!cancelled) progress.step(rows);
    progress.end();

    for (int k = 0; k < filled; ++k)
        if (widths[std::size_t(k)] > 0)
            skip([&] {
                worksheet_set_column(sheet, lxw_col_t(k), lxw_col_t(k),
                                     fittedColumnWidth(widths[std::size_t(k)]), nullptr);
            });

    const lxw_error closed = workbook_close(book);
    if (cancelled) {
        QFile::remove(path);
        return {};
    }
    if (closed != LXW_NO_ERROR) {
        QFile::remove(path);
        s.logFailure(workbookError(closed, QStringLiteral("The workbook ") + path +
                                               QStringLiteral(" could not be written")),
                     kLabel);
        s.dialogs.inform(kNoSpreadsheet, kTitle, Icon::Exclamation);
        return {};
    }
    // No spreadsheet program: the system's own message, then where the workbook lies.
    if (const Status opened = openWritten(s.dialogs, s.desktop, path, kNoSpreadsheet);
        !opened.ok()) {
        s.logFailure(opened.error(), kLabel);
        return {};
    }
    return path;
}

} // namespace rv
