#include "app/frmDatabase.h"
#include "app/ServerAddress.h"
#include "store/Connection.h"
#include "store/PgEngine.h"
#include <QApplication>
#include <QDir>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QVBoxLayout>

namespace rv {

namespace {
template <class W> W* named(W* widget, const char* name) {
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}
} // namespace

frmDatabase::frmDatabase(const QString& filePath, const QString& server, QWidget* parent)
    : QDialog(parent) {
    setObjectName(QStringLiteral("frmDatabase"));
    setWindowTitle(QStringLiteral("Database"));

    optFile = named(new QRadioButton(QStringLiteral("This computer's file"), this), "optFile");
    lblFile = named(new QLabel(QDir::toNativeSeparators(filePath), this), "lblFile");
    lblFile->setTextInteractionFlags(Qt::TextSelectableByMouse);
    optServer = named(new QRadioButton(QStringLiteral("A site server"), this), "optServer");
    txtHost = named(new QLineEdit(this), "txtHost");
    txtHost->setPlaceholderText(QStringLiteral("db.mine (empty: this computer)"));
    txtPort = named(new QLineEdit(QStringLiteral("5432"), this), "txtPort");
    txtPort->setMaximumWidth(80);
    txtDatabase = named(new QLineEdit(this), "txtDatabase");
    txtUser = named(new QLineEdit(this), "txtUser");
    cboSslMode = named(new QComboBox(this), "cboSslMode");
    cboSslMode->addItems(sslModes());
    cboSslMode->setCurrentText(kDefaultSslMode);
    lblPasswords = named(new QLabel(QStringLiteral("Passwords come from ~/.pgpass, a service file "
                                                   "or the PGPASSWORD environment; Rockvane "
                                                   "never stores them."),
                                    this),
                         "lblPasswords");
    lblPasswords->setWordWrap(true);
    cmdTest = named(new QPushButton(QStringLiteral("Test connection"), this), "cmdTest");
    lblOutcome = named(new QLabel(this), "lblOutcome");
    lblOutcome->setWordWrap(true);
    lblOutcome->setTextInteractionFlags(Qt::TextSelectableByMouse);
    cmdOK = named(new QPushButton(QStringLiteral("OK"), this), "cmdOK");
    cmdOK->setDefault(true);
    cmdCancel = named(new QPushButton(QStringLiteral("Cancel"), this), "cmdCancel");

    auto* box = new QGroupBox(QStringLiteral("Rockvane works on"), this);
    auto* choice = new QVBoxLayout(box);
    choice->addWidget(optFile);
    auto* file = new QHBoxLayout;
    file->addSpacing(24);
    file->addWidget(lblFile, 1);
    choice->addLayout(file);
    choice->addWidget(optServer);
    auto* address = new QFormLayout;
    address->setContentsMargins(24, 0, 0, 0);
    address->addRow(QStringLiteral("Host:"), txtHost);
    address->addRow(QStringLiteral("Port:"), txtPort);
    address->addRow(QStringLiteral("Database:"), txtDatabase);
    address->addRow(QStringLiteral("User:"), txtUser);
    address->addRow(QStringLiteral("SSL mode:"), cboSslMode);
    choice->addLayout(address);
    auto* test = new QHBoxLayout;
    test->addSpacing(24);
    test->addWidget(lblPasswords, 1);
    choice->addLayout(test);
    auto* testRow = new QHBoxLayout;
    testRow->addSpacing(24);
    testRow->addWidget(cmdTest);
    testRow->addStretch();
    choice->addLayout(testRow);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cmdOK);
    buttons->addWidget(cmdCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(box);
    layout->addWidget(lblOutcome);
    layout->addLayout(buttons);
    setMinimumWidth(460);

    // The server the run works on fills the boxes; an address the window cannot read
    // leaves them empty.
    if (!server.isEmpty()) {
        if (const Result<ServerAddress> parsed = parseServerAddress(server); parsed.ok()) {
            const ServerAddress& a = parsed.value();
            txtHost->setText(a.host);
            txtPort->setText(a.port);
            txtDatabase->setText(a.database);
            txtUser->setText(a.user);
            cboSslMode->setCurrentText(a.sslMode);
            m_otherSettings = a.others;
        }
    }
    (server.isEmpty() ? optFile : optServer)->setChecked(true);
    enableServerBoxes();

    connect(optFile, &QRadioButton::clicked, this, &frmDatabase::optFile_Click);
    connect(optServer, &QRadioButton::clicked, this, &frmDatabase::optServer_Click);
    connect(cmdTest, &QPushButton::clicked, this, &frmDatabase::cmdTest_Click);
    connect(cmdOK, &QPushButton::clicked, this, &frmDatabase::cmdOK_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &QDialog::reject);
}

void frmDatabase::enableServerBoxes() {
    const bool server = optServer->isChecked();
    for (QWidget* w : std::initializer_list<QWidget*>{txtHost, txtPort, txtDatabase, txtUser,
                                                      cboSslMode, cmdTest})
        w->setEnabled(server);
}

void frmDatabase::optFile_Click() {
    optFile->setChecked(true);
    lblOutcome->clear();
    enableServerBoxes();
}

void frmDatabase::optServer_Click() {
    optServer->setChecked(true);
    lblOutcome->clear();
    enableServerBoxes();
    txtHost->setFocus();
}

QString frmDatabase::chosenServer() const {
    if (!optServer->isChecked()) return {};
    ServerAddress a;
    a.host = txtHost->text();
    a.port = txtPort->text();
    a.database = txtDatabase->text();
    a.user = txtUser->text();
    a.sslMode = cboSslMode->currentText();
    a.others = m_otherSettings;
    return connectionString(a);
}

QString frmDatabase::whyIncomplete() const {
    const QString port = txtPort->text().trimmed();
    bool number = false;
    const int value = port.toInt(&number);
    if (!port.isEmpty() && (!number || value < 1 || value > 65535))
        return QStringLiteral("The port is a number from 1 to 65535 (the server's usual port "
                              "is 5432).");
    if (txtDatabase->text().trimmed().isEmpty())
        return QStringLiteral("Name the database on the server (for example rockvane).");
    return {};
}

bool frmDatabase::testServer() {
    if (const QString why = whyIncomplete(); !why.isEmpty()) {
        lblOutcome->setText(why);
        return false;
    }
    const QString server = chosenServer();
    QApplication::setOverrideCursor(Qt::WaitCursor);
    Connection connection;
    const Status opened = connection.openServer(server, Connection::Mode::ReadOnly);
    connection.close();
    QApplication::restoreOverrideCursor();
    lblOutcome->setText(opened.ok() ? QStringLiteral("Connected: ") + serverDisplayName(server) +
                                          QStringLiteral(" holds the Rockvane tables.")
                                    : serverFailureText(server, opened.error()));
    return opened.ok();
}

void frmDatabase::cmdTest_Click() {
    (void)testServer();
}

void frmDatabase::cmdOK_Click() {
    if (optServer->isChecked() && !testServer()) return;
    accept();
}

} // namespace rv
