#include "reports/SensorReport.h"
#include "core/DateText.h"
#include "core/Values.h"
#include "platform/Desktop.h"
#include "reports/ReportDocument.h"
#include "reports/frmReport.h"
#include "store/Session.h"
#include <QDir>
#include <QImageReader>

namespace rv {

namespace {
const QString kReportLabel = QStringLiteral(" imgReport_Click");
// Room a report needs: the document with its picture.
constexpr qint64 kReportRoom = 2 * 1024 * 1024;

QString field(const Session& s, const char* column) {
    return displayText(need(s.currentSensor.value(QLatin1String(column))));
}
} // namespace

SensorReport::SensorReport(Session& session, ReportHost& host, QWidget* window)
    : m_s(session), m_host(host), m_window(window), m_folder(QDir::tempPath()) {}

SensorReport::~SensorReport() {
    // Without an owner the window is the report's own.
    if (m_form && !m_form->parent()) delete m_form;
}

frmReport& SensorReport::reportWindow() {
    if (!m_form) m_form = new frmReport(m_window, &m_s);
    return *m_form;
}

void SensorReport::imgReport_Click() {
    Session& s = m_s;
    frmReport& form = reportWindow();
    form.exec();
    const ReportChoice choice = form.result();
    if (!choice.gReportOK) return;

    m_lastDocument.clear();
    // A kept folder that cannot take the report is told before anything is made.
    QString folder = m_folder;
    if (const KeptFolderChoice* kept = form.keptFolder; kept && !kept->kept().isEmpty()) {
        if (const QString why = kept->whyNotKept(QStringLiteral("The report"), kReportRoom);
            !why.isEmpty()) {
            s.dialogs.inform(why, kTitle, Icon::Exclamation);
            return;
        }
        folder = kept->kept();
    }
    logged(s, kReportLabel, [&] {
        ReportDocument doc;
        QString sensorId;
        if (s.currentSensor.exists()) sensorId = field(s, "InstrumentID");
        if (choice.gReportCover) {
            SensorInformation sensor;
            sensor.instrumentId = field(s, "InstrumentID");
            sensor.family = field(s, "Family");
            sensor.installDate = field(s, "InstallDate");
            sensor.installBy = field(s, "InstallBy");
            sensor.level = field(s, "Level");
            sensor.location = field(s, "Location");
            sensor.purpose = field(s, "Purpose");
            sensor.notes = field(s, "Notes");
            writeCoverSection(doc, sensor, shortDateText(s.clock.today()));
        }
        if (choice.gReportPlot) {
            m_host.selectTab(kLoadVsTimeTab);
            // The tab refuses a sensor with fewer than two plottable readings (the user has
            // just been told): no picture then, rather than the chart of another sensor.
            QImage picture;
            if (m_host.currentTab() == kLoadVsTimeTab) {
                const QString path = s.gDataFolder + QStringLiteral("/") + kPlotPictureName;
                if (m_host.exportLoadVsTime(path)) {
                    QImageReader reader(path);
                    picture = reader.read();
                }
                if (picture.isNull()) {
                    s.dialogs.inform(QStringLiteral("The Load v Time plot could not be saved "
                                                    "as a picture in ") +
                                         QDir::toNativeSeparators(path) + kCrLf +
                                         QStringLiteral("The report is written without it."),
                                     kTitle, Icon::Exclamation);
                    s.logFailure(
                        Error{err::FileError, QStringLiteral("The Load v Time plot could not be "
                                                             "exported to ") +
                                                  QDir::toNativeSeparators(path)},
                        kReportLabel);
                }
            }
            writePlotSection(doc, picture.isNull() ? nullptr : &picture);
        }
        if (choice.gReportChanges) {
            // Newest first, as the Changes window lists them. A database that keeps no
            // history says so in the section rather than claiming none were made.
            const bool kept = hasChangeTables(s.gConnection);
            std::vector<ChangeEntry> entries;
            if (kept && !sensorId.isEmpty()) {
                ChangeFilter filter;
                filter.instrumentId = sensorId;
                Result<std::vector<ChangeEntry>> listed = listChanges(s.gConnection, filter);
                if (!listed.ok()) {
                    s.dialogs.inform(QStringLiteral("The sensor's changes could not be read:") +
                                         kCrLf + listed.error().description + kCrLf +
                                         QStringLiteral("No report was written."),
                                     kTitle, Icon::Exclamation);
                    need(Status(listed.error()));
                }
                entries = std::move(listed).value();
            }
            writeChangesSection(doc, entries, kept);
        }

        const QString baseName =
            sensorId.isEmpty() ? QStringLiteral("Report") : QStringLiteral("Report ") + sensorId;
        const Result<QString> saved = [&]() -> Result<QString> {
            const Result<QByteArray> bytes = doc.odt();
            if (!bytes.ok()) return bytes.error();
            return saveNewDocument(bytes.value(), folder, baseName);
        }();
        if (!saved.ok()) {
            s.dialogs.inform(QStringLiteral("The report could not be written:") + kCrLf +
                                 saved.error().description,
                             kTitle, Icon::Exclamation);
            need(Status(saved.error()));
        }
        m_lastDocument = saved.value();
        if (!s.desktop.openFile(m_lastDocument)) {
            s.dialogs.inform(QStringLiteral("The report was written to ") +
                                 QDir::toNativeSeparators(m_lastDocument) + kCrLf +
                                 QStringLiteral("but no word processor could be started to "
                                                "open it."),
                             kTitle, Icon::Exclamation);
            need(Status::fail(err::FileError, QStringLiteral("No program could open ") +
                                                  QDir::toNativeSeparators(m_lastDocument)));
        }
    });
    // The Readings tab, where the report was asked for, is shown again.
    if (m_host.currentTab() != kReadingsTab) m_host.selectTab(kReadingsTab);
}

} // namespace rv
