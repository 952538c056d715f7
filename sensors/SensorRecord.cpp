#include "sensors/SensorRecord.h"
#include "core/DateText.h"
#include "core/NumberText.h"
#include "core/Values.h"
#include "sensors/SensorTabs.h"
#include "store/Session.h"
#include <QKeyEvent>
#include <utility>

namespace rv {

namespace {
const QString kSavefields = QStringLiteral(" G_savefields");
const QString kConfigureForm = QStringLiteral(" Module1_ConfigureForm");
const QString kEndsMessage =
    QStringLiteral("Either you are at the first record or the last record.");

// A column of the current sensor as display text ("" for Null).
QString text(Session& s, const char* column) {
    return displayText(need(s.currentSensor.value(QString::fromLatin1(column))));
}
} // namespace

SensorRecord::SensorRecord(Session& session, IdentificationTab& identification,
                           InstallationTab& installation, SensorRecordHost& host)
    : m_s(session), m_id(identification), m_inst(installation), m_host(host),
      m_destroyedBox(identification.cboDestroyed) {
    connect(m_inst.cmdSave, &QPushButton::clicked, this, &SensorRecord::cmdSave_Click);
    connect(m_id.cboDestroyed, &QComboBox::activated, this, [this](int) { cboDestroyed_Click(); });
    m_id.cboDestroyed->installEventFilter(this);
}

bool SensorRecord::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_destroyedBox && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        // Keys that type a character go to the destroyed status, never into the box;
        // Tab and keys without a character (arrows, F-keys) keep their usual meaning.
        if (key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab || key->text().isEmpty())
            return false;
        cboDestroyed_KeyPress(key->text().front());
        return true;
    }
    return QObject::eventFilter(watched, event);
}

void SensorRecord::clearBoxes() {
    for (QLineEdit* e :
         {m_id.txtSensor, m_id.txtDateID, m_id.txtTypeID, m_id.txtSensorNo, m_id.txtFamily,
          m_inst.txtSensor2, m_inst.txtLevel, m_inst.txtLocation, m_inst.txtBorehole,
          m_inst.txtInstallDate, m_inst.txtInstallBy, m_inst.txtPurpose, m_inst.txtOffset})
        e->clear();
    m_inst.txtNotes->clear();
    for (QLineEdit* e : {m_inst.txtAlertLoad, m_inst.txtAlarmLoad, m_inst.txtRateLimit})
        e->clear();
    m_levelsShown.clear();
}

void SensorRecord::setDestroyedText(const QString& value) {
    QComboBox* box = m_id.cboDestroyed;
    // An earlier sensor's own status leaves the list, which offers No and Yes.
    for (int i = box->count() - 1; i >= 0; --i)
        if (box->itemData(i).toBool()) box->removeItem(i);
    int index = box->findText(value);
    // A status stored outside the list is shown as stored, as an entry of its own (so that
    // a save keeps it) until another is chosen; none shows an empty box rather than the
    // previous sensor's.
    if (index < 0 && !value.isEmpty()) {
        box->addItem(value, true);
        index = box->count() - 1;
    }
    box->setCurrentIndex(index);
}

void SensorRecord::fillfields() {
    const CurrentSensor& sensor = m_s.currentSensor;
    if (sensor.count() == 0) {
        clearBoxes();
        m_host.setSensorCount(QStringLiteral("0"));
        m_id.txtSnav->setText(QStringLiteral("No records"));
        return;
    }
    if (!sensor.exists()) {
        m_s.dialogs.inform(kEndsMessage, QStringLiteral("Cannot Fill Fields"), Icon::Exclamation);
        return;
    }
    // Each step that fails is skipped; the next one still runs.
    skip([&] { m_id.txtSensor->setText(text(m_s, "InstrumentID")); });
    skip([&] { m_id.txtDateID->setText(text(m_s, "DateID")); });
    skip([&] { m_id.txtTypeID->setText(text(m_s, "TypeID")); });
    skip([&] { m_id.txtSensorNo->setText(text(m_s, "SensorNo")); });
    skip([&] { m_id.txtFamily->setText(text(m_s, "Family")); });
    skip([&] { m_host.setSensorCount(QString::number(sensor.count())); });
    skip([&] {
        m_id.txtSnav->setText(QString::number(sensor.position()) + QStringLiteral(" of ") +
                              QString::number(sensor.count()));
    });
    skip([&] { m_inst.txtSensor2->setText(text(m_s, "InstrumentID")); });
    skip([&] { m_inst.txtLevel->setText(text(m_s, "Level")); });
    skip([&] { m_inst.txtLocation->setText(text(m_s, "Location")); });
    skip([&] { m_inst.txtBorehole->setText(text(m_s, "Borehole")); });
    skip([&] {
        m_inst.txtInstallDate->setText(formatDateValue(
            need(sensor.value(QStringLiteral("InstallDate"))), QStringLiteral("yyyy/MM/dd")));
    });
    skip([&] { m_inst.txtInstallBy->setText(text(m_s, "InstallBy")); });
    skip([&] { m_inst.txtPurpose->setText(text(m_s, "Purpose")); });
    skip([&] { m_inst.txtNotes->setPlainText(text(m_s, "Notes")); });
    skip([&] {
        m_inst.txtOffset->setText(
            formatNumberValue(need(sensor.value(QStringLiteral("Recess"))), 2));
    });

    skip([&] {
        Recordset& config = m_s.rsConfig;
        need(config.moveFirst());
        need(config.find(QStringLiteral("SensorType = '") + text(m_s, "SensorType") +
                         QStringLiteral("'")));
        if (config.eof())
            m_s.dialogs.inform(
                QStringLiteral("There was an error accessing the Sensors COnfiguration Table"));
    });

    QString destroyed;
    skip([&] {
        destroyed = text(m_s, "Destroyed");
        setDestroyedText(destroyed);
    });
    m_destroyedShown = destroyed;
    skip([&] {
        if (destroyed == QLatin1String("Yes")) {
            m_id.imgheart->takePictureOf(*m_id.imgdead);
            m_id.txtDestructionDate->setText(text(m_s, "DestructionDate"));
        } else {
            m_id.imgheart->takePictureOf(*m_id.imgalive);
            m_id.txtDestructionDate->clear();
        }
    });
    fillLevels();
    ConfigureForm();
    m_host.enableSensorTabs();
}

void SensorRecord::ConfigureForm() {
    logged(m_s, kConfigureForm, [&] {
        m_host.hideReadingError();
        const QVariant notes = need(m_s.rsConfig.value(QStringLiteral("lblNotes")));
        m_inst.lblNotes->setText(displayText(notes));
        m_host.enableReadingChannels();
    });
}

void SensorRecord::savefields() {
    Recordset& rs = m_s.rsSensors;
    if (!rs.isOpen() || rs.recordCount() == 0) return;
    if (rs.bof() || rs.eof()) {
        m_s.dialogs.inform(kEndsMessage, QStringLiteral("Cannot Save Fields"), Icon::Exclamation);
        return;
    }
    std::optional<Error> refusal;
    bool gone = false;
    const bool saved = logged(m_s, kSavefields, [&] {
        auto put = [&](const char* column, const QString& value) {
            need(rs.setValue(QString::fromLatin1(column), value));
        };
        put("DateID", m_id.txtDateID->text().trimmed());
        put("TypeID", m_id.txtTypeID->text().trimmed());
        put("SensorNo", m_id.txtSensorNo->text().trimmed());
        put("Family", m_id.txtFamily->text().trimmed());
        put("Level", m_inst.txtLevel->text().trimmed());
        put("Location", m_inst.txtLocation->text().trimmed());
        put("Borehole", m_inst.txtBorehole->text().trimmed());
        put("InstallDate", m_inst.txtInstallDate->text().trimmed());
        put("InstallBy", m_inst.txtInstallBy->text().trimmed());
        put("Purpose", m_inst.txtPurpose->text().trimmed());
        put("Notes", m_inst.txtNotes->toPlainText().trimmed());
        put("Recess", formatPattern(m_inst.txtOffset->text().trimmed(), 2));
        // An empty box (no status stored) leaves the stored one as it is.
        if (m_id.cboDestroyed->currentIndex() >= 0)
            put("Destroyed", m_id.cboDestroyed->currentText());
        if (!m_id.txtDestructionDate->text().isEmpty())
            put("DestructionDate", m_id.txtDestructionDate->text());
        const Status written = rs.update();
        if (!byAnotherEngineer(written.error().number)) return need(written);
        // Another engineer on the site server changed or deleted the sensor since it was
        // shown. A sensor changed keeps the values typed in the boxes, and now holds the
        // stored ones, so that saving again stores the typed ones on purpose.
        refusal = written.error();
        gone = rs.absolutePosition() == Recordset::PosUnknown;
        throw Abort{Error{refusal->number,
                          refusal->description +
                              (gone ? QString()
                                    : kCrLf + QStringLiteral("Your values are still in the "
                                                             "boxes: Save Updates stores them "
                                                             "over the values stored now."))}};
    });
    if (!saved) rs.cancelUpdate(); // the row stays exactly as stored
    if (gone) return m_host.takeOthersSensors();
    if (refusal) return;
    saveLevels();
    if (saved) m_s.currentSensor.announceSaved();
}

void SensorRecord::cmdSave_Click() {
    savefields();
}

void SensorRecord::cboDestroyed_Click() {
    const QString value = m_id.cboDestroyed->currentText();
    // Only a change to Yes dates the destruction: choosing Yes again for a sensor shown as
    // destroyed keeps its date.
    const QString before = std::exchange(m_destroyedShown, value);
    // A status of its own the sensor was shown with leaves the list once No or Yes is chosen.
    if (value == QLatin1String("Yes") || value == QLatin1String("No")) setDestroyedText(value);
    if (value == QLatin1String("Yes")) {
        if (before != value) m_id.txtDestructionDate->setText(shortDateText(m_s.clock.today()));
        savefields();
        m_id.txtDestructionDate->setFocus();
        m_id.imgheart->takePictureOf(*m_id.imgdead);
    } else if (value == QLatin1String("No")) {
        m_id.txtDestructionDate->clear();
        savefields();
        m_id.txtDestructionDate->setFocus();
        m_id.imgheart->takePictureOf(*m_id.imgalive);
    }
    savefields();
}

void SensorRecord::cboDestroyed_KeyPress(QChar key) {
    if (key == QLatin1Char('Y') || key == QLatin1Char('y')) {
        setDestroyedText(QStringLiteral("Yes"));
        cboDestroyed_Click();
    } else if (key == QLatin1Char('N') || key == QLatin1Char('n')) {
        setDestroyedText(QStringLiteral("No"));
        cboDestroyed_Click();
    }
    savefields();
}

} // namespace rv
