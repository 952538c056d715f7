// The Changes window: its controls, the listing of the entries and "Put back".
#include "changes/frmChanges.h"
#include "core/DateText.h"
#include "store/Session.h"
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QTableView>
#include <QTableWidget>
#include <QVBoxLayout>

namespace rv {

namespace {
const QString kLoad = QStringLiteral(" frmChanges_Load");
const QString kList = QStringLiteral(" frmChanges_ListChanges");
const QString kShowEntry = QStringLiteral(" frmChanges_ShowEntry");
const QString kPutBack = QStringLiteral(" cmdPutBack_Click");
const QString kPutBackTitle = QStringLiteral("Put back");
const QString kAllKinds = QStringLiteral("All kinds");

template <class W> W* named(W* widget, const QString& name) {
    widget->setObjectName(name);
    return widget;
}

QString changesCount(std::size_t n) {
    return QString::number(n) + (n == 1 ? QStringLiteral(" change") : QStringLiteral(" changes"));
}

// The refusals of a putting back: said to the engineer, no fault of the program.
bool isRefusal(long long number) {
    return number == err::KeyTaken || number == err::PutBackAlready || number == err::RowNotFound ||
           number == err::ItemNotFound || number == err::InvalidArgument;
}

// The date and time of a reading as a putting back leaves it: the key its earlier values
// hold, or the key it has.
QString keyPutBack(const ChangeEntry& e, const QString& at) {
    for (const ChangedValue& v : listedValues(e))
        if (v.column == QLatin1String("DateTimeKey") && v.before.isValid() &&
            !v.before.toString().isEmpty())
            return v.before.toString();
    return at;
}
} // namespace

frmChanges::frmChanges(Session& session, QString instrumentId, QString key, QWidget* parent)
    : QDialog(parent), m_s(session), m_instrumentId(std::move(instrumentId)),
      m_key(std::move(key)) {
    setObjectName(QStringLiteral("frmChanges"));
    setWindowTitle(QStringLiteral("Changes - Sensor ") + m_instrumentId);
    buildControls();
    layOut();
    wire();
    resize(1240, 600);
}

void frmChanges::buildControls() {
    lblReading = named(new QLabel(this), QStringLiteral("lblReading"));
    cmdAllReadings = named(new QPushButton(QStringLiteral("Show all readings"), this),
                           QStringLiteral("cmdAllReadings"));
    cmdAllReadings->setAutoDefault(false);

    chkFrom = named(new QCheckBox(QStringLiteral("From"), this), QStringLiteral("chkFrom"));
    chkTo = named(new QCheckBox(QStringLiteral("To"), this), QStringLiteral("chkTo"));
    const QDate today = m_s.clock.today();
    for (QDateEdit** edit : {&dtpFrom, &dtpTo}) {
        auto* d = new QDateEdit(today, this);
        d->setLocale(QLocale::c());
        d->setDisplayFormat(dayFormat());
        d->setCalendarPopup(true);
        d->setKeyboardTracking(false); // a day half typed lists nothing
        d->setEnabled(false);
        *edit = d;
    }
    dtpFrom->setObjectName(QStringLiteral("dtpFrom"));
    dtpTo->setObjectName(QStringLiteral("dtpTo"));

    cboKind = named(new QComboBox(this), QStringLiteral("cboKind"));
    cboKind->addItem(kAllKinds);
    cboKind->addItems(changeKinds());
    lblCount = named(new QLabel(this), QStringLiteral("lblCount"));

    model = new ChangesModel(this);
    grdChanges = named(new QTableView(this), QStringLiteral("grdChanges"));
    grdChanges->setModel(model);
    grdChanges->setSelectionBehavior(QAbstractItemView::SelectRows);
    grdChanges->setSelectionMode(QAbstractItemView::SingleSelection);
    grdChanges->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grdChanges->setWordWrap(false);
    grdChanges->setAlternatingRowColors(true);
    // Fixed row heights and column widths: the view never measures every row, so a long
    // history shows at once.
    grdChanges->verticalHeader()->hide();
    grdChanges->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    grdChanges->verticalHeader()->setDefaultSectionSize(grdChanges->fontMetrics().height() + 6);
    QHeaderView* header = grdChanges->horizontalHeader();
    header->setSectionResizeMode(QHeaderView::Interactive);
    header->setStretchLastSection(true);
    // Wide enough for the longest text of each column but the last two.
    const QFontMetrics fm = grdChanges->fontMetrics();
    const QString widest[] = {QStringLiteral("30 May 2026 23:59:59"),
                              QStringLiteral("engineer"),
                              QStringLiteral("Delete readings"),
                              QStringLiteral("Removed by undo"),
                              QStringLiteral("200525001 2026/03/11 18:00:00 -> "
                                             "200525001 2026/03/11 18:00:00"),
                              QStringLiteral("Load 12.50; Temperature 18.0")};
    for (int i = 0; i < int(std::size(widest)); ++i)
        header->resizeSection(i, fm.horizontalAdvance(widest[i]) + 16);

    lblEntry = named(new QLabel(this), QStringLiteral("lblEntry"));
    lblEntry->setWordWrap(true);
    lblEntry->setTextInteractionFlags(Qt::TextSelectableByMouse);
    grdEntry = named(new QTableWidget(0, 3, this), QStringLiteral("grdEntry"));
    grdEntry->setHorizontalHeaderLabels(
        {QStringLiteral("Column"), QStringLiteral("Before"), QStringLiteral("After")});
    grdEntry->verticalHeader()->hide();
    grdEntry->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grdEntry->setSelectionMode(QAbstractItemView::NoSelection);
    grdEntry->setWordWrap(false);
    grdEntry->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    grdEntry->verticalHeader()->setDefaultSectionSize(grdEntry->fontMetrics().height() + 6);

    cmdPutBack =
        named(new QPushButton(QStringLiteral("Put back"), this), QStringLiteral("cmdPutBack"));
    cmdPutBack->setAutoDefault(false);
    cmdPutBack->setEnabled(false);
    cmdClose = named(new QPushButton(QStringLiteral("Close"), this), QStringLiteral("cmdClose"));
}

void frmChanges::layOut() {
    auto* reading = new QHBoxLayout;
    reading->addWidget(lblReading);
    reading->addWidget(cmdAllReadings);
    reading->addStretch();

    auto* filters = new QHBoxLayout;
    filters->addWidget(chkFrom);
    filters->addWidget(dtpFrom);
    filters->addSpacing(12);
    filters->addWidget(chkTo);
    filters->addWidget(dtpTo);
    filters->addSpacing(24);
    filters->addWidget(new QLabel(QStringLiteral("Kind:"), this));
    filters->addWidget(cboKind);
    filters->addStretch();
    filters->addWidget(lblCount);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cmdPutBack);
    buttons->addWidget(cmdClose);

    auto* page = new QVBoxLayout(this);
    page->addLayout(reading);
    page->addLayout(filters);
    page->addWidget(grdChanges, 3);
    page->addWidget(lblEntry);
    page->addWidget(grdEntry, 2);
    page->addLayout(buttons);

    const bool forReading = !m_key.isEmpty();
    lblReading->setVisible(forReading);
    cmdAllReadings->setVisible(forReading);
    if (forReading) lblReading->setText(QStringLiteral("Reading ") + m_key);
}

void frmChanges::wire() {
    connect(chkFrom, &QCheckBox::toggled, this, [this](bool on) {
        dtpFrom->setEnabled(on);
        listChanges();
    });
    connect(chkTo, &QCheckBox::toggled, this, [this](bool on) {
        dtpTo->setEnabled(on);
        listChanges();
    });
    for (QDateEdit* d : {dtpFrom, dtpTo})
        connect(d, &QDateEdit::dateChanged, this, [this, d] {
            if (d->isEnabled()) listChanges();
        });
    connect(cboKind, &QComboBox::currentIndexChanged, this, [this] { listChanges(); });
    connect(grdChanges->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            &frmChanges::entryChosen);
    connect(grdChanges->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &frmChanges::entryChosen);
    connect(cmdPutBack, &QPushButton::clicked, this, &frmChanges::cmdPutBack_Click);
    connect(cmdAllReadings, &QPushButton::clicked, this, &frmChanges::cmdAllReadings_Click);
    connect(cmdClose, &QPushButton::clicked, this, &frmChanges::cmdClose_Click);
}

bool frmChanges::Form_Load() {
    return logged(m_s, kLoad, [&] {
        if (!hasChangeTables(m_s.gConnection))
            throw Abort{Error{err::ItemNotFound,
                              QStringLiteral("This database keeps no record of changes.")}};
        model->setEntries(need(rv::listChanges(m_s.gConnection, filter())));
        setRangeFromList();
        lblCount->setText(changesCount(model->entries().size()));
        choose(0);
    });
}

ChangeFilter frmChanges::filter() const {
    ChangeFilter f;
    f.instrumentId = m_instrumentId;
    if (chkFrom->isChecked()) f.from = dtpFrom->date();
    if (chkTo->isChecked()) f.to = dtpTo->date();
    if (cboKind->currentIndex() > 0) f.kinds = {cboKind->currentText()};
    f.key = m_key;
    return f;
}

void frmChanges::setRangeFromList() {
    const std::vector<ChangeEntry>& entries = model->entries();
    if (entries.empty()) return;
    // Newest first: the last entry is the oldest.
    const QDate oldest = entries.back().when.date();
    const QDate newest = entries.front().when.date();
    const QDate today = m_s.clock.today();
    // The boxes are off: setting their days lists nothing again.
    if (oldest.isValid()) dtpFrom->setDate(oldest);
    dtpTo->setDate(newest.isValid() && newest > today ? newest : today);
}

void frmChanges::listChanges() {
    const bool listed = logged(
        m_s, kList, [&] { model->setEntries(need(rv::listChanges(m_s.gConnection, filter()))); });
    if (!listed) model->setEntries({});
    lblCount->setText(changesCount(model->entries().size()));
    choose(0);
}

void frmChanges::choose(int row) {
    if (model->entry(row))
        grdChanges->setCurrentIndex(model->index(row, 0));
    else
        grdChanges->setCurrentIndex({});
    entryChosen();
}

const ChangeEntry* frmChanges::chosenEntry() const {
    // The row shown chosen: a row unchosen (Ctrl+click) keeps the focus but is no choice.
    const QModelIndex current = grdChanges->currentIndex();
    return current.isValid() && grdChanges->selectionModel()->isRowSelected(current.row())
               ? model->entry(current.row())
               : nullptr;
}

void frmChanges::entryChosen() {
    const ChangeEntry* e = chosenEntry();
    grdEntry->setRowCount(0);
    cmdPutBack->setEnabled(e && canPutBack(*e) && !m_s.gConnection.readOnly());
    if (!e) {
        lblEntry->setText(model->entries().empty() ? QStringLiteral("No change is listed.")
                                                   : QStringLiteral("Choose a change above."));
        return;
    }
    QString text = e->kind + QStringLiteral(" at ") +
                   ChangesModel::cellText(*e, ChangesModel::When) +
                   (e->by.isEmpty() ? QString() : QStringLiteral(" by ") + e->by) +
                   (e->how.isEmpty() ? QString() : QStringLiteral(", ") + e->how);
    const QString reading = ChangesModel::cellText(*e, ChangesModel::Reading);
    if (!reading.isEmpty()) text += QStringLiteral(": reading ") + reading;
    text += QStringLiteral(".");
    if (!e->note.isEmpty()) text += u'\n' + e->note;
    lblEntry->setText(text);
    logged(m_s, kShowEntry, [&] {
        const std::vector<ChangedValue> values = need(changedValues(m_s.gConnection, *e));
        grdEntry->setRowCount(int(values.size()));
        const bool left = removesReading(e->kind);
        for (int i = 0; i < int(values.size()); ++i) {
            const ChangedValue& v = values[std::size_t(i)];
            const QString before = v.before.isValid() ? valueText(v.before) : QString();
            // A reading that left the table has no values after: the column stays empty.
            const QString after = left || !v.after.isValid() ? QString() : valueText(v.after);
            grdEntry->setItem(i, 0, new QTableWidgetItem(changeColumnCaption(v.column)));
            grdEntry->setItem(i, 1, new QTableWidgetItem(before));
            grdEntry->setItem(i, 2, new QTableWidgetItem(after));
        }
    });
}

void frmChanges::cmdAllReadings_Click() {
    m_key.clear();
    lblReading->hide();
    cmdAllReadings->hide();
    listChanges();
}

void frmChanges::cmdClose_Click() {
    close();
}

void frmChanges::cmdPutBack_Click() {
    const ChangeEntry* chosen = chosenEntry();
    if (!chosen || !canPutBack(*chosen)) return;
    const ChangeEntry e = *chosen;
    logged(m_s, kPutBack, [&] {
        Connection& c = m_s.gConnection;
        const Result<PutBackPlan> plan = planPutBack(c, e.id);
        if (!plan.ok()) {
            m_s.dialogs.inform(plan.error().description, kPutBackTitle, Icon::Exclamation);
            if (!isRefusal(plan.error().number)) need(plan); // a fault goes to the log too
            return;
        }
        if (m_s.dialogs.show(Message{
                plan.value().description + kCrLf + kCrLf + QStringLiteral("Put it back?"),
                kPutBackTitle, Icon::Exclamation, Buttons::YesNo, Answer::No}) != Answer::Yes)
            return;
        const Result<qint64> done = putBack(c, e.id, how::ChangesWindow);
        if (!done.ok()) {
            // Refused meanwhile (another engineer took the key), or failed: nothing changed.
            if (isRefusal(done.error().number)) {
                m_s.dialogs.inform(done.error().description, kPutBackTitle, Icon::Exclamation);
                return;
            }
            m_s.dialogs.inform(QStringLiteral("Nothing was put back.") + kCrLf +
                                   done.error().description,
                               kPutBackTitle, Icon::Critical);
            need(done);
        }
        const QString at = removesReading(e.kind) ? QString()
                           : e.newKey.isEmpty()   ? e.key
                                                  : e.newKey;
        listChanges();
        emit readingsChanged(at, at.isEmpty() ? QString() : keyPutBack(e, at));
    });
}

} // namespace rv
