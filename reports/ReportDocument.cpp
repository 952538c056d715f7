#include "reports/ReportDocument.h"
#include "reports/ChangesSheet.h"
#include "reports/OdtWriter.h"
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTextImageFormat>
#include <QTextTable>
#include <QUrl>

namespace rv {

namespace {
constexpr long long kFileAlreadyExists = 58;
} // namespace

ReportDocument::ReportDocument() : m_doc(std::make_unique<QTextDocument>()) {
    m_cursor = QTextCursor(m_doc.get());
}

void ReportDocument::setBold(bool on) {
    QTextCharFormat format = m_cursor.charFormat();
    format.setFontWeight(on ? QFont::Bold : QFont::Normal);
    m_cursor.setCharFormat(format);
}

void ReportDocument::typeText(const QString& text) {
    m_cursor.insertText(text);
}

void ReportDocument::typeParagraph() {
    m_cursor.insertBlock();
}

void ReportDocument::insertPicture(const QImage& picture) {
    const QString name = QStringLiteral("Picture%1.png").arg(++m_pictures);
    m_doc->addResource(QTextDocument::ImageResource, QUrl(name), picture);
    double width = picture.width();
    double height = picture.height();
    if (width > kReportPictureMaxWidth) {
        height = height * kReportPictureMaxWidth / width;
        width = kReportPictureMaxWidth;
    }
    QTextImageFormat format;
    format.setName(name);
    format.setWidth(width);
    format.setHeight(height);
    m_cursor.insertImage(format);
}

void ReportDocument::insertTable(const QStringList& header, const std::vector<QStringList>& rows) {
    if (header.isEmpty()) return;
    const QTextCharFormat typing = m_cursor.charFormat();
    // The table takes the place of the empty paragraph it is put in, as in a word
    // processor: it follows the paragraph before directly.
    if (m_cursor.block().length() == 1 && m_cursor.block().previous().isValid())
        m_cursor.deletePreviousChar();
    QTextTableFormat format;
    format.setHeaderRowCount(1);
    format.setBorderCollapse(true);
    format.setCellPadding(2);
    format.setWidth(QTextLength(QTextLength::PercentageLength, 100));
    QTextTable* table = m_cursor.insertTable(int(rows.size()) + 1, int(header.size()), format);
    QTextCharFormat bold;
    bold.setFontWeight(QFont::Bold);
    QTextCharFormat plain;
    plain.setFontWeight(QFont::Normal);
    for (int col = 0; col < header.size(); ++col)
        table->cellAt(0, col).firstCursorPosition().insertText(header[col], bold);
    for (std::size_t r = 0; r < rows.size(); ++r)
        for (int col = 0; col < header.size(); ++col)
            table->cellAt(int(r) + 1, col)
                .firstCursorPosition()
                .insertText(rows[r].value(col), plain);
    // On after the table, in the paragraph that follows it.
    m_cursor = table->lastCursorPosition();
    m_cursor.movePosition(QTextCursor::NextBlock);
    m_cursor.setCharFormat(typing);
}

Result<QByteArray> ReportDocument::odt() const {
    return writeOdt(*m_doc);
}

void writeCoverSection(ReportDocument& doc, const SensorInformation& sensor, const QString& date) {
    doc.setBold(true);
    doc.typeParagraph();
    doc.typeText(QStringLiteral("REPORT ") + sensor.instrumentId);
    doc.typeParagraph();
    doc.setBold(false);
    doc.typeParagraph();
    const std::pair<const char*, const QString*> lines[] = {
        {"Date", &date},
        {"Sensor Number", &sensor.instrumentId},
        {"Sensor Type", &sensor.family},
        {"Date Installed", &sensor.installDate},
        {"Installed By", &sensor.installBy},
        {"Level", &sensor.level},
        {"Location", &sensor.location},
        {"Purpose", &sensor.purpose},
        {"Notes", &sensor.notes},
    };
    for (const auto& [label, value] : lines) {
        doc.typeText(QStringLiteral("   ") + QLatin1String(label) + QStringLiteral(": ") + *value);
        doc.typeParagraph();
    }
    doc.typeParagraph();
    doc.typeParagraph();
}

void writePlotSection(ReportDocument& doc, const QImage* picture) {
    doc.typeParagraph();
    doc.typeText(QStringLiteral("Load v Time"));
    doc.typeParagraph();
    if (picture) doc.insertPicture(*picture);
    doc.typeText(QStringLiteral("   Notes:"));
    doc.typeParagraph();
}

void writeChangesSection(ReportDocument& doc, const std::vector<ChangeEntry>& entries, bool kept) {
    doc.typeParagraph();
    doc.setBold(true);
    doc.typeText(QStringLiteral("Changes to readings"));
    doc.typeParagraph();
    doc.setBold(false);
    if (!kept || entries.empty()) {
        doc.typeText(kept ? QStringLiteral("No changes to this sensor's readings are recorded.")
                          : QStringLiteral("This database keeps no record of changes."));
        doc.typeParagraph();
        return;
    }
    std::vector<QStringList> rows;
    rows.reserve(entries.size());
    for (const ChangeEntry& entry : entries)
        rows.push_back(changeRowTexts(entry));
    doc.insertTable(changeColumnTitles(), rows);
}

Result<QString> saveNewDocument(const QByteArray& bytes, const QString& folder,
                                const QString& baseName) {
    const QDir dir(folder);
    for (int n = 1; n < 1000; ++n) {
        const QString name = n == 1 ? baseName + QStringLiteral(".odt")
                                    : QStringLiteral("%1 (%2).odt").arg(baseName).arg(n);
        const QString path = dir.filePath(name);
        if (QFileInfo::exists(path)) continue;
        QFile file(path);
        // NewOnly: a file that appeared meanwhile is never written over.
        if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
            if (QFileInfo::exists(path)) continue;
            return Error{err::FileError, QStringLiteral("Could not create ") +
                                             QDir::toNativeSeparators(path) + QStringLiteral(": ") +
                                             file.errorString()};
        }
        const bool written = file.write(bytes) == bytes.size() && file.flush();
        const QString problem = file.errorString();
        file.close();
        if (!written || file.error() != QFileDevice::NoError) {
            file.remove();
            return Error{err::FileError, QStringLiteral("Could not write ") +
                                             QDir::toNativeSeparators(path) + QStringLiteral(": ") +
                                             problem};
        }
        return path;
    }
    return Error{kFileAlreadyExists, QStringLiteral("Too many reports named ") + baseName +
                                         QStringLiteral(" in ") + QDir::toNativeSeparators(folder)};
}

} // namespace rv
