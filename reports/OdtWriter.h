#pragma once
// The report's document written as an OpenDocument text file (.odt): its paragraphs with
// their text, bold runs, tabs and line breaks, its pictures (kept inside the file) and its
// tables (the header rows repeated on each page, every cell ruled).
// The text is written exactly as typed: no white space is added between the parts of a
// paragraph, so a picture followed by "   Notes:" reads with exactly those three blanks.
#include "platform/Status.h"
#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QXmlStreamWriter>

class QTextDocument;

namespace rv {

Result<QByteArray> writeOdt(const QTextDocument& document);

// A zip archive whose files are stored as they are (ODF's package: "mimetype" first).
class StoredZip {
public:
    void add(const QString& name, const QByteArray& data);
    QByteArray finish();

private:
    struct Entry {
        QByteArray name;
        quint32 crc = 0;
        quint32 size = 0;
        quint32 offset = 0;
    };
    QByteArray m_bytes;
    QList<Entry> m_entries;
};

// The package's manifest: the document itself and `files` (".png" pictures, the rest
// XML parts such as "content.xml").
QByteArray odtManifest(const QStringList& files);

// The namespaces of an OpenDocument text's parts.
namespace odf {
inline const QString kOffice = QStringLiteral("urn:oasis:names:tc:opendocument:xmlns:office:1.0");
inline const QString kStyle = QStringLiteral("urn:oasis:names:tc:opendocument:xmlns:style:1.0");
inline const QString kText = QStringLiteral("urn:oasis:names:tc:opendocument:xmlns:text:1.0");
inline const QString kTable = QStringLiteral("urn:oasis:names:tc:opendocument:xmlns:table:1.0");
inline const QString kDraw = QStringLiteral("urn:oasis:names:tc:opendocument:xmlns:drawing:1.0");
inline const QString kFo =
    QStringLiteral("urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0");
inline const QString kSvg =
    QStringLiteral("urn:oasis:names:tc:opendocument:xmlns:svg-compatible:1.0");
inline const QString kXlink = QStringLiteral("http://www.w3.org/1999/xlink");
inline const QString kManifest =
    QStringLiteral("urn:oasis:names:tc:opendocument:xmlns:manifest:1.0");
// Declares them all on the part's root element, which is written next.
void declareNamespaces(QXmlStreamWriter& xml);
} // namespace odf

// The CRC-32 of a zip entry (the polynomial 0xEDB88320).
quint32 zipCrc32(const QByteArray& data);

} // namespace rv
