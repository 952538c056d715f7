#include "reports/ReportDocument.h"
#include "reports/OdtWriter.h"
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTextImageFormat>
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
