#pragma once
// "Sensors beyond their levels" on the "6. Utilities" tab: every sensor whose latest
// plotted reading is at or above its alert or alarm load, with the load, the level and
// the reading's date. A double-click on a row asks to go to that sensor.
#include <QGroupBox>
#include <QString>

class QLabel;
class QTableWidget;

namespace rv {

struct Session;

class LevelsGroup : public QGroupBox {
    Q_OBJECT
public:
    explicit LevelsGroup(Session& session, QWidget* parent = nullptr);

    // Lists the sensors beyond their levels as the database holds them now.
    void refresh();

    QTableWidget* lstBeyond;
    QLabel* lblBeyond; // how many, or why there is no list

signals:
    // The user double-clicked a sensor of the list.
    void goToSensor(const QString& instrumentId);

private:
    Session& m_s;
};

} // namespace rv
