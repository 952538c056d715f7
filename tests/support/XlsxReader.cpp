#include "tests/support/XlsxReader.h"
#include <QDate>
#include <QProcess>
#include <QRegularExpression>
#include <QXmlStreamReader>
#include <cmath>

namespace rv::test {

namespace {

QByteArray part(const QString& path, const QString& name, QString& error) {
    QProcess unzip;
    unzip.start(QStringLiteral("unzip"), {QStringLiteral("-p"), path, name});
    if (!unzip.waitForFinished(30000) || unzip.exitCode() != 0) {
        error = QStringLiteral("cannot read ") + name + QStringLiteral(" from ") + path + u' ' +
                QString::fromLocal8Bit(unzip.readAllStandardError());
        return {};
    }
    return unzip.readAllStandardOutput();
}

// "C12" -> (12, 3)
std::pair<int, int> cellPosition(const QString& ref) {
    int column = 0, i = 0;
    while (i < ref.size() && ref[i].isLetter())
        column = column * 26 + (ref[i++].toUpper().unicode() - 'A' + 1);
    return {ref.mid(i).toInt(), column};
}

QString builtinFormat(int id) {
    switch (id) {
    case 0:
        return QStringLiteral("General");
    case 14:
        return QStringLiteral("m/d/yyyy");
    default:
        return QStringLiteral("builtin ") + QString::number(id);
    }
}

} // namespace

int XlsxBook::rowCount() const {
    int n = 0;
    for (auto it = cells.keyBegin(); it != cells.keyEnd(); ++it)
        n = std::max(n, it->first);
    return n;
}

int XlsxBook::columnCount() const {
    int n = 0;
    for (auto it = cells.keyBegin(); it != cells.keyEnd(); ++it)
        n = std::max(n, it->second);
    return n;
}

bool XlsxBook::isText(int row, int column) const {
    const QString t = cell(row, column).type;
    return cells.contains({row, column}) && (t == QLatin1String("inlineStr") ||
                                             t == QLatin1String("s") || t == QLatin1String("str"));
}

bool XlsxBook::isNumber(int row, int column) const {
    const QString t = cell(row, column).type;
    return cells.contains({row, column}) && (t.isEmpty() || t == QLatin1String("n"));
}

XlsxBook readXlsx(const QString& path, int sheetNumber) {
    XlsxBook book;
    const QByteArray workbook = part(path, QStringLiteral("xl/workbook.xml"), book.error);
    if (!book.error.isEmpty()) return book;
    for (QXmlStreamReader x(workbook); !x.atEnd();)
        if (x.readNext() == QXmlStreamReader::StartElement && x.name() == QLatin1String("sheet"))
            book.sheets << x.attributes().value(QLatin1String("name")).toString();

    // Number formats by style index.
    QStringList styleFormats;
    {
        const QByteArray styles = part(path, QStringLiteral("xl/styles.xml"), book.error);
        if (!book.error.isEmpty()) return book;
        QHash<int, QString> custom;
        bool inCellXfs = false;
        for (QXmlStreamReader x(styles); !x.atEnd();) {
            const auto token = x.readNext();
            if (token == QXmlStreamReader::StartElement) {
                if (x.name() == QLatin1String("numFmt"))
                    custom.insert(x.attributes().value(QLatin1String("numFmtId")).toInt(),
                                  x.attributes().value(QLatin1String("formatCode")).toString());
                else if (x.name() == QLatin1String("cellXfs"))
                    inCellXfs = true;
                else if (inCellXfs && x.name() == QLatin1String("xf")) {
                    const int id = x.attributes().value(QLatin1String("numFmtId")).toInt();
                    styleFormats << custom.value(id, builtinFormat(id));
                }
            } else if (token == QXmlStreamReader::EndElement &&
                       x.name() == QLatin1String("cellXfs")) {
                inCellXfs = false;
            }
        }
    }

    QStringList shared;
    {
        QString ignored;
        const QByteArray strings = part(path, QStringLiteral("xl/sharedStrings.xml"), ignored);
        QString current;
        for (QXmlStreamReader x(strings); !x.atEnd();) {
            const auto token = x.readNext();
            if (token == QXmlStreamReader::StartElement && x.name() == QLatin1String("si"))
                current.clear();
            else if (token == QXmlStreamReader::StartElement && x.name() == QLatin1String("t"))
                current += x.readElementText();
            else if (token == QXmlStreamReader::EndElement && x.name() == QLatin1String("si"))
                shared << current;
        }
    }

    const QByteArray sheet =
        part(path, QStringLiteral("xl/worksheets/sheet%1.xml").arg(sheetNumber), book.error);
    if (!book.error.isEmpty()) return book;
    QXmlStreamReader x(sheet);
    std::pair<int, int> at;
    XlsxCell cell;
    while (!x.atEnd()) {
        const auto token = x.readNext();
        if (token == QXmlStreamReader::StartElement) {
            if (x.name() == QLatin1String("col")) {
                const auto a = x.attributes();
                const int min = a.value(QLatin1String("min")).toInt();
                const int max = a.value(QLatin1String("max")).toInt();
                for (int c = min; c <= max; ++c)
                    book.widths.insert(c, a.value(QLatin1String("width")).toDouble());
            } else if (x.name() == QLatin1String("c")) {
                const auto a = x.attributes();
                at = cellPosition(a.value(QLatin1String("r")).toString());
                cell = XlsxCell{};
                cell.type = a.value(QLatin1String("t")).toString();
                const int style = a.value(QLatin1String("s")).toInt();
                cell.format = styleFormats.value(style, QStringLiteral("General"));
            } else if (x.name() == QLatin1String("v")) {
                cell.value = x.readElementText();
                if (cell.type == QLatin1String("s")) cell.value = shared.value(cell.value.toInt());
            } else if (x.name() == QLatin1String("t")) {
                cell.value += x.readElementText();
            }
        } else if (token == QXmlStreamReader::EndElement && x.name() == QLatin1String("c")) {
            book.cells.insert(at, cell);
        }
    }
    if (x.hasError()) book.error = x.errorString();
    return book;
}

QString serialDateText(double serial) {
    const int days = int(std::floor(serial));
    // Day 60 is the 29th of February 1900 that the spreadsheet counts; later days are one
    // more than the calendar's.
    const QDate date = QDate(1899, 12, 31).addDays(days > 60 ? days - 1 : days);
    return date.toString(QStringLiteral("yyyy/MM/dd"));
}

} // namespace rv::test
