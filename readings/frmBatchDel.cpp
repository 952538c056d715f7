#include "readings/frmBatchDel.h"
#include "store/Session.h"
#include <QCalendarWidget>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace rv {

namespace {
template <class W> W* named(W* widget, const QString& name) {
    widget->setObjectName(name);
    return widget;
}
} // namespace

frmBatchDel::frmBatchDel(Session& session, QWidget* parent) : QDialog(parent), m_s(session) {
    setObjectName(QStringLiteral("frmBatchDel"));
    setWindowTitle(QStringLiteral("SensorData Deletion"));

    Label9 = named(new QLabel(QStringLiteral("BATCH DELETE a group of readings by date:"), this),
                   QStringLiteral("Label9"));
    QFont bold = Label9->font();
    bold.setBold(true);
    Label9->setFont(bold);
    lblReadingDays = named(new QLabel(this), QStringLiteral("lblReadingDays"));
    Label2 = named(new QLabel(QStringLiteral("Select start date"), this), QStringLiteral("Label2"));
    Label3 = named(new QLabel(QStringLiteral("Select end date"), this), QStringLiteral("Label3"));
    for (QCalendarWidget** calendar : {&DelStart, &DelEnd}) {
        *calendar = new QCalendarWidget(this);
        (*calendar)->setGridVisible(true);
        (*calendar)->setVerticalHeaderFormat(QCalendarWidget::NoVerticalHeader);
    }
    DelStart->setObjectName(QStringLiteral("DelStart"));
    DelEnd->setObjectName(QStringLiteral("DelEnd"));
    Label1 = named(new QLabel(QStringLiteral("All sensor data found on or between the dates "
                                             "selected above will be permanently deleted from "
                                             "the database. Click the DELETE button below to "
                                             "continue or Cancel to return to the main form."),
                              this),
                   QStringLiteral("Label1"));
    Label1->setWordWrap(true);
    OKButton =
        named(new QPushButton(QStringLiteral("BATCH DELETE"), this), QStringLiteral("OKButton"));
    CancelButton =
        named(new QPushButton(QStringLiteral("CANCEL"), this), QStringLiteral("CancelButton"));
    Label8 = named(new QLabel(QStringLiteral("OR:"), this), QStringLiteral("Label8"));
    Label6 = named(new QLabel(QStringLiteral("OR:"), this), QStringLiteral("Label6"));
    Label7 = named(new QLabel(QStringLiteral("Click DELETE ALL button to confirm deletetion of "
                                             "ALL readings ->"),
                              this),
                   QStringLiteral("Label7"));
    Command1 =
        named(new QPushButton(QStringLiteral("DELETE ALL"), this), QStringLiteral("Command1"));
    Label5 = named(new QLabel(QStringLiteral("Click DELETE button to confirm deletetion of "
                                             "current reading ->"),
                              this),
                   QStringLiteral("Label5"));
    cmdSingleDel =
        named(new QPushButton(QStringLiteral("DELETE"), this), QStringLiteral("cmdSingleDel"));
    Label4 = named(new QLabel(QStringLiteral("WARNING: These operations cannot be undone"), this),
                   QStringLiteral("Label4"));
    Label4->setFont(bold);
    Label4->setStyleSheet(QStringLiteral("color: #b00000;"));
    for (QPushButton* b : {OKButton, CancelButton, Command1, cmdSingleDel})
        b->setAutoDefault(false);
    CancelButton->setDefault(true); // Enter never deletes by accident

    auto* calendars = new QGridLayout;
    calendars->addWidget(Label2, 0, 0);
    calendars->addWidget(Label3, 0, 1);
    calendars->addWidget(DelStart, 1, 0);
    calendars->addWidget(DelEnd, 1, 1);
    auto* batchButtons = new QHBoxLayout;
    batchButtons->addStretch();
    batchButtons->addWidget(OKButton);
    batchButtons->addWidget(CancelButton);
    auto* all = new QHBoxLayout;
    all->addWidget(Label8);
    all->addWidget(Label7, 1);
    all->addWidget(Command1);
    auto* single = new QHBoxLayout;
    single->addWidget(Label6);
    single->addWidget(Label5, 1);
    single->addWidget(cmdSingleDel);
    auto* page = new QVBoxLayout(this);
    page->addWidget(Label9);
    page->addWidget(lblReadingDays);
    page->addLayout(calendars);
    page->addWidget(Label1);
    page->addLayout(batchButtons);
    page->addSpacing(8);
    page->addLayout(all);
    page->addLayout(single);
    page->addSpacing(8);
    page->addWidget(Label4);

    // Every part of the window reports the keys it sees (see eventFilter).
    for (QWidget* part : findChildren<QWidget*>())
        part->installEventFilter(this);

    connect(OKButton, &QPushButton::clicked, this, &frmBatchDel::OKButton_Click);
    connect(CancelButton, &QPushButton::clicked, this, &frmBatchDel::CancelButton_Click);
    connect(Command1, &QPushButton::clicked, this, &frmBatchDel::Command1_Click);
    connect(cmdSingleDel, &QPushButton::clicked, this, &frmBatchDel::cmdSingleDel_Click);
}

void frmBatchDel::Form_Load(const QString& readingDays) {
    lblReadingDays->setText(readingDays);
    m_choice = BatchDeletion{};
    const QDate today = m_s.clock.today();
    DelStart->setSelectedDate(today);
    DelEnd->setSelectedDate(today);
}

bool frmBatchDel::eventFilter(QObject* watched, QEvent* event) {
    // Whether the last key that reached a part of the window was Enter in a calendar: a
    // key that part does not take comes on to the window itself.
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        const auto* part = qobject_cast<QWidget*>(watched);
        const bool inCalendar =
            part && (DelStart->isAncestorOf(part) || DelEnd->isAncestorOf(part) ||
                     part == DelStart || part == DelEnd);
        m_enterInCalendar = inCalendar && (key == Qt::Key_Return || key == Qt::Key_Enter);
    }
    return QDialog::eventFilter(watched, event);
}

void frmBatchDel::keyPressEvent(QKeyEvent* event) {
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    // The year box moves its calendar on Enter and then passes the key on, as the day grid
    // does: it is no press of CANCEL.
    if (enter && m_enterInCalendar) {
        m_enterInCalendar = false;
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void frmBatchDel::OKButton_Click() {
    m_choice.gDelBatch = true;
    m_choice.gDelStart = DelStart->selectedDate();
    m_choice.gDelEnd = DelEnd->selectedDate();
    accept();
}

void frmBatchDel::cmdSingleDel_Click() {
    m_choice.gDelSingle = true;
    accept();
}

void frmBatchDel::Command1_Click() {
    m_choice.gDelAll = true;
    accept();
}

void frmBatchDel::CancelButton_Click() {
    reject();
}

} // namespace rv
