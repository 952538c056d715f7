#pragma once
// The current sensor (the current row of rsSensors) shown in the boxes of the first two
// tabs and written back from them: fillfields, savefields, ConfigureForm, "Save Updates"
// and the destroyed status.
#include <QObject>
#include <QString>
#include <QStringList>

class QKeyEvent;

namespace rv {

struct Session;
class IdentificationTab;
class InstallationTab;

// What the sensor record shows outside its own two tabs, provided by the main window.
class SensorRecordHost {
public:
    virtual ~SensorRecordHost() = default;
    virtual void setSensorCount(const QString& text) = 0; // txtSCount
    virtual void hideReadingError() = 0;                  // lblError
    virtual void enableReadingChannels() = 0;             // load and temperature boxes
    virtual void enableSensorTabs() = 0;                  // tabs 0, 1, 3 and 4
    // The sensor shown was deleted by another engineer on the site server: the list is
    // read again and another sensor shown.
    virtual void takeOthersSensors() = 0;
};

class SensorRecord : public QObject {
    Q_OBJECT
public:
    SensorRecord(Session& session, IdentificationTab& identification, InstallationTab& installation,
                 SensorRecordHost& host);

    void fillfields();
    void savefields();
    void ConfigureForm();
    void cmdSave_Click();
    void cboDestroyed_Click();
    // A key typed in the destroyed box: no character reaches the box.
    void cboDestroyed_KeyPress(QChar key);

    IdentificationTab& identification() { return m_id; }
    InstallationTab& installation() { return m_inst; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

    // The alarm levels of the current sensor into their boxes, and back when the typed
    // levels changed; a typed level that is refused is said so and not stored.
    void fillLevels();
    void saveLevels();

private:
    void clearBoxes();
    void setDestroyedText(const QString& text);

    Session& m_s;
    IdentificationTab& m_id;
    InstallationTab& m_inst;
    SensorRecordHost& m_host;
    // The destroyed box, kept apart so the key filter never reaches into a tab that is
    // being torn down.
    QObject* m_destroyedBox;
    // The level boxes' texts as filled, so that only a change is validated and stored.
    QStringList m_levelsShown;
    // The destroyed status as shown last (filled, or chosen since), so that only a change
    // to Yes dates the destruction.
    QString m_destroyedShown;
};

} // namespace rv
