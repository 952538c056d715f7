#include "tests/reports/OdtReader.h"
#include <QHash>
#include <QProcess>
#include <QXmlStreamReader>
#include <optional>

namespace rv::test {

namespace {

const QString kText = QStringLiteral("urn:oasis:names:tc:opendocument:xmlns:text:1.0");
const QString kTable = QStringLiteral("urn:oasis:names:tc:opendocument:xmlns:table:1.0");
const QString kStyle = QStringLiteral("urn:oasis:names:tc:opendocument:xmlns:style:1.0");
const QString kFo = QStringLiteral("urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0");
const QString kDraw = QStringLiteral("urn:oasis:names:tc:opendocument:xmlns:drawing:1.0");
const QString kSvg = QStringLiteral("urn:oasis:names:tc:opendocument:xmlns:svg-compatible:1.0");
const QString kXlink = QStringLiteral("http://www.w3.org/1999/xlink");

QByteArray unzip(const QStringList& arguments, QString* problem) {
    QProcess p;
    p.start(QStringLiteral("unzip"), arguments);
    if (!p.waitForFinished(30000) || p.exitCode() != 0) {
        *problem = QStringLiteral("unzip ") + arguments.join(QLatin1Char(' ')) +
                   QStringLiteral(" failed: ") + QString::fromLocal8Bit(p.readAllStandardError());
        return {};
    }
    return p.readAllStandardOutput();
}

// White space in a paragraph as the format defines it: a run of blanks, tabs and line
// ends in the text counts as one blank, and none at the start of the paragraph or after
// another blank; <text:s text:c="n"/> stands for n blanks exactly. A picture is content:
// a blank after it counts.
struct ParagraphBuilder {
    OdtParagraph paragraph;
    bool lastWasSpace = true;
    void characters(const QString& chars, bool bold) {
        for (const QChar c : chars) {
            const bool space = c == u' ' || c == u'\t' || c == u'\n' || c == u'\r';
            if (space) {
                if (lastWasSpace) continue;
                append(QStringLiteral(" "), bold);
                lastWasSpace = true;
            } else {
                append(QString(c), bold);
                lastWasSpace = false;
            }
        }
    }
    void spaces(int n, bool bold) {
        append(QString(n, u' '), bold);
        lastWasSpace = true;
    }
    void append(const QString& s, bool bold) {
        paragraph.text += s;
        if (bold) paragraph.boldText += s;
    }
};

} // namespace

QStringList OdtDocument::texts() const {
    QStringList out;
    for (const OdtParagraph& p : paragraphs)
        out << (p.pictures.empty() ? QString() : QStringLiteral("[picture]")) + p.text;
    return out;
}

int OdtDocument::pictureCount() const {
    int n = 0;
    for (const OdtParagraph& p : paragraphs)
        n += int(p.pictures.size());
    return n;
}

OdtDocument readOdt(const QString& path) {
    OdtDocument doc;
    const QByteArray list = unzip({QStringLiteral("-Z1"), path}, &doc.problem);
    if (!doc.problem.isEmpty()) return doc;
    doc.files = QString::fromUtf8(list).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    const QByteArray content =
        unzip({QStringLiteral("-p"), path, QStringLiteral("content.xml")}, &doc.problem);
    if (!doc.problem.isEmpty()) return doc;

    QHash<QString, bool> boldStyles;
    QXmlStreamReader xml(content);
    QString currentStyle;
    std::vector<bool> spanBold; // the bold of each open span
    std::optional<ParagraphBuilder> paragraph;
    std::optional<OdtTable> table;
    bool inHeaderRows = false;
    QStringList row;
    std::optional<QStringList> cell; // the paragraphs of the cell being read
    auto bold = [&] { return !spanBold.empty() && spanBold.back(); };
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement()) {
            const auto ns = xml.namespaceUri();
            const auto name = xml.name();
            if (ns == kTable && name == QLatin1String("table")) {
                table.emplace();
            } else if (ns == kTable && name == QLatin1String("table-header-rows")) {
                inHeaderRows = true;
            } else if (ns == kTable && name == QLatin1String("table-row")) {
                row.clear();
            } else if (ns == kTable && name == QLatin1String("table-cell")) {
                cell.emplace();
            } else if (ns == kStyle && name == QLatin1String("style")) {
                currentStyle = xml.attributes().value(kStyle, QStringLiteral("name")).toString();
            } else if (ns == kStyle && name == QLatin1String("text-properties")) {
                boldStyles[currentStyle] =
                    xml.attributes().value(kFo, QStringLiteral("font-weight")) ==
                    QLatin1String("bold");
            } else if (ns == kText && (name == QLatin1String("p") || name == QLatin1String("h"))) {
                paragraph.emplace();
                spanBold.clear();
            } else if (ns == kText && name == QLatin1String("span")) {
                spanBold.push_back(boldStyles.value(
                    xml.attributes().value(kText, QStringLiteral("style-name")).toString()));
            } else if (ns == kText && name == QLatin1String("s") && paragraph) {
                const auto c = xml.attributes().value(kText, QStringLiteral("c"));
                paragraph->spaces(c.isEmpty() ? 1 : c.toInt(), bold());
            } else if (ns == kText && name == QLatin1String("tab") && paragraph) {
                paragraph->append(QStringLiteral("\t"), bold());
                paragraph->lastWasSpace = false;
            } else if (ns == kText && name == QLatin1String("line-break") && paragraph) {
                paragraph->append(QStringLiteral("\n"), bold());
                paragraph->lastWasSpace = true;
            } else if (ns == kDraw && name == QLatin1String("frame") && paragraph) {
                OdtPicture picture;
                picture.width = xml.attributes().value(kSvg, QStringLiteral("width")).toString();
                picture.height = xml.attributes().value(kSvg, QStringLiteral("height")).toString();
                paragraph->paragraph.pictures.push_back(picture);
                paragraph->lastWasSpace = false;
            } else if (ns == kDraw && name == QLatin1String("image") && paragraph &&
                       !paragraph->paragraph.pictures.empty()) {
                paragraph->paragraph.pictures.back().target =
                    xml.attributes().value(kXlink, QStringLiteral("href")).toString();
            }
        } else if (xml.isEndElement()) {
            const auto ns = xml.namespaceUri();
            const auto name = xml.name();
            if (ns == kText && (name == QLatin1String("p") || name == QLatin1String("h"))) {
                if (paragraph && cell)
                    *cell << paragraph->paragraph.text;
                else if (paragraph)
                    doc.paragraphs.push_back(paragraph->paragraph);
                paragraph.reset();
            } else if (ns == kTable && name == QLatin1String("table-cell") && cell) {
                row << cell->join(QLatin1Char('\n'));
                cell.reset();
            } else if (ns == kTable && name == QLatin1String("table-row") && table) {
                table->rows.push_back(row);
                if (inHeaderRows) ++table->headerRows;
            } else if (ns == kTable && name == QLatin1String("table-header-rows")) {
                inHeaderRows = false;
            } else if (ns == kTable && name == QLatin1String("table") && table) {
                doc.tables.push_back(*table);
                table.reset();
                OdtParagraph marker;
                marker.text = QStringLiteral("[table]");
                doc.paragraphs.push_back(marker);
            } else if (ns == kText && name == QLatin1String("span") && !spanBold.empty()) {
                spanBold.pop_back();
            }
        } else if (xml.isCharacters() && paragraph) {
            paragraph->characters(xml.text().toString(), bold());
        }
    }
    if (xml.hasError()) {
        doc.problem = xml.errorString();
        return doc;
    }
    doc.ok = true;
    return doc;
}

} // namespace rv::test
