#include "sensors/SensorRegistry.h"
#include "core/Values.h"
#include "sensors/FilterGroup.h"
#include "sensors/SensorRecord.h"
#include "sensors/SensorTabs.h"
#include "store/Module1.h"
#include "store/Session.h"
#include <QKeyEvent>
#include <utility>

namespace rv {

SensorRegistry::SensorRegistry(Session& session, IdentificationTab& identification,
                               SensorRecord& record, SensorRecordHost& host)
    : m_s(session), m_id(identification), m_record(record), m_host(host), m_filter(new FilterGroup),
      m_sensorBox(identification.cboSensors), m_sensorEdit(identification.cboSensors->lineEdit()) {
    connect(m_id.imgNext, &PictureButton::clicked, this, &SensorRegistry::imgNext_Click);
    connect(m_id.Label59, &CaptionLabel::clicked, this, &SensorRegistry::imgNext_Click);
    connect(m_id.imgPrevious, &PictureButton::clicked, this, &SensorRegistry::imgPrevious_Click);
    connect(m_id.Label56, &CaptionLabel::clicked, this, &SensorRegistry::imgPrevious_Click);
    connect(m_id.imgAddSensor, &PictureButton::clicked, this, &SensorRegistry::imgAddSensor_Click);
    connect(m_id.Label57, &CaptionLabel::clicked, this, &SensorRegistry::imgAddSensor_Click);
    connect(m_id.imgDelete, &PictureButton::clicked, this, &SensorRegistry::imgDelete_Click);
    connect(m_id.Label55, &CaptionLabel::clicked, this, &SensorRegistry::imgDelete_Click);
    // A pick in the list (never a text set from code) moves to the sensor picked.
    connect(m_id.cboSensors, &QComboBox::activated, this, [this](int) { cboSensors_Click(); });
    m_sensorBox->installEventFilter(this);
    if (m_sensorEdit) m_sensorEdit->installEventFilter(this);

    connect(m_filter->imgFilter, &PictureButton::clicked, this, &SensorRegistry::imgFilter_Click);
    connect(m_filter->lblFilterState, &CaptionLabel::clicked, this,
            &SensorRegistry::imgFilter_Click);
    connect(m_filter->txtStartDate, &DateBox::lostFocus, this,
            &SensorRegistry::txtStartDate_LostFocus);
    connect(m_filter->txtEndDate, &DateBox::lostFocus, this, &SensorRegistry::txtEndDate_LostFocus);
}

SensorRegistry::~SensorRegistry() {
    // Once placed on the Utilities tab the group belongs to the tab.
    if (m_filter && !m_filter->parent()) delete m_filter;
}

QWidget* SensorRegistry::filterGroup() {
    return m_filter;
}

bool SensorRegistry::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress && (watched == m_sensorBox || watched == m_sensorEdit)) {
        auto* key = static_cast<QKeyEvent*>(event);
        // Tab moves on to the next control as usual; it is no key of the box.
        if (key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab) return false;
        sensorBoxKey(key);
        return true;
    }
    return QObject::eventFilter(watched, event);
}

void SensorRegistry::setSensorBoxText(const QString& text) {
    // The list's chosen entry follows the text, so that the arrow keys and the open list
    // start from the sensor named.
    QComboBox* box = m_id.cboSensors;
    box->setCurrentIndex(box->findText(text));
    box->setEditText(text);
}

SensorRegistry::Announcing::Announcing(SensorRegistry& registry) : m_r(registry) {
    ++m_r.m_handling;
}

SensorRegistry::Announcing::~Announcing() {
    if (--m_r.m_handling == 0 && std::exchange(m_r.m_moved, false))
        m_r.m_s.currentSensor.announceChanged();
}

void SensorRegistry::showCurrent() {
    m_record.fillfields();
    m_moved = true;
}

QString SensorRegistry::currentSensorId() const {
    return displayText(need(m_s.currentSensor.value(QStringLiteral("InstrumentID"))));
}

void SensorRegistry::listSensors() {
    Recordset& rs = m_s.rsSensors;
    QStringList ids;
    ids.reserve(int(rs.recordCount()));
    while (!rs.eof()) {
        ids << currentSensorId();
        need(rs.moveNext());
    }
    // The same order as a sensor added later takes in the list (see addSorted).
    ids.sort(Qt::CaseInsensitive);
    m_id.cboSensors->addItems(ids);
}

void SensorRegistry::relistSensors() {
    m_id.cboSensors->clear();
    Recordset& rs = m_s.rsSensors;
    if (rs.bof() && rs.eof()) return;
    need(rs.moveFirst());
    listSensors();
}

void SensorRegistry::tellDeletedByAnother(const QString& id) {
    m_s.dialogs.inform(QStringLiteral("Sensor ") + id +
                           QStringLiteral(" was deleted from the site server by another engineer. "
                                          "The list shows the sensors stored now."),
                       QStringLiteral("Site server"), Icon::Exclamation);
}

bool SensorRegistry::takeOthersSensors(bool told) {
    Recordset& rs = m_s.rsSensors;
    if (!m_s.gConnection.onServer() || !rs.isOpen()) return true;
    // The sensors stored now, read apart from rsSensors: a server out of reach leaves
    // everything as it is, and the engineer's next action says so.
    Recordset all;
    if (!all.open(m_s.gConnection, sql::SensorsByNumber).ok()) return true;
    QStringList stored;
    for (bool more = all.recordCount() > 0 && all.moveFirst().ok(); more && !all.eof();
         more = all.moveNext().ok())
        if (const auto id = all.value(QStringLiteral("InstrumentID")); id.ok())
            stored << displayText(id.value());
    stored.sort(Qt::CaseInsensitive);
    QStringList listed;
    for (int i = 0; i < m_id.cboSensors->count(); ++i)
        listed << m_id.cboSensors->itemText(i);
    const QString shown = m_s.currentSensor.id();
    const bool onDeleted = rs.absolutePosition() == Recordset::PosUnknown;
    if (!rs.hasFilter() && stored == listed && !onDeleted &&
        (shown.isEmpty() || stored.contains(shown)))
        return true;

    bool stillShown = true;
    logged(m_s, QStringLiteral(" G_TakeOthersSensors"), [&] {
        need(rs.requery());
        QStringList ids;
        for (bool more = rs.recordCount() > 0 && rs.moveFirst().ok(); more && !rs.eof();
             more = rs.moveNext().ok())
            ids << currentSensorId();
        ids.sort(Qt::CaseInsensitive);
        if (ids != listed) {
            m_id.cboSensors->clear();
            m_id.cboSensors->addItems(ids);
            m_host.setSensorCount(QString::number(rs.recordCount()));
        }
        if (rs.recordCount() > 0) need(rs.moveFirst());
        if (shown.isEmpty()) {
            // The sensor shown was just found deleted by another engineer: the first is
            // shown instead. With none shown, none is, and the sensors stay after their
            // last row, as the list left them.
            if (!onDeleted) {
                if (rs.recordCount() > 0) {
                    need(rs.moveLast());
                    need(rs.moveNext());
                }
                return;
            }
            showCurrent();
            setSensorBoxText(rs.recordCount() > 0 ? currentSensorId() : QString());
            return;
        }
        if (rs.recordCount() > 0)
            need(rs.find(QStringLiteral("InstrumentID = '") + shown + QStringLiteral("'")));
        if (rs.recordCount() > 0 && !rs.eof()) return;
        // The sensor shown is gone: another engineer deleted it.
        stillShown = false;
        if (!told) tellDeletedByAnother(shown);
        if (rs.recordCount() > 0) need(rs.moveFirst());
        showCurrent();
        setSensorBoxText(rs.recordCount() > 0 ? currentSensorId() : QString());
    });
    return stillShown;
}

void SensorRegistry::listAndShowFirst() {
    Recordset& rs = m_s.rsSensors;
    m_id.cboSensors->clear();
    if (rs.recordCount() > 0) {
        need(rs.moveFirst());
        listSensors();
        need(rs.moveFirst());
        showCurrent();
        setSensorBoxText(currentSensorId());
    } else {
        // Nothing to list or show: the boxes show the no-sensor state.
        showCurrent();
    }
    m_host.setSensorCount(QString::number(rs.recordCount()));
}

} // namespace rv
