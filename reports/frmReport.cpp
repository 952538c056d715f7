#include "reports/frmReport.h"
#include "platform/UserChoices.h"
#include "platform/WriteCheck.h"
#include "store/Session.h"
#include <QDir>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace rv {

KeptFolderChoice::KeptFolderChoice(Session& session, QWidget* parent)
    : QWidget(parent), m_s(session) {
    setObjectName(QStringLiteral("KeptFolder"));
    m_kept = UserChoices(m_s.paths).text(kKeptFolderKey);
    lblKeptFolder = new QLabel(this);
    lblKeptFolder->setObjectName(QStringLiteral("lblKeptFolder"));
    lblKeptFolder->setTextInteractionFlags(Qt::TextSelectableByMouse);
    // A long path never widens the window: the label shows what fits, its tip the rest.
    lblKeptFolder->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    lblKeptFolder->setMinimumWidth(160);
    cmdKeptFolder = new QPushButton(QStringLiteral("Keep in folder..."), this);
    cmdKeptFolder->setObjectName(QStringLiteral("cmdKeptFolder"));
    cmdKeptFolder->setToolTip(
        QStringLiteral("Choose the folder where reports and workbooks are kept"));
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(lblKeptFolder, 1);
    row->addWidget(cmdKeptFolder);
    showFolder();
    connect(cmdKeptFolder, &QPushButton::clicked, this, &KeptFolderChoice::cmdKeptFolder_Click);
}

QString KeptFolderChoice::folder() const {
    return m_kept.isEmpty() ? QDir::tempPath() : m_kept;
}

void KeptFolderChoice::showFolder() {
    lblKeptFolder->setText(
        QStringLiteral("Kept in: ") + QDir::toNativeSeparators(folder()) +
        (m_kept.isEmpty() ? QStringLiteral(" (the temporary folder)") : QString()));
    lblKeptFolder->setToolTip(QDir::toNativeSeparators(folder()));
}

QString KeptFolderChoice::whyNotKept(const QString& what, qint64 needBytes) const {
    if (m_kept.isEmpty()) return {};
    const QString why = whyCannotWrite(m_s.paths, m_kept, needBytes);
    if (why.isEmpty()) return {};
    return why + kCrLf + what +
           QStringLiteral(" was not written: choose another folder with \"Keep in folder...\".");
}

void KeptFolderChoice::cmdKeptFolder_Click() {
    const QString chosen =
        m_s.dialogs.folderName(QStringLiteral("Keep reports and workbooks in"), folder());
    if (chosen.isEmpty()) return; // cancelled: the folder stays as it was
    if (const QString why = whyCannotWrite(m_s.paths, chosen); !why.isEmpty()) {
        m_s.dialogs.inform(why + kCrLf +
                               QStringLiteral("Reports and workbooks are still kept in ") +
                               QDir::toNativeSeparators(folder()) + QStringLiteral("."),
                           kTitle, Icon::Exclamation);
        return;
    }
    // Choosing the temporary folder itself is keeping none.
    const QString cleaned = QDir::cleanPath(chosen);
    m_kept = cleaned == QDir::cleanPath(QDir::tempPath()) ? QString() : cleaned;
    showFolder();
    UserChoices choices(m_s.paths);
    // Not remembered: the choice still holds while this window lives.
    if (!choices.setText(kKeptFolderKey, m_kept))
        m_s.logFailure(Error{err::FileError, QStringLiteral("The kept folder could not be "
                                                            "remembered in ") +
                                                 QDir::toNativeSeparators(choices.file())},
                       QStringLiteral(" KeptFolder_Click"));
}

frmReport::frmReport(QWidget* parent, Session* session) : QDialog(parent) {
    setObjectName(QStringLiteral("frmReport"));
    setWindowTitle(QStringLiteral("Rockvane Reporting"));
    setModal(true);

    auto* heading =
        new QLabel(QStringLiteral("Select the contents to include in the report:"), this);
    chkCover = new QCheckBox(QStringLiteral("Sensor Information Cover Page"), this);
    chkCover->setObjectName(QStringLiteral("chkCover"));
    chkCover->setChecked(true);
    auto* plots = new QGroupBox(QStringLiteral("Plots:"), this);
    plots->setObjectName(QStringLiteral("Frame1"));
    chkTemp = new QCheckBox(QStringLiteral("Load v Time"), plots);
    chkTemp->setObjectName(QStringLiteral("chkTemp"));
    chkTemp->setChecked(true);
    auto* plotsLayout = new QVBoxLayout(plots);
    plotsLayout->addWidget(chkTemp);
    chkChanges = new QCheckBox(QStringLiteral("Add the sensor's changes"), this);
    chkChanges->setObjectName(QStringLiteral("chkChanges"));
    chkChanges->setToolTip(QStringLiteral("A table of every recorded change to the sensor's "
                                          "readings and record, newest first"));

    cmdOK = new QPushButton(QStringLiteral("OK"), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setDefault(true);
    cmdCancel = new QPushButton(QStringLiteral("Cancel"), this);
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cmdOK);
    buttons->addWidget(cmdCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(heading);
    layout->addWidget(chkCover);
    layout->addWidget(plots);
    layout->addWidget(chkChanges);
    if (session) {
        keptFolder = new KeptFolderChoice(*session, this);
        layout->addWidget(keptFolder);
    }
    layout->addLayout(buttons);
    // Room for the kept folder's path beside its button.
    if (keptFolder) resize(qMax(sizeHint().width(), 460), sizeHint().height());

    connect(cmdOK, &QPushButton::clicked, this, &frmReport::cmdOK_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &frmReport::cmdCancel_Click);
}

void frmReport::cmdOK_Click() {
    m_result.gReportOK = true;
    m_result.gReportCover = chkCover->isChecked();
    m_result.gReportPlot = chkTemp->isChecked();
    m_result.gReportChanges = chkChanges->isChecked();
    // Hides the window and ends the modal wait; the window itself stays.
    QDialog::done(QDialog::Accepted);
}

void frmReport::cmdCancel_Click() {
    m_result.gReportOK = false;
    QDialog::done(QDialog::Rejected);
}

void frmReport::reject() {
    cmdCancel_Click();
}

} // namespace rv
