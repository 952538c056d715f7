#pragma once
// Reads back what the tests need of an .xlsx workbook: the sheet names, one sheet's
// cells (their kind, value and number format) and its column widths. A workbook is a zip
// of XML parts; the parts are taken out with the unzip program.
#include <QHash>
#include <QMap>
#include <QString>
#include <QStringList>
#include <utility>

namespace rv::test {

struct XlsxCell {
    QString type;   // "" or "n": a number; "b": Yes/No; "inlineStr", "s", "str": text
    QString value;  // the number or Yes/No as written, or the text
    QString format; // the number format ("General" when none)
};

struct XlsxBook {
    QString error; // empty when the workbook was read
    QStringList sheets;
    QMap<std::pair<int, int>, XlsxCell> cells; // (row, column), both from 1
    QMap<int, double> widths;                  // column from 1 -> width in characters

    int rowCount() const;
    int columnCount() const;
    // The cell at (row, column); an empty cell when there is none.
    XlsxCell cell(int row, int column) const { return cells.value({row, column}); }
    bool isText(int row, int column) const;
    bool isNumber(int row, int column) const;
};

// The cells and widths are those of sheet number `sheet` (from 1, in the workbook's order).
XlsxBook readXlsx(const QString& path, int sheet = 1);

// The date a serial day number of the spreadsheet stands for (1 is 1900/01/01; the
// spreadsheet counts a day 60 that never was).
QString serialDateText(double serial);

} // namespace rv::test
