// The sensor filter on the "6. Utilities" tab: applying and removing it, and the checks
// of the two date boxes when they lose the focus.
#include "core/DateText.h"
#include "platform/Dialogs.h"
#include "sensors/FilterGroup.h"
#include "sensors/SensorFilter.h"
#include "sensors/SensorRegistry.h"
#include "store/Session.h"

namespace rv {

namespace {
const QString kFilterClick = QStringLiteral(" imgFilter_Click");
const QString kAddFilter = QStringLiteral(" G_AddFilter");
const QString kRemoveFilter = QStringLiteral(" G_RemoveFilter");
} // namespace

void SensorRegistry::setFilterState(bool applied) {
    FilterGroup& f = *m_filter;
    f.lblFilterState->setText(applied ? QStringLiteral("Remove Filter")
                                      : QStringLiteral("Apply Filter"));
    f.imgFilter->takePictureOf(applied ? *f.imgRemoveFilter : *f.imgApplyFilter);
}

void SensorRegistry::focusDateBox(QLineEdit* box) {
    m_focusGuard = true;
    box->setFocus();
    m_focusGuard = false;
}

void SensorRegistry::imgFilter_Click() {
    const Announcing announcing(*this);
    logged(m_s, kFilterClick, [&] {
        if (m_s.rsSensors.hasFilter()) {
            G_RemoveFilter();
            return;
        }
        FilterGroup& f = *m_filter;
        const FilterBoxes boxes{
            f.txtFilterType->currentText(), f.txtFilterLevel->text(),
            f.txtFilterLocation->text(),    f.txtStartDate->text(),
            f.txtEndDate->text(),           f.chkDontShowDestroyed->isChecked()};
        const FilterReading reading = readFilterBoxes(boxes, m_s.clock.today());
        switch (reading.refusal) {
        case FilterRefusal::None:
            G_AddFilter(toRowFilter(reading.criteria));
            break;
        case FilterRefusal::UnknownType:
            m_s.dialogs.inform(QStringLiteral("Sensor Type is not recognized") + kCrLf + kCrLf +
                               QStringLiteral("Please choose a sensor from the list, or enter the "
                                              "2 digit sensor #"));
            break;
        case FilterRefusal::BadStartDate:
            m_s.dialogs.inform(QStringLiteral("Start date is not a valid date") + kCrLf +
                               QStringLiteral("Please enter a date in the format yyyy/mm/dd"));
            focusDateBox(f.txtStartDate);
            break;
        case FilterRefusal::BadEndDate:
            m_s.dialogs.inform(QStringLiteral("End date is not a valid date") + kCrLf +
                               QStringLiteral("Please enter a date in the format yyyy/mm/dd"));
            focusDateBox(f.txtEndDate);
            break;
        case FilterRefusal::NoCriteria:
            m_s.dialogs.inform(QStringLiteral("You must enter criteria to filter sensors on"),
                               kTitle, Icon::Information);
            break;
        }
    });
}

void SensorRegistry::G_AddFilter(const RowFilter& filter) {
    const Announcing announcing(*this);
    logged(m_s, kAddFilter, [&] {
        Recordset& rs = m_s.rsSensors;
        rs.setFilter(filter);
        if (rs.recordCount() > 0) {
            setFilterState(true);
            m_filter->lblFilter->show();
        } else {
            m_s.dialogs.inform(QStringLiteral("There are no sensors that meet the criteria"),
                               kTitle, Icon::Exclamation);
            rs.clearFilter();
            setFilterState(false);
        }
        listAndShowFirst();
    });
}

void SensorRegistry::G_RemoveFilter() {
    const Announcing announcing(*this);
    removeFilter();
}

void SensorRegistry::removeFilter() {
    logged(m_s, kRemoveFilter, [&] {
        m_s.rsSensors.clearFilter();
        m_filter->lblFilter->hide();
        listAndShowFirst();
        setFilterState(false);
        FilterGroup& f = *m_filter;
        f.chkDontShowDestroyed->setChecked(false);
        f.txtFilterType->setCurrentIndex(-1);
        f.txtFilterType->setEditText(QString());
        f.txtFilterLevel->clear();
        f.txtFilterLocation->clear();
        f.txtStartDate->clear();
        f.txtEndDate->clear();
    });
}

void SensorRegistry::checkDateBox(QLineEdit* box, const QString& firstLine) {
    // The check that puts the focus back into one box never runs the other box's check:
    // two boxes holding bad dates would otherwise send the focus back and forth forever.
    if (m_focusGuard) return;
    const QString text = box->text();
    if (text.isEmpty() || readDate(text)) return;
    m_focusGuard = true;
    m_s.dialogs.inform(firstLine + kCrLf +
                           QStringLiteral("Please type a date in the format yyyy/mm/dd"),
                       kAppTitle, Icon::Exclamation);
    box->setFocus();
    m_focusGuard = false;
}

void SensorRegistry::txtStartDate_LostFocus() {
    checkDateBox(m_filter->txtStartDate, QStringLiteral("Start Date is not a valid date"));
}

void SensorRegistry::txtEndDate_LostFocus() {
    checkDateBox(m_filter->txtEndDate, QStringLiteral("End Date is not a valid date"));
}

} // namespace rv
