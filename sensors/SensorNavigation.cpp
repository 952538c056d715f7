// Moving between sensors: the Previous and Next buttons, a pick in the sensor box, and
// typing into it (completion, Enter, the length limit).
#include "platform/Dialogs.h"
#include "sensors/SensorRecord.h"
#include "sensors/SensorRegistry.h"
#include "sensors/SensorTabs.h"
#include "store/Session.h"
#include <QKeyEvent>

namespace rv {

namespace {
const QString kClick = QStringLiteral(" cboSensors_Click");
const QString kKeyDown = QStringLiteral(" cboSensors_Keydown");
const QString kKeyPress = QStringLiteral(" cboSensors_KeyPress");
const QString kNext = QStringLiteral(" imgNext_Click");
const QString kPrevious = QStringLiteral(" imgPrevious_Click");

// The entry the completion settles on: the first that begins with the text (letter case
// ignored), searched from the second entry to the last and then the first, tried last.
int completionIndex(const QComboBox& box, const QString& text) {
    const int count = box.count();
    for (int step = 1; step <= count; ++step) {
        const int i = step % count;
        if (box.itemText(i).startsWith(text, Qt::CaseInsensitive)) return i;
    }
    return -1;
}
} // namespace

void SensorRegistry::cboSensors_Click() {
    if (m_s.Firstload) return;
    const Announcing announcing(*this);
    logged(m_s, kClick, [&] {
        Recordset& rs = m_s.rsSensors;
        m_record.savefields();
        const QString chosen = m_id.cboSensors->currentText();
        // On a site server the chosen sensor may have been deleted by another engineer
        // since the list was filled: the list is read again, and the sensor shown stays.
        if (takeOthersSensors() && m_s.gConnection.onServer() && !sensorRegistered(chosen)) {
            tellDeletedByAnother(chosen);
            setSensorBoxText(m_s.currentSensor.id());
            return;
        }
        need(rs.moveFirst());
        need(rs.find(QStringLiteral("InstrumentID = '") + chosen + QStringLiteral("'")));
        if (rs.eof())
            m_s.dialogs.inform(QStringLiteral("Error: Could not find data on the chosen sensor"));
        showCurrent();
        m_host.setSensorCount(QString::number(rs.recordCount()));
    });
}

bool SensorRegistry::goToSensor(const QString& id) {
    bool found = false;
    const Announcing announcing(*this);
    logged(m_s, QStringLiteral(" G_GoToSensor"), [&] {
        Recordset& rs = m_s.rsSensors;
        if (!rs.isOpen() || rs.recordCount() == 0) return;
        m_record.savefields();
        (void)takeOthersSensors();
        if (rs.recordCount() == 0) return;
        const qint64 before = need(rs.bookmark());
        need(rs.moveFirst());
        need(rs.find(QStringLiteral("InstrumentID = '") + id + QStringLiteral("'")));
        found = !rs.eof();
        if (!found) {
            need(rs.setBookmark(before));
            m_s.dialogs.inform(QStringLiteral("Sensor ") + id +
                                   QStringLiteral(" is not in the sensor list: the sensor "
                                                  "filter hides it. Remove the filter to go to "
                                                  "it."),
                               kTitle, Icon::Information);
            return;
        }
        showCurrent();
        setSensorBoxText(id);
    });
    return found;
}

void SensorRegistry::imgNext_Click() {
    const Announcing announcing(*this);
    logged(m_s, kNext, [&] {
        Recordset& rs = m_s.rsSensors;
        if (rs.absolutePosition() == rs.recordCount()) {
            m_s.dialogs.inform(QStringLiteral("End of sensors"));
            return;
        }
        m_record.savefields();
        if (!takeOthersSensors() || rs.absolutePosition() == rs.recordCount()) return;
        need(rs.moveNext());
        showCurrent();
        setSensorBoxText(currentSensorId());
    });
}

void SensorRegistry::imgPrevious_Click() {
    const Announcing announcing(*this);
    logged(m_s, kPrevious, [&] {
        Recordset& rs = m_s.rsSensors;
        if (rs.absolutePosition() == 1) {
            m_s.dialogs.inform(QStringLiteral("Start of Sensors"));
            return;
        }
        m_record.savefields();
        if (!takeOthersSensors() || rs.absolutePosition() == 1) return;
        need(rs.movePrevious());
        showCurrent();
        setSensorBoxText(currentSensorId());
    });
}

void SensorRegistry::cboSensors_KeyDown(int key) {
    logged(m_s, kKeyDown, [&] {
        if (key == Qt::Key_Delete || key == Qt::Key_Backspace) {
            SkipAutoComplete = true;
        } else if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            gNewSensorID = m_id.cboSensors->currentText();
            G_AddTypedSensor();
        } else {
            SkipAutoComplete = false;
        }
    });
}

bool SensorRegistry::cboSensors_KeyPress(const QKeyEvent& key) {
    bool reaches = true;
    logged(m_s, kKeyPress, [&] {
        // Only keys that type a character count; moving the caret or Delete always works.
        if (key.text().isEmpty() || key.key() == Qt::Key_Backspace || key.key() == Qt::Key_Delete)
            return;
        if (m_id.cboSensors->currentText().size() > 9) reaches = false;
    });
    return reaches;
}

void SensorRegistry::sensorBoxKey(QKeyEvent* key) {
    const int code = key->key();
    cboSensors_KeyDown(code);
    // Enter belongs to the sensor box alone: the box's own handling of it would pick a
    // matching entry a second time.
    const bool enter = code == Qt::Key_Return || code == Qt::Key_Enter;
    // The box takes the key itself and passes typing on to its text line, whichever of
    // the two the key was sent to; the key goes no further, so it is never handled twice.
    if (!enter && cboSensors_KeyPress(*key)) m_sensorBox->event(key);
    key->accept();
    if (!SkipAutoComplete) completeSensorBox();
}

// The completion runs once the key has taken effect, on what the box then holds: what
// the user typed, the key included (a typed character replaces the remainder that the
// previous completion highlighted). The sensor found becomes the chosen entry, which
// moves to it; the caret stays where the user left it and the completed remainder after
// it is highlighted, so the next typed character replaces it.
void SensorRegistry::completeSensorBox() {
    logged(m_s, kKeyDown, [&] {
        QComboBox* box = m_id.cboSensors;
        QLineEdit* edit = box->lineEdit();
        const QString typed = box->currentText();
        // An empty box names no sensor: there is nothing to complete.
        if (!edit || typed.isEmpty()) return;
        const int found = completionIndex(*box, typed);
        // The caret is where the selection starts, if there is one: a selection the key
        // made (all of the text, say) comes back whole.
        const int caret = edit->hasSelectedText() ? edit->selectionStart() : edit->cursorPosition();
        if (found < 0) return;
        setSensorBoxText(box->itemText(found));
        cboSensors_Click();
        const int length = int(edit->text().size());
        const int at = qMin(caret, length);
        edit->setSelection(length, at - length);
    });
}

} // namespace rv
