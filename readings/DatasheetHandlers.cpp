// The Readings tab's "Datasheet" button: the shown reading is written back, the datasheet
// window shows every reading of the sensor, and once it has closed the tab shows the
// readings again.
#include "platform/QtProgress.h"
#include "readings/ReadingsTab.h"
#include "readings/frmDatasheet.h"
#include "store/Session.h"

namespace rv {

namespace {
const QString kDatasheet = QStringLiteral(" imgDatasheet_Click");
} // namespace

frmDatasheet* ReadingsTab::datasheetWindow() const {
    return m_datasheet;
}

Progress& ReadingsTab::progress() {
    if (m_progress) return *m_progress;
    if (!m_ownProgress) m_ownProgress = std::make_unique<QtProgress>(window());
    return *m_ownProgress;
}

void ReadingsTab::imgDatasheet_Click() {
    if (!m_s || m_datasheet) return;
    Session& s = *m_s;
    logged(s, kDatasheet, [&] {
        commitPickers();
        // A save refused for another engineer's change keeps the reading shown, with the
        // values typed: the datasheet would show the stored ones and drop them.
        if (!SaveReadings()) return;
        const QString id = sensorId();
        // The reading shown is the one the tab comes back to when the window closes.
        if (m_shown != 0 && showsCurrentRow()) rememberShown(m_shown);
        s.rsReadings.close();
        m_shown = 0;
        s.gSensorID = id;
        auto* form = new frmDatasheet(s, progress(), window());
        form->setAttribute(Qt::WA_DeleteOnClose);
        connect(form, &frmDatasheet::unloaded, this, &ReadingsTab::datasheetClosed);
        if (!form->Form_Load()) {
            // The window is not shown; the tab shows the readings again as they are.
            delete form;
            datasheetClosed();
            return;
        }
        m_datasheet = form;
        form->setWindowModality(Qt::ApplicationModal);
        form->show();
    });
}

void ReadingsTab::datasheetClosed() {
    if (!m_s) return;
    reopenReadings();
}

} // namespace rv
