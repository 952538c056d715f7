#pragma once
// The "3. Readings" tab: one reading of the current sensor at a time.
#include <QLabel>
#include <QLineEdit>
#include <QWidget>

namespace rv {

class ReadingsTab : public QWidget {
    Q_OBJECT
public:
    explicit ReadingsTab(QWidget* parent = nullptr);

    // The sensor whose readings the tab shows (txtSensor3).
    void setSensorId(const QString& id) { txtSensor3->setText(id); }
    void hideError() { lblError->hide(); }
    // Enables the load and temperature boxes with a white background.
    void enableChannels();

    QLineEdit* txtSensor3;
    QLabel* lblError;
    QLabel* Label47; // "Temperature:"
    QLineEdit* txtChannelT;
    QLabel* lblTemp; // "deg C"
    QLabel* lbln_1;  // "Load 1:"
    QLineEdit* txtChannel_1;
    QLabel* lblmm_1; // "tons"
};

} // namespace rv
