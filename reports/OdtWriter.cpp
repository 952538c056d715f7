#include "reports/OdtWriter.h"
#include <QBuffer>
#include <QDateTime>
#include <QImage>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextFragment>
#include <QTextFrame>
#include <QTextImageFormat>
#include <QTextTable>
#include <QUrl>
#include <QXmlStreamWriter>
#include <algorithm>
#include <array>

namespace rv {

using namespace odf;

namespace {

const QString kBoldStyle = QStringLiteral("T1");

void putLe(QByteArray& out, quint32 value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out.append(char((value >> (8 * i)) & 0xff));
}

// The moment of the files in the archive, in the form zip keeps it (local time).
std::pair<quint16, quint16> dosTimeAndDate() {
    const QDateTime now = QDateTime::currentDateTime();
    const QDate d = now.date();
    const QTime t = now.time();
    const quint16 time = quint16((t.hour() << 11) | (t.minute() << 5) | (t.second() / 2));
    const quint16 date =
        quint16(((std::max(d.year(), 1980) - 1980) << 9) | (d.month() << 5) | d.day());
    return {time, date};
}

// A picture of the document as PNG bytes; empty when the document holds none by that name.
QByteArray pictureBytes(const QTextDocument& document, const QString& name) {
    const QVariant resource = document.resource(QTextDocument::ImageResource, QUrl(name));
    QImage image = resource.value<QImage>();
    if (image.isNull()) image = resource.value<QPixmap>().toImage();
    if (image.isNull()) return {};
    QByteArray bytes;
    QBuffer buffer(&bytes);
    if (!buffer.open(QIODevice::WriteOnly) || !image.save(&buffer, "PNG")) return {};
    return bytes;
}

// Text of a paragraph in ODF's terms: a run of blanks counts as one blank unless written
// as <text:s/>, and none at all at the start of a paragraph. Every blank that could be
// lost is written as <text:s/>; a single blank between two other characters stays.
void writeText(QXmlStreamWriter& xml, const QString& text, bool& afterText) {
    QString pending;
    auto flush = [&] {
        if (pending.isEmpty()) return;
        xml.writeCharacters(pending);
        pending.clear();
    };
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == u' ') {
            qsizetype end = i;
            while (end < text.size() && text[end] == u' ')
                ++end;
            const qsizetype run = end - i;
            const bool between = afterText && run == 1 && end < text.size() && text[end] != u'\t' &&
                                 text[end] != QChar::LineSeparator;
            if (between) {
                pending += c;
            } else {
                flush();
                xml.writeEmptyElement(kText, QStringLiteral("s"));
                if (run > 1) xml.writeAttribute(kText, QStringLiteral("c"), QString::number(run));
            }
            afterText = between;
            i = end - 1;
        } else if (c == u'\t') {
            flush();
            xml.writeEmptyElement(kText, QStringLiteral("tab"));
            afterText = false;
        } else if (c == QChar::LineSeparator || c == u'\n' || c == u'\v' || c == u'\f') {
            // A vertical tab is the line break of a text pasted from a word processor; XML
            // cannot hold it (nor a form feed), and dropping it would run two lines together.
            flush();
            xml.writeEmptyElement(kText, QStringLiteral("line-break"));
            afterText = false;
        } else {
            pending += c;
            afterText = true;
        }
    }
    flush();
}

struct Picture {
    QString path; // inside the package
    QByteArray bytes;
};

void writePicture(QXmlStreamWriter& xml, const QTextImageFormat& format, const QString& path,
                  int number) {
    // Sizes in points, as the document's pixels (96 to the inch) give them.
    auto points = [](double pixels) { return QString::number(pixels * 0.75, 'f', 3) + "pt"; };
    xml.writeStartElement(kDraw, QStringLiteral("frame"));
    xml.writeAttribute(kDraw, QStringLiteral("name"), QStringLiteral("Picture%1").arg(number));
    xml.writeAttribute(kText, QStringLiteral("anchor-type"), QStringLiteral("as-char"));
    if (format.hasProperty(QTextFormat::ImageWidth))
        xml.writeAttribute(kSvg, QStringLiteral("width"), points(format.width()));
    if (format.hasProperty(QTextFormat::ImageHeight))
        xml.writeAttribute(kSvg, QStringLiteral("height"), points(format.height()));
    xml.writeAttribute(kDraw, QStringLiteral("z-index"), QStringLiteral("0"));
    xml.writeEmptyElement(kDraw, QStringLiteral("image"));
    xml.writeAttribute(kXlink, QStringLiteral("href"), path);
    xml.writeAttribute(kXlink, QStringLiteral("type"), QStringLiteral("simple"));
    xml.writeAttribute(kXlink, QStringLiteral("show"), QStringLiteral("embed"));
    xml.writeAttribute(kXlink, QStringLiteral("actuate"), QStringLiteral("onLoad"));
    xml.writeEndElement(); // frame
}

const QString kTableStyle = QStringLiteral("Table");
const QString kCellStyle = QStringLiteral("Cell");

// One paragraph: its text runs, bold where the document has them bold, and its pictures.
void writeBlock(QXmlStreamWriter& xml, const QTextDocument& document, const QTextBlock& block,
                QList<Picture>& pictures) {
    xml.writeStartElement(kText, QStringLiteral("p"));
    bool afterText = false;
    for (auto it = block.begin(); !it.atEnd(); ++it) {
        const QTextFragment fragment = it.fragment();
        if (!fragment.isValid()) continue;
        const QTextCharFormat format = fragment.charFormat();
        if (format.isImageFormat()) {
            const QTextImageFormat image = format.toImageFormat();
            // One frame per picture character (a fragment may hold several).
            for (qsizetype n = 0; n < fragment.text().size(); ++n) {
                const QByteArray png = pictureBytes(document, image.name());
                if (png.isEmpty()) continue;
                const QString path =
                    QStringLiteral("Pictures/Picture%1.png").arg(pictures.size() + 1);
                pictures.push_back({path, png});
                writePicture(xml, image, path, int(pictures.size()));
            }
            afterText = false;
            continue;
        }
        const bool bold = format.fontWeight() >= QFont::Bold;
        if (bold) {
            xml.writeStartElement(kText, QStringLiteral("span"));
            xml.writeAttribute(kText, QStringLiteral("style-name"), kBoldStyle);
        }
        writeText(xml, fragment.text(), afterText);
        if (bold) xml.writeEndElement(); // span
    }
    xml.writeEndElement(); // p
}

void writeFrame(QXmlStreamWriter& xml, const QTextDocument& document, const QTextFrame* frame,
                QList<Picture>& pictures, int& tables);

// A table: its header rows repeated on each page, every cell with its paragraphs.
void writeTable(QXmlStreamWriter& xml, const QTextDocument& document, const QTextTable* table,
                QList<Picture>& pictures, int& tables) {
    xml.writeStartElement(kTable, QStringLiteral("table"));
    xml.writeAttribute(kTable, QStringLiteral("name"), QStringLiteral("Table%1").arg(++tables));
    xml.writeAttribute(kTable, QStringLiteral("style-name"), kTableStyle);
    xml.writeEmptyElement(kTable, QStringLiteral("table-column"));
    xml.writeAttribute(kTable, QStringLiteral("number-columns-repeated"),
                       QString::number(table->columns()));
    const int headerRows = std::min(table->format().headerRowCount(), table->rows());
    for (int row = 0; row < table->rows(); ++row) {
        if (row == 0 && headerRows > 0)
            xml.writeStartElement(kTable, QStringLiteral("table-header-rows"));
        xml.writeStartElement(kTable, QStringLiteral("table-row"));
        for (int col = 0; col < table->columns(); ++col) {
            xml.writeStartElement(kTable, QStringLiteral("table-cell"));
            xml.writeAttribute(kTable, QStringLiteral("style-name"), kCellStyle);
            xml.writeAttribute(kOffice, QStringLiteral("value-type"), QStringLiteral("string"));
            const QTextTableCell cell = table->cellAt(row, col);
            for (auto it = cell.begin(); !it.atEnd(); ++it) {
                if (const QTextFrame* inner = it.currentFrame())
                    writeFrame(xml, document, inner, pictures, tables);
                else
                    writeBlock(xml, document, it.currentBlock(), pictures);
            }
            xml.writeEndElement(); // table-cell
        }
        xml.writeEndElement();                            // table-row
        if (row + 1 == headerRows) xml.writeEndElement(); // table-header-rows
    }
    xml.writeEndElement(); // table
}

// The paragraphs and tables of a frame, in order.
void writeFrame(QXmlStreamWriter& xml, const QTextDocument& document, const QTextFrame* frame,
                QList<Picture>& pictures, int& tables) {
    if (const auto* table = qobject_cast<const QTextTable*>(frame)) {
        writeTable(xml, document, table, pictures, tables);
        return;
    }
    for (auto it = frame->begin(); !it.atEnd(); ++it) {
        if (const QTextFrame* inner = it.currentFrame())
            writeFrame(xml, document, inner, pictures, tables);
        else
            writeBlock(xml, document, it.currentBlock(), pictures);
    }
}

QByteArray contentXml(const QTextDocument& document, QList<Picture>& pictures) {
    QByteArray bytes;
    QXmlStreamWriter xml(&bytes);
    // No indentation: white space between the parts of a paragraph would be read as text.
    xml.setAutoFormatting(false);
    xml.writeStartDocument();
    declareNamespaces(xml);
    xml.writeStartElement(kOffice, QStringLiteral("document-content"));
    xml.writeAttribute(kOffice, QStringLiteral("version"), QStringLiteral("1.2"));

    xml.writeStartElement(kOffice, QStringLiteral("automatic-styles"));
    xml.writeStartElement(kStyle, QStringLiteral("style"));
    xml.writeAttribute(kStyle, QStringLiteral("name"), kBoldStyle);
    xml.writeAttribute(kStyle, QStringLiteral("family"), QStringLiteral("text"));
    xml.writeEmptyElement(kStyle, QStringLiteral("text-properties"));
    xml.writeAttribute(kFo, QStringLiteral("font-weight"), QStringLiteral("bold"));
    xml.writeAttribute(kStyle, QStringLiteral("font-weight-asian"), QStringLiteral("bold"));
    xml.writeAttribute(kStyle, QStringLiteral("font-weight-complex"), QStringLiteral("bold"));
    xml.writeEndElement(); // style
    // A table spans the text's width; its cells are ruled. A document without one is
    // written without their styles.
    const QList<QTextFrame*> frames = document.rootFrame()->childFrames();
    const bool tabled = std::any_of(frames.begin(), frames.end(), [](QTextFrame* frame) {
        return qobject_cast<QTextTable*>(frame) != nullptr;
    });
    if (tabled) {
        xml.writeStartElement(kStyle, QStringLiteral("style"));
        xml.writeAttribute(kStyle, QStringLiteral("name"), kTableStyle);
        xml.writeAttribute(kStyle, QStringLiteral("family"), QStringLiteral("table"));
        xml.writeEmptyElement(kStyle, QStringLiteral("table-properties"));
        xml.writeAttribute(kTable, QStringLiteral("align"), QStringLiteral("margins"));
        xml.writeEndElement(); // style
        xml.writeStartElement(kStyle, QStringLiteral("style"));
        xml.writeAttribute(kStyle, QStringLiteral("name"), kCellStyle);
        xml.writeAttribute(kStyle, QStringLiteral("family"), QStringLiteral("table-cell"));
        xml.writeEmptyElement(kStyle, QStringLiteral("table-cell-properties"));
        xml.writeAttribute(kFo, QStringLiteral("border"), QStringLiteral("0.5pt solid #808080"));
        xml.writeAttribute(kFo, QStringLiteral("padding"), QStringLiteral("0.05cm"));
        xml.writeEndElement(); // style
    }
    xml.writeEndElement(); // automatic-styles

    xml.writeStartElement(kOffice, QStringLiteral("body"));
    xml.writeStartElement(kOffice, QStringLiteral("text"));
    int tables = 0;
    writeFrame(xml, document, document.rootFrame(), pictures, tables);
    xml.writeEndElement(); // text
    xml.writeEndElement(); // body
    xml.writeEndElement(); // document-content
    xml.writeEndDocument();
    return bytes;
}

} // namespace

quint32 zipCrc32(const QByteArray& data) {
    static const std::array<quint32, 256> table = [] {
        std::array<quint32, 256> t{};
        for (quint32 n = 0; n < 256; ++n) {
            quint32 c = n;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    quint32 crc = 0xFFFFFFFFu;
    for (const char byte : data)
        crc = table[(crc ^ quint8(byte)) & 0xff] ^ (crc >> 8);
    return crc ^ 0xFFFFFFFFu;
}

void StoredZip::add(const QString& name, const QByteArray& data) {
    const auto [time, date] = dosTimeAndDate();
    Entry e;
    e.name = name.toUtf8();
    e.crc = zipCrc32(data);
    e.size = quint32(data.size());
    e.offset = quint32(m_bytes.size());
    putLe(m_bytes, 0x04034b50, 4); // local file header
    putLe(m_bytes, 10, 2);         // version needed: stored files
    putLe(m_bytes, 0, 2);          // flags
    putLe(m_bytes, 0, 2);          // method: stored
    putLe(m_bytes, time, 2);
    putLe(m_bytes, date, 2);
    putLe(m_bytes, e.crc, 4);
    putLe(m_bytes, e.size, 4);
    putLe(m_bytes, e.size, 4);
    putLe(m_bytes, quint32(e.name.size()), 2);
    putLe(m_bytes, 0, 2); // no extra field
    m_bytes += e.name;
    m_bytes += data;
    m_entries.push_back(e);
}

QByteArray StoredZip::finish() {
    const auto [time, date] = dosTimeAndDate();
    const quint32 start = quint32(m_bytes.size());
    for (const Entry& e : m_entries) {
        putLe(m_bytes, 0x02014b50, 4); // central directory header
        putLe(m_bytes, 20, 2);         // made by
        putLe(m_bytes, 10, 2);         // needed
        putLe(m_bytes, 0, 2);          // flags
        putLe(m_bytes, 0, 2);          // stored
        putLe(m_bytes, time, 2);
        putLe(m_bytes, date, 2);
        putLe(m_bytes, e.crc, 4);
        putLe(m_bytes, e.size, 4);
        putLe(m_bytes, e.size, 4);
        putLe(m_bytes, quint32(e.name.size()), 2);
        putLe(m_bytes, 0, 2); // extra
        putLe(m_bytes, 0, 2); // comment
        putLe(m_bytes, 0, 2); // disk
        putLe(m_bytes, 0, 2); // internal attributes
        putLe(m_bytes, 0, 4); // external attributes
        putLe(m_bytes, e.offset, 4);
        m_bytes += e.name;
    }
    const quint32 size = quint32(m_bytes.size()) - start;
    putLe(m_bytes, 0x06054b50, 4); // end of central directory
    putLe(m_bytes, 0, 2);
    putLe(m_bytes, 0, 2);
    putLe(m_bytes, quint32(m_entries.size()), 2);
    putLe(m_bytes, quint32(m_entries.size()), 2);
    putLe(m_bytes, size, 4);
    putLe(m_bytes, start, 4);
    putLe(m_bytes, 0, 2); // comment
    return m_bytes;
}

void odf::declareNamespaces(QXmlStreamWriter& xml) {
    xml.writeNamespace(kOffice, QStringLiteral("office"));
    xml.writeNamespace(kStyle, QStringLiteral("style"));
    xml.writeNamespace(kText, QStringLiteral("text"));
    xml.writeNamespace(kTable, QStringLiteral("table"));
    xml.writeNamespace(kDraw, QStringLiteral("draw"));
    xml.writeNamespace(kFo, QStringLiteral("fo"));
    xml.writeNamespace(kSvg, QStringLiteral("svg"));
    xml.writeNamespace(kXlink, QStringLiteral("xlink"));
}

QByteArray odtManifest(const QStringList& files) {
    QByteArray bytes;
    QXmlStreamWriter xml(&bytes);
    xml.setAutoFormatting(true);
    xml.writeStartDocument();
    xml.writeNamespace(kManifest, QStringLiteral("manifest"));
    xml.writeStartElement(kManifest, QStringLiteral("manifest"));
    xml.writeAttribute(kManifest, QStringLiteral("version"), QStringLiteral("1.2"));
    auto entry = [&](const QString& path, const QString& type) {
        xml.writeEmptyElement(kManifest, QStringLiteral("file-entry"));
        xml.writeAttribute(kManifest, QStringLiteral("full-path"), path);
        if (path == u"/") xml.writeAttribute(kManifest, QStringLiteral("version"), "1.2");
        xml.writeAttribute(kManifest, QStringLiteral("media-type"), type);
    };
    entry(QStringLiteral("/"), QStringLiteral("application/vnd.oasis.opendocument.text"));
    for (const QString& file : files)
        entry(file, file.endsWith(QLatin1String(".png")) ? QStringLiteral("image/png")
                                                         : QStringLiteral("text/xml"));
    xml.writeEndElement();
    xml.writeEndDocument();
    return bytes;
}

Result<QByteArray> writeOdt(const QTextDocument& document) {
    QList<Picture> pictures;
    const QByteArray content = contentXml(document, pictures);
    StoredZip zip;
    // "mimetype" first and stored, so that the type can be read at a fixed place.
    zip.add(QStringLiteral("mimetype"),
            QByteArrayLiteral("application/vnd.oasis.opendocument.text"));
    zip.add(QStringLiteral("content.xml"), content);
    for (const Picture& p : pictures)
        zip.add(p.path, p.bytes);
    QStringList files{QStringLiteral("content.xml")};
    for (const Picture& p : pictures)
        files << p.path;
    zip.add(QStringLiteral("META-INF/manifest.xml"), odtManifest(files));
    return zip.finish();
}

} // namespace rv
