#pragma once
// The "Database" window of the Utilities tab: which database the program works on, this
// computer's file (the default) or a site server, with the server's address in boxes and
// a test of the connection. It decides; the main window remembers the choice for the user
// and switches the running program to it.
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

namespace rv {

class frmDatabase : public QDialog {
    Q_OBJECT
public:
    // filePath: this computer's database file; server: the connection string of the
    // server the run works on (empty when it works on the file), shown in the boxes.
    frmDatabase(const QString& filePath, const QString& server, QWidget* parent = nullptr);

    void optFile_Click();
    void optServer_Click();
    // "Test connection": connects to the server in the boxes and says how that went.
    void cmdTest_Click();
    // "OK": the file is taken at once; a server only once it answers with the Rockvane
    // tables (otherwise the window stays, saying why).
    void cmdOK_Click();

    // The connection string the boxes make; empty while the file is chosen.
    QString chosenServer() const;

    QRadioButton* optFile;   // "This computer's file"
    QLabel* lblFile;         // the file's path
    QRadioButton* optServer; // "A site server"
    QLineEdit* txtHost;
    QLineEdit* txtPort;
    QLineEdit* txtDatabase;
    QLineEdit* txtUser;
    QComboBox* cboSslMode;
    QLabel* lblPasswords;
    QPushButton* cmdTest; // "Test connection"
    QLabel* lblOutcome;   // what the test (or OK) found
    QPushButton* cmdOK;
    QPushButton* cmdCancel;

private:
    // What the boxes lack for a connection string (empty when nothing).
    QString whyIncomplete() const;
    // Connects to the server of the boxes and shows the outcome; true when it holds the
    // Rockvane tables.
    bool testServer();
    void enableServerBoxes();

    // Settings of the server's string the window has no box for, kept when it is chosen
    // again.
    std::vector<std::pair<QString, QString>> m_otherSettings;
};

} // namespace rv
