#include "reports/FlexGridToExcel.h"
#include "core/DateText.h"
#include "core/NumberText.h"
#include "platform/Desktop.h"
#include "platform/OpenWritten.h"
#include "platform/Progress.h"
#include "reports/ChangesSheet.h"
#include "reports/SheetEntry.h"
#include "store/Session.h"
#include <QAbstractItemModel>
#include <QDir>
#include <QFile>
#include <cmath>
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
    lxw_format* tons = nullptr; // loads, the offset and the levels: at least two decimals
};

// The "Sensor" sheet: where its parts begin (rows from 0).
constexpr lxw_row_t kSensorNoteRow = 9;
constexpr lxw_row_t kSensorTableRow = 11;
const char* const kSensorSheetName = "Sensor";

SheetEntry textEntry(const QString& text) {
    SheetEntry e;
    if (text.isEmpty()) return e;
    e.kind = SheetEntry::Kind::Text;
    e.text = text;
    return e;
}

SheetEntry numberEntry(std::optional<double> value) {
    SheetEntry e;
    if (!value || !std::isfinite(*value)) return e;
    e.kind = SheetEntry::Kind::Number;
    e.number = *value;
    return e;
}

// The texts too long for their cells, written cut to kMaxCellChars: counted, and where the
// first one is, for the log.
struct CutTexts {
    qint64 count = 0;
    QString first; // "row 2, column 1 of the sheet \"200625001\""
};

QString cellName(lxw_worksheet* sheet, lxw_row_t row, lxw_col_t col) {
    return QStringLiteral("row %1, column %2 of the sheet \"%3\"")
        .arg(row + 1)
        .arg(col + 1)
        .arg(QString::fromUtf8(sheet->name));
}

lxw_error writeEntry(lxw_worksheet* sheet, lxw_row_t row, lxw_col_t col, const SheetEntry& e,
                     const Formats& formats, CutTexts& cuts, lxw_format* numberFormat = nullptr) {
    switch (e.kind) {
    case SheetEntry::Kind::Blank:
        return LXW_NO_ERROR;
    case SheetEntry::Kind::Number:
        return worksheet_write_number(sheet, row, col, e.number, numberFormat);
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
    const QString text = cellText(e.text);
    if (text.size() < e.text.size() && cuts.count++ == 0) cuts.first = cellName(sheet, row, col);
    const QByteArray utf8 = text.toUtf8();
    return worksheet_write_string(sheet, row, col, utf8.constData(), nullptr);
}

// Writes the "Sensor" sheet, stepping progress from `done`; false when cancelled.
bool writeSensorSheet(lxw_worksheet* sheet, const SensorSheet& sensor, const Formats& formats,
                      CutTexts& cuts, Progress& progress, qint64 done) {
    std::vector<int> widths(3, 0);
    auto put = [&](lxw_row_t row, lxw_col_t col, const SheetEntry& entry,
                   lxw_format* numberFormat = nullptr) {
        skip([&] {
            if (writeEntry(sheet, row, col, entry, formats, cuts, numberFormat) == LXW_NO_ERROR)
                widths[col] = std::max(widths[col], shownWidth(entry));
        });
    };
    // An offset that is not a number is shown as it stands: the loads were computed with
    // an offset of 0, as the plots compute them.
    const SheetEntry offset = isNumberText(sensor.offset.trimmed())
                                  ? numberEntry(leadingNumber(sensor.offset))
                                  : textEntry(sensor.offset);
    SheetEntry installed = textEntry(sensor.installDate);
    if (const auto day = readDate(sensor.installDate); day && day->year() >= 1900) {
        installed.kind = SheetEntry::Kind::Date;
        installed.date = *day;
    }
    const std::pair<const char*, SheetEntry> particulars[] = {
        {"Sensor", textEntry(sensor.sensor)},
        {"Type", textEntry(sensor.type)},
        {"Level", textEntry(sensor.level)},
        {"Location", textEntry(sensor.location)},
        {"Installation date", installed},
        {"Offset (t)", offset},
        {"Alert load (t)", numberEntry(sensor.alert)},
        {"Alarm load (t)", numberEntry(sensor.alarm)},
    };
    lxw_row_t row = 0;
    for (const auto& [label, value] : particulars) {
        put(row, 0, textEntry(QLatin1String(label)));
        put(row, 1, value, formats.tons);
        ++row;
    }
    // The note runs on over the empty cells beside it: it sets no column's width.
    skip([&] {
        worksheet_write_string(sheet, kSensorNoteRow, 0,
                               "Readings marked Do not plot are not listed.", nullptr);
    });
    put(kSensorTableRow, 0, textEntry(QStringLiteral("Date and time")));
    put(kSensorTableRow, 1, textEntry(QStringLiteral("Load above offset (t)")));
    put(kSensorTableRow, 2, textEntry(QStringLiteral("Temperature (deg C)")));

    row = kSensorTableRow + 1;
    qint64 written = 0;
    for (const SensorSheetRow& reading : sensor.readings) {
        SheetEntry at = textEntry(reading.key);
        if (reading.at.isValid() && reading.at.date().year() >= 1900) {
            at.kind = SheetEntry::Kind::DateTime;
            at.date = reading.at.date();
            at.time = reading.at.time();
        }
        put(row, 0, at);
        put(row, 1, numberEntry(reading.load), formats.tons);
        put(row, 2, numberEntry(reading.temperature));
        ++row;
        if (++written % kProgressEvery == 0 && !progress.step(done + written)) return false;
    }
    for (lxw_col_t k = 0; k < 3; ++k)
        skip([&] { worksheet_set_column(sheet, k, k, fittedColumnWidth(widths[k]), nullptr); });
    return true;
}

} // namespace

QString FlexGridToExcel(Session& s, const QAbstractItemModel& grid, int rows, int cols, int number,
                        const QString& sheetName, Progress& progress, const QString& folder,
                        const SensorSheet* sensorSheet, const std::vector<ChangeEntry>* changes) {
    (void)number;
    QString path;
    lxw_workbook* book = nullptr;
    lxw_worksheet* sheet = nullptr;
    lxw_worksheet* sensor = nullptr;
    lxw_worksheet* changesSheet = nullptr;
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
        if (sensorSheet && sensorSheet->readings.size() + kSensorTableRow + 1 > LXW_ROW_MAX)
            throw Abort{Error{err::InvalidArgument,
                              QStringLiteral("%1 readings do not fit on the sheet \"Sensor\"")
                                  .arg(sensorSheet->readings.size())}};
        if (changes && qint64(changes->size()) > changesSheetCapacity())
            throw Abort{Error{err::InvalidArgument,
                              QStringLiteral("%1 changes do not fit on the sheet \"Changes\"")
                                  .arg(changes->size())}};
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
        if (sheet && sensorSheet) {
            // A first sheet already named "Sensor" leaves the second its default name.
            const bool free = workbook_validate_sheet_name(book, kSensorSheetName) == LXW_NO_ERROR;
            sensor = workbook_add_worksheet(book, free ? kSensorSheetName : nullptr);
        }
        if (sheet && changes) {
            // A sheet already named "Changes" leaves this one its default name.
            const QByteArray changesName = kChangesSheetName.toUtf8();
            const bool free =
                workbook_validate_sheet_name(book, changesName.constData()) == LXW_NO_ERROR;
            changesSheet = workbook_add_worksheet(book, free ? changesName.constData() : nullptr);
        }
    });
    if (!started) return {};
    if (!book || !sheet || (sensorSheet && !sensor) || (changes && !changesSheet)) {
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
        formats.tons = workbook_add_format(book);
        format_set_num_format(formats.tons, "0.00##");
    });

    const int filled = std::max(cols - 1, 0);
    std::vector<int> widths(std::size_t(filled), 0);
    const qint64 sensorRows = sensorSheet ? qint64(sensorSheet->readings.size()) : 0;
    const qint64 changeRows = changes ? qint64(changes->size()) : 0;
    progress.begin(QStringLiteral("Writing the workbook"), rows + sensorRows + changeRows);
    bool cancelled = false;
    CutTexts cuts;
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
                if (writeEntry(sheet, lxw_row_t(i - 1), lxw_col_t(j - 1), entry, formats, cuts) ==
                    LXW_NO_ERROR)
                    widths[std::size_t(j - 1)] =
                        std::max(widths[std::size_t(j - 1)], shownWidth(entry));
            });
        }
        if (i % kProgressEvery == 0 && !progress.step(i)) cancelled = true;
    }
    for (int k = 0; k < filled; ++k)
        if (widths[std::size_t(k)] > 0)
            skip([&] {
                worksheet_set_column(sheet, lxw_col_t(k), lxw_col_t(k),
                                     fittedColumnWidth(widths[std::size_t(k)]), nullptr);
            });
    if (!cancelled && sensorSheet)
        cancelled = !writeSensorSheet(sensor, *sensorSheet, formats, cuts, progress, rows);
    if (!cancelled && changes)
        cancelled =
            !writeChangesSheet(book, changesSheet, *changes, false, progress, rows + sensorRows);
    if (!cancelled) progress.step(rows + sensorRows + changeRows);
    progress.end();

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
    // A cell holds at most kMaxCellChars characters: a longer text is there cut short,
    // which the log says.
    if (cuts.count > 0)
        s.logFailure(
            Error{err::InvalidArgument,
                  (cuts.count == 1 ? QStringLiteral("1 text was")
                                   : QString::number(cuts.count) + QStringLiteral(" texts were")) +
                      QStringLiteral(" cut to the %1 characters a cell holds in %2, "
                                     "the first at %3")
                          .arg(kMaxCellChars)
                          .arg(QDir::toNativeSeparators(path), cuts.first)},
            kLabel);
    // No spreadsheet program: the system's own message, then where the workbook lies.
    if (const Status opened = openWritten(s.dialogs, s.desktop, path, kNoSpreadsheet);
        !opened.ok()) {
        s.logFailure(opened.error(), kLabel);
        return {};
    }
    return path;
}

} // namespace rv
