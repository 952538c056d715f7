// The Readings tab's controls, their layout and wiring, and the key and focus events of
// its number boxes and date pickers. The procedures themselves are in
// ReadingsHandlers.cpp.
#include "readings/ReadingsTab.h"
#include "readings/ReadingRules.h"
#include "store/Session.h"
#include "ui/Pictures.h"
#include <QApplication>
#include <QFocusEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QVBoxLayout>

namespace rv {

namespace {
template <class W> W* named(W* widget, const QString& name) {
    widget->setObjectName(name);
    return widget;
}

// A row of a picture button and its caption label.
QHBoxLayout* buttonRow(PictureButton* picture, CaptionLabel* caption) {
    auto* row = new QHBoxLayout;
    row->addWidget(picture);
    row->addWidget(caption);
    row->addStretch();
    return row;
}
} // namespace

ReadingsTab::ReadingsTab(Session& session, QWidget* parent) : QWidget(parent), m_s(&session) {
    setObjectName(QStringLiteral("tabReadings"));
    buildControls();
    layOut();
    wire();
}

ReadingsTab::~ReadingsTab() {
    // The child controls outlive this part of the object by a moment: their last events
    // must find nothing to act on.
    m_s = nullptr;
}

void ReadingsTab::release() {
    m_s = nullptr;
    lblLevels->release();
    fraImportHistory->release();
}

void ReadingsTab::buildControls() {
    txtSensor3 = named(new QLineEdit(this), QStringLiteral("txtSensor3"));
    txtSensor3->setReadOnly(true);
    txtReadingID = named(new QLineEdit(this), QStringLiteral("txtReadingID"));
    txtReadingID->setReadOnly(true); // the key is the reading's identity: changed by re-keying only

    // The pickers hold wall-clock values: no time zone, no daylight-saving shift. They
    // report a typed change when it is committed (Enter or leaving the picker), not at
    // every keystroke, so a half-typed date never re-keys a reading.
    dtpRdate = named(new QDateEdit(this), QStringLiteral("dtpRdate"));
    dtpRdate->setTimeSpec(Qt::UTC);
    dtpRdate->setLocale(QLocale::c());
    dtpRdate->setDisplayFormat(QStringLiteral("yyyy/MM/dd"));
    dtpRdate->setCalendarPopup(true);
    dtpRdate->setDateRange(QDate(100, 1, 1), QDate(9999, 12, 31));
    dtpRdate->setKeyboardTracking(false);
    dtpRtime = named(new QTimeEdit(this), QStringLiteral("dtpRtime"));
    dtpRtime->setTimeSpec(Qt::UTC);
    dtpRtime->setLocale(QLocale::c());
    dtpRtime->setDisplayFormat(QStringLiteral("HH:mm:ss"));
    dtpRtime->setKeyboardTracking(false);

    Label47 = named(new QLabel(QStringLiteral("Temperature:"), this), QStringLiteral("Label47"));
    txtChannelT = named(new QLineEdit(this), QStringLiteral("txtChannelT"));
    lblTemp = named(new QLabel(QStringLiteral("deg C"), this), QStringLiteral("lblTemp"));
    lbln_1 = named(new QLabel(QStringLiteral("Load 1:"), this), QStringLiteral("lbln_1"));
    txtChannel_1 = named(new QLineEdit(this), QStringLiteral("txtChannel_1"));
    lblmm_1 = named(new QLabel(QStringLiteral("tons"), this), QStringLiteral("lblmm_1"));
    lbln[1] = lbln_1;
    for (int i = 2; i <= 10; ++i)
        lbln[std::size_t(i)] =
            named(new QLabel(this), QStringLiteral("lbln_") + QString::number(i));
    for (QLineEdit* box : {txtChannelT, txtChannel_1})
        box->setMaximumWidth(120);

    chkDontPlot = named(new QCheckBox(QStringLiteral("Do not plot this reading"), this),
                        QStringLiteral("chkDontPlot"));
    lblChanged = named(new QLabel(QStringLiteral("Changed since first stored"), this),
                       QStringLiteral("lblChanged"));
    lblChanged->setStyleSheet(QStringLiteral("color: #0050a0; font-weight: bold;"));
    cmdReadingHistory = named(new QPushButton(QStringLiteral("History..."), this),
                              QStringLiteral("cmdReadingHistory"));
    cmdReadingHistory->setAutoDefault(false);
    // The mark keeps its room while hidden, so the reading's boxes do not move.
    for (QWidget* w : std::initializer_list<QWidget*>{lblChanged, cmdReadingHistory}) {
        QSizePolicy room = w->sizePolicy();
        room.setRetainSizeWhenHidden(true);
        w->setSizePolicy(room);
        w->hide();
    }
    txtRcount = named(new QLineEdit(this), QStringLiteral("txtRcount"));
    txtRcount->setReadOnly(true);
    txtRcount->setAlignment(Qt::AlignCenter);
    txtRcount->setMaximumWidth(120);
    lblLevels = new LevelNotice(*m_s, this);
    lblError = named(new QLabel(QStringLiteral("Error:"), this), QStringLiteral("lblError"));
    lblError->setStyleSheet(QStringLiteral("color: #b00000; font-weight: bold;"));
    lblError->setWordWrap(true);
    lblOthers = named(new QLabel(this), QStringLiteral("lblOthers"));
    lblOthers->setStyleSheet(QStringLiteral("color: #0050a0;"));
    lblOthers->setWordWrap(true);
    lblOthers->hide();
    // The message line keeps its room while hidden, so the tab does not jump.
    QSizePolicy keepRoom = lblError->sizePolicy();
    keepRoom.setRetainSizeWhenHidden(true);
    lblError->setSizePolicy(keepRoom);

    imgFirst = new PictureButton(QStringLiteral("imgFirst"), pictures::firstArrow(), this);
    imgPrevData = new PictureButton(QStringLiteral("imgPrevData"), pictures::arrowLeft(), this);
    imgNextData = new PictureButton(QStringLiteral("imgNextData"), pictures::arrowRight(), this);
    imgLast = new PictureButton(QStringLiteral("imgLast"), pictures::lastArrow(), this);
    imgAddReading = new PictureButton(QStringLiteral("imgAddReading"), pictures::plus(), this);
    imgDeleteReading =
        new PictureButton(QStringLiteral("imgDeleteReading"), pictures::cross(), this);
    imgDatasheet = new PictureButton(QStringLiteral("imgDatasheet"), pictures::sheet(), this);
    imgReport = new PictureButton(QStringLiteral("imgReport"), pictures::document(), this);
    Label61 = new CaptionLabel(QStringLiteral("Label61"), QStringLiteral("First"), this);
    Label62 = new CaptionLabel(QStringLiteral("Label62"), QStringLiteral("Previous"), this);
    Label60 = new CaptionLabel(QStringLiteral("Label60"), QStringLiteral("Next"), this);
    Label64 = new CaptionLabel(QStringLiteral("Label64"), QStringLiteral("Last"), this);
    Label63 = new CaptionLabel(QStringLiteral("Label63"), QStringLiteral("Add New"), this);
    Label65 = new CaptionLabel(QStringLiteral("Label65"), QStringLiteral("Delete/Batch"), this);
    Label45 = new CaptionLabel(QStringLiteral("Label45"), QStringLiteral("Datasheet"), this);
    Label46 = new CaptionLabel(QStringLiteral("Label46"), QStringLiteral("Report"), this);
    cmdChanges =
        named(new QPushButton(QStringLiteral("Changes..."), this), QStringLiteral("cmdChanges"));
    cmdChanges->setAutoDefault(false);
    cmdChanges->setEnabled(false); // until the readings are opened and the history is found

    imgAddSlugData = new PictureButton(QStringLiteral("imgAddSlugData"), pictures::import(), this);
    lblImport =
        named(new QLabel(QStringLiteral("Import Datafiles:"), this), QStringLiteral("lblImport"));
    // A whole logger download: every file of a folder, each appended to its own sensor.
    cmdImportFolder = named(new QPushButton(QStringLiteral("Import a folder..."), this),
                            QStringLiteral("cmdImportFolder"));
    cmdImportFolder->setAutoDefault(false);
    cboSlugInt = named(new QComboBox(this), QStringLiteral("cboSlugInt"));
    cboSlugInt->setEditable(true);
    cboSlugInt->addItems({QStringLiteral("1"), QStringLiteral("8"), QStringLiteral("24")});
    cboSlugInt->setCurrentText(QStringLiteral("24"));
    cboSlugInt->setFixedWidth(80);
    lblSlugInt =
        named(new QLabel(QStringLiteral("Time Period (hr)"), this), QStringLiteral("lblSlugInt"));

    ImportHistoryPanel::Host host;
    host.writeBackShown = [this] {
        commitPickers();
        return SaveReadings();
    };
    host.showReadingsAgain = [this] { readingsReplaced(); };
    host.progress = [this]() -> Progress& { return progress(); };
    fraImportHistory = new ImportHistoryPanel(*m_s, std::move(host), this);
}

void ReadingsTab::layOut() {
    auto* identity = new QHBoxLayout;
    identity->addWidget(new QLabel(QStringLiteral("Instrument ID:"), this));
    identity->addWidget(txtSensor3);
    identity->addSpacing(24);
    identity->addWidget(new QLabel(QStringLiteral("Reading ID:"), this));
    identity->addWidget(txtReadingID, 1);

    // The reading itself.
    auto* reading = fraReading = named(new QGroupBox(this), QStringLiteral("fraReading"));
    auto* fields = new QGridLayout(reading);
    fields->addWidget(new QLabel(QStringLiteral("Reading Date:"), this), 0, 0);
    fields->addWidget(dtpRdate, 0, 1);
    fields->addWidget(new QLabel(QStringLiteral("Reading Time:"), this), 1, 0);
    fields->addWidget(dtpRtime, 1, 1);
    fields->addWidget(Label47, 2, 0);
    fields->addWidget(txtChannelT, 2, 1);
    fields->addWidget(lblTemp, 2, 2);
    fields->addWidget(lbln_1, 3, 0);
    fields->addWidget(txtChannel_1, 3, 1);
    fields->addWidget(lblmm_1, 3, 2);
    fields->addWidget(chkDontPlot, 4, 0, 1, 3);
    auto* changed = new QHBoxLayout;
    changed->addWidget(lblChanged);
    changed->addWidget(cmdReadingHistory);
    changed->addStretch();
    fields->addLayout(changed, 5, 0, 1, 4);
    // The captions of channels 2 to 10 are empty: they sit in the free space below.
    auto* otherChannels = new QVBoxLayout;
    otherChannels->setSpacing(0);
    for (int i = 2; i <= 10; ++i)
        otherChannels->addWidget(lbln[std::size_t(i)]);
    otherChannels->addStretch();
    fields->addLayout(otherChannels, 6, 0, 1, 3);
    fields->setColumnStretch(3, 1);
    fields->setRowStretch(6, 1);

    // The imports of the sensor, below the reading.
    auto* left = new QVBoxLayout;
    left->addWidget(reading, 3);
    left->addWidget(fraImportHistory, 2);

    // Moving through the readings.
    auto* navigation = new QHBoxLayout;
    navigation->addWidget(imgFirst);
    navigation->addWidget(Label61);
    navigation->addWidget(imgPrevData);
    navigation->addWidget(Label62);
    navigation->addSpacing(8);
    navigation->addWidget(txtRcount);
    navigation->addSpacing(8);
    navigation->addWidget(Label60);
    navigation->addWidget(imgNextData);
    navigation->addWidget(Label64);
    navigation->addWidget(imgLast);
    navigation->addStretch();

    // Working on the readings.
    auto* actions = fraActions = named(new QGroupBox(this), QStringLiteral("fraActions"));
    auto* actionRows = new QVBoxLayout(actions);
    actionRows->addLayout(buttonRow(imgAddReading, Label63));
    actionRows->addLayout(buttonRow(imgDeleteReading, Label65));
    actionRows->addLayout(buttonRow(imgDatasheet, Label45));
    actionRows->addLayout(buttonRow(imgReport, Label46));
    actionRows->addSpacing(4);
    actionRows->addWidget(cmdChanges, 0, Qt::AlignLeft);
    auto* import = new QGridLayout;
    import->addWidget(lblImport, 0, 0);
    import->addWidget(imgAddSlugData, 0, 1, Qt::AlignLeft);
    import->addWidget(cmdImportFolder, 0, 2, Qt::AlignLeft);
    import->addWidget(lblSlugInt, 1, 0);
    import->addWidget(cboSlugInt, 1, 1, Qt::AlignLeft);
    actionRows->addSpacing(12);
    actionRows->addLayout(import);
    actionRows->addStretch();

    auto* middle = new QHBoxLayout;
    middle->addLayout(left, 3);
    middle->addWidget(actions, 2);

    auto* page = new QVBoxLayout(this);
    page->addLayout(identity);
    page->addLayout(middle, 1);
    page->addLayout(navigation);
    page->addWidget(lblLevels);
    page->addWidget(lblOthers);
    page->addWidget(lblError);

    setTabOrder(dtpRdate, dtpRtime);
    setTabOrder(dtpRtime, txtChannelT);
    setTabOrder(txtChannelT, txtChannel_1);
    setTabOrder(txtChannel_1, chkDontPlot);
}

void ReadingsTab::wire() {
    auto both = [this](PictureButton* picture, CaptionLabel* caption, void (ReadingsTab::*f)()) {
        connect(picture, &PictureButton::clicked, this, f);
        connect(caption, &CaptionLabel::clicked, this, f);
    };
    both(imgFirst, Label61, &ReadingsTab::imgFirst_Click);
    both(imgPrevData, Label62, &ReadingsTab::imgPrevData_Click);
    both(imgNextData, Label60, &ReadingsTab::imgNextData_Click);
    both(imgLast, Label64, &ReadingsTab::imgLast_Click);
    both(imgAddReading, Label63, &ReadingsTab::imgAddReading_Click);
    both(imgDeleteReading, Label65, &ReadingsTab::imgDeleteReading_Click);
    both(imgDatasheet, Label45, &ReadingsTab::imgDatasheet_Click);

    connect(dtpRdate, &QDateTimeEdit::dateChanged, this, &ReadingsTab::dtpRdate_Change);
    connect(dtpRtime, &QDateTimeEdit::timeChanged, this, &ReadingsTab::dtpRtime_Change);
    connect(chkDontPlot, &QCheckBox::clicked, this, &ReadingsTab::chkDontPlot_MouseUp);
    connect(cmdChanges, &QPushButton::clicked, this, &ReadingsTab::cmdChanges_Click);
    connect(cmdReadingHistory, &QPushButton::clicked, this, &ReadingsTab::cmdReadingHistory_Click);
    connect(&m_s->currentSensor, &CurrentSensor::changed, this, &ReadingsTab::sensorChanged);
    connect(&m_s->currentSensor, &CurrentSensor::restored, this, &ReadingsTab::sensorChanged);

    for (QWidget* w :
         std::initializer_list<QWidget*>{txtChannel_1, txtChannelT, dtpRdate, dtpRtime})
        w->installEventFilter(this);
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

bool ReadingsTab::discardsKey(const QKeyEvent& key) {
    // Shortcuts such as copy, paste and undo type no character of their own: pasted text
    // reaches the box unfiltered. Ctrl with Alt is the key that types a third character
    // on some keyboards: that character is filtered like any other.
    const Qt::KeyboardModifiers mods = key.modifiers();
    if ((mods & (Qt::ControlModifier | Qt::MetaModifier)) && !(mods & Qt::AltModifier))
        return false;
    const QString text = key.text();
    if (text.isEmpty()) // arrows, Home, End, function keys
        return false;
    return !acceptsReadingKey(text.front().unicode());
}

bool ReadingsTab::focusStaysInTab(Qt::FocusReason reason) const {
    // Another window coming up (a message, the calendar) is not leaving the control.
    if (reason == Qt::ActiveWindowFocusReason || reason == Qt::PopupFocusReason) return false;
    const QWidget* next = QApplication::focusWidget();
    return next && isVisible() && next->isVisible() && isAncestorOf(next);
}

void ReadingsTab::focusOn(QWidget* control) {
    // The control that loses the focus to this one is not being left by the user: its
    // leave events do not run.
    m_refocusing = true;
    control->setFocus(Qt::OtherFocusReason);
    m_refocusing = false;
}

bool ReadingsTab::eventFilter(QObject* watched, QEvent* event) {
    if (!m_s) return QWidget::eventFilter(watched, event);
    const bool numberBox = watched == txtChannel_1 || watched == txtChannelT;
    if (numberBox && event->type() == QEvent::KeyPress &&
        discardsKey(*static_cast<QKeyEvent*>(event)))
        return true;
    if (event->type() == QEvent::FocusOut && !m_refocusing &&
        focusStaysInTab(static_cast<QFocusEvent*>(event)->reason())) {
        bool cancel = false;
        if (watched == txtChannel_1) {
            txtChannel_Validate(1, cancel);
        } else if (watched == txtChannelT) {
            txtChannelT_Validate(cancel);
        } else if (watched == dtpRdate) {
            // A date still being typed is committed first, as the picker itself does on
            // leaving: its change event comes before the leave events.
            dtpRdate->interpretText();
            dtpRdate_Validate(cancel);
            dtpRdate_LostFocus();
        } else if (watched == dtpRtime) {
            dtpRtime->interpretText();
            dtpRtime_Validate(cancel);
            dtpRtime_LostFocus();
        }
        auto* control = static_cast<QWidget*>(watched);
        if (cancel && m_s) focusOn(control);
        // A control that took the focus back never saw it go: its own handling of the
        // leave (ending the caret, committing the text) must not run.
        if (QApplication::focusWidget() == control) return true;
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace rv
