#include "readings/ReadingsTab.h"
#include <QGridLayout>

namespace rv {

namespace {
template <class W> W* named(W* widget, const QString& name) {
    widget->setObjectName(name);
    return widget;
}
} // namespace

ReadingsTab::ReadingsTab(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("tabReadings"));
    txtSensor3 = named(new QLineEdit(this), QStringLiteral("txtSensor3"));
    txtSensor3->setReadOnly(true);
    lblError = named(new QLabel(QStringLiteral("Error:"), this), QStringLiteral("lblError"));
    lblError->setStyleSheet(QStringLiteral("color: #b00000; font-weight: bold;"));
    Label47 = named(new QLabel(QStringLiteral("Temperature:"), this), QStringLiteral("Label47"));
    txtChannelT = named(new QLineEdit(this), QStringLiteral("txtChannelT"));
    lblTemp = named(new QLabel(QStringLiteral("deg C"), this), QStringLiteral("lblTemp"));
    lbln_1 = named(new QLabel(QStringLiteral("Load 1:"), this), QStringLiteral("lbln_1"));
    txtChannel_1 = named(new QLineEdit(this), QStringLiteral("txtChannel_1"));
    lblmm_1 = named(new QLabel(QStringLiteral("tons"), this), QStringLiteral("lblmm_1"));

    auto* grid = new QGridLayout(this);
    grid->addWidget(new QLabel(QStringLiteral("Instrument ID:"), this), 0, 0);
    grid->addWidget(txtSensor3, 0, 1);
    grid->addWidget(Label47, 1, 0);
    grid->addWidget(txtChannelT, 1, 1);
    grid->addWidget(lblTemp, 1, 2);
    grid->addWidget(lbln_1, 2, 0);
    grid->addWidget(txtChannel_1, 2, 1);
    grid->addWidget(lblmm_1, 2, 2);
    grid->addWidget(lblError, 3, 0, 1, 3);
    grid->setRowStretch(4, 1);
}

void ReadingsTab::enableChannels() {
    lblmm_1->setEnabled(true);
    for (QLineEdit* box : {txtChannel_1, txtChannelT}) {
        box->setEnabled(true);
        QPalette palette = box->palette();
        palette.setColor(QPalette::Base, QColor(0xFF, 0xFF, 0xFF));
        box->setPalette(palette);
    }
    lblTemp->setEnabled(true);
    Label47->setEnabled(true);
}

} // namespace rv
