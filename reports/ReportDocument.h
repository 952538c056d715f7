#pragma once
// The sensor report as a document: texts, paragraph breaks, bold on and off, a picture and
// a table, each put at the insertion point in turn as a word processor receives them, and
// the document written as an OpenDocument text file (.odt).
#include "platform/Status.h"
#include "store/ChangeHistory.h"
#include <QByteArray>
#include <QImage>
#include <QString>
#include <QStringList>
#include <QTextCursor>
#include <QTextDocument>
#include <memory>
#include <vector>

namespace rv {

// The widest a picture is shown, in the document's pixels (96 to the inch): the text width
// of a page with narrow margins, 16 cm. A wider picture is shown scaled down to it.
constexpr double kReportPictureMaxWidth = 16.0 / 2.54 * 96.0;

class ReportDocument {
public:
    ReportDocument();
    ReportDocument(const ReportDocument&) = delete;
    ReportDocument& operator=(const ReportDocument&) = delete;

    void setBold(bool on);
    void typeText(const QString& text);
    void typeParagraph();
    // The picture is shown at its size (both width and height given), scaled down to
    // kReportPictureMaxWidth when wider.
    void insertPicture(const QImage& picture);
    // A table of the rows under a header row written in bold, each cell's text as given;
    // the insertion point goes to the paragraph after it.
    void insertTable(const QStringList& header, const std::vector<QStringList>& rows);

    const QTextDocument& document() const { return *m_doc; }
    // The document as an OpenDocument text file.
    Result<QByteArray> odt() const;

private:
    std::unique_ptr<QTextDocument> m_doc;
    QTextCursor m_cursor;
    int m_pictures = 0;
};

// The current sensor's fields as the report writes them (a Null field is empty).
struct SensorInformation {
    QString instrumentId;
    QString family;
    QString installDate; // in the short date form
    QString installBy;
    QString level;
    QString location;
    QString purpose;
    QString notes;
};

// The cover section: the bold "REPORT " title, the date and the eight labelled lines,
// each label with three leading blanks, then two empty paragraphs.
void writeCoverSection(ReportDocument& doc, const SensorInformation& sensor, const QString& date);
// The plot section: "Load v Time", the picture (none when there is no picture to show)
// and "   Notes:".
void writePlotSection(ReportDocument& doc, const QImage* picture);

// The changes section: an empty paragraph, the bold heading "Changes to readings", then the
// entries in a table (When, Who, How, Kind, Reading, Before, After) in the order given, or
// when there are none the sentence "No changes to this sensor's readings are recorded."
// (`kept` false: the database keeps no history, "This database keeps no record of
// changes.").
void writeChangesSection(ReportDocument& doc, const std::vector<ChangeEntry>& entries,
                         bool kept = true);

// Writes bytes to a new file in folder named baseName + ".odt", or baseName + " (2).odt"
// and so on when that name is taken: an earlier report, perhaps still open in the word
// processor, is never overwritten. Answers the path written; a failure leaves no file.
Result<QString> saveNewDocument(const QByteArray& bytes, const QString& folder,
                                const QString& baseName);

} // namespace rv
