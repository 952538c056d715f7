// The Readings tab's "Delete/Batch" button: frmBatchDel records the user's choice, and
// once it has closed the tab deletes the reading shown, the readings of a range of days,
// or every reading of the sensor, then shows the newest reading left.
#include "core/DateText.h"
#include "core/Values.h"
#include "readings/ReadingRules.h"
#include "readings/ReadingsTab.h"
#include "readings/ReadingsWork.h"
#include "readings/frmBatchDel.h"
#include "store/Module1.h"
#include "store/ReadingsTable.h"
#include "store/Session.h"

namespace rv {

namespace {
const QString kDeleteReading = QStringLiteral(" imgDeleteReading_Click");

// The day a reading is dated by for a batch deletion: its ReadingDate, or else its
// FullDate, or else the date in its key; none when none can be read (the reading is kept).
std::optional<QDate> dayOfReading(const QVariant& readingDate, const QVariant& fullDate,
                                  const QVariant& dateTimeKey) {
    if (const auto d = storedDate(readingDate)) return d;
    if (const auto d = storedDate(fullDate)) return d;
    return keyDate(displayText(dateTimeKey));
}
} // namespace

frmBatchDel* ReadingsTab::batchDeleteWindow() const {
    return m_batchDel;
}

void ReadingsTab::imgDeleteReading_Click() {
    if (!m_s || m_batchDel) return;
    Session& s = *m_s;
    logged(s, kDeleteReading, [&] {
        auto* form = new frmBatchDel(s, window());
        form->setAttribute(Qt::WA_DeleteOnClose);
        // Closing the window in any way (a button, its frame, Escape) ends here.
        connect(form, &QDialog::finished, this, &ReadingsTab::DeleteChosenReadings);
        // The calendars open on today; the line above them says where the readings lie.
        form->Form_Load(readingDaysText(firstAndLastDays(s.rsReadings)));
        m_batchDel = form;
        form->setWindowModality(Qt::ApplicationModal);
        form->show();
    });
}

void ReadingsTab::showNewestReading() {
    Session& s = *m_s;
    Recordset& rs = s.rsReadings;
    if (rs.recordCount() == 0) {
        fillreadings();
        txtRcount->setText(readingCounter(0, 0));
        // No reading is left to come back to.
        s.gReadingBookmark = 0;
        return;
    }
    need(rs.moveLast());
    fillreadings();
    txtRcount->setText(readingCounter(rs.absolutePosition(), rs.recordCount()));
    s.gReadingBookmark = need(rs.bookmark());
}

void ReadingsTab::DeleteChosenReadings() {
    if (!m_s) return;
    Session& s = *m_s;
    // The window has closed but is not yet gone: its choice is taken from it.
    const BatchDeletion chosen = m_batchDel ? m_batchDel->choice() : BatchDeletion{};
    logged(s, kDeleteReading, [&] {
        Recordset& rs = s.rsReadings;
        if (chosen.gDelSingle) {
            // Only the reading the tab shows is ever deleted.
            if (rs.recordCount() > 0 && !showsCurrentRow())
                throw Abort{Error{err::NoCurrentRow,
                                  QStringLiteral("The reading shown is not the current reading; "
                                                 "nothing was deleted.")}};
            if (Status removed = rs.remove(); byAnotherEngineer(removed.error().number)) {
                fillreadings(); // what another engineer stored meanwhile, kept
                throw Abort{removed.error()};
            } else {
                need(removed);
            }
            m_shown = 0; // the snapshot is rebuilt: the old bookmarks name other rows
            need(rs.requery());
            showNewestReading();
        }
        if (chosen.gDelBatch) {
            // The reading shown is written back first, as moving away from it does: it may
            // well be kept.
            commitPickers();
            if (!SaveReadings()) return;
            need(rs.moveFirst()); // a sensor without readings ends here: nothing to delete
            const Result<qint64> deleted = deleteReadingsOnDays(
                s.gConnection, rs.table(), chosen.gDelStart, chosen.gDelEnd, dayOfReading);
            // Nothing was deleted: the reading shown stays the current one.
            if (!deleted.ok()) returnToShown();
            const qint64 count = need(deleted);
            m_shown = 0;
            need(rs.requery());
            showNewestReading();
            s.dialogs.inform(QString::number(count) +
                             QStringLiteral(" readings were deleted from ") +
                             shortDateText(chosen.gDelStart) + QStringLiteral(" and ") +
                             shortDateText(chosen.gDelEnd));
        }
        if (chosen.gDelAll) {
            need(deleteAllReadings(s.gConnection, sensorId()));
            m_shown = 0;
            need(rs.requery());
            // No reading is left to come back to: the remembered one goes too.
            showNewestReading();
        }
    });
}

} // namespace rv
